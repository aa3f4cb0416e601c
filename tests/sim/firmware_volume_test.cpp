// The firmware volume builder and reader on the PI format's own terms: the
// bytes are checked at their offsets here, so that a builder and a reader
// that agree on a mistake still fail.
#include "sim/firmware/firmware_volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The GUIDs as they lie in the flash (first three fields little-endian).
constexpr std::array<std::uint8_t, 16> kFfs1Bytes = {
    0xD9, 0x54, 0x93, 0x7A, 0x68, 0x04, 0x4A, 0x44, 0x81, 0xCE, 0x0B, 0xF6, 0x17, 0xD8, 0x90, 0xDF};
constexpr std::array<std::uint8_t, 16> kFfs2Bytes = {
    0x78, 0xE5, 0x8C, 0x8C, 0x3D, 0x8A, 0x1C, 0x4F, 0x99, 0x35, 0x89, 0x61, 0x85, 0xC3, 0x2D, 0xD3};
constexpr std::array<std::uint8_t, 16> kTablesFileBytes = {
    0x63, 0xA0, 0xFD, 0xFF, 0xB2, 0xF5, 0xB5, 0x4E, 0xA7, 0xB4, 0x48, 0x63, 0xFC, 0x49, 0x19, 0xA2};

std::uint64_t Le(const Bytes& bytes, std::size_t at, unsigned width) {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint64_t{bytes.at(at + i)} << (8 * i);
    return value;
}

bool HasAt(const Bytes& bytes, std::size_t at, std::span<const std::uint8_t> what) {
    return at + what.size() <= bytes.size() &&
           std::equal(what.begin(), what.end(), bytes.begin() + at);
}

std::uint8_t Sum8(const Bytes& bytes, std::size_t at, std::size_t length) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum = static_cast<std::uint8_t>(sum + bytes.at(at + i));
    return sum;
}

Bytes Data(std::size_t length, std::uint8_t first) {
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(first + 3 * i);
    return data;
}

// Two files: 45 bytes of data (the second file starts after a gap to the
// next multiple of 8) and the tables file.
sim::FirmwareVolumeBuilder TwoFiles() {
    sim::FirmwareVolumeBuilder builder(0x10000);
    builder.RawSectionFile(sim::Guid::Parse("4E1B7C3A-92D5-4F06-8A3E-C17D5B20F964"), Data(45, 1));
    builder.RawSectionFile(sim::Guid::Parse(sim::kTablesFileGuid), Data(100, 9));
    return builder;
}

constexpr std::size_t kFirstFile = 72;
constexpr std::size_t kFirstFileBytes = 24 + 4 + 45;  // 73
constexpr std::size_t kSecondFile = 152;              // 145 rounded up to 8
constexpr std::size_t kSecondFileBytes = 24 + 4 + 100;

void ExpectValidFile(const Bytes& volume, std::size_t at, std::size_t size, std::size_t data) {
    SCOPED_TRACE("file at " + std::to_string(at));
    EXPECT_EQ(at % 8, 0u);
    EXPECT_EQ(Le(volume, at + 20, 3), size);
    EXPECT_EQ(volume[at + 18], 0x02);  // freeform: it holds sections
    EXPECT_EQ(volume[at + 19], 0x40);  // the file checksum is a real one
    EXPECT_EQ(volume[at + 23], 0xF8);  // header and data valid, erase polarity 1
    // The header sums to 0 with the state and the file checksum counted as 0.
    EXPECT_EQ(static_cast<std::uint8_t>(Sum8(volume, at, 24) - volume[at + 23] - volume[at + 17]),
              0);
    EXPECT_EQ(static_cast<std::uint8_t>(Sum8(volume, at + 24, size - 24) + volume[at + 17]), 0);
    EXPECT_EQ(Le(volume, at + 24, 3), data + 4);  // one raw section
    EXPECT_EQ(volume[at + 27], 0x19);
}

