// Copies of the SMBIOS entry point and structure table: as much as the
// host asks for, never more than the firmware says it holds, the rest of
// the host's buffer zeroed; from the kernel's copies where the firmware
// left nothing in F0000h.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hw/hw.h"
#include "rask/flash_layer.h"
#include "tests/rask/bios_flash_cells.h"
#include "tests/rask/flash_sim_fixture.h"

namespace rask_test {
namespace {

using namespace Rask_Private;

// Where the simulated BIOS puts them by default.
constexpr std::uint32_t kEntryPoint = 0xF1000;
constexpr std::uint32_t kEntryPointBytes = 0x1F;

class SmbiosDataTest : public FlashSim {
  protected:
    std::vector<std::uint8_t> Memory(std::uint64_t address, std::size_t length) {
        const auto bytes = Machine().Memory().Bytes(address, length);
        return {bytes.begin(), bytes.end()};
    }
    std::uint32_t TableAddress() {
        const auto bytes = Memory(kEntryPoint + 0x18, 4);
        return bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
               static_cast<std::uint32_t>(bytes[3]) << 24;
    }
    std::uint32_t TableLength() {
        const auto bytes = Memory(kEntryPoint + 0x16, 2);
        return bytes[0] | bytes[1] << 8;
    }
    // The copy into a buffer that starts all CCh, so that untouched bytes
    // show.
    std::vector<std::uint8_t> Copy(SMB_DATA_TYPE type, unsigned length, FUL_RETURN expected) {
        std::vector<std::uint8_t> out(length, 0xCC);
        EXPECT_EQ(FlashUDGetSmbiosData(Handle(), type, length, reinterpret_cast<char*>(out.data())),
                  expected);
        return out;
    }
    static std::vector<std::uint8_t> Padded(std::vector<std::uint8_t> bytes, std::size_t length) {
        bytes.resize(length, 0);
        return bytes;
    }
};

TEST_F(SmbiosDataTest, EntryPointCopiesWhatIsAskedUpToItsLength) {
    Boot();
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    const std::vector<std::uint8_t> entry = Memory(kEntryPoint, kEntryPointBytes);
    ASSERT_EQ(std::string(entry.begin(), entry.begin() + 4), "_SM_");
    EXPECT_EQ(Copy(SMB_ENTRY_POINT, 31, FUL_SUCCESS), entry);
    EXPECT_EQ(Copy(SMB_ENTRY_POINT, 8, FUL_SUCCESS),
              std::vector<std::uint8_t>(entry.begin(), entry.begin() + 8));
    EXPECT_EQ(Copy(SMB_ENTRY_POINT, 64, FUL_SUCCESS), Padded(entry, 64));
}

TEST_F(SmbiosDataTest, StructureTableCopiesWhatIsAskedUpToItsLength) {
    Boot();
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    const std::uint32_t length = TableLength();
    ASSERT_GT(length, 16u);
    const std::vector<std::uint8_t> table = Memory(TableAddress(), length);
    EXPECT_EQ(Copy(SMB_STRUCTURE_TABLE, length, FUL_SUCCESS), table);
    EXPECT_EQ(Copy(SMB_STRUCTURE_TABLE, 16, FUL_SUCCESS),
              std::vector<std::uint8_t>(table.begin(), table.begin() + 16));
    EXPECT_EQ(Copy(SMB_STRUCTURE_TABLE, length + 100, FUL_SUCCESS), Padded(table, length + 100));
}

struct MissingCase {
    const char* name;
    std::vector<Setting> settings;
    SMB_DATA_TYPE type;
    FUL_RETURN expected;
};

class SmbiosMissingTest : public SmbiosDataTest,
                          public ::testing::WithParamInterface<MissingCase> {};

// Nothing to copy: the code says why, and the buffer holds nothing stale.
TEST_P(SmbiosMissingTest, FailsWithTheBufferZeroed) {
    const MissingCase& c = GetParam();
    Boot(c.settings);
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    EXPECT_EQ(Copy(c.type, 32, c.expected), std::vector<std::uint8_t>(32, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SmbiosMissingTest,
    ::testing::Values(
        MissingCase{"no_smbios", {{"smbios.present", "0"}}, SMB_ENTRY_POINT, FUL_NO_SMBIOS},
        MissingCase{"uefi_on_a_kernel_without_copies",
                    {{"smbios.efi", "1"}, {"kernel.dmi_sysfs", "0"}},
                    SMB_ENTRY_POINT,
                    FUL_NO_SMBIOS},
        // Off its 16-byte boundary an anchor is not an entry point.
        MissingCase{"entry_point_off_paragraph",
                    {{"smbios.entry_point", "0xF1008"}},
                    SMB_ENTRY_POINT,
                    FUL_NO_SMBIOS},
        // Above 1 MiB in RAM, which the strict memory device will not map.
        MissingCase{"table_in_system_ram",
                    {{"smbios.table_address", "0x200000"}},
                    SMB_STRUCTURE_TABLE,
                    FUL_MAP_FAILED}),
    NameOfCase<MissingCase>);

// UEFI firmware: nothing in F0000h, the tables above 1 MiB where the
// memory device will not map them; the kernel's copies serve.
TEST_F(SmbiosDataTest, UefiTablesComeFromTheKernelsCopies) {
    Boot({{"smbios.efi", "1"}});
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    std::vector<std::uint8_t> entry;
    ASSERT_EQ(hw::ReadDmiTable(hw::DmiTable::kEntryPoint, entry), 0);
    std::vector<std::uint8_t> table;
    ASSERT_EQ(hw::ReadDmiTable(hw::DmiTable::kStructureTable, table), 0);
    Machine().Log().Clear();

    EXPECT_EQ(Copy(SMB_ENTRY_POINT, 64, FUL_SUCCESS), Padded(entry, 64));
    EXPECT_EQ(Copy(SMB_STRUCTURE_TABLE, table.size() + 8, FUL_SUCCESS),
              Padded(table, table.size() + 8));
    EXPECT_EQ(Log("dmi_sysfs").size(), 3u);  // the entry point twice, the table once
    EXPECT_TRUE(Only(Log("host"), "mmap-refused").empty());
}

TEST_F(SmbiosDataTest, RefusesNothingToCopyInto) {
    Boot();
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    char out[4] = {};
    EXPECT_EQ(FlashUDGetSmbiosData(nullptr, SMB_ENTRY_POINT, 4, out), FUL_INVALID_PARAMETER);
    EXPECT_EQ(FlashUDGetSmbiosData(Handle(), SMB_ENTRY_POINT, 0, out), FUL_INVALID_PARAMETER);
    EXPECT_EQ(FlashUDGetSmbiosData(Handle(), SMB_ENTRY_POINT, 4, nullptr), FUL_INVALID_PARAMETER);
}

}  // namespace
}  // namespace rask_test
