// srvfw's fw commands in the test's process over a firmware library made
// for the test: what srvfw asks of the library before and instead of an
// update (a dry run, a refusal), which areas it selects, and what it says
// after a failed one.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "host/srvfw.h"
#include "tests/host/fake_library/fake_duvane.h"

namespace {

constexpr int kOpcode = EFWUPDATE_DEVICE_AREA_OPCODE;
constexpr int kPia = EFWUPDATE_DEVICE_AREA_PIA;
constexpr int kBoot = EFWUPDATE_DEVICE_AREA_BOOT;
constexpr int kEfs = EFWUPDATE_DEVICE_AREA_EFS;

class FwFlow : public ::testing::Test {
  protected:
    void SetUp() override {
        mLoaded = dlopen(FAKE_DUVANE_DIR "/libduvane.so.9", RTLD_NOW);
        ASSERT_NE(mLoaded, nullptr) << dlerror();
        script = reinterpret_cast<FakeDuvaneScript* (*)()>(dlsym(mLoaded, "FakeDuvaneScriptOf"))();
        *script = FakeDuvaneScript{};
        script->imageVersions = {
            {kBoot, L"1.00"}, {kOpcode, L"2.01"}, {kPia, L"1.00"}, {kEfs, L"2.01"}};
        script->imageRanges = {{kBoot, {0, 0xFFFF}}, {kOpcode, {0x10000, 0x1DFFFF}}};
        script->running[DUVANE_DEVICE_BMC] = {
            {kBoot, L"1.00"}, {kOpcode, L"1.20"}, {kPia, L"1.00"}, {kEfs, L"1.20"}};
        script->phases = {L"Writing operational code", L"Verifying operational code"};
    }
    void TearDown() override { dlclose(mLoaded); }

    int Srvfw(std::vector<std::string> args) {
        // The KCS ports: the fake needs no IMB driver beside it.
        args.insert(args.begin(),
                    {"--lib-dir", FAKE_DUVANE_DIR, "--res-dir", RES_DIR, "--interface", "kcs"});
        out.str({});
        err.str({});
        return srvfw::Run(args, out, err, false);
    }
    bool Called(const std::string& call) const {
        return std::find(script->calls.begin(), script->calls.end(), call) != script->calls.end();
    }
    std::vector<std::string> Selected() const {
        std::vector<std::string> selected;
        for (const std::string& call : script->calls) {
            if (call.starts_with("SelectFwAreaforUpdate ")) selected.push_back(call.substr(22));
        }
        return selected;
    }

    FakeDuvaneScript* script = nullptr;
    std::ostringstream out;
    std::ostringstream err;

