// Write protection against the simulated chipset and flash parts: the LPC
// bridge's BIOS write enable of each platform and its read-back, the older
// bridge's firmware hub decode, the firmware hub's lock registers, the
// 16-bit part's lock commands, platform 9's SPI write-status, the order of
// the steps when locking and unlocking, and the debug lines at level 1.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "hw/hw.h"
#include "rask/flash_layer.h"
#include "tests/rask/debug_log_capture.h"
#include "tests/rask/flash_sim_fixture.h"
#include "tests/rask/request_log_filters.h"

namespace {

using namespace Rask_Private;

constexpr std::uint64_t kBiosControl = 0xDC;
constexpr std::uint64_t kOlderBiosControl = 0x4E;
constexpr std::uint64_t kFwhDecode = 0xE3;

class WriteProtectionTest : public rask_test::FlashSim {
  protected:
    std::vector<sim::LogEntry> PciWrites() const { return rask_test::Named(Log("pci"), "write"); }

    std::vector<sim::LogEntry> FlashOperations(const std::string& operation) const {
        return rask_test::Named(Log("flash"), operation);
    }

    // The steps of a lock or unlock in the order they reached the machine:
    // "bios-control" (a write of the BIOS write enable), "lock-register",
    // "lock-command", "write-status".
    std::vector<std::string> Steps() {
        std::vector<std::string> steps;
        for (const auto& e : Machine().Log().Entries()) {
            std::string step;
            if (e.component == "pci" && e.operation == "write" &&
                (e.address == kBiosControl || e.address == kOlderBiosControl)) {
                step = "bios-control";
            } else if (e.component == "flash" &&
                       (e.operation == "lock-register" || e.operation == "lock-command")) {
                step = e.operation;
            } else if (e.component == "spi" && e.operation == "write-status") {
                step = e.operation;
            }
            if (!step.empty() && (steps.empty() || steps.back() != step)) steps.push_back(step);
        }
        return steps;
    }
};

// ------------------------------------------------- the BIOS write enable

struct BiosControlCase {
    const char* board;
    int platform;
    std::uint64_t reg;
};

TEST_F(WriteProtectionTest, EachPlatformSetsAndClearsTheBiosWriteEnableAndReadsItBack) {
    const BiosControlCase cases[] = {
        {"fwh", 0, kBiosControl},      {"fwh", 2, kOlderBiosControl},
        {"word16", 1, kBiosControl},   {"word16", 10, kBiosControl},
        {"ich7-spi", 9, kBiosControl}, {"ich9-spi", 11, kBiosControl},
        {"pch-spi", 15, kBiosControl},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.board) + " platform " + std::to_string(c.platform));
        Boot({{"board", c.board}});
        ASSERT_EQ(Open(c.platform), FUL_SUCCESS);
        for (const int lock : {1, 0}) {
            Machine().Log().Clear();
            ASSERT_EQ(FlashUDLockFlash(Handle(), lock), FUL_SUCCESS);
            std::vector<sim::LogEntry> control;
            for (const auto& e : Log("pci")) {
                if (e.address == c.reg) control.push_back(e);
            }
            ASSERT_FALSE(control.empty());
            std::size_t write = 0;
            while (write < control.size() && control[write].operation != "write") ++write;
            ASSERT_LT(write + 1, control.size()) << "a write, then its read-back";
            EXPECT_EQ(control[write].width, 2u);
            EXPECT_EQ(control[write].value & 1, lock == 1 ? 0u : 1u);
            EXPECT_EQ(control[write + 1].operation, "read");
            EXPECT_EQ(control[write + 1].value, control[write].value);
            // The older bridge's register is written from 0, not read first.
            EXPECT_EQ(write, c.reg == kOlderBiosControl ? 0u : 1u);
        }
        Close();
    }
}

TEST_F(WriteProtectionTest, AWriteEnableThatDoesNotStickFailsTheUnlock) {
    const rask_test::DebugLogCapture debugLog;
    Boot({{"board", "fwh"}, {"chipset.bios_lock", "1"}});

    EXPECT_EQ(Open(0), FUL_FAILURE);

    EXPECT_TRUE(debugLog.Has("SetFlashWriteProtLevel2 : Write to PCI at 0xdc failed..."))
        << debugLog.Text();
    EXPECT_TRUE(debugLog.Has(
        "FlashUDLockFlash : SetFlashWriteProtLevel2 write to PCI failed while Unlocking"));
}

