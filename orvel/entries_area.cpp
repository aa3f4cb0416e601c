// Interface entries: choosing an area of the selected FRU and handing its
// raw bytes in and out.
#include <algorithm>

#include "orvel/entry_checks.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_public.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"
#include "orvel/orvel_text.h"
#include "orvel/selected_area.h"

namespace Orvel_Private {
namespace {

unsigned AreaNameNumber(std::uint32_t area) {
    switch (area) {
        case FRU_AREA_INTERNAL:
            return IDS_AREA_INTERNAL_USE;
        case FRU_AREA_CHASSIS:
            return IDS_AREA_CHASSIS;
        case FRU_AREA_BOARD:
            return IDS_AREA_BOARD;
        case FRU_AREA_PRODUCT:
            return IDS_AREA_PRODUCT;
        default:
            return IDS_AREA_MULTIRECORD;
    }
}

FRU_AREA SelectedAreaKind() {
    return static_cast<FRU_AREA>(g_Orvel->mSelectedArea);
}

// The raw-byte entries need the table and the buffer besides the library.
std::uint32_t CheckRawEntry(Orvel_Public::Table table, const void* buffer, const CTrace& trace) {
    if (table == nullptr || buffer == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    return CheckEntry(Needs::Area, trace);
}

}  // namespace
}  // namespace Orvel_Private

namespace Orvel_Public {

using namespace Orvel_Private;

// An area the FRU does not have leaves no area selected, and that is no
// failure: the host asks next and learns that nothing is selected.
u32 SelectAreaEnum(Table, FRU_AREA area) {
    CTrace trace = EntryTrace(L"SelectAreaEnum");
    if (const u32 status = CheckEntry(Needs::Fru, trace)) return status;
    COrvel& state = *g_Orvel;
    state.ResetAreaSelection();
    if (area < FRU_AREA_COMMON || area > FRU_AREA_MULTIREC) {
        return EntryFailure(trace, ORVEL_ERROR_OUT_OF_RANGE, IDS_UNEXPECTED);
    }
    if (HasArea(*state.SelectedFru(), area)) state.mSelectedArea = area;
    return ORVEL_SUCCESS;
}

u32 SelectAreaInteger(Table, u32 index) {
    CTrace trace = EntryTrace(L"SelectAreaInteger");
    if (const u32 status = CheckEntry(Needs::Fru, trace)) return status;
    COrvel& state = *g_Orvel;
    state.ResetAreaSelection();
    const CFru& fru = *state.SelectedFru();
    for (const FRU_AREA area : kAreaOrder) {
        if (!HasArea(fru, area)) continue;
        if (index-- == 0) {
            state.mSelectedArea = area;
            return ORVEL_SUCCESS;
        }
    }
    return EntryFailure(trace, ORVEL_ERROR_OUT_OF_RANGE, IDS_UNEXPECTED);
}

u32 GetAreaName(Table, const wchar_t** name) {
    CTrace trace = EntryTrace(L"GetAreaName");
    if (const u32 status = CheckEntry(Needs::Area, trace)) return status;
    if (name == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    if (SelectedAreaKind() == FRU_AREA_COMMON) {
        return EntryFailure(trace, ORVEL_ERROR_OUT_OF_RANGE, IDS_UNEXPECTED);
    }
    *name = GetOrvelString(AreaNameNumber(SelectedAreaKind()));
    return ORVEL_SUCCESS;
}

// Common header: exactly its 8 bytes. Internal use: its bytes. Multi-record:
// every record, header then data. Chassis, board and product: the area as
// it would be written, padding and checksum included.
u32 GetAreaData(Table table, u8* buffer, u32* size) {
    CTrace trace = EntryTrace(L"GetAreaData");
    if (size == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    const u32 capacity = *size;
    *size = 0;
    if (const u32 status = CheckRawEntry(table, buffer, trace)) return status;
    CFru& fru = *g_Orvel->SelectedFru();
    const std::span<u8> out(buffer, capacity);
    switch (SelectedAreaKind()) {
        case FRU_AREA_INTERNAL: {
            const std::span<const u8> bytes = fru.InternalUseArea().GetData();
            if (capacity < bytes.size()) break;
            std::ranges::copy(bytes, out.begin());
            *size = static_cast<u32>(bytes.size());
            return ORVEL_SUCCESS;
        }
        case FRU_AREA_MULTIREC: {
            u32 written = 0;
            if (fru.SerializeMultiRecArea(out, written) != ORVEL_SUCCESS) break;
            *size = written;
            return ORVEL_SUCCESS;
        }
        case FRU_AREA_CHASSIS:
        case FRU_AREA_BOARD:
        case FRU_AREA_PRODUCT: {
            const std::span<const u8> bytes = InfoArea(fru, SelectedAreaKind())->GetData();
            if (capacity < bytes.size()) break;
            std::ranges::copy(bytes, out.begin());
            *size = static_cast<u32>(bytes.size());
            return ORVEL_SUCCESS;
        }
        case FRU_AREA_COMMON:
            if (capacity != FRU_HEADER_LENGTH) break;
            fru.SerializeCommonHeader(out.first<FRU_HEADER_LENGTH>());
            *size = FRU_HEADER_LENGTH;
            return ORVEL_SUCCESS;
        default:
            return EntryFailure(trace, ORVEL_ERROR_UNSUPPORTED, IDS_UNEXPECTED);
    }
    return EntryFailure(trace, ORVEL_ERROR_UNEXPECTED, IDS_UNEXPECTED);
}

// Internal use bytes replace the area only at its present length: its
// length follows from the header's offsets, which are never rewritten. An
// info area's image replaces it field for field, every type/length byte as
// given, at the same length, so the header still fits it.
u32 SetAreaData(Table table, const u8* bytes, u32 length) {
    CTrace trace = EntryTrace(L"SetAreaData");
    if (const u32 status = CheckRawEntry(table, bytes, trace)) return status;
    CFru& fru = *g_Orvel->SelectedFru();
    const std::span<const u8> data(bytes, length);
    switch (SelectedAreaKind()) {
        case FRU_AREA_INTERNAL:
            if (length != fru.InternalUseArea().GetLength()) break;
            fru.InternalUseArea().SetData(data, true);
            return ORVEL_SUCCESS;
        case FRU_AREA_MULTIREC:
            return fru.SetMultiRecArea(data, true);
        case FRU_AREA_CHASSIS:
        case FRU_AREA_BOARD:
        case FRU_AREA_PRODUCT: {
            const FRU_AREA area = SelectedAreaKind();
            CFruInfoArea& info = *InfoArea(fru, area);
            if (length != info.GetLength() ||
                !VisitInfoArea(fru, area, [&](auto& typed) { return typed.SetData(data); })) {
                const InfoAreaTexts& texts = TextsOf(area);
                return EntryFailure(trace, ORVEL_ERROR_SET_FIELD, texts.setFailed,
                                    texts.setFailedWords);
            }
            info.MarkModified();
            return ORVEL_SUCCESS;
        }
        default:
            break;
    }
    return EntryFailure(trace, ORVEL_ERROR_UNSUPPORTED, IDS_UNEXPECTED);
}

u32 GetAreaSize(Table table, u32* size) {
    CTrace trace = EntryTrace(L"GetAreaSize");
    if (size == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    *size = 0;
    if (table == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    if (const u32 status = CheckEntry(Needs::Area, trace)) return status;
    const CFru& fru = *g_Orvel->SelectedFru();
    switch (SelectedAreaKind()) {
        case FRU_AREA_INTERNAL:
            *size = fru.GetInternalAreaLength();
            return ORVEL_SUCCESS;
        case FRU_AREA_MULTIREC:
            *size = fru.GetMultiRecAreaLength();
            return ORVEL_SUCCESS;
        default:
            return EntryFailure(trace, ORVEL_ERROR_UNSUPPORTED, IDS_UNEXPECTED);
    }
}

u32 GetAssetTagLength(Table, u32* length) {
    return AnswerEntry(L"GetAssetTagLength", Needs::Loaded, length,
                       [] { return nTotalAssetTagLength; });
}

}  // namespace Orvel_Public
