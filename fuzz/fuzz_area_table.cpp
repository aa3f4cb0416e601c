// An area table a host passes in, against a fixed Flash Segment Table:
// either the input's bytes, or a well-formed table with the input's bytes
// written over it. The host's buffer holds what its Size says (the library
// cannot know more), so the harness makes it so; the checks must stay
// inside Size, and a table the write check takes must be one the read
// check takes too.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "rask/flash_layer.h"
#include "sim/firmware/flash_tables.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes& SegmentTable() {
    static const Bytes fst = sim::SegmentTableBytes({{1, 2, 0xFFF00000, 0xFFFBFFFF},
                                                     {2, 2, 0xFFFC0000, 0xFFFDFFFF},
                                                     {3, 1, 0xFFFE0000, 0xFFFFFFFF}});
    return fst;
}

const Bytes& WellFormedTable() {
    static const Bytes fat =
        sim::AreaTableBytes({sim::FlashArea::Blocks(1, "Main BIOS", "V", 1, 0xFFF00000, 0x18000),
                             sim::FlashArea::Blocks(4, "Boot Block", "V", 3, 0xFFFE0000, 0x20000)});
    return fat;
}

Bytes TableOf(const std::uint8_t* data, std::size_t size) {
    Bytes table;
    if ((data[0] & 1) == 0) {
        table.assign(data + 1, data + size);
    } else {
        table = WellFormedTable();
        for (std::size_t i = 1; i + 2 < size; i += 3) {
            table[(data[i] | (data[i + 1] << 8)) % table.size()] = data[i + 2];
        }
    }
    // The header the library reads to learn Size, and a Size the buffer
    // holds: one claiming more is cut to the buffer.
    if (table.size() < sizeof(FLASH_AREA_TABLE)) table.resize(sizeof(FLASH_AREA_TABLE), 0);
    std::uint32_t tableSize = 0;
    std::memcpy(&tableSize, table.data() + 28, sizeof tableSize);
    if (tableSize > table.size()) {
        tableSize = static_cast<std::uint32_t>(table.size());
        std::memcpy(table.data() + 28, &tableSize, sizeof tableSize);
    }
    return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Bytes table = TableOf(data, size);
    // Exactly Size bytes on the heap, so that a read past them is caught.
    std::uint32_t tableSize = 0;
    std::memcpy(&tableSize, table.data() + 28, sizeof tableSize);
    const Bytes host(table.begin(), table.begin() + std::max<std::size_t>(tableSize, 36));
    const auto* area = reinterpret_cast<const FLASH_AREA_TABLE*>(host.data());

    const auto read = Rask_Private::VerifyFATForRd(area, SegmentTable());
    for (const int platform : {0, 11}) {
        Rask_Private::g_lbPlatform = platform;
        const auto write = Rask_Private::VerifyFATForWr(area, SegmentTable());
        if (write == Rask_Private::FUL_SUCCESS && read != Rask_Private::FUL_SUCCESS) std::abort();
    }
    Rask_Private::ResetFlashLayerState();
    return 0;
}
