// The SMBIOS tables the simulated BIOS leaves in memory at start: a 32-bit
// entry point ("_SM_", with its "_DMI_" intermediate part), a 64-bit one
// ("_SM3_"), or both, in the F0000h segment, and a structure table in RAM
// with
//   type 0   BIOS information (vendor, the installed ROM ID as version,
//            release date, ROM size of the BIOS flash)
//   type 1   system information
//   type 38  IPMI device information (unless smbios.ipmi=0)
//   type 127 end of table
// each followed by its string set (two zero bytes when it has none).
//
// Entry point (31 bytes): +0 "_SM_"; +4 checksum (the 31 bytes sum to 0);
// +5 length 1Fh; +6 version 2, +7 7; +8 largest structure; +0Ah revision 0;
// +0Bh 5 zero bytes; +10h "_DMI_"; +15h checksum of +10h..+1Eh; +16h table
// length; +18h table address; +1Ch number of structures; +1Eh BCD revision
// 27h.
// 64-bit entry point (24 bytes, SMBIOS 3.0 and later): +0 "_SM3_"; +5
// checksum (the 24 bytes sum to 0); +6 length 18h; +7 major version; +8
// minor; +9 docrev; +0Ah entry point revision 01h; +0Bh reserved 0; +0Ch
// structure table maximum size (32 bits); +10h structure table address (64
// bits). It states no structure count: a reader stops at type 127. When
// the firmware offers both, they describe the same table, as DMTF's
// DSP0134 asks.
// Type 38 (18 bytes): +4 interface type (1 KCS, 2 SMIC, 3 BT, 4 SSIF);
// +5 IPMI revision (BCD, high nibble major: 20h); +6 BMC slave address
// 20h; +7 NV storage device FFh (none); +8 base address (64 bits, bit 0
// set for I/O space); +10h base address modifier (bits 7:6 register
// spacing 00b = successive bytes, bit 4 the address's bit 0, bit 3 no
// interrupt information); +11h interrupt 0.
//
// Placement: the BIOS flash service keeps its "$ASF" anchor at F7F30h and
// its information segment at E0000h (tables from E0040h), so by default the
// entry point lies at F1000h and the table at E8000h, clear of both; a
// 64-bit entry point beside a 32-bit one at F1020h.
//
// UEFI firmware (smbios.efi=1) leaves nothing in the F0000h segment: it
// hands the entry points to the operating system through the EFI system
// table, and entry points and table lie in RAM above 1 MiB, which strict
// /dev/mem refuses to map; the kernel's copies in sysfs
// (sim/smbios/kernel_dmi_sysfs.h) are the way to them. By default they lie in
// the last 64 KB of RAM: the 32-bit entry point at its start, the 64-bit
// one 20h above, the table 100h above.
//
// Settings:
//   smbios.present=1           0: no entry point and no table
//   smbios.entry_points=32     which entry points the firmware offers: 32
//                              ("_SM_"), 64 ("_SM3_") or both (QEMU's
//                              smbios-entry-point-type gives one of them)
//   smbios.version=            MAJOR.MINOR[.DOCREV] both entry points state
//                              (default 2.7 with the 32-bit one alone, 3.0
//                              once the 64-bit one is offered)
//   smbios.efi=0               1: UEFI placement (above)
//   smbios.entry_point=0xF1000 the 32-bit one: anywhere F0000h..FFFE1h (in
//                              RAM with smbios.efi=1); firmware puts it on
//                              a 16-byte boundary, another address models
//                              one that a search must not find
//   smbios.entry_point64=      the 64-bit one, likewise (F0000h..FFFE8h):
//                              default F1000h alone, F1020h beside the
//                              32-bit one
//   smbios.table_address=0xE8000   must be RAM
//   smbios.table_length=       the length the entry point states (default:
//                              the table's)
//   smbios.structure_count=    the count it states (default: the table's;
//                              2 leaves type 38 out of the counted ones)
//   smbios.table_max_size=     the maximum size the 64-bit one states
//                              (default: the table's length)
//   smbios.ipmi=1              0: no type 38 structure
//   smbios.ipmi.interface=1    its interface type
//   smbios.ipmi.base=          the base address it states (default: the
//                              KCS interface's, kcs.base)
//   smbios.ipmi.io=1           0: the base is a memory address (bit 0 clear)
//   smbios.ipmi.spacing=       register spacing in bytes, 1, 4 or 16
//                              (default: the KCS interface's, kcs.spacing)
//   smbios.ipmi.lsb=           bit 4 of the modifier (default: the base's
//                              bit 0), to state a base other than the
//                              interface's
//   smbios.ipmi.revision=      default: the BMC's IPMI version (Get Device
//                              ID's 02h becomes 20h)
// Damaged tables (a wrong checksum, a structure whose length runs off the
// end) are made with memory.poke (sim/core/memory_pokes.h) at the addresses
// "simctl DIR show" lists.
#ifndef SRVFW_SIM_SMBIOS_SMBIOS_H
#define SRVFW_SIM_SMBIOS_SMBIOS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/core/machine.h"

