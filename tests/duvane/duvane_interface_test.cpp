// The table as a host meets it: its shape, the entries that refuse before
// Initialize or without an image, the lifecycle and the image slots.
#include <functional>

#include "tests/duvane/duvane_library.h"

namespace duvane_test {
namespace {

using Entry = std::function<int(_EFI_DUVANE_INTERFACE&)>;

struct NamedEntry {
    const char* name;
    Entry call;
};

bool gFlag = false;
unsigned char gAddress = 0;
unsigned gNumber = 0;
wchar_t* gText = nullptr;
wchar_t gVersion[DUVANE_VERSION_LENGTH];
PROGRESS_CALLBACK gNoProgress = nullptr;
const wchar_t* gList[] = {L"1.00"};
const bool kLock = true;

// Every entry that needs an initialised library, with arguments that would
// otherwise be taken.
const NamedEntry kCheckedEntries[] = {
    {"LoadConfigurationFromSystem", [](auto& t) { return t.LoadConfigurationFromSystem(&t); }},
    {"LoadConfigurationFromFile",
     [](auto& t) {
         return t.LoadConfigurationFromFile(&t, L"/nonexistent", nullptr, FW_FILE_HEX);
     }},
    {"ReadEfsConfigurationFromSystem",
     [](auto& t) { return t.ReadEfsConfigurationFromSystem(&t); }},
    {"SelectFwAreaforUpdate",
     [](auto& t) { return t.SelectFwAreaforUpdate(&t, BMC_FW_AREA_BOOT); }},
    {"CommitConfigurationToSystem", [](auto& t) { return t.CommitConfigurationToSystem(&t); }},
    {"SaveConfigurationToFile", [](auto& t) { return t.SaveConfigurationToFile(&t, L"x", L"x"); }},
    {"IsLoaded", [](auto& t) { return t.IsLoaded(&t, gFlag); }},
    {"IsModified", [](auto& t) { return t.IsModified(&t, gFlag); }},
    {"SetProgressCallback", [](auto& t) { return t.SetProgressCallback(&t, gNoProgress); }},
    {"GetLastErrorMessage", [](auto& t) { return t.GetLastErrorMessage(&t, gText); }},
    {"SetLanguageLocale", [](auto& t) { return t.SetLanguageLocale(&t, L"en", L"us"); }},
    {"SelectDeviceAddress", [](auto& t) { return t.SelectDeviceAddress(&t, DUVANE_DEVICE_BMC); }},
    {"SelectDeviceArea",
     [](auto& t) { return t.SelectDeviceArea(&t, EFWUPDATE_DEVICE_AREA_BOOT); }},
    {"GetVersionFromSystem", [](auto& t) { return t.GetVersionFromSystem(&t, gVersion); }},
    {"GetVersionFromFile", [](auto& t) { return t.GetVersionFromFile(&t, gText); }},
    {"GetDeviceAddressFromFile", [](auto& t) { return t.GetDeviceAddressFromFile(&t, gAddress); }},
    {"GetDeviceNameFromFile", [](auto& t) { return t.GetDeviceNameFromFile(&t, gText); }},
    {"IsVersionSupported",
     [](auto& t) { return t.IsVersionSupported(&t, L"1.00", gList, 1, gFlag); }},
    {"IsConfigurationFileForSystem",
     [](auto& t) { return t.IsConfigurationFileForSystem(&t, gFlag); }},
    {"LockFrontPanel", [](auto& t) { return t.LockFrontPanel(&t, kLock); }},
    {"IsBmcInFwTransferMode", [](auto& t) { return t.IsBmcInFwTransferMode(&t, gFlag); }},
    {"GetBIOSPlatformIdFromFile", [](auto& t) { return t.GetBIOSPlatformIdFromFile(&t, gText); }},
    {"GetPiaVersion", [](auto& t) { return t.GetPiaVersion(&t, gNumber); }},
    {"BmcRefresh", [](auto& t) { return t.BmcRefresh(&t); }},
};

// The entries that read the current image.
const NamedEntry kImageEntries[] = {
    {"ReadEfsConfigurationFromSystem",
     [](auto& t) { return t.ReadEfsConfigurationFromSystem(&t); }},
    {"GetVersionFromFile", [](auto& t) { return t.GetVersionFromFile(&t, gText); }},
    {"GetDeviceAddressFromFile", [](auto& t) { return t.GetDeviceAddressFromFile(&t, gAddress); }},
    {"GetDeviceNameFromFile", [](auto& t) { return t.GetDeviceNameFromFile(&t, gText); }},
    {"IsConfigurationFileForSystem",
     [](auto& t) { return t.IsConfigurationFileForSystem(&t, gFlag); }},
    {"GetBIOSPlatformIdFromFile", [](auto& t) { return t.GetBIOSPlatformIdFromFile(&t, gText); }},
    {"GetPiaVersion", [](auto& t) { return t.GetPiaVersion(&t, gNumber); }},
    {"CommitConfigurationToSystem", [](auto& t) { return t.CommitConfigurationToSystem(&t); }},
};

// An ME binary image: any bytes are one.
Bytes MeImage(std::size_t size) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 5 + 1);
    return image;
}

