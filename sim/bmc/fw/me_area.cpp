// The engine's area commands: an image written in sequenced pieces into the
// erased staging area, taken as the running firmware only when its length
// and checksum hold.
#include <cstdio>

#include "sim/bmc/fw/me_staging.h"

namespace sim {

namespace {

std::uint32_t Long(std::span<const std::uint8_t> data) {
    return static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                      static_cast<std::uint32_t>(data[3]) << 24);
}

}  // namespace

ipmi::Response ManagementEngine::OpenArea(const ipmi::Request& request) {
    vendor::LoggedRequest entry{"open", request.data[0]};
    if (auto refused = Unready(entry, me::Staging::kOpen)) return *refused;
    if (mConfig.openBusy.Strike()) return Answer(entry, mConfig.busyCode, "fault: busy");
    if (request.data[0] != me::kFirmwareArea || request.data[1] != 0) {
        return Answer(entry, ipmi::kInvalidDataField, "no such area");
    }
    const bool free = mStatus == me::StagingStatus::kErased ||
                      mStatus == me::StagingStatus::kTaken ||
                      (mStatus == me::StagingStatus::kAreaOpen && mArea);
    if (!free) return Answer(entry, ipmi::kNotSupportedInState, "staging area not erased");
    mArea = OpenImage{};
    mStatus = me::StagingStatus::kAreaOpen;
    return Answer(entry, ipmi::kOk);
}

ipmi::Response ManagementEngine::WriteArea(const ipmi::Request& request) {
    const std::uint8_t sequence = request.data[0];
    const auto bytes = request.data.subspan(1);
    vendor::LoggedRequest entry{"write", sequence, bytes.size()};
    if (auto refused = Unready(entry, me::Staging::kWrite)) return *refused;
    if (!mArea) return Answer(entry, ipmi::kNotSupportedInState, "no area open");
    if (sequence != mArea->nextSequence) {
        return Answer(entry, ipmi::kInvalidDataField,
                      "sequence " + std::to_string(sequence) + ", expected " +
                          std::to_string(mArea->nextSequence));
    }
    if (mArea->bytes.size() + bytes.size() > mConfig.capacity) {
        return Answer(entry, ipmi::kOutOfSpace, "image larger than the staging area");
    }
    if (++mArea->writes == mConfig.refusedWrite) {
        return Answer(entry, mConfig.refusedWriteCode, "fault: write refused");
    }
    mArea->bytes.insert(mArea->bytes.end(), bytes.begin(), bytes.end());
    ++mArea->nextSequence;
    return Answer(entry, ipmi::kOk);
}

ipmi::Response ManagementEngine::CloseArea(const ipmi::Request& request) {
    const std::uint32_t length = Long(request.data);
    const auto checksum = static_cast<std::uint16_t>(request.data[4] | request.data[5] << 8);
    vendor::LoggedRequest entry{"close", checksum, length};
    if (auto refused = Unready(entry, std::nullopt)) return *refused;
    if (!mArea) return Answer(entry, ipmi::kNotSupportedInState, "no area open");
    std::vector<std::uint8_t> image = std::move(mArea->bytes);
    mArea.reset();
    // Whatever the close finds, the staging area holds an image that was
    // not taken until a new erase.
    mStatus = me::StagingStatus::kRefused;
    if (length != image.size()) {
        return Answer(entry, ipmi::kInvalidDataField,
                      "length " + std::to_string(length) + ", " + std::to_string(image.size()) +
                          " bytes written");
    }
    const std::uint16_t expected = me::ImageChecksum(image);
    if (checksum != expected || mConfig.closeChecksum.Strike()) {
        char note[64];
        std::snprintf(note, sizeof note, "%schecksum %04Xh, the image needs %04Xh",
                      checksum == expected ? "fault: " : "", checksum, expected);
        return Answer(entry, ipmi::kInvalidDataField, note);
    }
    if (auto refused = Take(std::move(image))) {
        return Answer(entry, ipmi::kInvalidDataField, *refused);
    }
    mStatus = me::StagingStatus::kTaken;
    return Answer(entry, ipmi::kOk);
}

std::optional<std::string> ManagementEngine::Take(std::vector<std::uint8_t> image) {
    const me::ImageVersion found = me::FindImageVersion(image);
    if (found.found && !found.version) {
        char note[64];
        std::snprintf(note, sizeof note, "version %X.%02X cannot be reported", found.major,
                      found.minor);
        return note;
    }
    const me::FirmwareVersion version = found.version.value_or(RunningVersion());
    mController->Identity().firmwareMajor = version.major;
    mController->Identity().firmwareMinor = version.minor;
    mFirmware.image = std::move(image);
    mFirmware.version = version;
    return std::nullopt;
}

}  // namespace sim
