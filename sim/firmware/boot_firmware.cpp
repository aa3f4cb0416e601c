#include "sim/firmware/boot_firmware.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <stdexcept>
#include <utility>

#include "sim/bios/rom_image_builder.h"
#include "sim/bios/software_smi.h"
#include "sim/chipset/board.h"
#include "sim/core/setting_lists.h"
#include "sim/firmware/board_tables.h"
#include "sim/firmware/firmware_volume.h"
#include "sim/firmware/little_endian.h"

namespace sim {

namespace {

constexpr std::uint64_t k4G = 0x100000000;
constexpr std::uint32_t kSmallestPartWithTables = 0x80000;
constexpr std::uint32_t kUnalignedShift = 0x1000;
constexpr std::uint32_t kRomIdBytes = 8;
// A file the BIOS keeps ahead of its tables (its flash update handler);
// its size is not a multiple of 8, so the tables file starts after a gap.
constexpr char kUpdateHandlerGuid[] = "4E1B7C3A-92D5-4F06-8A3E-C17D5B20F964";
constexpr std::uint32_t kUpdateHandlerBytes = 45;

const std::pair<NotifyState, std::string_view> kNotifyNames[] = {
    {NotifyState::kFresh, "fresh"},
    {NotifyState::kPending, "pending"},
    {NotifyState::kNone, "none"},
    {NotifyState::kUsedUp, "used-up"},
};

std::uint64_t BlockSetting(const Settings& settings, const std::string& key, std::uint64_t fallback,
                           std::uint64_t partBase) {
    const std::uint64_t value = SettingNumber(settings, key, fallback);
    if (value % BootFirmwareConfig::kBlockBytes != 0 || value < partBase ||
        value + BootFirmwareConfig::kBlockBytes > k4G) {
        throw std::invalid_argument(key + ": " + settings.Get(key, "") +
                                    " is not a 64 KB block of the BIOS part");
    }
    return value;
}

// The index of the first bit still 1, lowest byte and bit first.
std::optional<std::size_t> FirstSetBit(std::span<const std::uint8_t> field) {
    for (std::size_t i = 0; i < field.size(); ++i) {
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((field[i] >> bit & 1) != 0) return i * 8 + bit;
        }
    }
    return std::nullopt;
}

std::string PartRomId(const FlashArray& cells) {
    if (cells.Size() < RomImageBuilder::kRomIdFromEnd) return "";
    const auto id = cells.Bytes(cells.Size() - RomImageBuilder::kRomIdFromEnd, kRomIdBytes);
    std::string text(id.begin(), id.end());
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    return text;
}

}  // namespace

std::optional<NotifyState> NotifyStateByName(std::string_view name) {
    for (const auto& [state, stateName] : kNotifyNames) {
        if (stateName == name) return state;
    }
    return std::nullopt;
}

std::string_view NotifyStateName(NotifyState state) {
    for (const auto& [known, name] : kNotifyNames) {
        if (known == state) return name;
    }
    return "unknown";
}

BootFirmwareConfig BootFirmwareConfig::FromSettings(const Settings& settings,
                                                    const FlashChip& chip) {
    BootFirmwareConfig config;
    config.partBytes = chip.sizeBytes;
    config.partBase = k4G - chip.sizeBytes;
    config.tables = settings.GetFlag("firmware.tables", true) &&
                    chip.sizeBytes >= kSmallestPartWithTables && chip.sizeBytes % kBlockBytes == 0;
    const std::string faultName = settings.Get("firmware.fault", "none");
    const auto fault = TablesFaultByName(faultName);
    if (!fault) throw std::invalid_argument("firmware.fault: unknown fault " + faultName);
    config.fault = *fault;
    const std::string notifyName = settings.Get("firmware.notify", "fresh");
    const auto notify = NotifyStateByName(notifyName);
    if (!notify) throw std::invalid_argument("firmware.notify: unknown state " + notifyName);
    config.notify = *notify;
    const std::uint64_t notifyBytes = SettingNumber(settings, "firmware.notify_bytes", 16);
    if (notifyBytes == 0 || notifyBytes > kBlockBytes - kNotifyFieldOffset) {
        throw std::invalid_argument("firmware.notify_bytes: " + std::to_string(notifyBytes) +
                                    " does not fit the flags block");
    }
    config.notifyBytes = static_cast<std::uint16_t>(notifyBytes);
    // The BIOS of a board that boots from SPI keeps no notify field in its
    // tables; on the newer chipsets (the ICH9 layout) it takes the notice
    // through its SMI instead.
    const Board board = BoardFromSettings(settings);
    const bool spiBoard = board.straps == BootStraps::kSpi;
    config.notifyTable = settings.GetFlag("firmware.notify_table", !spiBoard);
    config.notifySmi =
        settings.GetFlag("firmware.notify_smi", spiBoard && board.spiLayout == SpiLayout::kIch9);
    if (config.tables) {
        const std::uint64_t top = config.partBase + config.partBytes;
        config.volume =
            BlockSetting(settings, "firmware.volume", top - 3 * kBlockBytes, config.partBase);
        config.flagsBlock =
            BlockSetting(settings, "firmware.flags_block", top - 4 * kBlockBytes, config.partBase);
        if (config.volume == config.flagsBlock) {
            throw std::invalid_argument(
                "firmware.volume and firmware.flags_block: the volume and the flags block "
                "share a block");
        }
    }
    return config;
}

