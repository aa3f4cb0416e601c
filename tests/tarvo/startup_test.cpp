// From the command line to the BIOS's ROM ID, and the clean-up on every way
// out: driver, physical memory, anchor, flash interface, tables.
#include <algorithm>

#include "tests/tarvo/tarvo_fixture.h"

namespace tarvo_test {
namespace {

constexpr const char* kBanner =
    "NAL Firmware Update Utility - Version 1.40 (for linux with driver)\n";
constexpr const char* kUsageStart = " Usage: tarvolnx2 /i<ROM filename>";
constexpr const char* kNoFlashInfo = "BIOS has no flash information available";

bool Contains(const std::vector<std::string>& all, const std::string& one) {
    return std::find(all.begin(), all.end(), one) != all.end();
}

using Startup = TarvoTest;

TEST_F(Startup, InvalidCommandLinesPrintTheUsageWithoutBanner) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"/x"},
                                                 {"/I"},
                                                 {"/pbnx"},
                                                 {"/t", "/i" + std::string(128, 'r')}}) {
        Boot();
        const Outcome run = Tarvo(args);
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.output.rfind(kUsageStart, 0), 0u) << run.output;
        EXPECT_FALSE(run.Shows("NAL Firmware")) << run.output;
        EXPECT_TRUE(run.Shows("        /u<ROM filename>   -Display ROM ID \n\n"));
        EXPECT_TRUE(HostOperations().empty()) << "nothing is touched";
    }
}

