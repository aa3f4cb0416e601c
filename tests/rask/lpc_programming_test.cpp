// The update path's byte programming of a firmware hub through memory
// against the simulated memory window: the command cycles of each byte,
// the route the SPI-capable platforms take when their straps say LPC, the
// part's failure reports and the bounded status wait.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "rask/flash_layer.h"
#include "sim/bios/bios_flash.h"
#include "tests/rask/flash_sim_fixture.h"
#include "tests/rask/request_log_filters.h"

namespace {

using namespace Rask_Private;

// A block of the 1 MB firmware hub below the boot firmware volume.
constexpr std::uint32_t kBlock = 0xFFF20000;
constexpr std::uint32_t kPartBase = 0xFFF00000;

class LpcProgrammingTest : public rask_test::FlashSim {
  protected:
    void OpenHub(int platform, const rask_test::Setting& extra = {"flash.program_us", "6"}) {
        Boot({{"board", "fwh"}, extra});
        ASSERT_EQ(Open(platform), FUL_SUCCESS);
        Cells().Erase(kBlock - kPartBase, 0x10000);
    }

    sim::FlashArray& Cells() { return Machine().FindFlashPart(sim::kBiosFlashPart)->Cells(); }
    std::vector<std::uint8_t> CellsAt(std::uint32_t pa, std::size_t n) {
        const auto bytes = Cells().Bytes(pa - kPartBase, n);
        return {bytes.begin(), bytes.end()};
    }

    std::vector<std::string> FlashOperations() const {
        std::vector<std::string> operations;
        for (const auto& e : Log("flash")) operations.push_back(e.operation);
        return operations;
    }
    std::vector<std::uint64_t> ProgrammedAddresses() const {
        std::vector<std::uint64_t> addresses;
        for (const auto& e : rask_test::Named(Log("flash"), "program"))
            addresses.push_back(e.address);
        return addresses;
    }
};

TEST_F(LpcProgrammingTest, EachByteIsProgrammedWaitedForAndLeftInReadArrayMode) {
    OpenHub(0);
    const std::vector<std::uint8_t> data = {0x12, 0x34, 0x56};

    ASSERT_EQ(lpc_FlashDevWrite(data.data(), kBlock + 0x100, 3), FUL_SUCCESS);

    EXPECT_EQ(CellsAt(kBlock + 0x100, 3), data);
    EXPECT_EQ(ProgrammedAddresses(),
              (std::vector<std::uint64_t>{kBlock + 0x100, kBlock + 0x101, kBlock + 0x102}));
    const std::vector<std::string> perByte = {"program", "read-status", "read-array",
                                              "clear-status"};
    const auto operations = FlashOperations();
    ASSERT_EQ(operations.size(), 3 * perByte.size());
    EXPECT_TRUE(std::equal(perByte.begin(), perByte.end(), operations.begin()));
    // The cells read as data again, not as status.
    const auto entries = Log("flash");
    EXPECT_EQ(entries[0].value, 0x12u);
}

TEST_F(LpcProgrammingTest, SpiCapablePlatformsStrappedToLpcProgramThroughMemory) {
    OpenHub(9);
    ASSERT_EQ(flInterface, 1u);
    const std::vector<std::uint8_t> data = {0xA1, 0xB2};

    ASSERT_EQ(UP_FlashDevWrite(data.data(), kBlock, 2), FUL_SUCCESS);
    ASSERT_EQ(UP_FlashByteWrite(kBlock + 2, 0xC3), FUL_SUCCESS);

    EXPECT_EQ(CellsAt(kBlock, 3), (std::vector<std::uint8_t>{0xA1, 0xB2, 0xC3}));
    EXPECT_EQ(ProgrammedAddresses().size(), 3u);
    EXPECT_TRUE(Log("spi").empty());
}

struct FailureCase {
    const char* name;
    rask_test::Setting setting;
    FUL_RETURN expected;
};

TEST_F(LpcProgrammingTest, TheFirstByteThePartFailsEndsTheWrite) {
    const FailureCase cases[] = {
        {"program fails", {"flash.fault.program", "0xFFF20001"}, FUL_PROGRAM_STATUS},
        {"block locked", {"flash.locked", "0xFFF20000"}, FUL_PROGRAM_STATUS},
        {"program never finishes", {"flash.fault.program_hang", "0xFFF20001"}, FUL_TIMEOUT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenHub(0, c.setting);
        const std::vector<std::uint8_t> data = {0x01, 0x02, 0x03, 0x04};
        const std::uint64_t start = Machine().Clock().NowNs();

        EXPECT_EQ(lpc_FlashDevWrite(data.data(), kBlock, 4), c.expected);

        // Nothing after the failing byte was tried.
        const auto programmed = ProgrammedAddresses();
        ASSERT_FALSE(programmed.empty());
        EXPECT_LE(programmed.back(), kBlock + 1);
        // A wait that never ends gives up soon after the byte program bound.
        EXPECT_LT(Machine().Clock().NowNs() - start, 2000u * 1000);
        Close();
    }
}

TEST_F(LpcProgrammingTest, ARangePastFourGigabytesIsRefused) {
    OpenHub(0);
    const std::uint8_t data[32] = {};
    EXPECT_EQ(lpc_FlashDevWrite(data, 0xFFFFFFF0, sizeof data), FUL_FAILURE);
    EXPECT_TRUE(Log("flash").empty());
}

}  // namespace
