// Flash parts mapped into memory that take Intel's command set by writes to
// their own addresses: the firmware hub (bytes) and the 16-bit parts of
// platforms 1 and 10, whose commands and data go as words at even
// addresses. Every access is one bus cycle through the platform layer.
#include <sys/time.h>

#include <cstdint>
#include <new>
#include <vector>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "rask/flash_layer.h"

namespace Rask_Private {

namespace {

constexpr std::uint8_t kBlockErase = 0x20;
constexpr std::uint8_t kEraseConfirm = 0xD0;
constexpr std::uint8_t kProgram = 0x40;
constexpr std::uint8_t kReadStatus = 0x70;
constexpr std::uint8_t kClearStatus = 0x50;
constexpr std::uint8_t kReadArray = 0xFF;

constexpr std::uint8_t kStatusReady = 0x80;  // bit 7
// Bits 1 to 4 report a failed program (locked block, suspended, low
// programming voltage, program failed); bit 5 a failed erase, which a
// ready status would otherwise pass as done.
constexpr std::uint8_t kStatusErrors = 0x3E;

// The number the memory-mapped writes report a failed program with; the
// walks over an area table turn it into a plain failure.
constexpr FUL_RETURN kProgramFailed = static_cast<FUL_RETURN>(3);

// A wait longer than this (an erase, most of a second) pauses between
// status reads instead of keeping the bus busy.
constexpr long kPollWithoutPauseUs = 1000;
constexpr unsigned kPollPauseUs = 10;

bool WordWide() {
    return IsWordWidePlatform(g_lbPlatform);
}

unsigned AddressOf(const volatile std::uint8_t* va) {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(va));
}

// The word a 16-bit part takes a command or data at: the even address
// holding the byte. Mappings start on a page, so the parity of the mapped
// address is that of the physical one.
volatile std::uint8_t* EvenAddress(volatile std::uint8_t* va) {
    return va - (reinterpret_cast<std::uintptr_t>(va) & 1);
}

void WriteCommand(volatile std::uint8_t* va, std::uint8_t command) {
    if (WordWide()) {
        hw::Write16(EvenAddress(va), command);
    } else {
        hw::Write8(va, command);
    }
}

std::uint8_t ReadStatus(volatile std::uint8_t* va) {
    if (WordWide()) return static_cast<std::uint8_t>(hw::Read16(EvenAddress(va)) & 0xFF);
    return hw::Read8(va);
}

long long MicrosecondsBetween(const timeval& from, const timeval& to) {
    return (static_cast<long long>(to.tv_sec) - from.tv_sec) * 1000000LL +
           (static_cast<long long>(to.tv_usec) - from.tv_usec);
}

// Reads the mapped bytes as a 16-bit part gives them: whole words at even
// addresses, taking the bytes asked for.
void ReadWords(unsigned char* dst, volatile std::uint8_t* va, unsigned n) {
    volatile std::uint8_t* word = EvenAddress(va);
    unsigned skip = static_cast<unsigned>(va - word);
    for (unsigned i = 0; i < n; word += 2, skip = 0) {
        const std::uint16_t value = hw::Read16(word);
        const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value & 0xFF),
                                       static_cast<std::uint8_t>(value >> 8)};
        for (unsigned b = skip; b < 2 && i < n; ++b) dst[i++] = bytes[b];
    }
}

}  // namespace

FUL_RETURN WaitForByteProgRdy(volatile std::uint8_t* va, long timeoutMicroseconds) {
    if (va == nullptr) return FUL_INVALID_PARAMETER;
    WriteCommand(va, kReadStatus);
    timeval start{};
    if (hw::GetTimeOfDay(&start) != 0) return FUL_CLOCK_FAILED;
    for (;;) {
        timeval now{};
        if (hw::GetTimeOfDay(&now) != 0) return FUL_CLOCK_FAILED;
        // Taken before the status read, so that the last read before a
        // time-out comes after the time has run out: a process held off
        // the processor past the time still sees a part that finished.
        const bool late = MicrosecondsBetween(start, now) > timeoutMicroseconds;
        const std::uint8_t status = ReadStatus(va);
        if ((status & kStatusReady) != 0) {
            if ((status & kStatusErrors) != 0) {
                Dbg(L"WaitForByteProgRdy : Flash status error, status = 0x%02x", 3,
                    unsigned{status});
                return FUL_PROGRAM_STATUS;
            }
            if (status != kStatusReady) {
                Dbg(L"WaitForByteProgRdy : Flash status = 0x%02x", 3, unsigned{status});
            }
            return FUL_SUCCESS;
        }
        if (late) {
            Dbg(L"WaitForByteProgRdy : Time-out after %ld us at address 0x%08x, status = 0x%02x", 3,
                timeoutMicroseconds, AddressOf(va), unsigned{status});
            return FUL_TIMEOUT;
        }
        if (timeoutMicroseconds > kPollWithoutPauseUs) hw::SleepMicroseconds(kPollPauseUs);
    }
}

