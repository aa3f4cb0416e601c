// How often an injected fault strikes: never, the next N times, or always.
// Settings give it as a number or the word "always" ("ipmb.me.fault.nak=2",
// "kcs.fault.read_error_times=always"); an empty or missing value is never.
// Counts live in the running machine only: every process that builds the
// machine from a state directory meets the fault anew.
#ifndef SRVFW_SIM_CORE_FAULT_COUNT_H
#define SRVFW_SIM_CORE_FAULT_COUNT_H

#include <cstdint>
#include <string>

#include "sim/core/settings.h"

namespace sim {

class FaultCount {
  public:
    FaultCount() = default;  // never
    static FaultCount Never() { return FaultCount(); }
    static FaultCount Always() { return FaultCount(0, true); }
    static FaultCount Times(std::uint64_t times) { return FaultCount(times, false); }

    // Throws std::invalid_argument naming the key for a value that is
    // neither a number nor "always".
    static FaultCount Parse(const std::string& key, const std::string& text);
    static FaultCount FromSetting(const Settings& settings, const std::string& key,
                                  FaultCount fallback = Never());

    // Whether the fault strikes this time; a strike uses up one of a count.
    bool Strike();
    bool Armed() const { return mAlways || mLeft > 0; }
    // "always", "2 more times", "never".
    std::string Describe() const;

  private:
    FaultCount(std::uint64_t left, bool always) : mLeft(left), mAlways(always) {}

    std::uint64_t mLeft = 0;
    bool mAlways = false;
};

// A fault that answers with a code: "TIMES[:CODE]" ("2:0x83", "always").
struct CodedFault {
    FaultCount times;
    std::uint64_t code = 0;

    // The code defaults to fallbackCode; a code above maxCode or equal to
    // successCode (a failure that reports success) throws
    // std::invalid_argument naming the key.
    static CodedFault FromSetting(const Settings& settings, const std::string& key,
                                  std::uint64_t fallbackCode, std::uint64_t maxCode,
                                  std::uint64_t successCode = 0);
};

}  // namespace sim

#endif
