// The BIOS update library's interface table, as a host compiles against it.
// librask.so.9 exports GetRaskInterface (plain C name). Every entry but
// SetFlashLocking takes the table's address first and returns a status: 0
// on success, C00Exxxxh on failure, with a text for the failure behind
// GetLastErrorMessage.
//
// A host calls Initialize with its platform number, reads the BIOS's Flash
// Segment Table and Flash Area Table, builds an area table naming the area
// it wants (the FAT's header and signature block, that area's record and
// the closing area record) and reads, erases or writes it; after writing it
// tells the BIOS that an update is pending (SetUpdateNotify).
//
// The tables are the BIOS's own byte layouts, little-endian and packed; a
// table is a header followed by records whose number its Size gives, so
// hosts address them as bytes with the offsets below.
#ifndef SRVFW_INCLUDE_RASK_INTERFACE_H
#define SRVFW_INCLUDE_RASK_INTERFACE_H

#include <cstddef>
#include <cstdint>

#include "include/progress_callback.h"

inline constexpr std::uint32_t EFI_RASK_IF_REVISION = 0x00010000;

#pragma pack(push, 1)

struct RASK_GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

// The header all three tables begin with (32 bytes).
struct FLASH_TABLE_HEADER {
    char HeaderSearch[8];  // "FLASHTBL", "AREA TBL" or "NOTIFYBT"
    RASK_GUID HeaderGuid;
    std::uint32_t Revision;
    std::uint32_t Size;  // the whole table; the FNT's AccessType in its place
};

// One Flash Segment Table entry (32 bytes).
struct FLASH_SEGMENT_ENTRY {
    std::uint32_t SegmentTag;
    std::uint16_t Partition;  // 1 primary flash, 2 secondary flash
    std::uint16_t BankSwitch;
    std::uint64_t StartAddress;
    std::uint64_t LimitAddress;  // the segment's last byte
    std::uint32_t DeviceNumber;
    std::uint32_t FlashType;
};

// The FST: the header and (Size - 32) / 32 entries.
struct FLASH_SEGMENT_TBL {
    FLASH_TABLE_HEADER Header;
    FLASH_SEGMENT_ENTRY Entry[1];
};

// The FAT's digital signature block, at offset 36 of the FAT; its Size is
// the block's length, and the area records follow it.
struct FLASH_DIGITAL_SIGNATURE {
    char HeaderSearch[8];  // "DGTL SIG"
    RASK_GUID HeaderGuid;
    std::uint32_t Revision;
    std::uint32_t Size;
};

// An area record's header (420 bytes); its range records follow it.
struct FLASH_AREA_RECORD_HEADER {
    std::uint32_t AreaNumber;
    RASK_GUID AreaGuid;
    std::uint32_t AreaTag;
    std::uint32_t AreaAttribute;
    std::uint64_t AreaSize;  // 0 in the closing area record
    char VersionString[128];
    char AreaName[256];
};

// A range record (24 bytes). Flags is 0 in the closing range record.
struct FLASH_RANGE_RECORD {
    std::uint32_t Flags;
    std::uint32_t AreaStartOffset;        // within the area
    std::uint32_t AreaStartLimitOffset;   // last byte, within the area
    std::uint32_t InSegment;              // the SegmentTag of the FST entry
    std::uint32_t BlockStartOffset;       // physical address in the flash
    std::uint32_t BlockStartLimitOffset;  // last byte, physical
};

// The FAT: its header, a CRC32 (36 bytes in all), then the signature block
// and the area records.
struct FLASH_AREA_TABLE {
    FLASH_TABLE_HEADER Header;
    std::uint32_t CRC32;
};

