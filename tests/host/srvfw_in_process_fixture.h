// srvfw run in the test's own process against the simulated server the
// test holds, so that a test reads the request log and the simulated
// devices after a command. The simulated libraries come from SIM_LIB_DIR,
// their texts from RES_DIR.
#ifndef SRVFW_TESTS_HOST_SRVFW_IN_PROCESS_FIXTURE_H
#define SRVFW_TESTS_HOST_SRVFW_IN_PROCESS_FIXTURE_H

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/srvfw.h"
#include "sim/core/machine.h"

namespace test_support {

class SrvfwInProcess : public ::testing::Test {
  protected:
    // A fresh server with the settings.
    static void Boot(const std::vector<std::pair<std::string, std::string>>& settings) {
        sim::Settings all;
        for (const auto& [key, value] : settings) all.Set(key, value);
        sim::ResetMachine(all);
    }
    // srvfw's exit code; what it printed is in `out` and `err`.
    int Srvfw(std::vector<std::string> args) {
        args.insert(args.begin(), {"--lib-dir", SIM_LIB_DIR, "--res-dir", RES_DIR});
        out.str({});
        err.str({});
        return srvfw::Run(args, out, err, false);
    }

    std::ostringstream out;
    std::ostringstream err;
};

}  // namespace test_support

#endif
