// The write faults of a logical FRU device as a client meets them in the
// middle of an area: a write that is refused, lost, cut short by the
// device (its count written says so), one that hangs the controller, and
// one after which the process gets a stop signal. Each case checks the
// answer, the device's cells and the request log, with its virtual times.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "sim/bmc/fru/fru_image_builder.h"
#include "sim/bmc/fru/fru_storage.h"
#include "sim/bmc/kcs_interface.h"
#include "tests/common/files.h"
#include "tests/sim/fru_requests.h"
#include "tests/sim/kcs_host.h"
#include "tests/sim/program_process.h"

namespace {

using simtest::AskBmc;
using simtest::Bytes;
using simtest::Contents;
using simtest::FruAccesses;
using simtest::ReadFru;
using simtest::WriteFru;

constexpr std::size_t kDeviceBytes = 2048;

// The baseboard's FRU (the factory sample) at ID 0 on the BMC and nothing
// else, with the case's faults.
sim::fru::FruDevice& Baseboard(simtest::SettingPairs extra = {}) {
    return simtest::OnlyLogicalDevice("baseboard:bmc:0:2048", extra);
}

// Where the sample image's board area lies: the faults strike inside it.
std::size_t BoardOffset() {
    return sim::fru::SampleFru("baseboard", kDeviceBytes).Where(sim::fru::Area::kBoard)->offset;
}

Bytes WithWrite(Bytes cells, std::size_t offset, const Bytes& data, std::size_t kept) {
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(kept),
              cells.begin() + static_cast<std::ptrdiff_t>(offset));
    return cells;
}

const Bytes kData = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87};

// ------------------------------------------------------------ in mid-area

