#include "sim/core/clock.h"

#include <csignal>

namespace sim {

namespace {
constexpr std::uint64_t kNsPerSecond = 1'000'000'000;
}

void VirtualClock::Advance(std::uint64_t ns) {
    mNowNs += ns;
    if (mAlarmAtNs != 0 && mNowNs >= mAlarmAtNs) {
        mAlarmAtNs = 0;
        std::raise(SIGALRM);
    }
}

unsigned VirtualClock::Alarm(unsigned seconds) {
    unsigned left = 0;
    if (mAlarmAtNs != 0) {
        left = static_cast<unsigned>((mAlarmAtNs - mNowNs + kNsPerSecond - 1) / kNsPerSecond);
    }
    mAlarmAtNs = seconds == 0 ? 0 : mNowNs + seconds * kNsPerSecond;
    return left;
}

std::uint64_t VirtualClock::Sleep(std::uint64_t ns) {
    if (mAlarmAtNs != 0 && mAlarmAtNs - mNowNs <= ns) {
        const std::uint64_t slept = mAlarmAtNs - mNowNs;
        Advance(slept);
        return ns - slept;
    }
    Advance(ns);
    return 0;
}

}  // namespace sim
