#include "sim/chipset/spi_controller.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace sim {

namespace {

// SPIC (SSFC) bits.
constexpr std::uint16_t kGo = 1u << 1;
constexpr std::uint16_t kAtomic = 1u << 2;
constexpr unsigned kPrefixShift = 3;
constexpr unsigned kMenuShift = 4;
constexpr unsigned kCountShift = 8;
constexpr std::uint16_t kCountMask = 0x3F;
constexpr std::uint16_t kDataPhase = 1u << 14;
// SPIS (SSFS) bits.
constexpr std::uint8_t kInProgress = 1u << 0;
constexpr std::uint8_t kDone = 1u << 2;
constexpr std::uint8_t kLock = 1u << 7;
// OPTYPE: two bits an entry.
constexpr unsigned kTypeHasAddress = 0x2;
constexpr unsigned kTypeWrite = 0x1;

constexpr std::uint32_t kAddressMask = 0xFFFFFF;
constexpr std::uint32_t kBbarMask = 0xFFFF00;
constexpr std::uint8_t kReadStatus = 0x05;
constexpr std::uint8_t kStatusBusy = 0x01;

constexpr SpiRegisterLayout kIch7{0x3020, 0x70, 0x00, 0x02, 0x04, 0x08,
                                  0x50,   0x54, 0x56, 0x58, 0x08, 0x01};
constexpr SpiRegisterLayout kIch9{0x3800, 0x100, 0x90, 0x91, 0x08, 0x10,
                                  0xA0,   0x94,  0x96, 0x98, 0x08, 0x05};

// The BIOS's own menu: what it needs to read, program and erase its NVRAM.
constexpr std::array<std::uint8_t, 8> kBiosMenu = {0x02, 0x03, 0xD8, 0x05, 0x9F, 0x01, 0x20, 0x0B};
constexpr std::uint16_t kBiosTypes = 0xB43B;
constexpr std::array<std::uint8_t, 2> kBiosPrefixes = {0x06, 0x50};

std::string OpcodeName(std::uint8_t opcode) {
    switch (opcode) {
        case 0x01:
            return "write-status";
        case 0x02:
            return "page-program";
        case 0x03:
            return "read";
        case 0x04:
            return "write-disable";
        case 0x05:
            return "read-status";
        case 0x06:
            return "write-enable";
        case 0x0B:
            return "fast-read";
        case 0x20:
            return "sector-erase";
        case 0x50:
            return "enable-write-status";
        case 0x52:
            return "block-erase-32k";
        case 0x60:
        case 0xC7:
            return "chip-erase";
        case 0x9F:
            return "read-jedec-id";
        case 0xAD:
            return "aai-word-program";
        case 0xD8:
            return "block-erase";
        default:
            break;
    }
    char text[16];
    std::snprintf(text, sizeof text, "opcode-%02Xh", opcode);
    return text;
}

const char* TypeName(unsigned type) {
    static constexpr std::array<const char*, 4> kNames = {"read", "write", "read-addr",
                                                          "write-addr"};
    return kNames[type & 3];
}

bool Inside(std::uint32_t offset, std::uint32_t start, std::uint32_t length) {
    return offset >= start && offset - start < length;
}

}  // namespace

const SpiRegisterLayout& LayoutOf(SpiLayout layout) {
    return layout == SpiLayout::kIch9 ? kIch9 : kIch7;
}

SpiController::SpiController(SpiLayout layout, SpiFlash* part, RequestLog& log,
                             const Settings& settings, bool lockedDown)
    : mLayout(LayoutOf(layout)),
      mPart(part),
      mLog(log),
      mCycleHang(FaultCount::FromSetting(settings, "spi.fault.cycle_hang")),
      mBytes(mLayout.blockBytes, 0) {
    std::copy(kBiosPrefixes.begin(), kBiosPrefixes.end(), mBytes.begin() + mLayout.preop);
    mBytes[mLayout.optype] = static_cast<std::uint8_t>(kBiosTypes);
    mBytes[mLayout.optype + 1] = static_cast<std::uint8_t>(kBiosTypes >> 8);
    std::copy(kBiosMenu.begin(), kBiosMenu.end(), mBytes.begin() + mLayout.opmenu);
    if (lockedDown) mBytes[mLayout.lockByte] |= kLock;
}

void SpiController::Restore(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != mBytes.size()) return;
    mBytes = bytes;
    // A cycle does not outlive the process that started it.
    mBytes[mLayout.status] &= ~kInProgress;
    mBytes[mLayout.control] &= ~kGo;
    mAtomicPending = false;
}

bool SpiController::Locked() const {
    return (mBytes[mLayout.lockByte] & kLock) != 0;
}

std::uint32_t SpiController::Value(std::uint32_t offset, unsigned width) const {
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        if (offset + i < mBytes.size()) value |= std::uint32_t{mBytes[offset + i]} << (8 * i);
    }
    return value;
}

