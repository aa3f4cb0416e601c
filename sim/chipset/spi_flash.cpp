#include "sim/chipset/spi_flash.h"

#include <algorithm>
#include <limits>

#include "sim/core/setting_lists.h"

namespace sim {

namespace {

namespace op {
constexpr std::uint8_t kWriteStatus = 0x01;
constexpr std::uint8_t kProgram = 0x02;
constexpr std::uint8_t kRead = 0x03;
constexpr std::uint8_t kWriteDisable = 0x04;
constexpr std::uint8_t kReadStatus = 0x05;
constexpr std::uint8_t kWriteEnable = 0x06;
constexpr std::uint8_t kFastRead = 0x0B;
constexpr std::uint8_t kEnableWriteStatus = 0x50;
constexpr std::uint8_t kJedecId = 0x9F;
constexpr std::uint8_t kAaiWordProgram = 0xAD;
}  // namespace op

constexpr std::uint8_t kBusy = 0x01;
constexpr std::uint8_t kWriteEnableLatch = 0x02;
constexpr std::uint8_t kSstAai = 0x40;
constexpr std::uint8_t kAtmelSwp = 0x0C;
constexpr std::uint8_t kAtmelGlobal = 0x3C;  // written bits 5:2
constexpr std::uint8_t kAtmelWpp = 0x10;     // WP# is not asserted on the board
constexpr std::uint8_t kAtmelEpe = 0x20;
constexpr std::uint8_t kAtmelSprl = 0x80;
constexpr std::uint8_t kIntelEraseFailed = 0x20;
constexpr std::uint8_t kIntelProgramFailed = 0x40;
constexpr std::uint8_t kBlockProtectTb = 0x20;
constexpr std::uint32_t kPageBytes = 256;
constexpr std::uint32_t kSstSmallestProtected = 64 * 1024;
constexpr std::size_t kAddressEnd = 4;  // opcode and three address bytes
constexpr std::uint64_t kNsPerUs = 1000;

SpiFlash::StatusKind KindOf(const FlashChip& chip) {
    constexpr std::uint8_t kAtmel = 0x1F;
    constexpr std::uint8_t kIntel = 0x89;
    if (chip.commands == FlashCommandSet::kSpiAaiWordProgram) return SpiFlash::StatusKind::kSst;
    if (chip.manufacturerId == kAtmel) return SpiFlash::StatusKind::kAtmel;
    if (chip.manufacturerId == kIntel) return SpiFlash::StatusKind::kIntelS33;
    return SpiFlash::StatusKind::kBlockProtect;
}

// The status bits a write-status command sets and the register keeps.
std::uint8_t KeptBits(SpiFlash::StatusKind kind) {
    switch (kind) {
        case SpiFlash::StatusKind::kSst:
            return 0xBC;
        case SpiFlash::StatusKind::kAtmel:
            return kAtmelSwp | kAtmelEpe | kAtmelSprl;
        case SpiFlash::StatusKind::kIntelS33:
            return 0x9C | kIntelEraseFailed | kIntelProgramFailed;
        case SpiFlash::StatusKind::kBlockProtect:
            break;
    }
    return 0xFC;
}

std::uint32_t AddressOf(std::span<const std::uint8_t> bytes) {
    return std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

std::vector<std::uint32_t> Offsets(const Settings& settings, const std::string& key) {
    std::vector<std::uint32_t> offsets;
    for (const SettingItem& item : SettingItems(settings, key)) {
        if (item.size() != 1) throw std::invalid_argument(key + ": expected ADDR,...");
        offsets.push_back(static_cast<std::uint32_t>(SettingNumber(key, item[0], 0xFFFFFFFF)));
    }
    return offsets;
}

SpiFlashTimes TimesFrom(const Settings& settings) {
    SpiFlashTimes times;
    const auto us = [&](const char* key, std::uint64_t fallbackNs) {
        return SettingNumber(settings, key, fallbackNs / kNsPerUs, UINT32_MAX) * kNsPerUs;
    };
    times.programNs = us("spi.program_us", times.programNs);
    times.wordNs = us("spi.word_us", times.wordNs);
    times.eraseNs = us("spi.erase_us", times.eraseNs);
    times.writeStatusNs = us("spi.write_status_us", times.writeStatusNs);
    return times;
}

SpiFlashFaults FaultsFrom(const Settings& settings) {
    SpiFlashFaults faults;
    faults.erase = Offsets(settings, "spi.fault.erase");
    faults.program = Offsets(settings, "spi.fault.program");
    faults.hang = Offsets(settings, "spi.fault.hang");
    faults.stuckBusy = SettingNumber(settings, "spi.fault.stuck_busy", 0, 1) == 1;
    if (settings.Has("spi.fault.jedec_id")) {
        const auto id = SettingNumber(settings, "spi.fault.jedec_id", 0, 0xFFFFFF);
        faults.jedecId = {static_cast<std::uint8_t>(id >> 16), static_cast<std::uint8_t>(id >> 8),
                          static_cast<std::uint8_t>(id)};
    }
    return faults;
}

}  // namespace

SpiFlashSettings SpiFlashSettings::FromSettings(const Settings& settings) {
    SpiFlashSettings parsed;
    parsed.status = static_cast<std::uint8_t>(SettingNumber(settings, "spi.status", 0, 0xFF));
    parsed.times = TimesFrom(settings);
    parsed.faults = FaultsFrom(settings);
    return parsed;
}

SpiFlash::SpiFlash(FlashPart& part, VirtualClock& clock, const SpiFlashSettings& settings)
    : mPart(part),
      mClock(clock),
      mKind(KindOf(part.Chip())),
      mTimes(settings.times),
      mFaults(settings.faults),
      mHung(settings.faults.stuckBusy) {
    RestoreStatus(settings.status);
}

void SpiFlash::RestoreStatus(std::uint8_t status) {
    mStatus = status & KeptBits(mKind);
}

bool SpiFlash::Busy() const {
    return mHung || mClock.NowNs() < mBusyUntilNs;
}

std::uint8_t SpiFlash::Status() const {
    std::uint8_t status = mStatus;
    if (Busy()) status |= kBusy;
    if (mWriteEnabled) status |= kWriteEnableLatch;
    if (mKind == StatusKind::kSst && mAai) status |= kSstAai;
    if (mKind == StatusKind::kAtmel) status |= kAtmelWpp;
    return status;
}

std::vector<std::uint8_t> SpiFlash::Transfer(std::span<const std::uint8_t> sent,
                                             std::size_t readCount) {
    // The controller drives its data-out low while it reads.
    std::vector<std::uint8_t> bytes(sent.begin(), sent.end());
    bytes.resize(sent.size() + readCount, 0x00);
    std::vector<std::uint8_t> out(bytes.size(), 0xFF);
    if (!bytes.empty()) {
        Answer(bytes, out);
        Execute(bytes);
    }
    return {out.end() - static_cast<std::ptrdiff_t>(readCount), out.end()};
}

void SpiFlash::Answer(std::span<const std::uint8_t> bytes, std::span<std::uint8_t> out) const {
    const std::uint8_t opcode = bytes[0];
    if (opcode == op::kReadStatus) {
        std::fill(out.begin() + 1, out.end(), Status());
        return;
    }
    // Busy, or in the middle of an AAI sequence, the part answers nothing else.
    if (Busy() || mAai) return;
    const FlashChip& chip = mPart.Chip();
    if (opcode == op::kJedecId) {
        const std::array<std::uint8_t, 3> id = mFaults.jedecId.value_or(std::array<std::uint8_t, 3>{
            chip.manufacturerId, static_cast<std::uint8_t>(chip.deviceId >> 8),
            static_cast<std::uint8_t>(chip.deviceId)});
        for (std::size_t i = 0; i < id.size() && i + 1 < out.size(); ++i) out[i + 1] = id[i];
        return;
    }
    const std::size_t dataStart =
        opcode == op::kRead ? kAddressEnd : (opcode == op::kFastRead ? kAddressEnd + 1 : 0);
    if (dataStart == 0 || bytes.size() <= dataStart) return;
    const auto cells = mPart.Cells().Bytes();
    const std::uint32_t address = AddressOf(bytes);
    for (std::size_t i = dataStart; i < out.size(); ++i) {
        out[i] = cells[(address + (i - dataStart)) % cells.size()];
    }
}

void SpiFlash::Execute(std::span<const std::uint8_t> bytes) {
    if (Busy()) return;
    const std::uint8_t opcode = bytes[0];
    if (mAai) {
        if (opcode == op::kAaiWordProgram) AaiWord(bytes);
        if (opcode == op::kWriteDisable) {
            mAai = false;
            mWriteEnabled = false;
        }
        return;
    }
    switch (opcode) {
        case op::kWriteEnable:
            mWriteEnabled = true;
            return;
        case op::kWriteDisable:
            mWriteEnabled = false;
            mWriteStatusEnabled = false;
            return;
        case op::kEnableWriteStatus:
            if (mKind == StatusKind::kSst) mWriteStatusEnabled = true;
            return;
        case op::kWriteStatus:
            if (bytes.size() >= 2 && (mWriteEnabled || mWriteStatusEnabled)) {
                WriteStatus(bytes[1]);
                StartBusy(mTimes.writeStatusNs, false);
            }
            return;
        case op::kProgram:
            if (bytes.size() <= kAddressEnd) return;
            if (mKind == StatusKind::kSst) {
                Program(AddressOf(bytes), bytes.subspan(kAddressEnd, 1), mTimes.programNs);
            } else {
                PageProgram(AddressOf(bytes), bytes.subspan(kAddressEnd));
            }
            return;
        case op::kAaiWordProgram:
            if (mKind == StatusKind::kSst) AaiWord(bytes);
            return;
        default:
            Erase(opcode, bytes);
            return;
    }
}

void SpiFlash::WriteStatus(std::uint8_t value) {
    mWriteEnabled = false;
    mWriteStatusEnabled = false;
    if (mKind != StatusKind::kAtmel) {
        mStatus =
            static_cast<std::uint8_t>((mStatus & ~KeptBits(mKind)) | (value & KeptBits(mKind)));
        return;
    }
    // Atmel: bits 5:2 written all alike protect or unprotect every sector,
    // unless the sector protection registers are locked.
    const bool locked = (mStatus & kAtmelSprl) != 0;
    if (!locked && (value & kAtmelGlobal) == 0) mStatus &= ~kAtmelSwp;
    if (!locked && (value & kAtmelGlobal) == kAtmelGlobal) mStatus |= kAtmelSwp;
    mStatus = static_cast<std::uint8_t>((mStatus & ~kAtmelSprl) | (value & kAtmelSprl));
}

bool SpiFlash::Protected(std::uint32_t offset, std::uint32_t length) const {
    const std::uint32_t size = mPart.Chip().sizeBytes;
    std::uint32_t protectedBytes = 0;
    bool fromBottom = false;
    const unsigned level = (mStatus >> 2) & 0x07;
    switch (mKind) {
        case StatusKind::kAtmel:
            protectedBytes = (mStatus & kAtmelSwp) == kAtmelSwp ? size : 0;
            break;
        case StatusKind::kSst:
            protectedBytes = level == 0
                                 ? 0
                                 : static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                       size, std::uint64_t{kSstSmallestProtected} << (level - 1)));
            break;
        case StatusKind::kIntelS33:
        case StatusKind::kBlockProtect:
            protectedBytes = level == 0 ? 0 : (level == 7 ? size : size >> (7 - level));
            fromBottom = mKind == StatusKind::kBlockProtect && (mStatus & kBlockProtectTb) != 0;
            break;
    }
    if (protectedBytes == 0 || length == 0) return false;
    const std::uint64_t end = std::uint64_t{offset} + length;
    if (fromBottom) return offset < protectedBytes;
    return end > size - protectedBytes;
}

