#include "sim/bmc/fw/vendor_features.h"

#include <cctype>
#include <fstream>
#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim {

namespace {

constexpr std::size_t kFeatureBytes = 4;  // group, query, 0, 0
constexpr std::uint8_t kFeatureGroup = 0x00;
constexpr const char* kLocked = "locked";
constexpr const char* kUnlocked = "unlocked";

bool HexDigits(const std::string& text, std::size_t most) {
    if (text.empty() || text.size() > most) return false;
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

// "1.05": major 01h, minor 05h, as the BMC answers them.
vendor::RmmVersion ParseRmmVersion(const Settings& settings, const std::string& key) {
    const std::string text = settings.Get(key, "1.05");
    const auto dot = text.find('.');
    const std::string major = text.substr(0, dot);
    const std::string minor = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (!HexDigits(major, 2) || minor.size() != 2 || !HexDigits(minor, 2)) {
        throw std::invalid_argument(key + ": expected MAJOR.MINOR in hexadecimal, as 1.05");
    }
    return {static_cast<std::uint8_t>(std::stoul(major, nullptr, 16)),
            static_cast<std::uint8_t>(std::stoul(minor, nullptr, 16))};
}

}  // namespace

BmcVendorFeatures::BmcVendorFeatures(Machine& machine, Bmc& bmc)
    : mMachine(machine),
      mRmmPresent(machine.Config().GetFlag("bmc.rmm.present", true)),
      mRmm(ParseRmmVersion(machine.Config(), "bmc.rmm.version")),
      mLocked(machine.Config().GetFlag("bmc.front_panel.locked", false)),
      mLockFile(machine.Config().Get("bmc.front_panel.file", "front-panel-lock")),
      mNoData(FaultCount::FromSetting(machine.Config(), "bmc.fault.features_no_data")) {
    if (mLockFile.empty()) throw std::invalid_argument("bmc.front_panel.file: a name is needed");
    using ipmi::RequestLength;
    vendor::ServeLogged(bmc.Commands(), machine, vendor::kBmcComponent, vendor::kNetFn,
                        vendor::kGetAdvancedFeatureSupport, RequestLength::Exactly(kFeatureBytes),
                        "features",
                        [this](const ipmi::Request& request) { return AdvancedFeatures(request); });
    vendor::ServeLogged(bmc.Commands(), machine, vendor::kBmcComponent, vendor::kNetFn,
                        vendor::kFrontPanelLock, RequestLength::Exactly(1), "panel_lock",
                        [this](const ipmi::Request& request) { return FrontPanelLock(request); });
}

ipmi::Response BmcVendorFeatures::Answer(vendor::LoggedRequest& entry, std::uint8_t completionCode,
                                         std::string note, std::vector<std::uint8_t> data) {
    return vendor::Answer(mMachine, vendor::kBmcComponent, entry, completionCode, std::move(note),
                          std::move(data));
}

ipmi::Response BmcVendorFeatures::AdvancedFeatures(const ipmi::Request& request) {
    const std::uint8_t query = request.data[1];
    vendor::LoggedRequest entry{"features", query};
    if (request.data[0] != kFeatureGroup || request.data[2] != 0 || request.data[3] != 0) {
        return Answer(entry, ipmi::kInvalidDataField, "no such feature group");
    }
    if (query != vendor::kRmmPresence && query != vendor::kRmmVersion) {
        return Answer(entry, ipmi::kInvalidDataField, "no such query");
    }
    if (mNoData.Strike()) return Answer(entry, ipmi::kOk, "fault: no data");
    if (query == vendor::kRmmPresence) {
        const std::uint8_t flags = mRmmPresent ? vendor::kRmmPresent : 0;
        entry.value = flags;
        return Answer(entry, ipmi::kOk, "", {query, flags});
    }
    if (!mRmmPresent) return Answer(entry, ipmi::kNotPresent, "no RMM");
    entry.value = mRmm.major;
    return Answer(entry, ipmi::kOk, "", {query, mRmm.major, mRmm.minor});
}

ipmi::Response BmcVendorFeatures::FrontPanelLock(const ipmi::Request& request) {
    const std::uint8_t action = request.data[0];
    vendor::LoggedRequest entry{"panel_lock", action};
    if (action != vendor::kLock && action != vendor::kUnlock) {
        entry.value = mLocked;
        return Answer(entry, ipmi::kInvalidDataField, "neither lock nor unlock");
    }
    mLocked = action == vendor::kLock;
    entry.value = mLocked;
    return Answer(entry, ipmi::kOk);
}

void BmcVendorFeatures::LoadState(const std::filesystem::path& dir) {
    std::ifstream in(dir / mLockFile);
    std::string word;
    if (in >> word && (word == kLocked || word == kUnlocked)) mLocked = word == kLocked;
}

void BmcVendorFeatures::SaveState(const std::filesystem::path& dir) const {
    std::ofstream(dir / mLockFile, std::ios::trunc) << (mLocked ? kLocked : kUnlocked) << "\n";
}

void BmcVendorFeatures::Describe(std::ostream& out) const {
    if (mRmmPresent) {
        out << "    RMM: present, version " << mRmm.Text() << "\n";
    } else {
        out << "    RMM: none\n";
    }
    out << "    front panel: " << (mLocked ? kLocked : kUnlocked) << "\n";
}

}  // namespace sim
