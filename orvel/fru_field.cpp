#include "orvel/fru_field.h"

#include <algorithm>

#include "orvel/fru_encoding.h"

namespace Orvel_Private {

void CFruField::Set(FRU_FIELD_TYPE type, std::span<const std::uint8_t> data) {
    const std::size_t length = std::min<std::size_t>(data.size(), kMaxFieldLength);
    mTypeLength = static_cast<std::uint8_t>((type & kFieldTypeMask) | length);
    std::copy_n(data.begin(), length, mData.begin());
}

bool CFruField::Read(std::span<const std::uint8_t> area, std::size_t& position) {
    if (position >= area.size()) return false;
    const std::uint8_t typeLength = area[position];
    const std::size_t end = position + 1 + FruDefs::DecodeLength(typeLength);
    if (end >= area.size()) return false;
    mTypeLength = typeLength;
    std::copy(area.begin() + position + 1, area.begin() + end, mData.begin());
    position = end;
    return true;
}

bool CFruField::Write(std::span<std::uint8_t> area, std::size_t& position) const {
    if (position + GetStoredSize() > area.size()) return false;
    area[position] = mTypeLength;
    std::ranges::copy(GetData(), area.begin() + position + 1);
    position += GetStoredSize();
    return true;
}

std::wstring CFruField::GetText() const {
    return DecodeFieldData(GetType(), GetData());
}

}  // namespace Orvel_Private
