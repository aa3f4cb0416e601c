"""FRU images for the peer BMCs, and a reader that checks one read back.

The image follows the IPMI Platform Management FRU Information Storage
Definition v1.0: an 8-byte common header, then an internal use area, the
chassis, board and product info areas and a multi-record area, each at the
multiple of 8 bytes the header gives. Text fields are 8-bit ASCII (type
code 11b), as a server vendor's factory tools write them.

The reader is deliberately independent of our C++ FRU code: it is what the
host side of the tests uses to judge the bytes a BMC holds after srvfw
wrote to it.
"""

from dataclasses import dataclass, field

# Minutes since 1996-01-01 00:00 UTC of 2024-03-15 08:30 UTC.
BOARD_MFG_MINUTES = 14833950

CHASSIS_TYPE_RACK_MOUNT = 23

# The fields of each info area in storage order, as (our field name, value).
CHASSIS_FIELDS = [
    ("part_number", "CH-4410-22"),
    ("serial_number", "CHS7X91244"),
]
CHASSIS_CUSTOM = ["Rack 12 U30"]

BOARD_FIELDS = [
    ("manufacturer", "Kelvane Systems"),
    ("product_name", "KX-2250 Main Board"),
    ("serial_number", "MB24110877"),
    ("part_number", "901-2250-03"),
    ("fru_file_id", "FRU-2250-A4"),
]
BOARD_CUSTOM = ["REV 03"]

PRODUCT_FIELDS = [
    ("manufacturer", "Kelvane Systems"),
    ("name", "KX-2250 Server"),
    ("part_number", "KX2250-8C"),
    ("version", "A04"),
    ("serial_number", "SRV9K20031"),
    ("asset_tag", "ASSET-00417"),
    ("fru_file_id", "FRU-2250-P2"),
]
PRODUCT_CUSTOM = ["Config 8C-256G"]

INTERNAL_USE = bytes([0x01, 0x4B, 0x53, 0x01, 0x00, 0x10, 0x20, 0x30,
                      0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xA0, 0xB0])

# One OEM record (type C0h, end of list): manufacturer ID, then data.
OEM_RECORD_DATA = bytes([0x57, 0x01, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05])

END_OF_FIELDS = 0xC1


def zero_checksum(data: bytes) -> int:
    """The byte that makes data plus itself sum to zero modulo 256."""
    return (-sum(data)) & 0xFF


def encode_text(text: str) -> bytes:
    raw = text.encode("latin-1")
    if not 2 <= len(raw) <= 63:
        raise ValueError(f"field {text!r}: 2 to 63 bytes")
    return bytes([0xC0 | len(raw)]) + raw


def info_area(head: bytes, texts: list[str]) -> bytes:
    """An info area: version, length, head bytes, fields, C1h, padding,
    checksum, a multiple of 8 bytes."""
    body = bytearray([0x01, 0x00]) + head
    for text in texts:
        body += encode_text(text)
    body.append(END_OF_FIELDS)
    while (len(body) + 1) % 8:
        body.append(0x00)
    body[1] = (len(body) + 1) // 8
    body.append(zero_checksum(bytes(body)))
    return bytes(body)


def multi_record_area() -> bytes:
    record = bytearray([0xC0, 0x82, len(OEM_RECORD_DATA), zero_checksum(OEM_RECORD_DATA)])
    record.append(zero_checksum(bytes(record)))
    return bytes(record) + OEM_RECORD_DATA


@dataclass
class FruLayout:
    """Where each area of a built image lies: name -> (offset, length)."""
    areas: dict = field(default_factory=dict)
    size: int = 0


