#include "sim/bmc/sdr/sdr_record_builder.h"

#include <algorithm>
#include <stdexcept>

namespace sim::sdr {

namespace {

constexpr std::uint8_t kBmcAddress = 0x20;
constexpr std::size_t kMaxName = 16;
constexpr std::uint8_t kAsciiName = 0xC0;  // type/length byte: 8-bit ASCII + Latin-1
constexpr std::uint32_t kOurManufacturer = 0x002A7D;

// A record of the type with the body; the length byte follows the body.
Record WithHeader(std::uint8_t type, std::vector<std::uint8_t> body) {
    if (body.size() > 0xFF) throw std::logic_error("an SDR body of more than 255 bytes");
    Record record(kHeaderBytes + body.size());
    record[2] = kSdrVersion;
    record[kTypeByte] = type;
    record[kLengthByte] = static_cast<std::uint8_t>(body.size());
    std::copy(body.begin(), body.end(), record.begin() + kHeaderBytes);
    return record;
}

void AppendName(std::vector<std::uint8_t>& body, const std::string& name) {
    const std::size_t length = std::min(name.size(), kMaxName);
    body.push_back(static_cast<std::uint8_t>(kAsciiName | length));
    body.insert(body.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length));
}

void AppendManufacturer(std::vector<std::uint8_t>& body, std::uint32_t manufacturer) {
    for (int shift = 0; shift < 24; shift += 8) {
        body.push_back(static_cast<std::uint8_t>(manufacturer >> shift));
    }
}

// Owner, LUN, number, entity and the event fields the three sensor records
// share, up to the masks.
std::vector<std::uint8_t> SensorKey(const Sensor& sensor) {
    return {kBmcAddress, 0x00, sensor.number, sensor.entityId, sensor.entityInstance};
}

// Threshold sensors (event/reading type 01h) report readings; the others
// are discrete.
bool IsThreshold(const Sensor& sensor) {
    return sensor.sensorType <= 0x04;
}

// Assertion, deassertion and reading masks: every threshold event on a
// threshold sensor, the first two states on a discrete one.
void AppendMasks(std::vector<std::uint8_t>& body, const Sensor& sensor) {
    if (IsThreshold(sensor)) {
        body.insert(body.end(), {0x95, 0x0A, 0x95, 0x7A, 0x3F, 0x3F});
    } else {
        body.insert(body.end(), {0x03, 0x00, 0x03, 0x00, 0x03, 0x00});
    }
}

std::uint8_t Units(const Sensor& sensor) {
    switch (sensor.sensorType) {
        case 0x01:
            return 0x01;  // degrees C
        case 0x02:
            return 0x04;  // volts
        case 0x04:
            return 0x12;  // RPM
        default:
            return 0x00;
    }
}

}  // namespace

Record FullSensor(const Sensor& sensor) {
    std::vector<std::uint8_t> body = SensorKey(sensor);
    const bool threshold = IsThreshold(sensor);
    // Initialization (scanning, events, thresholds), capabilities
    // (auto re-arm, readable and settable thresholds), type, event/reading.
    body.insert(body.end(),
                {0x7F, static_cast<std::uint8_t>(threshold ? 0x68 : 0x40), sensor.sensorType,
                 static_cast<std::uint8_t>(threshold ? 0x01 : 0x6F)});
    AppendMasks(body, sensor);
    // Units 1..3, linear, M = 1 (tolerance 0), B = 0, accuracy, exponents,
    // analog flags, nominal, normal max/min, sensor max/min.
    body.insert(body.end(), {0x00, Units(sensor), 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0x07, 0x28, 0x50, 0x0A, 0xFF, 0x00});
    // Thresholds: upper non-recoverable, critical, non-critical, then lower;
    // hystereses; two reserved bytes; OEM.
    body.insert(body.end(), {0x64, 0x5F, 0x5A, 0x05, 0x0A, 0x0F, 0x02, 0x02, 0x00, 0x00, 0x00});
    AppendName(body, sensor.name);
    return WithHeader(kFullSensor, std::move(body));
}

