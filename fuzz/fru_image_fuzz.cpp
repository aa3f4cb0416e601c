// Feeds arbitrary bytes to the FRU reader, once as the contents of a FRU
// device and once as the images of single areas and multi-records from a
// caller or a configuration file.
//
// What reads must rebuild to the very bytes it came from, and an edited FRU
// written back must read again to what was written. Any difference aborts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "bmc/debug_log.h"
#include "orvel/fru.h"
#include "orvel/orvel_status.h"

namespace {

using namespace Orvel_Private;
using Bytes = std::vector<std::uint8_t>;

void Check(bool holds) {
    if (!holds) std::abort();
}

Bytes Copy(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

FruReader DeviceOf(std::span<const std::uint8_t> device) {
    return [device](std::uint16_t offset, std::span<std::uint8_t> bytes) -> std::uint32_t {
        if (offset + bytes.size() > device.size()) return ORVEL_ERROR_READING_FRU;
        std::copy_n(device.begin() + offset, bytes.size(), bytes.begin());
        return ORVEL_SUCCESS;
    };
}

template <typename Area>
void ShowEveryField(Area& area) {
    for (std::uint32_t i = 0; i <= area.GetNumberOfFields(); ++i) {
        area.GetFieldTitleFromIndex(i);
        area.GetFieldValueFromIndex(i);
        if constexpr (requires { area.GetFieldData(i); }) area.GetFieldData(i);
    }
}

// An area that parses rebuilds to an image that parses to the same area.
template <typename Area>
void AreaRoundTrip(std::span<const std::uint8_t> data) {
    Area area;
    if (!area.SetData(data)) return;
    ShowEveryField(area);
    const Bytes image = Copy(area.GetData());
    Area again;
    Check(again.SetData(image));
    Check(Copy(again.GetData()) == image);
}

void MultiRecordRoundTrip(std::span<const std::uint8_t> data) {
    CFru fru;
    if (fru.SetMultiRecArea(data, true) != ORVEL_SUCCESS) return;
    Bytes serialized(data.size());
    std::uint32_t written = 0;
    Check(fru.SerializeMultiRecArea(serialized, written) == ORVEL_SUCCESS);
    Check(written == data.size() && std::ranges::equal(serialized, data));
}

struct Extent {
    std::size_t start;
    std::size_t end;
};

// Where the FRU's areas lie; an edit of one area can only be read back
// unchanged when no other area shares its bytes.
bool AreasAreApart(CFru& fru) {
    CFruHeader& header = fru.Header();
    std::vector<Extent> extents{{0, FRU_HEADER_LENGTH}};
    const auto add = [&extents](std::uint8_t offset, std::size_t length) {
        if (offset != 0)
            extents.push_back({offset * std::size_t{8}, offset * std::size_t{8} + length});
    };
    add(header.GetInternalUseOffset(), fru.GetInternalAreaLength());
    add(header.GetChassisOffset(), fru.ChassisInfoArea().GetLength());
    add(header.GetBoardOffset(), fru.BoardInfoArea().GetLength());
    add(header.GetProductOffset(), fru.ProductInfoArea().GetLength());
    add(header.GetMultiRecordOffset(), fru.GetMultiRecAreaLength());
    std::ranges::sort(extents, {}, &Extent::start);
    for (std::size_t i = 1; i < extents.size(); ++i) {
        if (extents[i].start < extents[i - 1].end) return false;
    }
    return true;
}

// Gives the area's first text field the longest value it takes.
template <typename Area>
void EditFirstTextField(Area& area, std::uint32_t index) {
    const auto current = area.GetFieldData(index);
    if (!current) return;
    const std::uint32_t length = std::min<std::uint32_t>(
        static_cast<std::uint32_t>(current->size()) + area.GetPadLength(), 63);
    if (length < 2) return;
    const Bytes value(length, 'Z');
    Check(area.SetFieldData(index, value.data(), length, FRU_FIELD_TYPE_TEXT));
}

void DeviceRoundTrip(std::span<const std::uint8_t> device) {
    CFru fru;
    if (fru.ReadFruFromSystem(DeviceOf(device)) != ORVEL_SUCCESS) return;
    ShowEveryField(fru.InternalUseArea());
    ShowEveryField(fru.ChassisInfoArea());
    ShowEveryField(fru.BoardInfoArea());
    ShowEveryField(fru.ProductInfoArea());
    Check(fru.CheckMultiRecCheckSum());

    // Written back over its own bytes, the FRU changes none of them.
    Bytes written = Copy(device);
    fru.SerializeFru(written);
    Check(written == Copy(device));

    if (!AreasAreApart(fru)) return;
    if (fru.HasChassisArea()) EditFirstTextField(fru.ChassisInfoArea(), 1);
    if (fru.HasBoardArea()) EditFirstTextField(fru.BoardInfoArea(), 1);
    if (fru.HasProductArea()) EditFirstTextField(fru.ProductInfoArea(), 0);
    fru.SerializeFru(written);
    CFru again;
    Check(again.ReadFruFromSystem(DeviceOf(written)) == ORVEL_SUCCESS);
    Check(Copy(again.ChassisInfoArea().GetData()) == Copy(fru.ChassisInfoArea().GetData()));
    Check(Copy(again.BoardInfoArea().GetData()) == Copy(fru.BoardInfoArea().GetData()));
    Check(Copy(again.ProductInfoArea().GetData()) == Copy(fru.ProductInfoArea().GetData()));
    Check(Copy(again.InternalUseArea().GetData()) == Copy(fru.InternalUseArea().GetData()));
    Check(again.GetMultiRecAreaLength() == fru.GetMultiRecAreaLength());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every refused input would add a line to the debug log.
    LIBDBG_DEBUG_LEVEL = 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    DeviceRoundTrip(bytes);
    AreaRoundTrip<CChassisInfoArea>(bytes);
    AreaRoundTrip<CBoardInfoArea>(bytes);
    AreaRoundTrip<CProductInfoArea>(bytes);
    MultiRecordRoundTrip(bytes);
    return 0;
}
