// srvfw through its real entry point: the built program with argv and exit
// codes, loading the simulated FRU library against a simulated server kept
// in a state directory that simctl prepares and dumps. Each case works in a
// scratch directory of its own, where srvfw's backups land.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "tests/host/srvfw_run_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using test_support::CommandOutcome;
using test_support::ReadText;
using test_support::RunCommand;

bool Holds(const Bytes& image, const Bytes& part) {
    return std::search(image.begin(), image.end(), part.begin(), part.end()) != image.end();
}

// A text field as a FRU stores it: the 8-bit text type/length byte, the text.
Bytes TextField(const std::string& text) {
    Bytes field(1 + text.size());
    field[0] = static_cast<std::uint8_t>(0xC0 | text.size());
    std::copy(text.begin(), text.end(), field.begin() + 1);
    return field;
}

class SrvfwOnSimulatedServer : public test_support::SrvfwRun {
  protected:
    SrvfwOnSimulatedServer() : SrvfwRun("srvfwbin") {}

    std::vector<std::filesystem::path> Backups() const {
        std::vector<std::filesystem::path> found;
        for (const std::string& name : Named("fru-backup-20-00-"))
            found.push_back(dir.Path() / name);
        return found;
    }
};

TEST_F(SrvfwOnSimulatedServer, ShowsEveryAreaAndFieldOfTheServersFru) {
    const CommandOutcome shown = SrvfwResult("fru show");
    ASSERT_EQ(shown.code, 0) << shown.output;
    const Bytes image = Dump();
    char header[32];
    std::snprintf(header, sizeof header, "%02X %02X %02X %02X %02X %02X %02X %02X", image[0],
                  image[1], image[2], image[3], image[4], image[5], image[6], image[7]);
    for (const std::string& line :
         {std::string("FRU: IMBDEVICE FRU device 00h at controller 20h\n"),
          "Common Header: " + std::string(header) + "\n",
          std::string("Internal Use Area (internal)\n"),
          std::string("  chassis.part_number      Chassis Part Number          KS-CH1U-01\n"),
          std::string("  board.manufacturer       Board Manufacturer           Kestrel Server "
                      "Works\n"),
          std::string("  board.custom.0           Board Custom Field           REV A03\n"),
          // Fields in other encodings show decoded, with their bytes.
          std::string("  board.custom.1           Board Custom Field           00 1E 67 4A 10 02 "
                      "[binary: 00 1E 67 4A 10 02]\n"),
          std::string("  board.serial_number      Board Serial Number          KSB230517"),
          std::string("[6-bit packed ASCII: "),
          std::string("  product.custom.0         Product Custom Field         2023-05-17 "
                      "[BCD plus: 20 23 B0 5B 17]\n"),
          std::string("  product.asset_tag        Asset Tag                    \n"),
          std::string("MultiRecord Area (multirecord, 64 bytes)\n  00 02 18 ")}) {
        EXPECT_TRUE(shown.Shows(line)) << line << "\n" << shown.output;
    }
    // The load count reaches the user as progress, beside the result.
    EXPECT_EQ(ReadText(dir / "stderr"),
              "Loaded 1 FRU(s) from the system; 0 known FRU location(s).\n");
}

TEST_F(SrvfwOnSimulatedServer, ShowsTheFruAsJsonForScripts) {
    const CommandOutcome shown = SrvfwResult("--json fru show");
    ASSERT_EQ(shown.code, 0) << shown.output;
    for (const char* part :
         {"{\n  \"source\": \"system\",\n  \"locator\": {\n    \"type\": \"IMBDEVICE\",\n"
          "    \"controller\": 32,\n    \"device_id\": 0,\n    \"bus\": 255,",
          "\"area\": \"board\",\n      \"name\": \"Board Info Area\",\n      \"free_bytes\": ",
          "{\n          \"field\": \"board.custom.1\",\n          \"title\": \"Board Custom "
          "Field\",\n          \"text\": \"00 1E 67 4A 10 02\",\n          \"encoding\": "
          "\"binary\",\n"
          "          \"hex\": \"00 1E 67 4A 10 02\"\n",
          "\"field\": \"product.name\",\n          \"title\": \"Product Name\",\n"
          "          \"text\": \"KS2200 Rack Server\",",
          "\"area\": \"multirecord\",\n      \"name\": \"MultiRecord Area\",\n      \"hex\": "
          "\"00 02 18 "}) {
        EXPECT_TRUE(shown.Shows(part)) << part << "\n" << shown.output;
    }
    EXPECT_EQ(shown.output.back(), '\n');
    EXPECT_EQ(shown.output.substr(shown.output.size() - 3), "\n}\n");
    EXPECT_EQ(ReadText(dir / "stderr"),
              "{\"progress\":\"load\",\"text\":\"Loaded 1 FRU(s) from the system; 0 known FRU "
              "location(s).\",\"counts\":[1,0]}\n");
}

