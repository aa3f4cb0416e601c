// libduvane.so.9 as srvfw's firmware commands load it: the frame's library
// handle over the firmware update library's table.
#ifndef SRVFW_HOST_FW_LIBRARY_H
#define SRVFW_HOST_FW_LIBRARY_H

#include <cstdint>
#include <tuple>

#include "host/frame/frame_options.h"
#include "host/frame/library_handle.h"
#include "include/duvane_interface.h"

namespace srvfw {

// The firmware library's display texts, which tell how an update goes (its
// banner, the waits, the staging area's erase), among the progress lines.
void ShowFirmwareDisplay(const wchar_t* text);

template <>
struct LibraryTraits<_EFI_DUVANE_INTERFACE> {
    static constexpr const char* kFile = "libduvane.so.9";
    static constexpr const char* kEntryPoint = "GetDirectFwUpdateInterface";
    static constexpr std::uint32_t kRevision = EFI_DUVANE_INTERFACE_REVISION;
    static constexpr const char* kNoun = "firmware library";
    static constexpr const char* kStringFile = "duvane/str/Duvane.str";
    static constexpr bool kTalksToBmc = true;

    static auto InitializeArguments(const FrameOptions& options) {
        return std::tuple(options.platform);
    }
    static void Display(const wchar_t* text) { ShowFirmwareDisplay(text); }
};

using FwLibrary = LibraryHandle<_EFI_DUVANE_INTERFACE>;

}  // namespace srvfw

#endif
