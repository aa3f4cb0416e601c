// The SMBIOS tables as the kernel's sysfs copies or physical memory give
// them: an entry point, and a structure table walked with or without a
// count. The first input byte splits the rest into the two.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "bmc/smbios_discovery.h"
#include "bmc/smbios_entry_point.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> input(data + 1, size - 1);
    const std::size_t split = std::min<std::size_t>(data[0], input.size());
    const std::span<const std::uint8_t> entryPoint = input.first(split);
    const std::span<const std::uint8_t> table = input.subspan(split);

    FindSmbiosEntryPoint(entryPoint);
    if (const auto location = ParseSmbiosEntryPoint(entryPoint)) {
        FindIpmiRecord(table, location->structureCount);
    }
    FindIpmiRecord(table, std::nullopt);
    return 0;
}
