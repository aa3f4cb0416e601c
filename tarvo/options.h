// What the command line asks of tarvo.
#ifndef SRVFW_TARVO_OPTIONS_H
#define SRVFW_TARVO_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo {

// A file name longer than this makes the command line invalid: cutting it
// could name another file.
constexpr std::size_t kMaxFileName = 127;
// At most this many non-critical block numbers may be given.
constexpr std::size_t kMaxBlockNumbers = 8;
// The byte that "/s" leaves in the image's signature flag.
constexpr std::uint8_t kSignatureLeftInBios = 0x12;

struct Options {
    std::string inputFile;
    bool inputGiven = false;
    std::string outputFile;
    bool outputGiven = false;
    bool checkRomId = true;
    std::string showFile;
    bool showFileGiven = false;
    bool compareOnly = false;
    bool programBootBlock = false;
    bool programNvram = false;
    bool destroyCmos = false;
    bool quiet = false;
    bool help = false;
    bool nonCriticalSelected = false;
    bool mainAndNonCritical = false;
    bool programMainBios = true;
    std::uint8_t signatureValue = 0;
    bool showRomId = false;
    std::vector<std::uint8_t> blockNumbers;  // may hold more than allowed; checked later
};

// Fills options from argv; false when the command line is invalid.
bool ParseCommandLine(int argc, const char* const* argv, Options& options);

}  // namespace tarvo

#endif
