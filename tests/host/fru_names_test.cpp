// The names and value forms of the fru commands: every field name maps to
// the library's field of its area, custom fields are asked by the index each
// entry expects, values become the bytes the library takes, and locator
// options and backup names say where a FRU is.
#include <gtest/gtest.h>

#include <fstream>

#include "host/frame/arguments.h"
#include "host/frame/failure.h"
#include "host/fru/backup.h"
#include "host/fru/fields.h"
#include "host/fru/locator.h"
#include "host/fru/values.h"
#include "tests/common/files.h"

namespace srvfw {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The library numbers each area's fixed fields from the area's first
// FRU_FIELD value on.
std::uint32_t FirstField(FRU_AREA area) {
    switch (area) {
        case FRU_AREA_INTERNAL:
            return FRU_FIELD_INTERNAL_USE_DATA;
        case FRU_AREA_CHASSIS:
            return FRU_FIELD_CHASSIS_TYPE;
        case FRU_AREA_BOARD:
            return FRU_FIELD_BOARD_MFG_DATE_TIME;
        default:
            return FRU_FIELD_PRODUCT_MANUFACTURER_NAME;
    }
}

TEST(FruFieldNames, EveryFixedFieldNamesTheLibrarysFieldAtItsPosition) {
    std::uint32_t fixedFields = 0;
    for (const FixedField& fixed : kFixedFields) {
        const auto field = ParseFieldName(fixed.name);
        ASSERT_TRUE(field) << fixed.name;
        EXPECT_EQ(field->area, fixed.area);
        EXPECT_EQ(field->fixed, fixed.field);
        EXPECT_EQ(field->position, fixed.field - FirstField(fixed.area)) << fixed.name;
        EXPECT_EQ(FieldAt(fixed.area, field->position).name, fixed.name);
        ++fixedFields;
    }
    std::uint32_t perArea = 0;
    for (const AreaKind& area : kAreaKinds) perArea += area.fixedFields;
    EXPECT_EQ(fixedFields, perArea);
    EXPECT_EQ(fixedFields, std::uint32_t{FRU_FIELD_PRODUCT_FRU_FILE_ID});
}

TEST(FruFieldNames, ValueFormsFollowTheField) {
    EXPECT_EQ(ParseFieldName("board.mfg_date")->kind, FieldKind::kMfgDate);
    EXPECT_EQ(ParseFieldName("chassis.type")->kind, FieldKind::kChassisType);
    EXPECT_EQ(ParseFieldName("internal.data")->kind, FieldKind::kInternalData);
    EXPECT_EQ(ParseFieldName("product.asset_tag")->kind, FieldKind::kText);
    EXPECT_EQ(ParseFieldName("board.custom.1")->kind, FieldKind::kText);
}

TEST(FruFieldNames, CustomFieldsByAreaAndNumber) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"chassis.custom.0", 3},
        {"board.custom.0", 6},
        {"board.custom.2", 8},
        {"product.custom.12", 19},
    };
    for (const auto& [name, position] : cases) {
        const auto field = ParseFieldName(name);
        ASSERT_TRUE(field) << name;
        EXPECT_EQ(field->position, position);
        EXPECT_FALSE(field->fixed);
        EXPECT_EQ(field->name, name);
        EXPECT_EQ(FieldAt(field->area, position).name, name);
    }
    for (const char* bad :
         {"", "board", "board.", "Board.manufacturer", "board.custom.", "board.custom.x",
          "board.custom.-1", "board.custom.0x1", "board.custom.1h", "internal.custom.0",
          "multirecord.custom.0", "multirecord", "board.manufacturer ", "product.assettag"}) {
        EXPECT_FALSE(ParseFieldName(bad)) << bad;
    }
}

