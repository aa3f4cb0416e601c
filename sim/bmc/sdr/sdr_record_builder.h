// Realistic Sensor Data Records of every type a client of the repository
// meets, byte for byte in the layouts of IPMI v1.5/2.0, for the default SDR
// set of a fresh server, for simctl build-sdr and for tests. Each builder
// gives the record ID 0000h; the repository (or SampleSet) numbers them.
#ifndef SRVFW_SIM_BMC_SDR_SDR_RECORD_BUILDER_H
#define SRVFW_SIM_BMC_SDR_SDR_RECORD_BUILDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bmc/sdr/sdr_records.h"

namespace sim::sdr {

// Record types, as byte 3 of the header names them.
enum RecordType : std::uint8_t {
    kFullSensor = 0x01,
    kCompactSensor = 0x02,
    kEventOnlySensor = 0x03,
    kEntityAssociation = 0x08,
    kDeviceRelativeEntityAssociation = 0x09,
    kGenericDeviceLocator = 0x10,
    kFruDeviceLocator = 0x11,
    kMcDeviceLocator = 0x12,
    kMcConfirmation = 0x13,
    kBmcMessageChannelInfo = 0x14,
    kOemRecord = 0xC0,
};
// A type no client knows, for trying how one copes with it.
inline constexpr std::uint8_t kUnknownType = 0x15;

// What a sensor record says about its sensor.
struct Sensor {
    std::uint8_t number = 0;
    std::uint8_t sensorType = 0;  // 01h temperature, 02h voltage, 04h fan...
    std::uint8_t entityId = 0;    // 03h processor, 07h system board...
    std::uint8_t entityInstance = 1;
    std::string name;  // up to 16 characters
};

Record FullSensor(const Sensor& sensor);
Record CompactSensor(const Sensor& sensor);
Record EventOnlySensor(const Sensor& sensor);
Record EntityAssociation();
Record DeviceRelativeEntityAssociation();
Record GenericDeviceLocator(const std::string& name);
Record FruDeviceLocator(std::uint8_t fruDeviceId, const std::string& name);
// The controller at slave address 20h, the BMC itself.
Record McDeviceLocator(const std::string& name);
Record McConfirmation();
Record BmcMessageChannelInfo();
Record OemRecord(std::uint32_t manufacturer, const std::vector<std::uint8_t>& data);
Record UnknownTypeRecord();

// The types BuildRecord makes, in the order it cycles through them: the
// eleven known ones, then the unknown one.
const std::vector<std::uint8_t>& BuildableTypes();
// A record of the type, the index varying its sensor number and name.
Record BuildRecord(std::uint8_t type, std::size_t index);
// count records cycling through BuildableTypes, numbered from 1.
std::vector<Record> SampleSet(std::size_t count);

// The records of a fresh server, numbered from 1: its temperature, voltage
// and fan sensors, a power supply, an event-only watchdog, the baseboard's
// FRU locator, the BMC's own locator and an OEM record.
std::vector<Record> DefaultSet();
// Numbers records 1, 2, 3... in order.
void NumberRecords(std::vector<Record>& records);

}  // namespace sim::sdr

#endif
