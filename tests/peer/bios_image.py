"""The flash image the BIOS peer scenario boots QEMU's q35 machine from:
SeaBIOS at the top of a 1 MB CFI flash (QEMU's pflash), and below it what a
BIOS that supports online updates keeps there: a PI firmware volume whose
tables file holds the Flash Notification, Segment and Area Tables, a Flash
Flags Block with a fresh notify field, and two areas a host may write.

Written byte by byte from the PI firmware volume format and the BIOS's
table layouts, not from our simulator's builders, so that one misreading
cannot hide on both sides.
"""

import struct
import uuid

FLASH_BYTES = 0x100000
FLASH_BASE = 0x1_0000_0000 - FLASH_BYTES  # FFF00000h
BLOCK = 0x10000

VOLUME_BASE = 0xFFFA0000
FLAGS_BLOCK = 0xFFF90000
NOTIFY_ADDR = FLAGS_BLOCK + 0x10
NOTIFY_LENGTH = 4

# The volume's file system and the tables file, as the library looks for them.
FILE_SYSTEM_GUID = uuid.UUID("7A9354D9-0468-444A-81CE-0BF617D890DF")
TABLES_FILE_GUID = uuid.UUID("FFFDA063-F5B2-4EB5-A7B4-4863FC4919A2")

FV_ERASE_POLARITY = 0x00000800
FV_ATTRIBUTES = 0x0004FEFF | FV_ERASE_POLARITY
FILETYPE_FREEFORM = 0x02
SECTION_RAW = 0x19
FILE_CHECKSUM_UNUSED = 0xAA
# Header construction, header valid and data valid, inverted for a volume
# whose erased state is 1.
FILE_STATE = (~0x07) & 0xFF

SEGMENT_BOOT = 1     # partition 1: the volume and the boot firmware
SEGMENT_AREAS = 2    # partition 2: what a host may write

# (number, name, version, [(area offset, flash address, bytes)])
AREAS = [
    (1, "Peer Area", "PEERBD01", [(0x00000, 0xFFF20000, BLOCK), (0x10000, 0xFFF30000, BLOCK)]),
    (2, "Spare Area", "PEERBD01", [(0x00000, 0xFFF50000, BLOCK)]),
]


def guid_bytes(g: uuid.UUID) -> bytes:
    return g.bytes_le


def checksum16(data: bytes) -> int:
    total = sum(struct.unpack(f"<{len(data) // 2}H", data)) & 0xFFFF
    return (-total) & 0xFFFF


def table_header(search: bytes, size_or_access: int) -> bytes:
    return search + bytes(16) + struct.pack("<II", 1, size_or_access)


def segment_table() -> bytes:
    entries = [
        (SEGMENT_AREAS, 2, FLASH_BASE, VOLUME_BASE - 1),
        (SEGMENT_BOOT, 1, VOLUME_BASE, 0xFFFFFFFF),
    ]
    body = b"".join(struct.pack("<IHHQQII", tag, part, 0, start, limit, 0, 0)
                    for tag, part, start, limit in entries)
    return table_header(b"FLASHTBL", 32 + len(body)) + body


def range_record(flags, area_start, area_limit, segment, block_start, block_limit) -> bytes:
    return struct.pack("<6I", flags, area_start, area_limit, segment, block_start, block_limit)


def area_record(number, name, version, ranges) -> bytes:
    size = sum(r[2] for r in ranges)
    header = struct.pack("<I", number) + bytes(16) + struct.pack("<IIQ", number, 1, size)
    header += version.encode().ljust(128, b"\0") + name.encode().ljust(256, b"\0")
    assert len(header) == 420
    records = b"".join(range_record(1, off, off + n - 1, SEGMENT_AREAS, addr, addr + n - 1)
                       for off, addr, n in ranges)
    return header + records + range_record(0, 0, 0, 0, 0, 0)