TEST_F(SrvfwOnSimulatedServer, GetPrintsOneValue) {
    EXPECT_EQ(SrvfwResult("fru get product.name").output, "KS2200 Rack Server\n");
    EXPECT_EQ(SrvfwResult("fru get board.custom.0").output, "REV A03\n");
    EXPECT_EQ(SrvfwResult("--locale en_US fru get product.name").output, "KS2200 Rack Server\n");
    const CommandOutcome json = SrvfwResult("--json fru get product.asset_tag");
    EXPECT_EQ(json.code, 0);
    EXPECT_TRUE(
        json.Shows("\"field\": \"product.asset_tag\",\n  \"title\": \"Asset Tag\",\n  "
                   "\"text\": \"\",\n  \"encoding\": \"text\",\n  \"hex\": \"\"\n}\n"))
        << json.output;
}

TEST_F(SrvfwOnSimulatedServer, SetBacksUpWritesAndAWriteOfTheBackupRestoresEveryByte) {
    const Bytes original = Dump();
    const CommandOutcome set = SrvfwResult(
        "fru set product.asset_tag=ASSET-0042 "
        "'board.manufacturer=ACME Corp'");
    ASSERT_EQ(set.code, 0) << set.output << ReadText(dir / "stderr");
    EXPECT_TRUE(
        set.Shows("board.manufacturer (Board Manufacturer): \"Kestrel Server Works\" -> "
                  "\"ACME Corp\"\nproduct.asset_tag (Asset Tag): \"\" -> "
                  "\"ASSET-0042\"\n"))
        << set.output;
    EXPECT_TRUE(set.Shows("Written and read back: IMBDEVICE FRU device 00h at controller 20h\n"));

    // The backup is the FRU as it was, in the scratch directory.
    ASSERT_EQ(Backups().size(), 1u);
    const std::filesystem::path backup = Backups()[0];
    EXPECT_TRUE(set.Shows("Backup of the FRU as it was: " + backup.string() + "\n"));
    EXPECT_NE(ReadText(backup).find("'Kestrel Server Works'\nD0\n'KS2200 baseboard'"),
              std::string::npos);
    EXPECT_EQ(ReadText(backup).find("ASSET-0042"), std::string::npos);

    // The FRU holds the new values and nothing else moved: the header and
    // the areas before the board area and after the product area are as
    // they were.
    const Bytes changed = Dump();
    ASSERT_EQ(changed.size(), original.size());
    EXPECT_TRUE(Holds(changed, TextField("ASSET-0042")));
    EXPECT_TRUE(Holds(changed, TextField("ACME Corp")));
    EXPECT_TRUE(Holds(changed, TextField("Kestrel Server Works")));  // the product's manufacturer
    const std::size_t board = original[3] * 8u;
    const std::size_t multiRecord = original[5] * 8u;
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + board, changed.begin()));
    EXPECT_TRUE(
        std::equal(original.begin() + multiRecord, original.end(), changed.begin() + multiRecord));
    EXPECT_EQ(SrvfwResult("fru get product.asset_tag").output, "ASSET-0042\n");

    const CommandOutcome restore = SrvfwResult("fru write " + backup.string());
    ASSERT_EQ(restore.code, 0) << restore.output << ReadText(dir / "stderr");
    EXPECT_TRUE(restore.Shows("product.asset_tag (Asset Tag): \"ASSET-0042\" -> \"\"\n"));
    EXPECT_EQ(Dump(), original);
    // Writing the backup back made a backup of its own.
    EXPECT_EQ(Backups().size(), 2u);
    // A second write has nothing left to change, and writes nothing.
    const CommandOutcome again = SrvfwResult("fru write " + backup.string());
    EXPECT_EQ(again.code, 0);
    EXPECT_EQ(again.output,
              "No change: the FRU holds these values already; nothing was written.\n");
    EXPECT_EQ(Backups().size(), 2u);
}

TEST_F(SrvfwOnSimulatedServer, DryRunShowsTheChangesAndWritesNothing) {
    const Bytes original = Dump();
    const CommandOutcome dry = SrvfwResult("fru set --dry-run product.asset_tag=ASSET-0042");
    ASSERT_EQ(dry.code, 0) << dry.output;
    EXPECT_EQ(dry.output,
              "product.asset_tag (Asset Tag): \"\" -> \"ASSET-0042\"\n"
              "Dry run: nothing was written (IMBDEVICE FRU device 00h at controller 20h).\n");
    EXPECT_EQ(ReadText(dir / "stderr").find("Writing"), std::string::npos);

    const CommandOutcome json = SrvfwResult("--json fru set product.asset_tag=X1 --dry-run");
    ASSERT_EQ(json.code, 0) << json.output;
    EXPECT_TRUE(
        json.Shows("\"dry_run\": true,\n  \"written\": false,\n  \"backup\": null,\n"
                   "  \"changes\": [\n    {\n      \"field\": \"product.asset_tag\",\n"
                   "      \"title\": \"Asset Tag\",\n      \"old\": {\n        \"text\": "
                   "\"\",\n        \"encoding\": \"text\",\n        \"hex\": \"\"\n      },\n"
                   "      \"new\": {\n        \"text\": \"X1\",\n        \"encoding\": \"text\",\n"
                   "        \"hex\": \"58 31\"\n      }\n"))
        << json.output;
    EXPECT_EQ(Dump(), original);
    EXPECT_TRUE(Backups().empty());
}

