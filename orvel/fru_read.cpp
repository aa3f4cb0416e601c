// Reading a FRU from its storage. Every length the FRU's bytes give is
// checked before anything is read with it: an area is read only into a
// buffer that holds it, and the multi-record walk stops at the end of the
// 64 KB a device can address.
#include <algorithm>
#include <array>
#include <new>
#include <optional>

#include "bmc/trace.h"
#include "orvel/fru.h"
#include "orvel/fru_no_answer.h"
#include "orvel/last_error.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"

namespace Orvel_Private {

namespace {

constexpr const wchar_t* kClass = L"CFru";

struct AreaRead {
    std::uint32_t status = ORVEL_SUCCESS;  // of a failed read
    std::span<const std::uint8_t> bytes;
};

// An info area: its length byte first, then as many bytes as it says. A
// length byte the parser would refuse is not used to read anything: the
// two bytes read so far go to the parser, which refuses them.
AreaRead ReadInfoArea(const FruReader& read, std::uint8_t offsetUnits,
                      std::span<std::uint8_t, kMaxInfoAreaLength> buffer) {
    const auto offset = static_cast<std::uint16_t>(offsetUnits * kFruAreaUnit);
    const std::span<std::uint8_t> probe = buffer.first(2);
    if (const std::uint32_t status = read(offset, probe)) return {status, {}};
    const std::size_t length = probe[1] * std::size_t{kFruAreaUnit};
    if (length < probe.size() || length > buffer.size()) return {ORVEL_SUCCESS, probe};
    const std::span<std::uint8_t> area = buffer.first(length);
    if (const std::uint32_t status = read(offset, area)) return {status, {}};
    return {ORVEL_SUCCESS, area};
}

// The internal use area has no length of its own: it runs up to the nearest
// area that starts after it, whatever the order of the header's offsets.
// None when another area starts at the same offset, or when it would be
// longer than the 512 bytes the area holds: such an area is refused rather
// than cut, so that writing the FRU back cannot lose its tail. With no area
// after it, it runs to the end of the FRU (see GetInternalArea).
struct InternalUseExtent {
    std::size_t length;
    bool runsToEnd;  // no area after it: `length` is the most it may take
};
std::optional<InternalUseExtent> InternalUseLength(const CFruHeader& header) {
    const std::uint8_t start = header.GetInternalUseOffset();
    std::optional<std::uint8_t> next;
    for (const std::uint8_t offset : {header.GetChassisOffset(), header.GetBoardOffset(),
                                      header.GetProductOffset(), header.GetMultiRecordOffset()}) {
        if (offset == 0 || offset < start) continue;
        if (offset == start) return std::nullopt;
        next = std::min(offset, next.value_or(offset));
    }
    if (!next) return InternalUseExtent{kMaxInternalUseLength, true};
    const std::size_t length = (*next - start) * std::size_t{kFruAreaUnit};
    if (length > kMaxInternalUseLength) return std::nullopt;
    return InternalUseExtent{length, false};
}

// The last area of a FRU ends where the device does: the first 8-byte unit
// it will not read (the device answers "out of range"), at most the 512
// bytes the area holds. Writing it back writes only what was read, so a
// longer device keeps its tail.
std::size_t ReadToEnd(const FruReader& read, std::uint16_t offset, std::span<std::uint8_t> bytes) {
    std::size_t length = 0;
    while (length < bytes.size() && offset + length + kFruAreaUnit <= kFruAddressSpace) {
        const std::span<std::uint8_t> unit = bytes.subspan(length, kFruAreaUnit);
        if (read(static_cast<std::uint16_t>(offset + length), unit) != ORVEL_SUCCESS) break;
        length += unit.size();
    }
    return length;
}

}  // namespace

std::uint32_t CFru::ReadFruFromSystem(const FruReader& read) {
    CTrace trace(kClass, L"ReadFruFromSystem");
    for (auto step : {&CFru::GetCommonHeader, &CFru::GetBoardArea, &CFru::GetProductArea,
                      &CFru::GetChassisArea, &CFru::GetInternalArea, &CFru::GetMultiRecArea}) {
        if (const std::uint32_t status = (this->*step)(read)) {
            // A BMC that gave no answer is not a FRU with bad data, whatever
            // the area made of the failed read.
            if (LastTransferGotNoAnswer()) return ReportNoAnswer(ORVEL_ERROR_READING_FRU);
            return status;
        }
    }
    return ORVEL_SUCCESS;
}

std::uint32_t CFru::ReadFRUHeader(const FruReader& read,
                                  std::span<std::uint8_t, FRU_HEADER_LENGTH> bytes) {
    CTrace trace(kClass, L"ReadFRUHeader");
    if (const std::uint32_t status = read(0, bytes)) {
        trace.Failure(L"Invalid Header Area");
        SetAreaError(IDS_INVALID_HEADER_AREA);
        return status;
    }
    return ORVEL_SUCCESS;
}

std::uint32_t CFru::GetCommonHeader(const FruReader& read) {
    CTrace trace(kClass, L"GetCommonHeader");
    std::array<std::uint8_t, FRU_HEADER_LENGTH> bytes;
    if (const std::uint32_t status = ReadFRUHeader(read, bytes)) return status;
    mHeader.SetData(bytes);
    if (!mHeader.IsIpmiFormat()) {
        trace.Failure(L"Not IPMI FRU");
        SetLastErrorString(IDS_NOT_IPMI_FRU);
        return ORVEL_ERROR_NOT_IPMI_FRU;
    }
    if (!mHeader.IsValid()) {
        trace.Failure(L"Invalid Header Area");
        SetAreaError(IDS_INVALID_HEADER_AREA);
        return ORVEL_ERROR_INVALID_HEADER;
    }
    return ORVEL_SUCCESS;
}

std::uint32_t CFru::GetBoardArea(const FruReader& read) {
    CTrace trace(kClass, L"GetBoardArea");
    if (!HasBoardArea()) return ORVEL_SUCCESS;
    std::array<std::uint8_t, kMaxInfoAreaLength> buffer;
    const AreaRead area = ReadInfoArea(read, mHeader.GetBoardOffset(), buffer);
    if (area.status != ORVEL_SUCCESS || !mBoardArea.SetData(area.bytes)) {
        trace.Failure(L"Invalid Board Area");
        SetInfoAreaError(mBoardArea, IDS_AREA_BOARD, IDS_INVALID_BOARD_AREA);
        return ORVEL_ERROR_INVALID_BOARD_AREA;
    }
    WarnAboutPadding(mBoardArea, IDS_AREA_BOARD);
    return ORVEL_SUCCESS;
}

std::uint32_t CFru::GetProductArea(const FruReader& read) {
    CTrace trace(kClass, L"GetProductArea");
    if (!HasProductArea()) return ORVEL_SUCCESS;
    std::array<std::uint8_t, kMaxInfoAreaLength> buffer;
    const AreaRead area = ReadInfoArea(read, mHeader.GetProductOffset(), buffer);
    // A host that shows the last-error text must not show an earlier
    // failure's (or none) for this one.
    if (area.status != ORVEL_SUCCESS) {
        trace.Failure(L"Invalid Product Area");
        SetAreaError(IDS_INVALID_PRODUCT_AREA);
        return area.status;
    }
    if (!mProductArea.SetData(area.bytes)) {
        trace.Failure(L"Invalid Product Area");
        SetInfoAreaError(mProductArea, IDS_AREA_PRODUCT, IDS_INVALID_PRODUCT_AREA);
        return ORVEL_ERROR_INVALID_PRODUCT_AREA;
    }
    WarnAboutPadding(mProductArea, IDS_AREA_PRODUCT);
    return ORVEL_SUCCESS;
}

std::uint32_t CFru::GetChassisArea(const FruReader& read) {
    CTrace trace(kClass, L"GetChassisArea");
    if (!HasChassisArea()) return ORVEL_SUCCESS;
    std::array<std::uint8_t, kMaxInfoAreaLength> buffer;
    const AreaRead area = ReadInfoArea(read, mHeader.GetChassisOffset(), buffer);
    if (area.status != ORVEL_SUCCESS || !mChassisArea.SetData(area.bytes)) {
        trace.Failure(L"Invalid Chassis Area");
        SetInfoAreaError(mChassisArea, IDS_AREA_CHASSIS, IDS_INVALID_CHASSIS_AREA);
        return ORVEL_ERROR_INVALID_CHASSIS_AREA;
    }
    WarnAboutPadding(mChassisArea, IDS_AREA_CHASSIS);
    return ORVEL_SUCCESS;
}

std::uint32_t CFru::GetInternalArea(const FruReader& read) {
    CTrace trace(kClass, L"GetInternalArea");
    if (!HasInternalArea()) {
        mInternalUseArea.SetData({}, false);
        return ORVEL_SUCCESS;
    }
    const std::optional<InternalUseExtent> extent = InternalUseLength(mHeader);
    std::array<std::uint8_t, kMaxInternalUseLength> buffer;
    std::span<std::uint8_t> bytes = std::span(buffer).first(extent ? extent->length : 0);
    const auto offset = static_cast<std::uint16_t>(mHeader.GetInternalUseOffset() * kFruAreaUnit);
    bool readable = extent.has_value();
    if (readable && extent->runsToEnd) {
        bytes = bytes.first(ReadToEnd(read, offset, bytes));
        readable = !LastTransferGotNoAnswer();
    } else if (readable && !bytes.empty()) {
        readable = read(offset, bytes) == ORVEL_SUCCESS;
    }
    if (!readable) {
        trace.Failure(L"Invalid Internal Area");
        SetAreaError(IDS_INVALID_INTERNAL_AREA);
        return ORVEL_ERROR_INVALID_INTERNAL_AREA;
    }
    mInternalUseArea.SetData(bytes, false);
    return ORVEL_SUCCESS;
}

// The records from the multi-record offset up to one with the end-of-list
// bit. A record with no data also ends the walk and is not kept.
std::uint32_t CFru::GetMultiRecArea(const FruReader& read) {
    CTrace trace(kClass, L"GetMultiRecArea");
    if (!HasMultiRecArea()) return ORVEL_SUCCESS;
    const std::size_t start = mHeader.GetMultiRecordOffset() * std::size_t{kFruAreaUnit};
    const auto invalid = [&] {
        trace.Failure(L"Invalid MultiRec Area");
        SetAreaError(IDS_INVALID_MULTIREC_AREA);
        return ORVEL_ERROR_INVALID_MULTIREC_AREA;
    };
    try {
        std::vector<FRUMultiRecord> records;
        std::array<std::uint8_t, FRUMultiRecord::kHeaderLength + kMaxMultiRecordDataLength> bytes;
        std::size_t position = start;
        for (;;) {
            const std::span<std::uint8_t> probe = std::span(bytes).first(3);
            if (position + probe.size() > kFruAddressSpace) return invalid();
            if (read(static_cast<std::uint16_t>(position), probe) != 0) return invalid();
            if (probe[2] == 0) break;
            const std::span<std::uint8_t> record =
                std::span(bytes).first(FRUMultiRecord::kHeaderLength + probe[2]);
            if (position + record.size() > kFruAddressSpace) return invalid();
            if (read(static_cast<std::uint16_t>(position), record) != 0) return invalid();
            if (!records.emplace_back().SetData(record)) return invalid();
            position += record.size();
            if (records.back().IsEndOfList()) break;
        }
        if (!std::ranges::all_of(records, &FRUMultiRecord::IsValid)) return invalid();
        mMultiRecords = std::move(records);
        mMultiRecAreaLength = static_cast<std::uint16_t>(position - start);
    } catch (const std::bad_alloc&) {
        trace.Failure(L"FRU Error Allocation");
        SetLastErrorString(IDS_NO_MEMORY);
        return ORVEL_ERROR_ALLOCATION;
    }
    return ORVEL_SUCCESS;
}

}  // namespace Orvel_Private
