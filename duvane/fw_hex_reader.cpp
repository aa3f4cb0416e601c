#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "duvane/duvane_messages.h"
#include "duvane/duvane_status.h"
#include "duvane/fw_file.h"
#include "duvane/fw_hex_address.h"
#include "duvane/fw_hex_digits.h"
#include "duvane/fw_hex_lines.h"
#include "duvane/fw_image_file.h"
#include "duvane/fw_image_strings.h"

namespace DirectFwUpdate_Private {

namespace {

constexpr std::size_t kLargestRecordData = std::tuple_size_v<decltype(VARNOHEXREC::data)>;
// Byte count, load offset, record type and checksum around the data.
constexpr std::size_t kRecordFrameBytes = 5;
// ':', the frame and 16 data bytes as digits, and the newline.
constexpr std::uint64_t kLineOf16DataBytes = 1 + 2 * (kRecordFrameBytes + 16) + 1;

// Which bytes of the update buffer a data record has placed, so that a
// record writing over an earlier one is refused instead of silently
// winning: one bit a byte.
class PlacedBytes {
  public:
    explicit PlacedBytes(std::size_t size) : mWords((size + kBits - 1) / kBits) {}

    // Marks [first, first + count); false when one of them was marked before.
    bool Mark(std::size_t first, std::size_t count) {
        const std::size_t end = first + count;
        for (std::size_t index = first; index < end;) {
            const std::size_t bit = index % kBits;
            const std::size_t bits = std::min(kBits - bit, end - index);
            const std::uint64_t mask =
                (bits == kBits ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1) << bit;
            std::uint64_t& word = mWords[index / kBits];
            if ((word & mask) != 0) return false;
            word |= mask;
            index += bits;
        }
        return true;
    }

  private:
    static constexpr std::size_t kBits = 64;
    std::vector<std::uint64_t> mWords;
};

int RefuseLine(unsigned stringIndex, unsigned line) {
    SetErrorMessage(stringIndex, line);
    return DUVANE_IMAGE_FORMAT;
}

// Blanks after the checksum are taken; anything else there is not.
std::string_view WithoutTrailingBlanks(std::string_view text) {
    const std::size_t last = text.find_last_not_of(" \t\r");
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

// Decodes one line into `record`. Every length is checked against the line
// before a byte is taken from it, so no line can lead the reader past its
// end. The digits are turned into bytes in one pass, which also finds any
// character that is not a digit and sums the bytes for the checksum.
int DecodeRecord(std::string_view text, unsigned line, VARNOHEXREC& record) {
    text = WithoutTrailingBlanks(text);
    if (text.empty() || text.front() != ':') return RefuseLine(kStringLineNotRecord, line);
    const std::string_view digits = text.substr(1);
    std::array<std::uint8_t, kLongestHexLine / 2> bytes;
    const std::size_t pairs = digits.size() / 2;
    unsigned sum = 0;
    // Not a digit is -1, so one OR over every pair is negative if any is.
    int valueOr = digits.size() % 2 == 0 ? 0 : HexDigitValue(digits.back());
    for (std::size_t i = 0; i < pairs; ++i) {
        const int value = HexPairValue(&digits[2 * i]);
        valueOr |= value;
        bytes[i] = static_cast<std::uint8_t>(value);
        sum += bytes[i];
    }
    if (valueOr < 0) return RefuseLine(kStringLineNotHex, line);
    if (pairs == 0) return RefuseLine(kStringLineCountMismatch, line);
    const std::uint8_t count = bytes[0];
    if (count > kLargestRecordData) return RefuseLine(kStringLineTooManyBytes, line);
    if (digits.size() != 2 * (kRecordFrameBytes + count)) {
        return RefuseLine(kStringLineCountMismatch, line);
    }
    if ((sum & 0xFF) != 0) return RefuseLine(kStringLineChecksum, line);
    record.byteCount = count;
    record.loadOffset = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
    record.recordType = bytes[3];
    std::copy_n(bytes.begin() + 4, count, record.data.begin());
    record.checksum = bytes[4 + count];
    const bool setsBase = record.recordType == kHexSegmentAddressRecord ||
                          record.recordType == kHexLinearAddressRecord;
    if (setsBase && count < 2) return RefuseLine(kStringLineAddressBytesMissing, line);
    return DUVANE_SUCCESS;
}

// Decodes the line and stores a data record's bytes in the buffer, or
// takes the base an address record sets.
int PlaceRecord(std::string_view text, unsigned line, std::uint32_t& base, PlacedBytes& placed,
                std::span<std::uint8_t> buffer, VARNOHEXREC& record) {
    if (const int status = DecodeRecord(text, line, record); status != DUVANE_SUCCESS) {
        return status;
    }
    if (record.recordType != kHexDataRecord) {
        SetsBaseAddress(record, base);
        return DUVANE_SUCCESS;
    }
    const std::uint64_t first = DataAddress(record, base);
    if (first + record.byteCount > buffer.size()) {
        const auto length = static_cast<unsigned>(
            std::min<std::uint64_t>(buffer.size(), std::numeric_limits<unsigned>::max()));
        SetErrorMessage(kStringLineOutsideImage, line, length);
        return DUVANE_IMAGE_FORMAT;
    }
    if (!placed.Mark(static_cast<std::size_t>(first), record.byteCount)) {
        return RefuseLine(kStringLineOverlaps, line);
    }
    std::copy_n(record.data.begin(), record.byteCount,
                buffer.begin() + static_cast<std::ptrdiff_t>(first));
    return DUVANE_SUCCESS;
}

}  // namespace

int CfwFile::ParseHexLines(std::FILE* file, std::uint64_t fileSize) {
    // Room for as many records as the file holds lines of 16 data bytes,
    // the common width, so that the list is not copied over and over as it
    // grows; reserved pages cost nothing until they are used.
    mRecords.reserve(static_cast<std::size_t>(fileSize / kLineOf16DataBytes));
    HexLineReader reader(file);
    PlacedBytes placed(mUpdateBuffer.size());
    std::uint32_t base = 0;
    unsigned line = 0;
    while (!reader.AtEnd()) {
        ++line;
        std::string_view text;
        const HexLineResult result = reader.Next(text);
        if (result == HexLineResult::End) break;
        if (result == HexLineResult::ReadError) return ImageReadFailed(mDisplayName);
        if (result == HexLineResult::TooLong) return RefuseLine(kStringLineTooLong, line);

        // Decoded in its place in the list: a record is 134 bytes, and an
        // image of many megabytes has a million of them.
        VARNOHEXREC& record = mRecords.emplace_back();
        if (const int status = PlaceRecord(text, line, base, placed, mUpdateBuffer, record);
            status != DUVANE_SUCCESS) {
            mRecords.pop_back();
            return status;
        }
        if (record.recordType == kHexEndOfFileRecord) return DUVANE_SUCCESS;
    }
    return RefuseLine(kStringNoEndOfFileRecord, line);
}

}  // namespace DirectFwUpdate_Private
