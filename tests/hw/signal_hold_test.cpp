// The stop-signal hold and the broken-pipe setting, as both backends give
// them: the calls are the process's own in either build, so one set of cases
// runs against each.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "hw/hw.h"

// Each backend's binary names its cases for the backend (LinuxStopSignalHold,
// SimStopSignalHold...), so that the two runs stay apart in the test list.
#define HW_SUITE_CAT2(a, b) a##b
#define HW_SUITE_CAT(a, b) HW_SUITE_CAT2(a, b)
#define HW_SUITE(name) HW_SUITE_CAT(HW_BACKEND_NAME, name)
#define HW_INSTANTIATE(prefix, suite, ...) INSTANTIATE_TEST_SUITE_P(prefix, suite, __VA_ARGS__)

namespace {

bool Blocked(int signal) {
    sigset_t mask;
    sigemptyset(&mask);
    ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    return sigismember(&mask, signal) == 1;
}

bool Pending(int signal) {
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    return sigismember(&pending, signal) == 1;
}

class HW_SUITE(StopSignal) : public ::testing::TestWithParam<int> {};

TEST_P(HW_SUITE(StopSignal), RaisedInAHoldIsReportedAndConsumed) {
    const int signal = GetParam();
    {
        hw::StopSignalHold hold;
        EXPECT_TRUE(Blocked(signal));
        ASSERT_EQ(std::raise(signal), 0);  // would end the test process, were it not held
        EXPECT_TRUE(Pending(signal));
        EXPECT_EQ(hold.Release(), signal);
        EXPECT_EQ(hold.Release(), 0);  // said once
    }
    EXPECT_FALSE(Pending(signal));
    EXPECT_FALSE(Blocked(signal));
}

TEST_P(HW_SUITE(StopSignal), NestedHoldsLeaveTheSignalToTheOuterOne) {
    const int signal = GetParam();
    hw::StopSignalHold outer;
    {
        hw::StopSignalHold inner;
        ASSERT_EQ(std::raise(signal), 0);
        EXPECT_EQ(inner.Release(), signal);
    }
    // Still held and still pending: the outer write goes on undisturbed.
    EXPECT_TRUE(Blocked(signal));
    EXPECT_TRUE(Pending(signal));
    EXPECT_EQ(outer.Release(), signal);
    EXPECT_FALSE(Pending(signal));
    EXPECT_FALSE(Blocked(signal));
}

TEST_P(HW_SUITE(StopSignal), AHoldEndedWithoutReleaseLetsTheSignalAct) {
    const int signal = GetParam();
    EXPECT_EXIT(
        {
            {
                hw::StopSignalHold hold;
                std::raise(signal);
                // Held: the process gets as far as here.
                if (write(STDERR_FILENO, "held\n", 5) < 0) _exit(3);
            }
            _exit(0);
        },
        ::testing::KilledBySignal(signal), "held");
}

HW_INSTANTIATE(Signals, HW_SUITE(StopSignal), ::testing::Values(SIGINT, SIGTERM, SIGHUP),
               [](const auto& info) { return std::string(hw::SignalName(info.param) + 3); });

TEST(HW_SUITE(StopSignalHold), NoSignalReleasesWithZeroAndPutsTheMaskBack) {
    ASSERT_FALSE(Blocked(SIGINT));
    hw::StopSignalHold hold;
    EXPECT_TRUE(Blocked(SIGINT));
    EXPECT_TRUE(Blocked(SIGTERM));
    EXPECT_TRUE(Blocked(SIGHUP));
    EXPECT_FALSE(Blocked(SIGQUIT));  // only the three stop signals are held
    EXPECT_EQ(hold.Release(), 0);
    EXPECT_FALSE(Blocked(SIGINT));
    EXPECT_FALSE(Blocked(SIGTERM));
    EXPECT_FALSE(Blocked(SIGHUP));
}

TEST(HW_SUITE(StopSignalHold), SeveralSignalsAreReportedInOrderAndAllConsumed) {
    hw::StopSignalHold hold;
    std::raise(SIGHUP);
    std::raise(SIGTERM);
    EXPECT_EQ(hold.Release(), SIGTERM);
    EXPECT_FALSE(Pending(SIGHUP));
    EXPECT_FALSE(Pending(SIGTERM));
}

TEST(HW_SUITE(StopSignalHold), ASignalTheCallerAlreadyBlockedStaysPending) {
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, nullptr), 0);
    {
        hw::StopSignalHold hold;
        std::raise(SIGTERM);
        EXPECT_EQ(hold.Release(), SIGTERM);
    }
    EXPECT_TRUE(Blocked(SIGTERM));
    EXPECT_TRUE(Pending(SIGTERM));
    const timespec now{};
    EXPECT_EQ(::sigtimedwait(&term, nullptr, &now), SIGTERM);
    ::pthread_sigmask(SIG_UNBLOCK, &term, nullptr);
}

TEST(HW_SUITE(BrokenPipe), AWriteToAClosedPipeFailsWithEpipe) {
    hw::IgnoreBrokenPipe();
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    errno = 0;
    EXPECT_EQ(::write(ends[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(ends[1]);
    EXPECT_EQ(std::raise(SIGPIPE), 0);  // and the process goes on
}

TEST(HW_SUITE(BrokenPipe), WithoutItAClosedPipeKills) {
    EXPECT_EXIT(
        {
            std::signal(SIGPIPE, SIG_DFL);  // as a program starts, whatever ran before
            int ends[2];
            if (::pipe(ends) != 0) _exit(2);
            ::close(ends[0]);
            if (::write(ends[1], "x", 1) < 0) _exit(1);
            _exit(0);
        },
        ::testing::KilledBySignal(SIGPIPE), "");
}

TEST(HW_SUITE(SignalName), NamesTheSignalsOfMessages) {
    EXPECT_STREQ(hw::SignalName(SIGINT), "SIGINT");
    EXPECT_STREQ(hw::SignalName(SIGTERM), "SIGTERM");
    EXPECT_STREQ(hw::SignalName(SIGHUP), "SIGHUP");
    EXPECT_STREQ(hw::SignalName(SIGPIPE), "SIGPIPE");
    EXPECT_STREQ(hw::SignalName(SIGUSR1), "signal");
}

}  // namespace
