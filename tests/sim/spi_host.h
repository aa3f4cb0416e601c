// Drives the simulated chipset's SPI controller as software does, through
// the machine's memory at RCBA: the registers of either layout by name, the
// menu, and one cycle at a time.
#ifndef SRVFW_TESTS_SIM_SPI_HOST_H
#define SRVFW_TESTS_SIM_SPI_HOST_H

#include <array>
#include <cstdint>
#include <vector>

#include "sim/chipset/spi_controller.h"
#include "sim/core/machine.h"

namespace simtest {

// SPIC bits, as a program composes them.
constexpr std::uint16_t kSpiGo = 0x0002;
constexpr std::uint16_t kSpiAtomic = 0x0004;
constexpr std::uint16_t kSpiSecondPrefix = 0x0008;
constexpr std::uint16_t kSpiData = 0x4000;
// SPIS bits.
constexpr std::uint8_t kSpiInProgress = 0x01;
constexpr std::uint8_t kSpiDone = 0x04;
constexpr std::uint8_t kSpiBlocked = 0x08;

class SpiHost {
  public:
    explicit SpiHost(sim::Machine& machine, sim::SpiLayout layout = sim::SpiLayout::kIch7,
                     std::uint64_t rcba = 0xFED1C000)
        : mMachine(machine), mLayout(sim::LayoutOf(layout)), mBase(rcba + mLayout.blockOffset) {}

    const sim::SpiRegisterLayout& Layout() const { return mLayout; }
    std::uint32_t Read(std::uint32_t offset, unsigned width) {
        return mMachine.MemoryRead(mBase + offset, width);
    }
    void Write(std::uint32_t offset, unsigned width, std::uint32_t value) {
        mMachine.MemoryWrite(mBase + offset, width, value);
    }
    std::uint8_t Status() { return static_cast<std::uint8_t>(Read(mLayout.status, 1)); }
    // Lets a second of virtual time pass: any program or erase, and the
    // atomic cycle waiting on it, is over.
    void Settle() { mMachine.Clock().Advance(1'000'000'000); }

    void SetMenu(const std::array<std::uint8_t, 8>& opcodes, std::uint16_t types) {
        for (unsigned i = 0; i < opcodes.size(); ++i) Write(mLayout.opmenu + i, 1, opcodes[i]);
        Write(mLayout.optype, 2, types);
    }

    // One cycle of menu entry `entry`: the data sent (a write) or the count
    // read (a read); returns the first `readCount` bytes of the data
    // registers afterwards. The status flags are cleared first.
    std::vector<std::uint8_t> Cycle(unsigned entry, std::uint32_t address,
                                    const std::vector<std::uint8_t>& sent, std::size_t readCount,
                                    std::uint16_t extra = 0) {
        Write(mLayout.status, 1, kSpiDone | kSpiBlocked);
        Write(mLayout.address, 4, address);
        for (std::size_t i = 0; i < sent.size(); ++i) {
            Write(mLayout.data + static_cast<std::uint32_t>(i), 1, sent[i]);
        }
        const std::size_t count = sent.empty() ? readCount : sent.size();
        std::uint16_t control = static_cast<std::uint16_t>(kSpiGo | extra | (entry << 4));
        if (count > 0) control |= static_cast<std::uint16_t>(kSpiData | ((count - 1) << 8));
        Write(mLayout.control, 2, control);
        std::vector<std::uint8_t> data(readCount);
        for (std::size_t i = 0; i < readCount; ++i) {
            data[i] =
                static_cast<std::uint8_t>(Read(mLayout.data + static_cast<std::uint32_t>(i), 1));
        }
        return data;
    }

  private:
    sim::Machine& mMachine;
    const sim::SpiRegisterLayout& mLayout;
    std::uint64_t mBase;
};

}  // namespace simtest

#endif
