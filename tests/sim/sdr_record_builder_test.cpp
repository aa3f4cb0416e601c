// The builder's records: each type in its layout's length with its length
// byte true, names where the layout has them, and the default set of a
// fresh server.
#include "sim/bmc/sdr/sdr_record_builder.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using sim::sdr::Record;

// The bytes before a record's name type/length byte, for the types that
// end in a name.
struct Layout {
    std::uint8_t type;
    std::size_t fixedBytes;  // header included; the name follows
    bool named;
};

constexpr Layout kLayouts[] = {
    {0x01, 48, true}, {0x02, 32, true}, {0x03, 17, true}, {0x08, 16, false}, {0x09, 32, false},
    {0x10, 16, true}, {0x11, 16, true}, {0x12, 16, true}, {0x13, 32, false}, {0x14, 16, false},
};

TEST(SdrRecordBuilder, EachTypeHasItsLayoutsLengthAndATrueLengthByte) {
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(sim::sdr::TypeName(layout.type));
        const Record record = sim::sdr::BuildRecord(layout.type, 7);
        EXPECT_EQ(record[2], 0x51);
        EXPECT_EQ(record[3], layout.type);
        EXPECT_EQ(record.size(), 5u + record[4]);
        if (!layout.named) {
            EXPECT_EQ(record.size(), layout.fixedBytes);
            continue;
        }
        ASSERT_GE(record.size(), layout.fixedBytes);
        const std::uint8_t nameByte = record[layout.fixedBytes - 1];
        EXPECT_EQ(nameByte & 0xC0, 0xC0);
        EXPECT_EQ(record.size(), layout.fixedBytes + (nameByte & 0x1F));
        const std::string name(record.begin() + layout.fixedBytes, record.end());
        EXPECT_NE(name.find('7'), std::string::npos) << name;
    }
}

TEST(SdrRecordBuilder, TheOemRecordStartsWithItsManufacturerAndTheUnknownTypeIs15h) {
    const Record oem = sim::sdr::OemRecord(0x123456, {0xAB});
    EXPECT_EQ(oem, (Record{0, 0, 0x51, 0xC0, 4, 0x56, 0x34, 0x12, 0xAB}));
    const Record unknown = sim::sdr::UnknownTypeRecord();
    EXPECT_EQ(unknown[3], 0x15);
    EXPECT_EQ(unknown.size(), 5u + unknown[4]);
}

TEST(SdrRecordBuilder, ASampleSetCyclesThroughEveryTypeNumberedFromOne) {
    const std::vector<Record> records = sim::sdr::SampleSet(14);
    ASSERT_EQ(records.size(), 14u);
    std::set<std::uint8_t> types;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(sim::sdr::RecordId(records[i]), i + 1);
        types.insert(records[i][3]);
    }
    EXPECT_EQ(types.size(), 12u);
    EXPECT_EQ(records[12][3], records[0][3]);
    const sim::sdr::SplitImage split = sim::sdr::SplitRecords(sim::sdr::JoinRecords(records));
    EXPECT_EQ(split.error, "");
    EXPECT_EQ(split.records, records);
}

TEST(SdrRecordBuilder, TheDefaultSetHasTheBmcsLocatorAFruLocatorSensorsAndAnOemRecord) {
    const std::vector<Record> records = sim::sdr::DefaultSet();
    std::multiset<std::uint8_t> types;
    for (const Record& record : records) types.insert(record[3]);
    EXPECT_EQ(types.count(0x12), 1u);
    EXPECT_EQ(types.count(0x11), 1u);
    EXPECT_GE(types.count(0x01), 3u);
    EXPECT_EQ(types.count(0xC0), 1u);
    EXPECT_EQ(records.front()[5], 0x20);  // the MC locator's slave address: the BMC's
}

TEST(SdrRecords, SplittingRefusesAHeaderOrARecordCutShort) {
    EXPECT_NE(sim::sdr::SplitRecords(Record{1, 0, 0x51}).error.find("header cut short"),
              std::string::npos);
    EXPECT_NE(sim::sdr::SplitRecords(Record{1, 0, 0x51, 0xC0, 4, 0}).error.find("past the end"),
              std::string::npos);
}

}  // namespace
