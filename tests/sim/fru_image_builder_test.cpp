// The FRU image builder against the FRU Information Storage Definition, read
// back by a small checker written here apart from the builder: checksums,
// lengths, field walks, padding, the multi-record chain, the field
// encodings (6-bit packing against the standard's own example), and each
// damage knob breaking exactly what it names.
#include "sim/bmc/fru/fru_image_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using sim::fru::Area;
using sim::fru::Field;
using sim::fru::FruImageBuilder;
using Bytes = std::vector<std::uint8_t>;

unsigned SumOf(const Bytes& bytes, std::size_t offset, std::size_t length) {
    return std::accumulate(bytes.begin() + offset, bytes.begin() + offset + length, 0u) % 256;
}

struct Region {
    std::string name;
    std::size_t begin;
    std::size_t end;  // the next area's start, or the image's end
};

// The areas as the common header announces them, each running to the next.
std::vector<Region> Regions(const Bytes& image) {
    static const char* kNames[] = {"internal use", "chassis", "board", "product", "multi-record"};
    std::vector<Region> regions;
    for (int i = 0; i < 5; ++i) {
        if (image[1 + i] != 0) regions.push_back({kNames[i], image[1 + i] * 8u, image.size()});
    }
    std::sort(regions.begin(), regions.end(),
              [](const Region& a, const Region& b) { return a.begin < b.begin; });
    for (std::size_t i = 0; i + 1 < regions.size(); ++i) regions[i].end = regions[i + 1].begin;
    return regions;
}

// Fields of an info area from position `at`: the type/length bytes walked
// up to C1h; false when the marker is not found before the checksum.
bool WalkFields(const Bytes& image, std::size_t at, std::size_t end,
                std::vector<std::uint8_t>* typeLengths) {
    while (at < end - 1) {
        if (image[at] == 0xC1) {
            for (std::size_t pad = at + 1; pad < end - 1; ++pad) {
                if (image[pad] != 0) return false;
            }
            return true;
        }
        typeLengths->push_back(image[at]);
        at += 1 + (image[at] & 0x3F);
    }
    return false;
}

void CheckInfoArea(const Bytes& image, const Region& region, std::size_t fieldsAt,
                   std::size_t fixedFields, std::vector<std::string>* problems) {
    const std::size_t length = region.end - region.begin;
    if (image[region.begin + 1] * 8u != length) problems->push_back(region.name + " length");
    if (SumOf(image, region.begin, length) != 0) problems->push_back(region.name + " checksum");
    std::vector<std::uint8_t> fields;
    if (!WalkFields(image, region.begin + fieldsAt, region.end, &fields)) {
        problems->push_back(region.name + " end marker");
    } else if (fields.size() < fixedFields) {
        problems->push_back(region.name + " fields");
    }
}

void CheckRecords(const Bytes& image, const Region& region, std::vector<std::string>* problems) {
    std::size_t at = region.begin;
    for (int index = 0; at + 5 <= region.end; ++index) {
        const std::string name = "record " + std::to_string(index);
        const std::size_t length = image[at + 2];
        if (SumOf(image, at, 5) != 0) problems->push_back(name + " header checksum");
        if (at + 5 + length > region.end ||
            (SumOf(image, at + 5, length) + image[at + 3]) % 256 != 0) {
            problems->push_back(name + " data checksum");
        }
        if (image[at + 1] & 0x80) return;
        at += 5 + length;
    }
    problems->push_back("end of list");
}

// Every rule of the format the image breaks, by name; none for a sound one.
std::vector<std::string> Problems(const Bytes& image) {
    std::vector<std::string> problems;
    if ((image[0] & 0x07) != 1) problems.push_back("header version");
    if (SumOf(image, 0, 8) != 0) problems.push_back("header checksum");
    for (const Region& region : Regions(image)) {
        if (region.name == "internal use") {
            if (image[region.begin] != 0x01) problems.push_back("internal use version");
        } else if (region.name == "chassis") {
            CheckInfoArea(image, region, 3, 2, &problems);
        } else if (region.name == "board") {
            CheckInfoArea(image, region, 6, 5, &problems);
        } else if (region.name == "product") {
            CheckInfoArea(image, region, 3, 7, &problems);
        } else {
            CheckRecords(image, region, &problems);
        }
    }
    return problems;
}

