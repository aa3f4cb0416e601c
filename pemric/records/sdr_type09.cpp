#include "pemric/records/sdr_type09.h"

#include <algorithm>

#include "pemric/records/field_string_tokens.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

const RecordShape kShape{L"CSdrType09",           0x09, Type09_FieldStringTokens,
                         BodyLengthRule::Exactly, 27,   true};

constexpr unsigned kFirstBodyField = 4;
constexpr unsigned kFirstReservedField = 25;

// The container (field 4) and the contained entities (11, 15, 19, 23).
bool IsEntityField(unsigned index) {
    return index == 4 || (index >= 11 && index <= 23 && index % 4 == 3);
}

}  // namespace

CSdrType09::CSdrType09(const CSdrTexts& texts) : CSdrRecord(texts, kShape) {}

void CSdrType09::DecodeBody(const unsigned char* bytes) {
    std::copy_n(bytes + kRecordHeaderLength, sizeof mBody, mBody);
}

void CSdrType09::GetStringValue(unsigned index, wchar_t* out) {
    if (FormatHeaderField(index, out)) return;
    if (index >= kFirstReservedField) return FormatText(out, kTextReservedByte);
    const unsigned value = mBody[index - kFirstBodyField];
    if (IsEntityField(index)) return FormatEntity(out, value);
    FormatValue(out, value);
}

void CSdrType09::ComposeName() {
    NameWithRecordId(kFormatDeviceRelativeAssociationName);
}

void CSdrType09::ComposeTitle() {
    TitleWithRecordId(kTextDeviceRelativeAssociationTitle);
}

}  // namespace Pemric_Private