TEST(FruWriteFaults, EachFaultStrikesAWriteInTheMiddleOfTheBoardArea) {
    const std::size_t at = BoardOffset() + 16;
    const std::string atText = std::to_string(at);
    const std::string fourIn = std::to_string(at + 4);
    struct Case {
        const char* name;
        std::string key;
        std::string value;
        bool answered;
        std::uint8_t code;
        Bytes countWritten;
        std::size_t kept;  // bytes of the write the cells take
        const char* note;
    };
    const Case cases[] = {
        {"refused", "write_fail", fourIn, true, 0xFF, {}, 0, "failing cell at "},
        {"refused with its own code",
         "write_fail",
         fourIn + ":0xD5",
         true,
         0xD5,
         {},
         0,
         "failing cell at "},
        {"acknowledged and lost",
         "lost_write",
         fourIn + ":2",
         true,
         0x00,
         {0x08},
         0,
         "write not kept"},
        {"cut before the offset",
         "short_write",
         fourIn,
         true,
         0x00,
         {0x04},
         4,
         "short write: 4 of 8 bytes kept"},
        {"cut after KEEP bytes",
         "short_write",
         fourIn + ":6",
         true,
         0x00,
         {0x06},
         6,
         "short write: 6 of 8 bytes kept"},
        {"cut to nothing",
         "short_write",
         atText,
         true,
         0x00,
         {0x00},
         0,
         "short write: 0 of 8 bytes kept"},
        {"never answered",
         "silent_write",
         fourIn,
         false,
         0x00,
         {},
         0,
         "no answer: the controller stopped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = "fru.baseboard.fault." + c.key;
        sim::fru::FruDevice& device = Baseboard({{key.c_str(), c.value.c_str()}});
        const Bytes before = Contents(device);
        const sim::ipmi::Response response = WriteFru(0, static_cast<std::uint16_t>(at), kData);
        EXPECT_EQ(response.silent, !c.answered);
        if (c.answered) {
            EXPECT_EQ(response.completionCode, c.code);
        }
        EXPECT_EQ(response.data, c.countWritten);
        EXPECT_EQ(Contents(device), WithWrite(before, at, kData, c.kept));

        const auto accesses = FruAccesses("baseboard");
        ASSERT_EQ(accesses.size(), 1u);
        EXPECT_EQ(accesses[0].operation, "write");
        EXPECT_EQ(accesses[0].offset, at);
        EXPECT_EQ(accesses[0].length, kData.size());
        EXPECT_EQ(accesses[0].answered, c.answered);
        if (c.answered) {
            EXPECT_EQ(accesses[0].completionCode, c.code);
        }
        EXPECT_EQ(accesses[0].note.rfind(c.note, 0), 0u) << accesses[0].note;
    }
}

// ------------------------------------------------------------ short writes

TEST(FruWriteFaults, AShortWriteStrikesOnlyWritesOverItsOffsetAndItsGivenTimes) {
    sim::fru::FruDevice& device = Baseboard({{"fru.baseboard.fault.short_write", "0x104::2"}});
    Bytes expected = Contents(device);
    // Before the offset, and a write that would keep all it sends: whole,
    // and the fault is not used up by them.
    ASSERT_EQ(WriteFru(0, 0xF8, kData).data, Bytes{0x08});
    expected = WithWrite(expected, 0xF8, kData, 8);
    EXPECT_EQ(Contents(device), expected);
    // Two writes over 104h stop there; the third is whole again.
    for (const std::size_t kept : {4u, 4u, 8u}) {
        const sim::ipmi::Response response = WriteFru(0, 0x100, kData);
        EXPECT_EQ(response.completionCode, 0x00);
        EXPECT_EQ(response.data, Bytes{static_cast<std::uint8_t>(kept)});
        // A client that continues from the count gets the rest written.
        expected = WithWrite(expected, 0x100, kData, kept);
        EXPECT_EQ(Contents(device), expected);
    }
    const auto accesses = FruAccesses("baseboard");
    ASSERT_EQ(accesses.size(), 4u);
    EXPECT_EQ(accesses[0].note, "");
    EXPECT_EQ(accesses[1].note, "short write: 4 of 8 bytes kept");
    EXPECT_EQ(accesses[2].note, "short write: 4 of 8 bytes kept");
    EXPECT_EQ(accesses[3].note, "");
}

TEST(FruWriteFaults, WriteFaultSettingsThatCannotBeUnderstoodAreRefused) {
    const std::pair<const char*, const char*> bad[] = {
        {"fru.baseboard.fault.short_write", "0x10:1:2:3"},
        {"fru.baseboard.fault.short_write", "0x10:x"},
        {"fru.baseboard.fault.short_write", "0x10:1:sometimes"},
        {"fru.baseboard.fault.silent_write", "later"},
        {"fru.baseboard.fault.signal", "0x10"},
        {"fru.baseboard.fault.signal", "0x10:SIGKILL"},
        {"fru.baseboard.fault.signal", "0x10:SIGTERM:twice"},
        // Write FRU Data's faults; an EEPROM on a bus has no count written.
        {"fru.backplane.fault.short_write", "0x10"},
        {"fru.riser.fault.silent_write", "0x10"},
    };
    simtest::ExpectEachSettingRefused(bad);
}

// ------------------------------------------------------------ silent

TEST(FruWriteFaults, ASilentWriteStopsTheControllerUntilTheProcessEnds) {
    sim::fru::FruDevice& device = Baseboard({{"fru.baseboard.fault.silent_write", "0x40"}});
    Bytes expected = Contents(device);
    // The writes before it land.
    ASSERT_EQ(WriteFru(0, 0x30, kData).completionCode, 0x00);
    ASSERT_EQ(WriteFru(0, 0x38, kData).completionCode, 0x00);
    expected = WithWrite(WithWrite(expected, 0x30, kData, 8), 0x38, kData, 8);
    EXPECT_TRUE(WriteFru(0, 0x3C, kData).silent);
    EXPECT_EQ(Contents(device), expected);

    // Nothing after it is answered, FRU command or not.
    EXPECT_TRUE(ReadFru(0, 0x00, 8).silent);
    EXPECT_TRUE(WriteFru(0, 0x80, kData).silent);
    EXPECT_TRUE(AskBmc(0x06, 0x01).silent);  // Get Device ID
    EXPECT_EQ(Contents(device), expected);
    const auto accesses = FruAccesses("baseboard");
    ASSERT_EQ(accesses.size(), 3u) << "the stopped controller logs nothing more";
    EXPECT_FALSE(accesses[2].answered);

    // The next process (a fresh machine) is answered, and with the setting
    // gone a write over the offset lands.
    Baseboard();
    EXPECT_EQ(AskBmc(0x06, 0x01).completionCode, 0x00);
    EXPECT_EQ(WriteFru(0, 0x3C, kData).completionCode, 0x00);
}

TEST(FruWriteFaults, OverTheKcsPortsAStoppedBmcLeavesTheHostWaiting) {
    Baseboard({{"fru.baseboard.fault.silent_write", "0x40"}});
    simtest::KcsHost host;
    Bytes frame = {0x0A << 2, 0x12, 0x00, 0x40, 0x00, 0x5A, 0x5A};
    Bytes response;
    // The BMC takes the whole request, then no response byte ever comes:
    // the state stays WRITE, and the abort of the error exit is not taken.
    EXPECT_EQ(host.Exchange(frame, &response), simtest::KcsHost::Result::kWrongState);
    EXPECT_TRUE(response.empty());
    EXPECT_EQ(host.Status() & sim::kcs::kObf, 0);
    EXPECT_EQ(host.ErrorExit(), std::nullopt);
    EXPECT_EQ(host.Status() & sim::kcs::kIbf, sim::kcs::kIbf);

    const auto requests = sim::TheMachine().Log().Of("kcs");
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].operation, "request");
    EXPECT_NE(requests[0].detail.find("-> no answer"), std::string::npos) << requests[0].detail;
    EXPECT_EQ(requests[1].operation, "stopped");
}