FruImageBuilder Sample() {
    return sim::fru::SampleFru("baseboard", 2048);
}

// ------------------------------------------------------------ encodings

TEST(FruFieldEncoding, SixBitPackingMatchesTheStandardsExampleAndHandWorkedOnes) {
    // "IPMI" is the FRU Information Storage Definition's own example.
    EXPECT_EQ(sim::fru::PackSixBitAscii("IPMI"), (Bytes{0x29, 0xDC, 0xA6}));
    // A = 21h in bits 5:0; B = 22h in bits 11:6.
    EXPECT_EQ(sim::fru::PackSixBitAscii("A"), (Bytes{0x21}));
    EXPECT_EQ(sim::fru::PackSixBitAscii("AB"), (Bytes{0xA1, 0x08}));
    EXPECT_EQ(sim::fru::UnpackSixBitAscii(Bytes{0x29, 0xDC, 0xA6}), "IPMI");
}

TEST(FruFieldEncoding, EverySixBitCharacterSurvivesTheRoundTripAtEveryLength) {
    std::string all;
    for (char c = 0x20; c <= 0x5F; ++c) all += c;
    for (std::size_t length = 1; length <= 9; ++length) {
        for (std::size_t start = 0; start + length <= all.size(); start += length) {
            const std::string text = all.substr(start, length);
            const Bytes packed = sim::fru::PackSixBitAscii(text);
            EXPECT_EQ(packed.size(), (length * 6 + 7) / 8) << text;
            const std::string back = sim::fru::UnpackSixBitAscii(packed);
            // A partial last byte reads back as blanks.
            EXPECT_EQ(back.substr(0, length), text);
            EXPECT_EQ(back.find_first_not_of(' ', length), std::string::npos) << text;
        }
    }
}

TEST(FruFieldEncoding, BcdPlusPutsTheFirstCharacterInTheHighNibble) {
    EXPECT_EQ(sim::fru::PackBcdPlus("12-3.4"), (Bytes{0x12, 0xB3, 0xC4}));
    EXPECT_EQ(sim::fru::PackBcdPlus("123"), (Bytes{0x12, 0x3A}));
    EXPECT_EQ(sim::fru::UnpackBcdPlus(Bytes{0x20, 0x23, 0xB0, 0x5F}), "2023-05?");
}

TEST(FruFieldEncoding, TypeLengthBytesCarryTheTypeAndTheDataLength) {
    EXPECT_EQ(Field::Text("AB").TypeLength(), 0xC2);
    EXPECT_EQ(Field::Empty().TypeLength(), 0xC0);
    EXPECT_EQ(Field::Binary({1, 2, 3}).TypeLength(), 0x03);
    EXPECT_EQ(Field::BcdPlus("1234").TypeLength(), 0x42);
    EXPECT_EQ(Field::SixBitAscii("IPMI").TypeLength(), 0x83);
    EXPECT_EQ(Field::Text("AB").Encoded(), (Bytes{0xC2, 'A', 'B'}));
}

TEST(FruFieldEncoding, WhatTheEncodingsCannotHoldIsRefused) {
    EXPECT_THROW(Field::Text("A"), std::invalid_argument);  // would read as C1h
    EXPECT_THROW(Field::Text(std::string(64, 'x')), std::invalid_argument);
    EXPECT_NO_THROW(Field::Text(std::string(63, 'x')));
    EXPECT_THROW(Field::SixBitAscii("lower"), std::invalid_argument);
    EXPECT_THROW(Field::BcdPlus("12A"), std::invalid_argument);
    EXPECT_THROW(Field::Binary(Bytes(64)), std::invalid_argument);
}

// ------------------------------------------------------------ images

