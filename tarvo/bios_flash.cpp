#include "tarvo/bios_flash.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "hw/hw.h"

namespace tarvo {

namespace {

constexpr const char* kNodeName = "quorz";
constexpr const char* kDriverName = "quorzel";
constexpr const char* kUnloadCommand = "rmmod quorzel_mod";
constexpr unsigned long kQuorzAlloc = 0x4160;
constexpr unsigned long kQuorzFree = 0x4161;

// The record the two driver requests take: machine words, so its layout
// follows the build (8-byte words in the 64-bit build, 4 in the 32-bit one).
struct DriverBuffer {
    unsigned long size;
    unsigned long unused;
    unsigned long physical;
};

constexpr std::uint64_t kBiosSegment = 0xF0000;
// What is mapped of a segment; less of the information segment when it
// would run past the first megabyte.
constexpr std::size_t kSegmentMapping = 0xFFFF;
// A distribution kernel's /dev/mem maps the first megabyte but refuses the
// System RAM above it, so no mapping of the firmware's segments goes past.
constexpr std::uint64_t kFirstMegabyte = 0x100000;
constexpr std::size_t kLastAnchorOffset = 65530;
constexpr std::uint16_t kDelayPort = 0x80;

// The anchor record.
constexpr std::size_t kAnchorRequestDistance = 4;
constexpr std::size_t kAnchorInfoPointer = 8;
constexpr std::size_t kAnchorInfoSegment = 10;
constexpr std::size_t kAnchorSmiPort = 12;
constexpr std::size_t kAnchorLength = 14;

// The request block.
constexpr std::size_t kRequestBuffer = 0;
constexpr std::size_t kRequestAddress = 4;
constexpr std::size_t kRequestLength = 8;
constexpr std::size_t kRequestChecksum = 12;
constexpr std::size_t kRequestStatus = 16;
constexpr std::size_t kRequestLengthBytes = 17;

// FlashInfo and the tables.
constexpr std::size_t kInfoRomSizeKb = 6;
constexpr std::size_t kInfoBlockTable = 10;
constexpr std::size_t kInfoNvramTable = 12;
constexpr std::size_t kInfoLength = 14;
constexpr std::size_t kTableEntry = 8;

enum BiosFunction : std::uint8_t {
    kFlashOpen = 0x20,
    kFlashRead = 0x21,
    kFlashErase = 0x22,
    kFlashWrite = 0x23,
    kFlashClose = 0x24,
};
constexpr std::uint8_t kOpenRefused = 1;

// The ROM ID sits 32 bytes below the top of the ROM, so at this offset of
// the ROM's last kilobyte.
constexpr std::size_t kRomIdInLastKb = kKilobyte - kRomIdFromTop;

std::uint32_t Checksum(const std::uint8_t* kilobyte) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < kKilobyte; i += 4) {
        std::uint32_t word;
        std::memcpy(&word, kilobyte + i, 4);
        sum += word;
    }
    return ~sum;
}

// The major number of the first /proc/devices line naming the driver, or 0.
unsigned MajorOfDriver() {
    std::FILE* devices = hw::OpenProcDevices();
    if (devices == nullptr) return 0;
    char line[128];
    unsigned major = 0;
    while (std::fgets(line, sizeof line, devices) != nullptr) {
        if (std::strstr(line, kDriverName) != nullptr) {
            major = static_cast<unsigned>(std::atoi(line));
            break;
        }
    }
    std::fclose(devices);
    return major;
}

int MakeDeviceNode(unsigned major) {
    return hw::MakeNode(kNodeName, S_IFCHR | 0666, makedev(major, 0));
}

// Gives up a half-made driver set-up: the node and the module go.
void AbandonDriver() {
    hw::RemoveNode(kNodeName);
    hw::RunShell(kUnloadCommand);
}

}  // namespace

