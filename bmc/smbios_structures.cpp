// The walk over the SMBIOS structure table and the IPMI device information
// record (type 38).
#include <optional>

#include "bmc/interface_report.h"
#include "bmc/smbios_discovery.h"

namespace {

// Structure header: type, formatted length, handle.
constexpr std::size_t kTypeAndLength = 2;
constexpr std::uint8_t kIpmiDeviceType = 38;
constexpr std::uint8_t kEndOfTableType = 127;

// Type 38 fields.
constexpr std::size_t kInterfaceType = 0x04;
constexpr std::size_t kBaseAddress = 0x08;  // u64; a port address needs only the low word
constexpr std::size_t kIpmiRecordFieldsEnd = kBaseAddress + 2;
// Base address modifier, in records long enough to have it: the register
// spacing in bits 7:6 and the address's bit 0 in bit 4 (bit 0 of the base
// address field itself is the I/O-space flag).
constexpr std::size_t kAddressModifier = 0x10;
constexpr std::uint8_t kAddressLsb = 0x10;
constexpr unsigned kSpacingShift = 6;
constexpr std::uint8_t kRegisterSpacings[] = {1, 4, 16};  // 11b is reserved

constexpr std::uint8_t kKcsInterface = 1;
constexpr std::uint16_t kIoSpaceFlag = 0x0001;

const wchar_t* InterfaceName(std::uint8_t type) {
    switch (type) {
        case 2:
            return L"SMIC";
        case 3:
            return L"BT";
        case 4:
            return L"SSIF";
        default:
            return L"unknown";
    }
}

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

// The offset just past the structure's string set: the strings end with a
// zero word. Nothing when the set runs off the table.
std::optional<std::size_t> SkipStrings(std::span<const std::uint8_t> table, std::size_t offset) {
    for (; offset + 2 <= table.size(); ++offset) {
        if (Word(table, offset) == 0) return offset + 2;
    }
    return std::nullopt;
}

SmbiosIpmiInterface DecodeIpmiRecord(std::span<const std::uint8_t> record) {
    // A record too short for its base address would have us read its
    // strings as the address.
    if (record.size() < kIpmiRecordFieldsEnd) {
        return {SmbiosIpmiOutcome::kNoIpmiRecord, 0, 1,
                FormatReport(L"the SMBIOS IPMI record is too short (%u bytes)",
                             static_cast<unsigned>(record.size()))};
    }
    const std::uint8_t type = record[kInterfaceType];
    if (type != kKcsInterface) {
        return {SmbiosIpmiOutcome::kNotKcs, 0, 1,
                FormatReport(L"SMBIOS names a %ls system interface (type %u), not KCS",
                             InterfaceName(type), type)};
    }
    auto base = static_cast<std::uint16_t>(Word(record, kBaseAddress) & ~kIoSpaceFlag);
    std::uint8_t spacing = 1;
    if (record.size() > kAddressModifier) {
        const std::uint8_t modifier = record[kAddressModifier];
        if ((modifier & kAddressLsb) != 0) base |= 1;
        const unsigned code = modifier >> kSpacingShift;
        if (code >= std::size(kRegisterSpacings)) {
            return {SmbiosIpmiOutcome::kNotKcs, 0, 1,
                    FormatReport(L"the SMBIOS IPMI record gives a reserved register spacing "
                                 L"(modifier %02Xh)",
                                 modifier)};
        }
        spacing = kRegisterSpacings[code];
    }
    return {SmbiosIpmiOutcome::kKcs, base, spacing, {}};
}

}  // namespace

SmbiosIpmiInterface FindIpmiRecord(std::span<const std::uint8_t> table,
                                   std::optional<std::uint16_t> count) {
    const auto notFound = [](const wchar_t* why) {
        return SmbiosIpmiInterface{SmbiosIpmiOutcome::kNoIpmiRecord, 0, 1,
                                   why != nullptr ? std::wstring(why) : std::wstring()};
    };
    constexpr const wchar_t* kRunsOff =
        L"the SMBIOS structure table is damaged (a structure runs past its end)";
    std::size_t offset = 0;
    for (unsigned i = 0; !count || i < *count; ++i) {
        if (offset + kTypeAndLength > table.size()) {
            // The stated end of a table without a count is its end.
            return notFound(count ? kRunsOff : nullptr);
        }
        const std::uint8_t type = table[offset];
        const std::uint8_t length = table[offset + 1];
        if (length < kTypeAndLength || offset + length > table.size()) return notFound(kRunsOff);
        if (type == kIpmiDeviceType) return DecodeIpmiRecord(table.subspan(offset, length));
        if (!count && type == kEndOfTableType) break;
        const std::optional<std::size_t> next = SkipStrings(table, offset + length);
        if (!next) return notFound(kRunsOff);
        offset = *next;
    }
    return notFound(nullptr);
}