TEST_F(SrvfwOnSimulatedServer, ShrinkingValuesMakeRoomForGrowingOnes) {
    // The product area has fewer free bytes than the longer asset tag needs,
    // until the shorter name has freed its room; the order on the command
    // line does not matter.
    const std::string tag(30, 'T');
    const CommandOutcome set = SrvfwResult("fru set product.asset_tag=" + tag + " product.name=KS");
    ASSERT_EQ(set.code, 0) << set.output << ReadText(dir / "stderr");
    const Bytes image = Dump();
    EXPECT_TRUE(Holds(image, TextField(tag)));
    EXPECT_TRUE(Holds(image, TextField("KS")));

    const CommandOutcome alone = Srvfw("fru set product.asset_tag=" + tag + "UUUUUUUUUUUUUUUUUUUU");
    EXPECT_EQ(alone.code, 3);
    EXPECT_EQ(Dump(), image);
}

TEST_F(SrvfwOnSimulatedServer, CustomFieldsAreSetInTheOrderTheAreaStoresThem) {
    // The board area stores "REV A03" and then six binary bytes; the first
    // is board.custom.0 for showing and for setting alike.
    const CommandOutcome set = SrvfwResult("fru set 'board.custom.0=REV B01'");
    ASSERT_EQ(set.code, 0) << set.output << ReadText(dir / "stderr");
    const Bytes image = Dump();
    EXPECT_TRUE(Holds(image, TextField("REV B01")));
    EXPECT_TRUE(Holds(image, {0x06, 0x00, 0x1E, 0x67, 0x4A, 0x10, 0x02}));
    EXPECT_EQ(SrvfwResult("fru get board.custom.0").output, "REV B01\n");
}

TEST_F(SrvfwOnSimulatedServer, DateAndChassisTypeTakeTheirOwnForms) {
    const Bytes original = Dump();
    const CommandOutcome set =
        SrvfwResult("fru set 'board.mfg_date=2024-01-02 03:04' chassis.type=17");
    ASSERT_EQ(set.code, 0) << set.output << ReadText(dir / "stderr");
    const Bytes image = Dump();
    const std::size_t chassis = original[2] * 8u;
    const std::size_t board = original[3] * 8u;
    EXPECT_EQ(image[chassis + 2], 17);
    // 2024-01-02 03:04 UTC is 14728504 minutes after 1996-01-01.
    EXPECT_EQ(Bytes(image.begin() + board + 3, image.begin() + board + 6),
              (Bytes{0x38, 0xBD, 0xE0}));
    EXPECT_EQ(SrvfwResult("fru get chassis.type").output, "Main Server Chassis (17)\n");
    EXPECT_EQ(SrvfwResult("fru get board.mfg_date").output, "01/02/2024 03:04:00\n");
}

TEST_F(SrvfwOnSimulatedServer, InternalUseBytesAreReplacedWhole) {
    const Bytes original = Dump();
    const std::size_t internal = original[1] * 8u;
    Bytes bytes(original.begin() + internal, original.begin() + original[2] * 8u);
    bytes[3] = 0x5A;
    std::string hex;
    for (const std::uint8_t b : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X ", b);
        hex += pair;
    }
    const CommandOutcome set = SrvfwResult("fru set 'internal.data=" + hex + "'");
    ASSERT_EQ(set.code, 0) << set.output << ReadText(dir / "stderr");
    const Bytes image = Dump();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.begin() + internal));

    const CommandOutcome shorter = Srvfw("fru set 'internal.data=01 02'");
    EXPECT_EQ(shorter.code, 5);
    EXPECT_TRUE(shorter.Shows("internal.data: the internal use area holds " +
                              std::to_string(bytes.size()) + " bytes; give exactly that many"));
    EXPECT_EQ(Dump(), image);
}

TEST_F(SrvfwOnSimulatedServer, AnEditedFileIsWrittenFieldByField) {
    const std::string file = dir / "edited.fru";
    ASSERT_EQ(SrvfwResult("fru save " + file).code, 0);
    std::string text = ReadText(file);
    const std::string name = "'KS2200 Rack Server'";
    ASSERT_NE(text.find(name), std::string::npos);
    text.replace(text.find(name), name.size(), "'KS2200 Edge Server'");
    std::ofstream(file, std::ios::trunc) << text;

    const CommandOutcome write = SrvfwResult("fru write " + file);
    ASSERT_EQ(write.code, 0) << write.output << ReadText(dir / "stderr");
    EXPECT_TRUE(write.output.starts_with(
        "product.name (Product Name): \"KS2200 Rack Server\" -> \"KS2200 Edge Server\"\n"
        "Backup of the FRU as it was: "))
        << write.output;
    EXPECT_TRUE(Holds(Dump(), TextField("KS2200 Edge Server")));
}

