// The management engine's staging path: reset into firmware transfer mode,
// erase (which takes virtual time), open area 1, sequenced writes, close
// with the length and checksum; only a whole, checked image becomes the
// running firmware, and its version is what Get Device ID reports.
#include <gtest/gtest.h>

#include "tests/sim/fwme_requests.h"

namespace {

using simtest::AskMe;
using simtest::Bytes;
using simtest::CloseArea;
using simtest::Erase;
using simtest::HostChecksum;
using simtest::MeFirmwareBytes;
using simtest::MeImage;
using simtest::MeInTransferMode;
using simtest::MeRequests;
using simtest::OpenArea;
using simtest::ResetAndErase;
using simtest::ResetEngine;
using simtest::ResetMe;
using simtest::StageImage;
using simtest::Staging;
using simtest::WriteArea;

void Advance(std::uint64_t ms) {
    sim::TheMachine().Clock().Advance(ms * simtest::kNsPerMs);
}

TEST(MeChecksum, WordsAreLittleEndianAndAnOddLastByteIsAHighByte) {
    // 0201h + 0300h = 0501h; the checksum brings the sum to zero.
    EXPECT_EQ(sim::me::ImageChecksum(Bytes{0x01, 0x02, 0x03}), 0xFAFF);
    EXPECT_EQ(sim::me::ImageChecksum(Bytes{0x01, 0x02, 0x03}), HostChecksum({0x01, 0x02, 0x03}));
    EXPECT_EQ(sim::me::ImageChecksum(Bytes{0x00, 0x00}), 0x0000);
    EXPECT_EQ(sim::me::ImageChecksum(Bytes{0xFF, 0xFF, 0x02, 0x00}), 0xFFFF);
}

TEST(MeReset, PutsTheEngineIntoTransferModeAndBackWithTheVersionKept) {
    ResetEngine();
    const auto before = MeFirmwareBytes();
    EXPECT_FALSE(before.first & 0x80);
    struct Case {
        std::uint8_t target;
        std::uint8_t code;
        bool transferMode;
    } cases[] = {{0x01, 0x00, true},
                 {0x01, 0x00, true},
                 {0x02, 0xCC, true},
                 {0x00, 0x00, false},
                 {0xFF, 0xCC, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(ResetMe(c.target), c.code);
        const auto bytes = MeFirmwareBytes();
        EXPECT_EQ(bool(bytes.first & 0x80), c.transferMode);
        EXPECT_EQ(bytes.first & 0x7F, before.first);
        EXPECT_EQ(bytes.second, before.second);
        EXPECT_EQ(MeRequests("reset").back().address, c.target);
        EXPECT_EQ(MeRequests("reset").back().completionCode, c.code);
    }
    EXPECT_EQ(AskMe(0x30, 0xDF).completionCode, 0xC7);
    EXPECT_EQ(MeRequests("reset").back().completionCode, 0xC7);
}

TEST(MeStatus, ReportsTheModeAndHowFarStagingHasCome) {
    ResetEngine({{"ipmb.me.staging.erase_ms", "0"}});
    const auto status = [] {
        const sim::ipmi::Response response = AskMe(0x30, 0xA6);
        EXPECT_EQ(response.completionCode, 0x00);
        return response.data;
    };
    EXPECT_EQ(status(), (Bytes{0x00, 0x00}));
    ASSERT_EQ(ResetMe(1), 0x00);
    EXPECT_EQ(status(), (Bytes{0x01, 0x00}));
    ASSERT_EQ(Erase(), 0x00);
    EXPECT_EQ(status(), (Bytes{0x01, 0x02}));
    ASSERT_EQ(OpenArea(), 0x00);
    EXPECT_EQ(status(), (Bytes{0x01, 0x03}));
    ASSERT_EQ(WriteArea(1, {0x10, 0x20}), 0x00);
    EXPECT_EQ(CloseArea(2, HostChecksum({0x10, 0x20})), 0x00);
    EXPECT_EQ(status(), (Bytes{0x01, 0x04}));
    ASSERT_EQ(OpenArea(), 0x00);
    EXPECT_EQ(CloseArea(0, 1), 0xCC);
    EXPECT_EQ(status(), (Bytes{0x01, 0x05}));
    ASSERT_EQ(ResetMe(0), 0x00);
    EXPECT_EQ(status(), (Bytes{0x00, 0x00}));

    const auto polls = MeRequests("status");
    ASSERT_EQ(polls.size(), 7u);
    EXPECT_EQ(polls[3].value, 0x03u);
    EXPECT_EQ(polls[5].value, 0x05u);
    EXPECT_EQ(AskMe(0x30, 0xA6, {0x00}).completionCode, 0xC7);
}

TEST(MeErase, AnswersBusyUntilItsVirtualTimeHasPassed) {
    struct Case {
        const char* eraseMs;
        unsigned busyPolls;  // with a second between polls
    } cases[] = {{"0", 0}, {"2500", 3}, {"3000", 3}, {"100", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.eraseMs);
        ResetEngine({{"ipmb.me.staging.erase_ms", c.eraseMs}});
        ASSERT_EQ(ResetMe(1), 0x00);
        unsigned busy = 0;
        std::uint8_t code = Erase();
        while (code == 0x81 && busy < 10) {
            ++busy;
            Advance(1000);
            code = Erase();
        }
        EXPECT_EQ(code, 0x00);
        EXPECT_EQ(busy, c.busyPolls);
        const auto erases = MeRequests("erase");
        ASSERT_EQ(erases.size(), c.busyPolls + 1);
        // Each busy poll tells the time left, a second less each time.
        for (std::size_t i = 0; i + 1 < erases.size(); ++i) {
            EXPECT_EQ(erases[i].completionCode, 0x81);
            EXPECT_EQ(erases[i].value,
                      std::stoull(c.eraseMs) * simtest::kNsPerMs - i * 1000 * simtest::kNsPerMs);
        }
        EXPECT_EQ(erases.back().value, 0u);
        // An erased area answers a further erase at once.
        EXPECT_EQ(Erase(), 0x00);
    }
}

TEST(MeErase, TheBusyCodeIsASetting) {
    ResetEngine({{"ipmb.me.staging.erase_busy_code", "0xC0"}});
    ASSERT_EQ(ResetMe(1), 0x00);
    EXPECT_EQ(Erase(), 0xC0);
    EXPECT_EQ(MeRequests("erase").back().note, "erasing");
}

TEST(MeStaging, RefusesEveryStagingCommandOutsideTransferMode) {
    ResetEngine({{"ipmb.me.staging.erase_ms", "0"}});
    struct Case {
        const char* operation;
        std::uint8_t (*send)();
    } cases[] = {
        {"erase", [] { return Erase(); }},
        {"open", [] { return OpenArea(); }},
        {"write", [] { return WriteArea(1, {0x00}); }},
        {"close", [] { return CloseArea(0, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        EXPECT_EQ(c.send(), 0xD5);
        EXPECT_EQ(MeRequests(c.operation).back().note, "not in firmware transfer mode");
    }
    // Leaving transfer mode drops what was staged.
    ResetAndErase();
    ASSERT_EQ(OpenArea(), 0x00);
    ASSERT_EQ(ResetMe(0), 0x00);
    ASSERT_EQ(ResetMe(1), 0x00);
    EXPECT_EQ(WriteArea(1, {0x00}), 0xD5);
    EXPECT_EQ(MeRequests("write").back().note, "no area open");
    EXPECT_EQ(OpenArea(), 0xD5);
    EXPECT_EQ(MeRequests("open").back().note, "staging area not erased");
}

TEST(MeStaging, AWholeCheckedImageBecomesTheRunningFirmware) {
    sim::ManagementEngine& engine = ResetEngine();
    // 300 bytes: the sequence numbers wrap from FFh to 00h on the way.
    const Bytes image = MeImage(300, 100, 0x04, 0x27);
    ResetAndErase();
    ASSERT_EQ(StageImage(image), 0x00);
    EXPECT_EQ(engine.RunningImage(), image);
    const auto bytes = MeFirmwareBytes();
    EXPECT_EQ(bytes.first, 0x80 | 0x04);  // still in transfer mode
    EXPECT_EQ(bytes.second, 0x27);
    EXPECT_EQ(engine.RunningVersion().Text(), "4.27");

    const auto writes = MeRequests("write");
    ASSERT_EQ(writes.size(), image.size());
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].address, (i + 1) % 256);
        EXPECT_EQ(writes[i].value, 1u);
        EXPECT_EQ(writes[i].completionCode, 0x00);
    }
    const auto closes = MeRequests("close");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].value, image.size());
    EXPECT_EQ(closes[0].address, HostChecksum(image));
    EXPECT_EQ(closes[0].completionCode, 0x00);
    EXPECT_EQ(MeRequests("open")[0].address, 0x01u);
}

