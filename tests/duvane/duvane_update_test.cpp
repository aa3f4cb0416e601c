// Committing images to the simulated BMC, front panel and hot-swap
// controllers: what each controller was asked (signatures, segments, block
// sizes, checksums, the waits in virtual time), what its memory holds
// afterwards, and every injected fault ending in a clear error with the
// controller out of transfer mode.
#include <algorithm>

#include "sim/bmc/fw/controller_firmware.h"
#include "sim/bmc/fw/fw_image_builder.h"
#include "sim/bmc/fw/fw_log.h"
#include "sim/core/machine.h"
#include "tests/duvane/duvane_library.h"
#include "tests/duvane/firmware_log.h"

namespace duvane_test {
namespace {

using sim::fw::ControllerKind;
using sim::fw::LoggedCommand;

constexpr int kControllerFailed = static_cast<int>(0xC00A0019);
constexpr int kTransferFailed = static_cast<int>(0xC00A001A);
constexpr std::uint64_t kNsPerSecond = 1'000'000'000;

sim::fw::FirmwareController& Controller(std::uint8_t address) {
    return *sim::TheMachine().Find<sim::ControllerFirmware>()->Find(address);
}

sim::fw::ImageSpec NewBmcImage() {
    sim::fw::ImageSpec recipe = sim::fw::DefaultImageSpec(ControllerKind::kBmc, 0x20);
    recipe.opCode = {2, 0x41};
    recipe.boot = {1, 0x07};
    return recipe;
}

class DuvaneUpdateTest : public DuvaneLibraryTest {
  protected:
    int Commit(const Bytes& image, FwFileType type, std::initializer_list<BmcFwArea> areas) {
        EXPECT_EQ(Load(image, type, type == FW_FILE_HEX ? "image.hex" : "image.bin"), 0)
            << LastError();
        for (const BmcFwArea area : areas) EXPECT_EQ(t.SelectFwAreaforUpdate(&t, area), 0);
        sim::TheMachine().Log().Clear();
        mStartNs = sim::TheMachine().Clock().NowNs();
        return t.CommitConfigurationToSystem(&t);
    }
    double SecondsSinceCommit() {
        return double(sim::TheMachine().Clock().NowNs() - mStartNs) / kNsPerSecond;
    }
    std::uint64_t mStartNs = 0;
};

Bytes HexBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

TEST_F(DuvaneUpdateTest, TheBmcTakesItsOperationalCodeInLargeBlocksOverTheSessionPath) {
    Boot();
    const sim::fw::ImageSpec recipe = NewBmcImage();
    const Bytes image = sim::fw::BuildBinary(recipe);
    ASSERT_EQ(Commit(image, FW_FILE_BINARY, {BMC_FW_AREA_OPCODE}), 0) << LastError();
    const auto enter = Commands("enter");
    ASSERT_EQ(enter.size(), 1u);
    EXPECT_EQ(enter[0].Field("signature"), "VARNO");
    // 10000h..1DFFFFh in blocks of 4000h, one segment set per 64 KiB.
    const auto writes = Commands("write");
    ASSERT_EQ(writes.size(), 0x1D0000u / 0x4000);
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].Number("address"), 0x10000 + i * 0x4000) << i;
        EXPECT_EQ(writes[i].Number("length"), 0x4000u) << i;
    }
    // Each phase walks the 1Dh segments once: the writes, then the checks.
    EXPECT_EQ(Commands("segment").size(), 2 * 0x1Du);
    // The check: one RangeCheckSum per segment, over its whole 64 KiB.
    const auto checks = Commands("checksum");
    ASSERT_EQ(checks.size(), 0x1Du);
    for (const LoggedCommand& check : checks) {
        EXPECT_EQ(check.Field("first"), "0000");
        EXPECT_EQ(check.Field("last"), "FFFF");
    }
    EXPECT_EQ(Commands("exit").size(), 1u);
    EXPECT_EQ(Commands("read").size(), 0u);
    // The settling of the session path (10 s), the wait after the exit
    // (120 s), and nothing else of that size.
    EXPECT_GE(SecondsSinceCommit(), 130.0);
    EXPECT_LT(SecondsSinceCommit(), 140.0);
    sim::fw::FirmwareController& bmc = Controller(0x20);
    EXPECT_FALSE(bmc.InTransferMode());
    EXPECT_TRUE(std::ranges::equal(bmc.Memory().Read(0x10000, 0x1D0000),
                                   std::span(image).subspan(0x10000, 0x1D0000)));
    // The boot area was not selected and keeps the old image's bytes.
    EXPECT_FALSE(
        std::ranges::equal(bmc.Memory().Read(0, 0x10000), std::span(image).first(0x10000)));
    // The BMC restarted into the new firmware and reports its version.
    ASSERT_EQ(t.SelectDeviceAddress(&t, DUVANE_DEVICE_BMC), 0);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0);
    ASSERT_EQ(t.SelectDeviceArea(&t, EFWUPDATE_DEVICE_AREA_OPCODE), 0);
    wchar_t version[DUVANE_VERSION_LENGTH];
    ASSERT_EQ(t.GetVersionFromSystem(&t, version), 0);
    EXPECT_STREQ(version, L"2.41");
    // Progress ends each phase at 100, labelled for the operational code,
    // then the restart's wait runs from 0 to 100 a second at a time.
    std::vector<std::wstring> finished;
    std::vector<unsigned> waited;
    for (const Progress& p : gProgress) {
        if (p.type != PROGRESS_PERCENT) continue;
        if (p.percent == 100) finished.push_back(p.text);
        if (p.text == Text(75)) waited.push_back(p.percent);
    }
    finished.erase(std::unique(finished.begin(), finished.end()), finished.end());
    EXPECT_EQ(finished, (std::vector<std::wstring>{Text(42), Text(47), Text(75)}));
    ASSERT_EQ(waited.size(), 121u);
    EXPECT_TRUE(std::ranges::is_sorted(waited));
    EXPECT_EQ(waited.front(), 0u);
    EXPECT_EQ(waited[60], 50u);
}

