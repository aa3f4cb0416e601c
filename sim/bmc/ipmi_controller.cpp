#include "sim/bmc/ipmi_controller.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim::ipmi {

namespace {

constexpr std::uint64_t kMaxByte = 0xFF;
constexpr std::uint64_t kMaxManufacturer = 0xFFFFF;
constexpr std::uint64_t kMaxWord = 0xFFFF;
constexpr unsigned kMaxFirmwareMajor = 127;
constexpr std::uint8_t kDeviceAvailableBit = 0x80;
constexpr std::uint8_t kMaxNetFn = 0x3F;

std::uint8_t Byte(const Settings& settings, const std::string& key, std::uint8_t fallback) {
    return static_cast<std::uint8_t>(SettingNumber(settings, key, fallback, kMaxByte));
}

bool AllDigits(const std::string& text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

// "1.20": major 1, minor 20h (BCD), as Get Device ID reports versions.
void ParseFirmware(const std::string& key, const std::string& text, DeviceIdentity* identity) {
    const auto dot = text.find('.');
    const std::string major = text.substr(0, dot);
    const std::string minor = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (!AllDigits(major) || major.size() > 3 || std::stoul(major) > kMaxFirmwareMajor ||
        minor.size() != 2 || !AllDigits(minor)) {
        throw std::invalid_argument(key + ": expected MAJOR.MINOR (0..127, two digits), as 1.20");
    }
    identity->firmwareMajor = static_cast<std::uint8_t>(std::stoul(major));
    identity->firmwareMinor = static_cast<std::uint8_t>((minor[0] - '0') << 4 | (minor[1] - '0'));
}

std::array<std::uint8_t, 4> AuxFirmware(const std::string& key, const std::string& hex) {
    if (hex.size() != 8)
        throw std::invalid_argument(key + ": expected 4 bytes in hex, as 01000210");
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(SettingNumber(key, "0x" + hex.substr(2 * i, 2), 0xFF));
    }
    return bytes;
}

std::vector<AnswerFault> AnswerFaults(const Settings& settings, const std::string& key) {
    std::vector<AnswerFault> faults;
    for (const SettingItem& item : SettingItems(settings, key)) {
        if (item.size() < 3 || item.size() > 4) {
            throw std::invalid_argument(key + ": expected NETFN:CMD:CC[:TIMES],...");
        }
        faults.push_back(
            {static_cast<std::uint8_t>(SettingNumber(key, item[0], kMaxByte)),
             static_cast<std::uint8_t>(SettingNumber(key, item[1], kMaxByte)),
             static_cast<std::uint8_t>(SettingNumber(key, item[2], kMaxByte)),
             item.size() == 4 ? FaultCount::Parse(key, item[3]) : FaultCount::Always()});
    }
    return faults;
}

}  // namespace

// ------------------------------------------------------------ command table

void CommandTable::Register(std::uint8_t netFn, std::uint8_t cmd, RequestForm form, Handler handler,
                            RefusalHook refused) {
    if (netFn % 2 != 0 || netFn > kMaxNetFn) {
        throw std::logic_error("IPMI command registered under a response's or no network function");
    }
    if (!mCommands
             .emplace(std::pair(netFn, cmd), Entry{form, std::move(handler), std::move(refused)})
             .second) {
        char what[64];
        std::snprintf(what, sizeof what, "IPMI command %02Xh/%02Xh registered twice", netFn, cmd);
        throw std::logic_error(what);
    }
}

void CommandTable::Register(std::uint8_t netFn, std::uint8_t cmd, Handler handler) {
    Register(netFn, cmd, RequestForm{}, std::move(handler));
}

bool CommandTable::Has(std::uint8_t netFn, std::uint8_t cmd) const {
    return mCommands.count({netFn, cmd}) != 0;
}

std::uint8_t CommandTable::FormRefusal(const RequestForm& form, const Request& request) {
    const bool servedLun = request.lun < 8 && (form.luns >> request.lun & 1) != 0;
    if (!servedLun) return kInvalidForLun;
    if (!form.length.Fits(request.data.size())) return kInvalidLength;
    return kOk;
}

Response CommandTable::Dispatch(const Request& request) const {
    const auto found = mCommands.find({request.netFn, request.cmd});
    if (found == mCommands.end()) return Response::Code(kInvalidCommand);
    const Entry& command = found->second;
    if (const std::uint8_t refusal = FormRefusal(command.form, request); refusal != kOk) {
        if (command.refused) command.refused(request, refusal);
        return Response::Code(refusal);
    }
    return command.handler(request);
}

std::vector<std::pair<std::uint8_t, std::uint8_t>> CommandTable::Commands() const {
    std::vector<std::pair<std::uint8_t, std::uint8_t>> commands;
    for (const auto& [command, entry] : mCommands) commands.push_back(command);
    return commands;
}