FlashTables BootFirmwareTables(const BootFirmwareConfig& config) {
    BoardTablesPlan plan;
    plan.partBase = config.partBase;
    plan.partBytes = config.partBytes;
    plan.flagsBlock = std::min(config.volume, config.flagsBlock);
    plan.romId = config.romId;
    if (config.notifyTable) {
        FlashNotifyTable notify;
        notify.notifyLength = config.notifyBytes;
        notify.dataAddr = config.NotifyField();
        plan.notify = notify;
    }
    return BoardFlashTables(plan);
}

std::vector<std::uint8_t> BootFirmwareVolumeBlock(const BootFirmwareConfig& config) {
    const bool unaligned = config.fault == TablesFault::kVolumeUnaligned;
    const std::uint32_t shift = unaligned ? kUnalignedShift : 0;
    FirmwareVolumeBuilder builder(BootFirmwareConfig::kBlockBytes - shift,
                                  unaligned ? kUnalignedShift : BootFirmwareConfig::kBlockBytes);
    std::vector<std::uint8_t> handler(kUpdateHandlerBytes);
    for (std::uint32_t i = 0; i < handler.size(); ++i) {
        handler[i] = static_cast<std::uint8_t>(0x90 + 7 * i);
    }
    builder.RawSectionFile(Guid::Parse(kUpdateHandlerGuid), handler);
    if (config.fault != TablesFault::kNoTablesFile) {
        builder.RawSectionFile(Guid::Parse(kTablesFileGuid),
                               TablesSectionBytes(BootFirmwareTables(config), config.fault));
    }
    if (config.fault == TablesFault::kWrongFileSystem) {
        builder.FileSystem(Guid::Parse(kFirmwareFileSystem2Guid));
    }
    if (config.fault == TablesFault::kFvhMisplaced) builder.SignatureInZeroVector();
    if (config.fault == TablesFault::kBadHeaderChecksum) builder.BadHeaderChecksum();
    if (config.fault == TablesFault::kBadFileChecksum) builder.BadFileChecksum();
    std::vector<std::uint8_t> block(shift, 0xFF);
    const std::vector<std::uint8_t> volume = builder.Build();
    block.insert(block.end(), volume.begin(), volume.end());
    return block;
}

std::vector<std::uint8_t> NotifyFieldBytes(NotifyState state, std::uint16_t length) {
    std::vector<std::uint8_t> field(length, 0xFF);
    if (field.empty()) return field;
    switch (state) {
        case NotifyState::kFresh:
            break;
        case NotifyState::kPending:
            field[0] = 0xFE;
            break;
        case NotifyState::kNone:
            field[0] = 0xFC;
            break;
        case NotifyState::kUsedUp:
            std::fill(field.begin(), field.end(), 0x00);
            break;
    }
    return field;
}

NotifyState ReadNotifyState(std::span<const std::uint8_t> field) {
    const auto bit = FirstSetBit(field);
    if (!bit) return NotifyState::kUsedUp;
    if (*bit % 2 == 1) return NotifyState::kPending;
    return *bit == 0 ? NotifyState::kFresh : NotifyState::kNone;
}

