// The internal use area: raw bytes without structure, at most 512. It shows
// as one field (its bytes in hexadecimal) when it holds any.
#ifndef SRVFW_ORVEL_FRU_INTERNAL_USE_AREA_H
#define SRVFW_ORVEL_FRU_INTERNAL_USE_AREA_H

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "orvel/fru_defs.h"
#include "orvel/fru_format.h"

namespace Orvel_Private {

class CInternalUseArea {
  public:
    // Takes the bytes as the area's contents and, when `modified` is true,
    // marks the area modified. More than 512 bytes are refused and leave the
    // area as it was: cutting them would lose data when the area is written
    // back.
    bool SetData(std::span<const std::uint8_t> bytes, bool modified);
    std::span<const std::uint8_t> GetData() const;
    std::uint32_t GetLength() const;
    bool IsValid() const;

    std::uint32_t GetNumberOfFields() const;
    std::uint32_t GetFieldIndexFromEnum(std::uint32_t field) const;
    const wchar_t* GetFieldTitleFromIndex(std::uint32_t index) const;
    // "01 AB ...": upper-case hex, one blank between bytes. Owned by the
    // area until its next text request.
    const wchar_t* GetFieldValueFromIndex(std::uint32_t index);

    bool IsModified() const;
    void ResetIsModified();

  private:
    std::array<std::uint8_t, kMaxInternalUseLength> mData{};
    bool mModified = false;
    std::uint32_t mLength = 0;
    std::wstring mText;
};

}  // namespace Orvel_Private

#endif
