// CSdr: one Sensor Data Record in memory, the base of the eleven record
// type classes. A record is made from the raw bytes of one SDR (from the BMC
// or from an SDR file), decodes them into fields and then answers the
// library's questions about them: how many fields, each field's title,
// value and location, a one-line name and a title. It keeps the tags the
// SDR file gave it and, when asked, a copy of its raw bytes to write back.
#ifndef SRVFW_PEMRIC_SDR_H
#define SRVFW_PEMRIC_SDR_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

#include "bmc/ordered_list.h"
#include "pemric/sdr_texts.h"

namespace Pemric_Private {

// The five bytes every record starts with.
struct RecHdrStructTag {
    // Byte 0 is the high byte, so that the ID printed as four hex digits
    // reads like the two bytes in record order.
    std::uint16_t recordId = 0;
    std::uint8_t sdrVersion = 0;
    std::uint8_t recordType = 0;
    // The number of bytes after the header.
    std::uint8_t recordLength = 0;
};

inline constexpr unsigned kRecordHeaderLength = 5;

// A field's title and the place in the record it comes from, as string IDs.
struct FieldStringToken {
    std::uint32_t titleId;
    std::uint32_t locationId;
};

// Room for one value, name or title, terminator included.
inline constexpr unsigned kSdrTextLength = 255;

// The record types the library knows, in its type order (the index of every
// per-type list and count): full sensor first, OEM last.
inline constexpr unsigned kTypeOrderCount = 11;

// The string ID of the name of the record type at typeIndex in the type
// order; past the type order there is no type name, and the IDs that
// follow belong to other texts, so those get the unknown code's text.
unsigned TypeNameId(unsigned typeIndex);

// GetFieldTitle and GetFieldLocation answer only once a field is selected.
inline constexpr std::uint32_t kNoFieldSelected = 0x7FFFFFFF;

class CSdr {
  public:
    explicit CSdr(const CSdrTexts& texts) : mTexts(texts) {}
    virtual ~CSdr();
    CSdr(const CSdr&) = delete;
    CSdr& operator=(const CSdr&) = delete;

    virtual unsigned GetNumberOfFields(unsigned& count) = 0;
    // Titles and locations point into the string table.
    virtual unsigned GetFieldTitle(wchar_t*& title) = 0;
    // Values, names and titles point into this record's text buffer and
    // stay valid until the next such call on the record.
    virtual unsigned GetFieldValue(wchar_t*& value) = 0;
    virtual unsigned GetFieldLocation(wchar_t*& location) = 0;
    // bytes holds the whole record: the header and as many bytes as its
    // length byte says.
    virtual unsigned DecodeSDR(unsigned char* bytes) = 0;
    // Appends the record, with its tags, to the SDR file at path.
    virtual unsigned WriteRecordToFile(const wchar_t* path) = 0;
    virtual unsigned GetName(wchar_t*& name);
    virtual unsigned GetSdrTitle(wchar_t*& title);
    // The IPMI record type: 1, 2, 3, 8, 9, 16, 17, 18, 19, 20 or 192.
    virtual unsigned GetTypeAsInteger(unsigned& type) = 0;
    virtual unsigned GetOEMData(unsigned char*& data);

    // The name of the record type at typeIndex in the library's type order
    // (0 full sensor .. 10 OEM), not the record type itself.
    unsigned ConvertTypeToString(unsigned typeIndex, wchar_t*& name);
    // The text of code in the table of kind (CodeTableKind), copied into out.
    // A device type modifier is looked up with its device type.
    void DecodeType(unsigned kind, unsigned code, std::span<wchar_t> out, unsigned deviceType = 0);
    wchar_t* GetStrFromTable(unsigned stringId) const { return mTexts.Text(stringId); }
    unsigned SelectField(unsigned index);
    // value as bits binary digits in groups of four, then "b". A value that
    // needs more digits is written from its low bits and reported.
    unsigned BinaryFormat(std::span<wchar_t> out, unsigned value, unsigned bits);
    unsigned DecodeHeader(const unsigned char* bytes, RecHdrStructTag& header);
    // Keeps copies of the strings; the caller keeps its own.
    unsigned AddTags(const OrderedList<char*>& tags);
    unsigned CopyrawSDR(const unsigned char* bytes);
    // Copies the raw record to dst when there is a copy; count receives its
    // byte count. Without a copy, or without dst, nothing is written.
    unsigned WriteSDRToBuffer(unsigned char* dst, unsigned char& count) const;
    // Succeeds without a text: the type's name comes from GetTypeAsInteger
    // and ConvertTypeToString.
    unsigned GetTypeAsString(wchar_t*& name);

    // One line of the SDR file, narrowed; a line that writes nothing fails
    // with 0xC006000A.
    static unsigned wfprintf(std::FILE* file, const wchar_t* line);
    // The first lines of a record in the SDR file: its type, its tags, its
    // length and its header bytes, up to the heading of its body.
    unsigned WriteRecHdr(std::FILE* file, const RecHdrStructTag& header);

    const OrderedList<char*>& Tags() const { return mTags; }
    // The raw copy; empty without one.
    std::span<const unsigned char> RawBytes() const { return {mRaw.get(), mRawLength}; }

  protected:
    CSdrTexts mTexts;
    // The raw record's byte count, header included; 0 without a copy.
    std::uint8_t mRawLength = 0;
    OrderedList<char*> mTags;
    bool mDecoded = false;
    std::uint32_t mSelectedField = kNoFieldSelected;
    wchar_t mText[kSdrTextLength] = {};
    std::unique_ptr<unsigned char[]> mRaw;
};

}  // namespace Pemric_Private

#endif
