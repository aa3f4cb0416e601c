// One type/length field of an info area: the type/length byte as stored and
// the data bytes it announces.
#ifndef SRVFW_ORVEL_FRU_FIELD_H
#define SRVFW_ORVEL_FRU_FIELD_H

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "orvel/fru_format.h"

namespace Orvel_Private {

class CFruField {
  public:
    std::uint8_t GetTypeLength() const { return mTypeLength; }
    FRU_FIELD_TYPE GetType() const {
        return static_cast<FRU_FIELD_TYPE>(mTypeLength & kFieldTypeMask);
    }
    std::span<const std::uint8_t> GetData() const {
        return {mData.data(), static_cast<std::size_t>(mTypeLength & kFieldLengthMask)};
    }
    // Type/length byte and data, as the area stores them.
    std::uint32_t GetStoredSize() const { return 1 + GetData().size(); }

    // The type bits of `type` and the length of `data` (at most 63 bytes)
    // make the new type/length byte.
    void Set(FRU_FIELD_TYPE type, std::span<const std::uint8_t> data);

    // Reads the field at `position` of an area image and moves past it. The
    // data must end before the image does: every field is followed at least
    // by the end-of-fields marker.
    bool Read(std::span<const std::uint8_t> area, std::size_t& position);
    // Writes the field at `position` and moves past it; false when it does
    // not fit.
    bool Write(std::span<std::uint8_t> area, std::size_t& position) const;

    // The data decoded by the field's type (orvel/fru_encoding.h).
    std::wstring GetText() const;

  private:
    std::uint8_t mTypeLength = 0;
    std::array<std::uint8_t, kMaxFieldLength> mData{};
};

// A custom field is stored like a fixed one.
using CFruCustomField = CFruField;

}  // namespace Orvel_Private

#endif
