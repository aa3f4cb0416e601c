// The engine's modes and staging state, its state in the state directory,
// and what every staging command shares: registration, answers and their
// log entries, the refusals outside firmware transfer mode.
#include "sim/bmc/fw/me_staging.h"

#include <cstdio>

namespace sim {

namespace me {

std::uint16_t ImageChecksum(std::span<const std::uint8_t> image) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < image.size(); i += 2) sum += image[i] | image[i + 1] << 8;
    // The engine's loader ends an odd image on a word boundary by padding
    // in front of the last byte, so that byte is the high byte of its word.
    if (image.size() % 2 != 0) sum += static_cast<std::uint32_t>(image.back()) << 8;
    return static_cast<std::uint16_t>(0x10000 - (sum & 0xFFFF));
}

}  // namespace me

namespace {

std::string Prefix(const ipmi::Controller* controller) {
    return "ipmb." + (controller ? controller->Name() : std::string(vendor::kMeComponent)) + ".";
}

ipmi::Controller* EngineOf(Bmc& bmc) {
    return bmc.Ipmb().Find(me::kChannel, me::kAddress);
}

}  // namespace

ManagementEngine::ManagementEngine(Machine& machine, Bmc& bmc)
    : mMachine(machine),
      mController(EngineOf(bmc)),
      mConfig(me::StagingSettings::FromSettings(
          machine.Config(), Prefix(mController),
          mController ? mController->Name() : vendor::kMeComponent)) {
    if (mController) Register(mController->Commands());
}

void ManagementEngine::Register(ipmi::CommandTable& commands) {
    using ipmi::RequestLength;
    const auto serve = [&](std::uint8_t cmd, RequestLength length, const char* operation,
                           ipmi::Response (ManagementEngine::*handler)(const ipmi::Request&)) {
        vendor::ServeLogged(
            commands, mMachine, vendor::kMeComponent, me::kNetFnVendor, cmd, length, operation,
            [this, handler](const ipmi::Request& request) { return (this->*handler)(request); });
    };
    constexpr std::size_t kOpenBytes = 2;   // area, 0
    constexpr std::size_t kCloseBytes = 6;  // length, checksum
    serve(me::kResetMe, RequestLength::Exactly(1), "reset", &ManagementEngine::Reset);
    serve(me::kGetUpdateStatus, RequestLength::Exactly(0), "status",
          &ManagementEngine::UpdateStatus);
    serve(me::kEraseStagingArea, RequestLength::Exactly(0), "erase", &ManagementEngine::Erase);
    serve(me::kOpenArea, RequestLength::Exactly(kOpenBytes), "open", &ManagementEngine::OpenArea);
    serve(me::kWriteToArea, {2, 1 + me::kLargestWrite}, "write", &ManagementEngine::WriteArea);
    serve(me::kCloseArea, RequestLength::Exactly(kCloseBytes), "close",
          &ManagementEngine::CloseArea);
}

ipmi::Response ManagementEngine::Answer(vendor::LoggedRequest& entry, std::uint8_t completionCode,
                                        std::string note, std::vector<std::uint8_t> data) {
    return vendor::Answer(mMachine, vendor::kMeComponent, entry, completionCode, std::move(note),
                          std::move(data));
}

std::optional<ipmi::Response> ManagementEngine::Unready(vendor::LoggedRequest& entry,
                                                        std::optional<me::Staging> command) {
    SettleErase();
    if (command && mConfig.notCompatible.count(*command) != 0) {
        return Answer(entry, me::kNotCompatible, "fault: not compatible");
    }
    if (!InTransferMode()) {
        return Answer(entry, ipmi::kNotSupportedInState, "not in firmware transfer mode");
    }
    return std::nullopt;
}

bool ManagementEngine::InTransferMode() const {
    return mController && mController->Identity().transferMode;
}

me::FirmwareVersion ManagementEngine::RunningVersion() const {
    if (!mController) return {};
    const ipmi::DeviceIdentity& identity = mController->Identity();
    return {identity.firmwareMajor, identity.firmwareMinor};
}

me::StagingStatus ManagementEngine::Status() const {
    if (mStatus == me::StagingStatus::kErasing && !mConfig.eraseNeverCompletes &&
        mMachine.Clock().NowNs() >= mEraseDoneAtNs) {
        return me::StagingStatus::kErased;
    }
    return mStatus;
}

