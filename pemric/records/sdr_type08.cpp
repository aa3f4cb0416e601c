#include "pemric/records/sdr_type08.h"

#include <algorithm>

#include "pemric/records/field_string_tokens.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

const RecordShape kShape{L"CSdrType08",           0x08, Type08_FieldStringTokens,
                         BodyLengthRule::Exactly, 11,   true};

constexpr unsigned kFirstBodyField = 4;

// The container (field 4) and the contained entities (7, 9, 11, 13) are
// entity IDs; every other body field is a plain byte.
bool IsEntityField(unsigned index) {
    return index == 4 || (index >= 7 && index % 2 == 1);
}

}  // namespace

CSdrType08::CSdrType08(const CSdrTexts& texts) : CSdrRecord(texts, kShape) {}

void CSdrType08::DecodeBody(const unsigned char* bytes) {
    std::copy_n(bytes + kRecordHeaderLength, sizeof mBody, mBody);
}

void CSdrType08::GetStringValue(unsigned index, wchar_t* out) {
    if (FormatHeaderField(index, out)) return;
    const unsigned value = mBody[index - kFirstBodyField];
    if (IsEntityField(index)) return FormatEntity(out, value);
    FormatValue(out, value);
}

void CSdrType08::ComposeName() {
    NameWithRecordId(kFormatEntityAssociationName);
}

void CSdrType08::ComposeTitle() {
    TitleWithRecordId(kTextEntityAssociationTitle);
}

}  // namespace Pemric_Private
