"""SDR repositories for the peer BMCs, and a reader of what a peer dumped.

The records follow the IPMI v1.5/v2.0 Sensor Data Record layouts byte for
byte: a 5-byte header (record ID, LS byte first; SDR version 51h; record
type; the number of bytes that follow), then the body of the type. Written
here, from the record tables, and not by our C++ simulator's builder, so
that a misreading of a layout cannot hide on both sides of a comparison.

Both BMCs number the records they are given themselves: QEMU's ipmi-bmc-sim
from 0 in file order, ipmi_sim from 1 in the order of its main_sdr_add
commands. The records are numbered here the same way, so that what a BMC
serves is exactly the bytes we made.
"""

from dataclasses import dataclass, field

SDR_VERSION = 0x51
BMC_ADDRESS = 0x20
# The ID each BMC gives the first record it is given.
FIRST_RECORD_ID = {"qemu": 0, "ipmi_sim": 1}

FULL, COMPACT, EVENT_ONLY, FRU_LOCATOR, MC_LOCATOR, OEM = 0x01, 0x02, 0x03, 0x11, 0x12, 0xC0

# Sensor types, event/reading type codes, entity IDs and units by their
# codes in the IPMI tables.
TEMPERATURE, VOLTAGE, FAN, POWER_SUPPLY, DRIVE_SLOT, SYSTEM_EVENT, WATCHDOG2 = (
    0x01, 0x02, 0x04, 0x08, 0x0D, 0x12, 0x23)
THRESHOLD, SENSOR_SPECIFIC = 0x01, 0x6F
PROCESSOR, DISK_BAY, SYSTEM_BOARD, POWER_SUPPLY_ENTITY, FAN_DEVICE, MGMT_CONTROLLER = (
    0x03, 0x04, 0x07, 0x0A, 0x1D, 0x2E)
DEGREES_C, VOLTS, RPM = 0x01, 0x04, 0x12


@dataclass
class Record:
    """One SDR: its bytes once numbered, and what a reader must find in them."""
    type: int
    body: bytes  # everything after the 5-byte header
    name: str = ""
    # The decoded fields the peers are compared on, by our names:
    # sensor_number, entity_id, entity_instance, sensor_type,
    # event_reading_type, slave_address, fru_device_id, manufacturer_id.
    fields: dict = field(default_factory=dict)
    id: int = 0

    @property
    def bytes(self) -> bytes:
        if len(self.body) > 0xFF:
            raise ValueError("an SDR body holds at most 255 bytes")
        return bytes([self.id & 0xFF, self.id >> 8, SDR_VERSION, self.type,
                      len(self.body)]) + self.body


def id_string(text: str) -> bytes:
    """Type/length byte (11b: 8-bit ASCII + Latin 1) and the string."""
    raw = text.encode("latin-1")
    if not 1 <= len(raw) <= 16:
        raise ValueError(f"ID string {text!r}: 1 to 16 bytes")
    return bytes([0xC0 | len(raw)]) + raw


def le16(value: int) -> bytes:
    return bytes([value & 0xFF, value >> 8])


def full_sensor(name: str, number: int, entity: int, instance: int, sensor_type: int,
                unit: int, m: int = 1, r_exp: int = 0, nominal: int = 0x40) -> Record:
    """A threshold sensor with linear conversion y = M * x * 10^R."""
    body = bytes([BMC_ADDRESS, 0x00, number, entity, instance,
                  0x7F,  # initialization: scanning, events, thresholds, hysteresis, type
                  0x68,  # capabilities: auto re-arm, hysteresis and thresholds settable
                  sensor_type, THRESHOLD])
    body += le16(0x0A95) + le16(0x7A95) + le16(0x3F3F)  # assertion/deassertion/threshold masks
    body += bytes([0x00, unit, 0x00,  # units: unsigned, base unit, no modifier
                   0x00,  # linear
                   m & 0xFF, (m >> 8) << 6,  # M, tolerance 0
                   0x00, 0x00,  # B, accuracy
                   0x00,  # accuracy, exponent, direction
                   (r_exp & 0x0F) << 4,  # R exponent, B exponent 0
                   0x07,  # nominal, normal maximum and minimum given
                   nominal, nominal + 0x30, nominal - 0x30, 0xFF, 0x00,
                   0xF0, 0xE0, 0xD0, 0x08, 0x10, 0x18,  # UNR UC UNC LNR LC LNC
                   0x02, 0x02,  # hysteresis
                   0x00, 0x00, 0x00])  # reserved, reserved, OEM
    body += id_string(name)
    return Record(FULL, body, name, {"sensor_number": number, "entity_id": entity,
                                     "entity_instance": instance, "sensor_type": sensor_type,
                                     "event_reading_type": THRESHOLD})


