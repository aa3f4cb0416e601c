#include "sim/bios/bios_flash_functions.h"

#include <vector>

#include "sim/bios/bios_flash.h"

namespace sim::bios {

namespace {

// What the flash part takes for each kilobyte; the processor waits in SMM
// meanwhile, so the time passes for the program too.
constexpr std::uint64_t kReadNsPerKb = 25'000;
constexpr std::uint64_t kProgramNsPerKb = 5'000'000;
constexpr std::uint64_t kEraseNsPerKb = 10'000'000;

// The fault whose address lies in the range, if any.
const FlashFault* FaultIn(const std::vector<FlashFault>& faults, std::uint64_t address,
                          std::uint64_t length) {
    for (const FlashFault& fault : faults) {
        if (fault.address >= address && fault.address - address < length) return &fault;
    }
    return nullptr;
}

}  // namespace

bool IsRam(MemoryMap& memory, std::uint64_t address, std::uint64_t length) {
    for (std::uint64_t at = address; at < address + length;) {
        const MemoryRegion* region = memory.RegionAt(at);
        if (region == nullptr || region->kind != MemoryRegion::Kind::kRam) return false;
        at = region->base + region->size;
    }
    return true;
}

Outcome FlashFunctions::Run(std::uint8_t code, Request& request) {
    switch (code) {
        case kFlashOpen:
            return Open();
        case kFlashRead:
            return Read(request);
        case kFlashErase:
            return Erase(request);
        case kFlashWrite:
            return Write(request);
        default:
            return Close();
    }
}

Outcome FlashFunctions::Open() {
    if (mOpen) return {kAlreadyOpen, "already open"};
    const std::uint8_t status = mConfig.openStatus;
    if (status != kOk && status != kAlreadyOpen) return {status, "refused"};
    mOpen = true;
    return {status, status == kOk ? "" : "already open"};
}

Outcome FlashFunctions::Close() {
    if (!mOpen) return {kNotOpen, "not open"};
    if (mConfig.closeStatus != kOk) return {mConfig.closeStatus, "cannot close"};
    mOpen = false;
    return {kOk, ""};
}

std::optional<Outcome> FlashFunctions::CheckTransfer(const Request& request,
                                                     std::uint64_t* offset) {
    if (!mOpen) return Outcome{kNotOpen, "not open"};
    if (request.length != kTransferBytes) return Outcome{kBadLength, "length"};
    const auto range = mConfig.layout.ImageRangeOf(request.address, request.length);
    if (!range) return Outcome{kBadAddress, "address outside the ROM"};
    if (!IsRam(mMachine.Memory(), request.buffer, kTransferBytes)) {
        return Outcome{kBadBuffer, "buffer not in RAM"};
    }
    *offset = range->offset;
    return std::nullopt;
}

Outcome FlashFunctions::Read(Request& request) {
    std::uint64_t offset = 0;
    if (auto refused = CheckTransfer(request, &offset)) return *refused;
    mMachine.Clock().Advance(kReadNsPerKb);
    if (const auto* fault = FaultIn(mConfig.faults.read, request.address, request.length)) {
        return {static_cast<std::uint8_t>(fault->value), "read error"};
    }
    const auto data = mFlash.Bytes(offset, kTransferBytes);
    for (std::size_t i = 0; i < data.size(); ++i) {
        mMachine.Memory().Write(request.buffer + i, 1, data[i]);
    }
    request.checksum = TransferChecksum(data);
    if (const auto* fault = FaultIn(mConfig.faults.readChecksum, request.address, request.length)) {
        request.checksum ^= fault->value;
    }
    return {kOk, ""};
}

Outcome FlashFunctions::Erase(const Request& request) {
    if (!mOpen) return {kNotOpen, "not open"};
    const FlashBlock* block = mConfig.layout.BlockAt(request.address);
    if (block == nullptr) return {kBadAddress, "not a block start"};
    const auto range = mConfig.layout.ImageRangeOf(block->address, block->size);
    if (!range) return {kBadAddress, "block outside the ROM"};
    if (request.length != block->size) return {kBadLength, "length is not the block size"};
    mMachine.Clock().Advance(kEraseNsPerKb * (block->size + 1023) / 1024);
    if (const auto* fault = FaultIn(mConfig.faults.erase, block->address, block->size)) {
        return {static_cast<std::uint8_t>(fault->value), "erase error"};
    }
    mFlash.Erase(range->offset, range->length);
    return {kOk, ""};
}

Outcome FlashFunctions::Write(const Request& request) {
    std::uint64_t offset = 0;
    if (auto refused = CheckTransfer(request, &offset)) return *refused;
    std::vector<std::uint8_t> data(kTransferBytes);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(mMachine.Memory().Read(request.buffer + i, 1));
    }
    if (TransferChecksum(data) != request.checksum) {
        return {kChecksumMismatch, "buffer does not match its checksum"};
    }
    mMachine.Clock().Advance(kProgramNsPerKb);
    if (const auto* fault = FaultIn(mConfig.faults.write, request.address, request.length)) {
        return {static_cast<std::uint8_t>(fault->value), "program error"};
    }
    mFlash.Program(offset, data);
    return {kOk, ""};
}

}  // namespace sim::bios
