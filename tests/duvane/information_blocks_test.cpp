// Finding the information blocks in crafted images, and the checks that
// decide whether an image is usable and for which device.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "duvane/duvane_status.h"
#include "duvane/fw_file.h"
#include "image_fixture.h"

namespace duvane_test {
namespace {

using namespace DirectFwUpdate_Private;

constexpr std::size_t kBootAt = 0x0000;
constexpr std::size_t kPiaAt = 0x1000;
constexpr std::size_t kOpCodeAt = 0x2000;
constexpr std::size_t kEfsAt = 0x8000;
constexpr std::size_t kImageSize = 0xC000;

// What a BMC image carries; a case leaves out or changes what it tests.
struct BmcImage {
    std::optional<BootInfoFields> boot = BootInfoFields{};
    std::optional<OpCodeInfoFields> opCode = OpCodeInfoFields{};
    std::optional<PiaFields> pia = PiaFields{};
    std::optional<EfsFields> efs = EfsFields{};

    Bytes Build() const {
        Bytes image = ErasedImage(kImageSize);
        if (boot) Place(image, kBootAt, BootInfoBlock(*boot));
        if (opCode) Place(image, kOpCodeAt, OpCodeInfoBlock(*opCode));
        if (pia) Place(image, kPiaAt, PiaBlock(*pia));
        if (efs) Place(image, kEfsAt, EfsBlock(*efs));
        return image;
    }
};

class BlocksTest : public ImageTest {
  protected:
    int Process(const Bytes& image, int platform = 0) {
        mFile = std::make_unique<CfwFile>(FW_FILE_BINARY, platform);
        return mFile->ProcessFile(WriteImage("image.bin", image).c_str(), L"image.bin");
    }

    std::wstring Version(EFWUPDATE_DEVICE_AREA area) {
        mFile->SelectDeviceArea(area);
        wchar_t* version = nullptr;
        mFile->GetVersion(version);
        return version != nullptr ? version : L"(none)";
    }

    unsigned char Address() const {
        unsigned char address = 0xFF;
        mFile->GetDeviceAddress(address);
        return address;
    }

