#include "sim/flash/flash_array.h"

#include <algorithm>
#include <fstream>

namespace sim {

void FlashArray::Erase(std::size_t offset, std::size_t length) {
    std::fill_n(mCells.begin() + static_cast<std::ptrdiff_t>(offset), length, 0xFF);
}

void FlashArray::Program(std::size_t offset, std::span<const std::uint8_t> data) {
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto stuck = mStuckAtOne.find(offset + i);
        const std::uint8_t keep = stuck == mStuckAtOne.end() ? 0 : stuck->second;
        mCells[offset + i] &= data[i] | keep;
    }
}

bool FlashArray::Fill(std::span<const std::uint8_t> image) {
    if (image.size() != mCells.size()) return false;
    std::copy(image.begin(), image.end(), mCells.begin());
    return true;
}

bool FlashArray::Load(const std::filesystem::path& file) {
    std::error_code error;
    if (std::filesystem::file_size(file, error) != mCells.size() || error) return false;
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(mCells.data()), static_cast<std::streamsize>(mCells.size()));
    return static_cast<bool>(in);
}

bool FlashArray::Save(const std::filesystem::path& file) const {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(mCells.data()),
              static_cast<std::streamsize>(mCells.size()));
    return static_cast<bool>(out);
}

}  // namespace sim
