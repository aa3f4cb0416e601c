// Interface entries: the fields of the selected area, their titles, texts
// and raw bytes, and new values for them.
#include "orvel/entry_checks.h"
#include "orvel/fru_encoding.h"
#include "orvel/fru_format.h"
#include "orvel/last_error.h"
#include "orvel/orvel_public.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"
#include "orvel/selected_area.h"

namespace Orvel_Private {
namespace {

FRU_AREA SelectedAreaKind() {
    return static_cast<FRU_AREA>(g_Orvel->mSelectedArea);
}
CFru& Fru() {
    return *g_Orvel->SelectedFru();
}

// The header and the multi-record area have no fields.
bool HasFields(FRU_AREA area) {
    return area != FRU_AREA_COMMON && area != FRU_AREA_MULTIREC;
}

// Calls `action` with the selected area, which has fields, as its own class.
template <typename Action>
decltype(auto) VisitFieldArea(Action&& action) {
    const FRU_AREA area = SelectedAreaKind();
    if (area == FRU_AREA_INTERNAL) return action(Fru().InternalUseArea());
    return VisitInfoArea(Fru(), area, action);
}

std::uint32_t FieldCount(FRU_AREA area) {
    if (area == FRU_AREA_INTERNAL) return Fru().InternalUseArea().GetNumberOfFields();
    CFruInfoArea* info = InfoArea(Fru(), area);
    return info != nullptr ? info->GetNumberOfFields() : 0;
}

std::uint32_t SelectField(const CTrace& trace, std::uint32_t index) {
    if (!HasFields(SelectedAreaKind())) {
        return EntryFailure(trace, ORVEL_ERROR_UNSUPPORTED, IDS_UNSUPPORTED, L"Unsupported");
    }
    if (index == INVALID_SELECTION || index >= FieldCount(SelectedAreaKind())) {
        return EntryFailure(trace, ORVEL_ERROR_OUT_OF_RANGE, IDS_NO_SUCH_FIELD,
                            L"No such FRU Field");
    }
    g_Orvel->mSelectedField = index;
    return ORVEL_SUCCESS;
}

}  // namespace
}  // namespace Orvel_Private

