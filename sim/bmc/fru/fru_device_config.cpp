// The FRU devices the settings describe (the keys are listed in
// sim/bmc/fru/fru_storage.h).
#include <algorithm>
#include <csignal>
#include <set>
#include <stdexcept>

#include "sim/bmc/fru/fru_device.h"
#include "sim/bmc/ipmi.h"
#include "sim/core/setting_lists.h"

namespace sim::fru {

namespace {

constexpr const char* kDevicesKey = "fru.devices";
constexpr const char* kMemoriesKey = "fru.memories";
constexpr const char* kDefaultDevices = "baseboard:bmc:0:2048,front_panel:front_panel:0:256";
constexpr const char* kDefaultMemories =
    "backplane:bmc:0x03:0xA8:512:addr16,riser:bmc:0x05:0x9E:256:cmd17";
constexpr const char* kBmc = "bmc";
constexpr std::uint64_t kMaxByte = 0xFF;
constexpr std::uint8_t kReservedDeviceId = 0xFF;
constexpr std::uint32_t kMaxLogicalSize = 0xFFFF;  // Get FRU Inventory Area Info's 16 bits
constexpr std::uint32_t kMaxAddress16Size = 0x10000;
constexpr std::uint32_t kMaxCommand17Size = 0x100;
constexpr std::uint32_t kCommand17Page = 8;  // the part's page
constexpr std::uint32_t kBmcTransferLimit = 32;
constexpr std::uint32_t kSatelliteTransferLimit = 16;  // an IPMB frame carries 32 bytes
constexpr std::uint8_t kBusError = 0x82;

bool HasController(const std::vector<std::string>& controllers, const std::string& name) {
    return std::find(controllers.begin(), controllers.end(), name) != controllers.end();
}

// The items of a list setting. The default list describes this board's
// parts; a part whose controller the satellite settings took away is not
// there either.
std::vector<SettingItem> Items(const Settings& settings, const char* key, const char* fallback,
                               const std::vector<std::string>& controllers) {
    if (settings.Has(key)) return SettingItems(settings, key);
    Settings defaults;
    defaults.Set(key, fallback);
    std::vector<SettingItem> items;
    for (SettingItem& item : SettingItems(defaults, key)) {
        if (HasController(controllers, item[1])) items.push_back(std::move(item));
    }
    return items;
}

std::uint32_t Number32(const std::string& key, const std::string& text, std::uint64_t max) {
    return static_cast<std::uint32_t>(SettingNumber(key, text, max));
}

std::vector<ByteRange> Ranges(const Settings& settings, const std::string& key,
                              bool lengthOptional) {
    std::vector<ByteRange> ranges;
    for (const SettingItem& item : SettingItems(settings, key)) {
        if (item.size() != 2 && !(lengthOptional && item.size() == 1)) {
            throw std::invalid_argument(key + (lengthOptional ? ": expected OFFSET[:LENGTH],..."
                                                              : ": expected OFFSET:LENGTH,..."));
        }
        ranges.push_back({Number32(key, item[0], UINT32_MAX),
                          item.size() == 2 ? Number32(key, item[1], UINT32_MAX) : 1});
    }
    return ranges;
}

std::vector<OffsetFault> OffsetFaults(const Settings& settings, const std::string& key,
                                      std::uint8_t fallbackCode) {
    std::vector<OffsetFault> faults;
    for (const SettingItem& item : SettingItems(settings, key)) {
        if (item.empty() || item.size() > 2) {
            throw std::invalid_argument(key + ": expected OFFSET[:CC],...");
        }
        const auto code = item.size() == 2 ? SettingNumber(key, item[1], kMaxByte) : fallbackCode;
        if (code == ipmi::kOk) {
            throw std::invalid_argument(key + ": the code of a failure cannot be 0");
        }
        faults.push_back({Number32(key, item[0], UINT32_MAX), static_cast<std::uint8_t>(code)});
    }
    return faults;
}

std::vector<ShortWrite> ShortWrites(const Settings& settings, const std::string& key) {
    std::vector<ShortWrite> faults;
    for (const SettingItem& item : SettingItems(settings, key)) {
        if (item.empty() || item.size() > 3) {
            throw std::invalid_argument(key + ": expected OFFSET[:KEEP[:TIMES]],...");
        }
        ShortWrite fault;
        fault.offset = Number32(key, item[0], UINT32_MAX);
        if (item.size() >= 2 && !item[1].empty()) fault.keep = Number32(key, item[1], UINT32_MAX);
        if (item.size() == 3) fault.times = FaultCount::Parse(key, item[2]);
        faults.push_back(std::move(fault));
    }
    return faults;
}

// The stop signals a program must be ready for in the middle of a write.
constexpr std::pair<const char*, int> kWriteSignals[] = {
    {"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGPIPE", SIGPIPE}};

std::vector<WriteSignal> WriteSignals(const Settings& settings, const std::string& key) {
    std::vector<WriteSignal> faults;
    for (const SettingItem& item : SettingItems(settings, key)) {
        if (item.size() < 2 || item.size() > 3) {
            throw std::invalid_argument(key + ": expected OFFSET:SIGNAME[:TIMES],...");
        }
        WriteSignal fault;
        fault.offset = Number32(key, item[0], UINT32_MAX);
        for (const auto& [name, number] : kWriteSignals) {
            if (item[1] == name) {
                fault.name = name;
                fault.signal = number;
            }
        }
        if (fault.signal == 0) {
            throw std::invalid_argument(key + ": signal \"" + item[1] +
                                        "\" is none of SIGINT, SIGTERM, SIGHUP, SIGPIPE");
        }
        if (item.size() == 3) fault.times = FaultCount::Parse(key, item[2]);
        faults.push_back(std::move(fault));
    }
    return faults;
}

std::uint8_t LimitCode(const Settings& settings, const std::string& key, std::uint8_t fallback) {
    const auto code = static_cast<std::uint8_t>(SettingNumber(settings, key, fallback, kMaxByte));
    if (code == ipmi::kOk) throw std::invalid_argument(key + ": a refusal cannot be 0");
    return code;
}

// A count of one byte, at least 1: a controller takes some bytes.
std::uint32_t TransferLimit(const Settings& settings, const std::string& key,
                            std::uint32_t fallback) {
    const auto limit = static_cast<std::uint32_t>(SettingNumber(settings, key, fallback, kMaxByte));
    if (limit == 0) throw std::invalid_argument(key + ": at least 1");
    return limit;
}

// Where the contents live and what they are before anything was kept.
void ReadContents(const Settings& settings, const std::string& prefix, DeviceConfig& config) {
    config.file = settings.Get(prefix + "file", "fru-" + config.name + ".bin");
    if (config.file.empty()) throw std::invalid_argument(prefix + "file: a file name is needed");

    const std::string initial = settings.Get(prefix + "initial", "sample");
    if (initial == "sample") {
        config.initial = Initial::kSample;
    } else if (initial == "erased") {
        config.initial = Initial::kErased;
    } else if (initial == "zero") {
        config.initial = Initial::kZero;
    } else {
        throw std::invalid_argument(prefix + "initial: expected sample, erased or zero");
    }
}

// What the controller takes in one transfer and how the part writes.
void ReadTransfers(const Settings& settings, const std::string& prefix, DeviceConfig& config) {
    const std::uint32_t limit =
        config.controller == kBmc ? kBmcTransferLimit : kSatelliteTransferLimit;
    config.maxRead = TransferLimit(settings, prefix + "max_read", limit);
    config.maxWrite = TransferLimit(settings, prefix + "max_write", limit);

    const std::string readLimitKey = prefix + "read_limit_cc";
    if (settings.Get(readLimitKey, "") == "short") {
        if (config.IsMemory()) {
            throw std::invalid_argument(readLimitKey +
                                        ": Master Write-Read has no count to return a short read");
        }
        config.shortReads = true;
    } else {
        config.readLimitCode = LimitCode(settings, readLimitKey, ipmi::kCannotReturnBytes);
    }
    config.writeLimitCode = LimitCode(settings, prefix + "write_limit_cc", ipmi::kInvalidLength);

    const std::string protectKey = prefix + "write_protect";
    if (settings.Get(protectKey, "") == "all") {
        config.writeProtected = {{0, config.size}};
    } else {
        config.writeProtected = Ranges(settings, protectKey, false);
    }

    const std::uint32_t defaultPage = config.kind == DeviceKind::kCommand17 ? kCommand17Page : 0;
    config.page = static_cast<std::uint32_t>(
        SettingNumber(settings, prefix + "page", defaultPage, config.size));
    if (config.page != 0 && !config.IsMemory()) {
        throw std::invalid_argument(prefix + "page: only EEPROMs on a bus write in pages");
    }
}

void ReadFaults(const Settings& settings, const std::string& prefix, DeviceConfig& config) {
    const std::string fault = prefix + "fault.";
    config.readBusy =
        CodedFault::FromSetting(settings, fault + "read_busy", ipmi::kNodeBusy, kMaxByte);
    config.writeBusy =
        CodedFault::FromSetting(settings, fault + "write_busy", ipmi::kNodeBusy, kMaxByte);
    const std::uint8_t failCode =
        config.IsMemory() ? kBusError : static_cast<std::uint8_t>(ipmi::kUnspecified);
    config.readFail = OffsetFaults(settings, fault + "read_fail", failCode);
    config.writeFail = OffsetFaults(settings, fault + "write_fail", failCode);
    config.lostWrite = Ranges(settings, fault + "lost_write", true);
    config.shortWrite = ShortWrites(settings, fault + "short_write");
    const std::string silentKey = fault + "silent_write";
    if (!settings.Get(silentKey, "").empty()) {
        config.silentWrite = Number32(silentKey, settings.Get(silentKey, ""), UINT32_MAX);
    }
    config.writeSignals = WriteSignals(settings, fault + "signal");
    // Faults of Write FRU Data's count and of its controller; an EEPROM
    // on a bus has neither.
    for (const char* name : {"short_write", "silent_write", "signal"}) {
        if (config.IsMemory() && !settings.Get(fault + name, "").empty()) {
            throw std::invalid_argument(fault + name + ": logical FRU devices only");
        }
    }
}

// The per-device keys under fru.NAME.
void ReadDeviceSettings(const Settings& settings, DeviceConfig& config) {
    const std::string prefix = "fru." + config.name + ".";
    ReadContents(settings, prefix, config);
    ReadTransfers(settings, prefix, config);
    ReadFaults(settings, prefix, config);
}

void CheckController(const std::string& key, const std::string& controller,
                     const std::vector<std::string>& controllers) {
    if (!HasController(controllers, controller)) {
        throw std::invalid_argument(key + ": no controller \"" + controller + "\"");
    }
}

DeviceConfig Logical(const SettingItem& item, const std::vector<std::string>& controllers) {
    if (item.size() != 4 || item[0].empty()) {
        throw std::invalid_argument(std::string(kDevicesKey) +
                                    ": expected NAME:CONTROLLER:ID:SIZE,...");
    }
    CheckController(kDevicesKey, item[1], controllers);
    DeviceConfig config;
    config.name = item[0];
    config.controller = item[1];
    config.kind = DeviceKind::kLogical;
    config.deviceId = static_cast<std::uint8_t>(SettingNumber(kDevicesKey, item[2], kMaxByte));
    if (config.deviceId == kReservedDeviceId) {
        throw std::invalid_argument(std::string(kDevicesKey) + ": FRU device ID FFh is reserved");
    }
    config.size = Number32(kDevicesKey, item[3], kMaxLogicalSize);
    return config;
}

DeviceConfig Memory(const SettingItem& item, const std::vector<std::string>& controllers) {
    if (item.size() < 5 || item.size() > 6 || item[0].empty()) {
        throw std::invalid_argument(std::string(kMemoriesKey) +
                                    ": expected NAME:CONTROLLER:BUS:ADDRESS:SIZE[:FORM],...");
    }
    CheckController(kMemoriesKey, item[1], controllers);
    DeviceConfig config;
    config.name = item[0];
    config.controller = item[1];
    const std::string form = item.size() == 6 ? item[5] : "addr16";
    if (form == "addr16") {
        config.kind = DeviceKind::kAddress16;
    } else if (form == "cmd17") {
        config.kind = DeviceKind::kCommand17;
    } else {
        throw std::invalid_argument(std::string(kMemoriesKey) + ": form \"" + form +
                                    "\" is neither addr16 nor cmd17");
    }
    config.bus = static_cast<std::uint8_t>(SettingNumber(kMemoriesKey, item[2], kMaxByte));
    config.address = static_cast<std::uint8_t>(SettingNumber(kMemoriesKey, item[3], kMaxByte));
    if (config.address % 2 != 0) {
        throw std::invalid_argument(std::string(kMemoriesKey) + ": " + item[3] +
                                    " is not an 8-bit slave address (bit 0 is the R/W bit)");
    }
    config.size =
        Number32(kMemoriesKey, item[4],
                 config.kind == DeviceKind::kCommand17 ? kMaxCommand17Size : kMaxAddress16Size);
    return config;
}

bool SamePlace(const DeviceConfig& a, const DeviceConfig& b) {
    if (a.controller != b.controller || a.IsMemory() != b.IsMemory()) return false;
    return a.IsMemory() ? BusKey(a.bus) == BusKey(b.bus) && a.address == b.address
                        : a.deviceId == b.deviceId;
}

}  // namespace

std::uint8_t BusKey(std::uint8_t busIdByte) {
    return (busIdByte & 1) != 0 ? busIdByte & 0x0F : busIdByte & 0xF0;
}

std::vector<DeviceConfig> DeviceConfig::FromSettings(const Settings& settings,
                                                     const std::vector<std::string>& controllers) {
    std::vector<DeviceConfig> configs;
    for (const SettingItem& item : Items(settings, kDevicesKey, kDefaultDevices, controllers)) {
        configs.push_back(Logical(item, controllers));
    }
    for (const SettingItem& item : Items(settings, kMemoriesKey, kDefaultMemories, controllers)) {
        configs.push_back(Memory(item, controllers));
    }
    std::set<std::string> names;
    for (std::size_t i = 0; i < configs.size(); ++i) {
        DeviceConfig& config = configs[i];
        if (config.size == 0) throw std::invalid_argument("fru: " + config.name + " has size 0");
        if (!names.insert(config.name).second) {
            throw std::invalid_argument("fru: the name " + config.name + " is used twice");
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (SamePlace(configs[j], config)) {
                throw std::invalid_argument("fru: " + config.name + " and " + configs[j].name +
                                            " are at the same place");
            }
        }
        ReadDeviceSettings(settings, config);
    }
    return configs;
}

}  // namespace sim::fru