def build_fru(area_size: int = 1024) -> tuple[bytes, FruLayout]:
    """The FRU the tests give both BMCs, padded with FFh (erased EEPROM)
    to area_size bytes."""
    internal = INTERNAL_USE
    chassis = info_area(bytes([CHASSIS_TYPE_RACK_MOUNT]),
                        [v for _, v in CHASSIS_FIELDS] + CHASSIS_CUSTOM)
    mfg = BOARD_MFG_MINUTES.to_bytes(3, "little")
    board = info_area(bytes([0x19]) + mfg, [v for _, v in BOARD_FIELDS] + BOARD_CUSTOM)
    product = info_area(bytes([0x19]), [v for _, v in PRODUCT_FIELDS] + PRODUCT_CUSTOM)
    multi = multi_record_area()

    layout = FruLayout()
    image = bytearray(8)
    offsets = []
    for name, area in (("internal", internal), ("chassis", chassis), ("board", board),
                       ("product", product), ("multirecord", multi)):
        # Areas start on 8-byte boundaries; the internal use area is padded
        # so the chassis area that follows does.
        while len(image) % 8:
            image.append(0x00)
        offsets.append(len(image) // 8)
        layout.areas[name] = (len(image), len(area))
        image += area
    header = bytearray([0x01] + offsets + [0x00])
    header.append(zero_checksum(bytes(header)))
    image[0:8] = header
    if len(image) > area_size:
        raise ValueError("FRU does not fit its area")
    layout.size = area_size
    image += b"\xFF" * (area_size - len(image))
    return bytes(image), layout


def expected_fields() -> dict[str, str]:
    """Field name -> value, in srvfw's field names."""
    out = {"chassis.type": str(CHASSIS_TYPE_RACK_MOUNT)}
    for area, fields, custom in (("chassis", CHASSIS_FIELDS, CHASSIS_CUSTOM),
                                 ("board", BOARD_FIELDS, BOARD_CUSTOM),
                                 ("product", PRODUCT_FIELDS, PRODUCT_CUSTOM)):
        for name, value in fields:
            out[f"{area}.{name}"] = value
        for i, value in enumerate(custom):
            out[f"{area}.custom.{i}"] = value
    return out


# --- reading an image back ------------------------------------------------

class FruError(ValueError):
    pass


def parse_areas(image: bytes) -> dict[str, bytes]:
    """Split an image into its areas, checking the header's and every info
    area's checksum and every multi-record's checksums. Raises FruError."""
    if len(image) < 8:
        raise FruError("shorter than a common header")
    header = image[:8]
    if header[0] != 0x01:
        raise FruError(f"common header format version {header[0]:#04x}")
    if sum(header) & 0xFF:
        raise FruError("common header checksum")
    names = ["internal", "chassis", "board", "product", "multirecord"]
    starts = {n: header[1 + i] * 8 for i, n in enumerate(names) if header[1 + i]}
    ordered = sorted(starts.items(), key=lambda kv: kv[1])
    areas = {}
    for i, (name, start) in enumerate(ordered):
        if start >= len(image):
            raise FruError(f"{name} area starts past the image")
        if name in ("chassis", "board", "product"):
            length = image[start + 1] * 8
            area = image[start:start + length]
            if len(area) != length or length == 0:
                raise FruError(f"{name} area runs past the image")
            if sum(area) & 0xFF:
                raise FruError(f"{name} area checksum")
        elif name == "multirecord":
            pos = start
            while True:
                rec_head = image[pos:pos + 5]
                if len(rec_head) != 5 or sum(rec_head) & 0xFF:
                    raise FruError(f"multi-record header checksum at {pos}")
                data = image[pos + 5:pos + 5 + rec_head[2]]
                if len(data) != rec_head[2] or (sum(data) + rec_head[3]) & 0xFF:
                    raise FruError(f"multi-record data checksum at {pos}")
                pos += 5 + rec_head[2]
                if rec_head[1] & 0x80:
                    break
            area = image[start:pos]
        else:
            end = ordered[i + 1][1] if i + 1 < len(ordered) else len(image)
            area = image[start:end]
        areas[name] = area
    return areas


def decode_fields(area: bytes, head: int) -> list[str]:
    """The text of each field of an info area after `head` fixed bytes."""
    out, pos = [], 2 + head
    while pos < len(area) and area[pos] != END_OF_FIELDS:
        tl = area[pos]
        n = tl & 0x3F
        out.append(area[pos + 1:pos + 1 + n].decode("latin-1"))
        pos += 1 + n
    return out


def changed_areas(before: bytes, after: bytes) -> set[str]:
    """Names of the areas (or 'header' / 'outside') whose bytes differ."""
    a, b = parse_areas(before), parse_areas(after)
    changed = {n for n in set(a) | set(b) if a.get(n) != b.get(n)}
    if before[:8] != after[:8]:
        changed.add("header")

    def covered(image, areas):
        spans = [(0, 8)]
        hdr = image[:8]
        names = ["internal", "chassis", "board", "product", "multirecord"]
        for i, n in enumerate(names):
            if hdr[1 + i]:
                spans.append((hdr[1 + i] * 8, len(areas[n])))
        return spans

    mask = bytearray(max(len(before), len(after)))
    for image, areas in ((before, a), (after, b)):
        for start, length in covered(image, areas):
            for k in range(start, min(start + length, len(mask))):
                mask[k] = 1
    if any(not mask[k] and before[k:k + 1] != after[k:k + 1] for k in range(len(mask))):
        changed.add("outside")
    return changed


if __name__ == "__main__":
    import sys
    data, _ = build_fru()
    sys.stdout.buffer.write(data)
