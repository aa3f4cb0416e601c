#include "pemric/records/sdr_type14.h"

#include <algorithm>

#include "pemric/code_tables.h"
#include "pemric/records/field_string_tokens.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

const RecordShape kShape{L"CSdrType14",           0x14, Type14_FieldStringTokens,
                         BodyLengthRule::Exactly, 11,   true};

constexpr unsigned kFirstChannelField = 4;

}  // namespace

CSdrType14::CSdrType14(const CSdrTexts& texts) : CSdrRecord(texts, kShape) {}

void CSdrType14::DecodeBody(const unsigned char* bytes) {
    std::copy_n(bytes + kRecordHeaderLength, sizeof mChannels, mChannels);
    mMessagingInterruptType = bytes[13];
    mEventBufferInterruptType = bytes[14];
}

void CSdrType14::GetStringValue(unsigned index, wchar_t* out) {
    if (FormatHeaderField(index, out)) return;
    // The interrupt types are shown by their text alone: the code says
    // nothing more than the text.
    switch (index) {
        case 12:
            return CodeText({out, kSdrTextLength}, CODE_INTERRUPT_TYPE, mMessagingInterruptType);
        case 13:
            return CodeText({out, kSdrTextLength}, CODE_INTERRUPT_TYPE, mEventBufferInterruptType);
        case 14:
            return FormatText(out, kTextReservedByte);
        default:
            return FormatValue(out, mChannels[index - kFirstChannelField]);
    }
}

void CSdrType14::ComposeName() {
    NameWithRecordId(kFormatChannelInfoName);
}

void CSdrType14::ComposeTitle() {
    TitleWith(kTextChannelInfoTitle, L"", true);
}

}  // namespace Pemric_Private
