// What tarvo reads back from the BIOS's flash service, from a service that
// cannot be trusted: after each call the status byte, the checksum field
// and the transfer buffer may say anything. And /proc/devices, where tarvo
// looks up its driver's major number, may list any drivers, with names of
// any bytes and length. tarvo must stop with one of its exit codes, never
// touch memory outside its mappings, and never erase or write the flash
// when it was only asked to read it.
//
// Input: byte 0 chooses the run: "/t" (read the ROM ID), "/d /i IMAGE"
// (compare), "/i IMAGE /n" (program), with IMAGE the flash as it was saved
// once at the start. Then answers (fuzz/input_answers.h): the first lists
// drivers to add to /proc/devices for the run (a major byte, then a name up
// to a 00h byte, and so on); each further one changes what the service
// left after one call:
//   byte 0     bit 0: the status byte becomes byte 1; bit 1: the checksum
//              field is XORed with bytes 2-5; bit 2: the transfer buffer
//              byte at byte 6 times 4 is XORed with byte 7
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/input_answers.h"
#include "sim/core/machine.h"
#include "tarvo/tarvo.h"

namespace {

using fuzz_input::Bytes;

constexpr std::uint16_t kSmiPort = 0xB2;
constexpr std::uint64_t kBiosSegment = 0xF0000;
constexpr std::uint32_t kRequestDistance = 4;
constexpr std::uint32_t kRequestBuffer = 0, kRequestChecksum = 12, kRequestStatus = 16;

// Stands in front of the BIOS's SMI port: the service runs as it would,
// then the input changes what it left in the request block and the buffer.
class AnswersAfterService : public sim::PortHandler {
  public:
    explicit AnswersAfterService(sim::Machine& machine) : mMachine(machine) {
        mService = machine.Ports().HandlerOf(kSmiPort);
        if (mService == nullptr) std::abort();
        machine.Ports().Release(kSmiPort, 1);
        machine.Ports().Claim(kSmiPort, 1, *this);
        mRequest = FindRequestBlock();
    }

    void Start(std::deque<Bytes> answers) { mAnswers = std::move(answers); }

    std::uint8_t PortIn(std::uint16_t port) override { return mService->PortIn(port); }
    void PortOut(std::uint16_t port, std::uint8_t value) override {
        mService->PortOut(port, value);
        const std::optional<Bytes> answer = fuzz_input::Next(mAnswers);
        if (!answer || answer->empty()) return;
        const auto byte = [&answer](std::size_t i) -> std::uint8_t {
            return i < answer->size() ? (*answer)[i] : 0;
        };
        sim::MemoryMap& memory = mMachine.Memory();
        if ((byte(0) & 1) != 0) memory.Write(mRequest + kRequestStatus, 1, byte(1));
        if ((byte(0) & 2) != 0) {
            const std::uint32_t mask =
                byte(2) | byte(3) << 8 | byte(4) << 16 | static_cast<std::uint32_t>(byte(5)) << 24;
            const std::uint32_t checksum = memory.Read(mRequest + kRequestChecksum, 4);
            memory.Write(mRequest + kRequestChecksum, 4, checksum ^ mask);
        }
        if ((byte(0) & 4) != 0) {
            const std::uint64_t at = memory.Read(mRequest + kRequestBuffer, 4) + byte(6) * 4u;
            memory.Write(at, 1, memory.Read(at, 1) ^ byte(7));
        }
    }

  private:
    std::uint64_t FindRequestBlock() {
        sim::MemoryMap& memory = mMachine.Memory();
        for (std::uint64_t at = kBiosSegment; at + 4 <= kBiosSegment + 0x10000; ++at) {
            if (memory.Read(at, 1) == '$' && memory.Read(at + 1, 1) == 'A' &&
                memory.Read(at + 2, 1) == 'S' && memory.Read(at + 3, 1) == 'F') {
                return at + memory.Read(at + kRequestDistance, 1);
            }
        }
        std::abort();
    }

    sim::Machine& mMachine;
    sim::PortHandler* mService = nullptr;
    std::uint64_t mRequest = 0;
    std::deque<Bytes> mAnswers;
};

// A driver that /proc/devices lists and nothing opens.
class ListedOnly : public sim::CharDriver {
  public:
    int Open() override { return ENODEV; }
    int Ioctl(unsigned long, void*) override { return ENOTTY; }
    std::uint64_t MapPhysical(std::uint64_t, std::uint64_t, int* error) override {
        *error = ENODEV;
        return 0;
    }
};

std::vector<std::string> AddDrivers(sim::Machine& machine, const Bytes& list) {
    static ListedOnly driver;
    std::vector<std::string> names;
    for (std::size_t at = 0; at < list.size();) {
        const unsigned major = list[at++];
        std::string name;
        while (at < list.size() && list[at] != 0) name.push_back(static_cast<char>(list[at++]));
        ++at;
        // A name the machine's own drivers have stays theirs.
        if (name.empty() || machine.Host().DriverRegistered(name)) continue;
        machine.Host().RegisterDriver(name, major, driver);
        names.push_back(name);
    }
    return names;
}

// The flash as it was at the start, saved by tarvo itself, in a folder of
// this run's own that goes when the run ends.
const std::string& SavedImage() {
    static const std::string path = [] {
        char folder[] = "/tmp/fuzz-bios-service-XXXXXX";
        if (::mkdtemp(folder) == nullptr) std::abort();
        static const std::filesystem::path made = folder;
        std::atexit([] { std::filesystem::remove_all(made); });
        const std::string image = (made / "flash.rom").string();
        const std::string output = "/o" + image;
        const char* argv[] = {"tarvo", output.c_str()};
        if (tarvo::Run(2, argv) != 0) std::abort();
        return image;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static sim::Machine& machine = []() -> sim::Machine& {
        sim::Settings settings;
        settings.Set("bios.rom_kb", "64");
        settings.Set("ram.mb", "1");
        return sim::ResetMachine(settings);
    }();
    static const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDOUT_FILENO);
    static const std::string& image = SavedImage();
    static AnswersAfterService service(machine);
    machine.Log().Clear();

    std::deque<Bytes> answers = fuzz_input::AnswersOf({data + 1, size - 1});
    const std::vector<std::string> drivers =
        AddDrivers(machine, fuzz_input::Next(answers).value_or(Bytes()));
    service.Start(std::move(answers));

    const std::string input = "/i" + image;
    const unsigned run = data[0] % 3;
    std::vector<const char*> argv = {"tarvo"};
    if (run == 0) argv.push_back("/t");
    if (run == 1) argv.insert(argv.end(), {"/d", input.c_str()});
    if (run == 2) argv.insert(argv.end(), {input.c_str(), "/n"});
    tarvo::Run(static_cast<int>(argv.size()), argv.data());

    if (run != 2) {
        for (const auto& call : machine.Log().Of("bios")) {
            if (call.operation == "FLASH_ERASE" || call.operation == "FLASH_WRITE") std::abort();
        }
    }
    for (const std::string& name : drivers) machine.Host().UnregisterDriver(name);
    service.Start({});
    return 0;
}
