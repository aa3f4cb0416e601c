// Virtual time: sleeps and accesses move the clock without real waiting, and
// an armed alarm arrives as a real SIGALRM at the program's own handler.
#include <gtest/gtest.h>

#include <csignal>

#include "hw/hw.h"
#include "sim/core/machine.h"

namespace {

volatile std::sig_atomic_t gAlarms = 0;
void CountAlarm(int) {
    gAlarms = gAlarms + 1;
}

class SimClock : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetMachine();
        gAlarms = 0;
        std::signal(SIGALRM, CountAlarm);
    }
    void TearDown() override { std::signal(SIGALRM, SIG_DFL); }
    static std::uint64_t NowNs() { return sim::TheMachine().Clock().NowNs(); }
};

TEST_F(SimClock, SleepsAdvanceTheClockAndTheTimeOfDay) {
    timeval start{}, end{};
    hw::GetTimeOfDay(&start);
    EXPECT_EQ(hw::SleepSeconds(120), 0u);
    EXPECT_EQ(hw::SleepMicroseconds(250), 0);
    hw::GetTimeOfDay(&end);
    const long long elapsedUs =
        (end.tv_sec - start.tv_sec) * 1000000LL + (end.tv_usec - start.tv_usec);
    EXPECT_EQ(elapsedUs, 120'000'250);
    EXPECT_GT(start.tv_sec, 1'700'000'000);  // a plausible date
}

TEST_F(SimClock, AlarmRaisesSigalrmOnceTheClockPassesIt) {
    EXPECT_EQ(hw::Alarm(15), 0u);
    hw::SleepSeconds(14);
    EXPECT_EQ(gAlarms, 0);
    EXPECT_TRUE(sim::TheMachine().Clock().AlarmPending());
    hw::SleepSeconds(2);
    EXPECT_EQ(gAlarms, 1);
    EXPECT_FALSE(sim::TheMachine().Clock().AlarmPending());
    hw::SleepSeconds(30);
    EXPECT_EQ(gAlarms, 1) << "an alarm fires once";
}

TEST_F(SimClock, AlarmInterruptsASleepAndReportsWhatWasLeft) {
    hw::Alarm(3);
    EXPECT_EQ(hw::SleepSeconds(10), 7u);
    EXPECT_EQ(gAlarms, 1);
    hw::Alarm(1);
    EXPECT_EQ(hw::SleepMicroseconds(2'000'000), -1);
    EXPECT_EQ(errno, EINTR);
}

TEST_F(SimClock, RearmingAndCancellingReturnTheSecondsLeft) {
    EXPECT_EQ(hw::Alarm(15), 0u);
    hw::SleepMicroseconds(4'500'000);
    EXPECT_EQ(hw::Alarm(15), 11u);  // 10.5 s left, rounded up
    EXPECT_EQ(hw::Alarm(0), 15u);
    hw::SleepSeconds(60);
    EXPECT_EQ(gAlarms, 0);
}

// A wait loop that polls a port until the alarm's handler stops it, as the
// KCS transport does, ends after the alarm's virtual seconds.
TEST_F(SimClock, PortPollingLoopEndsAtTheAlarm) {
    hw::Alarm(2);
    std::uint64_t polls = 0;
    while (gAlarms == 0) {
        hw::InByte(0xCA3);
        ++polls;
    }
    EXPECT_EQ(polls, 2'000'000 / (sim::VirtualClock::kPortAccessNs / 1000));
    EXPECT_EQ(NowNs(), 2'000'000'000u);
}

}  // namespace
