#include "sim/bmc/chassis_capabilities.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "sim/bmc/fw/vendor_log.h"
#include "sim/core/setting_lists.h"

namespace sim {

namespace {

constexpr std::uint8_t kChassisFlags = 0x0F;
// What Set Chassis Capabilities may change; the other flags describe the
// chassis itself.
constexpr std::uint8_t kSettableFlags = chassis::kFrontPanelLockout | chassis::kIntrusionSensor;
constexpr std::size_t kSetBytes = 5;  // flags and four addresses; the bridge address is optional
constexpr std::size_t kBridge = 4;

chassis::Capabilities FromSettings(const Settings& settings) {
    chassis::Capabilities capabilities;
    capabilities.flags = static_cast<std::uint8_t>(
        SettingNumber(settings, "chassis.capabilities", 0, kChassisFlags));
    const std::vector<SettingItem> items = SettingItems(settings, "chassis.addresses");
    if (items.empty()) return capabilities;
    if (items.size() != capabilities.addresses.size()) {
        throw std::invalid_argument("chassis.addresses: expected FRU,SDR,SEL,SM,BRIDGE");
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto address =
            static_cast<std::uint8_t>(SettingNumber("chassis.addresses", items[i].at(0), 0xFF));
        if (address % 2 != 0) {
            throw std::invalid_argument("chassis.addresses: slave addresses are even");
        }
        capabilities.addresses[i] = address;
    }
    return capabilities;
}

}  // namespace

ChassisCapabilities::ChassisCapabilities(Machine& machine, Bmc& bmc)
    : mMachine(machine),
      mCapabilities(FromSettings(machine.Config())),
      mFile(machine.Config().Get("chassis.file", "chassis-capabilities")) {
    if (mFile.empty()) throw std::invalid_argument("chassis.file: a name is needed");
    using ipmi::RequestLength;
    vendor::ServeLogged(bmc.Commands(), machine, vendor::kBmcComponent, ipmi::kNetFnChassis,
                        chassis::kGetChassisCapabilities, RequestLength::Exactly(0), "chassis_get",
                        [this](const ipmi::Request& request) { return Get(request); });
    vendor::ServeLogged(bmc.Commands(), machine, vendor::kBmcComponent, ipmi::kNetFnChassis,
                        chassis::kSetChassisCapabilities, {kSetBytes, kSetBytes + 1}, "chassis_set",
                        [this](const ipmi::Request& request) { return Set(request); });
}

ipmi::Response ChassisCapabilities::Get(const ipmi::Request&) {
    vendor::LoggedRequest entry{"chassis_get", 0, mCapabilities.flags};
    std::vector<std::uint8_t> data = {mCapabilities.flags};
    data.insert(data.end(), mCapabilities.addresses.begin(), mCapabilities.addresses.end());
    return vendor::Answer(mMachine, vendor::kBmcComponent, entry, ipmi::kOk, "", std::move(data));
}

ipmi::Response ChassisCapabilities::Set(const ipmi::Request& request) {
    const std::uint8_t flags = request.data[0];
    vendor::LoggedRequest entry{"chassis_set", flags, mCapabilities.flags};
    const auto refuse = [&](const char* note) {
        return vendor::Answer(mMachine, vendor::kBmcComponent, entry, ipmi::kInvalidDataField,
                              note);
    };
    if (flags & ~kSettableFlags) return refuse("reserved flag bits set");
    const auto addresses = request.data.subspan(1);
    for (const std::uint8_t address : addresses) {
        if (address % 2 != 0) return refuse("odd slave address");
    }
    mCapabilities.flags =
        static_cast<std::uint8_t>((mCapabilities.flags & ~kSettableFlags) | flags);
    std::copy(addresses.begin(), addresses.end(), mCapabilities.addresses.begin());
    entry.value = mCapabilities.flags;
    return vendor::Answer(mMachine, vendor::kBmcComponent, entry, ipmi::kOk,
                          addresses.size() > kBridge ? "" : "bridge address kept");
}

void ChassisCapabilities::LoadState(const std::filesystem::path& dir) {
    std::ifstream in(dir / mFile, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    // A file of another size is not ours to read; the settings stand.
    if (bytes.size() != 1 + mCapabilities.addresses.size()) return;
    mCapabilities.flags = bytes[0] & kChassisFlags;
    std::copy(bytes.begin() + 1, bytes.end(), mCapabilities.addresses.begin());
}

void ChassisCapabilities::SaveState(const std::filesystem::path& dir) const {
    std::ofstream out(dir / mFile, std::ios::binary | std::ios::trunc);
    out.put(static_cast<char>(mCapabilities.flags));
    for (const std::uint8_t address : mCapabilities.addresses) out.put(static_cast<char>(address));
}

void ChassisCapabilities::Describe(std::ostream& out) const {
    char line[128];
    const auto& a = mCapabilities.addresses;
    std::snprintf(line, sizeof line,
                  "    capabilities flags %02Xh (front panel lockout %s), FRU %02Xh, SDR "
                  "%02Xh, SEL %02Xh, SM %02Xh, bridge %02Xh\n",
                  mCapabilities.flags, FrontPanelLockout() ? "on" : "off", a[0], a[1], a[2], a[3],
                  a[4]);
    out << line;
}

}  // namespace sim