bool FlashLayout::IsBootBlock(std::uint32_t address) const {
    for (std::size_t i = blocks.size() - bootBlockCount; i < blocks.size(); ++i) {
        if (blocks[i].address == address) return true;
    }
    return false;
}

bool FlashLayout::IsNvram(std::uint32_t address) const {
    return std::find(nvramAddresses.begin(), nvramAddresses.end(), address) != nvramAddresses.end();
}

std::uint32_t FlashLayout::LargestBlock() const {
    std::uint32_t largest = 0;
    for (const FlashBlock& block : blocks) largest = std::max(largest, block.size);
    return largest;
}

// ------------------------------------------------------------- the driver

bool BiosFlash::OpenNodeOfRegisteredDriver() {
    const unsigned major = MajorOfDriver();
    if (major == 0 || MakeDeviceNode(major) != 0) return false;
    mDeviceFd = hw::OpenDevice(kNodeName, O_RDWR);
    return mDeviceFd >= 0;
}

bool BiosFlash::LoadDriver() {
    mDeviceFd = hw::OpenDevice(kNodeName, O_RDWR);
    if (mDeviceFd >= 0) return true;
    if (OpenNodeOfRegisteredDriver()) return true;

    if (hw::RunShell("insmod ./quorzel_mod.o 2> /dev/null > /dev/null") != 0 &&
        hw::RunShell("insmod quorzel_mod 2> /dev/null > /dev/null") != 0) {
        std::printf("error loading driver\n");
        return false;
    }
    const unsigned major = MajorOfDriver();
    if (major == 0) {
        std::printf("error driver quorzel not found\n");
        hw::RunShell(kUnloadCommand);
        return false;
    }
    if (MakeDeviceNode(major) != 0) {
        const int error = errno;
        std::printf("error %d creating node quorz: %s\n", error, std::strerror(error));
        AbandonDriver();
        return false;
    }
    mDeviceFd = hw::OpenDevice(kNodeName, O_RDWR);
    if (mDeviceFd < 0) {
        const int error = errno;
        std::printf("error %d opening driver: %s\n", error, std::strerror(error));
        AbandonDriver();
        return false;
    }
    return true;
}

int BiosFlash::UnloadDriver() {
    // Only a driver this run opened is given back; a failed load has
    // already undone its own steps. The module goes even when it was loaded
    // before the program started.
    if (mDeviceFd < 0) return kExitOk;
    bool failed = hw::CloseDevice(mDeviceFd) != 0;
    mDeviceFd = -1;
    failed = hw::RemoveNode(kNodeName) != 0 || failed;
    failed = hw::RunShell(kUnloadCommand) != 0 || failed;
    return failed ? kExitDriverUnload : kExitOk;
}

// ------------------------------------------------------ physical memory

bool BiosFlash::OpenMemory() {
    mMemory = hw::OpenDeviceStream(hw::kPhysicalMemoryDevice, "r+");
    if (mMemory == nullptr) {
        std::printf(" error opening /dev/mem!\n");
        return false;
    }
    return true;
}

int BiosFlash::CloseMemory() {
    if (mMemory == nullptr) return kExitOk;
    const int result = hw::CloseDeviceStream(mMemory);
    mMemory = nullptr;
    return result == 0 ? kExitOk : kExitMemoryClose;
}

namespace {

// Everything read from BIOS memory is checked before it is used: a table
// that claims more than was mapped of its segment is refused, not followed.
bool Inside(std::uint64_t offset, std::uint64_t length, std::size_t mapped) {
    return offset + length <= mapped;
}

int InvalidFlashInfo(const char* what) {
    ReportError("BIOS flash information is invalid: %s", what);
    return kExitFlashInfoInvalid;
}

}  // namespace