TEST(FruImage, TheSampleImageKeepsEveryRuleOfTheFormat) {
    const FruImageBuilder builder = Sample();
    const Bytes image = builder.Build();
    EXPECT_TRUE(Problems(image).empty()) << ::testing::PrintToString(Problems(image));
    // Areas back to back from offset 8, in header order, each a multiple of
    // 8 bytes but the multi-record area.
    std::size_t next = 8;
    for (const Area area : sim::fru::kAreas) {
        const auto placed = builder.Where(area);
        ASSERT_TRUE(placed);
        EXPECT_EQ(placed->offset, next);
        EXPECT_EQ(image[1 + static_cast<int>(area)] * 8u, placed->offset);
        if (area != Area::kMultiRecord) {
            EXPECT_EQ(placed->length % 8, 0u);
        }
        next += placed->length;
    }
    EXPECT_EQ(image.size(), next);
}

TEST(FruImage, TheSampleImageUsesEveryFieldEncoding) {
    const Bytes image = Sample().Build();
    std::set<int> types;
    for (const Region& region : Regions(image)) {
        const std::size_t fieldsAt = region.name == "board"                                   ? 6
                                     : (region.name == "chassis" || region.name == "product") ? 3
                                                                                              : 0;
        if (fieldsAt == 0) continue;
        std::vector<std::uint8_t> fields;
        ASSERT_TRUE(WalkFields(image, region.begin + fieldsAt, region.end, &fields));
        for (const std::uint8_t typeLength : fields) types.insert(typeLength >> 6);
    }
    EXPECT_EQ(types, (std::set<int>{0, 1, 2, 3}));
}

TEST(FruImage, TheBoardDateCountsMinutesFrom1996LittleEndian) {
    EXPECT_EQ(sim::fru::MinutesSince1996(820454400), 0u);
    EXPECT_EQ(sim::fru::MinutesSince1996(820454400 + 60), 1u);
    EXPECT_EQ(sim::fru::MinutesSince1996(820454400 + 3600), 60u);
    EXPECT_THROW(sim::fru::MinutesSince1996(820454400 - 60), std::invalid_argument);
    sim::fru::BoardInfo board;
    board.manufactured = 0x123456;
    const Bytes image = FruImageBuilder().Board(board).Build();
    EXPECT_EQ(Bytes(image.begin() + 8 + 3, image.begin() + 8 + 6), (Bytes{0x56, 0x34, 0x12}));
}

TEST(FruImage, RoomGapsAndImageSizeShapeTheLayout) {
    sim::fru::BoardInfo board;
    board.manufacturer = Field::Text("Maker");
    const FruImageBuilder builder = FruImageBuilder()
                                        .Board(board)
                                        .AreaBytes(Area::kBoard, 100)
                                        .Product({})
                                        .GapBefore(Area::kProduct, 2)
                                        .ImageSize(256);
    const Bytes image = builder.Build();
    ASSERT_EQ(image.size(), 256u);
    const auto boardAt = builder.Where(Area::kBoard);
    const auto productAt = builder.Where(Area::kProduct);
    ASSERT_TRUE(boardAt && productAt);
    EXPECT_EQ(boardAt->length, 104u);
    EXPECT_EQ(image[9], 13);  // 104 / 8
    EXPECT_EQ(SumOf(image, boardAt->offset, boardAt->length), 0u);
    EXPECT_EQ(productAt->offset, boardAt->offset + boardAt->length + 16);
    EXPECT_EQ(image[4] * 8u, productAt->offset);
    for (std::size_t i = boardAt->offset + boardAt->length; i < productAt->offset; ++i) {
        EXPECT_EQ(image[i], 0) << i;
    }
    for (std::size_t i = productAt->offset + productAt->length; i < image.size(); ++i) {
        EXPECT_EQ(image[i], 0xFF) << i;
    }
}

