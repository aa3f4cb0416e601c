// simctl's SDR commands end to end, and the repository outliving the
// process: a set built and loaded with simctl is what the next program
// reads over IPMI, what that program adds the one after it reads, and what
// dump-sdr saves.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sim/bmc/sdr/sdr_record_builder.h"
#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/sim/program_process.h"
#include "tests/sim/sdr_requests.h"

namespace {

using simtest::Bytes;
using test_support::CommandOutcome;
using test_support::ReadBytes;

class SdrSimctl : public ::testing::Test {
  protected:
    CommandOutcome Run(const std::string& args) {
        return test_support::RunCommand(std::string(SIMCTL_PATH) + " " + State() + " " + args);
    }
    std::string State() const { return mDir / "state"; }
    std::string File(const std::string& name) const { return mDir / name; }

    test_support::TempDir mDir{"sdrsimctl"};
};

TEST_F(SdrSimctl, ABuiltSetLoadedIsReadAddedToAndKeptAcrossProcesses) {
    ASSERT_EQ(Run("init").code, 0);
    const CommandOutcome built = Run("build-sdr " + File("set.sdr") + " --count 12");
    ASSERT_EQ(built.code, 0) << built.output;
    const Bytes image = ReadBytes(File("set.sdr"));
    EXPECT_EQ(image, sim::sdr::JoinRecords(sim::sdr::SampleSet(12)));
    EXPECT_TRUE(built.Shows("000Ch 15h unknown")) << built.output;
    EXPECT_TRUE(built.Shows("0001h 01h full sensor")) << built.output;

    const CommandOutcome loaded = Run("load-sdr " + File("set.sdr"));
    ASSERT_EQ(loaded.code, 0) << loaded.output;
    EXPECT_TRUE(loaded.Shows("loaded 12 records")) << loaded.output;
    const CommandOutcome shown = Run("show");
    EXPECT_TRUE(shown.Shows("SDR repository: 12 records")) << shown.output;

    const sim::sdr::Record added = sim::sdr::BuildRecord(sim::sdr::kMcConfirmation, 1);
    sim::sdr::Record stored = added;
    sim::sdr::SetRecordId(stored, 13);
    EXPECT_TRUE(simtest::ProgramSucceeds(State(), [&] {
        const Bytes first = simtest::ReadRecord(1, 16);
        const bool readBack = first == sim::sdr::SampleSet(12)[0];
        return readBack && simtest::AddRecord(added) == 13;
    }));
    EXPECT_TRUE(simtest::ProgramSucceeds(State(), [&] {
        return simtest::ReadRecord(13, 16) == stored &&
               simtest::SdrRequests("add").empty();  // a new process, a new log
    }));

    ASSERT_EQ(Run("dump-sdr " + File("out.sdr")).code, 0);
    Bytes expected = image;
    expected.insert(expected.end(), stored.begin(), stored.end());
    EXPECT_EQ(ReadBytes(File("out.sdr")), expected);
    const CommandOutcome listed = Run("show-sdr");
    EXPECT_TRUE(listed.Shows("000Dh 13h management controller confirmation")) << listed.output;
}

TEST_F(SdrSimctl, RefusesAFileThatIsNotWholeRecordsOrRepeatsAnId) {
    ASSERT_EQ(Run("init").code, 0);
    Bytes cut = sim::sdr::JoinRecords(sim::sdr::SampleSet(2));
    cut.pop_back();
    test_support::WriteBytes(File("cut.sdr"), cut);
    const CommandOutcome refused = Run("load-sdr " + File("cut.sdr"));
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.Shows("runs past the end")) << refused.output;

    std::vector<sim::sdr::Record> twice = sim::sdr::SampleSet(2);
    sim::sdr::SetRecordId(twice[1], 1);
    test_support::WriteBytes(File("twice.sdr"), sim::sdr::JoinRecords(twice));
    const CommandOutcome repeated = Run("load-sdr " + File("twice.sdr"));
    EXPECT_EQ(repeated.code, 1);
    EXPECT_TRUE(repeated.Shows("twice")) << repeated.output;

    const CommandOutcome shown = Run("show-sdr");
    EXPECT_TRUE(shown.Shows("0009h C0h OEM")) << shown.output;  // the default set, unchanged
}

TEST_F(SdrSimctl, BuildsTheDefaultSetAndShowsAFile) {
    const CommandOutcome built = Run("build-sdr " + File("default.sdr") + " --default");
    ASSERT_EQ(built.code, 0) << built.output;
    EXPECT_EQ(ReadBytes(File("default.sdr")), sim::sdr::JoinRecords(sim::sdr::DefaultSet()));
    const CommandOutcome shown = Run("show-sdr " + File("default.sdr"));
    EXPECT_EQ(shown.code, 0);
    EXPECT_TRUE(shown.Shows("0001h 12h management controller locator")) << shown.output;
}

}  // namespace
