#include "pemric/records/sdr_type13.h"

#include <algorithm>

#include "pemric/records/field_string_tokens.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

const RecordShape kShape{L"CSdrType13",           0x13, Type13_FieldStringTokens,
                         BodyLengthRule::Exactly, 27,   true};

constexpr unsigned kManufacturerIdBits = 0xFFFFF;
// All ones: the controller gave no manufacturer or product.
constexpr unsigned kNoManufacturerId = 0xFFFFF;
constexpr unsigned kNoProductId = 0xFFFF;

}  // namespace

CSdrType13::CSdrType13(const CSdrTexts& texts) : CSdrRecord(texts, kShape) {}

void CSdrType13::DecodeBody(const unsigned char* bytes) {
    std::copy_n(bytes + kRecordHeaderLength, sizeof mDevice, mDevice);
    mManufacturerId = (bytes[11] << 16 | bytes[12] << 8 | bytes[13]) & kManufacturerIdBits;
    mProductId = static_cast<std::uint16_t>(bytes[14] << 8 | bytes[15]);
    std::copy_n(bytes + 16, mGuid.size(), mGuid.begin());
}

void CSdrType13::GetStringValue(unsigned index, wchar_t* out) {
    if (FormatHeaderField(index, out)) return;
    switch (index) {
        case 10:
            if (mManufacturerId == kNoManufacturerId) return FormatEmpty(out);
            return FormatManufacturerId(out, mManufacturerId);
        case 11:
            if (mProductId == 0) return FormatText(out, kTextZeroMeansUnspecified);
            if (mProductId == kNoProductId) return FormatEmpty(out);
            return FormatWord(out, mProductId);
        case 12:
            return FormatDump(out, mGuid);
        default:
            return FormatValue(out, mDevice[index - 4]);
    }
}

void CSdrType13::ComposeName() {
    wchar_t guid[kSdrTextLength];
    wchar_t recordId[kSdrTextLength];
    FormatDump(guid, mGuid);
    RecordIdText(recordId);
    std::swprintf(mText, kSdrTextLength, GetStrFromTable(kFormatDeviceName), guid, recordId);
}

void CSdrType13::ComposeTitle() {
    wchar_t guid[kSdrTextLength];
    FormatDump(guid, mGuid);
    TitleWith(kTextControllerConfirmationTitle, guid);
}

}  // namespace Pemric_Private
