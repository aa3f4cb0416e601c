// The fields of the information blocks: little-endian numbers and NUL-padded
// ASCII texts at fixed offsets of a block's copy.
#ifndef SRVFW_DUVANE_FW_BLOCK_FIELDS_H
#define SRVFW_DUVANE_FW_BLOCK_FIELDS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace DirectFwUpdate_Private {

inline std::uint16_t U16At(std::span<const std::uint8_t> block, std::size_t offset) {
    return static_cast<std::uint16_t>(block[offset] | block[offset + 1] << 8);
}

inline std::uint32_t U32At(std::span<const std::uint8_t> block, std::size_t offset) {
    return static_cast<std::uint32_t>(U16At(block, offset)) |
           static_cast<std::uint32_t>(U16At(block, offset + 2)) << 16;
}

// The text up to its first NUL, each byte one wide character.
template <std::size_t N>
void WidenField(std::span<const std::uint8_t> field, std::array<wchar_t, N>& out) {
    static_assert(N > 0);
    out.fill(L'\0');
    for (std::size_t i = 0; i < field.size() && i + 1 < N && field[i] != 0; ++i) out[i] = field[i];
}

}  // namespace DirectFwUpdate_Private

#endif
