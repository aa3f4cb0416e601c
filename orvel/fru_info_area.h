// The frame the chassis, board and product info areas share:
//
//   format version, length in 8-byte units (1 to 64), the area's own bytes
//   (chassis type; language code and manufacturing date/time; language
//   code), the fixed fields, any custom fields, the end-of-fields marker C1h,
//   zero padding, and a checksum in the last byte that makes the area sum
//   to 0.
//
// An area keeps the size it was read with: edits use its padding and never
// grow or shrink it, since the common header's offsets are never rewritten.
//
// Fields are numbered from 0: the fixed items first (for chassis and board
// the first is the chassis type or the manufacturing date/time, held in the
// area's own bytes), then the custom fields. The text and the setter count
// the custom fields from the last stored one (index F is the last stored
// custom field), the raw accessor from the first stored one. Hosts see both
// numberings through the interface, so neither is changed.
#ifndef SRVFW_ORVEL_FRU_INFO_AREA_H
#define SRVFW_ORVEL_FRU_INFO_AREA_H

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orvel/fru_defs.h"
#include "orvel/fru_field.h"
#include "orvel/fru_format.h"

namespace Orvel_Private {

// What sets one kind of info area apart from the others.
struct CInfoAreaLayout {
    const wchar_t* className;  // prefix of the debug lines
    // The bytes between the length byte and the first field.
    std::size_t areaByteCount;
    // The part of those bytes that shows as field 0; length 0: none.
    std::size_t itemOffset;
    std::size_t itemLength;
    std::uint32_t firstField;  // FRU_FIELD of field 0
    unsigned firstTitle;       // title text of field 0
    // The setter named in the debug lines of each fixed text field, in order.
    std::span<const wchar_t* const> fieldSetters;
    // Board and product tell the host why a value was refused.
    bool reportsRefusals;
    const wchar_t* tooLongWords;  // debug words for a value that does not fit
};

class CFruInfoArea {
  public:
    static constexpr std::size_t kMaxAreaBytes = 4;
    static constexpr std::size_t kMaxFixedTextFields = 7;

    // Parses an area image: a whole area (padding and checksum included,
    // exactly as long as its length byte says), or its bytes up to and
    // including the end-of-fields marker, shorter than the length byte says,
    // whose checksum is then computed. A refused image leaves the area as
    // it was.
    bool SetData(std::span<const std::uint8_t> bytes);
    // The rebuilt area, GetLength() bytes; empty for an area never loaded.
    std::span<const std::uint8_t> GetData();
    std::uint32_t GetLength() const;
    // A multiple of 8 from 8 to 512 that still holds the fields.
    bool SetLength(std::uint32_t bytes);
    // The free bytes a longer value may take.
    std::uint32_t GetPadLength() const;
    std::uint8_t UpdateChecksum();
    bool IsValid() const;

    std::uint32_t GetNumberOfFields() const;
    std::uint32_t GetFieldIndexFromEnum(std::uint32_t field) const;
    // Owned by the string table; null past the last field.
    const wchar_t* GetFieldTitleFromIndex(std::uint32_t index) const;
    // A text field's value, owned by the area until its next text request.
    const wchar_t* GetFieldValueFromIndex(std::uint32_t index);
    // The raw bytes of field `index`; none past the last field.
    std::optional<std::span<const std::uint8_t>> GetFieldData(std::uint32_t index) const;
    // Sets a text field. The value must fit the field's current length plus
    // the padding, and at most 63 bytes; its type/length byte gets the
    // type's bits. A single byte of 8-bit text is refused: its type/length
    // byte would be the end-of-fields marker.
    bool SetFieldData(std::uint32_t index, const std::uint8_t* bytes, std::uint32_t length,
                      FRU_FIELD_TYPE type);

    // The encoding of text field `index` (numbered as for the text); none
    // for the chassis type, the date and past the last field.
    std::optional<FRU_FIELD_TYPE> GetFieldEncoding(std::uint32_t index) const;
    // Sets text field `index` from text, in its own encoding when that holds
    // the text exactly, otherwise as 8-bit text, under the rules of
    // SetFieldData. Text that no encoding holds (see FindUnstorableCharacter)
    // is refused.
    bool SetFieldText(std::uint32_t index, std::wstring_view text);

    bool IsModified() const;
    void ResetIsModified();
    // For an image set whole by a caller: the area is written back.
    void MarkModified() { mModified = true; }

    // The last image SetData refused had the end-of-fields marker where a
    // fixed field should stand.
    bool EndedBeforeFixedFields() const { return mEndedBeforeFixedFields; }
    // The image loaded last had padding other than zeros, which the area
    // does not keep.
    bool HadNonZeroPadding() const { return mContents.paddingNotZero; }

    // For writing the area out field by field.
    std::uint8_t GetFormatVersion() const { return mContents.formatVersion; }
    std::span<const CFruField> GetFixedFields() const {
        return std::span(mContents.fixedFields).first(mLayout->fieldSetters.size());
    }
    std::span<const CFruCustomField> GetCustomFields() const { return mContents.customFields; }

  protected:
    explicit CFruInfoArea(const CInfoAreaLayout& layout) : mLayout(&layout) {}

    std::span<const std::uint8_t> GetAreaBytes() const {
        return std::span(mContents.areaBytes).first(mLayout->areaByteCount);
    }
    std::span<std::uint8_t> Item() {
        return std::span(mContents.areaBytes).subspan(mLayout->itemOffset, mLayout->itemLength);
    }
    // After a successful edit: a fresh checksum and the modified flag.
    void ContentChanged();

    // The text handed out last.
    std::wstring mText;

  private:
    struct Contents {
        std::uint8_t formatVersion = 0;
        std::uint8_t length = 0;  // in 8-byte units
        std::array<std::uint8_t, kMaxAreaBytes> areaBytes{};
        std::array<CFruField, kMaxFixedTextFields> fixedFields{};
        std::vector<CFruCustomField> customFields;  // in stored order
        std::uint8_t checksum = 0;
        bool paddingNotZero = false;
    };

    enum class CustomOrder { LastStoredFirst, StoredOrder };

    const wchar_t* Parse(std::span<const std::uint8_t> bytes, Contents& parsed) const;
    std::uint32_t FixedItems() const;
    // Everything before the padding, the end-of-fields marker included.
    std::size_t ContentLength() const;
    // The bytes a longer value could take; negative for an area whose length
    // byte cannot hold its fields (one never loaded).
    std::int64_t Room() const;
    // Writes the content; the bytes written, or 0 when it does not fit.
    std::size_t WriteContent(std::span<std::uint8_t> out) const;
    CFruField* FieldAt(std::uint32_t index, CustomOrder order);
    const CFruField* FieldAt(std::uint32_t index, CustomOrder order) const;
    const wchar_t* SetterName(std::uint32_t index) const;
    bool SetTextField(CFruField& field, std::uint32_t index, const std::uint8_t* bytes,
                      std::uint32_t length, FRU_FIELD_TYPE type);

    const CInfoAreaLayout* mLayout;
    Contents mContents;
    bool mModified = false;
    bool mEndedBeforeFixedFields = false;
    std::array<std::uint8_t, kMaxInfoAreaLength> mImage{};  // what GetData hands out
};

}  // namespace Orvel_Private

#endif
