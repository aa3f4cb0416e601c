// The multi-record area: a chain of records, each a five-byte header (type
// ID, end-of-list bit and format version, data length, data checksum,
// header checksum) and up to 255 data bytes. Records are kept as stored and
// never interpreted.
#ifndef SRVFW_ORVEL_FRU_MULTIRECORD_H
#define SRVFW_ORVEL_FRU_MULTIRECORD_H

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "orvel/fru_format.h"

namespace Orvel_Private {

struct FRUMultiRecord {
    static constexpr std::size_t kHeaderLength = 5;
    static constexpr std::uint8_t kEndOfList = 0x80;

    // Takes a header and the data it announces; false when the bytes are
    // shorter than that or longer.
    bool SetData(std::span<const std::uint8_t> bytes);
    // The record as stored: header, then data.
    std::uint32_t GetLength() const { return kHeaderLength + mDataLength; }
    std::array<std::uint8_t, kHeaderLength> GetHeader() const {
        return {mTypeId, mFormat, mDataLength, mDataChecksum, mHeaderChecksum};
    }
    std::span<const std::uint8_t> GetRecordData() const { return {mData.data(), mDataLength}; }
    // Writes header and data at the start of `out`, which must hold them.
    void Write(std::span<std::uint8_t> out) const;

    bool IsEndOfList() const { return (mFormat & kEndOfList) != 0; }
    // Both checksums hold.
    bool IsValid() const;

    std::uint8_t mTypeId = 0;
    std::uint8_t mFormat = 0;  // bit 7: end of list; bits 6:0: format version
    std::uint8_t mDataLength = 0;
    std::uint8_t mDataChecksum = 0;
    std::uint8_t mHeaderChecksum = 0;
    std::array<std::uint8_t, kMaxMultiRecordDataLength> mData{};
};

// Splits multi-record bytes from a caller or a configuration file into
// records by their data length bytes alone (neither the end-of-list bit nor
// the checksums are looked at). None when a record does not lie wholly
// within the bytes.
std::optional<std::vector<FRUMultiRecord>> SplitMultiRecords(std::span<const std::uint8_t> bytes);

}  // namespace Orvel_Private

#endif
