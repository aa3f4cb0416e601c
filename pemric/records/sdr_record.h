// What the eleven record type classes share: the length check and header
// step of decoding, the field getters with their status codes and debug
// lines, and the value formats. A type class says how its body is laid out
// (RecordShape), decodes its body and formats its fields.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_RECORD_H
#define SRVFW_PEMRIC_RECORDS_SDR_RECORD_H

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "bmc/trace.h"
#include "pemric/records/record_file_layout.h"
#include "pemric/sdr.h"

namespace Pemric_Private {

// How a type's body length is checked against its length byte.
enum class BodyLengthRule {
    Exactly,       // the body has exactly bodyLength bytes
    PlusIdString,  // bodyLength fixed bytes, the last one the ID string's type/length
    AtMost,        // up to bodyLength bytes
};

struct RecordShape {
    const wchar_t* className;
    unsigned recordType;
    std::span<const FieldStringToken> fields;
    BodyLengthRule lengthRule;
    unsigned bodyLength;
    // The full and event-only sensor classes answer titles and locations
    // before decoding; the others only after it.
    bool titlesNeedDecode;
};

// The ID string of a sensor or locator record: as many bytes as the low five
// bits of its type/length byte say, where 31 means none.
struct SdrIdString {
    static constexpr unsigned kLongest = 30;
    std::uint8_t length = 0;
    std::array<char, kLongest + 1> bytes{};

    static unsigned LengthFrom(std::uint8_t typeLength);
    void Decode(const unsigned char* bytes, std::uint8_t typeLength);
    // The bytes widened one to one, up to the first NUL.
    void Widen(std::span<wchar_t> out) const;
};

class CSdrRecord : public CSdr {
  public:
    unsigned GetNumberOfFields(unsigned& count) override;
    unsigned GetFieldTitle(wchar_t*& title) override;
    unsigned GetFieldValue(wchar_t*& value) override;
    unsigned GetFieldLocation(wchar_t*& location) override;
    unsigned DecodeSDR(unsigned char* bytes) override;
    // Writes the bytes the record was decoded from; 0xC0060036 before a
    // decode, 0xC006000A when the file cannot be opened or written.
    unsigned WriteRecordToFile(const wchar_t* path) override;
    unsigned GetTypeAsInteger(unsigned& type) override;
    unsigned GetName(wchar_t*& name) override;
    unsigned GetSdrTitle(wchar_t*& title) override;

  protected:
    CSdrRecord(const CSdrTexts& texts, const RecordShape& shape) : CSdr(texts), mShape(shape) {}

    // bytes holds the header and a body whose length the shape accepted.
    virtual void DecodeBody(const unsigned char* bytes) = 0;
    // Formats field index into out (kSdrTextLength characters).
    virtual void GetStringValue(unsigned index, wchar_t* out) = 0;
    virtual unsigned TitleIdOf(unsigned index) const { return mShape.fields[index].titleId; }
    // Write the record's one-line name and its title into mText.
    virtual void ComposeName() = 0;
    virtual void ComposeTitle() = 0;

    // False, with the class's line in the debug log, before a decode.
    bool CheckDecoded(const CTrace& trace) const;

    unsigned FieldCount() const { return static_cast<unsigned>(mShape.fields.size()); }
    const wchar_t* ClassName() const { return mShape.className; }

    // The value formats every type uses.
    void FormatValue(wchar_t* out, unsigned value);
    void FormatWord(wchar_t* out, unsigned value);
    void FormatText(wchar_t* out, unsigned stringId);
    void FormatEmpty(wchar_t* out) { out[0] = L'\0'; }
    // A code and its text from the table of kind.
    void FormatCode(wchar_t* out, unsigned kind, unsigned code, unsigned deviceType = 0);
    void FormatUnit(wchar_t* out, unsigned code);
    // The entity IDs the IPMI tables name (up to 25h) and the ranges after
    // them are written in two ways.
    void FormatEntity(wchar_t* out, unsigned code);
    // FFh is no sensor number but the mark of a reserved one.
    void FormatSensorNumber(wchar_t* out, unsigned number);
    void FormatManufacturerId(wchar_t* out, unsigned id);
    // Each byte as two hex digits and a blank.
    void FormatDump(wchar_t* out, std::span<const unsigned char> bytes);
    void FormatIdString(wchar_t* out, const SdrIdString& idString) {
        idString.Widen({out, kSdrTextLength});
    }
    // The four header fields and an index past the last field, which every
    // type formats alike; false for any other index.
    bool FormatHeaderField(unsigned index, wchar_t* out);

    // The text of the table of kind for code, into out.
    void CodeText(std::span<wchar_t> out, unsigned kind, unsigned code, unsigned deviceType = 0) {
        DecodeType(kind, code, out, deviceType);
    }
    void RecordIdText(std::span<wchar_t> out);
    // The name formats of the sensor records: with the ID string when there
    // is one.
    void SensorName(unsigned sensorType, const SdrIdString& idString, unsigned sensorNumber);
    // "<words> - <detail>"; the sensor records write the words alone when
    // detail is empty.
    void TitleWith(unsigned wordsId, const wchar_t* detail, bool wordsAloneWhenEmpty = false);
    void TitleWithRecordId(unsigned wordsId);
    // A name format that takes the record ID text alone.
    void NameWithRecordId(unsigned formatId);

    RecHdrStructTag mHeader;

  private:
    bool LengthAccepted(const unsigned char* bytes, unsigned bodyLength) const;
    // Titles and locations: checks, then the ID of the field's text.
    unsigned FieldTextId(const wchar_t* function, bool title, wchar_t*& text);
    unsigned ComposedText(const wchar_t* function, void (CSdrRecord::*compose)(), wchar_t*& text);
    unsigned WriteRecordLines(std::FILE* file);
    unsigned WriteBody(std::FILE* file, const RecordFileLayout& layout);
    unsigned WriteTail(std::FILE* file, FileTail tail, std::span<const unsigned char> bytes);

    const RecordShape& mShape;
    // The record as decoded: the decoded fields drop bits that a saved file
    // must still carry (the owner ID's bit 0, reserved bits, mask bit 15).
    std::vector<unsigned char> mDecodedBytes;
};

}  // namespace Pemric_Private

#endif
