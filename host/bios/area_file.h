// The files of BIOS areas: an image read to be written (a regular file of
// exactly the area's size, read before anything is touched), and the
// images srvfw saves (new files only: root never writes through a name
// that is there already, a planted link included).
#ifndef SRVFW_HOST_BIOS_AREA_FILE_H
#define SRVFW_HOST_BIOS_AREA_FILE_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace srvfw {

// Throws a file failure when the file cannot be read or is not a regular
// file, and a does-not-fit failure when it is not `bytes` long; `area`
// names the area in the message.
std::vector<std::uint8_t> ReadAreaImage(const std::filesystem::path& file, std::size_t bytes,
                                        const std::string& area);

// Makes the file, which must not exist, and writes the bytes to it; a file
// failure otherwise, and nothing is left behind.
void WriteNewFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes);

}  // namespace srvfw

#endif