bool SpiFlash::Faulted(const std::vector<std::uint32_t>& offsets, std::uint32_t offset,
                       std::uint32_t length) const {
    return std::any_of(offsets.begin(), offsets.end(), [&](std::uint32_t fault) {
        return fault >= offset && fault - offset < length;
    });
}

void SpiFlash::StartBusy(std::uint64_t ns, bool hangs) {
    const std::uint64_t now = mClock.NowNs();
    mBusyUntilNs = ns > std::numeric_limits<std::uint64_t>::max() - now
                       ? std::numeric_limits<std::uint64_t>::max()
                       : now + ns;
    mHung = hangs;
}

// Starts a program or erase of the range: it needs the write enable latch
// and no protected byte, and the error flags of the last one clear. Whether
// its cells change: not when it is refused, never ends or fails.
bool SpiFlash::StartWrite(std::uint32_t offset, std::uint32_t length, std::uint64_t ns,
                          const std::vector<std::uint32_t>& failures, std::uint8_t intelFailed) {
    if (!mWriteEnabled) return false;
    if (mKind == StatusKind::kIntelS33) mStatus &= ~(kIntelEraseFailed | kIntelProgramFailed);
    if (mKind == StatusKind::kAtmel) mStatus &= ~kAtmelEpe;
    if (Protected(offset, length)) {
        mWriteEnabled = false;
        mAai = false;
        return false;
    }
    // Inside AAI the latch stays set until 04h ends the sequence.
    if (!mAai) mWriteEnabled = false;
    const bool hangs = Faulted(mFaults.hang, offset, length);
    StartBusy(ns, hangs);
    if (hangs) return false;
    if (!Faulted(failures, offset, length)) return true;
    if (mKind == StatusKind::kIntelS33) mStatus |= intelFailed;
    if (mKind == StatusKind::kAtmel) mStatus |= kAtmelEpe;
    return false;
}

