// liborvel through its interface table, as a host uses it: the table's
// shape, the checks before initialisation, loading, the selection cascade,
// fields and areas, writing back, properties and the last-error text.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "orvel_library.h"
#include "sim/bmc/fru/fru_image_builder.h"
#include "tests/sim/settings_of.h"

namespace orvel_test {
namespace {

using sim::fru::Field;
using sim::fru::FruImageBuilder;

constexpr std::uint32_t kNotInitialized = 0xC0070005;

// Settings of a server whose BMC does not answer at all.
sim::Settings SilentBmc() {
    return simtest::SettingsOf({{"kcs.present", "0"}});
}

Bytes ChassisAndProductOnly() {
    return FruImageBuilder()
        .Chassis({.partNumber = Field::Text("CH-1"), .serialNumber = Field::Text("S-1")})
        .Product({.manufacturer = Field::Text("Kestrel"),
                  .name = Field::Text("Node"),
                  .assetTag = Field::Text("TAG-0001")})
        .AreaBytes(sim::fru::Area::kProduct, 64)
        .Build();
}

// The last three slots, once empty, hold the encoding, text and whole-write
// entries; the revision word stays, and the table keeps its size.
TEST(OrvelTable, HasTheRevisionAndFiftyEntries) {
    EFI_FRU_INTERFACE& table = Table();
    EXPECT_EQ(table.Revision, 0x00020000u);
    static_assert(sizeof(EFI_FRU_INTERFACE) == sizeof(void*) * 51);
    const auto* slots = reinterpret_cast<void* const*>(&table.Initialize);
    for (int slot = 0; slot < 50; ++slot) EXPECT_NE(slots[slot], nullptr) << "slot " << slot + 1;
    EXPECT_EQ(reinterpret_cast<void*>(table.SelectList), Symbol("SelectList"));
}

// Every entry that needs the library refuses to work before Initialize;
// the few that do not are the ones a host may call first.
TEST(OrvelTable, EntriesBeforeInitializeReturnNotInitialized) {
    EFI_FRU_INTERFACE& t = Table();
    bool flag = false;
    const wchar_t* text = nullptr;
    std::uint32_t a = 0, b = 0;
    std::uint8_t byte = 0, buffer[8] = {};
    std::uint16_t word = 0;
    FRU_TYPE type{};
    const std::uint8_t* bytes = nullptr;
    const std::vector<std::pair<const char*, std::function<std::uint32_t()>>> entries = {
        {"LoadConfigurationFromSystem", [&] { return t.LoadConfigurationFromSystem(&t); }},
        {"LoadConfigurationFromFile",
         [&] { return t.LoadConfigurationFromFile(&t, L"x", nullptr); }},
        {"CommitConfigurationToSystem", [&] { return t.CommitConfigurationToSystem(&t); }},
        {"SaveConfigurationToFile", [&] { return t.SaveConfigurationToFile(&t, L"x", nullptr); }},
        {"IsLoaded", [&] { return t.IsLoaded(&t, &flag); }},
        {"IsModified", [&] { return t.IsModified(&t, &flag); }},
        {"GetLastErrorMessage", [&] { return t.GetLastErrorMessage(&t, &text); }},
        {"SetProgressCallback", [&] { return t.SetProgressCallback(&t, nullptr); }},
        {"SetProgressCallbackInterval", [&] { return t.SetProgressCallbackInterval(&t, 5); }},
        {"SetDebugLevel", [&] { return t.SetDebugLevel(&t, 0); }},
        {"LoadFruAtAddress",
         [&] { return t.LoadFruAtAddress(&t, FRU_NVS_IMBDEVICE, 0, 0x20, 0xFF, 0x20, 0, 0, 0); }},
        {"SelectList", [&] { return t.SelectList(&t, FRU_LIST_SYSTEM); }},
        {"GetNumberOfFrus", [&] { return t.GetNumberOfFrus(&t, &a, &b); }},
        {"SelectFru", [&] { return t.SelectFru(&t, 0); }},
        {"SelectFruByAddress",
         [&] { return t.SelectFruByAddress(&t, FRU_NVS_IMBDEVICE, 0, 0x20, 0xFF, 0x20, 0, 0, 0); }},
        {"GetFruName", [&] { return t.GetFruName(&t, &text); }},
        {"GetFruAddress",
         [&] {
             return t.GetFruAddress(&t, &type, &byte, &byte, &byte, &byte, &byte, &byte, &word);
         }},
        {"HasInternalUseArea", [&] { return t.HasInternalUseArea(&t, &flag); }},
        {"HasBoardArea", [&] { return t.HasBoardArea(&t, &flag); }},
        {"HasProductArea", [&] { return t.HasProductArea(&t, &flag); }},
        {"HasChassisArea", [&] { return t.HasChassisArea(&t, &flag); }},
        {"HasMultiRecordArea", [&] { return t.HasMultiRecordArea(&t, &flag); }},
        {"GetNumberOfAreas", [&] { return t.GetNumberOfAreas(&t, &a); }},
        {"SelectAreaEnum", [&] { return t.SelectAreaEnum(&t, FRU_AREA_BOARD); }},
        {"SelectAreaInteger", [&] { return t.SelectAreaInteger(&t, 0); }},
        {"GetAreaName", [&] { return t.GetAreaName(&t, &text); }},
        {"GetNumberOfFields", [&] { return t.GetNumberOfFields(&t, &a); }},
        {"SelectFieldEnum", [&] { return t.SelectFieldEnum(&t, FRU_FIELD_PRODUCT_NAME); }},
        {"SelectFieldInteger", [&] { return t.SelectFieldInteger(&t, 0); }},
        {"GetFieldTitle", [&] { return t.GetFieldTitle(&t, &text); }},
        {"GetMaxFieldSize", [&] { return t.GetMaxFieldSize(&t, &a); }},
        {"GetFieldStringValue", [&] { return t.GetFieldStringValue(&t, &text); }},
        {"GetFieldDataValue", [&] { return t.GetFieldDataValue(&t, &bytes, &a); }},
        {"SetFieldDataValue", [&] { return t.SetFieldDataValue(&t, buffer, 2); }},
        {"LoadPropertiesFromSystem", [&] { return t.LoadPropertiesFromSystem(&t); }},
        {"GetNumberOfProperties", [&] { return t.GetNumberOfProperties(&t, &a); }},
        {"SelectProperty", [&] { return t.SelectProperty(&t, 0); }},
        {"GetPropertyTitle", [&] { return t.GetPropertyTitle(&t, &text); }},
        {"GetPropertyValue", [&] { return t.GetPropertyValue(&t, &text); }},
        {"GetAreaData",
         [&] {
             a = 8;
             return t.GetAreaData(&t, buffer, &a);
         }},
        {"SetAreaData", [&] { return t.SetAreaData(&t, buffer, 8); }},
    };
    ASSERT_EQ(t.DeInitialize(&t), 0u) << "DeInitialize before Initialize";
    for (const auto& [name, call] : entries) EXPECT_EQ(call(), kNotInitialized) << name;
    EXPECT_EQ(t.SetDisplayCallback(&t, nullptr), 0u);
    EXPECT_EQ(t.SetPwd(&t, "secret", 6), 0u);
    EXPECT_EQ(t.AddFruToSystemList(&t), 0xC0070030u);
}

using OrvelInitTest = OrvelLibraryTest;

TEST_F(OrvelInitTest, InitializeFailsWithoutTheStringFileAndLeavesTheLibraryUnusable) {
    sim::ResetMachine();
    // The scratch folder has no string file.
    EXPECT_EQ(t.Initialize(&t, 0), 0xC0070001u);
    bool loaded = true;
    EXPECT_EQ(t.IsLoaded(&t, &loaded), kNotInitialized);
}

TEST_F(OrvelInitTest, SetLanguageLocaleKeepsTheOldTableWhenTheNewOneIsMissing) {
    Boot();
    EXPECT_EQ(t.SetLanguageLocale(&t, L"fr", L"fr"), 0xC007001Fu);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    ASSERT_EQ(t.SelectList(&t, FRU_LIST_SYSTEM), 0u);
    ASSERT_EQ(t.SelectFru(&t, 0), 0u);
    ASSERT_EQ(t.SelectAreaEnum(&t, FRU_AREA_BOARD), 0u);
    const wchar_t* name = nullptr;
    ASSERT_EQ(t.GetAreaName(&t, &name), 0u);
    EXPECT_STREQ(name, L"Board Info Area");
}

class OrvelLoadTest : public OrvelLibraryTest {};

TEST_F(OrvelLoadTest, CountsNeedALoadThenAList) {
    Boot();
    std::uint32_t first = 0, second = 0;
    EXPECT_EQ(t.GetNumberOfFrus(&t, &first, &second), 0xC007000Bu);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    EXPECT_EQ(t.GetNumberOfFrus(&t, &first, &second), 0xC007000Cu);
    EXPECT_EQ(LastError(), L"An unexpected error occurred.");
    ASSERT_EQ(t.SelectList(&t, FRU_LIST_SYSTEM), 0u);
    ASSERT_EQ(t.GetNumberOfFrus(&t, &first, &second), 0u);
    EXPECT_EQ(first, 0u) << "locations known";
    EXPECT_EQ(second, 1u) << "FRUs read";
}

TEST_F(OrvelLoadTest, ASilentBmcLoadsNothingButSucceedsWithTheReasonAsLastError) {
    Boot(SilentBmc());
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    bool loaded = false;
    ASSERT_EQ(t.IsLoaded(&t, &loaded), 0u);
    EXPECT_TRUE(loaded);
    // The reason is the missing answer, with the wait it took, never a FRU
    // with bad data.
    EXPECT_EQ(LastError(),
              L"The BMC gave no answer: no BMC answers at the KCS ports 0CA2h/0CA3h (from "
              L"SMBIOS): the status port reads FFh; no response over KCS at 0CA2h/0CA3h to netFn "
              L"0Ah command 11h: the interface stayed busy (IBF set) before the request, after "
              L"15.0 s.");
    ASSERT_EQ(t.SelectList(&t, FRU_LIST_SYSTEM), 0u);
    std::uint32_t first = 9, second = 9;
    ASSERT_EQ(t.GetNumberOfFrus(&t, &first, &second), 0u);
    EXPECT_EQ(second, 0u);
}

std::vector<std::pair<unsigned, std::wstring>> gProgress;
unsigned RecordProgress(PROGRESS_CALLBACK_TYPE type, const wchar_t* text, unsigned first,
                        unsigned second) {
    gProgress.emplace_back(type, std::wstring(text) + L" [" + std::to_wstring(first) + L"," +
                                     std::to_wstring(second) + L"]");
    return 0;
}

TEST_F(OrvelLoadTest, LoadingFromTheSystemReadsTheDefaultDeviceAndReportsTheCounts) {
    Boot();
    gProgress.clear();
    ASSERT_EQ(t.SetProgressCallback(&t, RecordProgress), 0u);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    ASSERT_EQ(gProgress.size(), 1u);
    EXPECT_EQ(gProgress[0].first, PROGRESS_LOAD);
    EXPECT_EQ(gProgress[0].second,
              L"Loaded 1 FRU(s) from the system; 0 known FRU location(s). [1,0]");
    // The default location is the BMC's logical device 0, read in 8-byte
    // pieces at most.
    const auto accesses = TakeAccesses();
    ASSERT_FALSE(accesses.empty());
    for (const auto& access : accesses) {
        EXPECT_EQ(access.device, "baseboard");
        EXPECT_EQ(access.operation, "read");
        EXPECT_LE(access.length, 8u);
    }
    SelectField(FRU_LIST_SYSTEM, 0, FRU_AREA_BOARD, FRU_FIELD_BOARD_MANUFACTURER);
    EXPECT_EQ(FieldText(), L"Kestrel Server Works");
}

TEST_F(OrvelLoadTest, LoadFruAtAddressReadsAPrivateBusMemoryAndAFailureKeepsNothing) {
    Boot();
    // The riser's EEPROM answers the 17h command form on private bus 2.
    ASSERT_EQ(t.LoadFruAtAddress(&t, FRU_NVS_DS1624S, 0, 0x9E, 0x05, 0x20, 0, 0xFF, 0), 0u);
    for (const auto& access : TakeAccesses()) EXPECT_EQ(access.device, "riser");
    // Nothing answers at slave address 0xA0 on that bus.
    EXPECT_EQ(t.LoadFruAtAddress(&t, FRU_NVS_DS1624S, 0, 0xA0, 0x05, 0x20, 0, 0xFF, 0),
              0xC0070028u);
    ASSERT_EQ(t.SelectList(&t, FRU_LIST_SYSTEM), 0u);
    std::uint32_t first = 0, second = 0;
    ASSERT_EQ(t.GetNumberOfFrus(&t, &first, &second), 0u);
    EXPECT_EQ(second, 1u);
    ASSERT_EQ(t.SelectFruByAddress(&t, FRU_NVS_DS1624S, 0, 0x9E, 0x05, 0x20, 0, 0x12, 0x3456), 0u)
        << "the mBMC values are not part of the address";
    FRU_TYPE type{};
    std::uint8_t lun = 9, slave = 0, bus = 0, controller = 0, device = 9, sizeData = 0;
    std::uint16_t sizeAddress = 9;
    ASSERT_EQ(t.GetFruAddress(&t, &type, &lun, &slave, &bus, &controller, &device, &sizeData,
                              &sizeAddress),
              0u);
    EXPECT_EQ(type, FRU_NVS_DS1624S);
    EXPECT_EQ(std::vector<int>({lun, slave, bus, controller, device, sizeData, sizeAddress}),
              std::vector<int>({0, 0x9E, 0x05, 0x20, 0, 0xFF, 0}));
}

TEST_F(OrvelLoadTest, SelectFruByAddressWithoutAMatchSaysNotFoundAndLeavesNoFruSelected) {
    Boot();
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    ASSERT_EQ(t.SelectList(&t, FRU_LIST_SYSTEM), 0u);
    ASSERT_EQ(t.SelectFru(&t, 0), 0u);
    EXPECT_EQ(t.SelectFruByAddress(&t, FRU_NVS_IMBDEVICE, 0, 0x20, 0xFF, 0x20, 1, 0, 0),
              0xC007000Du);
    EXPECT_EQ(LastError(), L"No FRU was found at the given address.");
    std::uint32_t areas = 0;
    EXPECT_EQ(t.GetNumberOfAreas(&t, &areas), 0xC007000Cu);
}

TEST_F(OrvelLoadTest, AFileLoadSelectsTheFileListAndItsNewestFru) {
    Boot();
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    ASSERT_EQ(t.SelectList(&t, FRU_LIST_SYSTEM), 0u);
    ASSERT_EQ(t.SelectFru(&t, 0), 0u);
    const std::wstring path = (mScratch.Path() / "baseboard.fru").wstring();
    ASSERT_EQ(t.SaveConfigurationToFile(&t, path.c_str(), nullptr), 0u);
    // The file names the FRU's location: no device is asked when it loads.
    TakeAccesses();
    ASSERT_EQ(t.LoadConfigurationFromFile(&t, path.c_str(), nullptr), 0u);
    ASSERT_EQ(t.LoadConfigurationFromFile(&t, path.c_str(), nullptr), 0u);
    EXPECT_TRUE(TakeAccesses().empty());
    std::uint32_t first = 0, second = 0;
    ASSERT_EQ(t.GetNumberOfFrus(&t, &first, &second), 0u);
    EXPECT_EQ(std::make_pair(first, second), std::make_pair(2u, 2u)) << "the file list's count";
    ASSERT_EQ(t.SelectAreaEnum(&t, FRU_AREA_BOARD), 0u) << "the newest FRU is selected";
    ASSERT_EQ(t.SelectFieldEnum(&t, FRU_FIELD_BOARD_MANUFACTURER), 0u);
    EXPECT_EQ(FieldText(), L"Kestrel Server Works");
    EXPECT_EQ(t.SelectFru(&t, 2), 0xC007000Du);
}

TEST_F(OrvelLoadTest, AFileThatCannotBeReadAddsNothing) {
    Boot();
    EXPECT_EQ(t.LoadConfigurationFromFile(&t, L"no-such.fru", nullptr), 0xC0070007u);
    EXPECT_EQ(LastError(), L"Cannot open the FRU file no-such.fru.");
    bool loaded = true;
    ASSERT_EQ(t.IsLoaded(&t, &loaded), 0u);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(t.LoadConfigurationFromFile(&t, nullptr, nullptr), 0xC0070007u);
}

class OrvelSelectionTest : public OrvelLibraryTest {
  protected:
    void LoadImage(const Bytes& image) {
        Boot();
        FillDevice("baseboard", image);
        ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
        ASSERT_EQ(t.SelectList(&t, FRU_LIST_SYSTEM), 0u);
        ASSERT_EQ(t.SelectFru(&t, 0), 0u);
    }
    std::wstring AreaName() {
        const wchar_t* name = nullptr;
        EXPECT_EQ(t.GetAreaName(&t, &name), 0u);
        return name != nullptr ? name : L"";
    }
};

TEST_F(OrvelSelectionTest, AreaIndicesCountOnlyThePresentAreas) {
    LoadImage(ChassisAndProductOnly());
    std::uint32_t count = 0;
    ASSERT_EQ(t.GetNumberOfAreas(&t, &count), 0u);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(t.SelectAreaInteger(&t, 0), 0u);
    EXPECT_EQ(AreaName(), L"Chassis Info Area");
    ASSERT_EQ(t.SelectAreaInteger(&t, 1), 0u);
    EXPECT_EQ(AreaName(), L"Product Info Area");
    EXPECT_EQ(t.SelectAreaInteger(&t, 2), 0xC007000Du);
    EXPECT_EQ(t.GetAreaName(&t, nullptr), 0xC007000Cu) << "a failed selection leaves none";
}

TEST_F(OrvelSelectionTest, AnAbsentAreaSelectsNothingWithoutFailing) {
    LoadImage(ChassisAndProductOnly());
    ASSERT_EQ(t.SelectAreaEnum(&t, FRU_AREA_BOARD), 0u);
    std::uint32_t fields = 0;
    EXPECT_EQ(t.GetNumberOfFields(&t, &fields), 0xC007000Cu);
    EXPECT_EQ(t.SelectAreaEnum(&t, static_cast<FRU_AREA>(7)), 0xC007000Du);
    ASSERT_EQ(t.SelectAreaEnum(&t, FRU_AREA_COMMON), 0u);
    EXPECT_EQ(t.GetNumberOfFields(&t, &fields), 0xC007000Du) << "the header has no fields";
}

TEST_F(OrvelSelectionTest, SelectingALevelClearsTheLevelsBelowIt) {
    LoadImage(ChassisAndProductOnly());
    const auto fieldSelected = [&] {
        const wchar_t* title = nullptr;
        return t.GetFieldTitle(&t, &title) == 0;
    };
    const std::vector<std::pair<const char*, std::function<std::uint32_t()>>> resets = {
        {"SelectList", [&] { return t.SelectList(&t, FRU_LIST_SYSTEM); }},
        {"SelectFru", [&] { return t.SelectFru(&t, 0); }},
        {"SelectAreaEnum", [&] { return t.SelectAreaEnum(&t, FRU_AREA_PRODUCT); }},
        {"SelectAreaInteger", [&] { return t.SelectAreaInteger(&t, 1); }},
        {"SelectFieldInteger (past the end)", [&] { return t.SelectFieldInteger(&t, 99); }},
    };
    for (const auto& [name, reset] : resets) {
        SelectField(FRU_LIST_SYSTEM, 0, FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_NAME);
        ASSERT_TRUE(fieldSelected());
        reset();
        EXPECT_FALSE(fieldSelected()) << name;
    }
}

TEST_F(OrvelSelectionTest, FieldsAreSelectedByEnumOrIndexWithinTheirArea) {
    LoadImage(ChassisAndProductOnly());
    SelectField(FRU_LIST_SYSTEM, 0, FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_ASSET_TAG);
    const wchar_t* title = nullptr;
    ASSERT_EQ(t.GetFieldTitle(&t, &title), 0u);
    EXPECT_STREQ(title, L"Asset Tag");
    EXPECT_EQ(FieldText(), L"TAG-0001");
    EXPECT_EQ(t.SelectFieldEnum(&t, FRU_FIELD_BOARD_MANUFACTURER), 0xC007000Du);
    EXPECT_EQ(LastError(), L"There is no such FRU field.");
    ASSERT_EQ(t.SelectFieldInteger(&t, 0), 0u);
    EXPECT_EQ(FieldText(), L"Kestrel");
    ASSERT_EQ(t.SelectAreaEnum(&t, FRU_AREA_COMMON), 0u);
    EXPECT_EQ(t.SelectFieldInteger(&t, 0), 0xC0070030u);
    EXPECT_EQ(LastError(), L"The operation is not supported for this area.");
}

// Field 0 of the chassis and board areas is no text field: the areas show
// and set the chassis type and the manufacturing date themselves.
TEST_F(OrvelSelectionTest, ChassisTypeAndManufacturingDateShowAndSetThroughTheirAreas) {
    LoadImage(FruImageBuilder()
                  .Chassis({.type = 0x17, .partNumber = Field::Text("CH-1")})
                  .Board({.manufactured = 0, .manufacturer = Field::Text("Kestrel")})
                  .Build());
    SelectField(FRU_LIST_SYSTEM, 0, FRU_AREA_CHASSIS, FRU_FIELD_CHASSIS_TYPE);
    EXPECT_EQ(FieldText(), L"Rack Mount Chassis");
    const std::uint8_t tower = 0x07;
    ASSERT_EQ(t.SetFieldDataValue(&t, &tower, 1), 0u);
    EXPECT_EQ(FieldText(), L"Tower");

    SelectField(FRU_LIST_SYSTEM, 0, FRU_AREA_BOARD, FRU_FIELD_BOARD_MFG_DATE_TIME);
    EXPECT_EQ(FieldText(), L"Unspecified");
    const std::uint8_t oneDayLater[3] = {0xA0, 0x05, 0x00};  // 1440 minutes
    ASSERT_EQ(t.SetFieldDataValue(&t, oneDayLater, 3), 0u);
    EXPECT_EQ(FieldText(), L"01/02/1996 00:00:00");
    EXPECT_EQ(t.SetFieldDataValue(&t, oneDayLater, 2), 0xC0070027u);
    EXPECT_EQ(LastError(), L"The board field cannot be set.");
}

TEST_F(OrvelSelectionTest, ValuesAreSetWithinTheRoomOfTheArea) {
    LoadImage(ChassisAndProductOnly());
    SelectField(FRU_LIST_SYSTEM, 0, FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_ASSET_TAG);
    std::uint32_t room = 0;
    ASSERT_EQ(t.GetMaxFieldSize(&t, &room), 0u);
    EXPECT_GT(room, 0u);
    const std::string tag = "RACK-12-U07";
    ASSERT_EQ(t.SetFieldDataValue(&t, reinterpret_cast<const std::uint8_t*>(tag.data()),
                                  static_cast<std::uint32_t>(tag.size())),
              0u);
    EXPECT_EQ(FieldText(), L"RACK-12-U07");
    const std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;
    ASSERT_EQ(t.GetFieldDataValue(&t, &bytes, &length), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), length), tag);
    const std::string tooLong(64, 'X');
    EXPECT_EQ(t.SetFieldDataValue(&t, reinterpret_cast<const std::uint8_t*>(tooLong.data()), 64),
              0xC0070027u);
    EXPECT_EQ(LastError(), L"The product field cannot be set.");
    EXPECT_EQ(FieldText(), L"RACK-12-U07") << "a refused value changes nothing";
}