TEST_F(SrvfwOnSimulatedServer, EepromsAreReachedThroughTheirLocator) {
    const Bytes baseboard = Dump();
    const std::string backplane = "--type AT24CO2 --bus 3 --slave 0xA8";
    const CommandOutcome set = SrvfwResult("fru set product.asset_tag=BP-0001 " + backplane);
    ASSERT_EQ(set.code, 0) << set.output << ReadText(dir / "stderr");
    EXPECT_TRUE(
        set.Shows("Written and read back: AT24CO2 at slave address A8h on bus 03h of "
                  "controller 20h, LUN 0, FRU device 00h\n"));
    EXPECT_TRUE(Holds(Dump("backplane"), TextField("BP-0001")));
    EXPECT_EQ(Dump(), baseboard);
    EXPECT_EQ(SrvfwResult("fru get product.asset_tag " + backplane).output, "BP-0001\n");
}

TEST_F(SrvfwOnSimulatedServer, SaveThenLoadShowsTheSameFru) {
    const std::string file = dir / "saved.fru";
    const CommandOutcome saved = SrvfwResult("fru save " + file);
    ASSERT_EQ(saved.code, 0) << saved.output;
    EXPECT_EQ(saved.output, "Saved IMBDEVICE FRU device 00h at controller 20h to " + file + "\n");

    const CommandOutcome shown = SrvfwResult("fru show");
    const CommandOutcome loaded = SrvfwResult("fru load " + file);
    ASSERT_EQ(loaded.code, 0) << loaded.output << ReadText(dir / "stderr");
    EXPECT_TRUE(loaded.output.starts_with(
        "FRU: IMBDEVICE FRU device 00h at controller 20h, from the file " + file + "\n"));
    const auto rest = [](const std::string& text) { return text.substr(text.find('\n')); };
    EXPECT_EQ(rest(loaded.output), rest(shown.output));
}

TEST_F(SrvfwOnSimulatedServer, WriteRefusesAFileOfAnotherLayoutAndWritesNothing) {
    // The front panel's FRU has board and product areas only.
    const std::string panel = dir / "panel.fru";
    ASSERT_EQ(SrvfwResult("fru save " + panel + " --controller 0x22").code, 0);
    const Bytes original = Dump();
    const CommandOutcome write = SrvfwResult("fru write " + panel + " --controller 0x20");
    EXPECT_EQ(write.code, 5);
    const std::string error = ReadText(dir / "stderr");
    EXPECT_NE(error.find("srvfw: the file's FRU does not fit the FRU on the server: the FRU has "
                         "an internal use area and the file has none; the FRU has a chassis area "
                         "and the file has none;"),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("the FRU has a multi-record area and the file has none"),
              std::string::npos);
    EXPECT_EQ(Dump(), original);
    EXPECT_TRUE(Backups().empty());
}