    std::unique_ptr<CfwFile> mFile;
};

// Found flags in the order boot, operational code, PIA, RMM, EFS.
using Found = std::array<bool, BMC_FW_AREA_COUNT>;
constexpr Found kAll{true, true, true, true, true};
constexpr Found kNoPia{true, true, false, true, true};

struct Discovery {
    const char* name;
    std::function<Bytes()> image;
    int platform;
    int status;
    unsigned char address;
    Found found;
    std::wstring message;
};

Bytes WithPia(PiaFields pia) {
    BmcImage image;
    image.pia = pia;
    return image.Build();
}

// A PIA whose first 72 bytes sum to a zero low byte but whose last 28 do
// not: type 3 holds, type 2 does not.
Bytes WithPiaSummedOver72(std::uint8_t type) {
    Bytes image = BmcImage{}.Build();
    Bytes pia = PiaBlock({.type = type});
    FixChecksum(pia, 72, 70);
    pia[80] = 0x01;
    Place(image, kPiaAt, pia);
    return image;
}

Bytes Hsc(std::uint8_t address, const std::string& name, bool opCode, bool efs) {
    BmcImage image{.boot = BootInfoFields{.deviceName = name, .address = address}};
    if (!opCode) image.opCode.reset();
    image.pia.reset();
    if (!efs) image.efs.reset();
    return image.Build();
}

Bytes WithFormats(std::uint8_t bootFormat, std::uint8_t opCodeFormat, std::uint8_t address) {
    return BmcImage{.boot = BootInfoFields{.format = bootFormat, .address = address},
                    .opCode = OpCodeInfoFields{.format = opCodeFormat}}
        .Build();
}

Bytes Only(bool boot, bool opCode, bool pia, bool efs) {
    BmcImage image;
    if (!boot) image.boot.reset();
    if (!opCode) image.opCode.reset();
    if (!pia) image.pia.reset();
    if (!efs) image.efs.reset();
    return image.Build();
}

Bytes WithBrokenBootInfo() {
    Bytes image = Only(false, true, false, false);
    Bytes boot = BootInfoBlock();
    BreakChecksum(boot);
    Place(image, kBootAt, boot);
    return image;
}

const std::wstring kRefusedFormat =
    L"The firmware image's information blocks have a format or PIA type this system does not "
    L"allow.";

std::vector<Discovery> DiscoveryCases() {
    return {
        {"WholeBmcImage", [] { return BmcImage{}.Build(); }, 0, DUVANE_SUCCESS, 0x20, kAll,
         kMarkedError},
        {"PiaType3OnPlatform1", [] { return WithPia({.type = 3}); }, 1, DUVANE_SUCCESS, 0x20, kAll,
         kMarkedError},
        {"PiaType3OnPlatform10", [] { return WithPia({.type = 3}); }, 10, DUVANE_SUCCESS, 0x20,
         kAll, kMarkedError},
        {"PiaType3OnPlatform11", [] { return WithPia({.type = 3}); }, 11, DUVANE_SUCCESS, 0x20,
         kAll, kMarkedError},
        {"PiaType3OnPlatform15", [] { return WithPia({.type = 3}); }, 15, DUVANE_SUCCESS, 0x20,
         kAll, kMarkedError},
        {"PiaType3OnPlatform2IsNotFound", [] { return WithPia({.type = 3}); }, 2, DUVANE_SUCCESS,
         0x20, kNoPia, kMarkedError},
        {"PiaType3OnPlatform0IsNotFound", [] { return WithPia({.type = 3}); }, 0, DUVANE_SUCCESS,
         0x20, kNoPia, kMarkedError},
        {"PiaType4IsNotFound", [] { return WithPia({.type = 4}); }, 10, DUVANE_SUCCESS, 0x20,
         kNoPia, kMarkedError},
        {"PiaType3IsCheckedOver72Bytes", [] { return WithPiaSummedOver72(3); }, 10, DUVANE_SUCCESS,
         0x20, kAll, kMarkedError},
        {"PiaType2IsCheckedOver100Bytes", [] { return WithPiaSummedOver72(2); }, 10, DUVANE_SUCCESS,
         0x20, kNoPia, kMarkedError},
        {"NoBlocksAtAll",
         [] { return ErasedImage(0x1000); },
         0,
         DUVANE_SUCCESS,
         0x00,
         {},
         kMarkedError},
        {"EfsAloneMakesTheImageTheBmcs",
         [] { return Only(false, false, false, true); },
         0,
         DUVANE_SUCCESS,
         0x20,
         {false, false, false, true, true},
         kMarkedError},
        {"ABrokenBootInfoCountsAsNone",
         WithBrokenBootInfo,
         0,
         DUVANE_SUCCESS,
         0x00,
         {false, true, false, false, false},
         kMarkedError},
        {"BmcWithoutOpCodeInfo",
         [] { return Only(true, false, true, true); },
         0,
         DUVANE_IMAGE_FORMAT,
         0x20,
         {true, false, true, false, true},
         kMarkedError},
        {"VitesseWithoutOpCodeInfo",
         [] { return Hsc(0xC0, "VSC", false, false); },
         0,
         DUVANE_SUCCESS,
         0xC0,
         {true, false, false, false, false},
         kMarkedError},
        {"VitesseWithEmptyName",
         [] { return Hsc(0xC2, "", false, false); },
         0,
         DUVANE_SUCCESS,
         0xC2,
         {true, false, false, false, false},
         kMarkedError},
        {"VitesseWithEfsBecomesTheBmc",
         [] { return Hsc(0xC0, "VSC", false, true); },
         0,
         DUVANE_SUCCESS,
         0x20,
         {true, false, false, true, true},
         kMarkedError},
        {"VscNameAtAnotherAddressNeedsOpCodeInfo",
         [] { return Hsc(0x22, "VSC", false, false); },
         0,
         DUVANE_IMAGE_FORMAT,
         0x22,
         {true, false, false, false, false},
         kMarkedError},
        {"OtherHscWithoutOpCodeInfo",
         [] { return Hsc(0xC2, "VSC7", false, false); },
         0,
         DUVANE_IMAGE_FORMAT,
         0xC2,
         {true, false, false, false, false},
         kMarkedError},
        {"OtherHscWithOpCodeInfo",
         [] { return Hsc(0xC2, "HSC", true, false); },
         0,
         DUVANE_SUCCESS,
         0xC2,
         {true, true, false, false, false},
         kMarkedError},
        {"DeviceAddressZero", [] { return WithFormats(6, 6, 0x00); }, 0, DUVANE_IMAGE_FORMAT, 0x00,
         kAll, L"The firmware image names device address 00h, which no controller answers to."},
        {"BmcBootFormat7", [] { return WithFormats(7, 6, 0x20); }, 0, DUVANE_BLOCK_FORMAT, 0x20,
         kAll, kRefusedFormat},
        {"BmcOpCodeFormat4", [] { return WithFormats(5, 4, 0x20); }, 0, DUVANE_BLOCK_FORMAT, 0x20,
         kAll, kRefusedFormat},
        {"BmcFormats5", [] { return WithFormats(5, 5, 0x20); }, 0, DUVANE_SUCCESS, 0x20, kAll,
         kMarkedError},
        {"FrontPanelMayHaveAnyFormat", [] { return WithFormats(7, 0, 0x22); }, 0, DUVANE_SUCCESS,
         0x22, kAll, kMarkedError},
    };
}

class DiscoveryTest : public BlocksTest, public ::testing::WithParamInterface<Discovery> {};

TEST_P(DiscoveryTest, FindsTheBlocksAndChecksTheDevice) {
    const Discovery& discovery = GetParam();
    MarkLastError();
    EXPECT_EQ(Process(discovery.image(), discovery.platform), discovery.status);
    EXPECT_EQ(Address(), discovery.address);
    for (int area = 0; area < BMC_FW_AREA_COUNT; ++area) {
        // RMM follows EFS only once the image is accepted.
        if (area == BMC_FW_AREA_RMM && discovery.status != DUVANE_SUCCESS) continue;
        EXPECT_EQ(mFile->HasArea(static_cast<BmcFwArea>(area)), discovery.found[area])
            << "area " << area;
    }
    EXPECT_EQ(LastError(), discovery.message);
}

INSTANTIATE_TEST_SUITE_P(Images, DiscoveryTest, ::testing::ValuesIn(DiscoveryCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BlocksTest, RangesAndVersionsComeFromTheBlocks) {
    ASSERT_EQ(Process(BmcImage{}.Build()), DUVANE_SUCCESS);
    const auto expectRange = [this](BmcFwArea area, std::uint32_t start, std::uint32_t end) {
        EXPECT_EQ(mFile->Range(area).start, start) << "area " << area;
        EXPECT_EQ(mFile->Range(area).end, end) << "area " << area;
    };
    expectRange(BMC_FW_AREA_BOOT, 0x0000, 0x0FFF);
    expectRange(BMC_FW_AREA_PIA, 0x1000, 0x17FF);
    expectRange(BMC_FW_AREA_OPCODE, 0x2000, 0x7FFF);
    expectRange(BMC_FW_AREA_EFS, 0x8000, 0xBFFF);
    expectRange(BMC_FW_AREA_RMM, 0x8000, 0xBFFF);
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_BOOT), L"1.05");
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_OPCODE), L"12.AB");
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_PIA), L"2.10");
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_EFS), L"A.03");
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_RMM), L"(none)");
    wchar_t* text = nullptr;
    mFile->GetDeviceName(text);
    EXPECT_STREQ(text, L"BMC");
    mFile->GetBIOSPlatformId(text);
    EXPECT_STREQ(text, L"S2600WF");
    EXPECT_EQ(mFile->PiaProductId(), 0x1234);
    unsigned piaType = 0;
    mFile->GetPiaVersionFromFile(piaType);
    EXPECT_EQ(piaType, 2u);
    EXPECT_EQ(mFile->BootInfoBlock()[39], 0x20);
    EXPECT_EQ(mFile->EfsBlock()[kEfsPlatformName], 'W');
}

