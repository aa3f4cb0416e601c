// The options every command takes: where the libraries, their string files
// and the simulated server are, how a library is set up, and the output form.
#ifndef SRVFW_HOST_FRAME_FRAME_OPTIONS_H
#define SRVFW_HOST_FRAME_FRAME_OPTIONS_H

#include <filesystem>
#include <optional>
#include <string>

#include "host/frame/arguments.h"

namespace srvfw {

// How the IPMI libraries reach the BMC (--interface).
enum class BmcInterface {
    kAuto,    // the kernel's IPMI driver when its device opens, else the KCS ports
    kDriver,  // the kernel's IPMI driver only
    kPorts,   // the KCS ports, even under a kernel driver ("kcs")
};

struct FrameOptions {
    // Paths are absolute: the libraries run with another current directory
    // while they start.
    std::optional<std::filesystem::path> simDir;
    std::optional<std::filesystem::path> libDir;
    std::optional<std::filesystem::path> resDir;
    int platform = 0;
    // 0 unless asked for: a library then writes no DBGLOG.txt.
    unsigned debugLevel = 0;
    std::optional<std::string> language;  // with country, from --locale
    std::optional<std::string> country;
    BmcInterface bmcInterface = BmcInterface::kAuto;
    bool json = false;
    bool help = false;
};

// Takes the frame's options out of the command line; usage errors throw.
FrameOptions TakeFrameOptions(Arguments& arguments);

}  // namespace srvfw

#endif
