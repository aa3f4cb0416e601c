// The flash layer of librask: the procedural code under the library object
// that opens the memory device, probes the chipset, finds the BIOS's flash
// tables, programs the flash parts and handles write protection and the
// update notification. Its functions return FUL_RETURN codes, which the
// library object maps to the public C00Exxxxh codes.
//
// Every access to physical memory, PCI configuration space, ports and the
// clock goes through the platform layer (hw/hw.h); mapped memory is read
// and written only with its bus-cycle accessors, never dereferenced.
#ifndef SRVFW_RASK_FLASH_LAYER_H
#define SRVFW_RASK_FLASH_LAYER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "include/rask_interface.h"

namespace Rask_Private {

// The flash layer's results. Several numbers carry two meanings, as the
// BIOS update protocol has always used them: 17 is also a flash time-out,
// 19 also an SPI status error, 20 also a failed clock read.
enum FUL_RETURN : unsigned {
    FUL_SUCCESS = 0,
    FUL_FAILURE = 1,
    FUL_INVALID_PARAMETER = 2,
    FUL_OUT_OF_MEMORY = 3,
    FUL_NOT_ROOT = 4,
    FUL_ACCESS_DENIED = 5,
    FUL_NO_SMBIOS = 6,
    FUL_BUFFER_TOO_SMALL = 7,
    FUL_NO_RESOURCES = 8,
    FUL_ALREADY_RUNNING = 9,
    FUL_DRIVER_LOAD = 10,
    FUL_DRIVER_COMMUNICATION = 11,
    FUL_MAP_FAILED = 12,
    FUL_NO_BIOS_TABLES = 13,
    FUL_BAD_FST = 14,
    FUL_BAD_FAT = 15,
    FUL_BAD_FNT = 16,
    FUL_BAD_AREA_TABLE = 17,
    FUL_TIMEOUT = 17,
    FUL_READ_FAILED = 18,
    FUL_FST_READ_FAILED = 19,
    FUL_SPI_STATUS_ERROR = 19,
    FUL_FAT_READ_FAILED = 20,
    FUL_CLOCK_FAILED = 20,
    FUL_FNT_READ_FAILED = 21,
    FUL_FFB_READ_FAILED = 22,
    FUL_FFB_NOT_RESTORED = 23,
    FUL_BAD_VOLUME = 24,
    // Set-notify on a platform that has neither a notify field nor the
    // BIOS's notify SMI (platform 9); the library object reports it as an
    // unsupported function.
    FUL_NOTIFY_UNSUPPORTED = 26,
    FUL_PROGRAM_STATUS = 50,
    FUL_SPI_ERASE_FAILED = 52,
    FUL_VERIFY_FAILED = 59,
};

// One mapped physical range. The field names are those of the debug log.
struct MemRegion {
    std::uint32_t pa = 0;                 // physical start
    std::uint32_t bytes = 0;              // length
    std::int32_t pages = 0;               // pages mapped, 0 when not mapped
    volatile std::uint8_t* va = nullptr;  // where pa is mapped
    void* page_va = nullptr;              // start of the page-aligned mapping
};

// The flash device handle: made by FlashUDOpen, freed by FlashUDClose.
struct FlashDesc {
    int Dev = -1;
    int Prepared = 0;
    MemRegion PrimaryFlash;    // all FST entries of partition 1
    MemRegion SecondaryFlash;  // all FST entries of partition 2
    MemRegion FstRegion;
    MemRegion FatRegion;  // bytes 0 when the volume holds no FAT
    MemRegion FfbRegion;  // the Flash Flags Block, 64 KB
    std::uint16_t NotifyLength = 0;
    volatile std::uint8_t* NotifyField = nullptr;  // inside FfbRegion
    std::vector<std::uint8_t> FstCopy;             // FstRegion.bytes long
    // The FNT as found (96 bytes), empty on the platforms without one; kept
    // for the host's GetNotifyTbl.
    std::vector<std::uint8_t> FntCopy;
};

// ------------------------------------------------ process-wide state
// Set once by FlashUDOpen and used by every later operation.

extern int g_lbPlatform;
extern unsigned flInterface;  // 1 LPC flash, 2 SPI flash, 0 unknown
extern std::uint32_t buc;     // physical address of the backed-up control register
extern unsigned TopSwapBit;
extern volatile std::uint8_t* vspibar;  // the mapped SPI register block
extern MemRegion SpiRegisterRegion;     // the mapping behind vspibar
extern std::uint32_t BOTTOM_OF_FLASH;
extern unsigned SPIS_OFFSET, SPIC_OFFSET, SPIA_OFFSET, SPID_OFFSET, BBAR_OFFSET, PREOP_OFFSET,
    OPTYPE_OFFSET, OPMENU_OFFSET, PBR_OFFSET;
extern unsigned spi_flashtype;  // 0 AAI word program, 1, 2, 3 unknown
extern std::uint8_t spi_jedec_id[3];
extern int bFoundFAT;

// Puts every value above back as before an open (tests and the close).
void ResetFlashLayerState();

// Platforms with their own behaviour.
bool IsSpiCapablePlatform(int platform);  // 9, 11, 15: chipset probe, no FNT
bool IsWordWidePlatform(int platform);    // 1, 10: 16-bit command writes

// ------------------------------------------- device and memory regions

FUL_RETURN FlashUDOpen(int platform, const char* path, bool skipPrimary, FlashDesc** out);
FUL_RETURN FlashUDClose(FlashDesc* h);
FUL_RETURN PrepareMemoryRegions(FlashDesc* h);
FUL_RETURN CleanupMemoryRegions(FlashDesc* h);
FUL_RETURN FlashUDSkipPrimaryCheck(FlashDesc* h, bool flag);
FUL_RETURN FlashUDPrintFlash2(FlashDesc* h);
unsigned GetflInterface(std::uint32_t address);

FUL_RETURN lib_mmap(int fd, MemRegion* r);
int lib_munmap(MemRegion* r);
volatile std::uint8_t* pa2va(MemRegion* r, std::uint32_t address);

// ------------------------------------------------------ flash tables

FUL_RETURN FlashUDGetFlashTables(FlashDesc* h, std::uint32_t* fnt, std::uint32_t* fst,
                                 std::uint32_t* fat);
FUL_RETURN ValidateFirmwareBootVolume(FlashDesc* h, const std::uint8_t* volume,
                                      std::size_t volumeBytes, std::uint32_t* fnt,
                                      std::uint32_t* fst, std::uint32_t* fat);
enum FlashTableKind : int { kNotifyTable = 1, kSegmentTable = 2, kAreaTable = 3 };
FUL_RETURN GetFlashTable(int kind, const std::uint8_t* data, std::size_t length,
                         std::size_t* offset);
FUL_RETURN VerifyFlashSegmentTableHeader(const std::uint8_t* table, std::size_t bytes);
FUL_RETURN VerifyFlashSegmentTable(const std::uint8_t* table, std::size_t bytes);
FUL_RETURN VerifyFlashAreaTable(const std::uint8_t* table, std::size_t bytes);
FUL_RETURN VerifyFlashNotifyTable(const std::uint8_t* table, std::size_t bytes);
// A host's area table: 0 or 17. The FST copy is the handle's.
FUL_RETURN VerifyFATForRd(const FLASH_AREA_TABLE* area, const std::vector<std::uint8_t>& fst);
FUL_RETURN VerifyFATForWr(const FLASH_AREA_TABLE* area, const std::vector<std::uint8_t>& fst);
FUL_RETURN FlashUDGetBIOSAreaTbl(FlashDesc* h, unsigned* size, FLASH_AREA_TABLE* buffer);
FUL_RETURN FlashUDGetSegmentTbl(FlashDesc* h, unsigned* size, FLASH_SEGMENT_TBL* buffer);
FUL_RETURN FlashUDGetNotifyTbl(FlashDesc* h, unsigned* size, FLASH_NOTIFY_TABLE* buffer);

// ------------------------------------------------ reading and writing areas

FUL_RETURN FlashUDReadBIOSMemory(FlashDesc* h, unsigned length, FLASH_AREA_TABLE* area,
                                 unsigned char* buffer);
FUL_RETURN FlashUDWriteBIOSMemory(FlashDesc* h, unsigned length, FLASH_AREA_TABLE* area,
                                  unsigned char* data);
FUL_RETURN FlashUDEraseBIOSBlocks(FlashDesc* h, FLASH_AREA_TABLE* area);
// The checks of FlashUDWriteBIOSMemory, nothing written.
FUL_RETURN FlashUDCheckBIOSWrite(FlashDesc* h, unsigned length, FLASH_AREA_TABLE* area);
FUL_RETURN FLASHRead(FlashDesc* h, FLASH_AREA_TABLE* area, unsigned char* buffer, unsigned length);
FUL_RETURN FLASHProgram(FlashDesc* h, FLASH_AREA_TABLE* area, unsigned char* data, unsigned length);
FUL_RETURN FLASHErase(FlashDesc* h, FLASH_AREA_TABLE* area);

// ------------------------------------------------- memory-mapped flash

FUL_RETURN FlashDevRead(unsigned char* dst, volatile std::uint8_t* va, unsigned n);
FUL_RETURN FlashDevWrite(const unsigned char* src, volatile std::uint8_t* va, unsigned n);
FUL_RETURN FLASHVerify(const unsigned char* expected, volatile std::uint8_t* va, unsigned n);
FUL_RETURN EraseBlock(volatile std::uint8_t* va);
FUL_RETURN FlashLowLvWrite(volatile std::uint8_t* va, const unsigned char* src);
FUL_RETURN WaitForByteProgRdy(volatile std::uint8_t* va, long timeoutMicroseconds);
std::uint8_t FLASHFullStatusCheck(volatile std::uint8_t* va);
inline constexpr long kByteProgramTimeoutUs = 64;
inline constexpr long kBlockEraseTimeoutUs = 6000000;

// ----------------------------------- SPI controller and the LPC byte path

void SetupSpiController();  // during the open, on SPI platforms
unsigned GetSPIFlashVendor();
FUL_RETURN waitforspideviceready(std::uint8_t mask);
FUL_RETURN spi_EraseBlock(std::uint32_t pa);
FUL_RETURN spi_FlashByteWrite(std::uint32_t pa, std::uint8_t byte);
FUL_RETURN spi_FlashDevWrite(const unsigned char* src, std::uint32_t pa, unsigned n);
// Reads back through SPI read cycles, for the part whose memory window
// cannot be trusted right after a write.
FUL_RETURN spi_FlashDevRead(unsigned char* dst, std::uint32_t pa, unsigned n);
FUL_RETURN lpc_FlashByteWrite(std::uint32_t pa, std::uint8_t byte);
FUL_RETURN lpc_FlashDevWrite(const unsigned char* src, std::uint32_t pa, unsigned n);
FUL_RETURN UP_EraseBlock(std::uint32_t pa);
FUL_RETURN UP_FlashByteWrite(std::uint32_t pa, std::uint8_t byte);
FUL_RETURN UP_FlashDevWrite(const unsigned char* src, std::uint32_t pa, unsigned n);

// ------------------------------------------------ write protection, top swap

FUL_RETURN FlashUDLockFlash(FlashDesc* h, int lock);
FUL_RETURN SetFlashWriteProtLevel1(const void* mode);
FUL_RETURN SetFlashWriteProtLevel2(int level);
FUL_RETURN FlashBlocksControl(FlashDesc* h, int op, std::uint32_t base, int unused);
FUL_RETURN SetFlashBlockAccess(FlashDesc* h, int op, std::uint32_t base);
unsigned FlashUDGetTopSwapBit();
FUL_RETURN FlashUDSetTopSwapBit(FlashDesc* h, unsigned bit);
// The address to use through memory for a range the table names: on
// platforms 9, 11 and 15 with the top-swap bit set, the top two 64 KB
// blocks trade places.
std::uint32_t ApplyTopSwap(std::uint32_t address);
void SetVerbose();
extern bool g_verbose;

// ------------------------------------ notification, SMBIOS, platform ID

FUL_RETURN FlashUDSetNotifyBit(FlashDesc* h);
FUL_RETURN FlashUDResetNotifyBit(FlashDesc* h);
FUL_RETURN set_notify_bit(FlashDesc* h);
FUL_RETURN reset_notify_bit(FlashDesc* h);
FUL_RETURN FlashUDGetNotifyState(FlashDesc* h, RASK_NOTIFY_STATE* state);
FUL_RETURN FlashUDGetSmbiosData(FlashDesc* h, SMB_DATA_TYPE type, unsigned length, char* out);
int FlashUDGetPlatformID(FlashDesc* h, unsigned size, char* buffer);
inline constexpr unsigned long kPlatformIdRequest = 0xC0084603;
inline constexpr std::uint8_t kNotifySmiCommand = 0xA4;
inline constexpr std::uint16_t kSoftwareSmiPort = 0xB2;

}  // namespace Rask_Private

#endif
