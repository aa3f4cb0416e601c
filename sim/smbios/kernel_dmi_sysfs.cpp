#include "sim/smbios/kernel_dmi_sysfs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/core/setting_lists.h"
#include "sim/smbios/smbios.h"

namespace sim {

namespace {

constexpr std::uint64_t kScanStart = 0xF0000;
constexpr std::uint64_t kScanBytes = 0x10000;
constexpr std::size_t kParagraph = 16;
constexpr std::size_t kWindow = 32;  // the kernel looks at 32 bytes at a time
constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kLegacyBytes = 15;
constexpr std::uint8_t kEndOfTable = 127;

bool SumsToZero(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t length) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i) sum += bytes[from + i];
    return sum % 256 == 0;
}

std::uint32_t Le(const std::vector<std::uint8_t>& bytes, std::size_t at, unsigned width) {
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint32_t{bytes[at + i]} << (8 * i);
    return value;
}

}  // namespace

DmiSysfs::DmiSysfs(Machine& machine)
    : mMachine(machine), mExported(SettingNumber(machine.Config(), "kernel.dmi_sysfs", 1, 1) != 0) {
    Scan();
}

std::vector<std::uint8_t> DmiSysfs::ReadMemory(std::uint64_t address, std::size_t length) {
    // The kernel's own reads cost the program no time.
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(mMachine.Memory().Read(address + i, 1));
    }
    return bytes;
}

// dmi_decode_table: walk the structures (all that fit, up to the count a
// 32-bit entry point states; with none stated, through type 127), then cut
// the length to where the walk ended.
bool DmiSysfs::Walk(Found& found, std::uint16_t count) {
    if (found.tableLength == 0) return false;  // nothing to map
    const std::vector<std::uint8_t> table = ReadMemory(found.tableAddress, found.tableLength);
    const std::int64_t length = found.tableLength;
    std::int64_t at = 0;
    unsigned walked = 0;
    while ((count == 0 || walked < count) &&
           at + static_cast<std::int64_t>(kHeaderBytes) <= length) {
        const std::uint8_t type = table[static_cast<std::size_t>(at)];
        at += table[static_cast<std::size_t>(at) + 1];
        while (at < length - 1 && (table[static_cast<std::size_t>(at)] != 0 ||
                                   table[static_cast<std::size_t>(at) + 1] != 0)) {
            ++at;
        }
        at += 2;
        ++walked;
        if (count == 0 && type == kEndOfTable) break;
    }
    if (length > at) found.tableLength = static_cast<std::uint32_t>(at);
    return true;
}

std::optional<DmiSysfs::Found> DmiSysfs::TrySmbios3(std::uint64_t address,
                                                    const std::vector<std::uint8_t>& buf) {
    const std::uint8_t length = buf[smbios::kLength64];
    if (std::memcmp(buf.data(), smbios::kAnchor64, 5) != 0 || length < 24 || length > 32 ||
        !SumsToZero(buf, 0, length)) {
        return std::nullopt;
    }
    Found found;
    found.entryPointAddress = address;
    found.entryPoint.assign(buf.begin(), buf.begin() + length);
    found.tableLength = Le(buf, smbios::kMaxTableSize64, 4);
    found.tableAddress = Le(buf, smbios::kTableAddress64, 4) |
                         std::uint64_t{Le(buf, smbios::kTableAddress64 + 4, 4)} << 32;
    char kind[32];
    std::snprintf(kind, sizeof kind, "SMBIOS %u.%u.%u", buf[7], buf[8], buf[9]);
    found.kind = kind;
    if (!Walk(found, 0)) return std::nullopt;
    return found;
}