// The 27 entries every host of the revision relies on stand where it
// expects them; the two after them are this library's own and filled too.
TEST(DuvaneTable, HasItsRevisionAnd27EntriesInPlaceThenItsOwnTwo) {
    _EFI_DUVANE_INTERFACE& t = Table();
    EXPECT_EQ(t.Revision, 0x00010000u);
    static_assert(offsetof(_EFI_DUVANE_INTERFACE, BmcRefresh) ==
                  offsetof(_EFI_DUVANE_INTERFACE, Initialize) + 26 * sizeof(void*));
    static_assert(sizeof(_EFI_DUVANE_INTERFACE) ==
                  offsetof(_EFI_DUVANE_INTERFACE, Initialize) + 29 * sizeof(void*));
    const auto* slots = reinterpret_cast<void* const*>(&t.Initialize);
    for (int slot = 0; slot < 29; ++slot) EXPECT_NE(slots[slot], nullptr) << "slot " << slot + 1;
}

TEST_F(DuvaneLibraryTest, EveryCheckedEntryRefusesBeforeInitialize) {
    for (const NamedEntry& entry : kCheckedEntries) {
        EXPECT_EQ(entry.call(t), kNotInitialized) << entry.name;
    }
    EXPECT_EQ(t.SetDisplayCallback(&t, nullptr), 0);
    EXPECT_EQ(t.DeInitialize(&t), 0);
}

TEST_F(DuvaneLibraryTest, EveryCheckedEntryRefusesAgainAfterDeInitialize) {
    Boot();
    ASSERT_EQ(t.DeInitialize(&t), 0);
    for (const NamedEntry& entry : kCheckedEntries) {
        EXPECT_EQ(entry.call(t), kNotInitialized) << entry.name;
    }
}

TEST_F(DuvaneLibraryTest, ImageEntriesRefuseWithoutAnImage) {
    Boot();
    for (const NamedEntry& entry : kImageEntries) EXPECT_EQ(entry.call(t), kNoImage) << entry.name;
    // An image that failed to load leaves its slot current and empty.
    EXPECT_EQ(t.LoadConfigurationFromFile(&t, L"/nonexistent/image.hex", L"image.hex", FW_FILE_HEX),
              static_cast<int>(0xC00A000D));
    for (const NamedEntry& entry : kImageEntries) EXPECT_EQ(entry.call(t), kNoImage) << entry.name;
    bool loaded = true;
    EXPECT_EQ(t.IsLoaded(&t, loaded), 0);
    EXPECT_FALSE(loaded);
}

TEST_F(DuvaneLibraryTest, FixedAnswersOfTheTable) {
    Boot();
    bool flag = true;
    EXPECT_EQ(t.IsModified(&t, flag), 0);
    EXPECT_FALSE(flag);
    flag = true;
    EXPECT_EQ(t.IsBmcInFwTransferMode(&t, flag), 0);
    EXPECT_FALSE(flag);
    EXPECT_EQ(t.SaveConfigurationToFile(&t, L"out", L"out"), static_cast<int>(0xC00A000A));
    EXPECT_EQ(t.SelectFwAreaforUpdate(&t, static_cast<BmcFwArea>(5)), static_cast<int>(0xC00A0013));
    EXPECT_EQ(t.SelectDeviceArea(&t, static_cast<EFWUPDATE_DEVICE_AREA>(0)),
              static_cast<int>(0xC00A0013));
}

