#include "sim/chipset/lpc_bridge.h"

namespace sim {

namespace {

constexpr std::uint16_t kIntel = 0x8086;
constexpr std::uint16_t kIch7Lpc = 0x27B8;
constexpr std::uint16_t kIch9Lpc = 0x2918;
constexpr std::uint32_t kIsaBridgeClass = 0x06010000;
constexpr std::uint32_t kRcbaBase = 0xFFFFC000;
constexpr std::uint32_t kRcbaEnable = 0x1;
constexpr std::uint8_t kWriteEnable = 1u << 0;   // BIOSWE
constexpr std::uint8_t kLockEnable = 1u << 1;    // BLE, write-once
constexpr std::uint8_t kReadConfig = 0x3u << 2;  // SRC
constexpr std::uint8_t kFwhDecodeReset = 0xFF;

bool Covers(int reg, unsigned width, int target) {
    return target >= reg && target < reg + static_cast<int>(width);
}

}  // namespace

LpcBridge::LpcBridge(PciBus& pci, BiosRange& biosRange, RootComplexRegisters& registers,
                     RequestLog& log, const Board& board)
    : mFunction(
          pci.Add({0, 31, 0}, kIntel, board.spiLayout == SpiLayout::kIch9 ? kIch9Lpc : kIch7Lpc)),
      mBiosRange(biosRange),
      mRegisters(registers),
      mLog(log),
      mOlderBridge(board.olderBridge) {
    mFunction.Preset(0x08, 4, kIsaBridgeClass);
    for (int reg = kFirstChipsetRegister; reg < kConfigBytes; reg += 4) {
        mFunction.MakeWritable(reg, 4);
    }
    // BIOS control takes its bits by its own rules, in the hook.
    mFunction.MakeWritable(kBiosControl, 1, 0);
    if (mOlderBridge) {
        mFunction.MakeWritable(kOlderBiosControl, 1, 0);
        mFunction.Preset(kFwhDecode, 1, kFwhDecodeReset);
    }
    mFunction.MakeWritable(kRcba, 4, kRcbaBase | kRcbaEnable);
    mFunction.Preset(kRcba, 4, board.rcba | (board.rcbaEnabled ? kRcbaEnable : 0));
    mFunction.OnWrite(
        [this](int reg, unsigned width, std::uint32_t value) { OnWrite(reg, width, value); });
    SetBiosControl(board.biosLock ? kLockEnable : 0);
    DecodeRcba();
}

std::array<std::uint8_t, LpcBridge::kConfigBytes - LpcBridge::kFirstChipsetRegister>
LpcBridge::Registers() const {
    std::array<std::uint8_t, kConfigBytes - kFirstChipsetRegister> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(
            mFunction.Read(kFirstChipsetRegister + static_cast<int>(i), 1));
    }
    return bytes;
}

void LpcBridge::Restore(
    const std::array<std::uint8_t, kConfigBytes - kFirstChipsetRegister>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        mFunction.Preset(kFirstChipsetRegister + static_cast<int>(i), 1, bytes[i]);
    }
    SetBiosControl(static_cast<std::uint8_t>(mFunction.Read(kBiosControl, 1)));
    DecodeRcba();
}

void LpcBridge::OnWrite(int reg, unsigned width, std::uint32_t value) {
    for (const int control : {kBiosControl, kOlderBiosControl}) {
        if (control == kOlderBiosControl && !mOlderBridge) continue;
        if (Covers(reg, width, control)) {
            WriteBiosControl(static_cast<std::uint8_t>(value >> (8 * (control - reg))));
        }
    }
    if (reg < kRcba + 4 && reg + static_cast<int>(width) > kRcba) DecodeRcba();
}

void LpcBridge::WriteBiosControl(std::uint8_t value) {
    const auto old = static_cast<std::uint8_t>(mFunction.Read(kBiosControl, 1));
    const std::uint8_t lock = (old | value) & kLockEnable;
    std::uint8_t enable = value & kWriteEnable;
    if (lock != 0 && enable != 0 && (old & kWriteEnable) == 0) {
        // The lock makes the chipset raise an SMI, and the BIOS's handler
        // takes the write enable back before the write's issuer goes on.
        enable = 0;
        mLog.Add({"chipset", "smi", static_cast<std::uint64_t>(kBiosControl), value, 1,
                  "BIOS write enable with lock enable set: the BIOS cleared it"});
    }
    SetBiosControl(static_cast<std::uint8_t>((value & kReadConfig) | lock | enable));
}

void LpcBridge::SetBiosControl(std::uint8_t value) {
    mFunction.Preset(kBiosControl, 1, value);
    if (mOlderBridge) mFunction.Preset(kOlderBiosControl, 1, value);
    mBiosRange.SetWritesEnabled((value & kWriteEnable) != 0);
}

void LpcBridge::DecodeRcba() {
    const std::uint32_t rcba = mFunction.Read(kRcba, 4);
    mRegisters.Map(rcba & kRcbaBase, (rcba & kRcbaEnable) != 0);
}

}  // namespace sim
