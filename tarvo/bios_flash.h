// The BIOS's own flash service: found through its "$ASF" anchor in the
// F0000h segment, driven by a request block in BIOS memory and a function
// code written to the BIOS's SMI command port. Data travel through a 1 KB
// physically contiguous transfer buffer that the kernel module quorzel
// provides.
#ifndef SRVFW_TARVO_BIOS_FLASH_H
#define SRVFW_TARVO_BIOS_FLASH_H

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <vector>

#include "hw/physical_memory_view.h"
#include "tarvo/console.h"

namespace tarvo {

constexpr std::uint32_t kKilobyte = 1024;
constexpr std::size_t kRomIdLength = 8;
// The ROM ID lies this many bytes below the top of the ROM.
constexpr std::uint32_t kRomIdFromTop = 32;

struct FlashBlock {
    std::uint32_t address;  // flash address
    std::uint32_t size;     // bytes
};

// The flash as the BIOS describes it, copied out of BIOS memory once it has
// been checked.
struct FlashLayout {
    std::uint32_t romSize = 0;
    std::uint32_t baseOffset = 0;      // flash address of file offset 0
    std::vector<FlashBlock> blocks;    // in processing order
    std::uint16_t bootBlockCount = 0;  // the last entries of blocks
    std::vector<std::uint32_t> nvramAddresses;

    bool IsBootBlock(std::uint32_t address) const;
    bool IsNvram(std::uint32_t address) const;
    std::uint32_t LargestBlock() const;
};

// Exit codes of the flash service's steps.
enum ExitCode : int {
    kExitOk = 0,
    kExitAnchorNotFound = 2,
    kExitDriverLoad = 16,
    kExitDriverUnload = 17,
    kExitMemoryOpen = 32,
    kExitMemoryClose = 33,
    kExitOutOfMemory = 34,
    kExitTransferBufferSetup = 36,
    kExitTransferBufferFree = 37,
    kExitMapBiosSegment = 38,
    kExitUnmapBiosSegment = 39,
    kExitMapInfoSegment = 40,
    kExitUnmapInfoSegment = 41,
    // Not a code of the BIOS: its tables describe something impossible (a
    // table running out of its segment, a block outside the ROM).
    kExitFlashInfoInvalid = 42,
    kExitOpenRefused = 64,
    kExitCloseFailed = 65,
    kExitFlashRead = 66,
};

class BiosFlash {
  public:
    BiosFlash() = default;
    BiosFlash(const BiosFlash&) = delete;
    BiosFlash& operator=(const BiosFlash&) = delete;

    // Kernel module and its device node; false when it cannot be had (the
    // messages are printed here).
    bool LoadDriver();
    int UnloadDriver();  // 0 or kExitDriverUnload
    bool OpenMemory();
    int CloseMemory();  // 0 or kExitMemoryClose

    // Anchor, flash interface, transfer buffer, tables, the BIOS's ROM ID.
    int FindInterface();
    int CloseInterface();  // 0, kExitCloseFailed or kExitTransferBufferFree
    int UnmapBios();       // 0, kExitUnmapBiosSegment or kExitUnmapInfoSegment

    // 1 KB units through the transfer buffer. A progress display, when
    // given, is shown for each unit (and each erased block).
    bool ReadBlock(std::uint32_t address, std::uint32_t size, std::uint8_t* destination,
                   Progress* progress);
    bool EraseBlock(std::uint32_t address, std::uint32_t size, Progress* progress);
    bool WriteBlock(std::uint32_t address, std::uint32_t size, const std::uint8_t* data,
                    Progress* progress);
    bool VerifyBlock(std::uint32_t address, std::uint32_t size, const std::uint8_t* data,
                     Progress* progress);

    // Port access with the customary delay writes to port 80h.
    static void PortOut(std::uint16_t port, std::uint8_t value);
    static std::uint8_t PortIn(std::uint16_t port);

    const FlashLayout& Layout() const { return mLayout; }
    // The 8 characters of the BIOS's ROM ID as a C string.
    const char* RomId() const { return mRomId.data(); }

  private:
    // A segment of the first megabyte, mapped from the page that holds it
    // and no further than the first megabyte.
    std::optional<hw::PhysicalMemoryView> MapSegment(std::uint64_t address) const;

    bool OpenNodeOfRegisteredDriver();
    int SetUpTransferBuffer();
    int FreeTransferBuffer();  // with the buffer set up: 0 or kExitTransferBufferFree
    bool FromTransferBuffer(std::span<std::uint8_t> destination) const;
    bool ToTransferBuffer(std::span<const std::uint8_t> source);
    int ReadTables(std::uint16_t infoPointer);
    int ReadBiosRomId();
    bool ReadKilobyte(std::uint32_t address, std::uint8_t* destination, Progress* progress);
    std::uint8_t CallBios(std::uint8_t function);
    bool SetRequest(std::uint32_t address, std::uint32_t length);
    bool SetRequestField(std::size_t field, std::uint32_t value);
    std::optional<std::uint32_t> RequestField(std::size_t field) const;

    // Resources, released in reverse order by the clean-up.
    int mDeviceFd = -1;
    std::FILE* mMemory = nullptr;
    std::optional<hw::PhysicalMemoryView> mBiosSegment;
    std::optional<hw::PhysicalMemoryView> mInfoSegment;
    std::optional<hw::PhysicalMemoryView> mTransferBuffer;
    std::uint32_t mTransferBufferAddress = 0;

    // The request block's offset in the BIOS segment, checked when found.
    std::size_t mRequest = 0;
    std::uint16_t mSmiPort = 0;
    FlashLayout mLayout;
    std::array<char, kRomIdLength + 1> mRomId{};
};

}  // namespace tarvo

#endif
