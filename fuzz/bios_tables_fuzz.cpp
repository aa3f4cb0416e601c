// BIOS memory from a BIOS that cannot be trusted: random bytes over the
// information segment (FlashInfo, BlockTable, NvramTable) or the F0000h
// segment (anchor, request block) of the simulated server. tarvo must refuse
// what it cannot use without touching memory outside its mappings or
// flashing anything.
//
// One machine serves every input: building one per input is so slow that
// the fuzzer never gets past short inputs. Before each input the two
// segments get back the bytes the BIOS left in them and the log is
// cleared; tarvo's own clean-up gives back the module, the node and the
// flash interface.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sim/core/machine.h"
#include "tarvo/tarvo.h"

namespace {

constexpr std::uint64_t kSegmentBytes = 0x10000;
constexpr std::uint64_t kSegments[] = {0xE0000, 0xF0000};

struct Server {
    sim::Machine* machine = nullptr;
    std::vector<std::uint8_t> pristine[2];
};

Server& TheServer() {
    static Server server = [] {
        Server built;
        sim::Settings settings;
        settings.Set("bios.rom_kb", "64");
        settings.Set("ram.mb", "1");
        built.machine = &sim::ResetMachine(settings);
        for (int i = 0; i < 2; ++i) {
            const auto bytes = built.machine->Memory().Bytes(kSegments[i], kSegmentBytes);
            built.pristine[i].assign(bytes.begin(), bytes.end());
        }
        return built;
    }();
    return server;
}

void Restore(Server& server) {
    for (int i = 0; i < 2; ++i) {
        const auto bytes = server.machine->Memory().Bytes(kSegments[i], kSegmentBytes);
        if (bytes.size() == server.pristine[i].size()) {
            std::copy(server.pristine[i].begin(), server.pristine[i].end(), bytes.begin());
        } else {
            for (std::uint64_t at = 0; at < server.pristine[i].size(); ++at) {
                server.machine->Memory().Write(kSegments[i] + at, 1, server.pristine[i][at]);
            }
        }
    }
    server.machine->Log().Clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    Server& server = TheServer();
    Restore(server);
    sim::Machine& machine = *server.machine;

    // First byte: which segment; next two: where in it; the rest: the bytes.
    const std::uint64_t segment = (data[0] & 1) ? 0xF0000 : 0xE0000;
    const std::uint64_t offset = data[1] | (data[2] << 8);
    for (std::size_t i = 3; i < size && offset + (i - 3) < kSegmentBytes; ++i) {
        machine.Memory().Write(segment + offset + (i - 3), 1, data[i]);
    }

    static const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDOUT_FILENO);
    const char* argv[] = {"tarvo", "/t"};
    tarvo::Run(2, argv);
    for (const auto& call : machine.Log().Of("bios")) {
        if (call.operation == "FLASH_ERASE" || call.operation == "FLASH_WRITE") std::abort();
    }
    return 0;
}