namespace sim {

namespace smbios {

inline constexpr char kAnchor[] = "_SM_";
inline constexpr char kIntermediateAnchor[] = "_DMI_";
inline constexpr std::uint8_t kEntryPointBytes = 0x1F;
inline constexpr char kAnchor64[] = "_SM3_";
inline constexpr std::uint8_t kEntryPoint64Bytes = 0x18;

enum EntryPointField : unsigned {
    kChecksum = 0x04,
    kLength = 0x05,
    kMajorVersion = 0x06,
    kMinorVersion = 0x07,
    kMaxStructure = 0x08,
    kIntermediate = 0x10,
    kIntermediateChecksum = 0x15,
    kTableLength = 0x16,
    kTableAddress = 0x18,
    kStructureCount = 0x1C,
    kBcdRevision = 0x1E,
};

enum EntryPoint64Field : unsigned {
    kChecksum64 = 0x05,
    kLength64 = 0x06,
    kMajorVersion64 = 0x07,
    kMinorVersion64 = 0x08,
    kDocrev64 = 0x09,
    kEntryPointRevision64 = 0x0A,
    kMaxTableSize64 = 0x0C,
    kTableAddress64 = 0x10,
};

enum StructureType : std::uint8_t {
    kBiosInformation = 0,
    kSystemInformation = 1,
    kIpmiDevice = 38,
    kEndOfTable = 127,
};

enum IpmiField : unsigned {
    kInterfaceType = 0x04,
    kIpmiRevision = 0x05,
    kBmcAddress = 0x06,
    kNvStorage = 0x07,
    kBaseAddress = 0x08,
    kBaseModifier = 0x10,
    kInterrupt = 0x11,
};
inline constexpr std::uint8_t kIpmiDeviceBytes = 0x12;

enum InterfaceType : std::uint8_t { kUnknown = 0, kKcs = 1, kSmic = 2, kBt = 3, kSsif = 4 };

enum class EntryPoints { k32, k64, kBoth };

}  // namespace smbios

struct SmbiosConfig {
    bool present = true;
    smbios::EntryPoints entryPoints = smbios::EntryPoints::k32;
    bool efi = false;
    std::uint8_t versionMajor = 2;
    std::uint8_t versionMinor = 7;
    std::uint8_t docrev = 0;
    std::uint64_t entryPoint = 0xF1000;
    std::uint64_t entryPoint64 = 0xF1000;
    std::uint64_t tableAddress = 0xE8000;
    std::optional<std::uint16_t> tableLength;
    std::optional<std::uint16_t> structureCount;
    std::optional<std::uint32_t> tableMaxSize;
    bool ipmi = true;
    std::uint8_t interfaceType = smbios::kKcs;
    std::uint64_t ipmiBase = 0xCA2;
    bool ipmiIo = true;
    unsigned ipmiSpacing = 1;
    std::optional<bool> ipmiLsb;
    std::uint8_t ipmiRevision = 0x20;
    // What the BIOS knows of itself, for type 0.
    std::string biosVersion;
    std::uint32_t romBytes = 0;

    // From the settings and the machine's components already built (the
    // KCS interface's base, the BMC's IPMI version, the BIOS flash).
    // Throws std::invalid_argument naming a setting that cannot be
    // understood or built.
    static SmbiosConfig FromMachine(Machine& machine);

    bool Offers32() const { return entryPoints != smbios::EntryPoints::k64; }
    bool Offers64() const { return entryPoints != smbios::EntryPoints::k32; }
};

class SmbiosTables : public Device {
  public:
    SmbiosTables(Machine& machine, SmbiosConfig config);

    std::string Name() const override { return "smbios"; }
    void Describe(std::ostream& out) const override;

    const SmbiosConfig& Config() const { return mConfig; }
    // Where each structure was laid, in table order.
    struct Placed {
        std::uint8_t type;
        std::uint64_t address;
        std::size_t formattedBytes;
        std::size_t totalBytes;  // with its strings
    };
    const std::vector<Placed>& Structures() const { return mStructures; }
    std::optional<std::uint64_t> AddressOf(std::uint8_t type) const;
    // Where the firmware put each entry point it offers (the addresses the
    // EFI system table hands the kernel on a UEFI machine).
    std::optional<std::uint64_t> EntryPoint32() const;
    std::optional<std::uint64_t> EntryPoint64() const;

  private:
    SmbiosConfig mConfig;
    std::vector<Placed> mStructures;
};

}  // namespace sim

#endif
