// The BIOS's flash tables and volume in words, for simctl: what each table
// holds, found by its signature in the tables section as an update program
// finds it, every read checked against the bytes there are.
#ifndef SRVFW_SIM_FIRMWARE_TABLES_DUMP_H
#define SRVFW_SIM_FIRMWARE_TABLES_DUMP_H

#include <cstdint>
#include <ostream>
#include <span>

namespace sim {

// The tables in a raw section's data.
void DescribeTables(std::span<const std::uint8_t> section, std::ostream& out);
// A volume (its header, its files and the tables in the tables file).
void DescribeVolume(std::span<const std::uint8_t> volume, std::ostream& out);

}  // namespace sim

#endif