// The mapping starts at the page that holds the address: mmap of /dev/mem
// takes page-aligned offsets only, and a segment (paragraphs × 16) may begin
// inside a page, as E004h does. It ends after length bytes or at the first
// megabyte, whichever comes first.
bool BiosFlash::MapPhysical(std::uint64_t address, std::size_t length, PhysicalView& view) {
    if (address >= kFirstMegabyte) return false;
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t start = address / page * page;
    const std::uint64_t end = std::min<std::uint64_t>(address + length, kFirstMegabyte);
    void* mapping =
        hw::MapDevice(fileno(mMemory), start, end - start, PROT_READ | PROT_WRITE, MAP_SHARED);
    if (mapping == MAP_FAILED) return false;
    view.mapping = mapping;
    view.mappedLength = end - start;
    view.data = static_cast<volatile std::uint8_t*>(mapping) + (address - start);
    view.length = end - address;
    return true;
}

// 0, or -1 when the system would not unmap it; the view is gone either way.
int BiosFlash::Unmap(PhysicalView& view) {
    if (view.mapping == nullptr) return 0;
    const int result = hw::UnmapDevice(view.mapping, view.mappedLength);
    view = PhysicalView{};
    return result;
}

// ------------------------------------------------ finding the interface

int BiosFlash::FindInterface() {
    if (!MapPhysical(kBiosSegment, kSegmentMapping, mBiosSegment)) {
        std::printf(" error mapping physical memory!\n");
        return kExitMapBiosSegment;
    }
    std::vector<std::uint8_t> segment(mBiosSegment.length);
    hw::CopyFromMapped(segment.data(), mBiosSegment.data, segment.size());
    std::size_t anchor = 0;
    while (anchor <= kLastAnchorOffset && std::memcmp(&segment[anchor], "$ASF", 4) != 0) ++anchor;
    if (anchor > kLastAnchorOffset) {
        ReportError("ASF Signature not found");
        return kExitAnchorNotFound;
    }
    if (!Inside(anchor, kAnchorLength, segment.size())) {
        return InvalidFlashInfo("the $ASF anchor runs past the F0000h segment");
    }
    const std::size_t request = anchor + segment[anchor + kAnchorRequestDistance];
    if (!Inside(request, kRequestLengthBytes, segment.size())) {
        return InvalidFlashInfo("the flash request block runs past the F0000h segment");
    }
    mRequest = mBiosSegment.data + request;
    std::memcpy(&mSmiPort, &segment[anchor + kAnchorSmiPort], 2);
    std::uint16_t infoPointer = 0;
    std::uint16_t infoSegment = 0;
    std::memcpy(&infoPointer, &segment[anchor + kAnchorInfoPointer], 2);
    std::memcpy(&infoSegment, &segment[anchor + kAnchorInfoSegment], 2);

    if (CallBios(kFlashOpen) == kOpenRefused) return kExitOpenRefused;
    if (const int result = SetUpTransferBuffer(); result != kExitOk) return result;

    if (!MapPhysical(std::uint64_t{infoSegment} * 16, kSegmentMapping, mInfoSegment)) {
        std::printf(" error mapping physical memory, %X!\n", infoSegment);
        return kExitMapInfoSegment;
    }
    if (!Inside(infoPointer, 4, mInfoSegment.length)) {
        return InvalidFlashInfo("the FlashInfo pointer lies outside the information segment");
    }
    if (const int result = ReadTables(infoPointer); result != kExitOk) return result;
    return ReadBiosRomId();
}

int BiosFlash::SetUpTransferBuffer() {
    DriverBuffer record{kKilobyte, 0, 0};
    if (hw::IoctlDevice(mDeviceFd, kQuorzAlloc, &record) != 0) return kExitTransferBufferSetup;
    void* view = hw::MapDevice(mDeviceFd, 0, kKilobyte, PROT_READ | PROT_WRITE, MAP_SHARED);
    if (view == MAP_FAILED) {
        // Give the memory back: nothing else would free it.
        hw::IoctlDevice(mDeviceFd, kQuorzFree, &record);
        return kExitTransferBufferSetup;
    }
    mTransferBuffer = static_cast<volatile std::uint8_t*>(view);
    mTransferBufferAddress = static_cast<std::uint32_t>(record.physical);
    hw::Write32(mRequest + kRequestBuffer, mTransferBufferAddress);
    return kExitOk;
}

