// libpemric.so.9 as srvfw's SDR commands load it: the frame's library handle
// over the SDR library's table.
#ifndef SRVFW_HOST_SDR_LIBRARY_H
#define SRVFW_HOST_SDR_LIBRARY_H

#include <cstdint>
#include <tuple>

#include "host/frame/frame_options.h"
#include "host/frame/library_handle.h"
#include "include/pemric_interface.h"

namespace srvfw {

template <>
struct LibraryTraits<_EFI_SDR_INTERFACE> {
    static constexpr const char* kFile = "libpemric.so.9";
    static constexpr const char* kEntryPoint = "GetPemricInterface";
    static constexpr std::uint32_t kRevision = EFI_SDR_INTERFACE_REVISION;
    static constexpr const char* kNoun = "SDR library";
    static constexpr const char* kStringFile = "pemric/str/Pemric.str";
    static constexpr bool kTalksToBmc = true;

    static auto InitializeArguments(const FrameOptions& options) {
        return std::tuple(options.platform);
    }
};

using SdrLibrary = LibraryHandle<_EFI_SDR_INTERFACE>;

}  // namespace srvfw

#endif