TEST_F(BlocksTest, VersionsOfFullWidthAreNotCut) {
    ASSERT_EQ(Process(BmcImage{.boot = BootInfoFields{.major = 0xFFFF, .minor = 0xFFFF},
                               .opCode = OpCodeInfoFields{.major = 0, .minor = 0}}
                          .Build()),
              DUVANE_SUCCESS);
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_BOOT), L"FFFF.FFFF");
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_OPCODE), L"0.00");
}

// Format 5 stores the end one past the area.
TEST_F(BlocksTest, FormatFiveEndsAreMadeInclusive) {
    ASSERT_EQ(Process(BmcImage{.boot = BootInfoFields{.format = 5, .end = 0x1000},
                               .opCode = OpCodeInfoFields{.format = 5, .end = 0x8000}}
                          .Build()),
              DUVANE_SUCCESS);
    EXPECT_EQ(mFile->Range(BMC_FW_AREA_BOOT).end, 0x0FFFu);
    EXPECT_EQ(mFile->Range(BMC_FW_AREA_OPCODE).end, 0x7FFFu);
}

TEST_F(BlocksTest, FormatSixEndsAreTakenAsStored) {
    ASSERT_EQ(Process(BmcImage{.boot = BootInfoFields{.format = 6, .end = 0x1000},
                               .opCode = OpCodeInfoFields{.format = 6, .end = 0x8000}}
                          .Build()),
              DUVANE_SUCCESS);
    EXPECT_EQ(mFile->Range(BMC_FW_AREA_BOOT).end, 0x1000u);
    EXPECT_EQ(mFile->Range(BMC_FW_AREA_OPCODE).end, 0x8000u);
}

