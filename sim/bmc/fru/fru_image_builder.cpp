#include "sim/bmc/fru/fru_image_builder.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <string>

namespace sim::fru {

namespace {

constexpr std::size_t kUnit = 8;
constexpr std::size_t kMaxUnits = 255;
constexpr std::size_t kMaxRecordData = 255;
constexpr std::uint8_t kEndOfListBit = 0x80;
constexpr std::uint8_t kRecordVersionMask = 0x0F;
constexpr std::uint8_t kInternalUseVersion = 0x01;
constexpr std::uint32_t kMaxMinutes = 0xFFFFFF;
constexpr std::uint8_t kErased = 0xFF;

std::uint8_t ZeroingChecksum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(-std::accumulate(bytes.begin(), bytes.end(), 0u));
}

const char* AreaName(Area area) {
    switch (area) {
        case Area::kInternalUse:
            return "internal use";
        case Area::kChassis:
            return "chassis";
        case Area::kBoard:
            return "board";
        case Area::kProduct:
            return "product";
        case Area::kMultiRecord:
            return "multi-record";
    }
    return "?";
}

std::size_t RoundUp(std::size_t bytes) {
    return (bytes + kUnit - 1) / kUnit * kUnit;
}

void Append(std::vector<std::uint8_t>& bytes, const Field& field) {
    const std::vector<std::uint8_t> encoded = field.Encoded();
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
}

// With endAfter, the marker comes after that many fixed fields: the rest
// and the custom fields are left out.
void AppendFields(std::vector<std::uint8_t>& bytes, std::initializer_list<const Field*> fixed,
                  const std::vector<Field>& custom, std::optional<std::size_t> endAfter) {
    std::size_t written = 0;
    for (const Field* field : fixed) {
        if (endAfter && written++ == *endAfter) return;
        Append(bytes, *field);
    }
    if (endAfter) return;
    for (const Field& field : custom) Append(bytes, field);
}

}  // namespace

std::uint32_t MinutesSince1996(std::int64_t unixSeconds) {
    const std::int64_t minutes = (unixSeconds - kFruEpochUnixSeconds) / 60;
    if (minutes < 0 || minutes > kMaxMinutes) {
        throw std::invalid_argument("a FRU date lies between 1996 and 2027");
    }
    return static_cast<std::uint32_t>(minutes);
}

// ------------------------------------------------------------ contents

FruImageBuilder& FruImageBuilder::InternalUse(std::vector<std::uint8_t> data) {
    mInternalUse = std::move(data);
    return *this;
}

FruImageBuilder& FruImageBuilder::Chassis(ChassisInfo chassis) {
    mChassis = std::move(chassis);
    return *this;
}

FruImageBuilder& FruImageBuilder::Board(BoardInfo board) {
    mBoard = std::move(board);
    return *this;
}

FruImageBuilder& FruImageBuilder::Product(ProductInfo product) {
    mProduct = std::move(product);
    return *this;
}

FruImageBuilder& FruImageBuilder::Record(MultiRecord record) {
    mRecords.push_back(std::move(record));
    return *this;
}

FruImageBuilder& FruImageBuilder::AreaBytes(Area area, std::size_t bytes) {
    mMinimumBytes[area] = bytes;
    return *this;
}

FruImageBuilder& FruImageBuilder::GapBefore(Area area, std::size_t units) {
    mGapUnits[area] = units;
    return *this;
}

FruImageBuilder& FruImageBuilder::Order(std::vector<Area> order) {
    mOrder = std::move(order);
    return *this;
}

FruImageBuilder& FruImageBuilder::PaddingByte(Area area, std::uint8_t byte) {
    mPadding[area] = byte;
    return *this;
}

FruImageBuilder& FruImageBuilder::EndAfterFixedFields(Area area, std::size_t fields) {
    mEndAfter[area] = fields;
    return *this;
}

std::optional<std::size_t> FruImageBuilder::EndAfter(Area area) const {
    const auto found = mEndAfter.find(area);
    if (found == mEndAfter.end()) return std::nullopt;
    return found->second;
}

FruImageBuilder& FruImageBuilder::ImageSize(std::size_t bytes) {
    mImageSize = bytes;
    return *this;
}

// ------------------------------------------------------------ damage

FruImageBuilder& FruImageBuilder::HeaderVersion(std::uint8_t version) {
    mHeaderVersion = version;
    return *this;
}

FruImageBuilder& FruImageBuilder::HeaderOffset(Area area, std::uint8_t units) {
    mHeaderOffsets[area] = units;
    return *this;
}

