// The address rules of hex records, shared by the reader, which places the
// data records, and the record counts, which walk the records again.
#ifndef SRVFW_DUVANE_FW_HEX_ADDRESS_H
#define SRVFW_DUVANE_FW_HEX_ADDRESS_H

#include <cstdint>

#include "duvane/fw_file.h"

namespace DirectFwUpdate_Private {

// For an extended segment or linear address record, its base for the data
// records that follow; the reader refuses such a record without its two
// address bytes. False for any other record.
inline bool SetsBaseAddress(const VARNOHEXREC& record, std::uint32_t& base) {
    const std::uint32_t value = static_cast<std::uint32_t>(record.data[0] << 8 | record.data[1]);
    if (record.recordType == kHexSegmentAddressRecord) {
        base = value << 4;
        return true;
    }
    if (record.recordType == kHexLinearAddressRecord) {
        base = value << 16;
        return true;
    }
    return false;
}

// A data record's first address: 64 bits, so that a base near the top of
// the address space cannot wrap round into the buffer.
inline std::uint64_t DataAddress(const VARNOHEXREC& record, std::uint32_t base) {
    return std::uint64_t{base} + record.loadOffset;
}

}  // namespace DirectFwUpdate_Private

#endif
