// Requests to the BIOS's flash service: the request block filled in, the
// function code written to the SMI command port, and the data carried 1 KB
// at a time through the transfer buffer with the checksum the BIOS keeps in
// the block.
#include <array>
#include <cstring>
#include <span>

#include "hw/hw.h"
#include "tarvo/bios_flash.h"
#include "tarvo/flash_request_block.h"

namespace tarvo {

namespace {

constexpr std::uint16_t kDelayPort = 0x80;
// What a call reports when the request block cannot be read: a failed
// call, neither success nor the refusal of FLASH_OPEN.
constexpr std::uint8_t kStatusUnreadable = 0xFF;

std::uint32_t Checksum(const std::uint8_t* kilobyte) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < kKilobyte; i += 4) {
        std::uint32_t word;
        std::memcpy(&word, kilobyte + i, 4);
        sum += word;
    }
    return ~sum;
}

}  // namespace

void BiosFlash::PortOut(std::uint16_t port, std::uint8_t value) {
    hw::OutByte(port, value);
    for (int i = 0; i < 4; ++i) hw::OutByte(kDelayPort, value);
}

std::uint8_t BiosFlash::PortIn(std::uint16_t port) {
    const std::uint8_t value = hw::InByte(port);
    for (int i = 0; i < 4; ++i) hw::OutByte(kDelayPort, value);
    return value;
}

// The request block was checked to lie inside the BIOS segment when it was
// found; the view checks every access again all the same.
bool BiosFlash::SetRequestField(std::size_t field, std::uint32_t value) {
    return mBiosSegment && mBiosSegment->Write32(mRequest + field, value);
}

std::optional<std::uint32_t> BiosFlash::RequestField(std::size_t field) const {
    if (!mBiosSegment) return std::nullopt;
    return mBiosSegment->Read32(mRequest + field);
}

std::uint8_t BiosFlash::CallBios(std::uint8_t function) {
    PortOut(mSmiPort, function);
    const auto status =
        mBiosSegment ? mBiosSegment->Read8(mRequest + kRequestStatus) : std::nullopt;
    return status.value_or(kStatusUnreadable);
}

bool BiosFlash::FromTransferBuffer(std::span<std::uint8_t> destination) const {
    return mTransferBuffer && mTransferBuffer->CopyOut(0, destination);
}

bool BiosFlash::ToTransferBuffer(std::span<const std::uint8_t> source) {
    return mTransferBuffer && mTransferBuffer->CopyIn(0, source);
}

bool BiosFlash::SetRequest(std::uint32_t address, std::uint32_t length) {
    return SetRequestField(kRequestAddress, address) && SetRequestField(kRequestLength, length);
}

bool BiosFlash::ReadKilobyte(std::uint32_t address, std::uint8_t* destination, Progress* progress) {
    if (!SetRequest(address, kKilobyte)) return false;
    if (progress != nullptr) progress->Show(address, mLayout.romSize);
    if (CallBios(kFlashRead) != 0) return false;
    if (!FromTransferBuffer(std::span(destination, kKilobyte))) return false;
    return Checksum(destination) == RequestField(kRequestChecksum);
}

bool BiosFlash::ReadBlock(std::uint32_t address, std::uint32_t size, std::uint8_t* destination,
                          Progress* progress) {
    for (std::uint32_t offset = 0; offset + kKilobyte <= size; offset += kKilobyte) {
        if (!ReadKilobyte(address + offset, destination + offset, progress)) return false;
    }
    return true;
}

bool BiosFlash::EraseBlock(std::uint32_t address, std::uint32_t size, Progress* progress) {
    if (!SetRequest(address, size)) return false;
    if (progress != nullptr) progress->Show(address, mLayout.romSize);
    return CallBios(kFlashErase) == 0;
}

bool BiosFlash::WriteBlock(std::uint32_t address, std::uint32_t size, const std::uint8_t* data,
                           Progress* progress) {
    for (std::uint32_t offset = 0; offset + kKilobyte <= size; offset += kKilobyte) {
        if (!SetRequest(address + offset, kKilobyte) ||
            !ToTransferBuffer(std::span(data + offset, kKilobyte)) ||
            !SetRequestField(kRequestChecksum, Checksum(data + offset))) {
            return false;
        }
        if (progress != nullptr) progress->Show(address + offset, mLayout.romSize);
        if (CallBios(kFlashWrite) != 0) return false;
    }
    return true;
}

bool BiosFlash::VerifyBlock(std::uint32_t address, std::uint32_t size, const std::uint8_t* data,
                            Progress* progress) {
    std::array<std::uint8_t, kKilobyte> flash;
    for (std::uint32_t offset = 0; offset + kKilobyte <= size; offset += kKilobyte) {
        if (!SetRequest(address + offset, kKilobyte)) return false;
        if (CallBios(kFlashRead) != 0) return false;
        if (progress != nullptr) progress->Show(address + offset, mLayout.romSize);
        if (!FromTransferBuffer(flash)) return false;
        if (std::memcmp(flash.data(), data + offset, kKilobyte) != 0) return false;
    }
    return true;
}

int BiosFlash::CloseInterface() {
    if (!mTransferBuffer) return kExitOk;
    if (CallBios(kFlashClose) != 0) return kExitCloseFailed;
    return FreeTransferBuffer();
}

}  // namespace tarvo
