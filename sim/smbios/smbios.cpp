#include "sim/smbios/smbios.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "sim/bios/bios_flash.h"
#include "sim/bmc/bmc.h"
#include "sim/bmc/ipmi.h"
#include "sim/bmc/kcs_interface.h"
#include "sim/core/setting_lists.h"

namespace sim {

namespace {

constexpr std::uint64_t kEntrySegment = 0xF0000;
constexpr std::uint64_t kEntrySegmentEnd = 0x100000;
constexpr std::uint64_t kMaxWord = 0xFFFF;
constexpr std::uint64_t kMaxDword = 0xFFFFFFFF;
constexpr std::uint64_t kMaxQword = UINT64_MAX;
constexpr std::uint64_t kSecondEntryPoint = 0xF1020;  // beside the 32-bit one at F1000h
constexpr std::uint64_t kEfiTablesBytes = 0x10000;    // the last 64 KB of RAM
constexpr std::uint64_t kEfiEntryPoint64 = 0x20;      // above the 32-bit one
constexpr std::uint64_t kEfiTable = 0x100;
constexpr std::uint8_t kEntryPointRevision64 = 0x01;
constexpr std::uint32_t kRomSizeUnit = 64 * 1024;
constexpr std::uint16_t kBiosSegment = 0xE000;
constexpr std::uint8_t kNoNvStorage = 0xFF;
constexpr std::uint8_t kAddressBit0 = 0x10;  // base address modifier bit 4
constexpr unsigned kSpacingShift = 6;        // bits 7:6: 00b bytes, 01b 32 bits, 10b 16 bytes

void PutWord(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutDword(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    PutWord(bytes, at, static_cast<std::uint16_t>(value));
    PutWord(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

void PutQword(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value) {
    PutDword(bytes, at, static_cast<std::uint32_t>(value));
    PutDword(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

// The modifier's code for a register spacing in bytes.
std::uint8_t SpacingCode(unsigned spacing) {
    switch (spacing) {
        case 4:
            return 1;
        case 16:
            return 2;
        default:
            return 0;
    }
}

struct Structure {
    std::vector<std::uint8_t> formatted;  // header included
    std::vector<std::string> strings;

    Structure(std::uint8_t type, std::uint8_t length, std::uint16_t handle,
              std::vector<std::string> texts = {})
        : formatted(length), strings(std::move(texts)) {
        formatted[0] = type;
        formatted[1] = length;
        PutWord(formatted, 2, handle);
    }
    // The formatted area, then each string with its zero, then the zero
    // that ends the set (two zeros for a structure without strings).
    std::vector<std::uint8_t> Bytes() const {
        std::vector<std::uint8_t> bytes = formatted;
        for (const std::string& text : strings) {
            bytes.insert(bytes.end(), text.begin(), text.end());
            bytes.push_back(0);
        }
        if (strings.empty()) bytes.push_back(0);
        bytes.push_back(0);
        return bytes;
    }
};

Structure BiosInformation(const SmbiosConfig& config, std::uint16_t handle) {
    Structure bios(smbios::kBiosInformation, 0x18, handle,
                   {"SRVFW", config.biosVersion, "01/01/2026"});
    std::vector<std::uint8_t>& f = bios.formatted;
    f[0x04] = 1;  // vendor
    f[0x05] = 2;  // version
    PutWord(f, 0x06, kBiosSegment);
    f[0x08] = 3;  // release date
    // ROM size: 64 KB * (n + 1); FFh for a part this field cannot state.
    const std::uint32_t units = config.romBytes / kRomSizeUnit;
    f[0x09] = units == 0 ? 0 : units > 0xFF ? 0xFF : static_cast<std::uint8_t>(units - 1);
    // Characteristics: PCI, upgradeable (flash), shadowing, CD boot,
    // selectable boot.
    PutDword(f, 0x0A, 0x00019880);
    f[0x12] = 0x01;  // ACPI
    f[0x13] = 0x00;
    f[0x14] = 1;  // system BIOS release 1.0
    f[0x15] = 0;
    f[0x16] = 0xFF;  // no embedded controller
    f[0x17] = 0xFF;
    return bios;
}

Structure SystemInformation(std::uint16_t handle) {
    Structure system(smbios::kSystemInformation, 0x1B, handle,
                     {"SRVFW", "Simulated Server S1", "1.0", "SIM0000001", "S1-SIM", "Server"});
    std::vector<std::uint8_t>& f = system.formatted;
    for (std::uint8_t i = 0; i < 4; ++i) f[0x04 + i] = i + 1;
    for (std::size_t i = 0; i < 16; ++i) f[0x08 + i] = static_cast<std::uint8_t>(0x51 + i * 7);
    f[0x18] = 0x06;  // woken by the power switch
    f[0x19] = 5;     // SKU
    f[0x1A] = 6;     // family
    return system;
}

Structure IpmiDevice(const SmbiosConfig& config, std::uint16_t handle) {
    Structure ipmi(smbios::kIpmiDevice, smbios::kIpmiDeviceBytes, handle);
    std::vector<std::uint8_t>& f = ipmi.formatted;
    f[smbios::kInterfaceType] = config.interfaceType;
    f[smbios::kIpmiRevision] = config.ipmiRevision;
    f[smbios::kBmcAddress] = ipmi::kBmcAddress;
    f[smbios::kNvStorage] = kNoNvStorage;
    // Bit 0 of the base address flags I/O space; the address's own bit 0
    // moves to the modifier byte.
    const std::uint64_t base = (config.ipmiBase & ~std::uint64_t{1}) | (config.ipmiIo ? 1 : 0);
    PutDword(f, smbios::kBaseAddress, static_cast<std::uint32_t>(base));
    PutDword(f, smbios::kBaseAddress + 4, static_cast<std::uint32_t>(base >> 32));
    const bool lsb = config.ipmiLsb.value_or((config.ipmiBase & 1) != 0);
    f[smbios::kBaseModifier] = static_cast<std::uint8_t>(
        SpacingCode(config.ipmiSpacing) << kSpacingShift | (lsb ? kAddressBit0 : 0));
    f[smbios::kInterrupt] = 0;
    return ipmi;
}

std::vector<std::uint8_t> EntryPoint(const SmbiosConfig& config, std::uint16_t maxStructure,
                                     std::uint16_t tableLength, std::uint16_t count) {
    std::vector<std::uint8_t> entry(smbios::kEntryPointBytes);
    std::memcpy(entry.data(), smbios::kAnchor, 4);
    entry[smbios::kLength] = smbios::kEntryPointBytes;
    entry[smbios::kMajorVersion] = config.versionMajor;
    entry[smbios::kMinorVersion] = config.versionMinor;
    PutWord(entry, smbios::kMaxStructure, maxStructure);
    std::memcpy(entry.data() + smbios::kIntermediate, smbios::kIntermediateAnchor, 5);
    PutWord(entry, smbios::kTableLength, config.tableLength.value_or(tableLength));
    PutDword(entry, smbios::kTableAddress, static_cast<std::uint32_t>(config.tableAddress));
    PutWord(entry, smbios::kStructureCount, config.structureCount.value_or(count));
    // The version in BCD, 27h for 2.7 (a digit each, so 3.10 cannot be
    // stated and shows as 3.9).
    entry[smbios::kBcdRevision] =
        static_cast<std::uint8_t>(std::min<unsigned>(config.versionMajor, 9) << 4 |
                                  std::min<unsigned>(config.versionMinor, 9));
    entry[smbios::kIntermediateChecksum] =
        ipmi::Checksum(std::span(entry).subspan(smbios::kIntermediate));
    entry[smbios::kChecksum] = ipmi::Checksum(entry);
    return entry;
}

std::vector<std::uint8_t> Sm3EntryPoint(const SmbiosConfig& config, std::uint32_t tableLength) {
    std::vector<std::uint8_t> entry(smbios::kEntryPoint64Bytes);
    std::memcpy(entry.data(), smbios::kAnchor64, 5);
    entry[smbios::kLength64] = smbios::kEntryPoint64Bytes;
    entry[smbios::kMajorVersion64] = config.versionMajor;
    entry[smbios::kMinorVersion64] = config.versionMinor;
    entry[smbios::kDocrev64] = config.docrev;
    entry[smbios::kEntryPointRevision64] = kEntryPointRevision64;
    PutDword(entry, smbios::kMaxTableSize64, config.tableMaxSize.value_or(tableLength));
    PutQword(entry, smbios::kTableAddress64, config.tableAddress);
    entry[smbios::kChecksum64] = ipmi::Checksum(entry);
    return entry;
}

// "2.7", "3.0", "3.2.1": major, minor and docrev.
void ParseVersion(const std::string& key, const std::string& text, SmbiosConfig* config) {
    std::vector<std::uint8_t> parts;
    std::size_t from = 0;
    while (parts.size() < 4) {
        const std::size_t dot = text.find('.', from);
        const std::string part = text.substr(from, dot == std::string::npos ? dot : dot - from);
        parts.push_back(static_cast<std::uint8_t>(SettingNumber(key, part, 0xFF)));
        if (dot == std::string::npos) break;
        from = dot + 1;
    }
    if (parts.size() < 2 || parts.size() > 3) {
        throw std::invalid_argument(key + ": expected MAJOR.MINOR[.DOCREV], as 3.0");
    }
    config->versionMajor = parts[0];
    config->versionMinor = parts[1];
    config->docrev = parts.size() == 3 ? parts[2] : 0;
}

smbios::EntryPoints ParseEntryPoints(const std::string& key, const std::string& text) {
    if (text.empty() || text == "32") return smbios::EntryPoints::k32;
    if (text == "64") return smbios::EntryPoints::k64;
    if (text == "both") return smbios::EntryPoints::kBoth;
    throw std::invalid_argument(key + ": \"" + text + "\" is not 32, 64 or both");
}

// The last 64 KB of the RAM above 1 MiB, where UEFI firmware keeps its
// tables here.
std::uint64_t EfiTablesBase(Machine& machine) {
    std::uint64_t top = 0;
    for (const auto& [base, region] : machine.Memory().Regions()) {
        if (region.kind == MemoryRegion::Kind::kRam && base >= kEntrySegmentEnd &&
            region.size >= kEfiTablesBytes && region.name == "extended") {
            top = base + region.size;
        }
    }
    if (top == 0) throw std::invalid_argument("smbios.efi: the machine has no RAM above 1 MiB");
    return top - kEfiTablesBytes;
}

std::optional<std::uint16_t> OptionalWord(const Settings& settings, const std::string& key) {
    const std::string text = settings.Get(key, "");
    if (text.empty()) return std::nullopt;
    return static_cast<std::uint16_t>(SettingNumber(key, text, kMaxWord));
}

void Place(Machine& machine, const std::string& key, std::uint64_t address,
           const std::vector<std::uint8_t>& bytes) {
    const auto target = machine.Memory().Bytes(address, bytes.size());
    if (target.empty()) {
        char what[96];
        std::snprintf(what, sizeof what, ": %zu bytes at %llXh are not RAM", bytes.size(),
                      static_cast<unsigned long long>(address));
        throw std::invalid_argument(key + what);
    }
    std::copy(bytes.begin(), bytes.end(), target.begin());
}

}  // namespace

SmbiosConfig SmbiosConfig::FromMachine(Machine& machine) {
    const Settings& settings = machine.Config();
    SmbiosConfig config;
    config.present = SettingNumber(settings, "smbios.present", 1, 1) != 0;
    config.entryPoints =
        ParseEntryPoints("smbios.entry_points", settings.Get("smbios.entry_points", ""));
    if (config.Offers64()) config.versionMajor = 3, config.versionMinor = 0;
    if (const std::string version = settings.Get("smbios.version", ""); !version.empty()) {
        ParseVersion("smbios.version", version, &config);
    }
    config.efi = SettingNumber(settings, "smbios.efi", 0, 1) != 0;
    if (config.efi && config.present) {
        const std::uint64_t base = EfiTablesBase(machine);
        config.entryPoint = base;
        config.entryPoint64 = config.Offers32() ? base + kEfiEntryPoint64 : base;
        config.tableAddress = base + kEfiTable;
    } else if (config.entryPoints == smbios::EntryPoints::kBoth) {
        config.entryPoint64 = kSecondEntryPoint;
    }
    // Outside UEFI, a reader finds the entry points only by searching the
    // F0000h segment.
    const auto entryPointAt = [&](const char* key, std::uint64_t fallback, std::uint8_t bytes) {
        const std::uint64_t address = SettingNumber(
            settings, key, fallback, config.efi ? kMaxQword - bytes : kEntrySegmentEnd - bytes);
        if (!config.efi && address < kEntrySegment) {
            throw std::invalid_argument(std::string(key) + ": must lie in F0000h-FFFFFh");
        }
        return address;
    };
    config.entryPoint =
        entryPointAt("smbios.entry_point", config.entryPoint, smbios::kEntryPointBytes);
    config.entryPoint64 =
        entryPointAt("smbios.entry_point64", config.entryPoint64, smbios::kEntryPoint64Bytes);
    if (config.entryPoints == smbios::EntryPoints::kBoth &&
        config.entryPoint < config.entryPoint64 + smbios::kEntryPoint64Bytes &&
        config.entryPoint64 < config.entryPoint + smbios::kEntryPointBytes) {
        throw std::invalid_argument("smbios.entry_point64: overlaps the 32-bit entry point");
    }
    // The 32-bit entry point can state only a 32-bit table address.
    config.tableAddress = SettingNumber(settings, "smbios.table_address", config.tableAddress,
                                        config.Offers32() ? kMaxDword : kMaxQword);
    config.tableLength = OptionalWord(settings, "smbios.table_length");
    config.structureCount = OptionalWord(settings, "smbios.structure_count");
    if (const std::string text = settings.Get("smbios.table_max_size", ""); !text.empty()) {
        config.tableMaxSize =
            static_cast<std::uint32_t>(SettingNumber("smbios.table_max_size", text, kMaxDword));
    }
    config.ipmi = SettingNumber(settings, "smbios.ipmi", 1, 1) != 0;
    config.interfaceType = static_cast<std::uint8_t>(
        SettingNumber(settings, "smbios.ipmi.interface", smbios::kKcs, 0xFF));
    if (const auto* kcs = machine.Find<KcsInterface>()) {
        config.ipmiBase = kcs->Config().base;
        config.ipmiSpacing = kcs->Config().spacing;
    }
    config.ipmiBase = SettingNumber(settings, "smbios.ipmi.base", config.ipmiBase);
    config.ipmiIo = SettingNumber(settings, "smbios.ipmi.io", 1, 1) != 0;
    config.ipmiSpacing = static_cast<unsigned>(
        SettingNumber(settings, "smbios.ipmi.spacing", config.ipmiSpacing, 16));
    if (config.ipmiSpacing != 1 && config.ipmiSpacing != 4 && config.ipmiSpacing != 16) {
        throw std::invalid_argument("smbios.ipmi.spacing: 1, 4 or 16 bytes");
    }
    if (const std::string lsb = settings.Get("smbios.ipmi.lsb", ""); !lsb.empty()) {
        config.ipmiLsb = SettingNumber("smbios.ipmi.lsb", lsb, 1) != 0;
    }
    if (auto* bmc = machine.Find<Bmc>()) {
        const std::uint8_t version = bmc->Identity().ipmiVersion;
        // Get Device ID keeps the major version in the low nibble, SMBIOS
        // in the high one.
        config.ipmiRevision = static_cast<std::uint8_t>((version & 0x0F) << 4 | version >> 4);
    }
    config.ipmiRevision = static_cast<std::uint8_t>(
        SettingNumber(settings, "smbios.ipmi.revision", config.ipmiRevision, 0xFF));
    if (const auto* bios = machine.Find<BiosFlashService>()) {
        config.biosVersion = bios->Config().romId;
        config.romBytes = bios->Layout().romBytes;
    }
    return config;
}

SmbiosTables::SmbiosTables(Machine& machine, SmbiosConfig config) : mConfig(std::move(config)) {
    if (!mConfig.present) return;
    std::vector<Structure> structures = {BiosInformation(mConfig, 0), SystemInformation(1)};
    if (mConfig.ipmi) structures.push_back(IpmiDevice(mConfig, 2));
    structures.emplace_back(smbios::kEndOfTable, 4, 0x7F00);

    std::vector<std::uint8_t> table;
    std::size_t largest = 0;
    for (const Structure& structure : structures) {
        const std::vector<std::uint8_t> bytes = structure.Bytes();
        mStructures.push_back({structure.formatted[0], mConfig.tableAddress + table.size(),
                               structure.formatted.size(), bytes.size()});
        largest = std::max(largest, bytes.size());
        table.insert(table.end(), bytes.begin(), bytes.end());
    }
    Place(machine, "smbios.table_address", mConfig.tableAddress, table);
    if (mConfig.Offers32()) {
        Place(machine, "smbios.entry_point", mConfig.entryPoint,
              EntryPoint(mConfig, static_cast<std::uint16_t>(largest),
                         static_cast<std::uint16_t>(table.size()),
                         static_cast<std::uint16_t>(structures.size())));
    }
    if (mConfig.Offers64()) {
        Place(machine, "smbios.entry_point64", mConfig.entryPoint64,
              Sm3EntryPoint(mConfig, static_cast<std::uint32_t>(table.size())));
    }
}

std::optional<std::uint64_t> SmbiosTables::EntryPoint32() const {
    if (!mConfig.present || !mConfig.Offers32()) return std::nullopt;
    return mConfig.entryPoint;
}

std::optional<std::uint64_t> SmbiosTables::EntryPoint64() const {
    if (!mConfig.present || !mConfig.Offers64()) return std::nullopt;
    return mConfig.entryPoint64;
}

std::optional<std::uint64_t> SmbiosTables::AddressOf(std::uint8_t type) const {
    for (const Placed& placed : mStructures) {
        if (placed.type == type) return placed.address;
    }
    return std::nullopt;
}

void SmbiosTables::Describe(std::ostream& out) const {
    if (!mConfig.present) {
        out << "    no SMBIOS entry point\n";
        return;
    }
    char line[192];
    const char* placement = mConfig.efi ? " (UEFI: through the EFI system table)" : "";
    const auto table = static_cast<unsigned long long>(mConfig.tableAddress);
    if (mConfig.Offers32()) {
        std::snprintf(line, sizeof line,
                      "    entry point \"_SM_\" %u.%u at %05llXh, table at %08llXh%s\n",
                      mConfig.versionMajor, mConfig.versionMinor,
                      static_cast<unsigned long long>(mConfig.entryPoint), table, placement);
        out << line;
    }
    if (mConfig.Offers64()) {
        std::snprintf(line, sizeof line,
                      "    entry point \"_SM3_\" %u.%u.%u at %05llXh, table at %08llXh%s\n",
                      mConfig.versionMajor, mConfig.versionMinor, mConfig.docrev,
                      static_cast<unsigned long long>(mConfig.entryPoint64), table, placement);
        out << line;
    }
    for (const Placed& placed : mStructures) {
        std::snprintf(line, sizeof line,
                      "      type %3u at %08llXh, %zu bytes formatted, %zu in all\n", placed.type,
                      static_cast<unsigned long long>(placed.address), placed.formattedBytes,
                      placed.totalBytes);
        out << line;
    }
    if (mConfig.ipmi) {
        // The spacing is named only when the registers are not successive
        // bytes, so the common line reads as it always has.
        const std::string spacing =
            mConfig.ipmiSpacing == 1 ? "" : ", spacing " + std::to_string(mConfig.ipmiSpacing);
        std::snprintf(line, sizeof line,
                      "    IPMI device: interface type %u, base %llXh (%s%s), revision %02Xh\n",
                      mConfig.interfaceType, static_cast<unsigned long long>(mConfig.ipmiBase),
                      mConfig.ipmiIo ? "I/O" : "memory", spacing.c_str(), mConfig.ipmiRevision);
        out << line;
    }
}

}  // namespace sim
