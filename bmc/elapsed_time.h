// The platform's clock as the message layer and the host's IMB driver read
// it: a wait's deadline, and how long a failed exchange took. Header-only,
// since the host's driver library links no part of the message layer.
#ifndef SRVFW_BMC_ELAPSED_TIME_H
#define SRVFW_BMC_ELAPSED_TIME_H

#include <cstdint>

#include "hw/hw.h"

// Microseconds on the platform's clock (virtual time in the sim build).
inline std::int64_t NowMicroseconds() {
    timeval now{};
    hw::GetTimeOfDay(&now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_usec;
}

inline std::int64_t NowMilliseconds() {
    return NowMicroseconds() / 1000;
}

// Time since it was made, for the note that says how long a wait took.
class ElapsedTime {
  public:
    double Seconds() const { return static_cast<double>(NowMicroseconds() - mStart) / 1e6; }

  private:
    std::int64_t mStart = NowMicroseconds();
};

#endif