TEST(FirmwareVolumeBuilder, LaysAVolumeAPiToolAccepts) {
    const Bytes volume = TwoFiles().Build();
    ASSERT_EQ(volume.size(), 0x10000u);
    EXPECT_TRUE(std::all_of(volume.begin(), volume.begin() + 16, [](auto b) { return b == 0; }));
    EXPECT_TRUE(HasAt(volume, 16, kFfs1Bytes));
    EXPECT_EQ(Le(volume, 32, 8), 0x10000u);
    EXPECT_EQ(std::memcmp(volume.data() + 40, "_FVH", 4), 0);
    EXPECT_NE(Le(volume, 44, 4) & 0x800, 0u) << "erase polarity 1";
    EXPECT_EQ(Le(volume, 48, 2), 72u);
    EXPECT_EQ(volume[55], 2) << "revision";
    EXPECT_EQ(Le(volume, 56, 4), 1u);  // one block of 64 KB, then the terminator
    EXPECT_EQ(Le(volume, 60, 4), 0x10000u);
    EXPECT_EQ(Le(volume, 64, 8), 0u);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < 72; i += 2)
        sum = static_cast<std::uint16_t>(sum + Le(volume, i, 2));
    EXPECT_EQ(sum, 0) << "header checksum";

    ExpectValidFile(volume, kFirstFile, kFirstFileBytes, 45);
    ExpectValidFile(volume, kSecondFile, kSecondFileBytes, 100);
    EXPECT_TRUE(HasAt(volume, kSecondFile, kTablesFileBytes));
    EXPECT_TRUE(HasAt(volume, kSecondFile + 28, Data(100, 9)));
    // The gap before the second file and the free space after it are erased.
    EXPECT_TRUE(std::all_of(volume.begin() + kFirstFile + kFirstFileBytes,
                            volume.begin() + kSecondFile, [](auto b) { return b == 0xFF; }));
    EXPECT_TRUE(std::all_of(volume.begin() + kSecondFile + kSecondFileBytes, volume.end(),
                            [](auto b) { return b == 0xFF; }));
}

TEST(FirmwareVolumeBuilder, MalformsOnlyWhatIsAskedFor) {
    const Bytes good = TwoFiles().Build();
    const auto headerSum = [](const Bytes& v) {
        std::uint16_t sum = 0;
        for (std::size_t i = 0; i < 72; i += 2) sum = static_cast<std::uint16_t>(sum + Le(v, i, 2));
        return sum;
    };
    const auto dataSum = [](const Bytes& v, std::size_t at, std::size_t size) {
        return static_cast<std::uint8_t>(Sum8(v, at + 24, size - 24) + v[at + 17]);
    };

    const Bytes misplaced = TwoFiles().SignatureInZeroVector().Build();
    const auto first = std::search(misplaced.begin(), misplaced.end(), "_FVH", "_FVH" + 4);
    EXPECT_EQ(first - misplaced.begin(), 8);
    EXPECT_EQ(std::memcmp(misplaced.data() + 40, "_FVH", 4), 0);
    EXPECT_EQ(headerSum(misplaced), 0) << "still a volume by its checksum";

    const Bytes badHeader = TwoFiles().BadHeaderChecksum().Build();
    EXPECT_NE(headerSum(badHeader), 0);
    EXPECT_TRUE(std::equal(good.begin() + 72, good.end(), badHeader.begin() + 72));

    const Bytes badFile = TwoFiles().BadFileChecksum().Build();
    EXPECT_EQ(dataSum(badFile, kFirstFile, kFirstFileBytes), 0);
    EXPECT_NE(dataSum(badFile, kSecondFile, kSecondFileBytes), 0) << "the last file's";

    const Bytes ffs2 =
        TwoFiles().FileSystem(sim::Guid::Parse(sim::kFirmwareFileSystem2Guid)).Build();
    EXPECT_TRUE(HasAt(ffs2, 16, kFfs2Bytes));
    EXPECT_EQ(headerSum(ffs2), 0);
}

TEST(FirmwareVolumeBuilder, RefusesWhatCannotBeLaidOut) {
    EXPECT_THROW(sim::FirmwareVolumeBuilder(0x10000, 0x3000), std::invalid_argument);
    EXPECT_THROW(sim::FirmwareVolumeBuilder(0x10000, 0), std::invalid_argument);
    EXPECT_THROW(sim::FirmwareVolumeBuilder(64, 64), std::invalid_argument);
    sim::FirmwareVolumeBuilder full(0x1000, 0x1000);
    full.RawSectionFile(sim::Guid::Parse(sim::kTablesFileGuid), Data(0x1000 - 72 - 28, 0));
    EXPECT_NO_THROW(full.Build()) << "a file that ends exactly at the volume's end fits";
    full.RawSectionFile(sim::Guid::Parse(sim::kTablesFileGuid), Data(1, 0));
    EXPECT_THROW(full.Build(), std::invalid_argument);
}

