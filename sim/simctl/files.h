// The files simctl writes: images it builds and contents it takes out of
// a part, written whole, with the failure reported once for every command.
#ifndef SRVFW_SIM_SIMCTL_FILES_H
#define SRVFW_SIM_SIMCTL_FILES_H

#include <cstdint>
#include <filesystem>
#include <span>

namespace simctl {

// The bytes as the whole file; false (with the message printed) when it
// cannot be written.
bool WriteFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes);

}  // namespace simctl

#endif