TEST_F(DuvaneUpdateTest, AreasAreWrittenBootFirstAndEachIsChecked) {
    Boot();
    const Bytes image = sim::fw::BuildBinary(NewBmcImage());
    ASSERT_EQ(Commit(image, FW_FILE_BINARY, {BMC_FW_AREA_PIA, BMC_FW_AREA_BOOT, BMC_FW_AREA_EFS}),
              0)
        << LastError();
    const auto writes = Commands("write");
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front().Number("address"), 0u);
    EXPECT_EQ(writes.back().Number("address") + writes.back().Number("length"), 0x200000u);
    std::vector<std::uint64_t> firstOfArea;
    for (const LoggedCommand& check : Commands("checksum")) {
        firstOfArea.push_back(check.Number("segment"));
    }
    EXPECT_EQ(firstOfArea, (std::vector<std::uint64_t>{0x00, 0x1E, 0x1F}));
    EXPECT_TRUE(std::ranges::equal(Controller(0x20).Memory().Bytes().first(0x10000),
                                   std::span(image).first(0x10000)));
}

struct BmcFault {
    const char* name;
    std::map<std::string, std::string> settings;
    int status;
    unsigned message;
};

TEST_F(DuvaneUpdateTest, EveryBmcFaultEndsInAClearErrorOutOfTransferMode) {
    const BmcFault cases[] = {
        {"refused write", {{"fw.bmc.fault.refuse_write", "2"}}, kTransferFailed, 18},
        {"checksum off", {{"fw.bmc.fault.bad_checksum", "1"}}, kTransferFailed, 24},
        {"entry refused", {{"fw.bmc.fault.enter_refused", "1"}}, kControllerFailed, 0},
        {"stuck in transfer mode", {{"fw.bmc.fault.stuck_in_mode", "1"}}, kControllerFailed, 30},
    };
    for (const BmcFault& c : cases) {
        SCOPED_TRACE(c.name);
        Boot(c.settings);
        EXPECT_EQ(Commit(sim::fw::BuildBinary(NewBmcImage()), FW_FILE_BINARY, {BMC_FW_AREA_OPCODE}),
                  c.status);
        if (c.message != 0) {
            EXPECT_EQ(LastError(), Text(c.message));
        }
        // Left once, whatever failed; the stuck controller is the one that
        // cannot leave.
        EXPECT_LE(Commands("exit").size(), 1u);
        EXPECT_EQ(Controller(0x20).InTransferMode(),
                  c.settings.count("fw.bmc.fault.stuck_in_mode") == 1);
        t.DeInitialize(&t);
    }
}