// The Flash Notification Table (96 bytes).
struct FLASH_NOTIFY_TABLE {
    char HeaderSearch[8];  // "NOTIFYBT"
    RASK_GUID HeaderGuid;
    std::uint32_t Revision;
    std::uint32_t AccessType;  // 7
    std::uint32_t NotifyValue;
    std::uint32_t DependenceValue;
    std::uint32_t ReadMask;
    std::uint32_t NotifyLength;  // low 16 bits: the notify field's length
    std::uint64_t IndexAddr;
    std::uint64_t DataAddr;  // the notify field, inside the Flash Flags Block
    std::uint32_t PCISeg;
    std::uint16_t PCIBus;
    std::uint8_t PCIDev;
    std::uint8_t PCIFunc;
    std::uint32_t PCIOffset;
    RASK_GUID VendorGuid;
    std::uint32_t VarName;
};

#pragma pack(pop)

static_assert(sizeof(FLASH_TABLE_HEADER) == 32);
static_assert(sizeof(FLASH_SEGMENT_ENTRY) == 32);
static_assert(sizeof(FLASH_DIGITAL_SIGNATURE) == 32);
static_assert(sizeof(FLASH_AREA_RECORD_HEADER) == 420);
static_assert(sizeof(FLASH_RANGE_RECORD) == 24);
static_assert(sizeof(FLASH_AREA_TABLE) == 36);
static_assert(sizeof(FLASH_NOTIFY_TABLE) == 96);

// Sizes the table walks count in.
inline constexpr unsigned FlshAreaTblHdrSize = 36;
inline constexpr unsigned FlshAreaRecHdrSize = 420;
inline constexpr unsigned FlshRangeRecSize = 24;
inline constexpr unsigned LastFlshAreaRecSize = FlshAreaRecHdrSize + FlshRangeRecSize;  // 444
inline constexpr unsigned FlshSegmentTblHdrSize = 32;
inline constexpr unsigned FlshSegmentEntrySize = 32;
inline constexpr unsigned FlshNotifyTblSize = 96;

// What GetSmbiosData copies: 0 the entry point, anything else the
// structure table.
enum SMB_DATA_TYPE : int {
    SMB_ENTRY_POINT = 0,
    SMB_STRUCTURE_TABLE = 1,
};

// The BIOS's update notification as the notify field shows it
// (GetUpdateNotifyState).
enum RASK_NOTIFY_STATE : unsigned {
    RASK_NOTIFY_NONE = 0,      // no update pending
    RASK_NOTIFY_PENDING = 1,   // an update is pending
    RASK_NOTIFY_USED_UP = 2,   // no bit left: the next set erases and restores the block
    RASK_NOTIFY_NO_FIELD = 3,  // this platform has no notify field (no FNT)
};

// How the library reaches the flash (GetFlashDeviceInfo).
enum RASK_FLASH_INTERFACE : unsigned {
    RASK_FLASH_UNKNOWN = 0,  // the default path: memory-mapped, no chipset probe
    RASK_FLASH_LPC = 1,
    RASK_FLASH_SPI = 2,
};

struct RASK_FLASH_DEVICE_INFO {
    int Platform;
    RASK_FLASH_INTERFACE Interface;
    unsigned SpiFlashKind;        // 0 AAI word program, 1, 2, 3 unknown; SPI only
    std::uint8_t SpiJedecId[3];   // as the part answered; SPI only
    std::uint8_t TopSwap;         // the top-swap bit read at open
    std::uint32_t BottomOfFlash;  // SPI addresses count from here; SPI only
    std::uint32_t PrimaryStart;   // the prepared flash regions
    std::uint32_t PrimaryBytes;
    std::uint32_t SecondaryStart;
    std::uint32_t SecondaryBytes;
};

struct _EFI_RASK_IF;
using RASK_TABLE = _EFI_RASK_IF*;

