// Hand-built FRU images: the common header, info areas, multi-records and
// whole FRUs. Every part can be made wrong on purpose (a checksum off by
// some amount, a length byte that lies, padding that is not zero), so that
// a test shows how the library treats that one fault.
#ifndef SRVFW_TESTS_ORVEL_FRU_IMAGE_BUILDER_H
#define SRVFW_TESTS_ORVEL_FRU_IMAGE_BUILDER_H

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace fru_test {

using Bytes = std::vector<std::uint8_t>;

// A field of 8-bit text: C0h | length, then the text. One character makes
// C1h, the end-of-fields marker.
Bytes Text(std::string_view text);
// A field with the given type/length byte, whatever length it announces.
Bytes Field(std::uint8_t typeLength, const Bytes& data);

struct InfoAreaImage {
    std::uint8_t version = 1;
    Bytes areaBytes;            // chassis type; language and date; language
    std::vector<Bytes> fields;  // the fixed fields, then the custom fields
    // The length byte; by default the fewest units that hold the fields,
    // the marker and the checksum.
    std::optional<std::uint8_t> units;
    int checksumError = 0;  // added to the correct checksum

    // The fields up to and including the C1h marker, as a configuration
    // file carries them.
    Bytes Content() const;
    // The whole area: content, zero padding, checksum.
    Bytes Build() const;
};

InfoAreaImage ChassisArea(std::uint8_t type, std::vector<Bytes> fields);
// Date bytes as stored (little-endian minutes since 1996).
InfoAreaImage BoardArea(std::array<std::uint8_t, 3> date, std::vector<Bytes> fields);
InfoAreaImage ProductArea(std::vector<Bytes> fields);

// Default fixed fields: "C0" (empty text) for each.
std::vector<Bytes> EmptyFields(std::size_t count);

// Sets the last byte so that the whole area sums to 0 again.
Bytes WithChecksum(Bytes area);

// A multi-record with correct checksums; `last` sets the end-of-list bit.
Bytes MultiRecord(std::uint8_t type, const Bytes& data, bool last);

struct HeaderImage {
    std::uint8_t version = 1;
    // Internal use, chassis, board, product, multi-record, in 8-byte units.
    std::array<std::uint8_t, 5> offsets{};
    std::uint8_t pad = 0;
    int checksumError = 0;

    Bytes Build() const;
};

// A FRU whose areas lie back to back after the header in the order
// internal use, chassis, board, product, multi-record; the header gets
// their offsets. Absent areas are empty.
struct FruLayout {
    Bytes internalUse, chassis, board, product, multiRecords;

    HeaderImage Header() const;
    Bytes Build() const;
};

// Copies `bytes` into the image at `offset`, growing it as needed.
void Place(Bytes& image, std::size_t offset, const Bytes& bytes);

Bytes Concat(std::initializer_list<Bytes> parts);

}  // namespace fru_test

#endif