int BiosFlash::ReadTables(std::uint16_t infoPointer) {
    const volatile std::uint8_t* segment = mInfoSegment.data;
    const std::size_t mapped = mInfoSegment.length;
    const std::uint32_t info = hw::Read32(segment + infoPointer);
    if (!Inside(info, kInfoLength, mapped)) {
        return InvalidFlashInfo("FlashInfo lies outside the information segment");
    }
    FlashLayout layout;
    layout.romSize = std::uint32_t{hw::Read16(segment + info + kInfoRomSizeKb)} * kKilobyte;
    if (layout.romSize == 0) return InvalidFlashInfo("the ROM size is 0");
    layout.baseOffset = layout.romSize <= 0x100000 ? 0x100000 - layout.romSize : 0;

    const std::uint16_t blockTable = hw::Read16(segment + info + kInfoBlockTable);
    if (!Inside(blockTable, 4, mapped)) {
        return InvalidFlashInfo("the BlockTable lies outside the information segment");
    }
    const std::uint16_t count = hw::Read16(segment + blockTable);
    layout.bootBlockCount = hw::Read16(segment + blockTable + 2);
    if (!Inside(blockTable + 4, std::uint64_t{count} * kTableEntry, mapped)) {
        return InvalidFlashInfo("the BlockTable runs past the information segment");
    }
    if (layout.bootBlockCount > count) {
        return InvalidFlashInfo("the BlockTable has more boot blocks than blocks");
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const volatile std::uint8_t* entry = segment + blockTable + 4 + i * kTableEntry;
        const FlashBlock block{hw::Read32(entry), hw::Read32(entry + 4)};
        if (block.address < layout.baseOffset ||
            std::uint64_t{block.address - layout.baseOffset} + block.size > layout.romSize) {
            return InvalidFlashInfo("a block of the BlockTable lies outside the ROM");
        }
        layout.blocks.push_back(block);
    }

    const std::uint16_t nvramTable = hw::Read16(segment + info + kInfoNvramTable);
    if (!Inside(nvramTable, 2, mapped)) {
        return InvalidFlashInfo("the NvramTable lies outside the information segment");
    }
    const std::uint16_t nvramCount = hw::Read16(segment + nvramTable);
    if (!Inside(nvramTable + 2, std::uint64_t{nvramCount} * kTableEntry, mapped)) {
        return InvalidFlashInfo("the NvramTable runs past the information segment");
    }
    for (std::uint32_t i = 0; i < nvramCount; ++i) {
        layout.nvramAddresses.push_back(hw::Read32(segment + nvramTable + 2 + i * kTableEntry));
    }
    mLayout = std::move(layout);
    return kExitOk;
}

int BiosFlash::ReadBiosRomId() {
    std::unique_ptr<std::uint8_t[]> lastKb(new (std::nothrow) std::uint8_t[kKilobyte]);
    if (!lastKb) return kExitOutOfMemory;
    if (!ReadKilobyte(mLayout.romSize + mLayout.baseOffset - kKilobyte, lastKb.get(), nullptr)) {
        return kExitFlashRead;
    }
    mRomId.fill('\0');
    std::memcpy(mRomId.data(), &lastKb[kRomIdInLastKb], kRomIdLength);
    return kExitOk;
}

// ------------------------------------------------------ closing it again

int BiosFlash::CloseInterface() {
    if (mTransferBuffer == nullptr) return kExitOk;
    if (CallBios(kFlashClose) != 0) return kExitCloseFailed;
    DriverBuffer record{kKilobyte, 0, mTransferBufferAddress};
    const bool unmapped =
        hw::UnmapDevice(const_cast<std::uint8_t*>(mTransferBuffer), kKilobyte) == 0;
    mTransferBuffer = nullptr;
    const bool freed = hw::IoctlDevice(mDeviceFd, kQuorzFree, &record) == 0;
    mTransferBufferAddress = 0;
    return unmapped && freed ? kExitOk : kExitTransferBufferFree;
}

