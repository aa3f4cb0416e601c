#include "sim/smbios.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "sim/bios_flash.h"
#include "sim/bmc.h"
#include "sim/ipmi.h"
#include "sim/kcs_interface.h"
#include "sim/setting_lists.h"

namespace sim {

namespace {

constexpr std::uint64_t kEntrySegment = 0xF0000;
constexpr std::uint64_t kEntrySegmentEnd = 0x100000;
constexpr std::uint64_t kMaxWord = 0xFFFF;
constexpr std::uint64_t kMaxDword = 0xFFFFFFFF;
constexpr std::uint8_t kVersionMajor = 2;
constexpr std::uint8_t kVersionMinor = 7;
constexpr std::uint8_t kBcdRevision = 0x27;
constexpr std::uint32_t kRomSizeUnit = 64 * 1024;
constexpr std::uint16_t kBiosSegment = 0xE000;
constexpr std::uint8_t kNoNvStorage = 0xFF;
constexpr std::uint8_t kAddressBit0 = 0x10;  // base address modifier bit 4

void PutWord(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutDword(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    PutWord(bytes, at, static_cast<std::uint16_t>(value));
    PutWord(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
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
    f[smbios::kBaseModifier] = (config.ipmiBase & 1) ? kAddressBit0 : 0;
    f[smbios::kInterrupt] = 0;
    return ipmi;
}

std::vector<std::uint8_t> EntryPoint(const SmbiosConfig& config, std::uint16_t maxStructure,
                                     std::uint16_t tableLength, std::uint16_t count) {
    std::vector<std::uint8_t> entry(smbios::kEntryPointBytes);
    std::memcpy(entry.data(), smbios::kAnchor, 4);
    entry[smbios::kLength] = smbios::kEntryPointBytes;
    entry[smbios::kMajorVersion] = kVersionMajor;
    entry[smbios::kMinorVersion] = kVersionMinor;
    PutWord(entry, smbios::kMaxStructure, maxStructure);
    std::memcpy(entry.data() + smbios::kIntermediate, smbios::kIntermediateAnchor, 5);
    PutWord(entry, smbios::kTableLength, config.tableLength.value_or(tableLength));
    PutDword(entry, smbios::kTableAddress, static_cast<std::uint32_t>(config.tableAddress));
    PutWord(entry, smbios::kStructureCount, config.structureCount.value_or(count));
    entry[smbios::kBcdRevision] = kBcdRevision;
    entry[smbios::kIntermediateChecksum] =
        ipmi::Checksum(std::span(entry).subspan(smbios::kIntermediate));
    entry[smbios::kChecksum] = ipmi::Checksum(entry);
    return entry;
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
    config.entryPoint = SettingNumber(settings, "smbios.entry_point", config.entryPoint,
                                      kEntrySegmentEnd - smbios::kEntryPointBytes);
    if (config.entryPoint < kEntrySegment) {
        throw std::invalid_argument("smbios.entry_point: must lie in F0000h-FFFFFh");
    }
    config.tableAddress =
        SettingNumber(settings, "smbios.table_address", config.tableAddress, kMaxDword);
    config.tableLength = OptionalWord(settings, "smbios.table_length");
    config.structureCount = OptionalWord(settings, "smbios.structure_count");
    config.ipmi = SettingNumber(settings, "smbios.ipmi", 1, 1) != 0;
    config.interfaceType = static_cast<std::uint8_t>(
        SettingNumber(settings, "smbios.ipmi.interface", smbios::kKcs, 0xFF));
    if (const auto* kcs = machine.Find<KcsInterface>()) config.ipmiBase = kcs->Config().base;
    config.ipmiBase = SettingNumber(settings, "smbios.ipmi.base", config.ipmiBase);
    config.ipmiIo = SettingNumber(settings, "smbios.ipmi.io", 1, 1) != 0;
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
    Place(machine, "smbios.entry_point", mConfig.entryPoint,
          EntryPoint(mConfig, static_cast<std::uint16_t>(largest),
                     static_cast<std::uint16_t>(table.size()),
                     static_cast<std::uint16_t>(structures.size())));
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
    char line[128];
    std::snprintf(line, sizeof line,
                  "    entry point \"_SM_\" %u.%u at %05llXh, table at %08llXh\n", kVersionMajor,
                  kVersionMinor, static_cast<unsigned long long>(mConfig.entryPoint),
                  static_cast<unsigned long long>(mConfig.tableAddress));
    out << line;
    for (const Placed& placed : mStructures) {
        std::snprintf(line, sizeof line,
                      "      type %3u at %08llXh, %zu bytes formatted, %zu in all\n", placed.type,
                      static_cast<unsigned long long>(placed.address), placed.formattedBytes,
                      placed.totalBytes);
        out << line;
    }
    if (mConfig.ipmi) {
        std::snprintf(line, sizeof line,
                      "    IPMI device: interface type %u, base %llXh (%s), revision %02Xh\n",
                      mConfig.interfaceType, static_cast<unsigned long long>(mConfig.ipmiBase),
                      mConfig.ipmiIo ? "I/O" : "memory", mConfig.ipmiRevision);
        out << line;
    }
}

}  // namespace sim
