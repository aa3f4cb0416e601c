// srvfw and simctl run as the built programs, against a simulated server kept
// in a scratch directory of the test's own, where srvfw's backups land too.
#ifndef SRVFW_TESTS_HOST_SRVFW_RUN_FIXTURE_H
#define SRVFW_TESTS_HOST_SRVFW_RUN_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/run_command.h"

namespace test_support {

inline std::string ReadText(const std::filesystem::path& file) {
    const std::vector<std::uint8_t> bytes = ReadBytes(file);
    return {bytes.begin(), bytes.end()};
}

class SrvfwRun : public ::testing::Test {
  protected:
    explicit SrvfwRun(const char* prefix) : dir(prefix), state(dir / "server") {}

    void SetUp() override { ASSERT_EQ(Simctl("init").code, 0); }

    CommandOutcome Simctl(const std::string& args) const {
        return RunCommand(std::string(SIMCTL_PATH) + " " + state + " " + args);
    }
    // srvfw run from the scratch directory; standard output and error
    // together. A read that blocks would hang the test: after a generous
    // time it is stopped and fails with 124.
    CommandOutcome Srvfw(const std::string& args) const {
        return RunCommand("cd " + dir.Path().string() + " && timeout 60 " + SRVFW_PATH + " --sim " +
                          state + " " + args);
    }
    // Standard output alone; standard error goes to the file "stderr".
    CommandOutcome SrvfwResult(const std::string& args) const {
        return RunCommand("(cd " + dir.Path().string() + " && timeout 60 " + SRVFW_PATH +
                          " --sim " + state + " " + args + " 2>" + (dir / "stderr") + ")");
    }
    // The simulated FRU device's bytes now.
    std::vector<std::uint8_t> Dump(const std::string& device = "baseboard") const {
        const std::string file = dir / ("dump-" + device);
        EXPECT_EQ(Simctl("dump-fru " + device + " " + file).code, 0);
        return ReadBytes(file);
    }
    // The text with every "DIR" replaced by the scratch directory's path:
    // arguments and messages of a table of cases.
    std::string InScratch(std::string text) const {
        const std::string scratch = dir.Path().string();
        for (std::size_t at; (at = text.find("DIR")) != std::string::npos;) {
            text.replace(at, 3, scratch);
        }
        return text;
    }
    // The names in the scratch directory that start with `prefix`, sorted.
    std::vector<std::string> Named(const std::string& prefix) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with(prefix)) names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // The value of a Python expression over the JSON document `d`, as JSON:
    // "32", "\"2.01\"", "[\"boot\", \"opcode\"]". A document that does not
    // parse fails the test.
    std::string Json(const std::string& document, const std::string& expression) const {
        const std::string file = dir / "document.json";
        std::ofstream(file) << document;
        const CommandOutcome read = test_support::RunCommand(
            "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
            "print(json.dumps(eval(sys.argv[2])))' " +
            file + " \"" + expression + "\"");
        EXPECT_EQ(read.code, 0) << read.output << document;
        std::string value = read.output;
        while (!value.empty() && value.back() == '\n') value.pop_back();
        return value;
    }

    TempDir dir;
    std::string state;
};

}  // namespace test_support

#endif
