#include "sim/bios/bios_flash_config.h"

#include <stdexcept>

#include "sim/chipset/board.h"
#include "sim/core/setting_lists.h"

namespace sim {

namespace {

constexpr std::uint32_t kKiB = 1024;
constexpr std::uint64_t kMaxWord = 0xFFFF;
constexpr std::uint64_t kMaxDword = 0xFFFFFFFF;
constexpr std::uint32_t kFlashInfoBytes = 16;
constexpr std::uint32_t kTableHeaderBytes = 4;  // BlockTable: count, boot-block count
constexpr std::uint32_t kTableEntryBytes = 8;
// The anchor's signature must lie inside the F0000h segment.
constexpr std::uint64_t kMaxAnchorOffset = 0x10000 - 4;
constexpr std::uint8_t kDeviceError = 0x08;

std::uint32_t Dword(const std::string& key, const std::string& text) {
    return static_cast<std::uint32_t>(SettingNumber(key, text, kMaxDword));
}

BiosFlashLayout LayoutFrom(const Settings& settings) {
    // The ROM is the board's part unless a test asks for another size.
    const auto romKb = SettingNumber(settings, "bios.rom_kb",
                                     BoardFromSettings(settings).chip.sizeBytes / kKiB, kMaxWord);
    const auto blockKb = SettingNumber(settings, "bios.block_kb", 64, kMaxWord);
    const auto bootBlocks = SettingNumber(settings, "bios.boot_blocks", 1, kMaxWord);
    BiosFlashLayout layout = BiosFlashLayout::Uniform(static_cast<std::uint32_t>(romKb * kKiB),
                                                      static_cast<std::uint32_t>(blockKb * kKiB),
                                                      static_cast<unsigned>(bootBlocks));

    const std::string blocksKey = "bios.blocks";
    if (settings.Has(blocksKey)) {
        layout.blocks.clear();
        layout.nvram.clear();
        for (const SettingItem& item : SettingItems(settings, blocksKey)) {
            if (item.size() != 2) throw std::invalid_argument(blocksKey + ": expected ADDR:SIZE");
            layout.blocks.push_back({Dword(blocksKey, item[0]), Dword(blocksKey, item[1])});
        }
    }
    const std::string nvramKey = "bios.nvram";
    if (settings.Has(nvramKey)) {
        layout.nvram.clear();
        for (const SettingItem& item : SettingItems(settings, nvramKey)) {
            if (item.size() != 1) throw std::invalid_argument(nvramKey + ": expected ADDR,...");
            layout.nvram.push_back(Dword(nvramKey, item[0]));
        }
    }
    if (layout.blocks.size() > kMaxWord || layout.nvram.size() > kMaxWord) {
        throw std::invalid_argument("bios.blocks: a table holds at most 65535 entries");
    }
    return layout;
}

std::vector<FlashFault> FaultsFrom(const Settings& settings, const std::string& key,
                                   std::uint32_t fallback, std::uint64_t max) {
    std::vector<FlashFault> faults;
    for (const SettingItem& item : SettingItems(settings, key)) {
        if (item.size() > 2) throw std::invalid_argument(key + ": expected ADDR[:VALUE],...");
        faults.push_back(
            {Dword(key, item[0]), item.size() == 2
                                      ? static_cast<std::uint32_t>(SettingNumber(key, item[1], max))
                                      : fallback});
    }
    return faults;
}

template <class T>
T Number(const Settings& settings, const std::string& key, T fallback, std::uint64_t max) {
    return static_cast<T>(SettingNumber(settings, key, fallback, max));
}

}  // namespace

BiosFlashConfig BiosFlashConfig::FromSettings(const Settings& settings) {
    BiosFlashConfig config;
    config.layout = LayoutFrom(settings);

    config.romId = settings.Get("bios.rom_id", kDefaultRomId);
    if (config.romId.size() > 8) {
        throw std::invalid_argument("bios.rom_id: a ROM ID has at most 8 characters");
    }
    config.romId.resize(8, ' ');

    config.anchor = settings.GetFlag("bios.anchor", true);
    config.anchorOffset =
        Number(settings, "bios.anchor_offset", config.anchorOffset, kMaxAnchorOffset);
    config.requestDistance =
        Number(settings, "bios.request_distance", config.requestDistance, 0xFF);
    config.infoSegment = Number(settings, "bios.info_segment", config.infoSegment, kMaxWord);
    config.infoPointer = Number(settings, "bios.info_pointer", config.infoPointer, kMaxWord);
    config.flashInfo = Number(settings, "bios.flash_info", config.flashInfo, kMaxWord);
    config.blockTable = Number(settings, "bios.block_table", config.blockTable, kMaxWord);
    config.nvramTable = Number(settings, "bios.nvram_table", config.nvramTable, kMaxWord);
    config.smiPort = Number(settings, "bios.smi_port", config.smiPort, kMaxWord);
    config.openStatus = Number(settings, "bios.open_status", config.openStatus, 0xFF);
    config.closeStatus = Number(settings, "bios.close_status", config.closeStatus, 0xFF);

    BiosFlashFaults& faults = config.faults;
    faults.read = FaultsFrom(settings, "bios.fault.read", kDeviceError, 0xFF);
    faults.readChecksum = FaultsFrom(settings, "bios.fault.read_checksum", 1, kMaxDword);
    faults.erase = FaultsFrom(settings, "bios.fault.erase", kDeviceError, 0xFF);
    faults.write = FaultsFrom(settings, "bios.fault.write", kDeviceError, 0xFF);
    faults.stuckBits = FaultsFrom(settings, "bios.fault.stuck_bits", 0x01, 0xFF);
    constexpr std::uint32_t kSigint = 2;
    constexpr std::uint64_t kLastSignal = 64;
    faults.signal = FaultsFrom(settings, "bios.fault.signal", kSigint, kLastSignal);

    // Placing the tables checks that they fit the segment.
    config.NvramTableOffset();
    return config;
}

std::uint16_t BiosFlashConfig::BlockTableOffset() const {
    if (blockTable != 0) return blockTable;
    const std::uint32_t offset = std::uint32_t{flashInfo} + kFlashInfoBytes;
    if (offset > kMaxWord) {
        throw std::invalid_argument("bios.flash_info: no room for the BlockTable after FlashInfo");
    }
    return static_cast<std::uint16_t>(offset);
}

std::uint16_t BiosFlashConfig::NvramTableOffset() const {
    if (nvramTable != 0) return nvramTable;
    const std::uint32_t end = BlockTableOffset() + kTableHeaderBytes +
                              kTableEntryBytes * static_cast<std::uint32_t>(layout.blocks.size());
    const std::uint32_t offset = (end + 15) / 16 * 16;
    if (offset > kMaxWord) {
        throw std::invalid_argument(
            "bios.blocks: the NvramTable does not fit in the information segment after the "
            "BlockTable (set bios.nvram_table)");
    }
    return static_cast<std::uint16_t>(offset);
}

}  // namespace sim