TEST(FirmwareVolumeReader, FindsWhatTheBuilderLaidAndNamesBadChecksums) {
    const auto read = sim::ReadFirmwareVolume(TwoFiles().BadFileChecksum().Build());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->fileSystem.Text(), sim::kFirmwareFileSystemGuid);
    EXPECT_EQ(read->length, 0x10000u);
    EXPECT_TRUE(read->headerChecksumOk);
    ASSERT_EQ(read->files.size(), 2u);
    EXPECT_EQ(read->files[1].offset, kSecondFile);
    EXPECT_EQ(read->files[1].name.Text(), sim::kTablesFileGuid);
    EXPECT_TRUE(read->files[0].dataChecksumOk);
    EXPECT_FALSE(read->files[1].dataChecksumOk);
    EXPECT_TRUE(read->files[1].headerChecksumOk);
    ASSERT_TRUE(read->files[1].sectionDataOffset);
    EXPECT_EQ(*read->files[1].sectionDataOffset, kSecondFile + 28);
    EXPECT_EQ(read->files[1].sectionDataBytes, 100u);
    EXPECT_FALSE(sim::ReadFirmwareVolume(TwoFiles().BadHeaderChecksum().Build())->headerChecksumOk);
}

TEST(FirmwareVolumeReader, NeverReadsPastWhatItWasGiven) {
    const Bytes good = TwoFiles().Build();
    struct Case {
        const char* name;
        std::size_t at;
        std::uint64_t value;
        unsigned width;
        bool readable;
        std::size_t files;
    } cases[] = {
        {"no _FVH at 40", 40, 0x5846565F, 4, false, 0},
        {"a length past the bytes", 32, 0x20000, 8, false, 0},
        {"a header longer than the volume", 32, 64, 8, false, 0},
        {"a header length too short for its block map", 48, 40, 2, false, 0},
        {"a file size past the end", kSecondFile + 20, 0xFFFFFF, 3, true, 1},
        {"a file size shorter than its header", kSecondFile + 20, 3, 3, true, 1},
        {"a section size past its file", kSecondFile + 24, 0xFFFF, 3, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = good;
        for (unsigned i = 0; i < c.width; ++i)
            bytes[c.at + i] = static_cast<std::uint8_t>(c.value >> (8 * i));
        std::string why;
        const auto read = sim::ReadFirmwareVolume(bytes, &why);
        ASSERT_EQ(read.has_value(), c.readable) << why;
        if (!read) {
            EXPECT_FALSE(why.empty());
            continue;
        }
        EXPECT_EQ(read->files.size(), c.files);
        if (c.files == 2) {
            EXPECT_FALSE(read->files[1].sectionDataOffset);
        }
    }
    EXPECT_FALSE(sim::ReadFirmwareVolume(std::span(good).first(60)));
}

TEST(Guid, ParsesAndPrintsTheUsualForm) {
    const sim::Guid guid = sim::Guid::Parse(sim::kTablesFileGuid);
    EXPECT_EQ(guid.data1, 0xFFFDA063u);
    EXPECT_EQ(guid.Text(), sim::kTablesFileGuid);
    const auto bytes = guid.Bytes();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), kTablesFileBytes.begin()));
    EXPECT_EQ(sim::Guid::FromBytes(kTablesFileBytes, 0), guid);
    for (const char* bad :
         {"", "FFFDA063-F5B2-4EB5-A7B4-4863FC4919A", "FFFDA063F5B2-4EB5-A7B4-4863FC4919A2X",
          "GFFDA063-F5B2-4EB5-A7B4-4863FC4919A2"}) {
        EXPECT_THROW(sim::Guid::Parse(bad), std::invalid_argument) << bad;
    }
    EXPECT_THROW(sim::Guid::FromBytes(kTablesFileBytes, 1), std::out_of_range);
}

}  // namespace
