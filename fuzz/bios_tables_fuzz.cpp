// BIOS memory from a BIOS that cannot be trusted: random bytes over the
// information segment (FlashInfo, BlockTable, NvramTable) or the F0000h
// segment (anchor, request block) of the simulated server. tarvo must refuse
// what it cannot use without touching memory outside its mappings or
// flashing anything.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "sim/machine.h"
#include "tarvo/tarvo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    sim::Settings settings;
    settings.Set("bios.rom_kb", "64");
    settings.Set("ram.mb", "1");  // no extended memory to clear for every input
    sim::Machine& machine = sim::ResetMachine(settings);

    // First byte: which segment; next two: where in it; the rest: the bytes.
    const std::uint64_t segment = (data[0] & 1) ? 0xF0000 : 0xE0000;
    const std::uint64_t offset = data[1] | (data[2] << 8);
    for (std::size_t i = 3; i < size && offset + (i - 3) < 0x10000; ++i) {
        machine.Memory().Write(segment + offset + (i - 3), 1, data[i]);
    }

    static const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDOUT_FILENO);
    const char* argv[] = {"tarvo", "/t"};
    tarvo::Run(2, argv);
    if (!machine.Log().Of("bios").empty()) {
        for (const auto& call : machine.Log().Of("bios")) {
            if (call.operation == "FLASH_ERASE" || call.operation == "FLASH_WRITE") std::abort();
        }
    }
    return 0;
}