std::vector<std::uint8_t> FlagsBlockBytes(const BootFirmwareConfig& config) {
    std::vector<std::uint8_t> block(BootFirmwareConfig::kBlockBytes, 0xFF);
    le::PutText(block, 0, BootFirmwareConfig::kFlagsSignature, 8);
    const auto field = NotifyFieldBytes(config.notify, config.notifyBytes);
    std::copy(field.begin(), field.end(), block.begin() + BootFirmwareConfig::kNotifyFieldOffset);
    return block;
}

void ReplaceCells(FlashArray& cells, const BootFirmwareConfig& config, std::uint64_t physical,
                  std::span<const std::uint8_t> bytes) {
    const std::uint64_t offset = config.CellOffset(physical);
    if (physical < config.partBase || offset > cells.Size() ||
        bytes.size() > cells.Size() - offset) {
        throw std::out_of_range("cells at " + std::to_string(physical) + " outside the part");
    }
    cells.Erase(offset, bytes.size());
    cells.Program(offset, bytes);
}

void LayBootFirmware(FlashArray& cells, const BootFirmwareConfig& config) {
    if (!config.tables) return;
    ReplaceCells(cells, config, config.volume, BootFirmwareVolumeBlock(config));
    ReplaceCells(cells, config, config.flagsBlock, FlagsBlockBytes(config));
}

BootFirmware::BootFirmware(Machine& machine, FlashPart& biosFlash, BootFirmwareConfig config)
    : mMachine(machine), mFlash(biosFlash), mConfig(std::move(config)) {
    if (mConfig.notifySmi) {
        SoftwareSmiPort::At(machine, kSmiPort).Serve(kNotifySmi, [this](std::uint8_t) {
            RecordPendingUpdate();
        });
    }
}

std::vector<std::uint8_t> BootFirmware::NotifyField() const {
    if (!mConfig.tables) return {};
    const auto field =
        mFlash.Cells().Bytes(mConfig.CellOffset(mConfig.NotifyField()), mConfig.notifyBytes);
    return {field.begin(), field.end()};
}

void BootFirmware::RecordPendingUpdate() {
    RequestLog& log = mMachine.Log();
    if (!mConfig.tables) {
        log.Add({"firmware", "notify", 0, 0, 0, "no-flags-block"});
        return;
    }
    FlashArray& cells = mFlash.Cells();
    std::optional<std::size_t> bit = FirstSetBit(NotifyField());
    if (bit && *bit % 2 == 1) {
        log.Add({"firmware", "notify", mConfig.flagsBlock, *bit, 0, "already-pending"});
        return;
    }
    if (!bit) {
        // Used up: the BIOS saves the block, erases it and writes it back
        // with a fresh field, then goes on as with a fresh one.
        const auto kept =
            cells.Bytes(mConfig.CellOffset(mConfig.flagsBlock), BootFirmwareConfig::kBlockBytes);
        std::vector<std::uint8_t> saved(kept.begin(), kept.end());
        std::fill_n(saved.begin() + BootFirmwareConfig::kNotifyFieldOffset, mConfig.notifyBytes,
                    0xFF);
        ReplaceCells(cells, mConfig, mConfig.flagsBlock, saved);
        log.Add({"firmware", "notify", mConfig.flagsBlock, 0, 0, "restored"});
        bit = 0;
    }
    const std::uint64_t byte = mConfig.CellOffset(mConfig.NotifyField()) + *bit / 8;
    const std::array<std::uint8_t, 1> cleared{
        static_cast<std::uint8_t>(~(1u << (*bit % 8)) & 0xFF)};
    cells.Program(byte, cleared);
    log.Add({"firmware", "notify", mConfig.flagsBlock, *bit, 0, "pending"});
}

void BootFirmware::Describe(std::ostream& out) const {
    if (!mConfig.tables) {
        out << "boot firmware: no flash tables\n";
        return;
    }
    out << std::hex << std::uppercase << "boot firmware: volume at " << mConfig.volume
        << "h, flags block at " << mConfig.flagsBlock << "h, notify field "
        << NotifyStateName(ReadNotifyState(NotifyField())) << std::dec << "\n";
}

void AddBootFirmware(Machine& machine, FlashPart& biosFlash) {
    BootFirmwareConfig config =
        BootFirmwareConfig::FromSettings(machine.Config(), biosFlash.Chip());
    config.romId = PartRomId(biosFlash.Cells());
    LayBootFirmware(biosFlash.Cells(), config);
    machine.Add<BootFirmware>(biosFlash, std::move(config));
}

}  // namespace sim
