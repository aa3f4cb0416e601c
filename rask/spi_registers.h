// The chipset's SPI controller as librask drives it: the bits of its status
// and control registers, the opcode menu the library programs at open, and
// the accessors over the mapped register block (vspibar). Both register
// layouts (at RCBA + 3020h and at RCBA + 3800h) keep the same bits; only
// the offsets (the *_OFFSET state) differ.
#ifndef SRVFW_RASK_SPI_REGISTERS_H
#define SRVFW_RASK_SPI_REGISTERS_H

#include <array>
#include <cstdint>

#include "rask/flash_layer.h"

namespace Rask_Private {

// ---------------------------------------------------------- status (SPIS)
inline constexpr std::uint16_t kSpisCycleInProgress = 0x0001;
inline constexpr std::uint16_t kSpisCycleDone = 0x0004;
// Set with "done" when the controller refused to run the cycle (a blocked
// opcode or address, or a transaction error): nothing reached the part.
inline constexpr std::uint16_t kSpisBlocked = 0x0008;
// Writing ones clears both flags, so that the next "done" is the next cycle's.
inline constexpr std::uint16_t kSpisClearFlags = kSpisCycleDone | kSpisBlocked;

// --------------------------------------------------------- control (SPIC)
inline constexpr std::uint16_t kSpicGo = 0x0002;
// Runs the prefix opcode (PREOP) first, in one uninterrupted sequence:
// every program, erase and status write needs the part's write enable.
inline constexpr std::uint16_t kSpicAtomic = 0x0004;
inline constexpr std::uint16_t kSpicSecondPrefix = 0x0008;  // PREOP byte 1 instead of byte 0
inline constexpr std::uint16_t kSpicDataCycle = 0x4000;

constexpr std::uint16_t SpicOpcode(unsigned menuIndex) {
    return static_cast<std::uint16_t>((menuIndex & 7) << 4);
}
// A cycle carrying `bytes` (1 to 64) of data.
constexpr std::uint16_t SpicData(unsigned bytes) {
    return static_cast<std::uint16_t>(kSpicDataCycle | (((bytes - 1) & 0x3F) << 8));
}

// ----------------------------------------------------------- opcode menu
// Where SetupSpiController puts each opcode; SPIC names an opcode by its
// place in the menu.
enum SpiMenuIndex : unsigned {
    kMenuProgram = 0,  // 02h page program, ADh AAI word program on kind 0
    kMenuRead = 1,     // 03h
    kMenuErase = 2,    // D8h, 64 KB
    kMenuReadStatus = 3,
    kMenuWriteDisable = 4,
    kMenuEnableWriteStatus = 5,
    kMenuWriteStatus = 6,
    kMenuJedecId = 7,
};
inline constexpr std::array<std::uint8_t, 8> kSpiOpcodeMenu = {0x02, 0x03, 0xD8, 0x05,
                                                               0x04, 0x50, 0x01, 0x9F};
inline constexpr std::uint8_t kAaiWordProgramOpcode = 0xAD;
inline constexpr std::uint8_t kWriteEnableOpcode = 0x06;

// Two bits per menu entry in OPTYPE.
enum SpiOpType : unsigned {
    kReadWithoutAddress = 0,
    kWriteWithoutAddress = 1,
    kReadWithAddress = 2,
    kWriteWithAddress = 3,
};
// The types SetupSpiController gives the menu, entry 0 first: together
// they make OPTYPE 1A33h.
inline constexpr std::array<SpiOpType, 8> kSpiOpTypes = {
    kWriteWithAddress, kReadWithoutAddress, kWriteWithAddress,    kReadWithoutAddress,
    kReadWithAddress,  kReadWithAddress,    kWriteWithoutAddress, kReadWithoutAddress};

// The status register's write-in-progress bit.
inline constexpr std::uint8_t kSpiStatusBusy = 0x01;
// The block-protect bits that the unlock's write-status clears.
inline constexpr std::uint8_t kSpiStatusBlockProtect = 0x3C;
// Erase and program failure bits of the kind 2 parts, with busy.
inline constexpr std::uint8_t kSpiKind2FailureMask = 0x61;

inline constexpr unsigned kSpiDataBytes = 64;   // SPID holds this much
inline constexpr unsigned kSpiPageBytes = 256;  // a page program wraps within it

// ------------------------------------------------------------ time bounds
// The longest a part takes is a 64 KB erase, and an atomic cycle lasts
// until the part is done (the controller polls its status before it calls
// the cycle done), so both waits take the library's block erase bound.
inline constexpr long kSpiCycleTimeoutUs = kBlockEraseTimeoutUs;
inline constexpr long kSpiBusyTimeoutUs = kBlockEraseTimeoutUs;

// --------------------------------------------- accessors over vspibar
std::uint8_t SpiRead8(unsigned offset);
std::uint16_t SpiRead16(unsigned offset);
std::uint32_t SpiRead32(unsigned offset);
void SpiWrite8(unsigned offset, std::uint8_t value);
void SpiWrite16(unsigned offset, std::uint16_t value);
void SpiWrite32(unsigned offset, std::uint32_t value);

// n (at most 64) bytes into and out of the data register.
void SpiLoadData(const unsigned char* bytes, unsigned n);
void SpiStoreData(unsigned char* bytes, unsigned n);

// One OPTYPE entry, read-modify-write, leaving the others as they are.
void SetSpiOpType(unsigned menuIndex, SpiOpType type);
SpiOpType SpiOpTypeOf(unsigned menuIndex);

// Clears the done flags and starts a cycle with this control word (go set).
void StartSpiCycle(std::uint16_t control);
// Waits (bounded) for the running cycle to finish: 0, 17 when it never
// does, 19 when the controller reports the cycle refused.
FUL_RETURN WaitSpiCycleDone();

// Waits for the running cycle, then reads the part's status register until
// its busy bit clears (bounded): 0 with the last status read, or the
// failure of a cycle (17, 19), or 17 when the part stays busy.
FUL_RETURN WaitSpiPartReady(std::uint8_t& status);

// Whether the SPI register block is mapped (an SPI board after the open).
bool SpiControllerReady();
// Whether the opcode menu and its types read back as SetupSpiController
// programs them; the BIOS may have locked the controller's configuration.
bool SpiMenuIsOurs();
// Both, with a debug line from caller when not: the check before an
// operation sends its first cycle.
bool SpiControllerUsable(const wchar_t* caller);

}  // namespace Rask_Private

#endif
