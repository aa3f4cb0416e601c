#include "sim/core/legacy_devices.h"

#include <fstream>

namespace sim {

namespace {
constexpr const char* kCmosFile = "cmos.bin";
}

CmosRam::CmosRam(Machine& machine) : mMachine(machine) {
    machine.Ports().Claim(kIndexPort, 2, *this);
}

void CmosRam::LoadState(const std::filesystem::path& dir) {
    std::ifstream in(dir / kCmosFile, std::ios::binary);
    if (in) in.read(reinterpret_cast<char*>(mBytes.data()), mBytes.size());
}

void CmosRam::SaveState(const std::filesystem::path& dir) const {
    std::ofstream out(dir / kCmosFile, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(mBytes.data()), mBytes.size());
}

std::uint8_t CmosRam::PortIn(std::uint16_t port) {
    return port == kDataPort ? mBytes[mIndex] : 0xFF;
}

void CmosRam::PortOut(std::uint16_t port, std::uint8_t value) {
    if (port == kIndexPort) {
        // Bit 7 of the index port gates NMI; the other seven select a byte.
        mIndex = value & 0x7F;
        return;
    }
    mMachine.Log().Add({"cmos", "write", mIndex, value, 1, ""});
    mBytes[mIndex] = value;
}

PostCodePort::PostCodePort(Machine& machine) {
    machine.Ports().Claim(kPort, 1, *this);
}

}  // namespace sim
