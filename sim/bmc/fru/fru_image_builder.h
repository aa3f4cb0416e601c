// Builds FRU images in the layout of the IPMI Platform Management FRU
// Information Storage Definition, for tests, the demo and the simulated FRU
// devices' factory contents:
//
//   auto image = sim::fru::FruImageBuilder()
//                    .Board({.manufacturer = Field::Text("Kestrel"), ...})
//                    .Product({...})
//                    .Record({.type = 0x00, .data = {...}})
//                    .Build();
//
// Layout: the 8-byte common header (format version 01h, the five area
// offsets in 8-byte units, a zero pad byte, a checksum making the eight
// bytes sum to 0), then the areas present, back to back in the order
// internal use, chassis, board, product, multi-record (or the one Order
// gives).
//   internal use  format version 01h, then its bytes, zero-padded to a
//                 multiple of 8
//   chassis       version, length (8-byte units), chassis type, part and
//                 serial number, custom fields
//   board         version, length, language, manufacturing date (3 bytes,
//                 minutes since 1996-01-01 00:00 UTC, little-endian),
//                 manufacturer, product name, serial and part number, FRU
//                 file ID, custom fields
//   product       version, length, language, manufacturer, name,
//                 part/model number, version, serial number, asset tag, FRU
//                 file ID, custom fields
//   Each info area ends with the C1h marker, zero padding up to its last
//   byte and that byte as a checksum making the whole area sum to 0; its
//   length is the smallest multiple of 8 that holds it, or more when
//   AreaBytes asks for room.
//   multi-record  records of a 5-byte header (type, end-of-list bit 7 and
//                 format version, data length, data checksum, header
//                 checksum) and their data; the last record carries the
//                 end-of-list bit. Not padded.
// ImageSize pads the image with FFh, as an erased EEPROM reads.
//
// The damage knobs write what they are told over the correct values, so
// tests can offer a reader a wrong checksum or length of each kind. Content
// that the format cannot hold (a field over 63 bytes, an area over 255 x 8
// bytes, a record over 255 bytes, an image larger than ImageSize) throws
// std::invalid_argument from Build.
#ifndef SRVFW_SIM_BMC_FRU_FRU_IMAGE_BUILDER_H
#define SRVFW_SIM_BMC_FRU_FRU_IMAGE_BUILDER_H

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "sim/bmc/fru/fru_fields.h"

namespace sim::fru {

inline constexpr std::size_t kHeaderBytes = 8;
// Unix time of 1996-01-01 00:00 UTC, where board manufacturing dates count
// from.
inline constexpr std::int64_t kFruEpochUnixSeconds = 820454400;

// The 24-bit minute count of a Unix time (from 1996 on).
std::uint32_t MinutesSince1996(std::int64_t unixSeconds);

enum class Area { kInternalUse, kChassis, kBoard, kProduct, kMultiRecord };
// The areas in image order, which is also their common-header order.
inline constexpr std::array<Area, 5> kAreas = {Area::kInternalUse, Area::kChassis, Area::kBoard,
                                               Area::kProduct, Area::kMultiRecord};

struct ChassisInfo {
    std::uint8_t version = 0x01;
    std::uint8_t type = 0x17;  // rack mount chassis
    Field partNumber;
    Field serialNumber;
    std::vector<Field> custom;
};

struct BoardInfo {
    std::uint8_t version = 0x01;
    std::uint8_t language = 0x19;    // English
    std::uint32_t manufactured = 0;  // minutes since 1996-01-01 00:00 UTC
    Field manufacturer;
    Field productName;
    Field serialNumber;
    Field partNumber;
    Field fruFileId;
    std::vector<Field> custom;
};

struct ProductInfo {
    std::uint8_t version = 0x01;
    std::uint8_t language = 0x19;
    Field manufacturer;
    Field name;
    Field partNumber;
    Field productVersion;
    Field serialNumber;
    Field assetTag;
    Field fruFileId;
    std::vector<Field> custom;
};

struct MultiRecord {
    std::uint8_t type = 0x00;
    std::uint8_t version = 0x02;  // bits 3:0 of the second header byte
    std::vector<std::uint8_t> data;
};

class FruImageBuilder {
  public:
    // Where Build puts an area: byte offset and length.
    struct Placement {
        std::size_t offset = 0;
        std::size_t length = 0;
    };

    // The bytes after the internal use area's format version byte.
    FruImageBuilder& InternalUse(std::vector<std::uint8_t> data);
    FruImageBuilder& Chassis(ChassisInfo chassis);
    FruImageBuilder& Board(BoardInfo board);
    FruImageBuilder& Product(ProductInfo product);
    // Records in the order added; adding one creates the multi-record area.
    FruImageBuilder& Record(MultiRecord record);

