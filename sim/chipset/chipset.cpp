#include "sim/chipset/chipset.h"

#include <memory>
#include <optional>
#include <stdexcept>

#include "sim/chipset/bios_range.h"
#include "sim/chipset/board.h"
#include "sim/chipset/lpc_bridge.h"
#include "sim/chipset/root_complex_registers.h"
#include "sim/chipset/spi_controller.h"
#include "sim/chipset/spi_flash.h"

namespace sim {

namespace {

constexpr const char* kStateFile = "chipset.state";
constexpr std::uint16_t kIntel = 0x8086;
constexpr std::uint16_t kHostBridge = 0x29C0;

std::string Hex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

// The bytes of a hexadecimal string, or nothing when it is not one (a state
// file edited by hand or cut short is ignored, as a part's is).
std::optional<std::vector<std::uint8_t>> Unhex(const std::string& text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::size_t used = 0;
        unsigned value = 0;
        try {
            value = static_cast<unsigned>(std::stoul(text.substr(i, 2), &used, 16));
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (used != 2) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

BiosRange& RangeOf(Machine& machine) {
    BiosRange* range = machine.Find<BiosRange>();
    if (range == nullptr) throw std::logic_error("the chipset is added after the BIOS range");
    return *range;
}

// The chipset as one device of the machine: its pieces hold references to
// each other, and it keeps their registers in one state file.
class Chipset : public Device {
  public:
    Chipset(Machine& machine, FlashPart& biosFlash)
        : mBoard(BoardFromSettings(machine.Config())),
          mPart(biosFlash.Chip().bus == FlashBus::kSpi
                    ? std::make_unique<SpiFlash>(biosFlash, machine.Clock(), machine.Config())
                    : nullptr),
          mSpi(mBoard.spiLayout, mPart.get(), machine.Log(), machine.Config()),
          mRegisters(machine.Memory(), RangeOf(machine), mSpi, mBoard.straps),
          mBridge(machine.Pci(), RangeOf(machine), mRegisters, machine.Log(), mBoard,
                  machine.Config().GetFlag("chipset.bios_lock", false)) {
        machine.Pci().Add({0, 0, 0}, kIntel, kHostBridge);
    }

    std::string Name() const override { return "chipset"; }

    void SaveState(const std::filesystem::path& dir) const override {
        Settings state;
        state.Set("lpc", Hex(mBridge.Registers()));
        state.Set("gcs", std::to_string(mRegisters.Gcs()));
        state.Set("buc", std::to_string(mRegisters.Buc()));
        state.Set("spi", Hex(mSpi.Bytes()));
        if (mPart) state.Set("spi.part_status", std::to_string(mPart->KeptStatus()));
        state.Save(dir / kStateFile);
    }

    void LoadState(const std::filesystem::path& dir) override {
        Settings state;
        if (!state.Load(dir / kStateFile)) return;
        if (const auto lpc = Unhex(state.Get("lpc", ""))) {
            std::array<std::uint8_t, LpcBridge::kConfigBytes - LpcBridge::kFirstChipsetRegister>
                registers{};
            if (lpc->size() == registers.size()) {
                std::copy(lpc->begin(), lpc->end(), registers.begin());
                mBridge.Restore(registers);
            }
        }
        mRegisters.Restore(static_cast<std::uint32_t>(state.GetNumber("gcs", mRegisters.Gcs())),
                           static_cast<std::uint8_t>(state.GetNumber("buc", mRegisters.Buc())));
        if (const auto spi = Unhex(state.Get("spi", ""))) mSpi.Restore(*spi);
        if (mPart && state.Has("spi.part_status")) {
            mPart->RestoreStatus(static_cast<std::uint8_t>(state.GetNumber("spi.part_status", 0)));
        }
    }

    void Describe(std::ostream& out) const override {
        out << "chipset: board " << mBoard.name << ", BIOS part " << mBoard.chip.name << ", GCS 0x"
            << std::hex << mRegisters.Gcs() << ", BUC 0x" << +mRegisters.Buc();
        if (mPart) out << ", SPI status 0x" << +mPart->Status();
        out << std::dec << "\n";
    }

  private:
    Board mBoard;
    std::unique_ptr<SpiFlash> mPart;
    SpiController mSpi;
    RootComplexRegisters mRegisters;
    LpcBridge mBridge;
};

}  // namespace

void AddChipset(Machine& machine, FlashPart& biosFlash) {
    machine.Add<Chipset>(biosFlash);
}

}  // namespace sim