TEST(FruFieldNames, CustomFieldsAreAskedByEachEntrysOwnIndex) {
    // A board area with three custom fields stored A, B, C: the text and
    // setter entries count them from C, the raw-bytes entry from A.
    const std::uint32_t count = 6 + 3;
    const std::tuple<const char*, std::uint32_t, std::uint32_t> cases[] = {
        {"board.manufacturer", 1, 1}, {"board.mfg_date", 0, 0}, {"board.custom.0", 8, 6},
        {"board.custom.1", 7, 7},     {"board.custom.2", 6, 8},
    };
    for (const auto& [name, text, raw] : cases) {
        const FieldIndices indices = IndicesOf(*ParseFieldName(name), count);
        EXPECT_EQ(indices.text, text) << name;
        EXPECT_EQ(indices.raw, raw) << name;
    }
    // With one custom field both agree.
    const FieldIndices single = IndicesOf(*ParseFieldName("product.custom.0"), 8);
    EXPECT_EQ(single.text, 7u);
    EXPECT_EQ(single.raw, 7u);
}

TEST(FruValues, ManufacturingDateInMinutesSince1996) {
    const std::pair<const char*, std::optional<Bytes>> cases[] = {
        {"1996-01-01", Bytes{0x00, 0x00, 0x00}},
        {"1996-01-01 00:01", Bytes{0x01, 0x00, 0x00}},
        {"1996-01-02 00:00", Bytes{0xA0, 0x05, 0x00}},  // 1440 minutes
        {"2023-05-17 09:30", Bytes{0xFA, 0xB0, 0xDB}},
        {"2023-05-17T09:30", Bytes{0xFA, 0xB0, 0xDB}},
        {"2023-05-17 09:30:00", Bytes{0xFA, 0xB0, 0xDB}},
        {"2024-02-29 12:00", Bytes{0x90, 0x05, 0xE2}},
        {"2027-11-24 20:15", Bytes{0xFF, 0xFF, 0xFF}},
        {"2027-11-24 20:16", std::nullopt},
        {"1995-12-31 23:59", std::nullopt},
        {"2023-02-29", std::nullopt},
        {"2023-13-01", std::nullopt},
        {"2023-05-17 24:00", std::nullopt},
        {"2023-05-17 09:60", std::nullopt},
        {"2023-05-17 09:30:15", std::nullopt},  // the field holds whole minutes
        {"2023-05-17 9:30", std::nullopt},
        {"2023-5-17", std::nullopt},
        {"17/05/2023", std::nullopt},
        {"2023-05-17 09:30Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, bytes] : cases) {
        const auto parsed = ParseMfgDate(text);
        if (bytes) {
            ASSERT_TRUE(parsed) << text;
            EXPECT_EQ(Bytes(parsed->begin(), parsed->end()), *bytes) << text;
        } else {
            EXPECT_FALSE(parsed) << text;
        }
    }
}

TEST(FruValues, EachKindOfFieldTakesItsForm) {
    const auto encode = [](const char* field, const char* value) {
        return EncodeValue(*ParseFieldName(field), value);
    };
    EXPECT_EQ(encode("product.asset_tag", "A 1"), (Bytes{'A', ' ', '1'}));
    EXPECT_EQ(encode("product.asset_tag", ""), Bytes{});
    // UTF-8 in, a Latin-1 byte a character out; beyond Latin-1 the bytes
    // stay as typed, for the library to refuse.
    EXPECT_EQ(encode("board.custom.0", "\xC3\xBC"), (Bytes{0xFC}));
    EXPECT_EQ(encode("board.custom.0", "\xE2\x82\xAC"), (Bytes{0xE2, 0x82, 0xAC}));
    EXPECT_EQ(encode("board.mfg_date", "unspecified"), (Bytes{0, 0, 0}));
    EXPECT_EQ(encode("chassis.type", "23"), Bytes{23});
    EXPECT_EQ(encode("chassis.type", "0x11"), Bytes{0x11});
    EXPECT_EQ(encode("chassis.type", "17h"), Bytes{0x17});
    EXPECT_EQ(encode("internal.data", "01 4B53"), (Bytes{0x01, 0x4B, 0x53}));
    EXPECT_EQ(encode("board.mfg_date", "2023-05-17 09:30"), (Bytes{0xFA, 0xB0, 0xDB}));

    for (const auto& [field, value] : {std::pair{"chassis.type", "256"},
                                       {"chassis.type", "rack"},
                                       {"internal.data", ""},
                                       {"internal.data", "4B5"},
                                       {"board.mfg_date", "yesterday"}}) {
        try {
            encode(field, value);
            ADD_FAILURE() << field << "=" << value;
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Code(), ExitCode::kUsage);
            EXPECT_NE(std::string(failure.what()).find(field), std::string::npos);
        }
    }
}