struct _EFI_RASK_IF {
    std::uint32_t Revision;
    unsigned (*Initialize)(RASK_TABLE, int platform, const bool& skipPrimaryUpdate);
    unsigned (*DeInitialize)(RASK_TABLE);
    // Slots 3 to 6, 9 and 11 answer C00E001Bh: the library has no
    // configuration, progress or language of its own.
    unsigned (*LoadConfigurationFromSystem)(RASK_TABLE);
    unsigned (*LoadConfigurationFromFile)(RASK_TABLE, const wchar_t* path, const wchar_t* name);
    unsigned (*CommitConfigurationToSystem)(RASK_TABLE);
    unsigned (*SaveConfigurationToFile)(RASK_TABLE, const wchar_t* path, const wchar_t* name);
    unsigned (*IsLoaded)(RASK_TABLE, bool& loaded);      // always false
    unsigned (*IsModified)(RASK_TABLE, bool& modified);  // always false
    unsigned (*SetProgressCallback)(RASK_TABLE, const PROGRESS_CALLBACK& callback);
    unsigned (*GetLastErrorMessage)(RASK_TABLE, wchar_t*& message);
    unsigned (*SetLanguageLocale)(RASK_TABLE, const wchar_t* language, const wchar_t* country);
    // Opens the flash device when the open in Initialize failed.
    unsigned (*OpenRaskDriver)(RASK_TABLE);
    // Both copy a table from the flash; a size smaller than the table's
    // gives C00E0007h with *size set to what is needed.
    unsigned (*GetBiosAreaTbl)(RASK_TABLE, unsigned* size, FLASH_AREA_TABLE* table);
    unsigned (*GetSegmentTbl)(RASK_TABLE, unsigned* size, FLASH_SEGMENT_TBL* table);
    // Each range of the area table goes to (or comes from) data +
    // AreaStartOffset; length is the size of data.
    unsigned (*ReadBiosMemory)(RASK_TABLE, unsigned length, FLASH_AREA_TABLE* area,
                               unsigned char* data);
    // Programs and verifies; the ranges must have been erased first.
    unsigned (*WriteBiosMemory)(RASK_TABLE, unsigned length, FLASH_AREA_TABLE* area,
                                unsigned char* data);
    unsigned (*EraseBiosBlocks)(RASK_TABLE, FLASH_AREA_TABLE* area);
    // true: tell the BIOS an update is pending; false: withdraw it.
    unsigned (*SetUpdateNotify)(RASK_TABLE, const bool& set);
    unsigned (*GetPlatformId)(RASK_TABLE, unsigned maxChars, wchar_t* out);
    unsigned (*GetSmbiosData)(RASK_TABLE, SMB_DATA_TYPE type, unsigned length, char* out);
    unsigned (*SetDebugLevel)(RASK_TABLE, unsigned level);
    // The one entry without the table's address: locks (true) or unlocks
    // (false) the flash against writes.
    unsigned (*SetFlashLocking)(const bool& lock);
    unsigned (*SkipPrimaryCheck)(RASK_TABLE, const bool& skip);  // changes nothing

    // Beyond the 24 entries above, for a host that shows what the BIOS
    // keeps and checks a write before it makes one; the revision stays.

    // The Flash Notification Table (96 bytes) as the library found it;
    // C00E0010h on the platforms that have none (9, 11, 15).
    unsigned (*GetNotifyTbl)(RASK_TABLE, unsigned* size, FLASH_NOTIFY_TABLE* table);
    // The notify field's state, read without changing it.
    unsigned (*GetUpdateNotifyState)(RASK_TABLE, RASK_NOTIFY_STATE& state);
    // Every check WriteBiosMemory makes before it touches the flash (the
    // area table, its ranges against the segments, the length), and
    // nothing else: a host's dry run.
    unsigned (*CheckBiosAreaForWrite)(RASK_TABLE, unsigned length, FLASH_AREA_TABLE* area);
    // How the library reaches the flash, as the open found it.
    unsigned (*GetFlashDeviceInfo)(RASK_TABLE, RASK_FLASH_DEVICE_INFO& info);
};

extern "C" _EFI_RASK_IF* GetRaskInterface();

#endif
