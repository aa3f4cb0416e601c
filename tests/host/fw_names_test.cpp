// The words of the fw commands: image types from --type or the file's
// name, controller addresses, area names and version lists.
#include <gtest/gtest.h>

#include "host/frame/failure.h"
#include "host/fw/areas.h"
#include "host/fw/check.h"
#include "host/fw/image.h"

namespace srvfw {
namespace {

ExitCode CodeOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const Failure& failure) {
        return failure.Code();
    }
    return ExitCode::kSuccess;
}

TEST(FwNames, ImageTypeComesFromTypeOrTheNamesExtension) {
    const struct {
        const char* file;
        std::optional<std::string> type;
        FwFileType expected;
    } cases[] = {
        {"bmc.hex", std::nullopt, FW_FILE_HEX},
        {"BMC.HEX", std::nullopt, FW_FILE_HEX},
        {"dir.hex/bmc", std::nullopt, FW_FILE_BINARY},
        {"bmc.bin", std::nullopt, FW_FILE_BINARY},
        {"bmc", std::nullopt, FW_FILE_BINARY},
        {"bmc.hex.bak", std::nullopt, FW_FILE_BINARY},
        {"me.bin", "me", FW_FILE_ME_BINARY},
        {"bmc.hex", "bin", FW_FILE_BINARY},
        {"bmc.bin", "hex", FW_FILE_HEX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(FwImageType(c.file, c.type), c.expected);
    }
    EXPECT_EQ(CodeOf([] { FwImageType("x.hex", "ihex"); }), ExitCode::kUsage);
    EXPECT_EQ(CodeOf([] { FwImageType("x.hex", ""); }), ExitCode::kUsage);
}

TEST(FwNames, DeviceIsOneOfTheFiveControllers) {
    const struct {
        const char* text;
        int expected;  // -1: refused
    } cases[] = {
        {"20h", 0x20}, {"0x22", 0x22}, {"C0h", 0xC0}, {"0xc2", 0xC2}, {"44", 0x2C},
        {"32", 0x20},  {"21h", -1},    {"0x120", -1}, {"BMC", -1},    {"", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.expected < 0) {
            EXPECT_EQ(CodeOf([&c] { ParseFwDevice(c.text); }), ExitCode::kUsage);
        } else {
            EXPECT_EQ(ParseFwDevice(c.text), c.expected);
        }
    }
}

TEST(FwNames, AreasCarryTheLibrarysNumbers) {
    const struct {
        const char* name;
        BmcFwArea update;
        EFWUPDATE_DEVICE_AREA version;
    } cases[] = {
        {"boot", BMC_FW_AREA_BOOT, EFWUPDATE_DEVICE_AREA_BOOT},
        {"opcode", BMC_FW_AREA_OPCODE, EFWUPDATE_DEVICE_AREA_OPCODE},
        {"pia", BMC_FW_AREA_PIA, EFWUPDATE_DEVICE_AREA_PIA},
        {"rmm", BMC_FW_AREA_RMM, EFWUPDATE_DEVICE_AREA_RMM},
        {"efs", BMC_FW_AREA_EFS, EFWUPDATE_DEVICE_AREA_EFS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FwAreaNamed(c.name).updateArea, c.update);
        EXPECT_EQ(FwAreaNamed(c.name).versionArea, c.version);
    }
    EXPECT_FALSE(FwAreaNamed("rmm").inImage);
    EXPECT_EQ(CodeOf([] { FwAreaNamed("Boot"); }), ExitCode::kUsage);
}

TEST(FwNames, SupportedListIsSplitAtCommas) {
    const struct {
        const char* text;
        std::vector<std::string> entries;
    } cases[] = {
        {"1.05", {"1.05"}},
        {"1.00-1.09,2.00+", {"1.00-1.09", "2.00+"}},
        {" 1.00 , 1.10+ ", {"1.00", "1.10+"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SupportedList(c.text), c.entries);
    }
    for (const char* empty : {"", "1.00,", ",1.00", "1.00, ,2.00"}) {
        SCOPED_TRACE(empty);
        EXPECT_EQ(CodeOf([empty] { SupportedList(empty); }), ExitCode::kUsage);
    }
}

}  // namespace
}  // namespace srvfw