TEST_F(DuvaneUpdateTest, ABmcThatStopsAnsweringMidTransferFailsTheUpdate) {
    Boot({{"fw.bmc.fault.stop_after", "20"}});
    EXPECT_EQ(Commit(sim::fw::BuildBinary(NewBmcImage()), FW_FILE_BINARY, {BMC_FW_AREA_OPCODE}),
              kTransferFailed);
    EXPECT_EQ(LastError(), Text(18));
    // The entry and 19 more were answered; the 21st command met silence.
    const auto writes = Commands("write");
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.size() + Commands("segment").size() + 1, 21u);
    EXPECT_FALSE(writes.back().completionCode.has_value());
}

TEST_F(DuvaneUpdateTest, AnAreaMissingFromTheImageStopsTheCommitBeforeAnythingIsSent) {
    Boot();
    sim::fw::ImageSpec recipe = sim::fw::DefaultImageSpec(ControllerKind::kFrontPanel, 0x22);
    EXPECT_EQ(Commit(HexBytes(sim::fw::BuildHex(recipe)), FW_FILE_HEX, {BMC_FW_AREA_PIA}),
              static_cast<int>(0xC00A0023));
    EXPECT_NE(LastError().find(L"pia"), std::wstring::npos) << LastError();
    EXPECT_TRUE(Commands().empty());
}

TEST_F(DuvaneUpdateTest, TheFrontPanelTakesItsRecordsFromItsBootLoaderThenItsTransferMode) {
    Boot();
    sim::fw::ImageSpec recipe = sim::fw::DefaultImageSpec(ControllerKind::kFrontPanel, 0x22);
    recipe.opCode = {1, 0x33};
    const Bytes binary = sim::fw::BuildBinary(recipe);
    ASSERT_EQ(Commit(HexBytes(sim::fw::BuildHex(recipe)), FW_FILE_HEX, {}), 0) << LastError();
    std::vector<std::string> signatures;
    for (const LoggedCommand& enter : Commands("enter"))
        signatures.push_back(enter.Field("signature"));
    EXPECT_EQ(signatures, (std::vector<std::string>{"BOOT", "VARNO"}));
    EXPECT_EQ(Commands("exit").size(), 2u);
    // No segments on the front panel; the records go one by one.
    EXPECT_TRUE(Commands("segment").empty());
    for (const LoggedCommand& write : Commands("write")) EXPECT_LE(write.Number("length"), 32u);
    EXPECT_TRUE(Commands("checksum").empty());
    EXPECT_FALSE(Commands("read").empty());
    EXPECT_FALSE(Controller(0x22).InTransferMode());
    EXPECT_TRUE(std::ranges::equal(Controller(0x22).Memory().Bytes(), binary));
}

TEST_F(DuvaneUpdateTest, AFrontPanelWriteFailureOfTheOperationalCodeLeavesTransferMode) {
    // The boot area's writes come first; the protected range lies in the
    // operational code.
    sim::fw::ImageSpec recipe = sim::fw::DefaultImageSpec(ControllerKind::kFrontPanel, 0x22);
    const std::string hex = sim::fw::BuildHex(recipe);
    Boot({{"fw.front_panel.protect", "0x2000:0x2FFF"}});
    EXPECT_EQ(Commit(HexBytes(hex), FW_FILE_HEX, {}), kTransferFailed);
    EXPECT_EQ(LastError(), Text(18));
    EXPECT_FALSE(Controller(0x22).InTransferMode());
    EXPECT_EQ(Commands("enter").size(), Commands("exit").size());
}

TEST_F(DuvaneUpdateTest, AVitesseHotSwapControllerTakesItsOperationalCodeAndPia) {
    Boot({{"fw.vitesse", "hsc1"}});
    sim::fw::ImageSpec recipe = sim::fw::DefaultImageSpec(ControllerKind::kHotSwap, 0xC2, true);
    recipe.opCode = {3, 0x10};
    const Bytes image = sim::fw::BuildBinary(recipe);
    ASSERT_EQ(Load(image, FW_FILE_BINARY), 0) << LastError();
    bool forSystem = false;
    ASSERT_EQ(t.IsConfigurationFileForSystem(&t, forSystem), 0);
    EXPECT_TRUE(forSystem) << LastError();
    sim::TheMachine().Log().Clear();
    // Whatever the host selected, the part decides the areas.
    ASSERT_EQ(t.SelectFwAreaforUpdate(&t, BMC_FW_AREA_BOOT), 0);
    ASSERT_EQ(t.CommitConfigurationToSystem(&t), 0) << LastError();
    const auto writes = Commands("write");
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front().Number("address"), 0x4000u);
    for (const LoggedCommand& write : writes) EXPECT_LE(write.Number("length"), 32u);
    EXPECT_EQ(Commands("checksum").size(), 3u);  // 4000h-FFFFh, 10000h-1BFFFh, PIA
    const auto exits = Commands("exit");
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_FALSE(Controller(0xC2).InTransferMode());
    EXPECT_TRUE(std::ranges::equal(Controller(0xC2).Memory().Read(0x4000, 0x1C000),
                                   std::span(image).subspan(0x4000, 0x1C000)));
}