TEST_F(WriteProtectionTest, TheOlderBridgeTurnsOnFirmwareHubDecodeOnlyWhenItIsOff) {
    for (const std::uint8_t decode : {std::uint8_t{0xFF}, std::uint8_t{0x00}}) {
        SCOPED_TRACE(static_cast<int>(decode));
        Boot({{"board", "fwh"}});
        ASSERT_EQ(Open(2), FUL_SUCCESS);
        hw::PciAccess* pci = hw::PciOpen();
        hw::PciWrite8(hw::PciGetDevice(pci, 0, 0, 31, 0), kFwhDecode, decode);
        hw::PciClose(pci);
        Machine().Log().Clear();

        ASSERT_EQ(FlashUDLockFlash(Handle(), 0), FUL_SUCCESS);

        std::vector<std::uint64_t> written;
        for (const auto& e : PciWrites()) written.push_back(e.address);
        if (decode == 0xFF) {
            EXPECT_EQ(written, std::vector<std::uint64_t>{kOlderBiosControl});
        } else {
            EXPECT_EQ(written, (std::vector<std::uint64_t>{kFwhDecode, kOlderBiosControl}));
            EXPECT_EQ(PciWrites().front().value, 0xFFu);
        }
        Close();
    }
}

TEST_F(WriteProtectionTest, AFirmwareHubDecodeThatWillNotTurnOnFailsTheUnlock) {
    const rask_test::DebugLogCapture debugLog;
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(2), FUL_SUCCESS);
    // A bridge whose decode register reads 0 and takes no write.
    sim::PciFunction* bridge = Machine().Pci().Find({0, 31, 0});
    ASSERT_NE(bridge, nullptr);
    bridge->Preset(kFwhDecode, 1, 0x00);
    bridge->MakeWritable(kFwhDecode, 1, 0x00);
    Machine().Log().Clear();

    EXPECT_EQ(FlashUDLockFlash(Handle(), 0), FUL_FAILURE);

    EXPECT_TRUE(debugLog.Has("SetFlashWriteProtLevel1 : Write to PCI at 0xE3 failed"));
    EXPECT_TRUE(debugLog.Has(
        "FlashUDLockFlash : SetFlashWriteProtLevel1 write to PCI failed while Unlocking"));
    // Nothing after the failed step.
    for (const auto& e : PciWrites()) EXPECT_EQ(e.address, kFwhDecode);
}

// ------------------------------------------------ the flash's block locks

TEST_F(WriteProtectionTest, FirmwareHubLockRegistersAreWrittenBeforeTheWriteEnableGoes) {
    // Platform 9 with its straps on LPC: the walk from FFE00000h reaches the
    // 1 MB hub's registers (FFB00002h to FFBF0002h) in its upper half.
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(9), FUL_SUCCESS);
    ASSERT_EQ(flInterface, 1u);

    for (const int lock : {1, 0}) {
        SCOPED_TRACE(lock);
        Machine().Log().Clear();
        ASSERT_EQ(FlashUDLockFlash(Handle(), lock), FUL_SUCCESS);

        const auto registers = FlashOperations("lock-register");
        ASSERT_EQ(registers.size(), 16u);
        for (std::size_t k = 0; k < registers.size(); ++k) {
            EXPECT_EQ(registers[k].address, 0xFFB00002u + 0x10000 * k);
            EXPECT_EQ(registers[k].value, static_cast<std::uint64_t>(lock));
        }
        // The registers take writes only while BIOS writes are enabled.
        const std::vector<std::string> order =
            lock == 1 ? std::vector<std::string>{"lock-register", "bios-control"}
                      : std::vector<std::string>{"bios-control", "lock-register"};
        EXPECT_EQ(Steps(), order);
    }
}

TEST_F(WriteProtectionTest, TheSixteenBitPartUnlocksByCommandOnPlatformOneOnly) {
    for (const int platform : {1, 10}) {
        SCOPED_TRACE(platform);
        Boot({{"board", "word16"}});
        ASSERT_EQ(Open(platform), FUL_SUCCESS);

        ASSERT_EQ(FlashUDLockFlash(Handle(), 0), FUL_SUCCESS);
        const auto unlocks = FlashOperations("lock-command");
        if (platform == 1) {
            ASSERT_EQ(unlocks.size(), 32u);
            for (std::size_t k = 0; k < unlocks.size(); ++k) {
                EXPECT_EQ(unlocks[k].address, 0xFFE00000u + 0x10000 * k);
                EXPECT_EQ(unlocks[k].value, 0xD0u);
                EXPECT_EQ(unlocks[k].width, 2u);
            }
            EXPECT_EQ(Steps(), (std::vector<std::string>{"bios-control", "lock-command"}));
        } else {
            EXPECT_TRUE(unlocks.empty());
        }

        // Locking leaves the blocks of both platforms as they are.
        Machine().Log().Clear();
        ASSERT_EQ(FlashUDLockFlash(Handle(), 1), FUL_SUCCESS);
        EXPECT_TRUE(FlashOperations("lock-command").empty());
        Close();
    }
}