TEST(FruImage, EachDamageKnobBreaksExactlyWhatItNames) {
    struct Case {
        const char* name;
        FruImageBuilder& (*damage)(FruImageBuilder&);
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {"header checksum", [](FruImageBuilder & b) -> auto& {return b.HeaderChecksumDelta(1);
}
, {
    "header checksum"
}
}  // namespace
, {"header version", [](FruImageBuilder& b) -> auto& {return b.HeaderVersion(0x02);
}
, {
    "header version"
}
}
, {"board checksum", [](FruImageBuilder& b) -> auto& {return b.AreaChecksumDelta(Area::kBoard, 1);
}
, {
    "board checksum"
}
}
, {"chassis checksum",
   [](FruImageBuilder& b) -> auto& {return b.AreaChecksumDelta(Area::kChassis, 0x80);
}
, {
    "chassis checksum"
}
}
, {"product length byte",
   [](FruImageBuilder& b) -> auto& {return b.AreaLengthByte(Area::kProduct, 20);
}
, {
    "product length"
}
}
, {"board without its end marker",
   [](FruImageBuilder& b) -> auto& {return b.NoEndMarker(Area::kBoard);
}
, {
    "board end marker"
}
}
, {"record data checksum", [](FruImageBuilder& b) -> auto& {return b.RecordDataChecksumDelta(1, 1);
}
, {
    "record 1 data checksum"
}
}
, {"record header checksum",
   [](FruImageBuilder& b) -> auto& {return b.RecordHeaderChecksumDelta(0, 1);
}
, {
    "record 0 header checksum"
}
}
, {"no end of list", [](FruImageBuilder& b) -> auto& {return b.NoEndOfList();
}
, {
    "end of list"
}
}
,
}
;
for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FruImageBuilder builder = Sample();
    EXPECT_EQ(Problems(c.damage(builder).Build()), c.problems);
}
}

TEST(FruImage, ARecordsLengthByteLiesWhileItsHeaderStillSumsToZero) {
    FruImageBuilder builder = Sample();
    const Bytes image = builder.RecordLengthByte(0, 3).Build();
    const std::size_t at = builder.Where(Area::kMultiRecord)->offset;
    EXPECT_EQ(image[at + 2], 3);
    EXPECT_EQ(SumOf(image, at, 5), 0u);
    EXPECT_EQ(image.size(), Sample().Build().size());
}

TEST(FruImage, ContentTheFormatCannotHoldIsRefused) {
    EXPECT_THROW(FruImageBuilder().Board({}).AreaBytes(Area::kBoard, 2048).Build(),
                 std::invalid_argument);
    EXPECT_THROW(FruImageBuilder().Record({0xC0, 2, Bytes(256)}).Build(), std::invalid_argument);
    EXPECT_THROW(Sample().ImageSize(64).Build(), std::invalid_argument);
    EXPECT_NO_THROW(FruImageBuilder().Board({}).AreaBytes(Area::kBoard, 2040).Build());
}

TEST(FruImage, TheSampleShrinksToBoardAndProductForSmallParts) {
    const FruImageBuilder small = sim::fru::SampleFru("riser", 256);
    const Bytes image = small.Build();
    EXPECT_LE(image.size(), 256u);
    EXPECT_TRUE(Problems(image).empty());
    EXPECT_FALSE(small.Where(Area::kChassis));
    EXPECT_TRUE(small.Where(Area::kBoard));
    EXPECT_TRUE(small.Where(Area::kProduct));
    EXPECT_THROW(sim::fru::SampleFru("tiny", 100), std::invalid_argument);
    // Two parts, two serial numbers.
    EXPECT_NE(sim::fru::SampleFru("a", 256).Build(), image);
}

}  // namespace

// ------------------------------------------------------------ layouts a reader must take

TEST(FruImageLayouts, AreasInAnotherOrderKeepTheirHeaderOffsetsRight) {
    const std::vector<std::vector<Area>> orders = {
        {Area::kBoard, Area::kChassis},
        {Area::kProduct, Area::kBoard, Area::kChassis, Area::kMultiRecord, Area::kInternalUse},
        {Area::kMultiRecord, Area::kProduct},
    };
    for (const auto& order : orders) {
        SCOPED_TRACE(::testing::PrintToString(order.size()) + " areas named first");
        FruImageBuilder builder = Sample();
        builder.Order(order);
        const Bytes image = builder.Build();
        EXPECT_EQ(Problems(image), std::vector<std::string>{});
        std::size_t previous = 0;
        for (const Area area : order) {
            const auto placed = builder.Where(area);
            ASSERT_TRUE(placed);
            EXPECT_GT(placed->offset, previous);
            previous = placed->offset;
            EXPECT_EQ(image[1 + static_cast<int>(area)] * 8u, placed->offset);
        }
        // The same bytes as in header order, only elsewhere.
        const Bytes plain = Sample().Build();
        for (const Area area : sim::fru::kAreas) {
            const auto here = builder.Where(area);
            const auto there = Sample().Where(area);
            ASSERT_EQ(here->length, there->length);
            EXPECT_TRUE(std::equal(image.begin() + here->offset,
                                   image.begin() + here->offset + here->length,
                                   plain.begin() + there->offset));
        }
    }
}

