#include "tests/tarvo/tarvo_fixture.h"

#include <unistd.h>

#include <fstream>

#include "tarvo/tarvo.h"

namespace tarvo_test {

std::string Error(const std::string& message) {
    return "\nERROR: " + message + "\n\n";
}

void TarvoTest::SetUp() {
    char name[] = "/tmp/tarvoXXXXXX";
    dir = ::mkdtemp(name);
}

void TarvoTest::TearDown() {
    std::filesystem::remove_all(dir);
}

sim::Machine& TarvoTest::Boot(const std::map<std::string, std::string>& settings) {
    sim::Settings all;
    all.Set("bios.rom_kb", "256");
    all.Set("bios.block_kb", "64");
    for (const auto& [key, value] : settings) all.Set(key, value);
    return sim::ResetMachine(all);
}

sim::BiosFlashService& TarvoTest::Bios() {
    return *Machine().Find<sim::BiosFlashService>();
}

sim::QuorzelModule& TarvoTest::Module() {
    return *Machine().Find<sim::QuorzelModule>();
}

Outcome TarvoTest::Tarvo(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"tarvo"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    testing::internal::CaptureStdout();
    const int code = tarvo::Run(static_cast<int>(argv.size()), argv.data());
    return {code, testing::internal::GetCapturedStdout()};
}

std::string TarvoTest::WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = (dir / name).string();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::vector<std::uint8_t> TarvoTest::FlashContents() {
    const auto bytes = Bios().Flash().Bytes();
    return {bytes.begin(), bytes.end()};
}

std::vector<sim::LogEntry> TarvoTest::BiosCalls(const std::string& operation) {
    std::vector<sim::LogEntry> calls;
    for (const sim::LogEntry& entry : Machine().Log().Of("bios")) {
        if (operation.empty() || entry.operation == operation) calls.push_back(entry);
    }
    return calls;
}

std::vector<std::string> TarvoTest::HostOperations() {
    std::vector<std::string> operations;
    for (const sim::LogEntry& entry : Machine().Log().Entries()) {
        if (entry.component == "host" &&
            (entry.operation == "shell" || entry.operation == "unlink" ||
             entry.operation == "mknod" || entry.operation == "iopl")) {
            operations.push_back(
                entry.operation + ":" +
                (entry.operation == "iopl" ? std::to_string(entry.value) : entry.detail));
        }
    }
    return operations;
}

}  // namespace tarvo_test