TEST_F(SrvfwOnSimulatedServer, FailuresSayWhyAndEndWithTheirExitCode) {
    std::ofstream(dir / "taken.fru") << "a backup from before";
    struct Case {
        std::string setting;  // for simctl set, if any
        std::string args;     // "DIR" stands for the scratch directory
        int code;
        std::vector<std::string> shows;
    };
    const Case cases[] = {
        {"",
         "fru get board.colour",
         1,
         {"srvfw: no FRU field is named \"board.colour\"", "\"srvfw --help\" shows the commands"}},
        {"", "fru set product.asset_tag", 1, {"\"product.asset_tag\" is not FIELD=VALUE"}},
        {"", "fru set chassis.type=rack", 1, {"chassis.type takes a chassis type number"}},
        {"", "fru flash", 1, {"unknown command \"fru flash\""}},
        {"",
         "fru set product.asset_tag=" + std::string(40, 'x'),
         3,
         {"srvfw: setting product.asset_tag: The value is too long for the field Asset Tag. The "
          "value has 40 "
          "bytes and product.asset_tag can take ",
          "Nothing was written to the FRU. (status 0xC0070027)"}},
        {"", "fru get board.custom.2", 5, {"board.custom.2: the board area has 2 custom fields"}},
        {"",
         "--lib-dir DIR/nolib fru show",
         2,
         {"cannot load the library DIR/nolib/liborvel.so.9: ", "No such file"}},
        {"",
         "--res-dir DIR/nores fru show",
         2,
         {"the resource folder DIR/nores holds no enus/orvel/str/orvel.str"}},
        {"",
         "fru write DIR/missing.fru",
         4,
         {"reading the FRU file DIR/missing.fru: Cannot open the FRU file DIR/missing.fru."}},
        {"",
         "fru set --backup DIR/taken.fru product.asset_tag=ABC",
         4,
         {"the backup file DIR/taken.fru exists already"}},
        {"",
         "fru set --backup DIR/nodir/backup.fru product.asset_tag=ABC",
         4,
         {"srvfw: saving the FRU to DIR/nodir/backup.fru: Cannot write the FRU file "
          "DIR/nodir/backup.fru. That was the backup: nothing was written to the FRU."}},
        {"",
         "fru save DIR/nodir/saved.fru",
         4,
         {"saving the FRU to DIR/nodir/saved.fru: Cannot write the FRU file"}},
        {"", "--locale de-de fru show", 2, {"holds no dede/orvel/str/orvel.str"}},
        // LoadConfigurationFromSystem reports success for a FRU it could not
        // read; its reason still reaches the user.
        {"fru.baseboard.fault.read_fail=0",
         "fru show",
         3,
         {"srvfw: reading the FRU (IMBDEVICE FRU device 00h at controller 20h): The common "
          "header of FRU device 0 at controller 20h (slave address 20h, bus FFh) is invalid. "
          "(LoadConfigurationFromSystem returned status 0x00000000 and read no "
          "FRU)\n"}},
        // No BMC at all: the user learns that, where it was looked for,
        // and the wait it took, not that the FRU is damaged.
        {"kcs.present=0",
         "fru show",
         3,
         {"The BMC gave no answer: no BMC answers at the KCS ports 0CA2h/0CA3h (from SMBIOS): "
          "the status port reads FFh; no response over KCS at 0CA2h/0CA3h to netFn 0Ah command "
          "11h: the interface stayed busy (IBF set) before the request, after 15.0 s."}},
        {"fru.baseboard.fault.write_fail=0xA8",
         "fru set product.asset_tag=ABC",
         3,
         {"srvfw: writing the FRU (IMBDEVICE FRU device 00h at controller 20h): ",
          "The FRU may be partly written. The FRU as it was is saved in DIR/fru-backup-20-00-",
          "; \"srvfw fru restore DIR/fru-backup-20-00-",
          "\" writes it back whole, whatever the FRU holds now. (status 0xC0070029)"}},
        // The server answers every write and keeps none of the product area.
        {"fru.baseboard.fault.lost_write=0xA8:112",
         "fru set product.asset_tag=ABC",
         3,
         {"srvfw: the FRU read back after writing differs from what was written in "
          "product.asset_tag. The FRU as it was is saved in DIR/fru-backup-20-00-"}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Simctl("init" + (c.setting.empty() ? "" : " " + c.setting)).code, 0);
        const Bytes original = Dump();
        const CommandOutcome outcome = Srvfw(InScratch(c.args));
        EXPECT_EQ(outcome.code, c.code) << c.args << "\n" << outcome.output;
        for (const std::string& text : c.shows) {
            EXPECT_TRUE(outcome.Shows(InScratch(text))) << InScratch(text) << "\n"
                                                        << outcome.output;
        }
        EXPECT_EQ(Dump(), original) << c.args;
    }
}

TEST_F(SrvfwOnSimulatedServer, JsonModeReportsFailuresAsJson) {
    const CommandOutcome failed =
        SrvfwResult("--json fru set product.asset_tag=" + std::string(40, 'x'));
    EXPECT_EQ(failed.code, 3);
    EXPECT_TRUE(failed.output.starts_with(
        "{\n  \"error\": {\n    \"message\": \"setting "
        "product.asset_tag: The value is too long for the field Asset Tag."))
        << failed.output;
    EXPECT_TRUE(
        failed.Shows("\",\n    \"status\": \"0xC0070027\",\n    \"exit_code\": 3\n  }\n}\n"));
    const CommandOutcome usage = SrvfwResult("fru get --json board.colour");
    EXPECT_EQ(usage.code, 1);
    EXPECT_TRUE(usage.Shows("\"status\": null,\n    \"exit_code\": 1\n")) << usage.output;
}

// Where the kernel's IPMI driver runs, srvfw goes through it and the FRU
// reads and writes as it does over the ports.
TEST_F(SrvfwOnSimulatedServer, TheKernelsDriverServesTheFruCommandsAsThePortsDo) {
    const CommandOutcome overPorts = SrvfwResult("--json fru show");
    ASSERT_EQ(overPorts.code, 0) << overPorts.output;
    ASSERT_EQ(Simctl("init kernel.modules=ipmi_si,ipmi_devintf").code, 0);
    for (const char* way : {"", "--interface driver "}) {
        const CommandOutcome overDriver = SrvfwResult(std::string(way) + "--json fru show");
        EXPECT_EQ(overDriver.code, 0) << way << overDriver.output;
        EXPECT_EQ(overDriver.output, overPorts.output) << way;
    }
    const CommandOutcome set = Srvfw("fru set product.asset_tag=DRIVER-7");
    ASSERT_EQ(set.code, 0) << set.output;
    EXPECT_TRUE(Holds(Dump(), TextField("DRIVER-7")));
    ASSERT_EQ(Backups().size(), 1u);
    const CommandOutcome restored = Srvfw("fru write " + Backups()[0].string());
    ASSERT_EQ(restored.code, 0) << restored.output;
    EXPECT_FALSE(Holds(Dump(), TextField("DRIVER-7")));
}

