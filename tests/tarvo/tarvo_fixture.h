// Runs tarvo in-process against a freshly built simulated server and keeps
// what it printed, so a test can look at the exit code, the output and what
// the simulated BIOS, kernel module and Linux were asked.
#ifndef SRVFW_TESTS_TARVO_FIXTURE_H
#define SRVFW_TESTS_TARVO_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "sim/bios/bios_flash.h"
#include "sim/bios/quorzel.h"
#include "sim/bios/rom_image_builder.h"
#include "sim/core/machine.h"

namespace tarvo_test {

struct Outcome {
    int code;
    std::string output;
    bool Shows(const std::string& text) const { return output.find(text) != std::string::npos; }
};

// "\nERROR: <message>\n\n" as tarvo prints it.
std::string Error(const std::string& message);

class TarvoTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A server with a 256 KB ROM of four 64 KB blocks (the top one the boot
    // block, the one below it NVRAM), changed by these settings.
    sim::Machine& Boot(const std::map<std::string, std::string>& settings = {});
    sim::Machine& Machine() { return sim::TheMachine(); }
    sim::BiosFlashService& Bios();
    sim::QuorzelModule& Module();
    const sim::BiosFlashLayout& Layout() { return Bios().Layout(); }

    Outcome Tarvo(const std::vector<std::string>& args);

    // An image for the server's layout, written to a file of the test.
    std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes);
    sim::RomImageBuilder Image() { return sim::RomImageBuilder(Layout()).RomId("SRVBD011"); }

    std::vector<std::uint8_t> FlashContents();
    std::vector<sim::LogEntry> BiosCalls(const std::string& operation = "");
    std::vector<std::string> HostOperations();  // "shell:...", "unlink:..." in order
    std::filesystem::path dir;
};

}  // namespace tarvo_test

#endif
