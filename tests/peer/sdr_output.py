"""The SDR repository as srvfw, ipmitool and FreeIPMI's ipmi-sensors show
it, each record in the field names of sdr_image.Record.fields (sensor_number,
entity_id, entity_instance, sensor_type, event_reading_type, slave_address,
fru_device_id, manufacturer_id), so that they can be compared record by
record with the repository we made."""

import re

# --- srvfw --json ----------------------------------------------------------

# The library's field titles (strings/enus/pemric.strings) of the fields the
# peers are compared on.
SRVFW_TITLES = {
    "Sensor Number": "sensor_number",
    "Entity ID": "entity_id",
    "FRU Entity ID": "entity_id",
    "Entity Instance": "entity_instance",
    "FRU Entity Instance": "entity_instance",
    "Sensor Type": "sensor_type",
    "Event / Reading Type Code": "event_reading_type",
    "Device Access Address": "slave_address",
    "Device Slave Address": "slave_address",
    "FRU Device ID / Slave Address": "fru_device_id",
    "Manufacturer ID": "manufacturer_id",
}
SRVFW_ID_STRING_TITLE = "ID String"  # of the sensors and the locators alike


def leading_hex(value: str) -> int | None:
    """A field value such as "03h (Processor)" or "A7D400h": its code."""
    m = re.match(r"\s*([0-9A-Fa-f]+)h\b", value)
    return int(m.group(1), 16) if m else None


def record_order_id(value: str) -> int | None:
    """A manufacturer ID as the library shows it: its three bytes in record
    order, the first one most significant (as it shows record IDs), where
    IPMI stores the number low byte first. The number is the bytes
    reversed."""
    shown = leading_hex(value)
    if shown is None or shown > 0xFFFFFF:
        return None
    return int.from_bytes(shown.to_bytes(3, "big"), "little")


def srvfw_record_fields(record: dict) -> tuple[dict, str | None]:
    """(decoded fields by our names, the ID string) of one record of
    srvfw's JSON document."""
    fields, id_string = {}, None
    for f in record.get("fields", []):
        title, value = f.get("title", ""), f.get("value", "")
        if title in SRVFW_TITLES and SRVFW_TITLES[title] not in fields:
            name = SRVFW_TITLES[title]
            fields[name] = (record_order_id(value) if name == "manufacturer_id"
                            else leading_hex(value))
        elif title == SRVFW_ID_STRING_TITLE and id_string is None:
            id_string = value
    return fields, id_string


# --- ipmitool ---------------------------------------------------------------

def parse_ipmitool_elist(text: str) -> list[dict]:
    """ipmitool sdr elist: "name | NNh | status | E.I | text" a record."""
    out = []
    for line in text.splitlines():
        cols = [c.strip() for c in line.split("|")]
        if len(cols) != 5 or not re.fullmatch(r"[0-9A-Fa-f]{2}h", cols[1]):
            continue
        m = re.fullmatch(r"(\d+)\.(\d+)", cols[3])
        out.append({"name": cols[0], "sensor_number": int(cols[1][:2], 16),
                    "entity": (int(m.group(1)), int(m.group(2))) if m else None,
                    "text": cols[4]})
    return out


def parse_ipmitool_verbose(text: str) -> list[dict]:
    """ipmitool -v sdr list: one block of "Label : value" lines a record,
    each starting with "Sensor ID" or "Device ID" in the first column."""
    out = []
    for line in text.splitlines():
        m = re.match(r"^(\S.*?|\s\S.*?)\s*: ?(.*)$", line)
        if not m:
            continue
        label, value = m.group(1).strip(), m.group(2).strip()
        if not line.startswith(" ") and label in ("Sensor ID", "Device ID"):
            out.append({})
        if out and label not in out[-1]:
            out[-1][label] = value
    return [ipmitool_verbose_fields(b) for b in out]


def ipmitool_verbose_fields(block: dict) -> dict:
    rec = {}
    if "Sensor ID" in block:
        m = re.fullmatch(r"(.*) \(0x([0-9a-fA-F]+)\)", block["Sensor ID"])
        if m:
            rec["name"], rec["sensor_number"] = m.group(1), int(m.group(2), 16)
    else:
        rec["name"] = block.get("Device ID", "")
    m = re.match(r"(\d+)\.(\d+)", block.get("Entity ID", ""))
    if m:
        rec["entity_id"], rec["entity_instance"] = int(m.group(1)), int(m.group(2))
    for label, value in block.items():
        if label.startswith("Sensor Type"):
            t = re.search(r"\(0x([0-9a-fA-F]+)\)$", value)
            if t:
                rec["sensor_type"] = int(t.group(1), 16)
    for label, name in (("Device Access Address", "slave_address"),
                        ("Device Slave Address", "slave_address"),
                        ("Logical FRU Device", "fru_device_id")):
        if label in block:
            rec[name] = leading_hex(block[label])
    return rec


# --- FreeIPMI ---------------------------------------------------------------

def _number_in_parens(value: str) -> int | None:
    m = re.search(r"\((\d+)\)$", value)
    return int(m.group(1)) if m else None


def _hex_in_parens(value: str) -> int | None:
    m = re.search(r"\(([0-9A-Fa-f]+)h\)$", value)
    return int(m.group(1), 16) if m else None


def parse_ipmi_sensors(text: str) -> dict[int, dict]:
    """ipmi-sensors -vv: "Label: value" lines, a block for each record
    starting with "Record ID: N". Record ID -> fields by our names, with
    "type" and "name". FreeIPMI prints slave addresses as the 7-bit address
    (the byte's bits 7:1); they are given back here as the byte holds them."""
    blocks, current = {}, None
    for line in text.splitlines():
        m = re.match(r"^([^:]+): ?(.*)$", line)
        if not m:
            continue
        label, value = m.group(1).strip(), m.group(2).strip()
        if label == "Record ID":
            current = blocks.setdefault(int(value), {})
        elif current is not None and label not in current:
            current[label] = value
    out = {}
    for rid, b in blocks.items():
        rec = {"type": _hex_in_parens(b.get("Record Type", "")),
               "name": b.get("ID String", b.get("Device ID String", ""))}
        conversions = {
            "Sensor Number": ("sensor_number", int),
            "Entity ID": ("entity_id", _number_in_parens),
            "FRU Entity ID": ("entity_id", _number_in_parens),
            "Entity Instance": ("entity_instance", int),
            "FRU Entity Instance": ("entity_instance", int),
            "Sensor Type": ("sensor_type", _hex_in_parens),
            "Event/Reading Type Code": ("event_reading_type", leading_hex),
            "Device Access Address": ("slave_address", lambda v: leading_hex(v) << 1),
            "Device Slave Address": ("slave_address", lambda v: leading_hex(v) << 1),
            "FRU Device ID": ("fru_device_id", leading_hex),
            "Manufacturer ID": ("manufacturer_id", leading_hex),
        }
        for label, (name, convert) in conversions.items():
            if label in b and name not in rec:
                try:
                    rec[name] = convert(b[label])
                except (TypeError, ValueError):
                    rec[name] = None
        out[rid] = rec
    return out