TEST(FruImageLayouts, APaddingByteFillsTheAreaAfterItsMarkerAndTheChecksumStillHolds) {
    FruImageBuilder builder = Sample();
    builder.PaddingByte(Area::kBoard, 0xFF);
    const Bytes image = builder.Build();
    // Only the zero padding rule is broken.
    EXPECT_EQ(Problems(image), std::vector<std::string>{"board end marker"});
    const auto board = *builder.Where(Area::kBoard);
    EXPECT_EQ(SumOf(image, board.offset, board.length), 0u);
    const auto marker = std::find(image.begin() + board.offset + 6,
                                  image.begin() + board.offset + board.length, 0xC1) -
                        image.begin();
    const Bytes clean = Sample().Build();
    ASSERT_EQ(clean[marker], 0xC1) << "the marker where the fields end";
    for (std::size_t i = marker + 1; i + 1 < board.offset + board.length; ++i) {
        EXPECT_EQ(image[i], 0xFF) << i;
    }
}

TEST(FruImageLayouts, AnAreaCanEndWhereAFixedFieldShouldStand) {
    struct Case {
        Area area;
        std::size_t fields;
        std::size_t fieldsAt;
        const char* problem;
    };
    const Case cases[] = {
        {Area::kBoard, 2, 6, "board fields"},
        {Area::kProduct, 0, 3, "product fields"},
        {Area::kChassis, 1, 3, "chassis fields"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        FruImageBuilder builder = Sample();
        builder.EndAfterFixedFields(c.area, c.fields);
        const Bytes image = builder.Build();
        EXPECT_EQ(Problems(image), std::vector<std::string>{c.problem});
        const auto placed = *builder.Where(c.area);
        EXPECT_EQ(SumOf(image, placed.offset, placed.length), 0u);
        // The marker stands where fixed field number `fields` would.
        std::size_t at = placed.offset + c.fieldsAt;
        for (std::size_t i = 0; i < c.fields; ++i) at += 1 + (image[at] & 0x3F);
        EXPECT_EQ(image[at], 0xC1);
        EXPECT_EQ(placed.length, Sample().Where(c.area)->length) << "room kept";
    }
}

TEST(FruImageLayouts, LatinOneTextAndAnUnspecifiedDateAreStoredAsGiven) {
    sim::fru::BoardInfo board;
    board.manufactured = 0;
    board.manufacturer = Field::Text("Soci\xE9t\xE9 G\xE9n\xE9rale");
    board.productName = Field::BcdPlus("12-34.5");
    board.serialNumber = Field::SixBitAscii("IPMI");
    board.partNumber = Field::Binary({0x00, 0xE9, 0xFF});
    FruImageBuilder builder;
    builder.Board(board);
    const Bytes image = builder.Build();
    EXPECT_EQ(Problems(image), std::vector<std::string>{});
    const std::size_t at = builder.Where(Area::kBoard)->offset;
    EXPECT_EQ(Bytes(image.begin() + at + 3, image.begin() + at + 6), (Bytes{0, 0, 0}));
    const Bytes fields(image.begin() + at + 6, image.begin() + at + 6 + 17 + 5 + 4 + 4);
    const Bytes expected = {0xD0, 'S', 'o', 'c', 'i', 0xE9, 't', 0xE9, ' ', 'G', 0xE9, 'n', 0xE9,
                            'r', 'a', 'l', 'e', 0x44, 0x12, 0xB3, 0x4C, 0x5A,  // BCD plus, first in
                                                                               // the high nibble
                            0x83, 0x29, 0xDC, 0xA6,                            // 6-bit "IPMI"
                            0x03, 0x00, 0xE9, 0xFF};                           // binary
    EXPECT_EQ(fields, expected);
}
