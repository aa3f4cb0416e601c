#include <algorithm>
#include <limits>
#include <new>
#include <string_view>

#include "bmc/trace.h"
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

// A hex file's buffer is at least the size of the controllers' flash, so
// that an image that leaves the top of the flash out still places its data
// at the flash's own addresses.
constexpr std::uint64_t kSmallestHexBuffer = 0x200000;
constexpr std::size_t kLargestRecordData = std::tuple_size_v<decltype(VARNOHEXREC::data)>;
// Byte count, load offset, record type and checksum around the data.
constexpr std::size_t kRecordFrameBytes = 5;

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
// before a digit is read, so no line can lead the reader past its end.
int DecodeRecord(std::string_view text, unsigned line, VARNOHEXREC& record) {
    text = WithoutTrailingBlanks(text);
    if (text.empty() || text.front() != ':') return RefuseLine(kStringLineNotRecord, line);
    const std::string_view digits = text.substr(1);
    if (!std::all_of(digits.begin(), digits.end(),
                     [](char c) { return HexDigitValue(c) != kNotHexDigit; })) {
        return RefuseLine(kStringLineNotHex, line);
    }
    if (digits.size() < 2) return RefuseLine(kStringLineCountMismatch, line);
    const std::uint8_t count = HexByte(digits.data());
    if (count > kLargestRecordData) return RefuseLine(kStringLineTooManyBytes, line);
    if (digits.size() != 2 * (kRecordFrameBytes + count)) {
        return RefuseLine(kStringLineCountMismatch, line);
    }
    if (CfwFile::strChecksum(digits.data(), static_cast<int>(digits.size())) != 0) {
        return RefuseLine(kStringLineChecksum, line);
    }
    record.byteCount = count;
    record.loadOffset = static_cast<std::uint16_t>(HexByte(&digits[2]) << 8 | HexByte(&digits[4]));
    record.recordType = HexByte(&digits[6]);
    for (std::size_t i = 0; i < count; ++i) record.data[i] = HexByte(&digits[8 + 2 * i]);
    record.checksum = HexByte(&digits[8 + 2 * count]);
    const bool setsBase = record.recordType == kHexSegmentAddressRecord ||
                          record.recordType == kHexLinearAddressRecord;
    if (setsBase && count < 2) return RefuseLine(kStringLineAddressBytesMissing, line);
    return DUVANE_SUCCESS;
}

}  // namespace

void CfwFile::StartReading(const wchar_t* path, const wchar_t* displayName) {
    const wchar_t* shown = displayName != nullptr ? displayName : path;
    mDisplayName = shown != nullptr ? shown : L"";
    mRecords.clear();
    mUpdateBuffer.clear();
}

int CfwFile::ReadHexFile(const wchar_t* path, const wchar_t* displayName) {
    CTrace trace(L"CfwFile", L"ReadHexFile");
    try {
        StartReading(path, displayName);
        std::optional<OpenedImageFile> opened = OpenImageFile(path, mDisplayName);
        if (!opened) {
            trace.Failure(L"Error Opening File");
            return DUVANE_FILE_OPEN_FAILED;
        }
        const std::uint64_t size = std::max(opened->size, kSmallestHexBuffer);
        if (size > mUpdateBuffer.max_size()) throw std::bad_alloc();
        mUpdateBuffer.assign(static_cast<std::size_t>(size), 0xFF);
        const int status = ParseHexLines(opened->file.get());
        if (status != DUVANE_SUCCESS) trace.Failure(L"Error Reading Hex File");
        return status;
    } catch (const std::bad_alloc&) {
        trace.Failure(L"Out Of Memory");
        return ImageOutOfMemory();
    }
}

int CfwFile::ParseHexLines(std::FILE* file) {
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

        VARNOHEXREC record;
        if (const int status = DecodeRecord(text, line, record); status != DUVANE_SUCCESS) {
            return status;
        }
        if (record.recordType == kHexDataRecord) {
            const std::uint64_t first = DataAddress(record, base);
            if (first + record.byteCount > mUpdateBuffer.size()) {
                const auto length = static_cast<unsigned>(std::min<std::uint64_t>(
                    mUpdateBuffer.size(), std::numeric_limits<unsigned>::max()));
                SetErrorMessage(kStringLineOutsideImage, line, length);
                return DUVANE_IMAGE_FORMAT;
            }
            if (!placed.Mark(static_cast<std::size_t>(first), record.byteCount)) {
                return RefuseLine(kStringLineOverlaps, line);
            }
            std::copy_n(record.data.begin(), record.byteCount,
                        mUpdateBuffer.begin() + static_cast<std::ptrdiff_t>(first));
        } else {
            SetsBaseAddress(record, base);
        }
        mRecords.push_back(record);
        if (record.recordType == kHexEndOfFileRecord) return DUVANE_SUCCESS;
    }
    return RefuseLine(kStringNoEndOfFileRecord, line);
}

}  // namespace DirectFwUpdate_Private