std::optional<DmiSysfs::Found> DmiSysfs::TryLegacy(std::uint64_t address,
                                                   const std::vector<std::uint8_t>& buf) {
    // The 31-byte entry point counts only when the "_DMI_" part 16 bytes
    // above it is valid too; a "_DMI_" alone is the legacy DMI entry point.
    const std::uint8_t length = buf[smbios::kLength];
    const bool smbios = std::memcmp(buf.data(), smbios::kAnchor, 4) == 0 && length >= 30 &&
                        length <= 32 && SumsToZero(buf, 0, length);
    if (std::memcmp(buf.data() + kParagraph, smbios::kIntermediateAnchor, 5) != 0 ||
        !SumsToZero(buf, kParagraph, kLegacyBytes)) {
        return std::nullopt;
    }
    Found found;
    const std::size_t dmi = kParagraph;
    found.tableLength = Le(buf, dmi + 6, 2);
    found.tableAddress = Le(buf, dmi + 8, 4);
    const auto count = static_cast<std::uint16_t>(Le(buf, dmi + 12, 2));
    char kind[32];
    if (smbios) {
        found.entryPointAddress = address;
        found.entryPoint.assign(buf.begin(), buf.begin() + length);
        std::snprintf(kind, sizeof kind, "SMBIOS %u.%u", buf[6], buf[7]);
    } else {
        found.entryPointAddress = address + kParagraph;
        found.entryPoint.assign(buf.begin() + dmi, buf.begin() + dmi + kLegacyBytes);
        std::snprintf(kind, sizeof kind, "legacy DMI %u.%u", buf[dmi + 14] >> 4,
                      buf[dmi + 14] & 0x0F);
    }
    found.kind = kind;
    if (!Walk(found, count)) return std::nullopt;
    return found;
}

void DmiSysfs::Scan() {
    const auto* tables = mMachine.Find<SmbiosTables>();
    if (tables != nullptr && tables->Config().efi) {
        // The EFI system table names the entry points; nothing is searched.
        if (const auto at = tables->EntryPoint64())
            mFound = TrySmbios3(*at, ReadMemory(*at, kWindow));
        if (!mFound) {
            if (const auto at = tables->EntryPoint32())
                mFound = TryLegacy(*at, ReadMemory(*at, kWindow));
        }
        return;
    }
    const std::vector<std::uint8_t> segment = ReadMemory(kScanStart, kScanBytes);
    // Each candidate is a window of 32 bytes on a 16-byte boundary, the
    // last one ending at the segment's end: "_SM3_" anywhere wins over
    // "_SM_".
    for (int pass = 0; pass < 2 && !mFound; ++pass) {
        for (std::size_t at = 0; at + kWindow <= kScanBytes && !mFound; at += kParagraph) {
            const std::vector<std::uint8_t> window(
                segment.begin() + static_cast<std::ptrdiff_t>(at),
                segment.begin() + static_cast<std::ptrdiff_t>(at + kWindow));
            mFound = pass == 0 ? TrySmbios3(kScanStart + at, window)
                               : TryLegacy(kScanStart + at, window);
        }
    }
}

int DmiSysfs::Read(DmiFile which, std::vector<std::uint8_t>& bytes) {
    const bool entry = which == DmiFile::kEntryPoint;
    const std::string file = entry ? "smbios_entry_point" : "DMI";
    if (!mExported || !mFound) {
        mMachine.Log().Add({"dmi_sysfs", "read", 0, 0, 0, file + " ENOENT"});
        return ENOENT;
    }
    bytes = entry ? mFound->entryPoint : ReadMemory(mFound->tableAddress, mFound->tableLength);
    mMachine.Log().Add({"dmi_sysfs", "read", 0, bytes.size(), 0, file});
    return 0;
}

void DmiSysfs::Describe(std::ostream& out) const {
    if (!mExported) {
        out << "    the kernel exports no SMBIOS tables\n";
        return;
    }
    if (!mFound) {
        out << "    the kernel found no SMBIOS entry point: no tables in sysfs\n";
        return;
    }
    char line[160];
    std::snprintf(line, sizeof line,
                  "    %s: entry point at %llXh (%zu bytes), table at %llXh (%u bytes)\n",
                  mFound->kind.c_str(), static_cast<unsigned long long>(mFound->entryPointAddress),
                  mFound->entryPoint.size(), static_cast<unsigned long long>(mFound->tableAddress),
                  mFound->tableLength);
    out << line;
}

}  // namespace sim
