// Programming and erasing the SPI flash part through the chipset's SPI
// controller, and the update path of the SPI-capable platforms, which goes
// to the LPC byte path instead when the chipset's straps route the BIOS to
// the LPC bus.
#include <algorithm>
#include <cstdint>

#include "bmc/debug_log.h"
#include "rask/flash_layer.h"
#include "rask/spi_registers.h"

namespace Rask_Private {

namespace {

// An erased cell already holds FFh, so a stretch of this many FFh bytes or
// more is left out of the programming: it saves a cycle for every 64 bytes
// of erased space. Shorter stretches cost less to write than to split on.
constexpr unsigned kErasedStretchBytes = 8;

constexpr unsigned kUnknownPartKind = 3;

bool InsideFlash(std::uint32_t pa, unsigned n) {
    return pa >= BOTTOM_OF_FLASH && std::uint64_t{pa} + n <= std::uint64_t{1} << 32;
}

// Which of the part's status bits report a failed program or erase.
std::uint8_t FailureMask() {
    return spi_flashtype == 2 ? kSpiKind2FailureMask : kSpiStatusBusy;
}

// The part's own failure report (19) as the operation's failure code.
FUL_RETURN AsFailure(FUL_RETURN waited, FUL_RETURN failure) {
    return waited == FUL_SPI_STATUS_ERROR ? failure : waited;
}

// Calls program(start, end) for each run of src to be written, in order.
template <class Program>
FUL_RETURN ForEachRun(const unsigned char* src, unsigned n, Program program) {
    unsigned runStart = 0;
    for (unsigned i = 0; i < n;) {
        if (src[i] != 0xFF) {
            ++i;
            continue;
        }
        unsigned stretchEnd = i;
        while (stretchEnd < n && src[stretchEnd] == 0xFF) ++stretchEnd;
        if (stretchEnd - i >= kErasedStretchBytes) {
            if (i > runStart) {
                if (const FUL_RETURN r = program(runStart, i); r != FUL_SUCCESS) return r;
            }
            runStart = stretchEnd;
        }
        i = stretchEnd;
    }
    if (n > runStart) return program(runStart, n);
    return FUL_SUCCESS;
}

// Page program, for the parts that take it: at most the controller's 64
// data bytes a cycle, and never across a 256-byte page, which the part
// would wrap within.
FUL_RETURN ProgramPages(const unsigned char* bytes, std::uint32_t offset, unsigned count) {
    while (count > 0) {
        const unsigned chunk =
            std::min({kSpiDataBytes, kSpiPageBytes - offset % kSpiPageBytes, count});
        SpiWrite16(SPIS_OFFSET, kSpisClearFlags);
        SpiWrite32(SPIA_OFFSET, offset);
        SpiLoadData(bytes, chunk);
        const auto control =
            static_cast<std::uint16_t>(SpicData(chunk) | kSpicAtomic | SpicOpcode(kMenuProgram));
        SpiWrite16(SPIC_OFFSET, control);
        SpiWrite16(SPIC_OFFSET, static_cast<std::uint16_t>(control | kSpicGo));
        if (const FUL_RETURN waited = waitforspideviceready(FailureMask()); waited != FUL_SUCCESS) {
            Dbg(L"spi_FlashDevWrite : program failed at flash offset 0x%06x", 3, offset);
            return AsFailure(waited, FUL_PROGRAM_STATUS);
        }
        bytes += chunk;
        offset += chunk;
        count -= chunk;
    }
    return FUL_SUCCESS;
}

// Auto-address-increment word program, for the part that has no page
// program: the first word carries the address (and the write enable), each
// further word follows without one, and write disable ends the sequence.
// The words lie at even offsets; a byte of a word outside the run is FFh,
// which leaves its cell as it is.
FUL_RETURN ProgramAaiWords(const unsigned char* bytes, std::uint32_t offset, unsigned count) {
    const unsigned lead = offset & 1;
    const auto byteAt = [&](unsigned k) -> std::uint8_t {
        return k >= lead && k - lead < count ? bytes[k - lead] : 0xFF;
    };
    const auto loadWord = [&](unsigned word) {
        SpiWrite8(SPID_OFFSET, byteAt(2 * word));
        SpiWrite8(SPID_OFFSET + 1, byteAt(2 * word + 1));
    };
    const unsigned words = (lead + count + 1) / 2;

    SetSpiOpType(kMenuProgram, kWriteWithAddress);
    SpiWrite32(SPIA_OFFSET, offset - lead);
    loadWord(0);
    StartSpiCycle(SpicData(2) | kSpicAtomic | SpicOpcode(kMenuProgram));
    FUL_RETURN result = waitforspideviceready(kSpiStatusBusy);
    SetSpiOpType(kMenuProgram, kWriteWithoutAddress);
    for (unsigned word = 1; word < words && result == FUL_SUCCESS; ++word) {
        loadWord(word);
        StartSpiCycle(SpicData(2) | SpicOpcode(kMenuProgram));
        result = waitforspideviceready(kSpiStatusBusy);
    }
    // Until it sees write disable the part stays in the sequence and takes
    // no other command, so the sequence is ended after a failure too.
    StartSpiCycle(SpicOpcode(kMenuWriteDisable));
    const FUL_RETURN ended = waitforspideviceready(kSpiStatusBusy);
    SetSpiOpType(kMenuProgram, kWriteWithAddress);
    if (result != FUL_SUCCESS) {
        Dbg(L"spi_FlashDevWrite : AAI program failed near flash offset 0x%06x", 3, offset);
        return AsFailure(result, FUL_PROGRAM_STATUS);
    }
    return ended;
}

FUL_RETURN ProgramRun(const unsigned char* bytes, std::uint32_t offset, unsigned count) {
    if (spi_flashtype == 0) return ProgramAaiWords(bytes, offset, count);
    return ProgramPages(bytes, offset, count);
}

// The checks every SPI program and erase makes before a cycle goes out.
FUL_RETURN CheckSpiTarget(const wchar_t* caller, std::uint32_t pa, unsigned n) {
    if (!IsSpiCapablePlatform(g_lbPlatform) || !SpiControllerUsable(caller)) return FUL_FAILURE;
    if (!InsideFlash(pa, n)) {
        Dbg(L"%ls : 0x%08x (%u bytes) is not on the SPI flash", 3, caller, pa, n);
        return FUL_FAILURE;
    }
    return FUL_SUCCESS;
}

}  // namespace

FUL_RETURN spi_EraseBlock(std::uint32_t pa) {
    if (const FUL_RETURN r = CheckSpiTarget(L"spi_EraseBlock", pa, 1); r != FUL_SUCCESS) return r;
    // A block erased on a part the library cannot program again would stay
    // empty: the BIOS area it held would be lost.
    if (spi_flashtype == kUnknownPartKind) {
        Dbg(L"spi_EraseBlock : unknown SPI flash part, erase refused", 3);
        return FUL_SPI_ERASE_FAILED;
    }
    SpiWrite32(SPIA_OFFSET, pa - BOTTOM_OF_FLASH);
    StartSpiCycle(SpicOpcode(kMenuErase) | kSpicAtomic);
    const FUL_RETURN waited = waitforspideviceready(FailureMask());
    if (waited != FUL_SUCCESS) Dbg(L"spi_EraseBlock : erase failed at 0x%08x", 3, pa);
    return AsFailure(waited, FUL_SPI_ERASE_FAILED);
}

FUL_RETURN spi_FlashByteWrite(std::uint32_t pa, std::uint8_t byte) {
    return spi_FlashDevWrite(&byte, pa, 1);
}

FUL_RETURN spi_FlashDevWrite(const unsigned char* src, std::uint32_t pa, unsigned n) {
    if (n == 0) return FUL_SUCCESS;
    if (src == nullptr) return FUL_INVALID_PARAMETER;
    if (const FUL_RETURN r = CheckSpiTarget(L"spi_FlashDevWrite", pa, n); r != FUL_SUCCESS) {
        return r;
    }
    if (spi_flashtype == kUnknownPartKind) {
        Dbg(L"spi_FlashDevWrite : unknown SPI flash part, nothing written", 3);
        return FUL_PROGRAM_STATUS;
    }
    const std::uint32_t base = pa - BOTTOM_OF_FLASH;
    return ForEachRun(src, n, [&](unsigned start, unsigned end) {
        return ProgramRun(src + start, base + start, end - start);
    });
}

FUL_RETURN UP_EraseBlock(std::uint32_t pa) {
    return spi_EraseBlock(pa);
}

FUL_RETURN UP_FlashByteWrite(std::uint32_t pa, std::uint8_t byte) {
    return flInterface == 1 ? lpc_FlashByteWrite(pa, byte) : spi_FlashByteWrite(pa, byte);
}

FUL_RETURN UP_FlashDevWrite(const unsigned char* src, std::uint32_t pa, unsigned n) {
    return flInterface == 1 ? lpc_FlashDevWrite(src, pa, n) : spi_FlashDevWrite(src, pa, n);
}

}  // namespace Rask_Private