TEST_F(WriteProtectionTest, PlatformNineWritesTheSpiStatusWhileWritesAreEnabled) {
    Boot({{"board", "ich7-spi"}});
    ASSERT_EQ(Open(9), FUL_SUCCESS);

    for (const int lock : {1, 0}) {
        SCOPED_TRACE(lock);
        Machine().Log().Clear();
        ASSERT_EQ(FlashUDLockFlash(Handle(), lock), FUL_SUCCESS);

        const auto statusWrites = rask_test::Named(Log("spi"), "write-status");
        ASSERT_EQ(statusWrites.size(), 1u);
        EXPECT_EQ(statusWrites[0].value, 1u);
        EXPECT_NE(statusWrites[0].detail.find("prefix=50"), std::string::npos)
            << statusWrites[0].detail;
        const std::vector<std::string> order =
            lock == 1 ? std::vector<std::string>{"write-status", "bios-control"}
                      : std::vector<std::string>{"bios-control", "write-status"};
        EXPECT_EQ(Steps(), order);
    }
}

TEST_F(WriteProtectionTest, PlatformNineUnprotectsAPartTheBiosLeftProtected) {
    Boot({{"board", "ich7-spi"}, {"spi.status", "0x3C"}});
    ASSERT_EQ(Open(9), FUL_SUCCESS);
    const std::uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(spi_EraseBlock(BOTTOM_OF_FLASH), FUL_SUCCESS);
    ASSERT_EQ(spi_FlashDevWrite(data, BOTTOM_OF_FLASH, sizeof data), FUL_SUCCESS);
    const auto cells = Machine().FindFlashPart("bios-flash")->Cells().Bytes(0, 4);
    EXPECT_EQ(std::vector<std::uint8_t>(cells.begin(), cells.end()),
              std::vector<std::uint8_t>(data, data + 4));
}

TEST_F(WriteProtectionTest, APartThatKeepsItsProtectionFailsTheUnlock) {
    // The Intel part takes a status write only after write enable, not after
    // the enable-write-status prefix this platform sends.
    const rask_test::DebugLogCapture debugLog;
    Boot({{"board", "ich7-spi-intel"}, {"spi.status", "0x1C"}});

    EXPECT_EQ(Open(9), FUL_FAILURE);

    EXPECT_TRUE(debugLog.Has("SetFlashBlockAccess : SPI part kept its protection, status = 0x1c"))
        << debugLog.Text();
    EXPECT_TRUE(debugLog.Has("FlashUDLockFlash : FlashBlocksControl Unlock failed"));
}

// ------------------------------------------------------------- debug lines

TEST_F(WriteProtectionTest, TheWalkLogsEachRegisterAndAFailedMappingEndsIt) {
    const rask_test::DebugLogCapture debugLog;
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(9), FUL_SUCCESS);
    EXPECT_TRUE(
        debugLog.Has("Doing the Lock/Unlock on the block at address - ffbf0002 value is  "
                     "-  0"))
        << debugLog.Text();

    // The page of the register for the block at FFF80000h refuses to be
    // mapped.
    Machine().Host().Faults().refusedMappings.push_back({0xFFB80000, 0x1000, EPERM});
    Machine().Log().Clear();
    EXPECT_EQ(FlashUDLockFlash(Handle(), 1), FUL_FAILURE);

    EXPECT_TRUE(
        debugLog.Has("FlashBlocksControl : SetFlashBlockAccess failed to do the operations at "
                     "address ffe00000"));
    EXPECT_TRUE(debugLog.Has("FlashUDLockFlash : FlashBlocksControl Lock failed"));
    // The walk stopped at the refused register: the write enable stays.
    EXPECT_TRUE(PciWrites().empty());
    const auto registers = FlashOperations("lock-register");
    ASSERT_EQ(registers.size(), 8u);
    EXPECT_EQ(registers.back().address, 0xFFB70002u);
    Machine().Host().Faults().refusedMappings.clear();
}

TEST_F(WriteProtectionTest, ANullHandleIsRefused) {
    const rask_test::DebugLogCapture debugLog;
    EXPECT_EQ(FlashUDLockFlash(nullptr, 1), FUL_INVALID_PARAMETER);
    EXPECT_EQ(FlashBlocksControl(nullptr, 0, 0xFFC00000, 0), FUL_FAILURE);
    EXPECT_TRUE(debugLog.Has("FlashUDLockFlash : Invalid Flash Device handle!"));
}

}  // namespace