int BiosFlash::UnmapBios() {
    int result = kExitOk;
    mRequest = nullptr;
    if (Unmap(mBiosSegment) != 0) result = kExitUnmapBiosSegment;
    if (Unmap(mInfoSegment) != 0 && result == kExitOk) result = kExitUnmapInfoSegment;
    return result;
}

// ------------------------------------------------------- flash requests

void BiosFlash::PortOut(std::uint16_t port, std::uint8_t value) {
    hw::OutByte(port, value);
    for (int i = 0; i < 4; ++i) hw::OutByte(kDelayPort, value);
}

std::uint8_t BiosFlash::PortIn(std::uint16_t port) {
    const std::uint8_t value = hw::InByte(port);
    for (int i = 0; i < 4; ++i) hw::OutByte(kDelayPort, value);
    return value;
}

std::uint8_t BiosFlash::CallBios(std::uint8_t function) {
    PortOut(mSmiPort, function);
    return hw::Read8(mRequest + kRequestStatus);
}

void BiosFlash::SetRequest(std::uint32_t address, std::uint32_t length) {
    hw::Write32(mRequest + kRequestAddress, address);
    hw::Write32(mRequest + kRequestLength, length);
}

bool BiosFlash::ReadKilobyte(std::uint32_t address, std::uint8_t* destination, Progress* progress) {
    SetRequest(address, kKilobyte);
    if (progress != nullptr) progress->Show(address, mLayout.romSize);
    if (CallBios(kFlashRead) != 0) return false;
    hw::CopyFromMapped(destination, mTransferBuffer, kKilobyte);
    return Checksum(destination) == hw::Read32(mRequest + kRequestChecksum);
}

bool BiosFlash::ReadBlock(std::uint32_t address, std::uint32_t size, std::uint8_t* destination,
                          Progress* progress) {
    for (std::uint32_t offset = 0; offset + kKilobyte <= size; offset += kKilobyte) {
        if (!ReadKilobyte(address + offset, destination + offset, progress)) return false;
    }
    return true;
}

bool BiosFlash::EraseBlock(std::uint32_t address, std::uint32_t size, Progress* progress) {
    SetRequest(address, size);
    if (progress != nullptr) progress->Show(address, mLayout.romSize);
    return CallBios(kFlashErase) == 0;
}

bool BiosFlash::WriteBlock(std::uint32_t address, std::uint32_t size, const std::uint8_t* data,
                           Progress* progress) {
    for (std::uint32_t offset = 0; offset + kKilobyte <= size; offset += kKilobyte) {
        SetRequest(address + offset, kKilobyte);
        hw::CopyToMapped(mTransferBuffer, data + offset, kKilobyte);
        hw::Write32(mRequest + kRequestChecksum, Checksum(data + offset));
        if (progress != nullptr) progress->Show(address + offset, mLayout.romSize);
        if (CallBios(kFlashWrite) != 0) return false;
    }
    return true;
}

bool BiosFlash::VerifyBlock(std::uint32_t address, std::uint32_t size, const std::uint8_t* data,
                            Progress* progress) {
    std::array<std::uint8_t, kKilobyte> flash;
    for (std::uint32_t offset = 0; offset + kKilobyte <= size; offset += kKilobyte) {
        SetRequest(address + offset, kKilobyte);
        if (CallBios(kFlashRead) != 0) return false;
        if (progress != nullptr) progress->Show(address + offset, mLayout.romSize);
        hw::CopyFromMapped(flash.data(), mTransferBuffer, kKilobyte);
        if (std::memcmp(flash.data(), data + offset, kKilobyte) != 0) return false;
    }
    return true;
}

}  // namespace tarvo