std::optional<std::size_t> ManagementEngine::OpenAreaBytes() const {
    if (!mArea) return std::nullopt;
    return mArea->bytes.size();
}

void ManagementEngine::SettleErase() {
    mStatus = Status();
}

void ManagementEngine::Restart(bool transferMode) {
    mController->Identity().transferMode = transferMode;
    mArea.reset();
    mStatus = me::StagingStatus::kNothing;
}

ipmi::Response ManagementEngine::Reset(const ipmi::Request& request) {
    const std::uint8_t target = request.data[0];
    vendor::LoggedRequest entry{"reset", target};
    if (target != me::kResetToNormal && target != me::kResetToTransferMode) {
        return Answer(entry, ipmi::kInvalidDataField, "no such reset");
    }
    if (target == me::kResetToTransferMode && mConfig.resetStaysNormal.Strike()) {
        Restart(false);
        return Answer(entry, ipmi::kOk, "fault: stays in normal operation");
    }
    Restart(target == me::kResetToTransferMode);
    return Answer(entry, ipmi::kOk);
}

ipmi::Response ManagementEngine::UpdateStatus(const ipmi::Request&) {
    SettleErase();
    vendor::LoggedRequest entry{"status"};
    if (mConfig.statusBusy.Strike()) return Answer(entry, mConfig.busyCode, "fault: busy");
    const auto status = static_cast<std::uint8_t>(mStatus);
    entry.value = status;
    return Answer(entry, ipmi::kOk, "", {static_cast<std::uint8_t>(InTransferMode()), status});
}

ipmi::Response ManagementEngine::Erase(const ipmi::Request&) {
    vendor::LoggedRequest entry{"erase"};
    if (auto refused = Unready(entry, me::Staging::kErase)) return *refused;
    if (mArea) return Answer(entry, ipmi::kNotSupportedInState, "an area is open");
    if (mConfig.eraseRefused.Strike()) return Answer(entry, me::kRefused, "fault: refused");
    const std::uint64_t now = mMachine.Clock().NowNs();
    if (mStatus != me::StagingStatus::kErasing && mStatus != me::StagingStatus::kErased) {
        mStatus = me::StagingStatus::kErasing;
        mEraseDoneAtNs = now + mConfig.eraseNs;
        SettleErase();
    }
    if (mStatus == me::StagingStatus::kErased) return Answer(entry, ipmi::kOk);
    entry.value = mEraseDoneAtNs > now ? mEraseDoneAtNs - now : 0;
    return Answer(entry, mConfig.eraseBusyCode,
                  mConfig.eraseNeverCompletes ? "fault: erase stuck" : "erasing");
}

void ManagementEngine::LoadState(const std::filesystem::path& dir) {
    if (!mController) return;
    mFirmware.Load(dir / mConfig.file);
    if (mFirmware.version) {
        mController->Identity().firmwareMajor = mFirmware.version->major;
        mController->Identity().firmwareMinor = mFirmware.version->minor;
    }
}

void ManagementEngine::SaveState(const std::filesystem::path& dir) const {
    if (mController) mFirmware.Save(dir / mConfig.file);
}

void ManagementEngine::Describe(std::ostream& out) const {
    if (!mController) {
        out << "    management engine: none at 2Ch on channel 6\n";
        return;
    }
    static constexpr const char* kStatusNames[] = {"nothing staged",      "erasing",
                                                   "staging area erased", "area open",
                                                   "image taken",         "image refused"};
    out << "    management engine " << mController->Name() << " at 2Ch on channel 6\n";
    out << "      mode: " << (InTransferMode() ? "firmware transfer" : "normal") << "\n";
    out << "      running firmware: " << RunningVersion().Text() << ", ";
    if (mFirmware.image.empty()) {
        out << "no image taken\n";
    } else {
        char checksum[8];
        std::snprintf(checksum, sizeof checksum, "%04X", me::ImageChecksum(mFirmware.image));
        out << mFirmware.image.size() << " bytes, checksum " << checksum << "h\n";
    }
    out << "      staging: " << kStatusNames[static_cast<std::size_t>(Status())];
    if (mArea) out << ", " << mArea->bytes.size() << " bytes written";
    out << "\n";
}

}  // namespace sim
