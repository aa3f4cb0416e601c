// Virtual time of the simulated server. Nothing waits for real: sleeping
// advances the clock at once, every port and memory access costs a small
// fixed amount of it, and an armed alarm raises a real SIGALRM (delivered to
// whatever handler the program installed) as soon as the clock passes it.
#ifndef SRVFW_SIM_CORE_CLOCK_H
#define SRVFW_SIM_CORE_CLOCK_H

#include <cstdint>

namespace sim {

class VirtualClock {
  public:
    static constexpr std::uint64_t kPortAccessNs = 1000;  // an ISA bus cycle
    static constexpr std::uint64_t kMemoryAccessNs = 50;
    // Wall-clock time at virtual zero (2026-01-01T00:00:00Z), so that the
    // time of day looks like a real date.
    static constexpr std::uint64_t kEpochSeconds = 1767225600;

    std::uint64_t NowNs() const { return mNowNs; }

    // Moves the clock forward; raises SIGALRM when it passes an armed alarm.
    void Advance(std::uint64_t ns);

    // alarm(): arms (or with 0 cancels) the alarm; returns the whole seconds
    // that were left of the previous one, rounded up as Linux does.
    unsigned Alarm(unsigned seconds);
    bool AlarmPending() const { return mAlarmAtNs != 0; }

    // Sleeps up to ns; a SIGALRM on the way ends the sleep early, as it
    // interrupts a real one. Returns the ns that were not slept.
    std::uint64_t Sleep(std::uint64_t ns);

  private:
    std::uint64_t mNowNs = 0;
    std::uint64_t mAlarmAtNs = 0;  // 0: no alarm armed
};

}  // namespace sim

#endif
