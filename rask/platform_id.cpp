// The platform ID, which only a dedicated driver in the place of the
// memory device answers: one request with a record of the buffer's size
// and address, which the driver fills with the ID as narrow text.
//
// The record is the driver's own layout for the build it serves. The i386
// build sends the 8 bytes that the request number C0084603h describes: a
// 32-bit size, then the 32-bit buffer address. An x86-64 address does not
// fit 32 bits, and a driver built for x86-64 from the same declaration
// (an unsigned size and a char pointer) lays the record out as 16 bytes,
// the size, 4 bytes of padding and a 64-bit address, and numbers its
// request by that size, C0104603h. The x86-64 build sends that record, so
// the buffer address always reaches the driver whole and is never cut.
#include <cstddef>
#include <cstdint>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "rask/flash_layer.h"

namespace Rask_Private {

namespace {

struct PlatformIdRecord {
    std::uint32_t size;
    char* buffer;
};

// The request's number: read and write ('F', 3) with the record's size in
// bits 29:16.
constexpr unsigned long PlatformIdRequestFor(std::size_t recordBytes) {
    return (kPlatformIdRequest & ~(0x3FFFul << 16)) | (recordBytes << 16);
}

#if defined(__i386__)
static_assert(sizeof(PlatformIdRecord) == 8 && offsetof(PlatformIdRecord, buffer) == 4);
static_assert(PlatformIdRequestFor(sizeof(PlatformIdRecord)) == kPlatformIdRequest);
#elif defined(__x86_64__)
static_assert(sizeof(PlatformIdRecord) == 16 && offsetof(PlatformIdRecord, buffer) == 8);
static_assert(PlatformIdRequestFor(sizeof(PlatformIdRecord)) == 0xC0104603);
#endif

}  // namespace

int FlashUDGetPlatformID(FlashDesc* h, unsigned size, char* buffer) {
    if (h == nullptr || size == 0 || buffer == nullptr) return FUL_INVALID_PARAMETER;
    PlatformIdRecord record{size, buffer};
    const int result =
        hw::IoctlDevice(h->Dev, PlatformIdRequestFor(sizeof(PlatformIdRecord)), &record);
    if (result != 0) Dbg(L"FlashUDGetPlatformID : Platform ID request failed.", 3);
    return result;
}

}  // namespace Rask_Private
