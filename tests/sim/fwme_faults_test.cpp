// The management engine's injected faults: each one changes exactly the
// answers it names, shows in the request log, and never lets a bad image
// become the running firmware.
#include <gtest/gtest.h>

#include "tests/sim/fwme_requests.h"

namespace {

using simtest::AskMe;
using simtest::Bytes;
using simtest::CloseArea;
using simtest::Engine;
using simtest::Erase;
using simtest::HostChecksum;
using simtest::MeImage;
using simtest::MeInTransferMode;
using simtest::MeRequests;
using simtest::OpenArea;
using simtest::ResetAndErase;
using simtest::ResetEngine;
using simtest::ResetMe;
using simtest::StageImage;
using simtest::WriteArea;

std::uint8_t Status() {
    return AskMe(0x30, 0xA6).completionCode;
}

TEST(MeFaults, StatusIsBusyForTheTriesTheFaultCountsWithTheBusyCodeOfTheSetting) {
    struct Case {
        const char* busyCode;
        std::uint8_t expected;
    } cases[] = {{"", 0x82}, {"0xC0", 0xC0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        ResetEngine(
            {{"ipmb.me.fault.status_busy", "3"}, {"ipmb.me.staging.busy_code", c.busyCode}});
        for (int i = 0; i < 3; ++i) EXPECT_EQ(Status(), c.expected);
        EXPECT_EQ(Status(), 0x00);
        const auto polls = MeRequests("status");
        ASSERT_EQ(polls.size(), 4u);
        EXPECT_EQ(polls[2].note, "fault: busy");
        EXPECT_EQ(polls[3].note, "");
    }
}

TEST(MeFaults, OpenIsBusyForTheTriesTheFaultCounts) {
    ResetEngine({{"ipmb.me.fault.open_busy", "2"}});
    ResetAndErase();
    EXPECT_EQ(OpenArea(), 0x82);
    EXPECT_EQ(OpenArea(), 0x82);
    EXPECT_EQ(OpenArea(), 0x00);
    EXPECT_EQ(MeRequests("open").size(), 3u);
}

TEST(MeFaults, AStuckEraseAnswersBusyForever) {
    ResetEngine({{"ipmb.me.fault.erase_stuck", "1"}, {"ipmb.me.staging.erase_ms", "1000"}});
    ASSERT_EQ(ResetMe(1), 0x00);
    for (int poll = 0; poll < 70; ++poll) {
        EXPECT_EQ(Erase(), 0x81);
        sim::TheMachine().Clock().Advance(1000 * simtest::kNsPerMs);
    }
    EXPECT_EQ(MeRequests("erase").back().note, "fault: erase stuck");
    EXPECT_EQ(AskMe(0x30, 0xA6).data, (Bytes{0x01, 0x01}));
    // Nothing was erased, so nothing can be written.
    EXPECT_EQ(OpenArea(), 0xD5);
}

TEST(MeFaults, ARefusedEraseErasesNothing) {
    ResetEngine({{"ipmb.me.fault.erase_refused", "1"}, {"ipmb.me.staging.erase_ms", "0"}});
    ASSERT_EQ(ResetMe(1), 0x00);
    EXPECT_EQ(Erase(), 0x80);
    EXPECT_EQ(MeRequests("erase").back().note, "fault: refused");
    EXPECT_EQ(OpenArea(), 0xD5);
    EXPECT_EQ(Erase(), 0x00);
    EXPECT_EQ(OpenArea(), 0x00);
}

TEST(MeFaults, NotCompatibleAnswers83hOnTheCommandsItNames) {
    struct Case {
        const char* commands;
        std::uint8_t erase;
        std::uint8_t open;
        std::uint8_t write;
    } cases[] = {
        {"erase", 0x83, 0xD5, 0xD5},
        {"open", 0x00, 0x83, 0xD5},
        {"write", 0x00, 0x00, 0x83},
        {"erase,open,write", 0x83, 0x83, 0x83},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commands);
        ResetEngine(
            {{"ipmb.me.fault.not_compatible", c.commands}, {"ipmb.me.staging.erase_ms", "0"}});
        // The engine says so before it looks at its mode.
        if (c.erase == 0x83) {
            EXPECT_EQ(Erase(), 0x83);
        }
        ASSERT_EQ(ResetMe(1), 0x00);
        EXPECT_EQ(Erase(), c.erase);
        EXPECT_EQ(OpenArea(), c.open);
        EXPECT_EQ(WriteArea(1, {0x00}), c.write);
        EXPECT_EQ(MeRequests().back().note,
                  c.write == 0x83 ? "fault: not compatible" : "no area open");
        EXPECT_TRUE(Engine().RunningImage().empty());
    }
}

TEST(MeFaults, TheWriteTheFaultNamesIsRefusedAndNotKept) {
    struct Case {
        const char* setting;
        std::uint8_t code;
    } cases[] = {{"3", 0xFF}, {"3:0xC0", 0xC0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        ResetEngine({{"ipmb.me.fault.refuse_write", c.setting}});
        ResetAndErase();
        ASSERT_EQ(OpenArea(), 0x00);
        EXPECT_EQ(WriteArea(1, {0x11}), 0x00);
        EXPECT_EQ(WriteArea(2, {0x22}), 0x00);
        EXPECT_EQ(WriteArea(3, {0x33}), c.code);
        EXPECT_EQ(MeRequests("write").back().note, "fault: write refused");
        // The same piece again is the fourth write, and is kept.
        EXPECT_EQ(WriteArea(3, {0x33}), 0x00);
        EXPECT_EQ(CloseArea(3, HostChecksum({0x11, 0x22, 0x33})), 0x00);
        EXPECT_EQ(Engine().RunningImage(), (Bytes{0x11, 0x22, 0x33}));
        // The count starts again with each open.
        ASSERT_EQ(OpenArea(), 0x00);
        EXPECT_EQ(WriteArea(1, {0x11}), 0x00);
        EXPECT_EQ(WriteArea(2, {0x22}), 0x00);
        EXPECT_EQ(WriteArea(3, {0x33}), c.code);
    }
}

TEST(MeFaults, ACloseChecksumFaultRefusesARightChecksum) {
    ResetEngine({{"ipmb.me.fault.close_checksum", "1"}});
    const Bytes image = MeImage(80, 4, 6, 0x40);
    ResetAndErase();
    EXPECT_EQ(StageImage(image), 0xCC);
    EXPECT_EQ(MeRequests("close").back().note.rfind("fault: checksum", 0), 0u)
        << MeRequests("close").back().note;
    EXPECT_TRUE(Engine().RunningImage().empty());
    EXPECT_EQ(Engine().RunningVersion().Text(), "3.01");
    ResetAndErase();
    EXPECT_EQ(StageImage(image), 0x00);
    EXPECT_EQ(Engine().RunningVersion().Text(), "6.40");
}

TEST(MeFaults, AResetThatStaysInNormalModeAnswersSuccessAndStagesNothing) {
    ResetEngine(
        {{"ipmb.me.fault.reset_stays_normal", "always"}, {"ipmb.me.staging.erase_ms", "0"}});
    EXPECT_EQ(ResetMe(1), 0x00);
    EXPECT_FALSE(MeInTransferMode());
    EXPECT_EQ(MeRequests("reset").back().note, "fault: stays in normal operation");
    EXPECT_EQ(Erase(), 0xD5);
    EXPECT_EQ(OpenArea(), 0xD5);
}

TEST(MeFaults, SettingsThatCannotBeUnderstoodStopTheMachine) {
    const std::pair<const char*, const char*> bad[] = {
        {"ipmb.me.staging.busy_code", "0"},          {"ipmb.me.staging.busy_code", "0x80"},
        {"ipmb.me.staging.erase_busy_code", "0x83"}, {"ipmb.me.staging.erase_busy_code", "0x100"},
        {"ipmb.me.staging.erase_ms", "soon"},        {"ipmb.me.staging.capacity", "0"},
        {"ipmb.me.fault.status_busy", "often"},      {"ipmb.me.fault.not_compatible", "close"},
        {"ipmb.me.fault.refuse_write", "0"},         {"ipmb.me.fault.refuse_write", "2:0"},
        {"ipmb.me.fault.refuse_write", "1,2"},       {"ipmb.me.fault.reset_stays_normal", "-1"},
    };
    simtest::ExpectEachSettingRefused(bad);
}

TEST(MeFaults, AnEngineMovedElsewhereTakesItsSettingsUnderItsOwnName) {
    sim::ResetMachine(simtest::SettingsOf({
        {"ipmb.satellites", "front_panel:0:0x22,engine:6:0x2C"},
        {"ipmb.engine.fault.status_busy", "1"},
    }));
    EXPECT_EQ(Status(), 0x82);
    EXPECT_EQ(Status(), 0x00);
    sim::ResetMachine(simtest::SettingsOf({{"ipmb.satellites", "front_panel:0:0x22"}}));
    EXPECT_FALSE(Engine().Present());
}

}  // namespace