  private:
    void* mLoaded = nullptr;
};

TEST_F(FwFlow, ADryRunAndARefusalSelectAndCommitNothing) {
    EXPECT_EQ(Srvfw({"fw", "update", "bmc.hex", "--dry-run"}), 0) << err.str();
    EXPECT_TRUE(Called("IsConfigurationFileForSystem"));
    EXPECT_TRUE(Selected().empty());
    EXPECT_FALSE(Called("CommitConfigurationToSystem"));
    EXPECT_NE(out.str().find("Nothing was written."), std::string::npos) << out.str();

    script->calls.clear();
    script->forSystem = false;
    script->lastError = L"The firmware image bmc.hex is not built for this system's product.";
    EXPECT_EQ(Srvfw({"fw", "update", "bmc.hex"}), 9);
    EXPECT_FALSE(Called("CommitConfigurationToSystem"));
    EXPECT_TRUE(Selected().empty());
    EXPECT_NE(err.str().find("not built for this system's product"), std::string::npos)
        << err.str();

    script->calls.clear();
    EXPECT_EQ(Srvfw({"fw", "update", "bmc.hex", "--yes"}), 0) << err.str();
    EXPECT_TRUE(Called("CommitConfigurationToSystem"));
}

// Asking a controller other than the BMC enters its transfer mode: a dry
// run does not ask.
TEST_F(FwFlow, ADryRunDoesNotAskAControllerThatWouldRestart) {
    script->imageDevice = DUVANE_DEVICE_FRONT_PANEL;
    script->imageVersions = {{kBoot, L"1.00"}, {kOpcode, L"1.30"}};
    script->running[DUVANE_DEVICE_FRONT_PANEL] = {{kBoot, L"1.00"}, {kOpcode, L"1.10"}};
    EXPECT_EQ(Srvfw({"fw", "update", "fp.hex", "--dry-run"}), 0) << err.str();
    EXPECT_FALSE(Called("IsConfigurationFileForSystem"));
    EXPECT_NE(out.str().find("For this system: not known (not asked"), std::string::npos)
        << out.str();
    EXPECT_EQ(Srvfw({"fw", "update", "fp.hex"}), 0) << err.str();
    EXPECT_TRUE(Called("IsConfigurationFileForSystem"));
}

TEST_F(FwFlow, TheAreasSelectedAreThoseAskedForOrThoseThePartTakes) {
    const struct {
        std::vector<std::string> args;
        unsigned char device;
        std::wstring name;
        std::vector<std::string> selected;  // BmcFwArea numbers
    } cases[] = {
        {{}, DUVANE_DEVICE_BMC, L"BMC", {"0", "1", "2", "4"}},
        {{"--area", "opcode"}, DUVANE_DEVICE_BMC, L"BMC", {"1"}},
        {{"--area", "efs", "--area", "boot"}, DUVANE_DEVICE_BMC, L"BMC", {"0", "4"}},
        {{"--area", "rmm"}, DUVANE_DEVICE_BMC, L"BMC", {"3"}},
        {{}, DUVANE_DEVICE_HSC0, L"VSC", {"1", "2"}},
        {{"--area", "boot"}, DUVANE_DEVICE_HSC1, L"HSC", {"0", "2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selected.size());
        script->calls.clear();
        script->imageDevice = c.device;
        script->imageName = c.name;
        script->running[c.device] = {{kOpcode, L"1.00"}};
        std::vector<std::string> args = {"fw", "update", "image.bin"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(Srvfw(args), 0) << err.str();
        EXPECT_EQ(Selected(), c.selected);
        EXPECT_TRUE(Called("LoadConfigurationFromSystem " + std::to_string(c.device)));
    }
}

TEST_F(FwFlow, AFailedUpdateSaysWhatFinishedAndWhereTheControllerIs) {
    const struct {
        bool extraEntries;
        bool inTransferMode;
        const char* words;
    } cases[] = {
        {true, false, "the BMC at 20h left firmware transfer mode."},
        {true, true, "the BMC at 20h is STILL in firmware transfer mode"},
        {false, false, "This library does not say whether the BMC at 20h left firmware transfer"},
    };
    script->commitStatus = 0xC00A001A;
    script->lastError = L"Verification failed: the controller's firmware differs from the image.";
    script->phases = {L"Writing operational code"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        script->withExtraEntries = c.extraEntries;
        script->inTransferMode = c.inTransferMode;
        EXPECT_EQ(Srvfw({"fw", "update", "bmc.hex", "--area", "opcode"}), 3);
        const std::string said = err.str();
        EXPECT_NE(said.find("updating the BMC at 20h: Verification failed: the controller's "
                            "firmware differs from the image. Finished before the failure: "
                            "Writing operational code."),
                  std::string::npos)
            << said;
        EXPECT_NE(said.find(c.words), std::string::npos) << said;
        EXPECT_NE(said.find("(status 0xC00A001A)"), std::string::npos) << said;
    }
}

TEST_F(FwFlow, VersionsShowsAControllerThatDoesNotAnswerAsSuch) {
    script->lastError = L"The front-panel controller does not respond.";
    EXPECT_EQ(Srvfw({"fw", "versions"}), 0) << err.str();
    EXPECT_NE(out.str().find("22h front-panel controller  does not answer: The front-panel "
                             "controller does not respond. (status 0xC00A0019)"),
              std::string::npos)
        << out.str();
    EXPECT_NE(
        out.str().find("20h BMC                     boot 1.00  opcode 1.20  pia 1.00  efs 1.20"),
        std::string::npos)
        << out.str();
    EXPECT_EQ(Srvfw({"fw", "versions", "--device", "0x22"}), 3);
    EXPECT_EQ(Srvfw({"fw", "versions", "--device", "0x20"}), 0);
}

}  // namespace