TEST_F(DuvaneLibraryTest, AnImageLoadsIntoTheNextSlotAndBecomesCurrent) {
    Boot();
    ASSERT_EQ(Load(MeImage(64), FW_FILE_ME_BINARY), 0) << LastError();
    bool loaded = false;
    EXPECT_EQ(t.IsLoaded(&t, loaded), 0);
    EXPECT_TRUE(loaded);
    wchar_t* name = nullptr;
    EXPECT_EQ(t.GetDeviceNameFromFile(&t, name), 0);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, L"ME");
    unsigned char address = 0xFF;
    EXPECT_EQ(t.GetDeviceAddressFromFile(&t, address), 0);
    EXPECT_EQ(address, 0);
}

TEST_F(DuvaneLibraryTest, AtMost25ImagesLoadInTheLifeOfTheProcess) {
    Boot();
    const Bytes image = MeImage(16);
    for (int slot = 0; slot < 20; ++slot) ASSERT_EQ(Load(image, FW_FILE_ME_BINARY), 0) << slot;
    // The slot counter outlives DeInitialize: a new Initialize goes on
    // from slot 21.
    ASSERT_EQ(t.DeInitialize(&t), 0);
    Boot();
    bool loaded = true;
    EXPECT_EQ(t.IsLoaded(&t, loaded), 0);
    EXPECT_FALSE(loaded);
    for (int slot = 20; slot < 25; ++slot) ASSERT_EQ(Load(image, FW_FILE_ME_BINARY), 0) << slot;
    EXPECT_EQ(Load(image, FW_FILE_ME_BINARY), static_cast<int>(0xC00A000A));
    EXPECT_NE(LastError().find(L"25"), std::wstring::npos) << LastError();
}

TEST_F(DuvaneLibraryTest, AnUnknownImageTypeIsRefused) {
    Boot();
    EXPECT_EQ(Load(MeImage(16), static_cast<FwFileType>(3)), static_cast<int>(0xC00A000A));
    bool loaded = true;
    EXPECT_EQ(t.IsLoaded(&t, loaded), 0);
    EXPECT_FALSE(loaded);
}

TEST_F(DuvaneLibraryTest, ALanguageWithoutItsStringFileKeepsTheOldTable) {
    Boot();
    EXPECT_EQ(t.SetLanguageLocale(&t, L"xx", L"yy"), static_cast<int>(0xC00A0020));
    EXPECT_NE(gDisplayed.find(L"Unable to initialize DUVANE list"), std::wstring::npos);
    // Texts still come from the English table.
    EXPECT_EQ(t.SaveConfigurationToFile(&t, L"a", L"b"), static_cast<int>(0xC00A000A));
    EXPECT_EQ(t.LoadConfigurationFromSystem(&t), static_cast<int>(0xC00A0013));
    // The table is found from the resource folder, as in Initialize.
    std::filesystem::current_path(DUVANE_RESOURCE_DIR);
    EXPECT_EQ(t.SetLanguageLocale(&t, L"en", L"us"), 0);
    std::filesystem::current_path(mScratch.Path());
}

TEST_F(DuvaneLibraryTest, InitializeOutsideTheResourceFolderFailsAndLeavesTheLibraryDown) {
    sim::ResetMachine({});
    EXPECT_EQ(t.Initialize(&t, 0), static_cast<int>(0xC00A0020));
    EXPECT_EQ(t.IsLoaded(&t, gFlag), kNotInitialized);
}

TEST_F(DuvaneLibraryTest, ABmcThatDoesNotAnswerIsNotIdentified) {
    sim::Settings settings;
    settings.Set("bmc.fault.answer", "0x06:0x01:0xFF");
    sim::ResetMachine(settings);
    std::filesystem::current_path(DUVANE_RESOURCE_DIR);
    const int status = t.Initialize(&t, 0);
    std::filesystem::current_path(mScratch.Path());
    EXPECT_EQ(status, static_cast<int>(0xC00A0004));
    EXPECT_EQ(LastError(), Text(14));
}

}  // namespace
}  // namespace duvane_test