TEST(FruWriteFaults, ASatelliteThatStopsSendsNoResponseWhileTheBmcGoesOn) {
    simtest::ResetFru({{"fru.front_panel.fault.silent_write", "0x10"}});
    const Bytes before = Contents(simtest::FruDeviceNamed("front_panel"));
    simtest::IpmbRequest request;
    request.target = 0x22;
    request.netFn = 0x0A;
    request.cmd = 0x12;
    request.data = simtest::WriteFruRequest(0, 0x10, {1, 2, 3, 4});
    EXPECT_EQ(AskBmc(0x06, 0x34, request.SendMessageData(0)).completionCode, 0x00);
    EXPECT_EQ(AskBmc(0x06, 0x33).completionCode, 0x80) << "no response in the queue";
    EXPECT_EQ(Contents(simtest::FruDeviceNamed("front_panel")), before);
    EXPECT_EQ(AskBmc(0x06, 0x01).completionCode, 0x00) << "the BMC itself still answers";
    const auto accesses = FruAccesses("front_panel");
    ASSERT_EQ(accesses.size(), 1u);
    EXPECT_FALSE(accesses[0].answered);
}

// ------------------------------------------------------------ busy

TEST(FruWriteFaults, TheLogCarriesTheVirtualTimeOfEachRequest) {
    sim::fru::FruDevice& device = Baseboard({{"fru.baseboard.fault.write_busy", "2:0x81"}});
    sim::VirtualClock& clock = sim::TheMachine().Clock();
    const std::uint64_t start = clock.NowNs();
    EXPECT_EQ(WriteFru(0, 0x40, kData).completionCode, 0x81);
    clock.Advance(1'000'000);
    EXPECT_EQ(WriteFru(0, 0x40, kData).completionCode, 0x81);
    clock.Advance(4'000'000);
    EXPECT_EQ(WriteFru(0, 0x40, kData).completionCode, 0x00);
    EXPECT_EQ(Bytes(device.Contents().begin() + 0x40, device.Contents().begin() + 0x48), kData);

    const auto accesses = FruAccesses("baseboard");
    ASSERT_EQ(accesses.size(), 3u);
    EXPECT_EQ(accesses[0].atNs, start);
    EXPECT_EQ(accesses[1].atNs - accesses[0].atNs, 1'000'000u);
    EXPECT_EQ(accesses[2].atNs - accesses[1].atNs, 4'000'000u);
    EXPECT_EQ(accesses[0].completionCode, 0x81);
    EXPECT_EQ(accesses[0].note, "busy");
}

