// The cells of a NOR flash part: erasing sets bytes to FFh, programming can
// only clear bits (new = old AND data), so data written over unerased cells
// comes out as the AND of both. Cells can be made to stick at 1, as worn
// cells do: programming no longer clears those bits.
#ifndef SRVFW_SIM_FLASH_FLASH_ARRAY_H
#define SRVFW_SIM_FLASH_FLASH_ARRAY_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <vector>

namespace sim {

class FlashArray {
  public:
    explicit FlashArray(std::size_t size) : mCells(size, 0xFF) {}

    std::size_t Size() const { return mCells.size(); }
    std::span<const std::uint8_t> Bytes() const { return mCells; }
    std::span<const std::uint8_t> Bytes(std::size_t offset, std::size_t length) const {
        return Bytes().subspan(offset, length);
    }

    // Ranges must lie inside the array (the caller checks requests first).
    void Erase(std::size_t offset, std::size_t length);
    void Program(std::size_t offset, std::span<const std::uint8_t> data);
    // Replaces the whole contents, as a programmer clip would; false when the
    // size differs.
    bool Fill(std::span<const std::uint8_t> image);

    void StickBits(std::size_t offset, std::uint8_t mask) { mStuckAtOne[offset] |= mask; }

    // The contents kept in a file; a file of another size is ignored (the
    // part was replaced by one of another size).
    bool Load(const std::filesystem::path& file);
    bool Save(const std::filesystem::path& file) const;

  private:
    std::vector<std::uint8_t> mCells;
    std::map<std::size_t, std::uint8_t> mStuckAtOne;
};

}  // namespace sim

#endif