void SpiFlash::Program(std::uint32_t offset, std::span<const std::uint8_t> data, std::uint64_t ns) {
    const std::uint32_t size = mPart.Chip().sizeBytes;
    offset %= size;
    data = data.first(std::min<std::size_t>(data.size(), size - offset));
    if (!StartWrite(offset, static_cast<std::uint32_t>(data.size()), ns, mFaults.program,
                    kIntelProgramFailed)) {
        return;
    }
    mPart.Cells().Program(offset, data);
}

void SpiFlash::PageProgram(std::uint32_t offset, std::span<const std::uint8_t> data) {
    // More than a page: only the last page's worth of bytes is kept.
    if (data.size() > kPageBytes) data = data.last(kPageBytes);
    offset %= mPart.Chip().sizeBytes;
    const std::uint32_t page = offset / kPageBytes * kPageBytes;
    const std::uint32_t column = offset - page;
    const auto length = static_cast<std::uint32_t>(data.size());
    // The whole page, when the data wraps to its start.
    const bool wraps = column + length > kPageBytes;
    if (!StartWrite(wraps ? page : offset, wraps ? kPageBytes : length, mTimes.programNs,
                    mFaults.program, kIntelProgramFailed)) {
        return;
    }
    const std::uint32_t first = std::min(length, kPageBytes - column);
    mPart.Cells().Program(offset, data.first(first));
    if (wraps) mPart.Cells().Program(page, data.subspan(first));
}