TEST_F(BlocksTest, ABlockFailingItsChecksumIsPassedOverForALaterValidCopy) {
    Bytes image = BmcImage{}.Build();
    Bytes broken = BootInfoBlock({.deviceName = "BAD", .major = 9});
    BreakChecksum(broken);
    Place(image, kBootAt, broken);
    Place(image, 0x0800, BootInfoBlock({.deviceName = "GOOD", .major = 3}));
    Bytes brokenEfs = EfsBlock({.major = 7});
    BreakChecksum(brokenEfs);
    Place(image, kEfsAt, brokenEfs);
    Place(image, kEfsAt + 0x200, EfsBlock({.major = 8}));
    ASSERT_EQ(Process(image), DUVANE_SUCCESS);
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_BOOT), L"3.05");
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_EFS), L"8.03");
    wchar_t* name = nullptr;
    mFile->GetDeviceName(name);
    EXPECT_STREQ(name, L"GOOD");
}

// The first valid copy is the one taken.
TEST_F(BlocksTest, TheFirstValidCopyWins) {
    Bytes image = BmcImage{}.Build();
    Place(image, 0x0800, BootInfoBlock({.major = 4}));
    ASSERT_EQ(Process(image), DUVANE_SUCCESS);
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_BOOT), L"1.05");
}

// A broken block leaves nothing of itself behind.
TEST_F(BlocksTest, ABrokenBlockLendsNoFields) {
    Bytes image = Only(false, true, false, false);
    Bytes boot = BootInfoBlock({.deviceName = "BAD", .address = 0x22});
    BreakChecksum(boot);
    Place(image, kBootAt, boot);
    Bytes pia = PiaBlock({.platformId = "STALE"});
    BreakChecksum(pia);
    Place(image, kPiaAt, pia);
    ASSERT_EQ(Process(image), DUVANE_SUCCESS);
    wchar_t* text = nullptr;
    mFile->GetDeviceName(text);
    EXPECT_STREQ(text, L"");
    mFile->GetBIOSPlatformId(text);
    EXPECT_STREQ(text, L"");
    EXPECT_EQ(Address(), 0x00);
    EXPECT_EQ(mFile->PiaProductId(), 0);
}

