// liborvel.so.9 loaded and started: its table, and calls through it that
// turn a failing status into a Failure carrying the library's own message.
#ifndef SRVFW_HOST_FRU_LIBRARY_H
#define SRVFW_HOST_FRU_LIBRARY_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "host/frame/exit_codes.h"
#include "host/frame/failure.h"
#include "host/frame/frame_options.h"
#include "host/frame/imb_driver_library.h"
#include "host/frame/library_places.h"
#include "host/frame/shared_library.h"
#include "include/orvel_interface.h"

namespace srvfw {

inline constexpr const char* kFruLibraryFile = "liborvel.so.9";

class FruLibrary {
  public:
    // Loads the library from the library folder and initializes it with the
    // resource folder as the current directory (the library opens
    // "enus/orvel/str/orvel.str" relative to it), then sets the debug level
    // and srvfw's progress callback. Throws a Failure (not loadable).
    FruLibrary(const LibraryPlaces& places, const FrameOptions& options);
    FruLibrary(const FruLibrary&) = delete;
    FruLibrary& operator=(const FruLibrary&) = delete;
    ~FruLibrary();

    // Calls a table entry and returns its status.
    template <class... Params, class... Args>
    std::uint32_t Try(std::string_view what,
                      std::uint32_t (*EFI_FRU_INTERFACE::*entry)(EFI_FRU_INTERFACE*, Params...),
                      Args&&... args) {
        const auto function = mTable->*entry;
        if (function == nullptr) {
            throw Failure(ExitCode::kNotLoadable,
                          "the FRU library's table has no entry for " + std::string(what));
        }
        return function(mTable, std::forward<Args>(args)...);
    }

    // Calls a table entry; a failing status throws (a failed library call).
    template <class... Params, class... Args>
    void Call(std::string_view what,
              std::uint32_t (*EFI_FRU_INTERFACE::*entry)(EFI_FRU_INTERFACE*, Params...),
              Args&&... args) {
        const std::uint32_t status = Try(what, entry, std::forward<Args>(args)...);
        if (status != 0) throw Fail(ExitCode::kLibraryCall, what, status);
    }

    // The Failure for a failing status: what srvfw was doing, the library's
    // last-error text (fetched now, so call this right after the failure).
    Failure Fail(ExitCode code, std::string_view what, std::uint32_t status);
    // The library's last-error text in UTF-8, empty when it has none. Asking
    // also forgets it: the library keeps a text until it is fetched.
    std::string TakeLastError();

  private:
    void Start(const LibraryPlaces& places, const FrameOptions& options);
    // DeInitialize, also from the destructor.
    void Stop() noexcept;

    // Before the library, which takes its IMB driver functions from it.
    std::unique_ptr<ImbDriverLibrary> mImbDriver;
    SharedLibrary mLibrary;
    EFI_FRU_INTERFACE* mTable = nullptr;
};

}  // namespace srvfw

#endif