def compact_sensor(name: str, number: int, entity: int, instance: int, sensor_type: int,
                   reading_type: int = SENSOR_SPECIFIC) -> Record:
    body = bytes([BMC_ADDRESS, 0x00, number, entity, instance,
                  0x63,  # initialization: scanning, events, event generation and scanning on
                  0x40,  # capabilities: auto re-arm
                  sensor_type, reading_type])
    body += le16(0x000F) + le16(0x000F) + le16(0x000F)
    body += bytes([0x00, 0x00, 0x00,  # units: none
                   0x01, 0x00,  # record sharing: one sensor
                   0x00, 0x00,  # hysteresis
                   0x00, 0x00, 0x00, 0x00])  # reserved x3, OEM
    body += id_string(name)
    return Record(COMPACT, body, name, {"sensor_number": number, "entity_id": entity,
                                        "entity_instance": instance, "sensor_type": sensor_type,
                                        "event_reading_type": reading_type})


def event_only(name: str, number: int, entity: int, instance: int, sensor_type: int) -> Record:
    body = bytes([BMC_ADDRESS, 0x00, number, entity, instance, sensor_type, SENSOR_SPECIFIC,
                  0x01, 0x00,  # record sharing: one sensor
                  0x00, 0x00])  # reserved, OEM
    body += id_string(name)
    return Record(EVENT_ONLY, body, name, {"sensor_number": number, "entity_id": entity,
                                           "entity_instance": instance,
                                           "sensor_type": sensor_type,
                                           "event_reading_type": SENSOR_SPECIFIC})


def fru_locator(name: str, fru_id: int, entity: int, instance: int) -> Record:
    """A logical FRU device behind the BMC (read with Read FRU Data)."""
    body = bytes([BMC_ADDRESS, fru_id,
                  0x80,  # logical FRU device, LUN 0, private bus 0
                  0x00,  # channel 0
                  0x00,  # reserved
                  0x10, 0x00,  # device type: FRU inventory device behind a controller
                  entity, instance, 0x00])
    body += id_string(name)
    return Record(FRU_LOCATOR, body, name, {"slave_address": BMC_ADDRESS, "fru_device_id": fru_id,
                                            "entity_id": entity, "entity_instance": instance})


def mc_locator(name: str, address: int, channel: int, entity: int, instance: int) -> Record:
    body = bytes([address, channel & 0x0F,
                  0x00,  # no power state notification, events enabled
                  0x2F,  # capabilities: event generator, FRU, SEL, SDR repository, sensors
                  0x00, 0x00, 0x00, entity, instance, 0x00])
    body += id_string(name)
    return Record(MC_LOCATOR, body, name, {"slave_address": address, "entity_id": entity,
                                           "entity_instance": instance})


def oem(manufacturer: int, data: bytes) -> Record:
    body = manufacturer.to_bytes(3, "little") + data
    return Record(OEM, body, "", {"manufacturer_id": manufacturer})


def numbered(records: list[Record], first_id: int) -> list[Record]:
    for i, r in enumerate(records):
        r.id = first_id + i
    return records