TEST_F(BlocksTest, APiaTypeRefusedOnThisPlatformIsStillReportedAsFound) {
    ASSERT_EQ(Process(WithPia({.type = 3}), 2), DUVANE_SUCCESS);
    EXPECT_FALSE(mFile->HasArea(BMC_FW_AREA_PIA));
    unsigned piaType = 0;
    mFile->GetPiaVersionFromFile(piaType);
    EXPECT_EQ(piaType, 3u);
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_PIA), L"(none)");
}

TEST_F(BlocksTest, NoEfsBlockMeansNoEfsVersion) {
    ASSERT_EQ(Process(Only(true, true, true, false)), DUVANE_SUCCESS);
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_EFS), L"(none)");
    EXPECT_FALSE(mFile->HasArea(BMC_FW_AREA_RMM));
}

// The end of the image cuts the block: what is there is copied, the rest
// reads as 0, and the checksum is judged on the copied bytes.
TEST_F(BlocksTest, ABlockCutByTheEndOfTheImageIsJudgedOnWhatIsThere) {
    constexpr std::size_t kKept = 64;
    Bytes cut = BootInfoBlock({.deviceName = "CUT", .address = 0x22});
    cut.resize(kKept);
    FixChecksum(cut, kKept, 10);
    Bytes image = Only(false, true, false, false);
    Place(image, image.size() - kKept, cut);
    ASSERT_EQ(Process(image), DUVANE_SUCCESS);
    EXPECT_TRUE(mFile->HasArea(BMC_FW_AREA_BOOT));
    EXPECT_EQ(Address(), 0x22);
    EXPECT_EQ(Version(EFWUPDATE_DEVICE_AREA_BOOT), L"1.05");
    EXPECT_EQ(mFile->BootInfoBlock()[kKept], 0);
    EXPECT_EQ(mFile->BootInfoBlock()[kBootInfoSize - 1], 0);
}

TEST_F(BlocksTest, ABlockWhoseChecksumNeedsTheBytesPastTheEndIsNotFound) {
    Bytes whole = BootInfoBlock({.address = 0x22});
    ASSERT_NE(whole[90], 0) << "the cut must take the byte that makes the sum hold";
    Bytes image = Only(false, true, false, false);
    Place(image, image.size() - 64, Bytes(whole.begin(), whole.begin() + 64));
    ASSERT_EQ(Process(image), DUVANE_SUCCESS);
    EXPECT_FALSE(mFile->HasArea(BMC_FW_AREA_BOOT));
}

TEST_F(BlocksTest, ASignatureCutByTheEndOfTheImageIsNoBlock) {
    Bytes image = ErasedImage(0x100);
    const std::string partial = "*BootInf";
    Place(image, image.size() - partial.size(), Bytes(partial.begin(), partial.end()));
    ASSERT_EQ(Process(image), DUVANE_SUCCESS);
    EXPECT_FALSE(mFile->HasArea(BMC_FW_AREA_BOOT));
}

TEST_F(BlocksTest, AHexImageIsSearchedInItsUpdateBuffer) {
    CfwFile file(FW_FILE_HEX, 0);
    ASSERT_EQ(
        file.ProcessFile(WriteImage("image.hex", HexImage(BmcImage{}.Build())).c_str(), nullptr),
        DUVANE_SUCCESS);
    unsigned char address = 0;
    file.GetDeviceAddress(address);
    EXPECT_EQ(address, 0x20);
    EXPECT_TRUE(file.HasArea(BMC_FW_AREA_EFS));
    EXPECT_EQ(file.Range(BMC_FW_AREA_OPCODE).start, 0x2000u);
}

}  // namespace
}  // namespace duvane_test
