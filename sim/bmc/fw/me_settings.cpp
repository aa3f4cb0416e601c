#include "sim/bmc/fw/me_settings.h"

#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim::me {

namespace {

constexpr std::uint64_t kNsPerMs = 1000000;
constexpr std::uint64_t kDefaultEraseMs = 2500;
constexpr std::uint64_t kLongestEraseMs = 600000;
constexpr std::uint64_t kDefaultCapacity = 0x100000;
constexpr std::uint64_t kLargestCapacity = 0x4000000;
// Codes a busy answer cannot take: success, and the two the client reads as
// a refusal (80h) or an image for another platform (83h).
constexpr std::uint8_t kRefusedCode = 0x80;
constexpr std::uint8_t kNotCompatibleCode = 0x83;

std::uint8_t BusyCode(const Settings& settings, const std::string& key, std::uint8_t fallback) {
    const auto code = static_cast<std::uint8_t>(SettingNumber(settings, key, fallback, 0xFF));
    if (code == 0 || code == kRefusedCode || code == kNotCompatibleCode) {
        throw std::invalid_argument(key + ": a busy answer is none of 00h, 80h and 83h");
    }
    return code;
}

std::set<Staging> NotCompatible(const Settings& settings, const std::string& key) {
    std::set<Staging> commands;
    for (const SettingItem& item : SettingItems(settings, key)) {
        const std::string& name = item.at(0);
        if (item.size() != 1) throw std::invalid_argument(key + ": expected erase,open,write");
        if (name == "erase") {
            commands.insert(Staging::kErase);
        } else if (name == "open") {
            commands.insert(Staging::kOpen);
        } else if (name == "write") {
            commands.insert(Staging::kWrite);
        } else {
            throw std::invalid_argument(key + ": \"" + name + "\" is none of erase, open, write");
        }
    }
    return commands;
}

}  // namespace

StagingSettings StagingSettings::FromSettings(const Settings& settings, const std::string& prefix,
                                              const std::string& name) {
    StagingSettings config;
    const std::string staging = prefix + "staging.";
    config.file = settings.Get(staging + "file", name + "-firmware");
    if (config.file.empty()) throw std::invalid_argument(staging + "file: a name is needed");
    config.busyCode = BusyCode(settings, staging + "busy_code", config.busyCode);
    config.eraseBusyCode = BusyCode(settings, staging + "erase_busy_code", config.eraseBusyCode);
    config.eraseNs =
        SettingNumber(settings, staging + "erase_ms", kDefaultEraseMs, kLongestEraseMs) * kNsPerMs;
    config.capacity =
        SettingNumber(settings, staging + "capacity", kDefaultCapacity, kLargestCapacity);
    if (config.capacity == 0) throw std::invalid_argument(staging + "capacity: at least 1");

    const std::string fault = prefix + "fault.";
    config.statusBusy = FaultCount::FromSetting(settings, fault + "status_busy");
    config.openBusy = FaultCount::FromSetting(settings, fault + "open_busy");
    config.eraseNeverCompletes = settings.GetFlag(fault + "erase_stuck", false);
    config.eraseRefused = FaultCount::FromSetting(settings, fault + "erase_refused");
    config.notCompatible = NotCompatible(settings, fault + "not_compatible");
    const std::vector<SettingItem> refused = SettingItems(settings, fault + "refuse_write");
    if (!refused.empty()) {
        const std::string key = fault + "refuse_write";
        if (refused.size() != 1 || refused[0].size() > 2) {
            throw std::invalid_argument(key + ": expected K[:CODE]");
        }
        config.refusedWrite = SettingNumber(key, refused[0][0]);
        if (*config.refusedWrite == 0) throw std::invalid_argument(key + ": writes count from 1");
        if (refused[0].size() == 2) {
            config.refusedWriteCode =
                static_cast<std::uint8_t>(SettingNumber(key, refused[0][1], 0xFF));
            if (config.refusedWriteCode == 0) {
                throw std::invalid_argument(key + ": a refusal is not 00h");
            }
        }
    }
    config.closeChecksum = FaultCount::FromSetting(settings, fault + "close_checksum");
    config.resetStaysNormal = FaultCount::FromSetting(settings, fault + "reset_stays_normal");
    return config;
}

}  // namespace sim::me
