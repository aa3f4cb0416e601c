#include "sim/chipset/chipset.h"

#include <memory>
#include <optional>
#include <ostream>
#include <span>
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

// The SPI part, when the board's BIOS part sits on the SPI bus; its
// settings are checked on every board.
std::unique_ptr<SpiFlash> PartOnTheSpiBus(Machine& machine, FlashPart& biosFlash) {
    const SpiFlashSettings settings = SpiFlashSettings::FromSettings(machine.Config());
    // A part without cells (a broken board a test asks for) answers nothing.
    if (biosFlash.Chip().bus != FlashBus::kSpi || biosFlash.Chip().sizeBytes == 0) return nullptr;
    return std::make_unique<SpiFlash>(biosFlash, machine.Clock(), settings);
}

// The chipset as one device of the machine: its pieces hold references to
// each other, and it keeps their registers in one state file.
class Chipset : public Device {
  public:
    Chipset(Machine& machine, FlashPart& biosFlash)
        : mBoard(BoardFromSettings(machine.Config())),
          mPart(PartOnTheSpiBus(machine, biosFlash)),
          mSpi(mBoard.spiLayout, mPart.get(), machine.Log(), machine.Config(), mBoard.spiLockdown),
          mRegisters(machine.Memory(), RangeOf(machine), mSpi, mBoard.straps),
          mBridge(machine.Pci(), RangeOf(machine), mRegisters, machine.Log(), mBoard) {
        machine.Pci().Add({0, 0, 0}, kIntel, kHostBridge);
    }

    std::string Name() const override { return "chipset"; }

    void SaveState(const std::filesystem::path& dir) const override {
        Settings state;
        state.Set("board", Signature());
        state.Set("lpc", Hex(mBridge.Registers()));
        state.Set("gcs", std::to_string(mRegisters.Gcs()));
        state.Set("buc", std::to_string(mRegisters.Buc()));
        state.Set("spi", Hex(mSpi.Bytes()));
        if (mPart) state.Set("spi.part_status", std::to_string(mPart->KeptStatus()));
        state.Save(dir / kStateFile);
    }

    void LoadState(const std::filesystem::path& dir) override {
        Settings state;
        // Registers of another board (its settings changed since) are not
        // this one's: it starts as its BIOS leaves it.
        if (!state.Load(dir / kStateFile) || state.Get("board", "") != Signature()) return;
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

    // What the chipset is and how a program left it: the board, BIOS
    // control, the straps and top swap, the SPI menu and the part's status.
    void Describe(std::ostream& out) const override {
        const SpiRegisterLayout& spi = mSpi.Layout();
        const auto& bytes = mSpi.Bytes();
        const auto byte = [&](std::uint32_t offset) { return Hex(std::span(&bytes[offset], 1)); };
        const auto word = [&](std::uint32_t offset) {
            return byte(offset + 1) + byte(offset);  // little-endian, shown high byte first
        };
        const auto registers = mBridge.Registers();
        const std::uint8_t control =
            registers[LpcBridge::kBiosControl - LpcBridge::kFirstChipsetRegister];
        out << "chipset: board " << mBoard.name << ", BIOS part " << mBoard.chip.name << "\n";
        out << "  BIOS control " << Hex(std::span(&control, 1)) << "h (write enable "
            << ((control & 1) != 0 ? "on" : "off") << ", lock "
            << ((control & 2) != 0 ? "on" : "off") << "), GCS straps "
            << ((mRegisters.Gcs() >> 10) & 3) << ", top swap "
            << ((mRegisters.Buc() & 1) != 0 ? "on" : "off") << "\n";
        out << "  SPI at RCBA + " << std::hex << spi.blockOffset << std::dec << "h: PREOP "
            << byte(spi.preop) << "h " << byte(spi.preop + 1) << "h, OPTYPE " << word(spi.optype)
            << "h, OPMENU " << Hex(std::span(&bytes[spi.opmenu], 8)) << ", "
            << ((bytes[spi.lockByte] & 0x80) != 0 ? "locked" : "unlocked") << "\n";
        if (mPart) {
            const std::uint8_t status = mPart->Status();
            out << "  SPI part status " << Hex(std::span(&status, 1)) << "h\n";
        }
    }

  private:
    // What the BIOS set up at POST, as the settings describe it.
    std::string Signature() const {
        return mBoard.name + " " + std::string(mBoard.chip.name) + " " +
               std::to_string(static_cast<int>(mBoard.straps)) + " " +
               std::to_string(static_cast<int>(mBoard.spiLayout)) + " " +
               std::to_string(mBoard.rcba) + " " + std::to_string(mBoard.rcbaEnabled) +
               std::to_string(mBoard.biosLock) + std::to_string(mBoard.spiLockdown);
    }

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
