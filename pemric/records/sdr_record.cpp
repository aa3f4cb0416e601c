#include "pemric/records/sdr_record.h"

#include <cwchar>

#include "pemric/code_tables.h"
#include "pemric/pemric_status.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

constexpr unsigned kIdLengthMask = 0x1F;
constexpr unsigned kNoIdString = 31;
constexpr unsigned kLastNamedEntityId = 0x25;
constexpr unsigned kReservedSensorNumber = 0xFF;

}  // namespace

unsigned SdrIdString::LengthFrom(std::uint8_t typeLength) {
    const unsigned length = typeLength & kIdLengthMask;
    return length == kNoIdString ? 0 : length;
}

void SdrIdString::Decode(const unsigned char* idBytes, std::uint8_t typeLength) {
    length = static_cast<std::uint8_t>(LengthFrom(typeLength));
    bytes.fill('\0');
    for (unsigned i = 0; i < length; ++i) bytes[i] = static_cast<char>(idBytes[i]);
}

void SdrIdString::Widen(std::span<wchar_t> out) const {
    std::size_t i = 0;
    for (; i + 1 < out.size() && bytes[i] != '\0'; ++i) {
        out[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
    }
    out[i] = L'\0';
}

bool CSdrRecord::CheckDecoded(const CTrace& trace) const {
    if (!mDecoded) trace.Failure(L"SDR Type Not Decoded");
    return mDecoded;
}

unsigned CSdrRecord::GetNumberOfFields(unsigned& count) {
    CTrace trace(ClassName(), L"GetNumberOfFields");
    if (!CheckDecoded(trace)) return PEMRIC_SDR_NOT_DECODED;
    count = FieldCount();
    return PEMRIC_SUCCESS;
}

unsigned CSdrRecord::FieldTextId(const wchar_t* function, bool title, wchar_t*& text) {
    CTrace trace(ClassName(), function);
    if (mShape.titlesNeedDecode && !CheckDecoded(trace)) return PEMRIC_SDR_NOT_DECODED;
    // SelectField takes any index; one past the field table would read past
    // it, so such an index counts as no selection.
    if (mSelectedField >= FieldCount()) {
        trace.Failure(L"SDR Type Field Not Selected");
        return PEMRIC_FIELD_NOT_SELECTED;
    }
    text = GetStrFromTable(title ? TitleIdOf(mSelectedField)
                                 : mShape.fields[mSelectedField].locationId);
    return PEMRIC_SUCCESS;
}

unsigned CSdrRecord::GetFieldTitle(wchar_t*& title) {
    return FieldTextId(L"GetFieldTitle", true, title);
}

unsigned CSdrRecord::GetFieldLocation(wchar_t*& location) {
    return FieldTextId(L"GetFieldLocation", false, location);
}

unsigned CSdrRecord::GetFieldValue(wchar_t*& value) {
    CTrace trace(ClassName(), L"GetFieldValue");
    if (!CheckDecoded(trace)) return PEMRIC_SDR_NOT_DECODED;
    GetStringValue(mSelectedField, mText);
    value = mText;
    return PEMRIC_SUCCESS;
}

unsigned CSdrRecord::GetTypeAsInteger(unsigned& type) {
    CTrace trace(ClassName(), L"GetTypeAsInteger");
    type = mShape.recordType;
    return PEMRIC_SUCCESS;
}

unsigned CSdrRecord::ComposedText(const wchar_t* function, void (CSdrRecord::*compose)(),
                                  wchar_t*& text) {
    CTrace trace(ClassName(), function);
    if (!CheckDecoded(trace)) return PEMRIC_SDR_NOT_DECODED;
    (this->*compose)();
    text = mText;
    return PEMRIC_SUCCESS;
}

unsigned CSdrRecord::GetName(wchar_t*& name) {
    return ComposedText(L"GetName", &CSdrRecord::ComposeName, name);
}

unsigned CSdrRecord::GetSdrTitle(wchar_t*& title) {
    return ComposedText(L"GetSdrTitle", &CSdrRecord::ComposeTitle, title);
}

bool CSdrRecord::LengthAccepted(const unsigned char* bytes, unsigned bodyLength) const {
    switch (mShape.lengthRule) {
        case BodyLengthRule::Exactly:
            return bodyLength == mShape.bodyLength;
        case BodyLengthRule::AtMost:
            return bodyLength <= mShape.bodyLength;
        case BodyLengthRule::PlusIdString:
            // The type/length byte is the last fixed byte: a body too short
            // to hold it must not have it read.
            return bodyLength >= mShape.bodyLength &&
                   bodyLength ==
                       mShape.bodyLength + SdrIdString::LengthFrom(
                                               bytes[kRecordHeaderLength + mShape.bodyLength - 1]);
    }
    return false;
}

unsigned CSdrRecord::DecodeSDR(unsigned char* bytes) {
    CTrace trace(ClassName(), L"DecodeSDR");
    RecHdrStructTag header;
    const unsigned status = DecodeHeader(bytes, header);
    if (status != PEMRIC_SUCCESS) return status;
    if (!LengthAccepted(bytes, header.recordLength)) {
        trace.Failure(L"Bad Record Length");
        return PEMRIC_BAD_RECORD_LENGTH;
    }
    mHeader = header;
    mDecodedBytes.assign(bytes, bytes + kRecordHeaderLength + header.recordLength);
    DecodeBody(bytes);
    mDecoded = true;
    return PEMRIC_SUCCESS;
}

void CSdrRecord::FormatValue(wchar_t* out, unsigned value) {
    std::swprintf(out, kSdrTextLength, GetStrFromTable(kFormatValue), value);
}

void CSdrRecord::FormatWord(wchar_t* out, unsigned value) {
    std::swprintf(out, kSdrTextLength, GetStrFromTable(kFormatWord), value);
}

void CSdrRecord::FormatText(wchar_t* out, unsigned stringId) {
    std::swprintf(out, kSdrTextLength, L"%ls", GetStrFromTable(stringId));
}

void CSdrRecord::FormatCode(wchar_t* out, unsigned kind, unsigned code, unsigned deviceType) {
    wchar_t text[kSdrTextLength];
    CodeText(text, kind, code, deviceType);
    std::swprintf(out, kSdrTextLength, GetStrFromTable(kFormatCodeAndText), code, text);
}

void CSdrRecord::FormatUnit(wchar_t* out, unsigned code) {
    wchar_t text[kSdrTextLength];
    CodeText(text, CODE_SENSOR_UNIT, code);
    std::swprintf(out, kSdrTextLength, GetStrFromTable(kFormatCodeWithText), code, text);
}

void CSdrRecord::FormatEntity(wchar_t* out, unsigned code) {
    wchar_t text[kSdrTextLength];
    CodeText(text, CODE_ENTITY_ID, code);
    const unsigned format = code <= kLastNamedEntityId ? kFormatCodeWithText : kFormatCodeAndText;
    std::swprintf(out, kSdrTextLength, GetStrFromTable(format), code, text);
}

void CSdrRecord::FormatSensorNumber(wchar_t* out, unsigned number) {
    if (number == kReservedSensorNumber) {
        FormatText(out, kTextReservedCode);
    } else {
        FormatValue(out, number);
    }
}

void CSdrRecord::FormatManufacturerId(wchar_t* out, unsigned id) {
    std::swprintf(out, kSdrTextLength, GetStrFromTable(kFormatManufacturerId), id);
}

void CSdrRecord::FormatDump(wchar_t* out, std::span<const unsigned char> bytes) {
    const wchar_t* format = GetStrFromTable(kFormatDumpByte);
    std::size_t used = 0;
    out[0] = L'\0';
    for (unsigned char byte : bytes) {
        if (used + 1 >= kSdrTextLength) break;
        const int written = std::swprintf(out + used, kSdrTextLength - used, format, byte);
        if (written < 0) break;
        used += static_cast<std::size_t>(written);
    }
}

bool CSdrRecord::FormatHeaderField(unsigned index, wchar_t* out) {
    switch (index) {
        case 0:
            FormatWord(out, mHeader.recordId);
            return true;
        case 1:
            FormatValue(out, mHeader.sdrVersion);
            return true;
        case 2:
            FormatValue(out, mHeader.recordType);
            return true;
        case 3:
            FormatValue(out, mHeader.recordLength);
            return true;
        default:
            if (index < FieldCount()) return false;
            FormatText(out, kTextNoSuchField);
            return true;
    }
}

void CSdrRecord::RecordIdText(std::span<wchar_t> out) {
    std::swprintf(out.data(), out.size(), GetStrFromTable(kFormatWord), unsigned{mHeader.recordId});
}

void CSdrRecord::SensorName(unsigned sensorType, const SdrIdString& idString,
                            unsigned sensorNumber) {
    wchar_t typeText[kSdrTextLength];
    wchar_t recordId[kSdrTextLength];
    wchar_t number[kSdrTextLength];
    CodeText(typeText, CODE_SENSOR_TYPE, sensorType);
    RecordIdText(recordId);
    FormatSensorNumber(number, sensorNumber);
    if (idString.length > 0) {
        wchar_t id[kSdrTextLength];
        idString.Widen(id);
        std::swprintf(mText, kSdrTextLength, GetStrFromTable(kFormatSensorNameWithId), typeText, id,
                      recordId, number);
    } else {
        std::swprintf(mText, kSdrTextLength, GetStrFromTable(kFormatSensorName), typeText, recordId,
                      number);
    }
}

void CSdrRecord::TitleWith(unsigned wordsId, const wchar_t* detail, bool wordsAloneWhenEmpty) {
    if (detail[0] != L'\0' || !wordsAloneWhenEmpty) {
        std::swprintf(mText, kSdrTextLength, L"%ls - %ls", GetStrFromTable(wordsId), detail);
    } else {
        std::swprintf(mText, kSdrTextLength, L"%ls", GetStrFromTable(wordsId));
    }
}

void CSdrRecord::TitleWithRecordId(unsigned wordsId) {
    wchar_t recordId[kSdrTextLength];
    RecordIdText(recordId);
    TitleWith(wordsId, recordId);
}

void CSdrRecord::NameWithRecordId(unsigned formatId) {
    wchar_t recordId[kSdrTextLength];
    RecordIdText(recordId);
    std::swprintf(mText, kSdrTextLength, GetStrFromTable(formatId), recordId);
}

}  // namespace Pemric_Private
