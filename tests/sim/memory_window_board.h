// A board of one BIOS flash part behind the chipset's BIOS range and the
// memory window, built without the rest of the machine so that a test
// names the part it drives. Accesses are the processor's (they cost
// virtual time), and the helpers speak the part's command set as a
// datasheet's flow chart does, so that a test reads as what went over the
// bus.
#ifndef SRVFW_TESTS_SIM_MEMORY_WINDOW_BOARD_H
#define SRVFW_TESTS_SIM_MEMORY_WINDOW_BOARD_H

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/chipset/bios_range.h"
#include "sim/chipset/memory_window.h"
#include "sim/core/machine.h"
#include "sim/flash/flash_chip.h"

namespace simtest {

inline constexpr std::uint64_t kTop = 0x100000000;
inline constexpr std::uint64_t kFwhBase = kTop - 0x100000;     // the 1 MB firmware hub
inline constexpr std::uint64_t kWord16Base = kTop - 0x400000;  // the 4 MB 16-bit part
inline constexpr std::uint64_t kFwhRegisters = kFwhBase - 0x400000;
// A clean status: ready, no error.
inline constexpr std::uint8_t kReady = 0x80;

inline sim::FlashChip ChipNamed(std::string_view name) {
    for (const sim::FlashChip& chip : sim::FlashChips()) {
        if (chip.name == name) return chip;
    }
    throw std::invalid_argument("no flash part " + std::string(name));
}

inline sim::Settings SettingsOf(std::initializer_list<std::pair<std::string, std::string>> values) {
    sim::Settings settings;
    for (const auto& [key, value] : values) settings.Set(key, value);
    return settings;
}

class WindowBoard {
  public:
    explicit WindowBoard(std::string_view chip,
                         std::initializer_list<std::pair<std::string, std::string>> settings = {})
        : mMachine(SettingsOf(settings)),
          mPart(mMachine.AddFlashPart(ChipNamed(chip), "bios-flash")),
          mRange(mMachine.Add<sim::BiosRange>()) {
        sim::AddMemoryWindow(mMachine, mPart);
        // The BIOS update's own first step; tests of the gate clear it.
        mRange.SetWritesEnabled(true);
    }

    sim::Machine& Machine() { return mMachine; }
    sim::FlashPart& Part() { return mPart; }
    sim::BiosRange& Range() { return mRange; }
    std::uint64_t Base() const { return sim::MemoryWindow::kTop - mPart.Cells().Size(); }
    std::uint8_t Cell(std::uint64_t address) const {
        return mPart.Cells().Bytes(address - Base(), 1)[0];
    }

    std::uint32_t Read(std::uint64_t address, unsigned width = 1) {
        return mMachine.MemoryRead(address, width);
    }
    void Write(std::uint64_t address, std::uint32_t value, unsigned width = 1) {
        mMachine.MemoryWrite(address, width, value);
    }
    // A command cycle at the part's bus width.
    void Command(std::uint64_t address, std::uint16_t value) { Write(address, value, BusBytes()); }
    unsigned BusBytes() const {
        return mPart.Chip().commands == sim::FlashCommandSet::kIntelWordProgram ? 2 : 1;
    }

    // Reads the status until the part is ready or the virtual time is up,
    // as an updater polls it; returns the last status read.
    std::uint8_t WaitReady(std::uint64_t address, std::uint64_t timeoutNs) {
        const std::uint64_t until = mMachine.Clock().NowNs() + timeoutNs;
        std::uint8_t status = 0;
        do {
            status = static_cast<std::uint8_t>(Read(address));
        } while ((status & 0x80) == 0 && mMachine.Clock().NowNs() < until);
        return status;
    }
    // 40h and the data, then the wait; the status it ended with.
    std::uint8_t Program(std::uint64_t address, std::uint16_t data) {
        Command(address, 0x40);
        Command(address, data);
        return WaitReady(address, 1'000'000);
    }
    // 20h D0h, then the wait: five times the part's default erase time.
    std::uint8_t Erase(std::uint64_t address) {
        Command(address, 0x20);
        Command(address, 0xD0);
        return WaitReady(address, 500'000'000);
    }

    std::vector<sim::LogEntry> Log() { return mMachine.Log().Of("flash"); }
    std::vector<std::string> Operations() {
        std::vector<std::string> operations;
        for (const sim::LogEntry& entry : Log()) operations.push_back(entry.operation);
        return operations;
    }
    void ClearLog() { mMachine.Log().Clear(); }

  private:
    sim::Machine mMachine;
    sim::FlashPart& mPart;
    sim::BiosRange& mRange;
};

}  // namespace simtest

#endif