// ------------------------------------------------------------ identity

DeviceIdentity DeviceIdentity::FromSettings(const Settings& settings, const std::string& prefix,
                                            const DeviceIdentity& defaults) {
    DeviceIdentity identity = defaults;
    identity.deviceId = Byte(settings, prefix + "device_id", defaults.deviceId);
    identity.deviceRevision = Byte(settings, prefix + "device_revision", defaults.deviceRevision);
    if (const std::string firmware = settings.Get(prefix + "firmware", ""); !firmware.empty()) {
        ParseFirmware(prefix + "firmware", firmware, &identity);
    }
    identity.ipmiVersion = Byte(settings, prefix + "ipmi_version", defaults.ipmiVersion);
    identity.additionalSupport =
        Byte(settings, prefix + "additional_support", defaults.additionalSupport);
    identity.manufacturer = static_cast<std::uint32_t>(
        SettingNumber(settings, prefix + "manufacturer", defaults.manufacturer, kMaxManufacturer));
    identity.productId = static_cast<std::uint16_t>(
        SettingNumber(settings, prefix + "product_id", defaults.productId, kMaxWord));
    if (const std::string aux = settings.Get(prefix + "aux_firmware", ""); !aux.empty()) {
        identity.auxFirmware = AuxFirmware(prefix + "aux_firmware", aux);
    }
    identity.transferMode =
        SettingNumber(settings, prefix + "transfer_mode", defaults.transferMode ? 1 : 0, 1) != 0;
    return identity;
}

std::vector<std::uint8_t> DeviceIdentity::DeviceIdData() const {
    return {deviceId,
            deviceRevision,
            static_cast<std::uint8_t>((transferMode ? kDeviceAvailableBit : 0) |
                                      (firmwareMajor & ~kDeviceAvailableBit)),
            firmwareMinor,
            ipmiVersion,
            additionalSupport,
            static_cast<std::uint8_t>(manufacturer),
            static_cast<std::uint8_t>(manufacturer >> 8),
            static_cast<std::uint8_t>(manufacturer >> 16),
            static_cast<std::uint8_t>(productId),
            static_cast<std::uint8_t>(productId >> 8),
            auxFirmware[0],
            auxFirmware[1],
            auxFirmware[2],
            auxFirmware[3]};
}

std::string DeviceIdentity::Summary() const {
    char text[160];
    std::snprintf(text, sizeof text,
                  "device ID %02Xh rev %02Xh, firmware %u.%02X%s, IPMI version byte %02Xh, "
                  "manufacturer %06Xh, product %04Xh, aux %s",
                  deviceId, deviceRevision, firmwareMajor, firmwareMinor,
                  transferMode ? " (in firmware transfer mode)" : "", ipmiVersion, manufacturer,
                  productId, HexBytes(auxFirmware).c_str());
    return text;
}

// ------------------------------------------------------------ controller

Controller::Controller(std::string name, std::uint8_t address, const Settings& settings,
                       const std::string& prefix, const DeviceIdentity& defaults)
    : mName(std::move(name)),
      mAddress(address),
      mIdentity(DeviceIdentity::FromSettings(settings, prefix, defaults)),
      mAnswerFaults(AnswerFaults(settings, prefix + "fault.answer")) {
    mCommands.Register(kNetFnApp, kGetDeviceId, {RequestLength::Exactly(0)},
                       [this](const Request&) {
                           return Response{kOk, mIdentity.DeviceIdData()};
                       });
}

Response Controller::Handle(const Request& request) {
    if (mStopped || (mSilent && mSilent())) return Response::NoAnswer();
    for (AnswerFault& fault : mAnswerFaults) {
        if (fault.netFn == request.netFn && fault.cmd == request.cmd && fault.times.Strike()) {
            return Response::Code(fault.completionCode);
        }
    }
    return mCommands.Dispatch(request);
}

void Controller::Describe(std::ostream& out, const std::string& indent) const {
    char line[64];
    out << indent << mIdentity.Summary() << "\n" << indent << "commands:";
    for (const auto& [netFn, cmd] : mCommands.Commands()) {
        std::snprintf(line, sizeof line, " %02X/%02X", netFn, cmd);
        out << line;
    }
    out << "\n";
    if (mStopped) out << indent << "stopped: answers nothing\n";
    for (const AnswerFault& fault : mAnswerFaults) {
        std::snprintf(line, sizeof line, "fault: %02X/%02X answers %02Xh, ", fault.netFn, fault.cmd,
                      fault.completionCode);
        out << indent << line << fault.times.Describe() << "\n";
    }
}

}  // namespace sim::ipmi