    // An info or internal use area of at least this many bytes (rounded up
    // to a multiple of 8): padding for edits.
    FruImageBuilder& AreaBytes(Area area, std::size_t bytes);
    // Filler (zero bytes) between the previous area and this one.
    FruImageBuilder& GapBefore(Area area, std::size_t units);
    // The whole image this long, FFh after the last area.
    FruImageBuilder& ImageSize(std::size_t bytes);
    // The areas laid out in this order (areas left out follow in header
    // order); the header offsets follow them, so the image stays valid
    // (the product area first, the internal use area last...).
    FruImageBuilder& Order(std::vector<Area> order);
    // The bytes between an info area's C1h marker and its checksum, zero
    // unless set (FFh is common); the checksum still holds.
    FruImageBuilder& PaddingByte(Area area, std::uint8_t byte);
    // An info area whose C1h marker stands where fixed field number
    // `fields` (0 = the first) would: the fields from there on, custom ones
    // too, are left out, and the checksum holds.
    FruImageBuilder& EndAfterFixedFields(Area area, std::size_t fields);

    // ---- damage
    FruImageBuilder& HeaderVersion(std::uint8_t version);
    // The header offset byte of an area, instead of where the area lies (an
    // area not built can be announced this way, too).
    FruImageBuilder& HeaderOffset(Area area, std::uint8_t units);
    // Added to a correct checksum, so the bytes sum to delta.
    FruImageBuilder& HeaderChecksumDelta(std::uint8_t delta);
    FruImageBuilder& AreaChecksumDelta(Area area, std::uint8_t delta);
    // The length byte of an info area, the area's real size unchanged.
    FruImageBuilder& AreaLengthByte(Area area, std::uint8_t units);
    // An info area whose fields are not ended by C1h (zero bytes follow).
    FruImageBuilder& NoEndMarker(Area area);
    FruImageBuilder& RecordDataChecksumDelta(std::size_t index, std::uint8_t delta);
    FruImageBuilder& RecordHeaderChecksumDelta(std::size_t index, std::uint8_t delta);
    // The data length byte of a record, its data unchanged (the header
    // checksum is computed over the byte written).
    FruImageBuilder& RecordLengthByte(std::size_t index, std::uint8_t length);
    // The last record without the end-of-list bit.
    FruImageBuilder& NoEndOfList();

    std::vector<std::uint8_t> Build() const;
    // Where Build puts the area; nothing when it is not built.
    std::optional<Placement> Where(Area area) const;

  private:
    struct RecordDamage {
        std::uint8_t dataChecksumDelta = 0;
        std::uint8_t headerChecksumDelta = 0;
        std::optional<std::uint8_t> lengthByte;
    };
    std::vector<std::uint8_t> AreaBytesOf(Area area) const;
    std::vector<std::uint8_t> InfoArea(Area area, std::vector<std::uint8_t> fixed) const;
    std::vector<std::uint8_t> MultiRecordArea() const;
    std::map<Area, Placement> Layout() const;
    std::optional<std::size_t> EndAfter(Area area) const;

    std::optional<std::vector<std::uint8_t>> mInternalUse;
    std::optional<ChassisInfo> mChassis;
    std::optional<BoardInfo> mBoard;
    std::optional<ProductInfo> mProduct;
    std::vector<MultiRecord> mRecords;
    std::map<Area, std::size_t> mMinimumBytes;
    std::map<Area, std::size_t> mGapUnits;
    std::size_t mImageSize = 0;
    std::vector<Area> mOrder;
    std::map<Area, std::uint8_t> mPadding;
    std::map<Area, std::size_t> mEndAfter;

    std::uint8_t mHeaderVersion = 0x01;
    std::map<Area, std::uint8_t> mHeaderOffsets;
    std::uint8_t mHeaderChecksumDelta = 0;
    std::map<Area, std::uint8_t> mAreaChecksumDelta;
    std::map<Area, std::uint8_t> mAreaLengthBytes;
    std::map<Area, bool> mNoEndMarker;
    std::map<std::size_t, RecordDamage> mRecordDamage;
    bool mEndOfList = true;
};

// A FRU as this server's parts leave the factory, for the device of that
// name: chassis, board and product areas with 8-bit, 6-bit packed, BCD plus
// and binary fields, an internal use area and power supply, management
// access and OEM records, with room for edits in each info area. When that
// does not fit in capacity bytes, only board and product areas; the image
// is never larger than capacity (std::invalid_argument when even those do
// not fit).
FruImageBuilder SampleFru(std::string_view deviceName, std::size_t capacity);

}  // namespace sim::fru

#endif