TEST_F(SrvfwOnSimulatedServer, TheWayToTheBmcIsRefusedWhenItCannotBeUsed) {
    struct Case {
        std::string setting;
        std::string args;
        int code;
        std::string shows;
    };
    const Case cases[] = {
        {"kernel.modules=ipmi_si", "fru show", 2,
         "srvfw: the kernel's IPMI driver (ipmi_si) owns the KCS interface, but there is no IPMI "
         "device to reach it through (/dev/ipmi0: No such file or directory"},
        {"kernel.modules=ipmi_si", "--interface kcs fru get product.asset_tag", 0, ""},
        {"", "--interface driver fru show", 2,
         "srvfw: the kernel's IPMI device cannot be opened (/dev/ipmi0: No such file or "
         "directory"},
        {"", "--interface serial fru show", 1, "--interface takes auto, driver or kcs"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Simctl("init" + (c.setting.empty() ? "" : " " + c.setting)).code, 0);
        const CommandOutcome outcome = Srvfw(c.args);
        EXPECT_EQ(outcome.code, c.code) << c.args << "\n" << outcome.output;
        EXPECT_TRUE(outcome.Shows(c.shows)) << c.shows << "\n" << outcome.output;
    }
}

// The message layer prints its console texts on standard output; in JSON
// mode they reach standard error and the document stays whole.
TEST_F(SrvfwOnSimulatedServer, JsonModeKeepsTheLibrariesConsoleTextsOffStandardOutput) {
    ASSERT_EQ(Simctl("init smbios.present=0").code, 0);
    const CommandOutcome shown = SrvfwResult("--json fru show");
    EXPECT_EQ(shown.code, 0) << shown.output;
    EXPECT_TRUE(shown.output.starts_with("{\n")) << shown.output;
    EXPECT_TRUE(shown.output.ends_with("}\n")) << shown.output;
    EXPECT_FALSE(shown.Shows("SMBIOS Table Not Found")) << shown.output;
    EXPECT_NE(ReadText(dir / "stderr").find("SMBIOS Table Not Found!!!"), std::string::npos);
}

TEST_F(SrvfwOnSimulatedServer, ValuesReachJsonEscaped) {
    ASSERT_EQ(SrvfwResult("fru set 'product.asset_tag=Rack \"7\\A'").code, 0);
    const CommandOutcome json = SrvfwResult("--json fru get product.asset_tag");
    EXPECT_TRUE(json.Shows("\"text\": \"Rack \\\"7\\\\A\",")) << json.output;
    EXPECT_EQ(SrvfwResult("fru get product.asset_tag").output, "Rack \"7\\\\A\n");
}

TEST_F(SrvfwOnSimulatedServer, TheDebugLogIsWrittenInTheUsersDirectoryWhenAskedFor) {
    ASSERT_EQ(SrvfwResult("fru show").code, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "DBGLOG.txt"));
    ASSERT_EQ(SrvfwResult("--debug 3 fru show").code, 0);
    EXPECT_NE(ReadText(dir / "DBGLOG.txt").find("LoadConfigurationFromSystem"), std::string::npos);
}

TEST(Srvfw, HelpAndUsage) {
    const CommandOutcome help = RunCommand(std::string(SRVFW_PATH) + " --help");
    EXPECT_EQ(help.code, 0);
    for (const char* part : {"srvfw [OPTIONS] fru set FIELD=VALUE... [--dry-run] [--backup FILE]",
                             "--sim DIR", "Exit codes:", "5  the request does not fit the FRU"}) {
        EXPECT_TRUE(help.Shows(part)) << part;
    }
    const CommandOutcome fru = RunCommand(std::string(SRVFW_PATH) + " fru --help");
    EXPECT_EQ(fru.code, 0);
    for (const char* part : {"product.asset_tag", "board.custom.N", "YYYY-MM-DD HH:MM",
                             "--device-id ID", "fru-backup-"}) {
        EXPECT_TRUE(fru.Shows(part)) << part;
    }
    EXPECT_EQ(RunCommand(std::string(SRVFW_PATH)).code, 1);
    EXPECT_EQ(RunCommand(std::string(SRVFW_PATH) + " fru").code, 1);
}

TEST(Srvfw, TheSimulatedServerMustExist) {
    test_support::TempDir dir("srvfwnosim");
    const CommandOutcome outcome =
        RunCommand(std::string(SRVFW_PATH) + " --sim " + (dir / "none") + " fru show");
    EXPECT_EQ(outcome.code, 2);
    EXPECT_TRUE(outcome.Shows(dir / "none" + " holds no simulated server")) << outcome.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "none"));
}

// ------------------------------------------------ encodings and recovery