TEST_F(OrvelSelectionTest, RawAreaBytesGoInAndOutOnlyWhereTheyMayAndFitTheBuffer) {
    const Bytes image = FruImageBuilder()
                            .InternalUse({0xAB, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07})
                            .Board({.manufacturer = Field::Text("Kestrel")})
                            .Build();
    LoadImage(image);
    std::uint8_t buffer[16] = {};
    std::uint32_t size = 7;
    ASSERT_EQ(t.SelectAreaEnum(&t, FRU_AREA_COMMON), 0u);
    EXPECT_EQ(t.GetAreaData(&t, buffer, &size), 0xC007002Fu) << "the header needs exactly 8";
    EXPECT_EQ(size, 0u);
    size = 8;
    ASSERT_EQ(t.GetAreaData(&t, buffer, &size), 0u);
    EXPECT_EQ(Bytes(buffer, buffer + 8), Bytes(image.begin(), image.begin() + 8));

    ASSERT_EQ(t.SelectAreaEnum(&t, FRU_AREA_INTERNAL), 0u);
    using AreaSize = std::uint32_t (*)(EFI_FRU_INTERFACE*, std::uint32_t*);
    const auto areaSize =
        reinterpret_cast<AreaSize>(Symbol("_ZN12Orvel_Public11GetAreaSizeEP17EFI_FRU_INTERFACEPj"));
    ASSERT_NE(areaSize, nullptr);
    std::uint32_t length = 0;
    ASSERT_EQ(areaSize(&t, &length), 0u);
    EXPECT_EQ(length, 8u);
    size = sizeof buffer;
    ASSERT_EQ(t.GetAreaData(&t, buffer, &size), 0u);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(buffer[1], 0xAB);
    const std::uint8_t replacement[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    EXPECT_EQ(t.SetAreaData(&t, replacement, 7), 0xC0070030u) << "its length is fixed";
    ASSERT_EQ(t.SetAreaData(&t, replacement, 8), 0u);
    size = sizeof buffer;
    ASSERT_EQ(t.GetAreaData(&t, buffer, &size), 0u);
    EXPECT_EQ(Bytes(buffer, buffer + 8), Bytes(replacement, replacement + 8));

    // An info area goes out and in whole, at its own length, every
    // type/length byte as given.
    ASSERT_EQ(t.SelectAreaEnum(&t, FRU_AREA_BOARD), 0u);
    size = sizeof buffer;
    EXPECT_EQ(t.GetAreaData(&t, buffer, &size), 0xC007002Fu) << "the buffer is too small";
    std::uint8_t board[512];
    size = sizeof board;
    ASSERT_EQ(t.GetAreaData(&t, board, &size), 0u);
    ASSERT_GT(size, 16u);
    EXPECT_EQ(size % 8, 0u);
    EXPECT_EQ(board[1] * 8u, size);
    EXPECT_EQ(t.SetAreaData(&t, board, size - 8), 0xC0070027u) << "its length is fixed";
    board[size - 1] ^= 1;
    EXPECT_EQ(t.SetAreaData(&t, board, size), 0xC0070027u) << "a broken checksum";
    board[size - 1] ^= 1;
    EXPECT_EQ(t.SetAreaData(&t, board, size), 0u);
    EXPECT_EQ(t.GetAreaData(nullptr, buffer, &size), kNotInitialized);
    EXPECT_EQ(areaSize(&t, &length), 0xC0070030u);
    EXPECT_EQ(length, 0u);
}

class OrvelWriteBackTest : public OrvelLibraryTest {};

TEST_F(OrvelWriteBackTest, AnEditedFieldIsWrittenToTheDeviceAndReadsBack) {
    Boot();
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    SelectField(FRU_LIST_SYSTEM, 0, FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_ASSET_TAG);
    const std::string tag = "LAB-42";
    ASSERT_EQ(t.SetFieldDataValue(&t, reinterpret_cast<const std::uint8_t*>(tag.data()), 6), 0u);
    gProgress.clear();
    ASSERT_EQ(t.SetProgressCallback(&t, RecordProgress), 0u);
    const Bytes before = DeviceContents("baseboard");
    ASSERT_EQ(t.CommitConfigurationToSystem(&t), 0u);
    const Bytes after = DeviceContents("baseboard");
    EXPECT_NE(before, after);
    // The header, the board area (always written) and the edited product
    // area were written; the chassis, internal use and multi-record areas
    // were not touched.
    const auto sample = sim::fru::SampleFru("baseboard", 2048);
    std::set<sim::fru::Area> written;
    bool headerWritten = false;
    for (const auto& access : TakeAccesses("baseboard")) {
        if (access.operation != "write") continue;
        EXPECT_EQ(access.completionCode, 0);
        headerWritten |= access.offset < 8;
        for (const sim::fru::Area area : sim::fru::kAreas) {
            const auto where = sample.Where(area);
            if (where && access.offset >= where->offset &&
                access.offset < where->offset + where->length) {
                written.insert(area);
            }
        }
    }
    EXPECT_TRUE(headerWritten);
    EXPECT_EQ(written, std::set({sim::fru::Area::kBoard, sim::fru::Area::kProduct}));
    ASSERT_FALSE(gProgress.empty());
    EXPECT_EQ(gProgress.front().second,
              L"Writing FRU device 0 at controller 20h (slave address 20h, bus FFh) [0,0]");

    // A second host session reads what was written.
    ASSERT_EQ(t.DeInitialize(&t), 0u);
    Boot();
    FillDevice("baseboard", after);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    SelectField(FRU_LIST_SYSTEM, 0, FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_ASSET_TAG);
    EXPECT_EQ(FieldText(), L"LAB-42");
}

TEST_F(OrvelWriteBackTest, CommitNeedsAFruOfTheSystemList) {
    Boot();
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    TakeAccesses();
    EXPECT_EQ(t.CommitConfigurationToSystem(&t), 0xC007000Du) << "no list selected";
    ASSERT_EQ(t.SelectList(&t, FRU_LIST_FILE), 0u);
    EXPECT_EQ(t.CommitConfigurationToSystem(&t), 0xC007000Du) << "the file list";
    EXPECT_TRUE(TakeAccesses().empty());
}

TEST_F(OrvelWriteBackTest, AFailedWriteReportsTheWriteCode) {
    Boot(simtest::SettingsOf({{"fru.baseboard.write_protect", "all"}}));
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    ASSERT_EQ(t.SelectList(&t, FRU_LIST_SYSTEM), 0u);
    ASSERT_EQ(t.SelectFru(&t, 0), 0u);
    EXPECT_EQ(t.CommitConfigurationToSystem(&t), 0xC0070029u);
    EXPECT_EQ(LastError(),
              L"Writing FRU device 0 at controller 20h (slave address 20h, bus FFh) to the "
              L"system failed.");
}

class OrvelMiscTest : public OrvelLibraryTest {};

TEST_F(OrvelMiscTest, PropertiesCountTheFrusAndNameTheIpmiVersion) {
    Boot();
    std::uint32_t count = 0;
    EXPECT_EQ(t.GetNumberOfProperties(&t, &count), 0xC007000Bu);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    ASSERT_EQ(t.LoadPropertiesFromSystem(&t), 0u);
    ASSERT_EQ(t.GetNumberOfProperties(&t, &count), 0u);
    EXPECT_EQ(count, 3u);
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"IPMI Version", L"Other than 1.0"},
        {L"Number of FRUs", L"0"},
        {L"Number of IPMI FRUs", L"1"}};
    for (std::uint32_t index = 0; index < 3; ++index) {
        ASSERT_EQ(t.SelectProperty(&t, index), 0u);
        const wchar_t* title = nullptr;
        const wchar_t* value = nullptr;
        ASSERT_EQ(t.GetPropertyTitle(&t, &title), 0u);
        ASSERT_EQ(t.GetPropertyValue(&t, &value), 0u);
        EXPECT_EQ(std::make_pair(std::wstring(title), std::wstring(value)), expected[index]);
    }
    EXPECT_EQ(t.SelectProperty(&t, 3), 0xC007000Du);
    const wchar_t* title = nullptr;
    EXPECT_EQ(t.GetPropertyTitle(&t, &title), 0xC007000Cu);
}

