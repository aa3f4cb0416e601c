// One BIOS area read, erased, written and checked through the library a
// range at a time, each call with an area table naming that one range, so
// that srvfw can show a bar per phase (the library reports no progress)
// and, after a failure, knows how far each phase got.
#ifndef SRVFW_HOST_BIOS_AREA_IO_H
#define SRVFW_HOST_BIOS_AREA_IO_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/bios/flash_tables.h"
#include "host/bios/library.h"
#include "host/frame/progress.h"

namespace srvfw {

class AreaAccess {
  public:
    // Throws (does not fit) for an area whose ranges cannot be read or
    // written as its record describes them.
    AreaAccess(BiosLibrary& library, const BiosAreaTable& fat, const BiosArea& area);

    const BiosArea& Area() const { return mArea; }
    BiosLibrary& Library() { return mLibrary; }
    std::size_t Bytes() const { return static_cast<std::size_t>(mArea.size); }
    // "area 2 \"BIOS\"", for messages.
    std::string Named() const;

    // The area as the flash holds it, with a bar labelled `label`.
    std::vector<std::uint8_t> ReadAll(ProgressDisplay& progress, const std::wstring& label);
    // Range `index` of the flash into its place in `image`; the status.
    std::uint32_t TryRead(std::size_t index, std::span<std::uint8_t> image);

    // Every check the library makes before a write of `image`, writing
    // nothing; throws the library's refusal.
    void CheckWrite(std::span<std::uint8_t> image);

    // One range; the status, 0 on success.
    std::uint32_t TryErase(std::size_t index);
    std::uint32_t TryWrite(std::size_t index, std::span<std::uint8_t> image);

    // The failure for a status from one of the calls above.
    Failure Fail(const std::string& doing, std::size_t index, std::uint32_t status);
    // "block 3 at 0xFFF20000".
    std::string Block(std::size_t index) const;

  private:
    BiosLibrary& mLibrary;
    const BiosAreaTable& mFat;
    const BiosArea& mArea;
};

}  // namespace srvfw

#endif
