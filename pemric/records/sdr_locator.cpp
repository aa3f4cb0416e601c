#include "pemric/records/sdr_locator.h"

#include <algorithm>
#include <cwchar>

#include "pemric/code_tables.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

constexpr unsigned kFirstReservedField = 8;
constexpr unsigned kDeviceTypeField = 9;
constexpr unsigned kDeviceTypeModifierField = 10;
constexpr unsigned kEntityField = 11;
constexpr unsigned kIdTypeLengthField = 14;
constexpr unsigned kIdStringField = 15;

}  // namespace

void CSdrLocator::DecodeBody(const unsigned char* bytes) {
    std::copy_n(bytes + kRecordHeaderLength, sizeof mBody, mBody);
    mIdString.Decode(bytes + kRecordHeaderLength + sizeof mBody, Field(kIdTypeLengthField));
}

void CSdrLocator::GetStringValue(unsigned index, wchar_t* out) {
    if (FormatHeaderField(index, out)) return;
    const unsigned lastReservedField = mLocatesDevice ? kFirstReservedField : kEntityField - 1;
    if (index == kIdStringField) return FormatIdString(out, mIdString);
    if (index >= kFirstReservedField && index <= lastReservedField) {
        return FormatText(out, kTextReservedByte);
    }
    switch (index) {
        case kDeviceTypeField:
            return FormatCode(out, CODE_DEVICE_TYPE, Field(index));
        case kDeviceTypeModifierField:
            // What a modifier means depends on the device type.
            return FormatCode(out, CODE_DEVICE_TYPE_MODIFIER, Field(index),
                              Field(kDeviceTypeField));
        case kEntityField:
            return FormatEntity(out, Field(index));
        default:
            return FormatValue(out, Field(index));
    }
}

void CSdrLocator::ComposeName() {
    wchar_t what[kSdrTextLength];
    if (mLocatesDevice) {
        CodeText(what, CODE_DEVICE_TYPE, Field(kDeviceTypeField));
    } else {
        CodeText(what, CODE_ENTITY_ID, Field(kEntityField));
    }
    wchar_t recordId[kSdrTextLength];
    RecordIdText(recordId);
    if (mIdString.length > 0) {
        wchar_t id[kSdrTextLength];
        mIdString.Widen(id);
        std::swprintf(mText, kSdrTextLength, GetStrFromTable(kFormatDeviceNameWithId), what, id,
                      recordId);
    } else {
        std::swprintf(mText, kSdrTextLength, GetStrFromTable(kFormatDeviceName), what, recordId);
    }
}

void CSdrLocator::ComposeTitle() {
    wchar_t id[kSdrTextLength];
    mIdString.Widen(id);
    TitleWith(mTitleWordsId, id);
}

}  // namespace Pemric_Private
