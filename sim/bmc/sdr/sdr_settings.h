// The SDR repository's settings and faults as sim/bmc/sdr/sdr_repository.h
// lists them, read once when the machine is built.
#ifndef SRVFW_SIM_BMC_SDR_SDR_SETTINGS_H
#define SRVFW_SIM_BMC_SDR_SDR_SETTINGS_H

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "sim/core/fault_count.h"
#include "sim/core/settings.h"

namespace sim::sdr {

// A record whose length byte Get SDR reports as another value.
struct LyingLength {
    std::uint16_t recordId = 0;
    std::uint8_t lengthByte = 0;
};

// The reservation cancelled after every so many Get SDRs on it.
struct CancelAfter {
    std::uint64_t gets = 0;  // 0: never
    FaultCount times;
};

struct RepositorySettings {
    std::string file = "sdr-repository.bin";
    bool startsEmpty = false;  // initial=empty
    std::uint64_t capacity = 8192;
    std::uint64_t maxRead = 32;
    std::uint64_t eraseNs = 0;
    std::uint8_t firstSequence = 1;

    CodedFault busy;
    bool eraseNeverCompletes = false;
    CancelAfter cancelAfter;
    std::set<std::uint64_t> droppedParts;  // parts counted from 1
    std::optional<std::uint64_t> refusedPart;
    std::uint8_t refusedPartCode = 0xFF;
    FaultCount closeChecksum;
    std::optional<std::uint16_t> loopAt;
    std::optional<LyingLength> lyingLength;

    // Throws std::invalid_argument naming a setting it cannot understand.
    static RepositorySettings FromSettings(const Settings& settings);
};

}  // namespace sim::sdr

#endif