// ------------------------------------------------------------ signals

volatile std::sig_atomic_t gCaught = 0;

void Catch(int signal) {
    gCaught = signal;
}

TEST(FruWriteFaults, AStoredWriteOverTheOffsetBringsItsSignalOnce) {
    const std::pair<const char*, int> signals[] = {
        {"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGPIPE", SIGPIPE}};
    for (const auto& [name, number] : signals) {
        SCOPED_TRACE(name);
        const std::string value = std::string("0x44:") + name;
        sim::fru::FruDevice& device = Baseboard({{"fru.baseboard.fault.signal", value.c_str()}});
        struct sigaction action {};
        struct sigaction old {};
        action.sa_handler = Catch;
        sigemptyset(&action.sa_mask);
        ASSERT_EQ(sigaction(number, &action, &old), 0);
        gCaught = 0;

        ASSERT_EQ(WriteFru(0, 0x38, kData).completionCode, 0x00);
        EXPECT_EQ(gCaught, 0) << "a write beside the offset";
        ASSERT_EQ(WriteFru(0, 0x40, kData).completionCode, 0x00);
        EXPECT_EQ(gCaught, number);
        EXPECT_EQ(Bytes(device.Contents().begin() + 0x40, device.Contents().begin() + 0x48), kData);
        gCaught = 0;
        ASSERT_EQ(WriteFru(0, 0x40, kData).completionCode, 0x00);
        EXPECT_EQ(gCaught, 0) << "once by default";
        sigaction(number, &old, nullptr);

        const auto accesses = FruAccesses("baseboard");
        ASSERT_EQ(accesses.size(), 3u);
        EXPECT_EQ(accesses[1].note, std::string("raised ") + name);
        EXPECT_EQ(accesses[2].note, "");
    }
}

TEST(FruWriteFaults, AHeldSignalWaitsWhileTheWritesGoOn) {
    Baseboard({{"fru.baseboard.fault.signal", "0x44:SIGTERM:always"}});
    sigset_t term;
    sigset_t old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ASSERT_EQ(sigprocmask(SIG_BLOCK, &term, &old), 0);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(WriteFru(0, 0x40, kData).completionCode, 0x00);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGTERM), 1);
    // Take it before unblocking, so the test process lives on.
    int taken = 0;
    sigwait(&term, &taken);
    EXPECT_EQ(taken, SIGTERM);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    const auto accesses = FruAccesses("baseboard");
    ASSERT_EQ(accesses.size(), 2u);
    EXPECT_EQ(accesses[1].note, "raised SIGTERM");
}

// A process that the signal kills has its write kept in the state
// directory, as the part kept it.
TEST(FruWriteFaults, AWriteThatASignalEndsIsKeptInTheStateDirectory) {
    const test_support::TempDir state("fru_signal_");
    const std::filesystem::path& dir = state.Path();
    {
        std::ofstream settings(dir / "settings");
        settings << "fru.devices=baseboard:bmc:0:2048\nfru.memories=\n"
                    "fru.baseboard.fault.signal=0x44:SIGTERM\n";
    }
    const int status = simtest::RunProgram(dir, [] {
        signal(SIGTERM, SIG_DFL);
        sim::TheMachine();
        WriteFru(0, 0x40, kData);
        return true;  // not reached: SIGTERM ends the child
    });
    ASSERT_NE(status, -1);
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    std::ifstream in(dir / "fru-baseboard.bin", std::ios::binary);
    const Bytes cells{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(cells.size(), kDeviceBytes);
    EXPECT_EQ(Bytes(cells.begin() + 0x40, cells.begin() + 0x48), kData);
}

}  // namespace