def area_table() -> bytes:
    signature = b"DGTL SIG" + bytes(16) + struct.pack("<II", 1, 32)
    records = b"".join(area_record(*a) for a in AREAS)
    closing = bytes(420) + range_record(0, 0, 0, 0, 0, 0)
    size = 36 + len(signature) + len(records) + len(closing)
    return table_header(b"AREA TBL", size) + struct.pack("<I", 0) + signature + records + closing


def notify_table() -> bytes:
    body = struct.pack("<IIIIQQ", 0, 0, 0xFF, NOTIFY_LENGTH, 0, NOTIFY_ADDR)
    body += bytes(4 + 2 + 1 + 1 + 4 + 16 + 4)
    table = table_header(b"NOTIFYBT", 7) + body
    assert len(table) == 96
    return table


def tables_file() -> bytes:
    data = notify_table() + segment_table() + area_table()
    section = struct.pack("<I", (len(data) + 4) | SECTION_RAW << 24) + data
    size = 24 + len(section)
    header = bytearray(guid_bytes(TABLES_FILE_GUID) + bytes(2) +
                       bytes([FILETYPE_FREEFORM, 0]) + size.to_bytes(3, "little") + bytes(1))
    header[16] = (-sum(header)) & 0xFF
    header[17] = FILE_CHECKSUM_UNUSED
    header[23] = FILE_STATE
    return bytes(header) + section


def volume() -> bytes:
    block_map = struct.pack("<IIII", 1, BLOCK, 0, 0)
    header = bytearray(bytes(16) + guid_bytes(FILE_SYSTEM_GUID) + struct.pack("<Q", BLOCK) +
                       b"_FVH" + struct.pack("<IHHHBB", FV_ATTRIBUTES, 56 + len(block_map), 0,
                                              0, 0, 2) + block_map)
    struct.pack_into("<H", header, 50, checksum16(bytes(header)))
    body = bytes(header) + tables_file()
    return body + b"\xff" * (BLOCK - len(body))


def pattern(address: int, length: int, seed: int) -> bytes:
    """Data of its own for every address, so a block written to the wrong
    place shows."""
    return bytes(((a * 7 + (a >> 8) * 13 + seed) & 0xFF) for a in range(address, address + length))


def build_flash(firmware: bytes) -> bytes:
    if len(firmware) > FLASH_BYTES - (VOLUME_BASE + BLOCK - FLASH_BASE):
        raise ValueError("the guest's firmware does not fit above the tables volume")
    image = bytearray(pattern(FLASH_BASE, FLASH_BYTES, 1))
    image[FLAGS_BLOCK - FLASH_BASE:FLAGS_BLOCK - FLASH_BASE + BLOCK] = b"\xff" * BLOCK
    image[VOLUME_BASE - FLASH_BASE:VOLUME_BASE - FLASH_BASE + BLOCK] = volume()
    image[FLASH_BYTES - len(firmware):] = firmware
    return bytes(image)


def area_bytes(image: bytes, number: int) -> bytes:
    """The area as a read gives it: each range at its area offset."""
    ranges = next(a[3] for a in AREAS if a[0] == number)
    out = bytearray(sum(r[2] for r in ranges))
    for off, addr, n in ranges:
        out[off:off + n] = image[addr - FLASH_BASE:addr - FLASH_BASE + n]
    return bytes(out)


def with_area(image: bytes, number: int, data: bytes) -> bytes:
    """The image with an area written as data."""
    ranges = next(a[3] for a in AREAS if a[0] == number)
    out = bytearray(image)
    for off, addr, n in ranges:
        out[addr - FLASH_BASE:addr - FLASH_BASE + n] = data[off:off + n]
    return bytes(out)


def new_area(number: int) -> bytes:
    ranges = next(a[3] for a in AREAS if a[0] == number)
    size = sum(r[2] for r in ranges)
    data = bytearray(pattern(0, size, 0x5A))
    # Erased stretches, as a real image has them.
    data[0x100:0x1100] = b"\xff" * 0x1000
    return bytes(data)