FruImageBuilder& FruImageBuilder::HeaderChecksumDelta(std::uint8_t delta) {
    mHeaderChecksumDelta = delta;
    return *this;
}

FruImageBuilder& FruImageBuilder::AreaChecksumDelta(Area area, std::uint8_t delta) {
    mAreaChecksumDelta[area] = delta;
    return *this;
}

FruImageBuilder& FruImageBuilder::AreaLengthByte(Area area, std::uint8_t units) {
    mAreaLengthBytes[area] = units;
    return *this;
}

FruImageBuilder& FruImageBuilder::NoEndMarker(Area area) {
    mNoEndMarker[area] = true;
    return *this;
}

FruImageBuilder& FruImageBuilder::RecordDataChecksumDelta(std::size_t index, std::uint8_t delta) {
    mRecordDamage[index].dataChecksumDelta = delta;
    return *this;
}

FruImageBuilder& FruImageBuilder::RecordHeaderChecksumDelta(std::size_t index, std::uint8_t delta) {
    mRecordDamage[index].headerChecksumDelta = delta;
    return *this;
}

FruImageBuilder& FruImageBuilder::RecordLengthByte(std::size_t index, std::uint8_t length) {
    mRecordDamage[index].lengthByte = length;
    return *this;
}

FruImageBuilder& FruImageBuilder::NoEndOfList() {
    mEndOfList = false;
    return *this;
}

// ------------------------------------------------------------ areas

// Version, length, the area's own bytes and fields, C1h, zero padding and
// the checksum.
std::vector<std::uint8_t> FruImageBuilder::InfoArea(Area area,
                                                    std::vector<std::uint8_t> fields) const {
    if (!mNoEndMarker.count(area)) fields.push_back(kEndOfFields);
    const auto minimum = mMinimumBytes.find(area);
    const std::size_t length =
        RoundUp(std::max(fields.size() + 1, minimum == mMinimumBytes.end() ? 0 : minimum->second));
    if (length / kUnit > kMaxUnits) {
        throw std::invalid_argument(std::string("the ") + AreaName(area) + " area needs " +
                                    std::to_string(length) + " bytes, more than 255 x 8");
    }
    const auto padding = mPadding.find(area);
    fields.resize(length, padding == mPadding.end() ? 0 : padding->second);
    const auto lengthByte = mAreaLengthBytes.find(area);
    fields[1] = lengthByte == mAreaLengthBytes.end() ? static_cast<std::uint8_t>(length / kUnit)
                                                     : lengthByte->second;
    const auto delta = mAreaChecksumDelta.find(area);
    fields.back() =
        static_cast<std::uint8_t>(ZeroingChecksum(std::span(fields).first(length - 1)) +
                                  (delta == mAreaChecksumDelta.end() ? 0 : delta->second));
    return fields;
}

std::vector<std::uint8_t> FruImageBuilder::MultiRecordArea() const {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < mRecords.size(); ++i) {
        const MultiRecord& record = mRecords[i];
        if (record.data.size() > kMaxRecordData) {
            throw std::invalid_argument("multi-record " + std::to_string(i) + " holds " +
                                        std::to_string(record.data.size()) +
                                        " bytes, more than 255");
        }
        const auto found = mRecordDamage.find(i);
        const RecordDamage damage = found == mRecordDamage.end() ? RecordDamage{} : found->second;
        const bool last = i + 1 == mRecords.size();
        std::vector<std::uint8_t> header = {
            record.type,
            static_cast<std::uint8_t>((last && mEndOfList ? kEndOfListBit : 0) |
                                      (record.version & kRecordVersionMask)),
            damage.lengthByte.value_or(static_cast<std::uint8_t>(record.data.size())),
            static_cast<std::uint8_t>(ZeroingChecksum(record.data) + damage.dataChecksumDelta)};
        header.push_back(
            static_cast<std::uint8_t>(ZeroingChecksum(header) + damage.headerChecksumDelta));
        bytes.insert(bytes.end(), header.begin(), header.end());
        bytes.insert(bytes.end(), record.data.begin(), record.data.end());
    }
    return bytes;
}