TEST_F(DuvaneUpdateTest, WithoutTheSessionPathTheBmcTakesTheBlocksItReportsOverKcs) {
    Boot({{"libipmi.fault.session", "always"}});
    const Bytes image = sim::fw::BuildBinary(NewBmcImage());
    ASSERT_EQ(Commit(image, FW_FILE_BINARY, {BMC_FW_AREA_BOOT}), 0) << LastError();
    // GetBufferSize answers 3Ch units of 4: 240 bytes, the last block of
    // the 64 KiB boot area the 16 left over.
    const auto writes = Commands("write");
    ASSERT_EQ(writes.size(), 0x10000u / 240 + 1);
    for (std::size_t i = 0; i + 1 < writes.size(); ++i) {
        EXPECT_EQ(writes[i].Number("length"), 240u) << i;
    }
    EXPECT_EQ(writes.back().Number("length"), 0x10000u % 240);
    EXPECT_EQ(gDisplayed.find(Text(58)), std::wstring::npos) << gDisplayed;
    EXPECT_TRUE(std::ranges::equal(Controller(0x20).Memory().Bytes().first(0x10000),
                                   std::span(image).first(0x10000)));
    EXPECT_FALSE(Controller(0x20).InTransferMode());
}

TEST_F(DuvaneUpdateTest, OnTheRmmPlatformTheRmmAreaIsWrittenThroughTheEfsRange) {
    constexpr int kRmmPlatform = 15;
    Boot({{"bmc.rmm.version", "2.0A"}}, kRmmPlatform);
    ASSERT_EQ(t.SelectDeviceAddress(&t, DUVANE_DEVICE_BMC), 0);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0) << LastError();
    const Bytes image = sim::fw::BuildBinary(NewBmcImage());
    ASSERT_EQ(Commit(image, FW_FILE_BINARY, {BMC_FW_AREA_RMM}), 0) << LastError();
    const auto writes = Commands("write");
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front().Number("address"), 0x1F0000u);
    EXPECT_EQ(writes.back().Number("address") + writes.back().Number("length"), 0x200000u);
    bool rmmWritten = false;
    for (const Progress& p : gProgress) {
        rmmWritten |= p.type == PROGRESS_PERCENT && p.text == Text(46) && p.percent == 100;
    }
    EXPECT_TRUE(rmmWritten);
    EXPECT_TRUE(std::ranges::equal(Controller(0x20).Memory().Read(0x1F0000, 0x10000),
                                   std::span(image).subspan(0x1F0000, 0x10000)));
}

TEST_F(DuvaneUpdateTest, AnRmmUpdateNeedsTheSystemsRmmVersion) {
    Boot({{"bmc.rmm.present", "0"}}, 15);
    ASSERT_EQ(t.SelectDeviceAddress(&t, DUVANE_DEVICE_BMC), 0);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0) << LastError();
    EXPECT_EQ(Commit(sim::fw::BuildBinary(NewBmcImage()), FW_FILE_BINARY, {BMC_FW_AREA_RMM}),
              static_cast<int>(0xC00A0023));
    EXPECT_NE(LastError().find(L"rmm"), std::wstring::npos) << LastError();
    EXPECT_TRUE(Commands().empty());
}

struct HotSwapIdentity {
    const char* identification;
    const char* deviceName;
    bool forSystem;
};