TEST_F(SrvfwOnSimulatedServer, TextValuesKeepTheFieldsEncodingWhenItHoldsThem) {
    const CommandOutcome kept = SrvfwResult("fru set board.serial_number=KSB999 --dry-run");
    ASSERT_EQ(kept.code, 0) << kept.output;
    EXPECT_TRUE(kept.Shows("\"KSB999\" (kept as 6-bit packed ASCII)\n")) << kept.output;
    const CommandOutcome text = SrvfwResult("fru set board.serial_number=ksb999 --dry-run");
    ASSERT_EQ(text.code, 0) << text.output;
    EXPECT_TRUE(text.Shows("\"ksb999\" (stored as 8-bit text; was 6-bit packed ASCII)\n"))
        << text.output;

    ASSERT_EQ(SrvfwResult("fru set board.serial_number=KSB999").code, 0);
    // K S B 9 9 9 in 6-bit codes, four to three bytes, under type 10b.
    EXPECT_TRUE(Holds(Dump(), Bytes{0x85, 0xEB, 0x2C, 0x66, 0x59, 0x06}));
    EXPECT_EQ(SrvfwResult("fru get board.serial_number").output,
              "KSB999 [6-bit packed ASCII: EB 2C 66 59 06]\n");
}

// What "fru get" shows, "fru set" takes back unchanged: Latin-1 text in the
// FRU, UTF-8 on the command line.
TEST_F(SrvfwOnSimulatedServer, LatinOneTextRoundTripsAndControlsAreRefused) {
    ASSERT_EQ(SrvfwResult("fru set product.asset_tag=Caf\xC3\xA9").code, 0);
    EXPECT_TRUE(Holds(Dump(), Bytes{0xC4, 'C', 'a', 'f', 0xE9}));
    const std::string shown = SrvfwResult("fru get product.asset_tag").output;
    EXPECT_EQ(shown, "Caf\xC3\xA9\n");
    const Bytes before = Dump();
    const CommandOutcome again =
        SrvfwResult("fru set 'product.asset_tag=" + shown.substr(0, shown.size() - 1) + "'");
    EXPECT_EQ(again.code, 0);
    EXPECT_TRUE(again.Shows("No change")) << again.output;
    EXPECT_EQ(Dump(), before);

    const std::size_t backups = Backups().size();
    const struct {
        const char* value;
        const char* message;
    } refused[] = {
        {"'\x1B[31mred'", "The control character U+001B cannot be stored in a FRU text field."},
        {"'tab\there'", "The control character U+0009 cannot be stored"},
        {"\xE2\x82\xAC"
         "5",
         "The character U+20AC is not one of the Latin-1 characters"},
    };
    for (const auto& c : refused) {
        const CommandOutcome outcome = Srvfw(std::string("fru set product.asset_tag=") + c.value);
        EXPECT_EQ(outcome.code, 3) << c.value;
        EXPECT_TRUE(outcome.Shows(c.message)) << outcome.output;
        EXPECT_TRUE(outcome.Shows("Nothing was written to the FRU.")) << outcome.output;
    }
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(Backups().size(), backups) << "a refused change leaves no backup";
}

TEST_F(SrvfwOnSimulatedServer, ManufacturingDateZeroIsUnspecified) {
    ASSERT_EQ(SrvfwResult("fru set board.mfg_date=unspecified").code, 0);
    const Bytes image = Dump();
    const std::size_t board = image[3] * 8u;
    EXPECT_EQ(Bytes(image.begin() + board + 3, image.begin() + board + 6), (Bytes{0, 0, 0}));
    EXPECT_EQ(SrvfwResult("fru get board.mfg_date").output, "Unspecified\n");
}

// FFh padding under a checksum that holds: shown with a warning, written
// back as zeros.
TEST_F(SrvfwOnSimulatedServer, PaddingOtherThanZerosIsReadWithAWarning) {
    Bytes image = Dump();
    const std::size_t product = image[4] * 8u;
    const std::size_t end = product + image[product + 1] * 8u;
    ASSERT_EQ(image[end - 2], 0x00);
    image[end - 2] = 0xFF;
    image[end - 1] = static_cast<std::uint8_t>(image[end - 1] + 1);  // FFh is -1
    test_support::WriteBytes(dir / "padded.bin", image);
    ASSERT_EQ(Simctl("load-fru baseboard " + (dir / "padded.bin")).code, 0);

    const CommandOutcome shown = SrvfwResult("fru show");
    ASSERT_EQ(shown.code, 0) << shown.output;
    EXPECT_NE(ReadText(dir / "stderr").find("Warning: The Product Info Area of FRU "),
              std::string::npos)
        << ReadText(dir / "stderr");
    ASSERT_EQ(SrvfwResult("fru set product.asset_tag=P1").code, 0);
    const Bytes written = Dump();
    EXPECT_EQ(written[end - 2], 0x00);
}