// Failures after a hand-out write the other buffer, so the text a host holds
// is not overwritten under it.
TEST_F(OrvelMiscTest, AHandedOutTextStaysIntactWhileLaterCallsFail) {
    Boot();
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    EXPECT_EQ(t.SelectList(&t, 7), 0xC007000Du);
    const wchar_t* first = nullptr;
    ASSERT_EQ(t.GetLastErrorMessage(&t, &first), 0u);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, L"An unexpected error occurred.");
    ASSERT_EQ(t.SelectList(&t, FRU_LIST_SYSTEM), 0u);
    EXPECT_EQ(t.SelectFruByAddress(&t, FRU_NVS_IMBDEVICE, 0, 0x20, 0xFF, 0x20, 9, 0, 0),
              0xC007000Du);
    EXPECT_STREQ(first, L"An unexpected error occurred.") << "the held text is intact";
    const wchar_t* second = nullptr;
    ASSERT_EQ(t.GetLastErrorMessage(&t, &second), 0u);
    EXPECT_STREQ(second, L"No FRU was found at the given address.");
    const wchar_t* third = reinterpret_cast<const wchar_t*>(1);
    ASSERT_EQ(t.GetLastErrorMessage(&t, &third), 0u);
    EXPECT_EQ(third, nullptr) << "nothing failed since the last call";
}