std::vector<std::uint8_t> FruImageBuilder::AreaBytesOf(Area area) const {
    switch (area) {
        case Area::kInternalUse: {
            if (!mInternalUse) return {};
            std::vector<std::uint8_t> bytes = {kInternalUseVersion};
            bytes.insert(bytes.end(), mInternalUse->begin(), mInternalUse->end());
            const auto minimum = mMinimumBytes.find(area);
            bytes.resize(RoundUp(
                std::max(bytes.size(), minimum == mMinimumBytes.end() ? 0 : minimum->second)));
            return bytes;
        }
        case Area::kChassis: {
            if (!mChassis) return {};
            std::vector<std::uint8_t> bytes = {mChassis->version, 0, mChassis->type};
            AppendFields(bytes, {&mChassis->partNumber, &mChassis->serialNumber}, mChassis->custom,
                         EndAfter(area));
            return InfoArea(area, std::move(bytes));
        }
        case Area::kBoard: {
            if (!mBoard) return {};
            if (mBoard->manufactured > kMaxMinutes) {
                throw std::invalid_argument("a board manufacturing date holds 24 bits");
            }
            std::vector<std::uint8_t> bytes = {
                mBoard->version,
                0,
                mBoard->language,
                static_cast<std::uint8_t>(mBoard->manufactured),
                static_cast<std::uint8_t>(mBoard->manufactured >> 8),
                static_cast<std::uint8_t>(mBoard->manufactured >> 16)};
            AppendFields(bytes,
                         {&mBoard->manufacturer, &mBoard->productName, &mBoard->serialNumber,
                          &mBoard->partNumber, &mBoard->fruFileId},
                         mBoard->custom, EndAfter(area));
            return InfoArea(area, std::move(bytes));
        }
        case Area::kProduct: {
            if (!mProduct) return {};
            std::vector<std::uint8_t> bytes = {mProduct->version, 0, mProduct->language};
            AppendFields(bytes,
                         {&mProduct->manufacturer, &mProduct->name, &mProduct->partNumber,
                          &mProduct->productVersion, &mProduct->serialNumber, &mProduct->assetTag,
                          &mProduct->fruFileId},
                         mProduct->custom, EndAfter(area));
            return InfoArea(area, std::move(bytes));
        }
        case Area::kMultiRecord:
            return MultiRecordArea();
    }
    return {};
}

// ------------------------------------------------------------ the image

std::map<Area, FruImageBuilder::Placement> FruImageBuilder::Layout() const {
    std::map<Area, Placement> layout;
    std::size_t offset = kHeaderBytes;
    std::vector<Area> order = mOrder;
    for (const Area area : kAreas) {
        if (std::find(order.begin(), order.end(), area) == order.end()) order.push_back(area);
    }
    for (const Area area : order) {
        const std::size_t length = AreaBytesOf(area).size();
        if (length == 0) continue;
        const auto gap = mGapUnits.find(area);
        offset += gap == mGapUnits.end() ? 0 : gap->second * kUnit;
        if (offset / kUnit > kMaxUnits) {
            throw std::invalid_argument(std::string("the ") + AreaName(area) +
                                        " area would start past the reach of the common header");
        }
        layout[area] = {offset, length};
        offset += length;
    }
    return layout;
}

std::optional<FruImageBuilder::Placement> FruImageBuilder::Where(Area area) const {
    const auto layout = Layout();
    const auto found = layout.find(area);
    if (found == layout.end()) return std::nullopt;
    return found->second;
}

std::vector<std::uint8_t> FruImageBuilder::Build() const {
    const std::map<Area, Placement> layout = Layout();
    std::vector<std::uint8_t> image(kHeaderBytes, 0);
    image[0] = mHeaderVersion;
    for (std::size_t i = 0; i < kAreas.size(); ++i) {
        const Area area = kAreas[i];
        const auto placed = layout.find(area);
        const auto forced = mHeaderOffsets.find(area);
        if (forced != mHeaderOffsets.end()) {
            image[1 + i] = forced->second;
        } else if (placed != layout.end()) {
            image[1 + i] = static_cast<std::uint8_t>(placed->second.offset / kUnit);
        }
    }
    image[kHeaderBytes - 1] = static_cast<std::uint8_t>(
        ZeroingChecksum(std::span(image).first(kHeaderBytes - 1)) + mHeaderChecksumDelta);

    std::vector<std::pair<Area, Placement>> byOffset(layout.begin(), layout.end());
    std::sort(byOffset.begin(), byOffset.end(),
              [](const auto& a, const auto& b) { return a.second.offset < b.second.offset; });
    for (const auto& [area, placement] : byOffset) {
        const std::vector<std::uint8_t> bytes = AreaBytesOf(area);
        image.resize(placement.offset, 0);
        image.insert(image.end(), bytes.begin(), bytes.end());
    }
    if (mImageSize != 0) {
        if (image.size() > mImageSize) {
            throw std::invalid_argument("the FRU image needs " + std::to_string(image.size()) +
                                        " bytes, more than " + std::to_string(mImageSize));
        }
        image.resize(mImageSize, kErased);
    }
    return image;
}

}  // namespace sim::fru
