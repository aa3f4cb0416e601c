// The management engine's staging settings and faults as
// sim/bmc/fw/me_staging.h lists them, read once when the machine is built.
#ifndef SRVFW_SIM_BMC_FW_ME_SETTINGS_H
#define SRVFW_SIM_BMC_FW_ME_SETTINGS_H

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "sim/core/fault_count.h"
#include "sim/core/settings.h"

namespace sim::me {

// The staging commands that a not-compatible fault makes answer 83h.
enum class Staging { kErase, kOpen, kWrite };

struct StagingSettings {
    std::string file;  // state files FILE.bin and FILE.version
    std::uint8_t busyCode = 0x82;
    std::uint8_t eraseBusyCode = 0x81;
    std::uint64_t eraseNs = 0;
    std::uint64_t capacity = 0;

    FaultCount statusBusy;
    FaultCount openBusy;
    bool eraseNeverCompletes = false;
    FaultCount eraseRefused;
    std::set<Staging> notCompatible;
    std::optional<std::uint64_t> refusedWrite;  // counted from 1 after each open
    std::uint8_t refusedWriteCode = 0xFF;
    FaultCount closeChecksum;
    FaultCount resetStaysNormal;

    // The settings under prefix ("ipmb.me."); name is the controller's, for
    // the default state file. Throws std::invalid_argument naming a setting
    // it cannot understand.
    static StagingSettings FromSettings(const Settings& settings, const std::string& prefix,
                                        const std::string& name);
};

}  // namespace sim::me

#endif
