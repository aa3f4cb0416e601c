// The chipset's SPI controller: its registers over the mapped block, the
// setup the open gives it (opcode menu, types, prefix, the part's kind),
// the waits for a cycle and for the part, and read cycles for checking
// what was programmed on the part whose memory window cannot be trusted
// right after a write.
#include <algorithm>
#include <cstdint>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "rask/bounded_poll.h"
#include "rask/flash_layer.h"
#include "rask/spi_registers.h"

namespace Rask_Private {

// ------------------------------------------------------------- accessors

std::uint8_t SpiRead8(unsigned offset) {
    return hw::Read8(vspibar + offset);
}
std::uint16_t SpiRead16(unsigned offset) {
    return hw::Read16(vspibar + offset);
}
std::uint32_t SpiRead32(unsigned offset) {
    return hw::Read32(vspibar + offset);
}
void SpiWrite8(unsigned offset, std::uint8_t value) {
    hw::Write8(vspibar + offset, value);
}
void SpiWrite16(unsigned offset, std::uint16_t value) {
    hw::Write16(vspibar + offset, value);
}
void SpiWrite32(unsigned offset, std::uint32_t value) {
    hw::Write32(vspibar + offset, value);
}

bool SpiControllerReady() {
    return vspibar != nullptr;
}

bool SpiMenuIsOurs() {
    for (unsigned i = 0; i < kSpiOpcodeMenu.size(); ++i) {
        const std::uint8_t opcode = SpiRead8(OPMENU_OFFSET + i);
        const bool aai = i == kMenuProgram && opcode == kAaiWordProgramOpcode;
        if (opcode != kSpiOpcodeMenu[i] && !aai) return false;
    }
    for (unsigned i = 0; i < kSpiOpTypes.size(); ++i) {
        if (SpiOpTypeOf(i) != kSpiOpTypes[i]) return false;
    }
    return true;
}

bool SpiControllerUsable(const wchar_t* caller) {
    if (!SpiControllerReady()) {
        Dbg(L"%ls : no SPI controller on this platform", 3, caller);
        return false;
    }
    if (!SpiMenuIsOurs()) {
        Dbg(L"%ls : the BIOS locked the SPI opcode menu; no cycle sent", 3, caller);
        return false;
    }
    return true;
}

void SetSpiOpType(unsigned menuIndex, SpiOpType type) {
    const unsigned shift = 2 * (menuIndex & 7);
    const auto value = static_cast<std::uint16_t>((SpiRead16(OPTYPE_OFFSET) & ~(3u << shift)) |
                                                  (static_cast<unsigned>(type) << shift));
    SpiWrite16(OPTYPE_OFFSET, value);
}

SpiOpType SpiOpTypeOf(unsigned menuIndex) {
    return static_cast<SpiOpType>((SpiRead16(OPTYPE_OFFSET) >> (2 * (menuIndex & 7))) & 3);
}

// The data register takes and gives whole dwords, the first byte in the
// low bits; the bytes past the last whole one go as bytes.
void SpiLoadData(const unsigned char* bytes, unsigned n) {
    unsigned i = 0;
    for (; i + 4 <= n; i += 4) {
        SpiWrite32(SPID_OFFSET + i, static_cast<std::uint32_t>(bytes[i]) |
                                        static_cast<std::uint32_t>(bytes[i + 1]) << 8 |
                                        static_cast<std::uint32_t>(bytes[i + 2]) << 16 |
                                        static_cast<std::uint32_t>(bytes[i + 3]) << 24);
    }
    for (; i < n; ++i) SpiWrite8(SPID_OFFSET + i, bytes[i]);
}

void SpiStoreData(unsigned char* bytes, unsigned n) {
    unsigned i = 0;
    for (; i + 4 <= n; i += 4) {
        const std::uint32_t value = SpiRead32(SPID_OFFSET + i);
        for (unsigned k = 0; k < 4; ++k)
            bytes[i + k] = static_cast<unsigned char>(value >> (8 * k));
    }
    for (; i < n; ++i) bytes[i] = SpiRead8(SPID_OFFSET + i);
}

// ----------------------------------------------------------------- cycles

void StartSpiCycle(std::uint16_t control) {
    SpiWrite16(SPIS_OFFSET, kSpisClearFlags);
    SpiWrite16(SPIC_OFFSET, static_cast<std::uint16_t>(control | kSpicGo));
}

FUL_RETURN WaitSpiCycleDone() {
    std::uint16_t status = 0;
    const FUL_RETURN waited = PollUntil(
        [&] {
            status = SpiRead16(SPIS_OFFSET);
            return (status & (kSpisCycleInProgress | kSpisCycleDone)) == kSpisCycleDone;
        },
        kSpiCycleTimeoutUs);
    if (waited != FUL_SUCCESS) {
        Dbg(L"WaitSpiCycleDone : SPI cycle did not finish, SPIS = 0x%04x", 3, unsigned{status});
        return waited;
    }
    if ((status & kSpisBlocked) != 0) {
        Dbg(L"WaitSpiCycleDone : SPI cycle refused by the controller, SPIS = 0x%04x", 3,
            unsigned{status});
        return FUL_SPI_STATUS_ERROR;
    }
    return FUL_SUCCESS;
}

FUL_RETURN WaitSpiPartReady(std::uint8_t& status) {
    FUL_RETURN cycle = WaitSpiCycleDone();
    if (cycle != FUL_SUCCESS) return cycle;
    const FUL_RETURN waited = PollUntil(
        [&] {
            StartSpiCycle(SpicData(1) | SpicOpcode(kMenuReadStatus));
            cycle = WaitSpiCycleDone();
            if (cycle != FUL_SUCCESS) return true;  // reported below
            status = SpiRead8(SPID_OFFSET);
            return (status & kSpiStatusBusy) == 0;
        },
        kSpiBusyTimeoutUs);
    if (cycle != FUL_SUCCESS) return cycle;
    if (waited != FUL_SUCCESS) {
        Dbg(L"waitforspideviceready : SPI part still busy, status = 0x%02x", 3, unsigned{status});
    }
    return waited;
}

FUL_RETURN waitforspideviceready(std::uint8_t mask) {
    if (!SpiControllerReady()) return FUL_FAILURE;
    std::uint8_t status = 0;
    if (const FUL_RETURN ready = WaitSpiPartReady(status); ready != FUL_SUCCESS) return ready;
    if ((status & mask) != 0) {
        Dbg(L"waitforspideviceready : SPI part reports status 0x%02x", 3, unsigned{status});
        return FUL_SPI_STATUS_ERROR;
    }
    return FUL_SUCCESS;
}

// ------------------------------------------------------------------ setup

unsigned GetSPIFlashVendor() {
    for (unsigned i = 0; i < 3; ++i) SpiWrite8(SPID_OFFSET + i, 0);
    StartSpiCycle(SpicData(3) | SpicOpcode(kMenuJedecId));
    if (WaitSpiCycleDone() != FUL_SUCCESS) {
        Dbg(L"GetSPIFlashVendor : JEDEC ID cycle failed, part unknown", 3);
        std::fill(std::begin(spi_jedec_id), std::end(spi_jedec_id), std::uint8_t{0});
        return 3;
    }
    SpiStoreData(spi_jedec_id, 3);
    const std::uint8_t vendor = spi_jedec_id[0];
    const std::uint8_t type = spi_jedec_id[1];
    const std::uint8_t part = spi_jedec_id[2];
    Dbg(L"GetSPIFlashVendor : JEDEC ID %02x %02x %02x", 3, unsigned{vendor}, unsigned{type},
        unsigned{part});
    if (vendor == 0x1F && type == 0x47 && part == 0x00) return 1;
    if (vendor == 0x89 && type == 0x89 && part >= 0x11 && part <= 0x13) return 2;
    if (vendor == 0xBF && type == 0x25 && part == 0x41) return 0;
    return 3;
}

void SetupSpiController() {
    if (!SpiControllerReady()) return;
    SpiWrite32(BBAR_OFFSET, 0);
    SpiWrite16(SPIS_OFFSET, kSpisClearFlags);
    for (unsigned i = 0; i < kSpiOpcodeMenu.size(); ++i) {
        SpiWrite8(OPMENU_OFFSET + i, kSpiOpcodeMenu[i]);
    }
    for (unsigned i = 0; i < kSpiOpTypes.size(); ++i) SetSpiOpType(i, kSpiOpTypes[i]);
    // With the controller's configuration locked the menu stays the BIOS's,
    // whose entries may hold other opcodes (a sector erase where the status
    // write is expected): the part is then left alone, unidentified.
    if (!SpiControllerUsable(L"SetupSpiController")) {
        spi_flashtype = 3;
        return;
    }
    spi_flashtype = GetSPIFlashVendor();
    SpiWrite8(PREOP_OFFSET, kWriteEnableOpcode);
    // This part has no page program: every write is an auto-address-
    // increment sequence of words, started by this opcode.
    if (spi_flashtype == 0) SpiWrite8(OPMENU_OFFSET + kMenuProgram, kAaiWordProgramOpcode);
    Dbg(L"SetupSpiController : SPI flash kind %u", 3, spi_flashtype);
}

// ------------------------------------------------------------ read cycles

FUL_RETURN spi_FlashDevRead(unsigned char* dst, std::uint32_t pa, unsigned n) {
    if (n == 0) return FUL_SUCCESS;
    if (dst == nullptr) return FUL_INVALID_PARAMETER;
    if (!SpiControllerUsable(L"spi_FlashDevRead")) return FUL_FAILURE;
    if (pa < BOTTOM_OF_FLASH || std::uint64_t{pa} + n > std::uint64_t{1} << 32) {
        Dbg(L"spi_FlashDevRead : 0x%08x (%u bytes) is not on the SPI flash", 3, pa, n);
        return FUL_FAILURE;
    }
    // The menu's read entry is typed without an address (the BIOS's own
    // setting); a read of the part's cells needs one, for these cycles only.
    const SpiOpType saved = SpiOpTypeOf(kMenuRead);
    SetSpiOpType(kMenuRead, kReadWithAddress);
    FUL_RETURN result = FUL_SUCCESS;
    for (unsigned done = 0; done < n && result == FUL_SUCCESS;) {
        const unsigned chunk = std::min(kSpiDataBytes, n - done);
        SpiWrite32(SPIA_OFFSET, pa + done - BOTTOM_OF_FLASH);
        StartSpiCycle(SpicData(chunk) | SpicOpcode(kMenuRead));
        result = WaitSpiCycleDone();
        if (result != FUL_SUCCESS) break;
        SpiStoreData(dst + done, chunk);
        done += chunk;
    }
    SetSpiOpType(kMenuRead, saved);
    if (result == FUL_SPI_STATUS_ERROR) result = FUL_READ_FAILED;
    if (result != FUL_SUCCESS) Dbg(L"spi_FlashDevRead : read failed at 0x%08x", 3, pa);
    return result;
}

}  // namespace Rask_Private