std::uint32_t SpiController::Read(std::uint32_t offset, unsigned width) {
    FinishAtomicCycle();
    return Value(offset, width);
}

void SpiController::Write(std::uint32_t offset, unsigned width, std::uint32_t value) {
    FinishAtomicCycle();
    for (unsigned i = 0; i < width; ++i) {
        WriteByte(offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
    }
    // The go bit acts once the whole write has landed, so that a 16-bit write
    // of the control word runs the cycle with its count.
    if ((mBytes[mLayout.control] & kGo) == 0) return;
    mBytes[mLayout.control] &= ~kGo;
    RunCycle();
}

void SpiController::WriteByte(std::uint32_t offset, std::uint8_t value) {
    if (offset >= mBytes.size()) return;
    std::uint8_t& byte = mBytes[offset];
    if (offset == mLayout.status) {
        // Cycle in progress reads only; done and blocked clear by writing 1.
        byte &= static_cast<std::uint8_t>(~(value & (kDone | mLayout.blockedBit)));
        return;
    }
    if (offset == mLayout.lockByte) {
        byte |= value & kLock;  // write-once until reset
        return;
    }
    const bool menu = Inside(offset, mLayout.preop, 2) || Inside(offset, mLayout.optype, 2) ||
                      Inside(offset, mLayout.opmenu, 8) || Inside(offset, mLayout.bbar, 4);
    if (menu && Locked()) return;
    if (offset == mLayout.address + 3 || offset == mLayout.bbar + 3) return;  // bits 31:24
    byte = value;
}

std::vector<std::uint8_t> SpiController::Transfer(const std::vector<std::uint8_t>& sent,
                                                  std::size_t readCount) {
    if (mPart != nullptr) return mPart->Transfer(sent, readCount);
    return std::vector<std::uint8_t>(readCount, 0xFF);  // nothing drives the line
}

void SpiController::RunCycle() {
    std::uint8_t& status = mBytes[mLayout.status];
    if ((status & kInProgress) != 0) return;
    const auto control = static_cast<std::uint16_t>(Value(mLayout.control, 2));
    const unsigned menuEntry = (control >> kMenuShift) & 0x7;
    const std::uint8_t opcode = mBytes[mLayout.opmenu + menuEntry];
    const unsigned type = (Value(mLayout.optype, 2) >> (2 * menuEntry)) & 0x3;
    const std::size_t count =
        (control & kDataPhase) != 0 ? ((control >> kCountShift) & kCountMask) + 1u : 0u;
    const bool atomic = (control & kAtomic) != 0;
    const std::uint8_t prefix = mBytes[mLayout.preop + ((control >> kPrefixShift) & 1)];
    const std::uint32_t address = Value(mLayout.address, 4) & kAddressMask;

    LogEntry logged{
        "spi", OpcodeName(opcode), address, count, 0, std::string("type=") + TypeName(type)};
    if (atomic) {
        char text[16];
        std::snprintf(text, sizeof text, " prefix=%02X", prefix);
        logged.detail += text;
    }
    const bool hasAddress = (type & kTypeHasAddress) != 0;
    if (hasAddress && address < (Value(mLayout.bbar, 4) & kBbarMask)) {
        status |= kDone | mLayout.blockedBit;
        logged.detail += " blocked";
        mLog.Add(std::move(logged));
        return;
    }
    if (mCycleHang.Strike()) {
        status |= kInProgress;
        logged.detail += " hang";
        mLog.Add(std::move(logged));
        return;
    }
    mLog.Add(std::move(logged));

    if (atomic) Transfer({prefix}, 0);
    std::vector<std::uint8_t> sent;
    sent.reserve(1 + 3 + count);
    sent.push_back(opcode);
    if (hasAddress) {
        for (const unsigned shift : {16u, 8u, 0u}) {
            sent.push_back(static_cast<std::uint8_t>(address >> shift));
        }
    }
    const bool write = (type & kTypeWrite) != 0;
    const auto data = mBytes.begin() + mLayout.data;
    if (write) sent.insert(sent.end(), data, data + static_cast<std::ptrdiff_t>(count));
    const std::vector<std::uint8_t> read = Transfer(sent, write ? 0 : count);
    std::copy(read.begin(), read.end(), data);

    if (!atomic) {
        status |= kDone;
        return;
    }
    status |= kInProgress;
    mAtomicPending = true;
    FinishAtomicCycle();
}

// An atomic cycle ends when the part's status, which the controller reads
// on its own, shows it no longer busy.
void SpiController::FinishAtomicCycle() {
    if (!mAtomicPending) return;
    if ((Transfer({kReadStatus}, 1)[0] & kStatusBusy) != 0) return;
    mAtomicPending = false;
    std::uint8_t& status = mBytes[mLayout.status];
    status = static_cast<std::uint8_t>((status & ~kInProgress) | kDone);
}

}  // namespace sim
