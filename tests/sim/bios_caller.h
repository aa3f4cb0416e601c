// Drives the simulated BIOS flash service the way a program does: through
// the platform layer, with the request block mapped from the memory device
// and function codes written to the SMI port.
#ifndef SRVFW_TESTS_SIM_BIOS_CALLER_H
#define SRVFW_TESTS_SIM_BIOS_CALLER_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <span>
#include <vector>

#include "hw/hw.h"
#include "sim/bios/bios_flash.h"
#include "sim/core/machine.h"
#include "tests/sim/settings_of.h"

namespace simtest {

// A RAM page of conventional memory that the tests use as transfer buffer.
inline constexpr std::uint32_t kBuffer = 0x20000;

class BiosCaller {
  public:
    BiosCaller() {
        sim::Machine& machine = sim::TheMachine();
        const sim::BiosFlashConfig& config = machine.Find<sim::BiosFlashService>()->Config();
        mPort = config.smiPort;
        mMemory = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
        mSegment = Map(sim::BiosFlashConfig::kAnchorSegment, 0xFFFF);
        mRequest = mSegment + (config.RequestAddress() - sim::BiosFlashConfig::kAnchorSegment);
        mBuffer = Map(kBuffer, 1024);
    }
    ~BiosCaller() {
        hw::UnmapDevice(mBuffer, 1024);
        hw::UnmapDevice(mSegment, 0xFFFF);
        hw::CloseDevice(mMemory);
    }

    std::uint8_t* Map(std::uint64_t physical, std::size_t length) {
        void* view = hw::MapDevice(mMemory, physical, length, PROT_READ | PROT_WRITE, MAP_SHARED);
        EXPECT_NE(view, MAP_FAILED);
        return static_cast<std::uint8_t*>(view);
    }

    void Fill(std::uint32_t buffer, std::uint32_t address, std::uint32_t length,
              std::uint32_t checksum = 0) {
        hw::Write32(mRequest + sim::bios::kRequestBuffer, buffer);
        hw::Write32(mRequest + sim::bios::kRequestAddress, address);
        hw::Write32(mRequest + sim::bios::kRequestLength, length);
        hw::Write32(mRequest + sim::bios::kRequestChecksum, checksum);
        hw::Write8(mRequest + sim::bios::kRequestStatus, 0xEE);  // shows a status left unset
    }
    std::uint8_t Call(std::uint8_t code) {
        hw::OutByte(mPort, code);
        return hw::Read8(mRequest + sim::bios::kRequestStatus);
    }
    std::uint32_t ChecksumField() { return hw::Read32(mRequest + sim::bios::kRequestChecksum); }

    // The transfer buffer at kBuffer.
    std::vector<std::uint8_t> Buffer() {
        std::vector<std::uint8_t> bytes(1024);
        hw::CopyFromMapped(bytes.data(), mBuffer, bytes.size());
        return bytes;
    }
    void SetBuffer(std::span<const std::uint8_t> bytes) {
        hw::CopyToMapped(mBuffer, bytes.data(), bytes.size());
    }

    std::uint8_t Open() { return Call(sim::bios::kFlashOpen); }
    std::uint8_t Read(std::uint32_t address) {
        Fill(kBuffer, address, 1024);
        return Call(sim::bios::kFlashRead);
    }
    std::uint8_t Erase(std::uint32_t address, std::uint32_t size) {
        Fill(kBuffer, address, size);
        return Call(sim::bios::kFlashErase);
    }
    std::uint8_t Write(std::uint32_t address, std::span<const std::uint8_t> kilobyte) {
        SetBuffer(kilobyte);
        Fill(kBuffer, address, 1024, sim::TransferChecksum(kilobyte));
        return Call(sim::bios::kFlashWrite);
    }

    std::uint8_t* Segment() { return mSegment; }

  private:
    std::uint16_t mPort = 0;
    int mMemory = -1;
    std::uint8_t* mSegment = nullptr;
    std::uint8_t* mRequest = nullptr;
    std::uint8_t* mBuffer = nullptr;
};

// The kilobyte of the simulated flash at a flash address.
inline std::vector<std::uint8_t> FlashAt(std::uint32_t address, std::size_t length = 1024) {
    const sim::BiosFlashService& bios = *sim::TheMachine().Find<sim::BiosFlashService>();
    const auto bytes = bios.Flash().Bytes(address - bios.Layout().BaseOffset(), length);
    return {bytes.begin(), bytes.end()};
}

}  // namespace simtest

#endif
