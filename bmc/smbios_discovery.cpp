#include "bmc/smbios_discovery.h"

#include <sys/mman.h>

#include <cstdio>
#include <memory>
#include <optional>

#include "hw/hw.h"

namespace {

constexpr std::uint64_t kBiosSegment = 0xF0000;
constexpr std::size_t kMappingLength = 0xFFFF;
constexpr std::uint64_t kPageSize = 4096;

constexpr std::size_t kAnchorAlignment = 16;
constexpr char kAnchor[] = "_SM_";
constexpr std::size_t kAnchorLength = 4;
// Entry point fields.
constexpr std::size_t kTableAddress = 0x18;    // u32
constexpr std::size_t kStructureCount = 0x1C;  // u16
constexpr std::size_t kEntryPointFieldsEnd = kStructureCount + 2;

// Structure header: type and formatted length (then the handle).
constexpr std::size_t kTypeAndLength = 2;
constexpr std::uint8_t kIpmiDeviceType = 38;
// Type 38 fields.
constexpr std::size_t kInterfaceType = 4;
constexpr std::size_t kBaseAddress = 8;  // the low word of the address
constexpr std::size_t kIpmiRecordFieldsEnd = kBaseAddress + 2;
constexpr std::uint8_t kKcsInterface = 1;
constexpr std::uint16_t kIoSpaceFlag = 0x0001;

struct StreamCloser {
    void operator()(std::FILE* stream) const { hw::CloseDeviceStream(stream); }
};
using DeviceStream = std::unique_ptr<std::FILE, StreamCloser>;

// A read-only view of physical memory; every read is checked against it.
class PhysicalView {
  public:
    PhysicalView(std::FILE* memory, std::uint64_t address, std::size_t length) : mLength(length) {
        void* mapped = hw::MapDevice(::fileno(memory), address, length, PROT_READ, MAP_SHARED);
        if (mapped != MAP_FAILED) mBase = static_cast<const volatile std::uint8_t*>(mapped);
    }
    ~PhysicalView() {
        if (Mapped()) hw::UnmapDevice(const_cast<std::uint8_t*>(mBase), mLength);
    }
    PhysicalView(const PhysicalView&) = delete;
    PhysicalView& operator=(const PhysicalView&) = delete;

    bool Mapped() const { return mBase != nullptr; }
    bool Holds(std::size_t offset, std::size_t count) const {
        return offset <= mLength && count <= mLength - offset;
    }
    std::uint8_t Byte(std::size_t offset) const { return hw::Read8(mBase + offset); }
    std::uint16_t Word(std::size_t offset) const {
        return static_cast<std::uint16_t>(Byte(offset) | Byte(offset + 1) << 8);
    }
    std::uint32_t Dword(std::size_t offset) const {
        return Word(offset) | static_cast<std::uint32_t>(Word(offset + 2)) << 16;
    }

  private:
    const volatile std::uint8_t* mBase = nullptr;
    std::size_t mLength;
};

bool AnchorAt(const PhysicalView& view, std::size_t offset) {
    for (std::size_t i = 0; i < kAnchorLength; ++i) {
        if (view.Byte(offset + i) != static_cast<std::uint8_t>(kAnchor[i])) return false;
    }
    return true;
}

// Only an anchor whose entry point fields lie inside the view counts.
std::optional<std::size_t> FindEntryPoint(const PhysicalView& view) {
    for (std::size_t offset = 0; view.Holds(offset, kEntryPointFieldsEnd);
         offset += kAnchorAlignment) {
        if (AnchorAt(view, offset)) return offset;
    }
    return std::nullopt;
}

// The offset just past the structure's string set: the strings end with a
// zero word. Nothing when the set runs off the view.
std::optional<std::size_t> SkipStrings(const PhysicalView& view, std::size_t offset) {
    for (; view.Holds(offset, 2); ++offset) {
        if (view.Word(offset) == 0) return offset + 2;
    }
    return std::nullopt;
}

SmbiosIpmiInterface WalkStructures(const PhysicalView& view, std::size_t offset, unsigned count) {
    constexpr SmbiosIpmiInterface kNotFound{SmbiosIpmiOutcome::kNoIpmiRecord};
    for (unsigned i = 0; i < count; ++i) {
        if (!view.Holds(offset, kTypeAndLength)) return kNotFound;
        const std::uint8_t type = view.Byte(offset);
        const std::uint8_t length = view.Byte(offset + 1);
        if (!view.Holds(offset, length)) return kNotFound;
        if (type == kIpmiDeviceType) {
            // A record too short for its base address would have us read
            // its strings as the address.
            if (length < kIpmiRecordFieldsEnd) return kNotFound;
            if (view.Byte(offset + kInterfaceType) != kKcsInterface) {
                return {SmbiosIpmiOutcome::kNotKcs};
            }
            const std::uint16_t base = view.Word(offset + kBaseAddress);
            return {SmbiosIpmiOutcome::kKcs, static_cast<std::uint16_t>(base & ~kIoSpaceFlag)};
        }
        const std::optional<std::size_t> next = SkipStrings(view, offset + length);
        if (!next) return kNotFound;
        offset = *next;
    }
    return kNotFound;
}

}  // namespace

SmbiosIpmiInterface FindSmbiosIpmiInterface() {
    constexpr SmbiosIpmiInterface kUnavailable{SmbiosIpmiOutcome::kMemoryUnavailable};
    const DeviceStream memory(hw::OpenDeviceStream(hw::kPhysicalMemoryDevice, "r"));
    if (!memory) return kUnavailable;
    const PhysicalView bios(memory.get(), kBiosSegment, kMappingLength);
    if (!bios.Mapped()) return kUnavailable;
    const std::optional<std::size_t> entryPoint = FindEntryPoint(bios);
    if (!entryPoint) return {SmbiosIpmiOutcome::kNoEntryPoint};

    const std::uint32_t tableAddress = bios.Dword(*entryPoint + kTableAddress);
    const std::uint16_t structureCount = bios.Word(*entryPoint + kStructureCount);
    const std::uint64_t tablePage = tableAddress & ~(kPageSize - 1);
    const PhysicalView table(memory.get(), tablePage, kMappingLength);
    if (!table.Mapped()) return kUnavailable;
    return WalkStructures(table, tableAddress - tablePage, structureCount);
}