TEST(MeStaging, AnImageTakenLeavesTheStagingAreaFreeForTheNext) {
    sim::ManagementEngine& engine = ResetEngine();
    ResetAndErase();
    ASSERT_EQ(StageImage(MeImage(90, 0, 4, 0x10)), 0x00);
    // The update library writes the operational code and the PIA of an
    // engine image one after the other, with one erase before both.
    const Bytes second = MeImage(91, 10, 4, 0x11);
    ASSERT_EQ(StageImage(second), 0x00);
    EXPECT_EQ(engine.RunningImage(), second);
    EXPECT_EQ(engine.RunningVersion().Text(), "4.11");
    EXPECT_EQ(MeRequests("erase").back().completionCode, 0x00);
}

TEST(MeStaging, AnImageWithoutAVersionBlockKeepsTheVersion) {
    struct Case {
        const char* what;
        Bytes image;
        const char* version;
    } cases[] = {
        {"no block", Bytes(50, 0x5A), "3.01"},
        {"broken block", MeImage(120, 0, 7, 0x01, true), "3.01"},
        {"block cut short by the image's end",
         [] {
             Bytes image = MeImage(140, 60, 7, 0x01);
             image.resize(110);
             return image;
         }(),
         "3.01"},
        // A broken copy is passed over for the good one after it.
        {"good block after a broken one",
         [] {
             Bytes image = MeImage(200, 0, 7, 0x01, true);
             const Bytes good = MeImage(100, 20, 8, 0x02);
             image.insert(image.end(), good.begin(), good.end());
             return image;
         }(),
         "8.02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::ManagementEngine& engine = ResetEngine();
        ResetAndErase();
        ASSERT_EQ(StageImage(c.image), 0x00);
        EXPECT_EQ(engine.RunningImage(), c.image);
        EXPECT_EQ(engine.RunningVersion().Text(), c.version);
    }
}

TEST(MeStaging, ABadCloseLeavesTheRunningFirmwareAsItWas) {
    const Bytes image = MeImage(101, 0, 5, 0x00);
    const std::uint16_t checksum = HostChecksum(image);
    const auto length = static_cast<std::uint32_t>(image.size());
    // A host that sums the odd last byte as a low byte sends another checksum.
    const std::uint16_t lowByteChecksum =
        static_cast<std::uint16_t>(checksum + 256 * image.back() - image.back());
    struct Case {
        const char* what;
        Bytes written;
        std::uint32_t length;
        std::uint16_t checksum;
        const char* note;
    } cases[] = {
        {"wrong checksum", image, length, static_cast<std::uint16_t>(checksum + 1), "checksum"},
        {"last odd byte summed low", image, length, lowByteChecksum, "checksum"},
        {"length other than the bytes written", image, length - 1, checksum, "length"},
        {"a version Get Device ID cannot report", MeImage(100, 0, 200, 1), 100,
         HostChecksum(MeImage(100, 0, 200, 1)), "version C8.01 cannot be reported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::ManagementEngine& engine = ResetEngine();
        ResetAndErase();
        ASSERT_EQ(OpenArea(), 0x00);
        ASSERT_EQ(simtest::WriteImage(c.written), 0x00);
        EXPECT_EQ(CloseArea(c.length, c.checksum), 0xCC);
        EXPECT_TRUE(engine.RunningImage().empty());
        EXPECT_EQ(engine.RunningVersion().Text(), "3.01");
        EXPECT_NE(MeRequests("close").back().note.find(c.note), std::string::npos)
            << MeRequests("close").back().note;
        // The close ended the area, and the staging area must be erased anew.
        EXPECT_EQ(WriteArea(static_cast<std::uint8_t>(c.written.size() + 1), {0x00}), 0xD5);
        EXPECT_EQ(OpenArea(), 0xD5);
        ResetAndErase();
        EXPECT_EQ(OpenArea(), 0x00);
    }
}

TEST(MeStaging, RefusesOtherAreasWritesOutOfSequenceAndImagesTooLarge) {
    ResetEngine({{"ipmb.me.staging.capacity", "4"}});
    ResetAndErase();
    EXPECT_EQ(OpenArea(0x02), 0xCC);
    EXPECT_EQ(OpenArea(0x01, 0x01), 0xCC);
    EXPECT_EQ(WriteArea(1, {0x00}), 0xD5);
    ASSERT_EQ(OpenArea(), 0x00);
    EXPECT_EQ(WriteArea(0, {0xAA}), 0xCC);
    EXPECT_EQ(MeRequests("write").back().note, "sequence 0, expected 1");
    EXPECT_EQ(WriteArea(1, {0xAA, 0xBB}), 0x00);
    EXPECT_EQ(WriteArea(3, {0xCC}), 0xCC);
    EXPECT_EQ(MeRequests("write").back().note, "sequence 3, expected 2");
    EXPECT_EQ(Staging(0xA2, {0x02}), 0xC7);
    EXPECT_EQ(Staging(0xA2, Bytes(34, 0x02)), 0xC7);
    EXPECT_EQ(WriteArea(2, {0xCC, 0xDD, 0xEE}), 0xC4);
    EXPECT_EQ(WriteArea(2, {0xCC, 0xDD}), 0x00);
    EXPECT_EQ(MeRequests("write").back().value, 2u);
    EXPECT_EQ(Staging(0xA1, {0x01}), 0xC7);
    EXPECT_EQ(Staging(0xA3, {0x04, 0, 0, 0, 0}), 0xC7);
    // The refused requests left the image as it was written in sequence.
    const Bytes image = {0xAA, 0xBB, 0xCC, 0xDD};
    EXPECT_EQ(CloseArea(4, HostChecksum(image)), 0x00);
    EXPECT_EQ(simtest::Engine().RunningImage(), image);
}

TEST(MeStaging, TheCommandsReachTheEngineBridgedOnChannelSix) {
    ResetEngine();
    simtest::IpmbRequest request;
    request.target = 0x2C;
    request.netFn = 0x30;
    request.cmd = 0xDF;
    request.data = {0x01};
    ASSERT_EQ(simtest::AskBmc(0x06, 0x34, request.SendMessageData(6)).completionCode, 0x00);
    const sim::ipmi::Response reply = simtest::AskBmc(0x06, 0x33);
    ASSERT_EQ(reply.completionCode, 0x00);
    // channel, netFn/LUN, checksum, responder, sequence/LUN, cmd, completion code
    ASSERT_GE(reply.data.size(), 7u);
    EXPECT_EQ(reply.data[0], 6);
    EXPECT_EQ(reply.data[3], 0x2C);
    EXPECT_EQ(reply.data[5], 0xDF);
    EXPECT_EQ(reply.data[6], 0x00);
    EXPECT_TRUE(MeInTransferMode());
    EXPECT_EQ(MeRequests("reset").size(), 1u);
    // The BMC's own table keeps its area commands for the SDR repository.
    EXPECT_EQ(simtest::AskBmc(0x30, 0xDF, {0x01}).completionCode, 0xC1);
}

}  // namespace
