// "srvfw fw update" run in the test's own process, where the simulated
// controllers it talks to (through the simulated firmware library it
// loads) are the test's: the request log shows what a dry run leaves
// alone, what an update sends, and what a fault left behind, and the BMC
// itself says whether it is still in firmware transfer mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "sim/bmc/fw/controller_firmware.h"
#include "sim/bmc/fw/fw_image_builder.h"
#include "sim/bmc/fw/fw_log.h"
#include "sim/core/machine.h"
#include "tests/common/files.h"
#include "tests/host/srvfw_in_process_fixture.h"

namespace {

using sim::fw::LoggedCommand;

class FwUpdateInProcess : public test_support::SrvfwInProcess {
  protected:
    void SetUp() override {
        Boot({});
        sim::fw::ImageSpec newer = sim::fw::DefaultImageSpec(sim::fw::ControllerKind::kBmc, 0x20);
        newer.opCode = {2, 0x01};
        std::ofstream(image) << sim::fw::BuildHex(newer);
    }
    std::vector<LoggedCommand> Commands() const {
        return sim::fw::FirmwareLog(sim::TheMachine().Log());
    }
    std::vector<std::string> Operations() const {
        std::vector<std::string> operations;
        for (const LoggedCommand& command : Commands()) operations.push_back(command.operation);
        return operations;
    }
    const sim::fw::FirmwareController& Bmc() {
        return *sim::TheMachine().Find<sim::ControllerFirmware>()->Find(0x20);
    }

    test_support::TempDir dir{"fwproc"};
    std::string image = dir / "bmc.hex";
};

TEST_F(FwUpdateInProcess, ADryRunSendsNoFirmwareCommand) {
    const std::vector<std::uint8_t> before(Bmc().Memory().Bytes().begin(),
                                           Bmc().Memory().Bytes().end());
    ASSERT_EQ(Srvfw({"fw", "update", image, "--dry-run"}), 0) << err.str();
    const std::vector<std::string> operations = Operations();
    for (const char* changing : {"enter", "write", "segment", "exit"}) {
        EXPECT_EQ(std::count(operations.begin(), operations.end(), changing), 0) << changing;
    }
    EXPECT_TRUE(std::equal(before.begin(), before.end(), Bmc().Memory().Bytes().begin()));
    EXPECT_NE(out.str().find("Nothing was written."), std::string::npos) << out.str();
}

TEST_F(FwUpdateInProcess, AnUpdateEntersWritesVerifiesAndLeavesTransferMode) {
    ASSERT_EQ(Srvfw({"fw", "update", image, "--area", "opcode"}), 0) << err.str();
    const std::vector<LoggedCommand> commands = Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front().operation == "buffer-size" ? commands[1].Field("signature")
                                                          : commands.front().Field("signature"),
              "VARNO");
    EXPECT_EQ(commands.back().operation, "exit");
    const auto writes = std::count_if(commands.begin(), commands.end(), [](const LoggedCommand& c) {
        return c.operation == "write";
    });
    const auto checksums =
        std::count_if(commands.begin(), commands.end(),
                      [](const LoggedCommand& c) { return c.operation == "checksum"; });
    EXPECT_GT(writes, 0);
    EXPECT_GT(checksums, 0);
    EXPECT_FALSE(Bmc().InTransferMode());
    EXPECT_NE(out.str().find("opcode  1.20 -> 2.01  written and verified; runs 2.01 now"),
              std::string::npos)
        << out.str();
}

// Each fault ends the update with the library's reason; srvfw says whether
// the BMC left transfer mode, and the BMC agrees.
TEST_F(FwUpdateInProcess, AFaultEndsTheUpdateWithItsReasonAndTheTransferModeAsItIs) {
    const struct {
        const char* setting;
        const char* value;
        const char* where;  // what srvfw says of the transfer mode
        bool stillInMode;
    } cases[] = {
        {"fw.bmc.fault.refuse_write", "always", "the BMC at 20h left firmware transfer mode.",
         false},
        {"fw.bmc.fault.bad_checksum", "always", "the BMC at 20h left firmware transfer mode.",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        Boot({{c.setting, c.value}});
        EXPECT_EQ(Srvfw({"fw", "update", image, "--area", "opcode"}), 3) << err.str();
        const std::string said = err.str();
        EXPECT_NE(said.find("srvfw: updating the BMC at 20h: "), std::string::npos) << said;
        EXPECT_NE(said.find(c.where), std::string::npos) << said;
        EXPECT_EQ(Bmc().InTransferMode(), c.stillInMode);
        const std::vector<std::string> operations = Operations();
        EXPECT_EQ(std::count(operations.begin(), operations.end(), "enter"), 1);
        EXPECT_EQ(std::count(operations.begin(), operations.end(), "exit"), 1);
    }
}

}  // namespace

// Through the kernel's IPMI driver the library takes blocks of 16 bytes
// for a controller behind the BMC and asks no controller its buffer size.
TEST_F(FwUpdateInProcess, ThroughTheKernelsDriverAHotSwapControllerTakesBlocksOf16) {
    Boot({{"kernel.modules", "ipmi_si,ipmi_devintf"}});
    const std::string hsc = dir / "hsc.bin";
    const auto built =
        sim::fw::BuildBinary(sim::fw::DefaultImageSpec(sim::fw::ControllerKind::kHotSwap, 0xC0));
    test_support::WriteBytes(hsc, built);
    ASSERT_EQ(Srvfw({"fw", "update", hsc, "--yes"}), 0) << err.str();
    const std::vector<LoggedCommand> commands = Commands();
    std::size_t writes = 0;
    for (const LoggedCommand& command : commands) {
        EXPECT_NE(command.operation, "buffer-size");
        if (command.operation != "write") continue;
        ++writes;
        EXPECT_EQ(command.controller, 0xC0);
        EXPECT_EQ(command.Number("length"), 16u);
    }
    EXPECT_GT(writes, 0u);
}
