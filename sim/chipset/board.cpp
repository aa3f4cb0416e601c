#include "sim/chipset/board.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim {

namespace {

constexpr std::uint32_t kKiB = 1024;
constexpr std::uint64_t kRcbaAlignment = 0x4000;  // RCBA bits 13:1 are reserved
constexpr std::uint64_t kMaxRcba = 0xFFFFC000;

struct BoardPreset {
    const char* name;
    const char* chip;
    BootStraps straps;
    SpiLayout layout;
};

constexpr std::array kPresets = {
    BoardPreset{"fwh", "82802AC", BootStraps::kLpc, SpiLayout::kIch7},
    BoardPreset{"word16", "28F320C3B", BootStraps::kLpc, SpiLayout::kIch7},
    BoardPreset{"ich7-spi", "SST25VF016B", BootStraps::kSpi, SpiLayout::kIch7},
    BoardPreset{"ich7-spi-intel", "25F160S33", BootStraps::kSpi, SpiLayout::kIch7},
    BoardPreset{"ich9-spi", "AT25DF321", BootStraps::kSpi, SpiLayout::kIch9},
    BoardPreset{"pch-spi", "25F640S33", BootStraps::kSpi, SpiLayout::kIch9},
    BoardPreset{"pch-spi-unknown", "W25Q64.V", BootStraps::kSpi, SpiLayout::kIch9},
};

const BoardPreset& PresetNamed(const std::string& name) {
    const auto found = std::find_if(kPresets.begin(), kPresets.end(),
                                    [&](const BoardPreset& preset) { return name == preset.name; });
    if (found == kPresets.end()) {
        std::string known;
        for (const BoardPreset& preset : kPresets)
            known += std::string(known.empty() ? "" : ", ") + preset.name;
        throw std::invalid_argument("board: no board named \"" + name + "\" (boards: " + known +
                                    ")");
    }
    return *found;
}

const FlashChip& ChipNamed(const std::string& key, const std::string& name) {
    const FlashChip* chip = FindFlashChipNamed(name);
    if (chip == nullptr)
        throw std::invalid_argument(key + ": no flash part named \"" + name + "\"");
    return *chip;
}

BootStraps StrapsFrom(const Settings& settings, BootStraps fallback) {
    const std::string key = "chipset.straps";
    if (!settings.Has(key)) return fallback;
    const std::string value = settings.Get(key, "");
    if (value == "lpc") return BootStraps::kLpc;
    if (value == "spi") return BootStraps::kSpi;
    if (value == "pci") return BootStraps::kPci;
    throw std::invalid_argument(key + ": \"" + value + "\" is not lpc, spi or pci");
}

SpiLayout LayoutFrom(const Settings& settings, SpiLayout fallback) {
    const std::string key = "chipset.spi_layout";
    if (!settings.Has(key)) return fallback;
    const std::string value = settings.Get(key, "");
    if (value == "ich7") return SpiLayout::kIch7;
    if (value == "ich9") return SpiLayout::kIch9;
    throw std::invalid_argument(key + ": \"" + value + "\" is not ich7 or ich9");
}

// The part: named, the board's, or (a ROM size given alone, as the boards
// before the chipset was modelled were described) the board's own part when
// it is of that size, else the first listed part of that size.
FlashChip ChipFrom(const Settings& settings, const BoardPreset& preset) {
    const bool named = settings.Has("bios.chip");
    const bool picked = named || settings.Has("board");
    if (!picked && settings.Has("bios.rom_kb")) {
        const auto romBytes =
            static_cast<std::uint32_t>(SettingNumber(settings, "bios.rom_kb", 0, 0xFFFF) * kKiB);
        FlashChip own = ChipNamed("board", preset.chip);
        return own.sizeBytes == romBytes ? own : BoardFlashChip(romBytes);
    }
    FlashChip chip = named ? ChipNamed("bios.chip", settings.Get("bios.chip", ""))
                           : ChipNamed("board", preset.chip);
    if (settings.Has("bios.rom_kb")) {
        const std::uint64_t romKb = SettingNumber(settings, "bios.rom_kb", 0, 0xFFFF);
        if (romKb * kKiB != chip.sizeBytes) {
            throw std::invalid_argument("bios.rom_kb: " + std::to_string(romKb) + " KB, but the " +
                                        std::string(chip.name) + " holds " +
                                        std::to_string(chip.sizeBytes / kKiB) + " KB");
        }
    }
    return chip;
}

// A flag of the chipset's: a value that is no flag is refused rather than
// taken as the default, so nobody runs a board they did not describe.
bool Flag(const Settings& settings, const std::string& key, bool fallback) {
    if (!settings.Has(key)) return fallback;
    const bool on = settings.GetFlag(key, true);
    if (on != settings.GetFlag(key, false)) {
        throw std::invalid_argument(key + ": \"" + settings.Get(key, "") + "\" is not 0 or 1");
    }
    return on;
}

}  // namespace

const FlashChip* FindFlashChipNamed(const std::string& name) {
    const auto chips = FlashChips();
    const auto found = std::find_if(chips.begin(), chips.end(),
                                    [&](const FlashChip& chip) { return chip.name == name; });
    return found == chips.end() ? nullptr : &*found;
}

Board BoardFromSettings(const Settings& settings) {
    const BoardPreset& preset = PresetNamed(settings.Get("board", "fwh"));
    Board board;
    board.name = preset.name;
    board.chip = ChipFrom(settings, preset);
    board.straps = StrapsFrom(settings, preset.straps);
    board.spiLayout = LayoutFrom(settings, preset.layout);
    board.olderBridge = preset.straps == BootStraps::kLpc;
    const std::uint64_t rcba = SettingNumber(settings, "chipset.rcba", board.rcba, kMaxRcba);
    if (rcba % kRcbaAlignment != 0) {
        throw std::invalid_argument("chipset.rcba: the block lies on a 16 KB boundary");
    }
    board.rcba = static_cast<std::uint32_t>(rcba);
    board.rcbaEnabled = Flag(settings, "chipset.rcba_enabled", true);
    board.biosLock = Flag(settings, "chipset.bios_lock", false);
    board.spiLockdown = Flag(settings, "chipset.spi_lockdown", false);
    return board;
}

}  // namespace sim