TEST_F(OrvelMiscTest, SaveNeedsAFileNameAndNoAuxiliaryFile) {
    Boot();
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    ASSERT_EQ(t.SelectList(&t, FRU_LIST_SYSTEM), 0u);
    ASSERT_EQ(t.SelectFru(&t, 0), 0u);
    EXPECT_EQ(t.SaveConfigurationToFile(&t, nullptr, nullptr), 0xC007002Fu);
    EXPECT_EQ(LastError(), L"An unexpected error occurred.");
    EXPECT_EQ(t.SaveConfigurationToFile(&t, L"fru.cfg", L"aux.cfg"), 0xC007002Fu);
    EXPECT_FALSE(std::filesystem::exists("fru.cfg"));
}

TEST_F(OrvelMiscTest, AddFruToSystemListChangesNothing) {
    Boot();
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    EXPECT_EQ(t.AddFruToSystemList(&t), 0xC0070030u);
    ASSERT_EQ(t.SelectList(&t, FRU_LIST_SYSTEM), 0u);
    std::uint32_t first = 0, second = 0;
    ASSERT_EQ(t.GetNumberOfFrus(&t, &first, &second), 0u);
    EXPECT_EQ(std::make_pair(first, second), std::make_pair(0u, 1u));
}

TEST_F(OrvelMiscTest, SetPwdRefusesAPasswordThatDoesNotFit) {
    EXPECT_EQ(t.SetPwd(&t, "0123456789abcdef", 16), 0u);
    EXPECT_EQ(t.SetPwd(&t, "0123456789abcdefg", 17), 0xC007000Du);
    EXPECT_EQ(t.SetPwd(&t, nullptr, 0), 0xC007000Du);
}