TEST_F(Startup, HelpStopsAfterTheUsage) {
    Boot();
    Outcome run = Tarvo({"/t", "/h", "/iimage.rom"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output.rfind(kBanner, 0), 0u);
    EXPECT_TRUE(run.Shows(kUsageStart));
    EXPECT_TRUE(HostOperations().empty());

    run = Tarvo({"/q", "/h"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output.rfind(kUsageStart, 0), 0u) << "/q suppresses the banner";
}

TEST_F(Startup, NineBlockNumbersAreTooMany) {
    Boot();
    const Outcome run = Tarvo({"/k0", "/k1", "/k2", "/k3", "/c4", "/c5", "/c6", "/c7", "/k8"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.output, std::string(kBanner) + "Copyright (C) NAL. All rights reserved.\n\n" +
                              Error("Maximum of only 8 '/c or /k' options are allowed\n"));
}

TEST_F(Startup, CompareWithoutInputStopsBeforeTheDriver) {
    Boot();
    const Outcome run = Tarvo({"/d"});
    EXPECT_EQ(run.code, 48);
    EXPECT_TRUE(run.Shows(Error("Input file required")));
    EXPECT_EQ(HostOperations(), (std::vector<std::string>{"iopl:3", "iopl:0"}));
}

// The whole way in and out for "/t": what the machine saw, in order.
TEST_F(Startup, ShowRomIdLoadsReadsAndReleasesEverything) {
    sim::Machine& machine = Boot();
    const Outcome run = Tarvo({"/t"});
    ASSERT_EQ(run.code, 0) << run.output;
    EXPECT_TRUE(run.Shows("\n ROM ID = SRVBD010\n"));
    EXPECT_EQ(HostOperations(),
              (std::vector<std::string>{
                  "iopl:3", "shell:insmod ./quorzel_mod.o 2> /dev/null > /dev/null", "mknod:quorz",
                  "unlink:quorz", "shell:rmmod quorzel_mod", "iopl:0"}));
    const auto calls = BiosCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].operation, "FLASH_OPEN");
    EXPECT_EQ(calls[1].operation, "FLASH_READ");
    EXPECT_EQ(calls[1].address, 0xFFC00u) << "the last KB of a 256 KB ROM ending at 1 MB";
    EXPECT_EQ(calls[2].operation, "FLASH_CLOSE");
    EXPECT_FALSE(Module().Loaded());
    EXPECT_FALSE(Module().BufferAllocated());
    EXPECT_FALSE(machine.Host().NodeExists("quorz"));
    EXPECT_EQ(machine.Views().Count(), 0u);
    EXPECT_EQ(machine.Host().OpenDescriptors(), 0u);
    bool boundToProcessorZero = false;
    for (const auto& entry : machine.Log().Of("host")) {
        boundToProcessorZero |= entry.operation == "sched_setaffinity" && entry.value == 1 &&
                                entry.width == sizeof(unsigned long);
    }
    EXPECT_TRUE(boundToProcessorZero);
}

TEST_F(Startup, RomIdOfLargeAndSmallRoms) {
    struct Case {
        const char* romKb;
        std::uint64_t lastKb;
    } cases[] = {{"512", 0xFFC00}, {"2048", 0x1FFC00}};
    for (const Case& c : cases) {
        Boot({{"bios.rom_kb", c.romKb}, {"bios.rom_id", "BIGROM07"}});
        const Outcome run = Tarvo({"/t"});
        ASSERT_EQ(run.code, 0) << run.output;
        EXPECT_TRUE(run.Shows("\n ROM ID = BIGROM07\n"));
        EXPECT_EQ(BiosCalls("FLASH_READ").at(0).address, c.lastKb);
    }
}

TEST_F(Startup, DriverAlreadyThereIsUsedAndStillUnloaded) {
    Boot({{"quorzel.loaded", "1"}, {"quorzel.node", "1"}});
    const Outcome run = Tarvo({"/t"});
    EXPECT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(HostOperations(), (std::vector<std::string>{"iopl:3", "unlink:quorz",
                                                          "shell:rmmod quorzel_mod", "iopl:0"}));
    EXPECT_FALSE(Module().Loaded());
}

TEST_F(Startup, DriverLoadedWithoutNodeGetsANode) {
    Boot({{"quorzel.loaded", "1"}});
    const Outcome run = Tarvo({"/t"});
    EXPECT_EQ(run.code, 0) << run.output;
    const auto operations = HostOperations();
    EXPECT_TRUE(Contains(operations, "mknod:quorz"));
    EXPECT_FALSE(std::any_of(operations.begin(), operations.end(), [](const std::string& op) {
        return op.find("insmod") != std::string::npos;
    }));
}

TEST_F(Startup, DriverLoadFailures) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> settings;
        std::string printed;
        std::vector<std::string> undo;  // what the failed load gave back
    } cases[] = {
        {"second insmod form", {{"quorzel.insmod_accepts", "quorzel_mod"}}, "", {}},
        {"no insmod form", {{"quorzel.insmod_accepts", ""}}, "error loading driver\n", {}},
        {"major 0",
         {{"quorzel.major", "0"}},
         "error driver quorzel not found\n",
         {"shell:rmmod quorzel_mod"}},
        {"mknod refused",
         {{"host.fault.mknod", "1"}},
         "error 1 creating node quorz: Operation not permitted\n",
         {"unlink:quorz", "shell:rmmod quorzel_mod"}},
        {"open refused",
         {{"host.fault.open", "quorz:13"}},
         "error 13 opening driver: Permission denied\n",
         {"unlink:quorz", "shell:rmmod quorzel_mod"}},
    };
    for (const Case& c : cases) {
        Boot(c.settings);
        const Outcome run = Tarvo({"/t"});
        if (c.printed.empty()) {
            EXPECT_EQ(run.code, 0) << c.name << run.output;
            continue;
        }
        EXPECT_EQ(run.code, 16) << c.name;
        EXPECT_TRUE(run.Shows(c.printed + Error("Unable to load driver\n")))
            << c.name << run.output;
        std::vector<std::string> operations = HostOperations();
        // Past the two insmod attempts, only the load's own undoing and iopl(0).
        const auto lastInsmod =
            std::find_if(operations.rbegin(), operations.rend(),
                         [](const auto& op) { return op.find("insmod") != std::string::npos; });
        std::vector<std::string> after(lastInsmod.base(), operations.end());
        after.erase(std::remove(after.begin(), after.end(), "mknod:quorz"), after.end());
        std::vector<std::string> expected = c.undo;
        expected.push_back("iopl:0");
        EXPECT_EQ(after, expected) << c.name;
        EXPECT_FALSE(Module().Loaded()) << c.name;
    }
}