std::uint8_t FLASHFullStatusCheck(volatile std::uint8_t* va) {
    if (va == nullptr) return 0;
    WriteCommand(va, kReadStatus);
    const std::uint8_t status = ReadStatus(va);
    if (status != kStatusReady) WriteCommand(va, kClearStatus);
    WriteCommand(va, kReadArray);
    Dbg(L"FLASHFullStatusCheck : FLASHCORE: Status register = 0x%02x", 3, unsigned{status});
    static const wchar_t* const kBitTexts[] = {
        L"FLASHFullStatusCheck : FLASHCORE: SR.1 ===> Prog/Erase attempted on a locked block.",
        L"FLASHFullStatusCheck : FLASHCORE: SR.2 ===> Prog suspend detected.",
        L"FLASHFullStatusCheck : FLASHCORE: SR.3 ===> Vpp low detected. Operation aborted.",
        L"FLASHFullStatusCheck : FLASHCORE: SR.4 ===> WSM has attempted to prog but failed.",
        L"FLASHFullStatusCheck : FLASHCORE: SR.5 ===> WSM has attempted to erase but failed.",
        L"FLASHFullStatusCheck : FLASHCORE: SR.6 ===> Erase suspend detected.",
    };
    for (unsigned bit = 1; bit <= 6; ++bit) {
        if ((status & (1u << bit)) != 0) Dbg(kBitTexts[bit - 1], 3);
    }
    return status;
}

FUL_RETURN EraseBlock(volatile std::uint8_t* va) {
    if (va == nullptr) return FUL_INVALID_PARAMETER;
    WriteCommand(va, kBlockErase);
    WriteCommand(va, kEraseConfirm);
    const FUL_RETURN result = WaitForByteProgRdy(va, kBlockEraseTimeoutUs);
    WriteCommand(va, kReadArray);
    if (result != FUL_SUCCESS) {
        Dbg(L"EraseBlock : Block erase failure at address 0x%08x", 3, AddressOf(va));
        FLASHFullStatusCheck(va);
    }
    return result;
}

FUL_RETURN FlashLowLvWrite(volatile std::uint8_t* va, const unsigned char* src) {
    if (va == nullptr || src == nullptr) return FUL_INVALID_PARAMETER;
    // A 16-bit part takes the word at the even address: src holds its two
    // bytes, low byte first.
    if (WordWide()) {
        volatile std::uint8_t* word = EvenAddress(va);
        hw::Write16(word, kProgram);
        hw::Write16(word, static_cast<std::uint16_t>(src[0] | src[1] << 8));
    } else {
        hw::Write8(va, kProgram);
        hw::Write8(va, src[0]);
    }
    if (WaitForByteProgRdy(va, kByteProgramTimeoutUs) == FUL_SUCCESS) {
        WriteCommand(va, kReadArray);
        return FUL_SUCCESS;
    }
    Dbg(L"FlashLowLvWrite : Unable to program FLASH at address 0x%08x\n", 3, AddressOf(va));
    FLASHFullStatusCheck(va);
    return kProgramFailed;
}

FUL_RETURN FlashDevWrite(const unsigned char* src, volatile std::uint8_t* va, unsigned n) {
    if (n == 0) {
        Dbg(L"FlashDevWrite : Warning: FlashDevWrite called with size = 0", 3);
        return FUL_SUCCESS;
    }
    if (src == nullptr || va == nullptr) return FUL_INVALID_PARAMETER;
    const auto program = [&](unsigned at, const unsigned char* data) {
        if (FlashLowLvWrite(va + at, data) == FUL_SUCCESS) return true;
        Dbg(L"FlashDevWrite : Flash write error detected at 0x%08x", 3, AddressOf(va + at));
        return false;
    };
    if (!WordWide()) {
        for (unsigned i = 0; i < n; ++i) {
            if (!program(i, src + i)) return kProgramFailed;
        }
        return FUL_SUCCESS;
    }
    // Whole words at even addresses; a byte of a word that the data do not
    // cover is programmed as FFh, which leaves that flash byte as it is.
    unsigned i = 0;
    if ((reinterpret_cast<std::uintptr_t>(va) & 1) != 0) {
        const unsigned char word[2] = {0xFF, src[0]};
        if (!program(0, word)) return kProgramFailed;
        i = 1;
    }
    for (; i + 1 < n; i += 2) {
        if (!program(i, src + i)) return kProgramFailed;
    }
    if (i < n) {
        const unsigned char word[2] = {src[i], 0xFF};
        if (!program(i, word)) return kProgramFailed;
    }
    return FUL_SUCCESS;
}

FUL_RETURN FlashDevRead(unsigned char* dst, volatile std::uint8_t* va, unsigned n) {
    if (n == 0) {
        Dbg(L"FlashDevRead : Warning: FlashDevRead called with size = 0", 3);
        return FUL_SUCCESS;
    }
    if (dst == nullptr || va == nullptr) return FUL_INVALID_PARAMETER;
    WriteCommand(va, kReadArray);
    if (WordWide()) {
        ReadWords(dst, va, n);
    } else {
        hw::CopyFromMapped(dst, va, n);
    }
    return FUL_SUCCESS;
}

FUL_RETURN FLASHVerify(const unsigned char* expected, volatile std::uint8_t* va, unsigned n) {
    if (n == 0) return FUL_SUCCESS;
    if (expected == nullptr || va == nullptr) return FUL_INVALID_PARAMETER;
    std::vector<unsigned char> actual;
    try {
        actual.assign(n, 0);
    } catch (const std::bad_alloc&) {
        return FUL_OUT_OF_MEMORY;
    }
    const FUL_RETURN read = FlashDevRead(actual.data(), va, n);
    if (read != FUL_SUCCESS) return read;
    for (unsigned i = 0; i < n; ++i) {
        if (actual[i] != expected[i]) {
            Dbg(L"FLASHVerify : Program verification fails at address 0x%08x", 3,
                AddressOf(va + i));
            return FUL_VERIFY_FAILED;
        }
    }
    return FUL_SUCCESS;
}

}  // namespace Rask_Private