TEST_F(OrvelMiscTest, TheHeaderProbeTellsAFruFromOtherBytes) {
    using Probe = std::uint32_t (*)(EFI_FRU_INTERFACE*, FRU_TYPE, std::uint8_t, std::uint8_t,
                                    std::uint8_t, std::uint8_t, std::uint8_t);
    const auto probe = reinterpret_cast<Probe>(Symbol(
        "_ZN12Orvel_Public33FindFruAtAddressAndChecksumHeaderEP17EFI_FRU_INTERFACE8FRU_TYPEhhhhh"));
    ASSERT_NE(probe, nullptr);
    Boot();
    EXPECT_EQ(probe(&t, FRU_NVS_IMBDEVICE, 0, 0x20, 0xFF, 0x20, 0), 0u);
    Bytes bad = DeviceContents("baseboard");
    bad[7] ^= 0x01;
    FillDevice("baseboard", bad);
    EXPECT_EQ(probe(&t, FRU_NVS_IMBDEVICE, 0, 0x20, 0xFF, 0x20, 0), 0xC0070016u);
    FillDevice("baseboard", Bytes(8, 0x00));
    EXPECT_EQ(probe(&t, FRU_NVS_IMBDEVICE, 0, 0x20, 0xFF, 0x20, 0), 0xC0070025u);
    EXPECT_EQ(LastError(), L"The FRU data is not in the IPMI FRU format.");
    EXPECT_EQ(probe(&t, FRU_NVS_NONE, 0, 0x20, 0xFF, 0x20, 0), 0xC0070028u);
    EXPECT_EQ(LastError(), L"The common header of the FRU cannot be read.");
}

}  // namespace
}  // namespace orvel_test
