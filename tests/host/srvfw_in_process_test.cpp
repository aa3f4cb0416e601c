// srvfw run in the test's own process, where the simulated server it talks
// to (through the simulated FRU library it loads) is the test's: the
// request log shows what went to the FRU devices.
#include <gtest/gtest.h>

#include <sstream>

#include "host/srvfw.h"
#include "sim/bmc/fru/fru_log.h"
#include "sim/bmc/fru/fru_storage.h"
#include "sim/core/machine.h"
#include "tests/common/files.h"

namespace {

using sim::fru::LoggedAccess;

class SrvfwInProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetMachine();
        // Backups land in the current directory.
        std::filesystem::current_path(dir.Path());
    }
    void TearDown() override { std::filesystem::current_path(userDir); }

    int Srvfw(std::vector<std::string> args) {
        args.insert(args.begin(), {"--lib-dir", SIM_LIB_DIR, "--res-dir", RES_DIR});
        out.str({});
        err.str({});
        return srvfw::Run(args, out, err, false);
    }
    std::vector<LoggedAccess> Accesses(const std::string& operation) {
        std::vector<LoggedAccess> found;
        for (const LoggedAccess& access : sim::fru::LoggedAccesses(sim::TheMachine().Log())) {
            if (access.operation == operation) found.push_back(access);
        }
        return found;
    }
    std::span<const std::uint8_t> Baseboard() {
        return sim::TheMachine().Find<sim::FruStorage>()->Find("baseboard")->Contents();
    }

    std::filesystem::path userDir = std::filesystem::current_path();
    test_support::TempDir dir{"srvfwproc"};
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(SrvfwInProcess, ShowReadsTheBmcsFruDeviceZeroAndWritesNothing) {
    ASSERT_EQ(Srvfw({"fru", "show"}), 0) << err.str();
    const std::vector<LoggedAccess> reads = Accesses("read");
    ASSERT_FALSE(reads.empty());
    for (const LoggedAccess& read : reads) {
        EXPECT_EQ(read.controller, "bmc");
        EXPECT_EQ(read.target, "id 00h");
        EXPECT_EQ(read.device, "baseboard");
    }
    EXPECT_TRUE(Accesses("write").empty());
}

std::size_t Logged(const std::string& component, const std::string& operation) {
    std::size_t count = 0;
    for (const sim::LogEntry& entry : sim::TheMachine().Log().Entries()) {
        count += entry.component == component && entry.operation == operation;
    }
    return count;
}

// With the kernel's driver loaded every request goes through its device,
// and the ports it owns are left alone; asked for, the ports are used.
TEST_F(SrvfwInProcess, TheKernelsDriverCarriesTheRequestsWhereItRuns) {
    sim::Settings settings;
    settings.Set("kernel.modules", "ipmi_si,ipmi_devintf");
    sim::ResetMachine(settings);
    ASSERT_EQ(Srvfw({"fru", "show"}), 0) << err.str();
    EXPECT_FALSE(Accesses("read").empty());
    EXPECT_GT(Logged("ipmidev", "send"), 0u);
    EXPECT_EQ(Logged("kcs", "request"), 0u);
    EXPECT_EQ(Logged("kcs", "ports used under the kernel driver"), 0u);

    sim::TheMachine().Log().Clear();
    ASSERT_EQ(Srvfw({"--interface", "kcs", "fru", "show"}), 0) << err.str();
    EXPECT_EQ(Logged("ipmidev", "send"), 0u);
    EXPECT_GT(Logged("kcs", "request"), 0u);
}

TEST_F(SrvfwInProcess, DryRunOnlyReads) {
    const std::vector<std::uint8_t> before(Baseboard().begin(), Baseboard().end());
    ASSERT_EQ(Srvfw({"fru", "set", "--dry-run", "product.asset_tag=ASSET-0042"}), 0) << err.str();
    EXPECT_FALSE(Accesses("read").empty());
    EXPECT_TRUE(Accesses("write").empty());
    EXPECT_TRUE(std::ranges::equal(Baseboard(), before));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(SrvfwInProcess, SetWritesTheEditedAreasThenReadsTheFruBack) {
    const std::vector<std::uint8_t> before(Baseboard().begin(), Baseboard().end());
    ASSERT_EQ(Srvfw({"fru", "set", "product.asset_tag=ASSET-0042"}), 0) << err.str();
    EXPECT_NE(err.str().find("Writing the product info area\n"), std::string::npos) << err.str();

    // The header, and the board and product areas (the library writes the
    // board area whether edited or not); the internal use, chassis and
    // multi-record areas are left alone.
    const std::uint32_t board = before[3] * 8u;
    const std::uint32_t multiRecord = before[5] * 8u;
    const std::vector<LoggedAccess> writes = Accesses("write");
    ASSERT_FALSE(writes.empty());
    for (const LoggedAccess& write : writes) {
        EXPECT_EQ(write.device, "baseboard");
        EXPECT_EQ(write.completionCode, 0);
        const bool header = write.offset + write.length <= 8;
        const bool edited = write.offset >= board && write.offset + write.length <= multiRecord;
        EXPECT_TRUE(header || edited) << "write at " << write.offset;
    }
    // The FRU is read again after the last write.
    const auto log = sim::fru::LoggedAccesses(sim::TheMachine().Log(), "baseboard");
    const auto lastWrite = std::find_if(
        log.rbegin(), log.rend(), [](const LoggedAccess& a) { return a.operation == "write"; });
    EXPECT_TRUE(std::any_of(log.rbegin(), lastWrite,
                            [](const LoggedAccess& a) { return a.operation == "read"; }));

    const std::string text = "ASSET-0042";
    std::vector<std::uint8_t> tag{0xCA};  // 8-bit text of 10 bytes
    tag.insert(tag.end(), text.begin(), text.end());
    EXPECT_NE(std::search(Baseboard().begin(), Baseboard().end(), tag.begin(), tag.end()),
              Baseboard().end());
    // One backup in the current directory.
    const auto files = std::distance(std::filesystem::directory_iterator(dir.Path()),
                                     std::filesystem::directory_iterator());
    EXPECT_EQ(files, 1);
}

TEST_F(SrvfwInProcess, ARefusedValueStopsBeforeAnythingIsWritten) {
    EXPECT_EQ(Srvfw({"fru", "set", "board.manufacturer=ACME",
                     "product.asset_tag=" + std::string(64, 'x')}),
              3);
    EXPECT_NE(err.str().find("Nothing was written to the FRU."), std::string::npos) << err.str();
    EXPECT_TRUE(Accesses("write").empty());
}

}  // namespace
