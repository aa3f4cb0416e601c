// simctl's FRU commands end to end, and FRU contents outliving the process:
// an image built and loaded with simctl is what the next program reads over
// IPMI, what that program writes the one after it reads, and what dump-fru
// saves.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <string>

#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/sim/fru_requests.h"
#include "tests/sim/program_process.h"

namespace {

using simtest::Bytes;
using test_support::CommandOutcome;
using test_support::ReadBytes;

unsigned SumOf(const Bytes& bytes, std::size_t offset, std::size_t length) {
    return std::accumulate(bytes.begin() + offset, bytes.begin() + offset + length, 0u) % 256;
}

class FruSimctl : public ::testing::Test {
  protected:
    CommandOutcome Run(const std::string& args) {
        return test_support::RunCommand(std::string(SIMCTL_PATH) + " " + State() + " " + args);
    }
    std::string State() const { return mDir / "state"; }
    std::string File(const std::string& name) const { return mDir / name; }

    // Runs body in a process of its own against the state directory, as a
    // simulated program would; true when body succeeded.
    bool InAnotherProcess(const std::function<bool()>& body) {
        return simtest::ProgramSucceeds(State(), body);
    }

    test_support::TempDir mDir{"frusimctl"};
};

TEST_F(FruSimctl, AnImageLoadedWithSimctlIsReadWrittenAndKeptAcrossProcesses) {
    ASSERT_EQ(Run("init").code, 0);
    const CommandOutcome built = Run("build-fru " + File("board.fru") + " --for=baseboard");
    ASSERT_EQ(built.code, 0) << built.output;
    const Bytes image = ReadBytes(File("board.fru"));
    ASSERT_GT(image.size(), 8u);
    EXPECT_TRUE(built.Shows("built " + File("board.fru") + ": " + std::to_string(image.size()) +
                            " bytes, internal at 8h"))
        << built.output;
    EXPECT_EQ(SumOf(image, 0, 8), 0u);

    const CommandOutcome loaded = Run("load-fru baseboard " + File("board.fru"));
    ASSERT_EQ(loaded.code, 0) << loaded.output;
    const CommandOutcome shown = Run("show");
    EXPECT_TRUE(shown.Shows("baseboard: bmc, FRU device ID 00h, 2048 bytes")) << shown.output;
    EXPECT_TRUE(shown.Shows("fru-baseboard.bin: FRU header valid; internal use at 8h"))
        << shown.output;

    // The next program reads the image and writes four bytes at the end.
    const Bytes tail = {0xC0, 0xFF, 0xEE, 0x42};
    EXPECT_TRUE(InAnotherProcess([&] {
        for (std::uint16_t offset = 0; offset < 24; offset += 8) {
            const sim::ipmi::Response response = simtest::ReadFru(0, offset, 8);
            if (response.completionCode != 0 ||
                !std::equal(response.data.begin() + 1, response.data.end(),
                            image.begin() + offset)) {
                return false;
            }
        }
        return simtest::WriteFru(0, 2044, tail).completionCode == 0;
    }));
    // The one after it finds them.
    EXPECT_TRUE(InAnotherProcess([&] {
        const sim::ipmi::Response response = simtest::ReadFru(0, 2044, 4);
        return response.completionCode == 0 &&
               Bytes(response.data.begin() + 1, response.data.end()) == tail;
    }));

    ASSERT_EQ(Run("dump-fru baseboard " + File("dump.fru")).code, 0);
    Bytes expected = image;
    expected.resize(2048, 0xFF);
    std::copy(tail.begin(), tail.end(), expected.end() - 4);
    EXPECT_EQ(ReadBytes(File("dump.fru")), expected);
}

TEST_F(FruSimctl, LoadFruRefusesAnImageLargerThanTheDeviceOrAnUnknownDevice) {
    ASSERT_EQ(Run("init").code, 0);
    ASSERT_EQ(Run("dump-fru riser " + File("before.fru")).code, 0);
    ASSERT_EQ(Run("build-fru " + File("big.fru") + " --size=300").code, 0);
    ASSERT_EQ(ReadBytes(File("big.fru")).size(), 300u);

    const CommandOutcome tooBig = Run("load-fru riser " + File("big.fru"));
    EXPECT_EQ(tooBig.code, 1);
    EXPECT_TRUE(tooBig.Shows("larger than riser (256 bytes); unchanged")) << tooBig.output;
    ASSERT_EQ(Run("dump-fru riser " + File("after.fru")).code, 0);
    EXPECT_EQ(ReadBytes(File("after.fru")), ReadBytes(File("before.fru")));

    const CommandOutcome unknown = Run("load-fru nowhere " + File("big.fru"));
    EXPECT_EQ(unknown.code, 1);
    EXPECT_TRUE(unknown.Shows("no FRU device \"nowhere\"")) << unknown.output;
    EXPECT_EQ(Run("load-fru riser").code, 2);
}

TEST_F(FruSimctl, BuildFruDamagesTheImageWhereAsked) {
    struct Case {
        const char* option;
        // The header's byte pointing at the area a check looks at, and what
        // the check expects there.
        std::function<bool(const Bytes&)> damaged;
    };
    auto areaAt = [](const Bytes& image, int headerByte) { return image[headerByte] * 8u; };
    const Case cases[] = {
        {"--bad-checksum=header", [](const Bytes& image) { return SumOf(image, 0, 8) == 1; }},
        {"--bad-checksum=board",
         [&](const Bytes& image) {
             const std::size_t at = areaAt(image, 3);
             return SumOf(image, at, image[at + 1] * 8u) == 1;
         }},
        {"--length-byte=product:1",
         [&](const Bytes& image) { return image[areaAt(image, 4) + 1] == 1; }},
        {"--header-version=2", [](const Bytes& image) { return image[0] == 2; }},
        {"--order=product,board,chassis",
         [](const Bytes& image) {
             return SumOf(image, 0, 8) == 0 && image[4] < image[3] && image[3] < image[2];
         }},
        {"--padding=board:0xFF",
         [&](const Bytes& image) {
             const std::size_t at = areaAt(image, 3);
             const std::size_t length = image[at + 1] * 8u;
             return SumOf(image, at, length) == 0 && image[at + length - 2] == 0xFF;
         }},
        {"--end-after=product:0",
         [&](const Bytes& image) {
             const std::size_t at = areaAt(image, 4);
             return SumOf(image, at, image[at + 1] * 8u) == 0 && image[at + 3] == 0xC1;
         }},
        {"--bad-checksum=record:0",
         [&](const Bytes& image) {
             const std::size_t at = areaAt(image, 5);
             return (SumOf(image, at + 5, image[at + 2]) + image[at + 3]) % 256 == 1;
         }},
    };
    ASSERT_EQ(Run("build-fru " + File("sound.fru")).code, 0);
    const Bytes sound = ReadBytes(File("sound.fru"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        EXPECT_FALSE(c.damaged(sound));
        const CommandOutcome built = Run("build-fru " + File("bad.fru") + " " + c.option);
        ASSERT_EQ(built.code, 0) << built.output;
        EXPECT_TRUE(c.damaged(ReadBytes(File("bad.fru"))));
    }
    EXPECT_EQ(Run("build-fru " + File("bad.fru") + " --bad-checksum=internal").code, 1);
    EXPECT_EQ(Run("build-fru " + File("bad.fru") + " --bogus").code, 2);
    EXPECT_EQ(Run("build-fru").code, 2);
}

TEST_F(FruSimctl, TheContentsFileNamedInTheSettingsIsTheDevicesContents) {
    ASSERT_EQ(Run("init fru.baseboard.file=board.bin fru.riser.initial=erased").code, 0);
    EXPECT_TRUE(Run("show").Shows("fru-riser.bin: erased"));
    // A file put in the state directory fills the start of the device; the
    // rest reads erased.
    const Bytes image = {0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFE};
    std::ofstream(State() + "/board.bin", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image.data()), 8);
    EXPECT_TRUE(Run("show").Shows("board.bin: FRU header valid; board at 8h"));
    ASSERT_EQ(Run("dump-fru baseboard " + File("dump.fru")).code, 0);
    Bytes expected = image;
    expected.resize(2048, 0xFF);
    EXPECT_EQ(ReadBytes(File("dump.fru")), expected);
}

}  // namespace