TEST_F(Startup, MemoryAndInterfaceFailures) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> settings;
        int code;
        std::string printed;
    } cases[] = {
        {"no /dev/mem",
         {{"host.fault.open", "/dev/mem:13"}},
         32,
         " error opening /dev/mem!\n" + Error("Unable to initialize memory manager\n")},
        {"F0000h refused",
         {{"host.fault.mmap", "0xF0000:0x10000:1"}},
         38,
         " error mapping physical memory!\n" + Error(kNoFlashInfo)},
        {"no anchor",
         {{"bios.anchor", "0"}},
         2,
         Error("ASF Signature not found") + Error(kNoFlashInfo)},
        {"open refused", {{"bios.open_status", "1"}}, 64, Error(kNoFlashInfo)},
        {"no transfer buffer", {{"quorzel.fault.alloc", "12"}}, 36, Error(kNoFlashInfo)},
        {"buffer not mappable", {{"quorzel.fault.mmap", "11"}}, 36, Error(kNoFlashInfo)},
        {"segment refused",
         {{"host.fault.mmap", "0xE0000:0x10000:1"}},
         40,
         " error mapping physical memory, E000!\n" + Error(kNoFlashInfo)},
        {"ROM ID unreadable", {{"bios.fault.read", "0xFFC00"}}, 66, Error(kNoFlashInfo)},
        {"ROM ID checksum", {{"bios.fault.read_checksum", "0xFFC00"}}, 66, Error(kNoFlashInfo)},
    };
    for (const Case& c : cases) {
        sim::Machine& machine = Boot(c.settings);
        const Outcome run = Tarvo({"/t"});
        EXPECT_EQ(run.code, c.code) << c.name << run.output;
        EXPECT_TRUE(run.Shows(c.printed)) << c.name << run.output;
        EXPECT_FALSE(run.Shows("ROM ID =")) << c.name;
        // Whatever failed, everything taken was given back.
        EXPECT_FALSE(Module().Loaded()) << c.name;
        EXPECT_FALSE(Module().BufferAllocated()) << c.name;
        EXPECT_EQ(machine.Views().Count(), 0u) << c.name;
        EXPECT_EQ(machine.Host().OpenDescriptors(), 0u) << c.name;
    }
}

TEST_F(Startup, OpenStatusOtherThanOneIsNoRefusal) {
    Boot({{"bios.open_status", "2"}});
    EXPECT_EQ(Tarvo({"/t"}).code, 0);
}

// "$ASF" is looked for at offsets 0 to 65530 of the 0xFFFF-byte mapping; an
// anchor whose fields would lie past the mapping is refused, not read.
TEST_F(Startup, AnchorPlacementAtTheSegmentsEnd) {
    struct Case {
        const char* poke;
        int code;
        const char* message;
    } cases[] = {
        {"0xFFFFA:24415346", 42, "BIOS flash information is invalid: the $ASF anchor runs past"},
        {"0xFFFFB:24415346", 2, "ASF Signature not found"},
    };
    for (const Case& c : cases) {
        Boot({{"bios.anchor", "0"}, {"memory.poke", c.poke}});
        const Outcome run = Tarvo({"/t"});
        EXPECT_EQ(run.code, c.code) << run.output;
        EXPECT_TRUE(run.Shows(c.message)) << run.output;
    }
}

// mmap of /dev/mem takes page-aligned offsets only, and a strict /dev/mem
// refuses the RAM above the first megabyte: the information segment is
// mapped from the page that holds it and no further than 1 MiB, and exactly
// that is unmapped again.
TEST_F(Startup, InformationSegmentMappedFromItsPageAndNotPastTheFirstMegabyte) {
    struct Case {
        const char* segment;
        std::uint64_t mapOffset;
        std::uint64_t mapLength;
    } cases[] = {
        {"0xE000", 0xE0000, 0xFFFF},
        {"0xE004", 0xE0000, 0x40 + 0xFFFF},  // E0040h lies inside a page
        {"0xFF00", 0xFF000, 0x1000},         // would run 0xEFFF bytes past 1 MiB
        {"0xFFF0", 0xFF000, 0x1000},         // 100h bytes of segment below 1 MiB
    };
    for (const Case& c : cases) {
        sim::Machine& machine = Boot({{"bios.info_segment", c.segment}});
        const Outcome run = Tarvo({"/t"});
        ASSERT_EQ(run.code, 0) << c.segment << run.output;
        EXPECT_TRUE(run.Shows("\n ROM ID = SRVBD010\n")) << c.segment;

        std::vector<std::pair<std::uint64_t, std::uint64_t>> mapped;
        std::vector<std::uint64_t> unmapped;
        for (const sim::LogEntry& entry : machine.Log().Of("host")) {
            if (entry.operation == "mmap" && entry.detail == "/dev/mem") {
                mapped.emplace_back(entry.address, entry.value);
            }
            if (entry.operation == "munmap") unmapped.push_back(entry.value);
        }
        EXPECT_EQ(mapped, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{
                              {0xF0000, 0xFFFF}, {c.mapOffset, c.mapLength}}))
            << c.segment;
        EXPECT_EQ(unmapped, (std::vector<std::uint64_t>{1024, 0xFFFF, c.mapLength})) << c.segment;
        EXPECT_EQ(machine.Views().Count(), 0u) << c.segment;
    }
}

