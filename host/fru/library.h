// liborvel.so.9 as srvfw's FRU commands load it: the frame's library handle
// over the FRU library's table.
#ifndef SRVFW_HOST_FRU_LIBRARY_H
#define SRVFW_HOST_FRU_LIBRARY_H

#include <cstdint>
#include <tuple>

#include "host/frame/frame_options.h"
#include "host/frame/library_handle.h"
#include "include/orvel_interface.h"

namespace srvfw {

template <>
struct LibraryTraits<EFI_FRU_INTERFACE> {
    static constexpr const char* kFile = "liborvel.so.9";
    static constexpr const char* kEntryPoint = "GetOrvelInterface";
    static constexpr std::uint32_t kRevision = EFI_FRU_INTERFACE_REVISION;
    static constexpr const char* kNoun = "FRU library";
    static constexpr const char* kStringFile = "orvel/str/orvel.str";
    static constexpr bool kTalksToBmc = true;

    static auto InitializeArguments(const FrameOptions& options) {
        return std::tuple(options.platform);
    }
};

using FruLibrary = LibraryHandle<EFI_FRU_INTERFACE>;

}  // namespace srvfw

#endif