namespace Orvel_Public {

using namespace Orvel_Private;

u32 GetNumberOfFields(Table, u32* count) {
    CTrace trace = EntryTrace(L"GetNumberOfFields");
    if (const u32 status = CheckEntry(Needs::Area, trace)) return status;
    if (count == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    if (SelectedAreaKind() == FRU_AREA_COMMON) {
        return EntryFailure(trace, ORVEL_ERROR_OUT_OF_RANGE, IDS_UNEXPECTED);
    }
    *count = FieldCount(SelectedAreaKind());
    return ORVEL_SUCCESS;
}

u32 SelectFieldEnum(Table, FRU_FIELD field) {
    CTrace trace = EntryTrace(L"SelectFieldEnum");
    if (const u32 status = CheckEntry(Needs::Area, trace)) return status;
    g_Orvel->ResetFieldSelection();
    const FRU_AREA area = SelectedAreaKind();
    u32 index = INVALID_SELECTION;
    if (area == FRU_AREA_INTERNAL) {
        index = Fru().InternalUseArea().GetFieldIndexFromEnum(field);
    } else if (CFruInfoArea* info = InfoArea(Fru(), area)) {
        index = info->GetFieldIndexFromEnum(field);
    }
    return SelectField(trace, index);
}

u32 SelectFieldInteger(Table, u32 index) {
    CTrace trace = EntryTrace(L"SelectFieldInteger");
    if (const u32 status = CheckEntry(Needs::Area, trace)) return status;
    g_Orvel->ResetFieldSelection();
    return SelectField(trace, index);
}

u32 GetFieldTitle(Table, const wchar_t** title) {
    CTrace trace = EntryTrace(L"GetFieldTitle");
    if (const u32 status = CheckEntry(Needs::Field, trace)) return status;
    if (title == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    const u32 field = g_Orvel->mSelectedField;
    *title = VisitFieldArea([field](auto& area) { return area.GetFieldTitleFromIndex(field); });
    return ORVEL_SUCCESS;
}

// The room a value may take beyond its field's present length.
u32 GetMaxFieldSize(Table, u32* size) {
    CTrace trace = EntryTrace(L"GetMaxFieldSize");
    if (const u32 status = CheckEntry(Needs::Area, trace)) return status;
    if (size == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    *size = 0;
    const FRU_AREA area = SelectedAreaKind();
    if (area == FRU_AREA_COMMON) return ORVEL_SUCCESS;
    CFruInfoArea* info = InfoArea(Fru(), area);
    if (info == nullptr) {
        return EntryFailure(trace, ORVEL_ERROR_UNSUPPORTED, IDS_UNSUPPORTED, L"Unsupported");
    }
    *size = info->GetPadLength();
    return ORVEL_SUCCESS;
}

// A field whose value cannot be shown (a manufacturing date that does not
// break down into a calendar time) fails: the area has said why.
u32 GetFieldStringValue(Table, const wchar_t** text) {
    CTrace trace = EntryTrace(L"GetFieldStringValue");
    if (const u32 status = CheckEntry(Needs::Field, trace)) return status;
    if (text == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    const u32 field = g_Orvel->mSelectedField;
    *text = VisitFieldArea([field](auto& area) { return area.GetFieldValueFromIndex(field); });
    if (*text == nullptr) {
        trace.Failure(L"Unexpected");
        return ORVEL_ERROR_GET_FIELD;
    }
    return ORVEL_SUCCESS;
}

u32 GetFieldDataValue(Table, const u8** bytes, u32* length) {
    CTrace trace = EntryTrace(L"GetFieldDataValue");
    if (bytes == nullptr || length == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    *bytes = nullptr;
    *length = 0;
    if (const u32 status = CheckEntry(Needs::Field, trace)) return status;
    const FRU_AREA area = SelectedAreaKind();
    if (area == FRU_AREA_COMMON) return ORVEL_SUCCESS;
    CFruInfoArea* info = InfoArea(Fru(), area);
    if (info == nullptr) {
        return EntryFailure(trace, ORVEL_ERROR_UNSUPPORTED, IDS_UNSUPPORTED, L"Unsupported");
    }
    const auto data = info->GetFieldData(g_Orvel->mSelectedField);
    if (!data) {
        const InfoAreaTexts& texts = TextsOf(area);
        return EntryFailure(trace, ORVEL_ERROR_GET_FIELD, texts.getFailed, texts.getFailedWords);
    }
    *bytes = data->data();
    *length = static_cast<u32>(data->size());
    return ORVEL_SUCCESS;
}

// The value is stored as 8-bit text. The area's own reason for a refusal is
// replaced by the text for the area as a whole.
u32 SetFieldDataValue(Table, const u8* bytes, u32 length) {
    CTrace trace = EntryTrace(L"SetFieldDataValue");
    if (const u32 status = CheckEntry(Needs::Field, trace)) return status;
    const FRU_AREA area = SelectedAreaKind();
    if (area == FRU_AREA_COMMON) return ORVEL_SUCCESS;
    if (InfoArea(Fru(), area) == nullptr) {
        return EntryFailure(trace, ORVEL_ERROR_UNSUPPORTED, IDS_UNSUPPORTED, L"Unsupported");
    }
    const u32 field = g_Orvel->mSelectedField;
    if (!VisitInfoArea(Fru(), area, [&](auto& info) {
            return info.SetFieldData(field, bytes, length, FRU_FIELD_TYPE_TEXT);
        })) {
        const InfoAreaTexts& texts = TextsOf(area);
        return EntryFailure(trace, ORVEL_ERROR_SET_FIELD, texts.setFailed, texts.setFailedWords);
    }
    return ORVEL_SUCCESS;
}

// The chassis type and the manufacturing date are no text fields: they have
// no encoding, and SetFieldDataValue sets them.
u32 GetFieldEncoding(Table, FRU_FIELD_TYPE* type) {
    CTrace trace = EntryTrace(L"GetFieldEncoding");
    if (type == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    if (const u32 status = CheckEntry(Needs::Field, trace)) return status;
    const CFruInfoArea* info = InfoArea(Fru(), SelectedAreaKind());
    const std::optional<FRU_FIELD_TYPE> encoding =
        info != nullptr ? info->GetFieldEncoding(g_Orvel->mSelectedField) : std::nullopt;
    if (!encoding) {
        return EntryFailure(trace, ORVEL_ERROR_UNSUPPORTED, IDS_UNSUPPORTED, L"Unsupported");
    }
    *type = *encoding;
    return ORVEL_SUCCESS;
}

// Board and product areas keep their own reason for a refusal (the field
// too long, with its title); the chassis area gives none, so the text for
// the area as a whole stands in.
u32 SetFieldStringValue(Table, const wchar_t* text) {
    CTrace trace = EntryTrace(L"SetFieldStringValue");
    if (const u32 status = CheckEntry(Needs::Field, trace)) return status;
    if (text == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    const FRU_AREA area = SelectedAreaKind();
    CFruInfoArea* info = InfoArea(Fru(), area);
    const u32 field = g_Orvel->mSelectedField;
    if (info == nullptr || !info->GetFieldEncoding(field)) {
        return EntryFailure(trace, ORVEL_ERROR_UNSUPPORTED, IDS_UNSUPPORTED, L"Unsupported");
    }
    if (const auto refused = FindUnstorableCharacter(text)) {
        trace.Failure(L"Character Not Stored");
        SetLastErrorString(refused->control ? IDS_CONTROL_CHARACTER : IDS_CHARACTER_NOT_LATIN1,
                           static_cast<unsigned>(refused->character));
        return ORVEL_ERROR_SET_FIELD;
    }
    if (!info->SetFieldText(field, text)) {
        const InfoAreaTexts& texts = TextsOf(area);
        if (area == FRU_AREA_CHASSIS) {
            return EntryFailure(trace, ORVEL_ERROR_SET_FIELD, texts.setFailed,
                                texts.setFailedWords);
        }
        trace.Failure(texts.setFailedWords);
        return ORVEL_ERROR_SET_FIELD;
    }
    return ORVEL_SUCCESS;
}

}  // namespace Orvel_Public
