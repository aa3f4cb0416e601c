// The ROM image against the installed BIOS: the checks, compare mode, the
// non-critical blocks, "/u" and "/s".
#include <cstring>

#include "tests/tarvo/tarvo_fixture.h"

namespace tarvo_test {
namespace {

using ImageChecks = TarvoTest;

std::vector<std::uint8_t> Resized(std::vector<std::uint8_t> image, std::size_t size) {
    image.resize(size, 0xFF);
    return image;
}

TEST_F(ImageChecks, RefusedImagesLeaveTheFlashUntouched) {
    Boot();
    struct Case {
        const char* name;
        std::vector<std::uint8_t> image;
        std::vector<std::string> extra;
        int code;
        std::string printed;
    } cases[] = {
        {"one byte longer",
         Resized(Image().Build(), 256 * 1024 + 1),
         {},
         3,
         Error("ROM file size does not match existing BIOS size.")},
        {"foreign ROM ID",
         Image().RomId("OTHER011").Build(),
         {},
         4,
         Error("ROM file ROMID is not compatible with existing BIOS ROMID.")},
        {"boot block sum 1",
         Image().BootBlockSum(1).Build(),
         {},
         5,
         Error("Rom file boot block is not valid.")},
        {"$BBM with /pb only",
         Image().BootBlockMarker().Build(),
         {"/pb"},
         8,
         Error("Cannot program this BIOS without Boot Block and NVRAM\n") +
             Error("Rom file boot block is not valid.")},
        {"$BBM without /p",
         Image().BootBlockMarker().Build(),
         {},
         8,
         Error("Cannot program this BIOS without Boot Block and NVRAM\n")},
    };
    for (const Case& c : cases) {
        Boot();
        const std::vector<std::uint8_t> before = FlashContents();
        std::vector<std::string> args{"/i" + WriteFile("new.rom", c.image)};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Outcome run = Tarvo(args);
        EXPECT_EQ(run.code, c.code) << c.name << run.output;
        EXPECT_TRUE(run.Shows(c.printed)) << c.name << run.output;
        EXPECT_TRUE(BiosCalls("FLASH_ERASE").empty()) << c.name;
        EXPECT_EQ(FlashContents(), before) << c.name;
    }
}

TEST_F(ImageChecks, MissingFile) {
    Boot();
    const Outcome run = Tarvo({"/i" + (dir / "absent.rom").string()});
    EXPECT_EQ(run.code, 48);
    EXPECT_TRUE(run.Shows(Error("Unable to open ROM file.")));
}

TEST_F(ImageChecks, AcceptedImages) {
    Boot();
    struct Case {
        const char* name;
        std::vector<std::uint8_t> image;
        std::vector<std::string> extra;
    } cases[] = {
        {"last three ROM ID characters differ", Image().RomId("SRVBDXYZ").Build(), {}},
        {"/n takes a foreign ROM ID", Image().RomId("OTHER011").Build(), {"/n"}},
        {"$BBM with /pbn", Image().BootBlockMarker().Build(), {"/pbn"}},
    };
    for (const Case& c : cases) {
        Boot();
        std::vector<std::string> args{"/q", "/i" + WriteFile("new.rom", c.image)};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Outcome run = Tarvo(args);
        EXPECT_EQ(run.code, 0) << c.name << run.output;
        EXPECT_FALSE(BiosCalls("FLASH_WRITE").empty()) << c.name;
    }
}

TEST_F(ImageChecks, CompareReport) {
    Boot();
    struct Case {
        const char* name;
        std::vector<std::uint8_t> image;
        std::vector<std::string> extra;
        int code;
        const char *size, *romId, *bootBlock, *status;
    } cases[] = {
        {"same", Image().Build(), {}, 0, "Ok", "Ok", "Ok", "Consistent"},
        {"longer",
         Resized(Image().Build(), 256 * 1024 + 1),
         {},
         128,
         "Failed",
         "Ok",
         "Ok",
         "Inconsistent"},
        {"shorter",
         Resized(Image().Build(), 128 * 1024),
         {},
         128,
         "Failed",
         "Failed",
         "Failed",
         "Inconsistent"},
        {"foreign",
         Image().RomId("OTHER011").Build(),
         {},
         129,
         "Ok",
         "Failed",
         "Ok",
         "Inconsistent"},
        {"foreign, /n",
         Image().RomId("OTHER011").Build(),
         {"/n"},
         0,
         "Ok",
         "Skipped",
         "Ok",
         "Consistent"},
        {"boot block",
         Image().BootBlockSum(7).Build(),
         {},
         130,
         "Ok",
         "Ok",
         "Failed",
         "Inconsistent"},
        {"$BBM, /pbn cleared by /d",
         Image().BootBlockMarker().Build(),
         {"/pbn"},
         130,
         "Ok",
         "Ok",
         "Failed",
         "Inconsistent"},
    };
    for (const Case& c : cases) {
        Boot();
        std::vector<std::string> args{"/d", "/i" + WriteFile("new.rom", c.image),
                                      "/o" + (dir / "saved.rom").string()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Outcome run = Tarvo(args);
        EXPECT_EQ(run.code, c.code) << c.name << run.output;
        const std::string report = std::string("\n Comparison of ROM size....") + c.size +
                                   "\n Comparison of ROM ID......" + c.romId +
                                   "\n Checksum of bootblock....." + c.bootBlock +
                                   "\n Status of comparison......" + c.status;
        EXPECT_TRUE(run.Shows(report)) << c.name << run.output;
        EXPECT_TRUE(BiosCalls("FLASH_ERASE").empty()) << c.name;
        EXPECT_TRUE(BiosCalls("FLASH_WRITE").empty()) << c.name;
        EXPECT_FALSE(std::filesystem::exists(dir / "saved.rom")) << "/o is not done with /d";
    }
    Boot();
    const Outcome quiet = Tarvo({"/q", "/d", "/i" + WriteFile("new.rom", Image().Build())});
    EXPECT_EQ(quiet.output, "\n Status of comparison......Consistent");
}

TEST_F(ImageChecks, CompareModeLeavesCmosAlone) {
    sim::Machine& machine = Boot();
    const Outcome run = Tarvo({"/d", "/pc", "/i" + WriteFile("new.rom", Image().Build())});
    EXPECT_EQ(run.code, 0) << run.output;
    EXPECT_TRUE(machine.Log().Of("cmos").empty());
}

TEST_F(ImageChecks, NonCriticalBlockSearch) {
    Boot();
    // Blocks of the 256 KB image: 0 at 0, 1 at 10000h, 2 (NVRAM) at 20000h,
    // 3 (boot block) at 30000h.
    struct Case {
        const char* name;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> headers;
        std::vector<std::string> args;
        int code;
        std::string printed;
        std::vector<std::uint64_t> erased;
    } cases[] = {
        {"/k2 of three",
         {{0x0, 0x10000}, {0x10000, 0x10000}, {0x20000, 0x10}},
         {"/k2"},
         0,
         "",
         {0xE0000}},  // selected non-critical wins over NVRAM
        {"/k3 of three",
         {{0x0, 0x10000}, {0x10000, 0x10000}, {0x20000, 0x10}},
         {"/k3"},
         18,
         Error("Invalid non-critical block number supplied\n"),
         {}},
        {"/k of none", {}, {"/k"}, 18, Error("No non-critical blocks found in ROM file\n"), {}},
        {"second header in one chunk",
         {{0x10000, 0x10000}, {0x10800, 0x1000}},
         {"/k1"},
         18,
         Error("Invalid non-critical block number supplied\n"),
         {}},
        {"header off the 16-byte grid",
         {{0x10008, 0x10000}},
         {"/k"},
         18,
         Error("No non-critical blocks found in ROM file\n"),
         {}},
        {"/k: all of them", {{0x0, 0x10000}, {0x10000, 0x10}}, {"/k"}, 0, "", {0xC0000, 0xD0000}},
        {"/c1: main BIOS and #1",
         {{0x0, 0x10000}, {0x10000, 0x10}},
         {"/c1"},
         0,
         "",
         {0xD0000}},  // #0 is non-critical and not selected; no main block is left
    };
    for (const Case& c : cases) {
        Boot();
        sim::RomImageBuilder builder = Image();
        for (const auto& [offset, size] : c.headers) builder.NonCriticalBlock(offset, size);
        std::vector<std::string> args{"/q", "/i" + WriteFile("new.rom", builder.Build())};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome run = Tarvo(args);
        EXPECT_EQ(run.code, c.code) << c.name << run.output;
        EXPECT_TRUE(run.Shows(c.printed)) << c.name << run.output;
        std::vector<std::uint64_t> erased;
        for (const auto& call : BiosCalls("FLASH_ERASE")) erased.push_back(call.address);
        EXPECT_EQ(erased, c.erased) << c.name;
    }
}

TEST_F(ImageChecks, NinthNonCriticalBlockIsTooMany) {
    Boot();
    sim::RomImageBuilder builder = Image();
    for (std::uint32_t i = 0; i < 9; ++i) builder.NonCriticalBlock(i * 0x1000, 0x100);
    const Outcome run = Tarvo({"/q", "/i" + WriteFile("new.rom", builder.Build())});
    EXPECT_EQ(run.code, 6);
    EXPECT_TRUE(run.Shows(
        Error("Error! This BIOS version has more Not-Critical blocks then normally supported")));
    EXPECT_TRUE(BiosCalls("FLASH_ERASE").empty());
}

TEST_F(ImageChecks, ShowFileRomIdDoesNotStopTheProgram) {
    Boot();
    const std::string good = WriteFile("good.rom", Image().Build());
    const std::string odd = WriteFile("odd.rom", std::vector<std::uint8_t>(384 * 1024, 0x41));
    const std::string tiny = WriteFile("tiny.rom", std::vector<std::uint8_t>(16, 0x41));
    struct Case {
        std::string file;
        std::string printed;
    } cases[] = {
        {good, " ROMID[" + good + "].......SRVBD011\n"},
        {odd, Error("Invalid ROM file [" + odd + "]")},
        {tiny, Error("Unable to read from disk\n")},
        {(dir / "none.rom").string(), Error("File Open Error")},
    };
    for (const Case& c : cases) {
        Boot();
        const Outcome run = Tarvo({"/u" + c.file, "/t"});
        EXPECT_EQ(run.code, 0) << c.file << run.output;
        EXPECT_TRUE(run.Shows(c.printed)) << run.output;
        EXPECT_TRUE(run.Shows("\n ROM ID = SRVBD010\n")) << run.output;
    }
}

TEST_F(ImageChecks, SignatureIsLeftInTheBios) {
    Boot();
    const std::vector<std::uint8_t> image =
        Image().SignatureRecord(0x10102, 0x00, 0x5A000000).Build();
    const Outcome run = Tarvo({"/q", "/s", "/i" + WriteFile("new.rom", image)});
    ASSERT_EQ(run.code, 0) << run.output;
    const std::vector<std::uint8_t> flash = FlashContents();
    EXPECT_EQ(flash[0x10102 - 3], 0x12);
    std::uint32_t compensation;
    std::memcpy(&compensation, &flash[0x10102 + 14], 4);
    EXPECT_EQ(compensation, 0x48000000u);
    EXPECT_EQ(sim::WordSum(std::span(flash).subspan(0x10000, 0x10000)),
              sim::WordSum(std::span(image).subspan(0x10000, 0x10000)));

    Boot();
    ASSERT_EQ(Tarvo({"/q", "/i" + WriteFile("new.rom", image)}).code, 0);
    EXPECT_EQ(FlashContents()[0x10102 - 3], 0x00) << "without /s the image goes in as it is";
}

}  // namespace
}  // namespace tarvo_test