def repository(first_id: int) -> list[Record]:
    """A small server's repository: every kind of record a BMC's SDRs hold."""
    return numbered([
        full_sensor("CPU1 Temp", 0x01, PROCESSOR, 1, TEMPERATURE, DEGREES_C),
        full_sensor("12V Rail", 0x10, SYSTEM_BOARD, 1, VOLTAGE, VOLTS, m=63, r_exp=-3,
                    nominal=0xBE),
        full_sensor("Fan 1A Tach", 0x20, FAN_DEVICE, 1, FAN, RPM, m=50),
        compact_sensor("PS1 Status", 0x30, POWER_SUPPLY_ENTITY, 1, POWER_SUPPLY),
        compact_sensor("Drive 0", 0x31, DISK_BAY, 1, DRIVE_SLOT),
        event_only("Sys Event", 0x40, SYSTEM_BOARD, 1, SYSTEM_EVENT),
        event_only("Watchdog2", 0x41, MGMT_CONTROLLER, 1, WATCHDOG2),
        fru_locator("Main Board FRU", 0, SYSTEM_BOARD, 1),
        fru_locator("PSU1 FRU", 2, POWER_SUPPLY_ENTITY, 1),
        mc_locator("BMC", BMC_ADDRESS, 0, MGMT_CONTROLLER, 1),
        oem(0x00D4A7, bytes([0x01, 0x02, 0x10, 0x20, 0x30, 0x40, 0x55, 0xAA])),
    ], first_id)


def large_repository(first_id: int, count: int = 200) -> list[Record]:
    """count records, mostly sensors, as a two-socket server's BMC holds."""
    out = []
    for i in range(count):
        kind = i % 20
        if kind < 12:
            out.append(full_sensor(f"Temp {i:03d}", i, PROCESSOR, 1 + i % 4, TEMPERATURE,
                                   DEGREES_C))
        elif kind < 17:
            out.append(compact_sensor(f"Slot {i:03d}", i, DISK_BAY, 1 + i % 8, DRIVE_SLOT))
        elif kind == 17:
            out.append(event_only(f"Event {i:03d}", i, SYSTEM_BOARD, 1, SYSTEM_EVENT))
        elif kind == 18:
            out.append(fru_locator(f"FRU {i:03d}", 1 + i // 20, SYSTEM_BOARD, 1 + i // 20))
        else:
            out.append(oem(0x00D4A7, bytes([i & 0xFF]) * 6))
    return numbered(out, first_id)


def sdr_file(records: list[Record]) -> bytes:
    """QEMU's sdrfile=: the records one after the other."""
    return b"".join(r.bytes for r in records)


SENSOR_TYPES = (FULL, COMPACT, EVENT_ONLY)


def emu_commands(records: list[Record], mc: int = BMC_ADDRESS) -> str:
    """ipmi_sim's command file lines that give its main repository the
    records, and the sensors they describe: a BMC owns the sensors of its
    SDRs, and FreeIPMI gives up on a sensor whose reading the BMC refuses."""
    lines = [f"main_sdr_add {mc:#04x} " + " ".join(f"{b:#04x}" for b in r.bytes)
             for r in records]
    for r in records:
        if r.type in SENSOR_TYPES:
            f = r.fields
            lines.append(f"sensor_add {mc:#04x} 0 {f['sensor_number']:#04x} "
                         f"{f['sensor_type']:#04x} {f['event_reading_type']:#04x}"
                         + (" event-only" if r.type == EVENT_ONLY else ""))
    return "".join(line + "\n" for line in lines)


# --- reading a dump back --------------------------------------------------

class SdrError(ValueError):
    pass


def split_records(data: bytes) -> list[bytes]:
    """A run of whole records (ipmitool's sdr dump file, QEMU's sdrfile),
    split by each header's length byte. Raises SdrError on a cut record."""
    out, pos = [], 0
    while pos < len(data):
        if pos + 5 > len(data):
            raise SdrError(f"a header cut short at byte {pos}")
        end = pos + 5 + data[pos + 4]
        if end > len(data):
            raise SdrError(f"record at byte {pos} runs past the end")
        out.append(data[pos:end])
        pos = end
    return out


def record_id(raw: bytes) -> int:
    return raw[0] | raw[1] << 8