Record CompactSensor(const Sensor& sensor) {
    std::vector<std::uint8_t> body = SensorKey(sensor);
    body.insert(body.end(), {0x67, 0x40, sensor.sensorType, 0x6F});
    AppendMasks(body, sensor);
    // Units 1..3, record sharing (one sensor), hystereses, three reserved
    // bytes, OEM.
    body.insert(body.end(),
                {0x00, Units(sensor), 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
    AppendName(body, sensor.name);
    return WithHeader(kCompactSensor, std::move(body));
}

Record EventOnlySensor(const Sensor& sensor) {
    std::vector<std::uint8_t> body = {
        kBmcAddress,       0x00, sensor.number, sensor.entityId, sensor.entityInstance,
        sensor.sensorType, 0x6F};
    // Record sharing (one sensor), reserved, OEM.
    body.insert(body.end(), {0x01, 0x00, 0x00, 0x00});
    AppendName(body, sensor.name);
    return WithHeader(kEventOnlySensor, std::move(body));
}

Record EntityAssociation() {
    // The system board (07h) contains processors 1 and 2 and the memory
    // device (20h) 1: a list, not a range.
    return WithHeader(kEntityAssociation,
                      {0x07, 0x01, 0x00, 0x03, 0x01, 0x03, 0x02, 0x20, 0x01, 0x00, 0x00});
}

Record DeviceRelativeEntityAssociation() {
    // The front panel board (0Ch) on the satellite at 2Ch contains its
    // temperature and power sensors' entities.
    std::vector<std::uint8_t> body = {0x0C, 0x61, 0x2C, 0x00, 0x00};
    body.insert(body.end(), {0x2C, 0x00, 0x37, 0x61, 0x2C, 0x00, 0x15, 0x61, 0x00, 0x00, 0x00, 0x00,
                             0x00, 0x00, 0x00, 0x00});
    body.insert(body.end(), 6, 0x00);  // reserved
    return WithHeader(kDeviceRelativeEntityAssociation, std::move(body));
}

Record GenericDeviceLocator(const std::string& name) {
    // A temperature sensor chip (LM75, device type 09h) at A0h on the
    // BMC's private bus 1.
    std::vector<std::uint8_t> body = {kBmcAddress, 0xA0, 0x03, 0x00, 0x00,
                                      0x09,        0x00, 0x07, 0x01, 0x00};
    AppendName(body, name);
    return WithHeader(kGenericDeviceLocator, std::move(body));
}

Record FruDeviceLocator(std::uint8_t fruDeviceId, const std::string& name) {
    // A logical FRU device served by the BMC (bit 7 of the access byte),
    // device type 10h (FRU inventory), on the system board.
    std::vector<std::uint8_t> body = {kBmcAddress, fruDeviceId, 0x80, 0x00, 0x00,
                                      0x10,        0x00,        0x07, 0x01, 0x00};
    AppendName(body, name);
    return WithHeader(kFruDeviceLocator, std::move(body));
}

Record McDeviceLocator(const std::string& name) {
    // Channel 0; ACPI power states not reported, events enabled; a
    // controller with SDRs, SEL, FRU, event receiver and chassis support.
    std::vector<std::uint8_t> body = {kBmcAddress, 0x00, 0x00, 0xBF, 0x00,
                                      0x00,        0x00, 0x2E, 0x01, 0x00};
    AppendName(body, name);
    return WithHeader(kMcDeviceLocator, std::move(body));
}

Record McConfirmation() {
    // The BMC's Get Device ID as it answered when the record was made:
    // device 20h revision 1, firmware 1.20, IPMI 2.0, then its GUID.
    std::vector<std::uint8_t> body = {kBmcAddress, 0x20, 0x01, 0x01, 0x20, 0x02};
    AppendManufacturer(body, kOurManufacturer);
    body.insert(body.end(), {0x00, 0x01});
    for (std::uint8_t i = 0; i < 16; ++i) body.push_back(static_cast<std::uint8_t>(0xA0 + i * 3));
    return WithHeader(kMcConfirmation, std::move(body));
}

Record BmcMessageChannelInfo() {
    // Channel 0 the IPMB (protocol 1), 1..6 unused, 7 the system interface
    // with transmit support; no interrupts; reserved.
    return WithHeader(kBmcMessageChannelInfo,
                      {0x81, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x85, 0xFF, 0xFF, 0x00});
}

Record OemRecord(std::uint32_t manufacturer, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> body;
    AppendManufacturer(body, manufacturer);
    body.insert(body.end(), data.begin(), data.end());
    return WithHeader(kOemRecord, std::move(body));
}

Record UnknownTypeRecord() {
    return WithHeader(kUnknownType, {0x20, 0x00, 0x5A, 0x07, 0x01, 0x12, 0x34, 0x56});
}

const std::vector<std::uint8_t>& BuildableTypes() {
    static const std::vector<std::uint8_t> kTypes = {kFullSensor,
                                                     kCompactSensor,
                                                     kEventOnlySensor,
                                                     kEntityAssociation,
                                                     kDeviceRelativeEntityAssociation,
                                                     kGenericDeviceLocator,
                                                     kFruDeviceLocator,
                                                     kMcDeviceLocator,
                                                     kMcConfirmation,
                                                     kBmcMessageChannelInfo,
                                                     kOemRecord,
                                                     kUnknownType};
    return kTypes;
}

Record BuildRecord(std::uint8_t type, std::size_t index) {
    const std::string suffix = std::to_string(index);
    const Sensor sensor{static_cast<std::uint8_t>(0x30 + index % 0xC0), 0x01, 0x03,
                        static_cast<std::uint8_t>(1 + index % 0x7F), "Sensor " + suffix};
    switch (type) {
        case kFullSensor:
            return FullSensor(sensor);
        case kCompactSensor:
            return CompactSensor(sensor);
        case kEventOnlySensor:
            return EventOnlySensor(sensor);
        case kEntityAssociation:
            return EntityAssociation();
        case kDeviceRelativeEntityAssociation:
            return DeviceRelativeEntityAssociation();
        case kGenericDeviceLocator:
            return GenericDeviceLocator("Temp chip " + suffix);
        case kFruDeviceLocator:
            return FruDeviceLocator(static_cast<std::uint8_t>(index % 0xFF), "FRU " + suffix);
        case kMcDeviceLocator:
            return McDeviceLocator("BMC " + suffix);
        case kMcConfirmation:
            return McConfirmation();
        case kBmcMessageChannelInfo:
            return BmcMessageChannelInfo();
        case kOemRecord:
            return OemRecord(kOurManufacturer, {0x01, static_cast<std::uint8_t>(index)});
        case kUnknownType:
            return UnknownTypeRecord();
        default:
            throw std::invalid_argument("no builder for record type " + TypeName(type));
    }
}

std::vector<Record> SampleSet(std::size_t count) {
    std::vector<Record> records;
    const std::vector<std::uint8_t>& types = BuildableTypes();
    for (std::size_t i = 0; i < count; ++i)
        records.push_back(BuildRecord(types[i % types.size()], i));
    NumberRecords(records);
    return records;
}

std::vector<Record> DefaultSet() {
    std::vector<Record> records = {
        McDeviceLocator("BMC"),
        FruDeviceLocator(0, "Baseboard FRU"),
        FullSensor({0x01, 0x01, 0x03, 1, "CPU1 Temp"}),
        FullSensor({0x02, 0x01, 0x07, 1, "Inlet Temp"}),
        FullSensor({0x10, 0x02, 0x07, 1, "12V"}),
        FullSensor({0x20, 0x04, 0x1D, 1, "System Fan 1"}),
        CompactSensor({0x30, 0x08, 0x0A, 1, "PSU1 Status"}),
        EventOnlySensor({0x40, 0x23, 0x07, 1, "Watchdog"}),
        OemRecord(kOurManufacturer, {0x01, 0x00, 0x10, 0x20}),
    };
    NumberRecords(records);
    return records;
}

void NumberRecords(std::vector<Record>& records) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        SetRecordId(records[i], static_cast<std::uint16_t>(i + 1));
    }
}

}  // namespace sim::sdr
