// Little-endian reads of table bytes that come from outside the library:
// the BIOS's flash (a firmware volume, its tables) or a host's buffer. Each
// read says whether the bytes were there, so a Size or length field that
// claims more than the buffer holds is a failed read, never a read past it.
#ifndef SRVFW_RASK_TABLE_BYTES_H
#define SRVFW_RASK_TABLE_BYTES_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace Rask_Private {

class TableBytes {
  public:
    TableBytes() = default;
    TableBytes(const std::uint8_t* data, std::size_t size)
        : mBytes(data == nullptr ? std::span<const std::uint8_t>() : std::span(data, size)) {}
    explicit TableBytes(std::span<const std::uint8_t> bytes) : mBytes(bytes) {}

    std::size_t Size() const { return mBytes.size(); }
    const std::uint8_t* Data() const { return mBytes.data(); }

    // Whether [offset, offset + length) lies inside the bytes; no sum can
    // wrap, whatever the two values.
    bool Contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= mBytes.size() && length <= mBytes.size() - offset;
    }

    std::optional<std::uint8_t> U8(std::uint64_t offset) const {
        return Read<std::uint8_t>(offset);
    }
    std::optional<std::uint16_t> U16(std::uint64_t offset) const {
        return Read<std::uint16_t>(offset);
    }
    std::optional<std::uint32_t> U24(std::uint64_t offset) const {
        if (!Contains(offset, 3)) return std::nullopt;
        const auto at = static_cast<std::size_t>(offset);
        return static_cast<std::uint32_t>(mBytes[at] | (mBytes[at + 1] << 8) |
                                          (mBytes[at + 2] << 16));
    }
    std::optional<std::uint32_t> U32(std::uint64_t offset) const {
        return Read<std::uint32_t>(offset);
    }
    std::optional<std::uint64_t> U64(std::uint64_t offset) const {
        return Read<std::uint64_t>(offset);
    }

    // Whether the bytes at offset are exactly these characters (a table's
    // HeaderSearch, a volume's signature); false when they are not there.
    bool HasText(std::uint64_t offset, std::string_view text) const {
        if (!Contains(offset, text.size())) return false;
        return std::memcmp(mBytes.data() + offset, text.data(), text.size()) == 0;
    }

    // Whether the bytes at offset are these (a GUID in its stored layout).
    bool HasBytes(std::uint64_t offset, std::span<const std::uint8_t> bytes) const {
        if (!Contains(offset, bytes.size())) return false;
        return std::memcmp(mBytes.data() + offset, bytes.data(), bytes.size()) == 0;
    }

    // The bytes from offset, at most length of them: empty when offset lies
    // past the end, cut at the end otherwise.
    TableBytes Sub(std::uint64_t offset, std::uint64_t length = UINT64_MAX) const {
        if (offset >= mBytes.size()) return TableBytes();
        const std::uint64_t left = mBytes.size() - offset;
        return TableBytes(mBytes.subspan(static_cast<std::size_t>(offset),
                                         static_cast<std::size_t>(length < left ? length : left)));
    }

  private:
    template <typename Value>
    std::optional<Value> Read(std::uint64_t offset) const {
        if (!Contains(offset, sizeof(Value))) return std::nullopt;
        Value value = 0;
        for (std::size_t i = sizeof(Value); i-- > 0;) {
            value = static_cast<Value>((static_cast<std::uint64_t>(value) << 8) |
                                       mBytes[static_cast<std::size_t>(offset) + i]);
        }
        return value;
    }

    std::span<const std::uint8_t> mBytes;
};

}  // namespace Rask_Private

#endif
