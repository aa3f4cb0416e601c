// Waiting for a flash part or its controller, bounded on the wall clock: a
// part that never comes ready must end the wait with a failure, not hang
// the host. The first polls follow each other at once, since a cycle or a
// byte program is done within microseconds; after that the wait sleeps
// between polls, a little longer each time, so that an erase of a second
// costs a few thousand polls, not millions.
#ifndef SRVFW_RASK_BOUNDED_POLL_H
#define SRVFW_RASK_BOUNDED_POLL_H

#include <algorithm>
#include <cstdint>

#include "hw/hw.h"
#include "rask/flash_layer.h"

namespace Rask_Private {

inline constexpr unsigned kImmediatePolls = 8;
inline constexpr unsigned kLongestPollSleepUs = 1000;

// Calls ready() until it returns true (0), or until timeoutUs have passed
// (17). A poll that lands after the bound only because the host was busy
// elsewhere still counts: the condition is looked at once more before the
// time-out is reported. A clock that cannot be read gives 20.
template <class Ready>
FUL_RETURN PollUntil(Ready ready, long timeoutUs) {
    const auto microseconds = [](const timeval& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1000000 + t.tv_usec;
    };
    timeval now{};
    if (hw::GetTimeOfDay(&now) != 0) return FUL_CLOCK_FAILED;
    const std::int64_t deadline = microseconds(now) + timeoutUs;
    unsigned polls = 0;
    unsigned sleepUs = 1;
    while (!ready()) {
        if (hw::GetTimeOfDay(&now) != 0) return FUL_CLOCK_FAILED;
        if (microseconds(now) > deadline) return ready() ? FUL_SUCCESS : FUL_TIMEOUT;
        if (++polls > kImmediatePolls) {
            hw::SleepMicroseconds(sleepUs);
            sleepUs = std::min(sleepUs * 2, kLongestPollSleepUs);
        }
    }
    return FUL_SUCCESS;
}

}  // namespace Rask_Private

#endif