void SpiFlash::AaiWord(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kWord = 2;
    if (!mAai) {
        if (bytes.size() < kAddressEnd + kWord) return;
        if (!mWriteEnabled) return;
        mAai = true;
        mAaiNext = AddressOf(bytes) & ~1u;
        Program(mAaiNext, bytes.subspan(kAddressEnd, kWord), mTimes.programNs);
    } else {
        if (bytes.size() < 1 + kWord) return;
        Program(mAaiNext, bytes.subspan(1, kWord), mTimes.wordNs);
    }
    mAaiNext = (mAaiNext + kWord) % mPart.Chip().sizeBytes;
}

void SpiFlash::Erase(std::uint8_t opcode, std::span<const std::uint8_t> bytes) {
    const auto& erasers = mPart.Chip().erasers;
    const auto eraser = std::find_if(erasers.begin(), erasers.end(),
                                     [&](const EraseCommand& e) { return e.opcode == opcode; });
    if (eraser == erasers.end()) return;
    const bool wholePart = eraser->regions.size() == 1 && eraser->regions[0].count == 1;
    if (!wholePart && bytes.size() < kAddressEnd) return;
    const std::uint64_t address = wholePart ? 0 : AddressOf(bytes);
    std::uint64_t start = 0;
    for (const EraseRegion& region : eraser->regions) {
        const std::uint64_t regionBytes = std::uint64_t{region.blockBytes} * region.count;
        if (address >= start + regionBytes) {
            start += regionBytes;
            continue;
        }
        const auto block = static_cast<std::uint32_t>(
            start + (address - start) / region.blockBytes * region.blockBytes);
        if (StartWrite(block, region.blockBytes, mTimes.eraseNs, mFaults.erase,
                       kIntelEraseFailed)) {
            mPart.Cells().Erase(block, region.blockBytes);
        }
        return;
    }
}

}  // namespace sim