// Near the top of the first megabyte only part of the information segment
// is mapped; a table reaching beyond that part is refused, not read from
// memory the program never mapped.
TEST_F(Startup, TablesPastTheMappedPartOfTheSegmentAreRefused) {
    struct Case {
        const char* poke;
        const char* what;
    } cases[] = {
        // Segment FFF0h: 100h bytes from FFF00h. The FlashInfo pointer at
        // FFF40h, FlashInfo at FFF80h, the BlockTable right after it.
        {"0xFFF40:F8000000", "FlashInfo lies outside the information segment"},
        {"0xFFF90:1000", "the BlockTable runs past the information segment"},
    };
    for (const Case& c : cases) {
        Boot({{"bios.info_segment", "0xFFF0"}, {"memory.poke", c.poke}});
        const Outcome run = Tarvo({"/t"});
        EXPECT_EQ(run.code, 42) << c.what << run.output;
        EXPECT_TRUE(run.Shows(Error(std::string("BIOS flash information is invalid: ") + c.what)))
            << c.what << run.output;
        EXPECT_TRUE(BiosCalls("FLASH_READ").empty()) << c.what;
        EXPECT_EQ(Machine().Views().Count(), 0u) << c.what;
    }
}

// Tables that claim what their segment or the ROM cannot hold are refused
// before the flash is touched.
TEST_F(Startup, ImpossibleBiosTablesAreRefused) {
    struct Case {
        std::map<std::string, std::string> settings;
        const char* what;
    } cases[] = {
        {{{"bios.rom_kb", "0"}}, "the ROM size is 0"},
        {{{"bios.blocks", "0xC0000:0x10000,0xF8000:0x10000"}, {"bios.nvram", ""}},
         "a block of the BlockTable lies outside the ROM"},
        {{{"bios.blocks", "0xB0000:0x10000"}, {"bios.nvram", ""}},
         "a block of the BlockTable lies outside the ROM"},
        // FlashInfo lies at E0080h, the BlockTable right after it at E0090h.
        {{{"memory.poke", "0xE0090:0020"}}, "the BlockTable runs past the information segment"},
        {{{"memory.poke", "0xE008A:FEFF"}}, "the BlockTable lies outside the information segment"},
        {{{"memory.poke", "0xE008C:FEFF"}}, "the NvramTable lies outside the information segment"},
        {{{"memory.poke", "0xE0040:F8FF0000"}}, "FlashInfo lies outside the information segment"},
        {{{"bios.boot_blocks", "5"}}, "the BlockTable has more boot blocks than blocks"},
        {{{"bios.request_distance", "0xFF"}, {"bios.anchor_offset", "0xFF00"}},
         "the flash request block runs past the F0000h segment"},
    };
    for (const Case& c : cases) {
        Boot(c.settings);
        const Outcome run = Tarvo({"/t"});
        EXPECT_EQ(run.code, 42) << c.what << run.output;
        EXPECT_TRUE(run.Shows(Error(std::string("BIOS flash information is invalid: ") + c.what)))
            << c.what << run.output;
        EXPECT_TRUE(BiosCalls("FLASH_READ").empty()) << c.what;
        EXPECT_TRUE(BiosCalls("FLASH_ERASE").empty()) << c.what;
    }
}

TEST_F(Startup, ReleaseFailuresAreReportedAndKeepAnEarlierCode) {
    struct Case {
        std::map<std::string, std::string> settings;
        int code;
        const char* message;
    } cases[] = {
        {{{"bios.close_status", "1"}}, 65, "Unable to close BIOS flash interface\n"},
        {{{"quorzel.fault.free", "22"}}, 37, "Unable to close BIOS flash interface\n"},
        {{{"host.fault.unmap", "22"}}, 37, "Unable to close BIOS flash interface\n"},
    };
    for (const Case& c : cases) {
        Boot(c.settings);
        const Outcome run = Tarvo({"/t"});
        EXPECT_EQ(run.code, c.code) << c.message << run.output;
        EXPECT_TRUE(run.Shows(Error(c.message))) << run.output;
    }
    // A failed close after an earlier failure keeps the earlier code.
    Boot({{"bios.close_status", "1"}, {"bios.fault.read", "0xFFC00"}});
    const Outcome run = Tarvo({"/t"});
    EXPECT_EQ(run.code, 66);
    EXPECT_TRUE(run.Shows(Error(kNoFlashInfo) + Error("Unable to close BIOS flash interface\n")));
}

}  // namespace
}  // namespace tarvo_test
