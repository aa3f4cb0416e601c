// Sensor Data Records as the SDR repository keeps them: raw bytes, a
// 5-byte header (record ID LS MS, SDR version, record type, length of the
// bytes after the header) and the record's body. The repository does not
// look inside a body; only the builder (sim/bmc/sdr/sdr_record_builder.h) knows
// the layouts.
#ifndef SRVFW_SIM_BMC_SDR_SDR_RECORDS_H
#define SRVFW_SIM_BMC_SDR_SDR_RECORDS_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sim::sdr {

inline constexpr std::size_t kHeaderBytes = 5;
inline constexpr std::size_t kLengthByte = 4;
inline constexpr std::size_t kTypeByte = 3;
inline constexpr std::uint8_t kSdrVersion = 0x51;  // records of IPMI v1.5 and 2.0
// Record IDs Get SDR gives a meaning of their own: the first and the last
// record, and the end of the chain.
inline constexpr std::uint16_t kFirstRecord = 0x0000;
inline constexpr std::uint16_t kLastRecord = 0xFFFF;

using Record = std::vector<std::uint8_t>;

std::uint16_t RecordId(std::span<const std::uint8_t> record);
void SetRecordId(Record& record, std::uint16_t id);
std::uint8_t RecordType(std::span<const std::uint8_t> record);

// The records of an image of whole records laid end to end, or the reason
// it is not one (error not empty).
struct SplitImage {
    std::vector<Record> records;
    std::string error;
};
SplitImage SplitRecords(std::span<const std::uint8_t> image);
std::vector<std::uint8_t> JoinRecords(const std::vector<Record>& records);

// "01h full sensor", "15h unknown", for descriptions.
std::string TypeName(std::uint8_t type);

}  // namespace sim::sdr

#endif
