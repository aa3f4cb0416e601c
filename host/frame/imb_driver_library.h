// libsrvfw_imb.so loaded for the IPMI libraries: the IMB driver interface
// over the kernel's IPMI driver, and the choice (--interface) of how they
// reach the BMC. Loaded before a library, so that the library's imports of
// open_imb, close_imb and SendTimedImbpRequest bind to it.
#ifndef SRVFW_HOST_FRAME_IMB_DRIVER_LIBRARY_H
#define SRVFW_HOST_FRAME_IMB_DRIVER_LIBRARY_H

#include <filesystem>
#include <string>

#include "host/frame/frame_options.h"
#include "host/frame/shared_library.h"

namespace srvfw {

inline constexpr const char* kImbDriverLibraryFile = "libsrvfw_imb.so";

class ImbDriverLibrary {
  public:
    // Loads it from `folder` and settles the way to the BMC; throws a
    // Failure (not loadable) when the way asked for cannot be used, saying
    // why and what to do.
    ImbDriverLibrary(const std::filesystem::path& folder, BmcInterface choice);

    bool UsesDriver() const { return mUsesDriver; }
    // What went wrong with the last request through the driver, "" when
    // nothing did.
    std::string LastFailure() const;

  private:
    SharedLibrary mLibrary;
    bool mUsesDriver = false;
};

}  // namespace srvfw

#endif
