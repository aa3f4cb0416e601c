// The BIOS flash part's cells as the flash layer's tests read and change
// them behind the library's back: to find where the simulated BIOS put a
// table and to damage one in a way no setting offers.
#ifndef SRVFW_TESTS_RASK_BIOS_FLASH_CELLS_H
#define SRVFW_TESTS_RASK_BIOS_FLASH_CELLS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

#include "sim/bios/bios_flash.h"
#include "sim/core/machine.h"

namespace rask_test {

inline sim::FlashPart& BiosFlash(sim::Machine& machine) {
    sim::FlashPart* part = machine.FindFlashPart(sim::kBiosFlashPart);
    EXPECT_NE(part, nullptr);
    return *part;
}

// The part ends at 4 GB.
inline std::uint32_t PartBase(sim::Machine& machine) {
    return static_cast<std::uint32_t>(0x100000000 - BiosFlash(machine).Cells().Size());
}

inline std::vector<std::uint8_t> PartBytes(sim::Machine& machine) {
    const auto bytes = BiosFlash(machine).Cells().Bytes();
    return {bytes.begin(), bytes.end()};
}

// The cells behind the physical addresses [address, address + length).
inline std::vector<std::uint8_t> CellsAt(sim::Machine& machine, std::uint32_t address,
                                         std::size_t length) {
    const auto bytes = BiosFlash(machine).Cells().Bytes(address - PartBase(machine), length);
    return {bytes.begin(), bytes.end()};
}

// The part's offset of the first occurrence of text; the test fails when
// there is none.
inline std::size_t FindInPart(sim::Machine& machine, std::string_view text) {
    const std::vector<std::uint8_t> bytes = PartBytes(machine);
    for (std::size_t i = 0; i + text.size() <= bytes.size(); ++i) {
        if (std::memcmp(bytes.data() + i, text.data(), text.size()) == 0) return i;
    }
    ADD_FAILURE() << "no \"" << text << "\" in the BIOS flash";
    return 0;
}

// Changes the cells as a programmer clip would.
inline void RewritePart(sim::Machine& machine,
                        const std::function<void(std::vector<std::uint8_t>&)>& change) {
    std::vector<std::uint8_t> bytes = PartBytes(machine);
    change(bytes);
    ASSERT_TRUE(BiosFlash(machine).Cells().Fill(bytes));
}

inline void PutLittleEndian(std::vector<std::uint8_t>& bytes, std::size_t offset,
                            std::uint64_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

inline std::vector<sim::LogEntry> Only(const std::vector<sim::LogEntry>& entries,
                                       std::string_view operation) {
    std::vector<sim::LogEntry> kept;
    for (const sim::LogEntry& entry : entries) {
        if (entry.operation == operation) kept.push_back(entry);
    }
    return kept;
}

}  // namespace rask_test

#endif
