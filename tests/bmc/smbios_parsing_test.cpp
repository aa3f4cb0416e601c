// The SMBIOS entry points and the structure walk, over bytes laid out as
// firmware lays them: which entry point is taken, where it says the table
// is, and what the walk makes of the IPMI record and of damaged tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bmc/smbios_discovery.h"
#include "bmc/smbios_entry_point.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& bytes, std::size_t at, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

Bytes EntryPoint32(std::uint32_t address, std::uint16_t length, std::uint16_t count) {
    Bytes bytes(0x1F, 0);
    std::memcpy(bytes.data(), "_SM_", 4);
    bytes[5] = 0x1F;
    std::memcpy(bytes.data() + 0x10, "_DMI_", 5);
    Put(bytes, 0x16, length, 2);
    Put(bytes, 0x18, address, 4);
    Put(bytes, 0x1C, count, 2);
    return bytes;
}

Bytes EntryPoint64(std::uint64_t address, std::uint32_t maximumSize) {
    Bytes bytes(0x18, 0);
    std::memcpy(bytes.data(), "_SM3_", 5);
    bytes[6] = 0x18;
    bytes[7] = 3;
    bytes[0x0A] = 1;
    Put(bytes, 0x0C, maximumSize, 4);
    Put(bytes, 0x10, address, 8);
    return bytes;
}

TEST(SmbiosEntryPoint, ThirtyTwoBitGivesAddressLengthAndCount) {
    const auto table = ParseSmbiosEntryPoint(EntryPoint32(0xE8000, 0x1A3, 9));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->address, 0xE8000u);
    EXPECT_EQ(table->length, 0x1A3u);
    EXPECT_EQ(table->structureCount, 9);
    EXPECT_FALSE(table->is64Bit);
}

TEST(SmbiosEntryPoint, SixtyFourBitGivesAddressAndSizeButNoCount) {
    const auto table = ParseSmbiosEntryPoint(EntryPoint64(0x1'7FF0'0000ull, 0x2000));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->address, 0x1'7FF0'0000ull);
    EXPECT_EQ(table->length, 0x2000u);
    EXPECT_FALSE(table->structureCount);
    EXPECT_TRUE(table->is64Bit);
}

TEST(SmbiosEntryPoint, RefusesWhatIsNoneOrIsCut) {
    Bytes cut32 = EntryPoint32(0xE8000, 0x100, 3);
    cut32.resize(0x1D);  // the count's second byte is missing
    Bytes cut64 = EntryPoint64(0xE8000, 0x100);
    cut64.resize(0x17);
    Bytes legacy(0x10, 0);
    std::memcpy(legacy.data(), "_DMI_", 5);
    for (const Bytes& bytes : {cut32, cut64, legacy, Bytes{}}) {
        EXPECT_FALSE(ParseSmbiosEntryPoint(bytes)) << bytes.size() << " bytes";
    }
}

// A segment holding the given entry points at the given offsets.
Bytes Segment(std::vector<std::pair<std::size_t, Bytes>> entries, std::size_t size = 0xFFFF) {
    Bytes segment(size, 0);
    for (const auto& [at, bytes] : entries) {
        std::copy(bytes.begin(), bytes.begin() + std::min(bytes.size(), size - at),
                  segment.begin() + at);
    }
    return segment;
}

struct SearchCase {
    const char* name;
    Bytes segment;
    std::optional<std::size_t> found;
};

class SmbiosEntryPointSearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SmbiosEntryPointSearch, FindsTheAnchorToUse) {
    EXPECT_EQ(FindSmbiosEntryPoint(GetParam().segment), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Segments, SmbiosEntryPointSearch,
    ::testing::Values(
        SearchCase{"ThirtyTwoBitAlone", Segment({{0x1000, EntryPoint32(0xE8000, 0x100, 3)}}),
                   0x1000},
        SearchCase{"SixtyFourBitAlone", Segment({{0x0A30, EntryPoint64(0xE8000, 0x100)}}), 0x0A30},
        // Firmware that gives both keeps the 32-bit one for old readers:
        // the 64-bit one is the table, wherever it lies.
        SearchCase{"SixtyFourBitBeforeAnEarlierThirtyTwoBit",
                   Segment({{0x0100, EntryPoint32(0xE8000, 0x100, 3)},
                            {0x8000, EntryPoint64(0x7FF00000, 0x100)}}),
                   0x8000},
        SearchCase{"OffTheParagraphs", Segment({{0x1008, EntryPoint32(0xE8000, 0x100, 3)}}),
                   std::nullopt},
        SearchCase{"FieldsRunPastTheSegment", Segment({{0xFFF0, EntryPoint32(0xE8000, 0x100, 3)}}),
                   std::nullopt},
        SearchCase{"LastParagraphThatHoldsItAll",
                   Segment({{0xFFE0, EntryPoint32(0xE8000, 0x100, 3)}}), 0xFFE0},
        SearchCase{"Nothing", Segment({}), std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ the walk

Bytes Structure(std::uint8_t type, std::uint8_t length, const Bytes& strings = {0, 0}) {
    Bytes bytes(length, 0);
    bytes[0] = type;
    bytes[1] = length;
    bytes.insert(bytes.end(), strings.begin(), strings.end());
    return bytes;
}

// A type 38 record of 12h bytes: interface type, base address (bit 0 the
// I/O-space flag) and the base address modifier.
Bytes IpmiRecord(std::uint8_t interfaceType, std::uint16_t base, std::uint8_t modifier = 0,
                 std::uint8_t length = 0x12) {
    Bytes record = Structure(38, length);
    record[4] = interfaceType;
    record[8] = base & 0xFF;
    if (length > 9) record[9] = base >> 8;
    if (length > 0x10) record[0x10] = modifier;
    return record;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Bytes kBios = Structure(0, 0x18, {'B', 'I', 'O', 'S', 0, 'v', '1', 0, 0});
const Bytes kSystem = Structure(1, 0x1B, {'S', 0, 0});
const Bytes kEnd = Structure(127, 4);

struct WalkCase {
    const char* name;
    Bytes table;
    std::optional<std::uint16_t> count;
    SmbiosIpmiOutcome outcome;
    std::uint16_t base;
    std::uint8_t spacing;
    bool explained;  // a problem text says what was wrong
};

class SmbiosWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(SmbiosWalk, FindsTheIpmiRecordOrSaysWhy) {
    const WalkCase& c = GetParam();
    const SmbiosIpmiInterface found = FindIpmiRecord(c.table, c.count);
    EXPECT_EQ(found.outcome, c.outcome);
    EXPECT_EQ(found.baseAddress, c.base);
    EXPECT_EQ(found.registerSpacing, c.spacing);
    EXPECT_EQ(!found.problem.empty(), c.explained);
}

constexpr auto kKcs = SmbiosIpmiOutcome::kKcs;
constexpr auto kNone = SmbiosIpmiOutcome::kNoIpmiRecord;
constexpr auto kNotKcs = SmbiosIpmiOutcome::kNotKcs;

INSTANTIATE_TEST_SUITE_P(
    Tables, SmbiosWalk,
    ::testing::Values(
        WalkCase{"PastStructuresWithStrings", Concat({kBios, kSystem, IpmiRecord(1, 0x0CA9), kEnd}),
                 4, kKcs, 0x0CA8, 1, false},
        WalkCase{"WithoutACountUpToTheEnd", Concat({kBios, IpmiRecord(1, 0x0CA3), kEnd}),
                 std::nullopt, kKcs, 0x0CA2, 1, false},
        // Without a count the end-of-table structure ends the walk, even
        // when the table's stated size leaves room after it.
        WalkCase{"NothingAfterTheEndOfTable", Concat({kBios, kEnd, IpmiRecord(1, 0x0CA9)}),
                 std::nullopt, kNone, 0, 1, false},
        WalkCase{"NotAmongTheCounted", Concat({kBios, kSystem, IpmiRecord(1, 0x0CA9), kEnd}), 2,
                 kNone, 0, 1, false},
        WalkCase{"NoRecordAtAll", Concat({kBios, kSystem, kEnd}), 3, kNone, 0, 1, false},
        // The modifier's bit 4 is the address's bit 0, bits 7:6 the spacing.
        WalkCase{"OddAddressFromTheModifier", Concat({IpmiRecord(1, 0x0CA3, 0x10), kEnd}), 2, kKcs,
                 0x0CA3, 1, false},
        WalkCase{"RegistersOnWordBoundaries", Concat({IpmiRecord(1, 0x0CA9, 0x40), kEnd}), 2, kKcs,
                 0x0CA8, 4, false},
        WalkCase{"RegistersOnParagraphs", Concat({IpmiRecord(1, 0x0CA1, 0x80), kEnd}), 2, kKcs,
                 0x0CA0, 16, false},
        WalkCase{"ReservedSpacing", Concat({IpmiRecord(1, 0x0CA3, 0xC0), kEnd}), 2, kNotKcs, 0, 1,
                 true},
        // A record that ends at the base address has no modifier: bytes
        // after it are its strings.
        WalkCase{"RecordWithoutModifier", Concat({IpmiRecord(1, 0x0CA3, 0, 0x10), kEnd}), 2, kKcs,
                 0x0CA2, 1, false},
        WalkCase{"BlockTransferInterface", Concat({IpmiRecord(3, 0x0E4), kEnd}), 2, kNotKcs, 0, 1,
                 true},
        // Its strings ("\x0C") must not be taken for the address.
        WalkCase{"RecordTooShortForItsBaseAddress", Concat({Structure(38, 9, {0x0C, 0, 0}), kEnd}),
                 2, kNone, 0, 1, true},
        // The type 0 structure says 18h bytes; the table ends after 10h.
        WalkCase{"FormattedAreaRunsOffTheTable", Bytes(kBios.begin(), kBios.begin() + 0x10), 1,
                 kNone, 0, 1, true},
        WalkCase{"StringSetRunsOffTheTable", Concat({Structure(1, 4, {'A', 'B'})}), 2, kNone, 0, 1,
                 true},
        WalkCase{"LengthBelowTheHeader", Concat({Structure(1, 4), Bytes{1, 1, 0, 0}, kEnd}), 3,
                 kNone, 0, 1, true},
        WalkCase{"CountBeyondTheTable", Concat({kBios, kEnd}), 5, kNone, 0, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