// FreeIPMI's ipmi-fru, an independent reader, decodes the 6-bit fields as
// srvfw shows them, and reads a value srvfw packed.
TEST_F(SrvfwOnSimulatedServer, FreeIpmiReadsTheSixBitFieldsAsSrvfwShowsThem) {
    if (RunCommand("command -v ipmi-fru >/dev/null").code != 0) {
        GTEST_SKIP() << "ipmi-fru (freeipmi-tools) is not installed";
    }
    const auto peerReads = [this](const std::string& title) {
        test_support::WriteBytes(dir / "peer.bin", Dump());
        const std::string output = RunCommand("ipmi-fru --fru-file=" + (dir / "peer.bin")).output;
        const std::string key = title + ": ";
        const std::size_t at = output.find(key);
        if (at == std::string::npos) return "(" + title + " missing)\n" + output;
        return output.substr(at + key.size(), output.find('\n', at) - at - key.size());
    };
    const auto shown = [this](const std::string& field) {
        const std::string text = SrvfwResult("fru get " + field).output;
        return text.substr(0, text.find(" [6-bit packed ASCII: "));
    };
    EXPECT_EQ(peerReads("FRU Board Serial Number"), shown("board.serial_number"));
    EXPECT_EQ(peerReads("FRU Chassis Serial Number"), shown("chassis.serial_number"));
    ASSERT_EQ(SrvfwResult("fru set board.serial_number=KSB999").code, 0);
    ASSERT_NE(SrvfwResult("fru get board.serial_number").output.find("[6-bit packed ASCII: "),
              std::string::npos);
    EXPECT_EQ(peerReads("FRU Board Serial Number"), "KSB999");
}

// A saved file's fields go back with the type/length bytes the file gives.
TEST_F(SrvfwOnSimulatedServer, WritingASavedFileBringsBackEveryEncoding) {
    const Bytes original = Dump();
    ASSERT_EQ(SrvfwResult("fru save " + (dir / "saved.fru")).code, 0);
    ASSERT_EQ(SrvfwResult("fru set board.serial_number=ksb1 product.custom.0=later").code, 0);
    ASSERT_NE(Dump(), original);
    const CommandOutcome write = SrvfwResult("fru write " + (dir / "saved.fru"));
    ASSERT_EQ(write.code, 0) << write.output << ReadText(dir / "stderr");
    EXPECT_TRUE(write.Shows("(stored as 6-bit packed ASCII; was 8-bit text)")) << write.output;
    EXPECT_EQ(Dump(), original);
}

// Every way a write can go wrong half way, then the restore the message
// advises, from whatever the device holds: the FRU ends byte for byte as
// it was.
TEST_F(SrvfwOnSimulatedServer, TheAdvisedRestoreWorksAfterEveryWriteFault) {
    const struct {
        const char* fault;  // under fru.baseboard.fault.
        bool fails;
    } cases[] = {
        {"write_fail=0xA8", true},
        {"lost_write=0xA8:112", true},
        {"short_write=0xA8:0:99", true},
        {"silent_write=0xA8", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_EQ(Simctl("init").code, 0);
        for (const auto& backup : Backups()) std::filesystem::remove(backup);
        const Bytes original = Dump();
        ASSERT_EQ(Simctl(std::string("set fru.baseboard.fault.") + c.fault).code, 0);
        const CommandOutcome set =
            Srvfw("fru set product.manufacturer=ACME product.asset_tag=ASSET-0042");
        ASSERT_EQ(set.code != 0, c.fails) << set.output;
        ASSERT_EQ(Backups().size(), 1u);
        const std::string restore = "srvfw fru restore " + Backups()[0].string();
        EXPECT_TRUE(set.Shows("\"" + restore + "\"")) << set.output;

        const std::string key = std::string(c.fault).substr(0, std::string(c.fault).find('='));
        ASSERT_EQ(Simctl("set fru.baseboard.fault." + key + "=").code, 0);
        const CommandOutcome restored = Srvfw("fru restore " + Backups()[0].string());
        EXPECT_EQ(restored.code, 0) << restored.output;
        EXPECT_TRUE(restored.Shows("read back the same")) << restored.output;
        EXPECT_EQ(Dump(), original);
    }
}

// A stop signal during the write waits until every area is written and read
// back; srvfw then stops and says so.
TEST_F(SrvfwOnSimulatedServer, StopSignalsWaitForTheWriteToFinish) {
    for (const char* signal : {"SIGINT", "SIGTERM", "SIGHUP"}) {
        SCOPED_TRACE(signal);
        ASSERT_EQ(Simctl(std::string("init fru.baseboard.fault.signal=0xA8:") + signal).code, 0);
        const CommandOutcome set = Srvfw("fru set product.asset_tag=ASSET-0042");
        EXPECT_EQ(set.code, 6) << set.output;
        EXPECT_TRUE(set.Shows(std::string("stopped by ") + signal +
                              ", which arrived while the FRU was being written; the write was "
                              "finished and read back first"))
            << set.output;
        EXPECT_TRUE(Holds(Dump(), TextField("ASSET-0042")));
    }
    // A reader that goes away early costs output, not the write.
    ASSERT_EQ(Simctl("init").code, 0);
    const CommandOutcome piped =
        RunCommand("cd " + dir.Path().string() + " && " + SRVFW_PATH + " --sim " + state +
                   " fru set product.asset_tag=PIPED | head -c 0");
    EXPECT_TRUE(Holds(Dump(), TextField("PIPED")));
}

}  // namespace