TEST_F(DuvaneUpdateTest, AHotSwapImageFitsOnlyTheControllerItsBootBlockNames) {
    const HotSwapIdentity cases[] = {
        {"SIMHSC", "HSC", true}, {"OTHERHSC", "HSC", false}, {"SIMHSC", "HSX", false}};
    for (const HotSwapIdentity& c : cases) {
        SCOPED_TRACE(std::string(c.identification) + " " + c.deviceName);
        Boot();
        sim::fw::ImageSpec recipe = sim::fw::DefaultImageSpec(ControllerKind::kHotSwap, 0xC0);
        recipe.identification = c.identification;
        recipe.deviceName = c.deviceName;
        ASSERT_EQ(Load(sim::fw::BuildBinary(recipe), FW_FILE_BINARY), 0) << LastError();
        sim::TheMachine().Log().Clear();
        bool forSystem = !c.forSystem;
        EXPECT_EQ(t.IsConfigurationFileForSystem(&t, forSystem), 0);
        EXPECT_EQ(forSystem, c.forSystem);
        // The boot block was read in transfer mode, which was left again.
        EXPECT_FALSE(Commands("read").empty());
        EXPECT_EQ(Commands("exit").size(), 1u);
        EXPECT_FALSE(Controller(0xC0).InTransferMode());
        t.DeInitialize(&t);
    }
}

TEST_F(DuvaneUpdateTest, AnImageForAnotherProductIsNotForThisSystem) {
    Boot({{"bmc.product_id", "0x0200"}});
    ASSERT_EQ(t.SelectDeviceAddress(&t, DUVANE_DEVICE_BMC), 0);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0);
    for (const std::uint16_t product : {std::uint16_t{0x0200}, std::uint16_t{0x0100}}) {
        sim::fw::ImageSpec recipe = NewBmcImage();
        recipe.productId = product;
        ASSERT_EQ(Load(sim::fw::BuildBinary(recipe), FW_FILE_BINARY), 0);
        bool forSystem = product != 0x0200;
        EXPECT_EQ(t.IsConfigurationFileForSystem(&t, forSystem), 0);
        EXPECT_EQ(forSystem, product == 0x0200);
    }
    EXPECT_NE(LastError().find(L"image.bin"), std::wstring::npos) << LastError();
}

TEST_F(DuvaneUpdateTest, TheBlockSizeIsTheSmallerCountBoundedByTheBmcs) {
    // 10h and 08h units: 32 bytes; the front panel answering more than the
    // BMC takes is cut to the BMC's size.
    Boot({{"fw.bmc.buffer_units", "0x10:0x08"}, {"fw.front_panel.buffer_units", "0x40:0x40"}});
    sim::fw::ImageSpec recipe = sim::fw::DefaultImageSpec(ControllerKind::kFrontPanel, 0x22);
    ASSERT_EQ(Commit(HexBytes(sim::fw::BuildHex(recipe)), FW_FILE_HEX, {}), 0) << LastError();
    const auto sizes = Commands("buffer-size");
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0].controller, 0x20);
    EXPECT_EQ(sizes[1].controller, 0x22);
}

TEST_F(DuvaneUpdateTest, BmcRefreshRestartsTheBmcAndWaits) {
    Boot();
    const std::uint64_t start = sim::TheMachine().Clock().NowNs();
    EXPECT_EQ(t.BmcRefresh(&t), 0);
    EXPECT_EQ(CollapsedRuns(Commands()), "enter exit");
    EXPECT_GE(double(sim::TheMachine().Clock().NowNs() - start) / kNsPerSecond, 160.0);
    EXPECT_FALSE(Controller(0x20).InTransferMode());
}

TEST_F(DuvaneUpdateTest, TheBmcsEfsPlatformNameIsComparedWithTheImages) {
    for (const char* name : {"SIMPLATFORM", "OTHERPLATFORM"}) {
        SCOPED_TRACE(name);
        Boot();
        sim::fw::ImageSpec recipe = NewBmcImage();
        recipe.platformName = name;
        ASSERT_EQ(Load(sim::fw::BuildBinary(recipe), FW_FILE_BINARY), 0) << LastError();
        sim::TheMachine().Log().Clear();
        EXPECT_EQ(t.ReadEfsConfigurationFromSystem(&t), 0) << LastError();
        const bool same = std::string(name) == "SIMPLATFORM";
        EXPECT_NE(gDisplayed.find(same ? L"are matching" : L"doesn't match"), std::wstring::npos)
            << std::string(gDisplayed.begin(), gDisplayed.end());
        const std::string operations = CollapsedRuns(Commands());
        EXPECT_EQ(operations.substr(0, 16), "enter segment re");
        EXPECT_EQ(operations.substr(operations.size() - 4), "exit");
        EXPECT_FALSE(Controller(0x20).InTransferMode());
        t.DeInitialize(&t);
        gDisplayed.clear();
    }
}

}  // namespace
}  // namespace duvane_test
