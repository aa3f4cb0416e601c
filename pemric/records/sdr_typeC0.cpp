#include "pemric/records/sdr_typeC0.h"

#include <algorithm>

#include "pemric/pemric_status.h"
#include "pemric/records/field_string_tokens.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

// The whole record fits in 64 bytes: the header, the manufacturer ID and up
// to 56 data bytes.
const RecordShape kShape{L"CSdrTypeC0",          0xC0, TypeC0_FieldStringTokens,
                         BodyLengthRule::AtMost, 59,   true};

constexpr unsigned kManufacturerIdLength = 3;

bool IsPrintable(unsigned char c) {
    return c >= 0x20 && c <= 0x7E;
}

}  // namespace

CSdrTypeC0::CSdrTypeC0(const CSdrTexts& texts) : CSdrRecord(texts, kShape) {}

void CSdrTypeC0::DecodeBody(const unsigned char* bytes) {
    mManufacturerId = bytes[5] << 16 | bytes[6] << 8 | bytes[7];
    mOemLength = mHeader.recordLength - kManufacturerIdLength;
    std::fill(std::begin(mOemData), std::end(mOemData), 0);
    std::copy_n(bytes + kRecordHeaderLength + kManufacturerIdLength, mOemLength, mOemData);
}

unsigned CSdrTypeC0::GetOEMData(unsigned char*& data) {
    CTrace trace(ClassName(), L"GetOEMData");
    if (!CheckDecoded(trace)) return PEMRIC_SDR_NOT_DECODED;
    data = mOemData;
    return PEMRIC_SUCCESS;
}

void CSdrTypeC0::GetStringValue(unsigned index, wchar_t* out) {
    if (FormatHeaderField(index, out)) return;
    if (index == 4) return FormatManufacturerId(out, mManufacturerId);
    // Our own OEM records hold version texts; other manufacturers' data is
    // shown byte by byte.
    if (IsPrintable(mOemData[0])) {
        unsigned i = 0;
        for (; i < mOemLength && mOemData[i] != 0; ++i) out[i] = mOemData[i];
        out[i] = L'\0';
        return;
    }
    FormatDump(out, {mOemData, mOemLength});
}

void CSdrTypeC0::ComposeName() {
    NameWithRecordId(kFormatOemName);
}

void CSdrTypeC0::ComposeTitle() {
    TitleWith(kTextOemTitle, L"", true);
}

}  // namespace Pemric_Private
