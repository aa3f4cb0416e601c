"""Reading what the guest printed: the "@@@" blocks of guest/lib.sh, and
the FRU as srvfw, ipmitool and FreeIPMI's ipmi-fru show it, in srvfw's
field names so that they can be compared field by field."""

import base64
import datetime
import re
from dataclasses import dataclass

B64_LINE = re.compile(r"^[A-Za-z0-9+/=]+$")


@dataclass
class Block:
    id: str
    rc: int
    argv: str
    out: bytes
    err: bytes

    @property
    def text(self) -> str:
        return self.out.decode("utf-8", "replace")

    @property
    def all_text(self) -> str:
        return (self.out + b"\n" + self.err).decode("utf-8", "replace")


def parse_blocks(console: str) -> dict[str, Block]:
    blocks = {}
    current = None
    for line in console.splitlines():
        m = re.match(r"^@@@ BEGIN (\S+) rc=(\d+)", line)
        if m:
            current = {"id": m.group(1), "rc": int(m.group(2)), "argv": "", "out": [],
                       "err": [], "part": None}
            continue
        if current is None:
            continue
        if line.startswith("@@@ ARGV "):
            current["argv"] = line[9:]
        elif line == "@@@ STDOUT":
            current["part"] = "out"
        elif line == "@@@ STDERR":
            current["part"] = "err"
        elif line.startswith("@@@ END "):
            blocks[current["id"]] = Block(
                current["id"], current["rc"], current["argv"],
                base64.b64decode("".join(current["out"])),
                base64.b64decode("".join(current["err"])))
            current = None
        elif current["part"] and B64_LINE.match(line.strip()):
            # Anything else (a stray kernel message) is not part of the data.
            current[current["part"]].append(line.strip())
    return blocks


def short(block) -> str:
    """A block in one line, for a failed check's detail."""
    if block is None:
        return "no output block (the guest did not get there)"
    text = block.all_text.strip().replace("\n", " | ")
    return f"rc={block.rc}: {text[:400]}"


def notes(console: str) -> list[str]:
    return [line[9:] for line in console.splitlines() if line.startswith("@@@ NOTE ")]


# --- one FRU as each tool shows it ---------------------------------------

def parse_srvfw_show(text: str) -> dict[str, str]:
    """srvfw fru show: "  <field>  <title>  <value>" lines."""
    fields = {}
    for line in text.splitlines():
        m = re.match(r"^  ([a-z]+\.[a-z_0-9.]+) +(\S.*?)(?: {2,}(.*))?$", line)
        if m:
            fields[m.group(1)] = m.group(3) or ""
    return fields


def srvfw_header(text: str) -> str | None:
    m = re.search(r"^Common Header: ([0-9A-F ]+)$", text, re.M)
    return m.group(1).strip() if m else None


def json_fields(doc: dict) -> dict[str, str]:
    out = {}
    for area in doc.get("areas", []):
        for f in area.get("fields", []):
            out[f["field"]] = f.get("text", "")
    return out


def json_area_hex(doc: dict, name: str) -> str | None:
    for area in doc.get("areas", []):
        if area.get("area") == name:
            return area.get("hex")
    return None


IPMITOOL_LABELS = {
    "Chassis Type": "chassis.type",
    "Chassis Part Number": "chassis.part_number",
    "Chassis Serial": "chassis.serial_number",
    "Chassis Extra": "chassis.custom",
    "Board Mfg Date": "board.mfg_date",
    "Board Mfg": "board.manufacturer",
    "Board Product": "board.product_name",
    "Board Serial": "board.serial_number",
    "Board Part Number": "board.part_number",
    "Board FRU ID": "board.fru_file_id",
    "Board Extra": "board.custom",
    "Product Manufacturer": "product.manufacturer",
    "Product Name": "product.name",
    "Product Part Number": "product.part_number",
    "Product Version": "product.version",
    "Product Serial": "product.serial_number",
    "Product Asset Tag": "product.asset_tag",
    "Product FRU ID": "product.fru_file_id",
    "Product Extra": "product.custom",
}

IPMI_FRU_LABELS = {
    "Chassis Type": "chassis.type",
    "Chassis Part Number": "chassis.part_number",
    "Chassis Serial Number": "chassis.serial_number",
    "Chassis Custom Info": "chassis.custom",
    "Board Manufacturing Date/Time": "board.mfg_date",
    "Board Manufacturer": "board.manufacturer",
    "Board Product Name": "board.product_name",
    "Board Serial Number": "board.serial_number",
    "Board Part Number": "board.part_number",
    "Board Custom Info": "board.custom",
    "Product Manufacturer Name": "product.manufacturer",
    "Product Name": "product.name",
    "Product Part/Model Number": "product.part_number",
    "Product Version": "product.version",
    "Product Serial Number": "product.serial_number",
    "Product Asset Tag": "product.asset_tag",
    "Product Custom Info": "product.custom",
}


def _add(fields: dict, name: str, value: str):
    if name.endswith(".custom"):
        n = sum(1 for k in fields if k.startswith(name + "."))
        name = f"{name}.{n}"
    fields[name] = value


def parse_ipmitool(text: str) -> dict[str, str]:
    fields = {}
    for line in text.splitlines():
        m = re.match(r"^ (\S.*?)\s+: ?(.*)$", line)
        if m and m.group(1) in IPMITOOL_LABELS:
            _add(fields, IPMITOOL_LABELS[m.group(1)], m.group(2).rstrip())
    return fields


def parse_ipmi_fru(text: str) -> dict[str, str]:
    """FreeIPMI prints "FRU File ID" for the board and the product area
    alike: it belongs to the area of the line before."""
    fields, area = {}, None
    for line in text.splitlines():
        m = re.match(r"^\s+FRU (.+?): ?(.*)$", line)
        if not m:
            continue
        label, value = m.group(1), m.group(2).rstrip()
        for prefix in ("Chassis", "Board", "Product"):
            if label.startswith(prefix + " "):
                area = prefix.lower()
        if label == "FRU File ID" and area:
            fields[f"{area}.fru_file_id"] = value
        elif label in IPMI_FRU_LABELS:
            _add(fields, IPMI_FRU_LABELS[label], value)
    return fields


DATE_FORMATS = ("%m/%d/%Y %H:%M:%S",        # srvfw
                "%a %b %d %H:%M:%S %Y UTC",  # ipmitool
                "%a %b %d %H:%M:%S %Y",
                "%m/%d/%y - %H:%M:%S")       # ipmi-fru


def normalize(field: str, value: str) -> str:
    """One spelling of a value for every tool: the chassis type by its name,
    the manufacturing date as ISO time."""
    value = value.strip()
    if field == "chassis.type":
        return re.sub(r"\s*\(\d+\)$", "", value)
    if field == "board.mfg_date":
        for fmt in DATE_FORMATS:
            try:
                return datetime.datetime.strptime(value, fmt).isoformat()
            except ValueError:
                pass
    return value
