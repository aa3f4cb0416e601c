// librask.so.9 as srvfw's BIOS commands load it: the frame's library handle
// over the BIOS update library's table. The library has no string file, no
// progress or display callback and one language; its Initialize takes the
// platform and whether to skip the primary update (never asked for here),
// and when the open fails it can still say why.
#ifndef SRVFW_HOST_BIOS_LIBRARY_H
#define SRVFW_HOST_BIOS_LIBRARY_H

#include <cstdint>
#include <tuple>

#include "host/frame/frame_options.h"
#include "host/frame/library_handle.h"
#include "include/rask_interface.h"

namespace srvfw {

template <>
struct LibraryTraits<_EFI_RASK_IF> {
    static constexpr const char* kFile = "librask.so.9";
    static constexpr const char* kEntryPoint = "GetRaskInterface";
    static constexpr std::uint32_t kRevision = EFI_RASK_IF_REVISION;
    static constexpr const char* kNoun = "BIOS library";
    static constexpr const char* kStringFile = nullptr;
    static constexpr bool kTalksToBmc = false;
    static constexpr bool kTakesCallbacks = false;
    // Its object stays after an open that failed, with the open's text.
    static constexpr bool kExplainsFailedStart = true;

    static auto InitializeArguments(const FrameOptions& options) {
        return std::tuple(options.platform, false);
    }
};

using BiosLibrary = LibraryHandle<_EFI_RASK_IF>;

// The status the library gives for a buffer smaller than what it holds
// (the size it needs is then set).
inline constexpr std::uint32_t kRaskBufferTooSmall = 0xC00E0007;
// The status of an entry the library or this platform does not serve.
inline constexpr std::uint32_t kRaskUnsupported = 0xC00E001B;
// The status GetNotifyTbl gives where the BIOS keeps no notification table.
inline constexpr std::uint32_t kRaskNoNotifyTable = 0xC00E0010;

}  // namespace srvfw

#endif
