// Virtual time: nothing here waits for real.
#include <cerrno>
#include <csignal>

#include "hw/hw.h"
#include "sim/core/machine.h"

namespace hw {

int SetAffinity(pid_t pid, std::size_t maskBytes, const void* mask) {
    return sim::TheMachine().Host().SetAffinity(pid, maskBytes, mask);
}

unsigned SleepSeconds(unsigned seconds) {
    constexpr std::uint64_t kNsPerSecond = 1'000'000'000;
    const std::uint64_t left = sim::TheMachine().Clock().Sleep(seconds * kNsPerSecond);
    return static_cast<unsigned>((left + kNsPerSecond - 1) / kNsPerSecond);
}

int SleepMicroseconds(useconds_t microseconds) {
    if (sim::TheMachine().Clock().Sleep(std::uint64_t{microseconds} * 1000) != 0) {
        errno = EINTR;
        return -1;
    }
    return 0;
}

int GetTimeOfDay(struct timeval* now) {
    const std::uint64_t ns = sim::TheMachine().Clock().NowNs();
    now->tv_sec = static_cast<time_t>(sim::VirtualClock::kEpochSeconds + ns / 1'000'000'000);
    now->tv_usec = static_cast<suseconds_t>(ns % 1'000'000'000 / 1000);
    return 0;
}

unsigned Alarm(unsigned seconds) {
    return sim::TheMachine().Clock().Alarm(seconds);
}

void SetAlarmHandler(void (*handler)(int)) {
    std::signal(SIGALRM, handler);
}

}  // namespace hw