TEST(FruLocatorOptions, NoOptionMeansTheDefaultLocation) {
    Arguments arguments({"show"});
    EXPECT_FALSE(TakeLocatorOptions(arguments));
}

TEST(FruLocatorOptions, OptionsNameTheDeviceAndItsAddresses) {
    Arguments arguments({"--type", "DS1624S", "--bus=5", "--slave", "9Eh", "--lun", "1"});
    const auto locator = TakeLocatorOptions(arguments);
    ASSERT_TRUE(locator);
    EXPECT_EQ(*locator, (FruLocator{FRU_NVS_DS1624S, 0x20, 0, 5, 0x9E, 1}));
    EXPECT_EQ(Describe(*locator),
              "DS1624S at slave address 9Eh on bus 05h of controller 20h, LUN 1, FRU device 00h");

    Arguments satellite({"--controller", "0x22", "--device-id", "1"});
    const auto panel = TakeLocatorOptions(satellite);
    ASSERT_TRUE(panel);
    EXPECT_EQ(*panel, (FruLocator{FRU_NVS_IMBDEVICE, 0x22, 1, 0xFF, 0x20, 0}));
    EXPECT_EQ(Describe(*panel), "IMBDEVICE FRU device 01h at controller 22h");
}

TEST(FruLocatorOptions, TypesByNameOrNumber) {
    const std::pair<const char*, std::optional<FRU_TYPE>> cases[] = {
        {"AT24CO2", FRU_NVS_AT24CO2},
        {"DS1624S", FRU_NVS_DS1624S},
        {"IMBDEVICE", FRU_NVS_IMBDEVICE},
        {"MBMC_FRU", FRU_NVS_MBMC},
        {"0", FRU_NVS_AT24CO2},
        {"3", FRU_NVS_MBMC},
        {"4", std::nullopt},
        {"imbdevice", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, type] : cases) EXPECT_EQ(ParseFruType(text), type) << text;
    for (const auto& words : {std::vector<std::string>{"--type", "EEPROM"},
                              std::vector<std::string>{"--controller", "0x100"},
                              std::vector<std::string>{"--bus", "x"}}) {
        Arguments arguments(words);
        EXPECT_THROW(TakeLocatorOptions(arguments), Failure) << words[0];
    }
}

TEST(FruBackup, NamedForTheFruAndTheUtcTime) {
    using namespace std::chrono;
    const auto time = sys_days(2024y / March / 5) + 14h + 30min + 7s + 900ms;
    EXPECT_EQ(BackupName(FruLocator{}, time), "fru-backup-20-00-20240305T143007Z.fru");
    FruLocator satellite;
    satellite.controller = 0xC2;
    satellite.deviceId = 0x1F;
    EXPECT_EQ(BackupName(satellite, time), "fru-backup-C2-1F-20240305T143007Z.fru");
}

TEST(FruBackup, NeverTakesAnExistingFile) {
    test_support::TempDir dir("srvfwbackup");
    const std::string name = "fru-backup-20-00-20240305T143007Z.fru";
    EXPECT_EQ(FreeBackupPath(dir.Path(), name), dir.Path() / name);
    std::ofstream(dir / name) << "taken";
    std::ofstream(dir / "fru-backup-20-00-20240305T143007Z-2.fru") << "taken";
    EXPECT_EQ(FreeBackupPath(dir.Path(), name),
              dir.Path() / "fru-backup-20-00-20240305T143007Z-3.fru");
}

}  // namespace
}  // namespace srvfw
