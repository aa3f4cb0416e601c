// The two ways to the SMBIOS tables: the kernel's copies in sysfs, and
// physical memory through /dev/mem.
#include "bmc/smbios_discovery.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "bmc/interface_report.h"
#include "bmc/smbios_entry_point.h"
#include "hw/hw.h"
#include "hw/physical_memory_view.h"

namespace {

constexpr std::uint64_t kBiosSegment = 0xF0000;
constexpr std::size_t kBiosSegmentLength = 0xFFFF;
// No real table comes near this; a larger stated size is a damaged entry
// point, and mapping it would only be refused or read garbage.
constexpr std::uint32_t kLargestTable = 1u << 20;

struct StreamCloser {
    void operator()(std::FILE* stream) const { hw::CloseDeviceStream(stream); }
};
using DeviceStream = std::unique_ptr<std::FILE, StreamCloser>;

std::wstring ErrorText(int error) {
    return FormatReport(L"%s", std::strerror(error));
}

// A copy of `length` bytes of physical memory at `address`, through a
// mapping of the pages that hold them and nothing more. Sets `error` and
// returns nothing when the system refuses.
std::optional<std::vector<std::uint8_t>> CopyPhysical(std::FILE* memory, std::uint64_t address,
                                                      std::size_t length, int& error) {
    const std::uint64_t pageSize = hw::PhysicalMemoryView::PageSize();
    const std::uint64_t end = (address + length + pageSize - 1) / pageSize * pageSize;
    const auto view = hw::PhysicalMemoryView::Map(::fileno(memory), address,
                                                  static_cast<std::size_t>(end - address),
                                                  hw::PhysicalMemoryView::Access::kReadOnly);
    if (!view) {
        error = errno;
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(length);
    if (!view->CopyOut(0, bytes)) {
        error = EFAULT;
        return std::nullopt;
    }
    return bytes;
}

SmbiosIpmiInterface Unavailable(std::wstring why) {
    return {SmbiosIpmiOutcome::kMemoryUnavailable, 0, 1, std::move(why)};
}

SmbiosIpmiInterface FromSysfs(const std::vector<std::uint8_t>& entryPoint) {
    const std::optional<SmbiosTableLocation> location = ParseSmbiosEntryPoint(entryPoint);
    if (!location) {
        return {SmbiosIpmiOutcome::kNoEntryPoint, 0, 1,
                L"the kernel's SMBIOS entry point (/sys/firmware/dmi/tables) is not one we know"};
    }
    std::vector<std::uint8_t> table;
    if (hw::ReadDmiTable(hw::DmiTable::kStructureTable, table) != 0) {
        return Unavailable(L"the kernel's SMBIOS structure table cannot be read: " +
                           ErrorText(errno));
    }
    return FindIpmiRecord(table, location->structureCount);
}

SmbiosIpmiInterface FromPhysicalMemory() {
    const DeviceStream memory(hw::OpenDeviceStream(hw::kPhysicalMemoryDevice, "r"));
    if (!memory) return Unavailable(L"/dev/mem cannot be opened: " + ErrorText(errno));
    int error = 0;
    const auto segment = CopyPhysical(memory.get(), kBiosSegment, kBiosSegmentLength, error);
    if (!segment) {
        return Unavailable(
            L"the SMBIOS entry point cannot be looked for: /dev/mem refuses "
            L"F0000h (" +
            ErrorText(error) + L")");
    }
    const std::optional<std::size_t> at = FindSmbiosEntryPoint(*segment);
    if (!at) {
        return {SmbiosIpmiOutcome::kNoEntryPoint, 0, 1,
                L"no SMBIOS entry point (\"_SM_\" or \"_SM3_\") in the kernel's tables or the "
                L"F0000h segment"};
    }
    const SmbiosTableLocation location = *ParseSmbiosEntryPoint(std::span(*segment).subspan(*at));
    if (location.length == 0 || location.length > kLargestTable ||
        location.address + location.length < location.address) {
        return {SmbiosIpmiOutcome::kNoIpmiRecord, 0, 1,
                FormatReport(L"the SMBIOS entry point at %05Xh states an impossible table "
                             L"(%u bytes at %llXh)",
                             static_cast<unsigned>(kBiosSegment + *at), location.length,
                             static_cast<unsigned long long>(location.address))};
    }
    const auto table = CopyPhysical(memory.get(), location.address, location.length, error);
    if (!table) {
        return Unavailable(FormatReport(L"/dev/mem refuses the SMBIOS structure table "
                                        L"(%u bytes at %llXh): ",
                                        location.length,
                                        static_cast<unsigned long long>(location.address)) +
                           ErrorText(error));
    }
    return FindIpmiRecord(*table, location.structureCount);
}

}  // namespace

SmbiosIpmiInterface FindSmbiosIpmiInterface() {
    // Where the kernel offers its copies they are the tables, as dmidecode
    // takes them; the search of physical memory is for kernels that do not.
    std::vector<std::uint8_t> entryPoint;
    if (hw::ReadDmiTable(hw::DmiTable::kEntryPoint, entryPoint) == 0) {
        return FromSysfs(entryPoint);
    }
    return FromPhysicalMemory();
}
