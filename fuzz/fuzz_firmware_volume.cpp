// A boot firmware volume from a flash that cannot be trusted: either the
// input's bytes as they stand, or a well-formed volume of the simulated
// BIOS with the input's bytes written over it (so that the walk reaches the
// tables file and the tables' checks). The library must refuse what it
// cannot use without reading past the bytes, and what it accepts must lie
// inside them.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "rask/flash_layer.h"
#include "sim/firmware/firmware_volume.h"
#include "sim/firmware/flash_tables.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes& WellFormedVolume() {
    static const Bytes volume = [] {
        sim::FlashTables tables;
        tables.segments = {{1, 2, 0xFFF00000, 0xFFFBFFFF}, {3, 1, 0xFFFE0000, 0xFFFFFFFF}};
        tables.areas = {sim::FlashArea::Blocks(1, "Main BIOS", "V", 1, 0xFFF00000, 0x20000),
                        sim::FlashArea::Blocks(4, "Boot Block", "V", 3, 0xFFFE0000, 0x20000)};
        sim::FlashNotifyTable fnt;
        fnt.notifyLength = 16;
        fnt.dataAddr = 0xFFFC0010;
        tables.notify = fnt;
        return sim::FirmwareVolumeBuilder(0x10000)
            .RawSectionFile(sim::Guid::Parse(sim::kTablesFileGuid), sim::TablesSectionBytes(tables))
            .Build();
    }();
    return volume;
}

// The volume to check: first byte bit 0 picks the form; the rest is the
// volume itself, or (offset, offset, value) triples written over the
// well-formed one.
Bytes VolumeOf(const std::uint8_t* data, std::size_t size) {
    if ((data[0] & 1) == 0) return Bytes(data + 1, data + size);
    Bytes volume = WellFormedVolume();
    for (std::size_t i = 1; i + 2 < size; i += 3) {
        volume[(data[i] | (data[i + 1] << 8)) % volume.size()] = data[i + 2];
    }
    return volume;
}

// What the walk accepted must hold together inside the bytes.
void CheckAccepted(const Bytes& volume, const Rask_Private::FlashDesc& desc, std::uint32_t fnt,
                   std::uint32_t fst, std::uint32_t fat) {
    const auto inside = [&](std::uint64_t at, std::uint64_t bytes) {
        return at <= volume.size() && bytes <= volume.size() - at;
    };
    if (!inside(fst, desc.FstRegion.bytes)) std::abort();
    if (fnt != 0 && !inside(fnt, FlshNotifyTblSize)) std::abort();
    if (Rask_Private::bFoundFAT) {
        if (!inside(fat, desc.FatRegion.bytes)) std::abort();
        if (Rask_Private::VerifyFlashAreaTable(volume.data() + fat, desc.FatRegion.bytes) !=
            Rask_Private::FUL_SUCCESS) {
            std::abort();
        }
    }
    Rask_Private::VerifyFlashSegmentTable(volume.data() + fst, desc.FstRegion.bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // Bit 1: a platform with a notify table (0) or one without (11).
    Rask_Private::g_lbPlatform = (data[0] & 2) ? 11 : 0;
    const Bytes volume = VolumeOf(data, size);

    Rask_Private::FlashDesc desc;
    std::uint32_t fnt = 0;
    std::uint32_t fst = 0;
    std::uint32_t fat = 0;
    if (Rask_Private::ValidateFirmwareBootVolume(&desc, volume.data(), volume.size(), &fnt, &fst,
                                                 &fat) == Rask_Private::FUL_SUCCESS) {
        CheckAccepted(volume, desc, fnt, fst, fat);
    }

    // Each check over the bytes as if a table began at their start.
    Rask_Private::VerifyFlashSegmentTable(volume.data(), volume.size());
    Rask_Private::VerifyFlashAreaTable(volume.data(), volume.size());
    Rask_Private::VerifyFlashNotifyTable(volume.data(), volume.size());
    for (const int kind :
         {Rask_Private::kNotifyTable, Rask_Private::kSegmentTable, Rask_Private::kAreaTable}) {
        std::size_t offset = 0;
        if (Rask_Private::GetFlashTable(kind, volume.data(), volume.size(), &offset) ==
                Rask_Private::FUL_SUCCESS &&
            offset + 8 > volume.size()) {
            std::abort();
        }
    }
    Rask_Private::ResetFlashLayerState();
    return 0;
}
