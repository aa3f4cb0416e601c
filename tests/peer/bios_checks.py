"""Checks of the BIOS peer scenario: what srvfw printed in the guest (the
guest/lib.sh blocks) and the flash file QEMU wrote back, against the image
the host built (bios_image.py)."""

import json

import bios_image as bi
import guest_output as go

short = go.short


def json_doc(block):
    try:
        return json.loads(block.out.decode("utf-8")), ""
    except (ValueError, UnicodeDecodeError, AttributeError) as e:
        return None, f"{e}; stdout starts {block.out[:120]!r}" if block else "no block"


def walk(doc):
    """Every dict inside a JSON document."""
    if isinstance(doc, dict):
        yield doc
        for v in doc.values():
            yield from walk(v)
    elif isinstance(doc, list):
        for v in doc:
            yield from walk(v)


def values(doc):
    """Every scalar inside a JSON document."""
    for d in walk(doc):
        for v in d.values():
            if not isinstance(v, (dict, list)):
                yield v


def number(v):
    if isinstance(v, int):
        return v
    if isinstance(v, str):
        try:
            return int(v.rstrip("hH"), 16) if v.lower().endswith("h") else int(v, 0)
        except ValueError:
            return None
    return None


def ok_block(check, blocks, block_id, what):
    b = blocks.get(block_id)
    check(b is not None and b.rc == 0, what, short(b))
    return b if b is not None and b.rc == 0 else None


def check_tables(check, blocks):
    ok_block(check, blocks, "tables", "srvfw bios tables succeeds")
    b = ok_block(check, blocks, "tables.json", "srvfw --json bios tables succeeds")
    if b is None:
        return
    doc, err = json_doc(b)
    if not check(isinstance(doc, dict), "--json bios tables: stdout is one JSON document", err):
        return
    scalars = list(values(doc))
    names = {v for v in scalars if isinstance(v, str)}
    for _, name, version, _ in bi.AREAS:
        check(name in names, f"bios tables lists the area {name!r}", f"strings: {sorted(names)[:20]}")
        check(version in names, f"bios tables gives {name!r} its version {version!r}")
    numbers = {number(v) for v in scalars} - {None}
    for addr in (bi.FLASH_BASE, bi.VOLUME_BASE - 1, bi.VOLUME_BASE, 0xFFFFFFFF):
        check(addr in numbers, f"bios tables shows the segment bound {addr:08X}h")
    for _, _, ranges in ((a[0], a[1], a[3]) for a in bi.AREAS):
        for _, addr, n in ranges:
            check(addr in numbers and addr + n - 1 in numbers,
                  f"bios tables shows the range {addr:08X}h-{addr + n - 1:08X}h")
    check(bi.NOTIFY_ADDR in numbers, f"bios tables shows the notify field at {bi.NOTIFY_ADDR:08X}h")


def check_area_io(check, blocks, original: bytes, final: bytes):
    before = bi.area_bytes(original, 1)
    new = bi.new_area(1)
    ok_block(check, blocks, "read", "srvfw bios read 1 succeeds")
    f = blocks.get("read.file")
    check(f is not None and f.out == before, "the area read is the flash's area 1, byte for byte",
          f"{len(f.out) if f else 0} bytes")
    ok_block(check, blocks, "write.dry", "srvfw bios write --dry-run succeeds")
    ok_block(check, blocks, "write", "srvfw bios write 1 NEW --backup FILE succeeds")
    b = blocks.get("write.backup")
    check(b is not None and b.out == before, "the backup holds the area as it was")
    a = blocks.get("read.after.file")
    check(a is not None and a.out == new, "a read after the write gives the new image")

    want = bytearray(bi.with_area(original, 1, new))
    notify = bi.NOTIFY_ADDR - bi.FLASH_BASE
    # The set clears bit 0 of the field's first byte: an update is pending.
    want[notify] = 0xFE
    diff = [i for i in range(len(want)) if i < len(final) and want[i] != final[i]]
    check(len(final) == len(want) and not diff,
          "the flash QEMU wrote back is the old image with area 1 new and the notify bit cleared",
          f"{len(diff)} bytes differ, first at "
          f"{', '.join(f'{bi.FLASH_BASE + i:08X}h' for i in diff[:6])}")


def notify_pending(doc):
    for d in walk(doc):
        for key in ("pending", "update_pending", "updatePending"):
            if key in d:
                return d[key]
        if "state" in d:
            return d["state"] == "pending"
    return None


def check_notify(check, blocks):
    b = ok_block(check, blocks, "notify.before", "srvfw --json bios notify status succeeds")
    if b:
        doc, err = json_doc(b)
        check(notify_pending(doc) is False, "a fresh notify field: no update pending",
              err or b.text[:200])
    ok_block(check, blocks, "notify.set", "srvfw bios notify set succeeds")
    b = ok_block(check, blocks, "notify.after", "srvfw --json bios notify status after the set")
    if b:
        doc, err = json_doc(b)
        check(notify_pending(doc) is True, "after the set an update is pending",
              err or b.text[:200])


def hex_bytes(doc):
    """The longest hex text in the document, as bytes."""
    best = b""
    for v in values(doc):
        if isinstance(v, str):
            text = v.replace(" ", "")
            try:
                data = bytes.fromhex(text)
            except ValueError:
                continue
            if len(data) > len(best):
                best = data
    return best


def check_smbios(check, blocks):
    b = ok_block(check, blocks, "smbios.entry", "srvfw --json bios smbios --entry-point succeeds")
    sysfs = blocks.get("smbios.sysfs-entry")
    if b is None or sysfs is None or not sysfs.out:
        return
    doc, err = json_doc(b)
    got = hex_bytes(doc) if doc is not None else b""
    want = sysfs.out
    check(got[:4] == b"_SM_" and want.startswith(got[:len(want)]) and len(got) >= 16,
          "the entry point srvfw read is the one the kernel copied (sysfs)",
          f"srvfw {got[:32].hex()} kernel {want[:32].hex()}")


def check_chipset(check, blocks):
    before = blocks.get("chipset.lpc-config")
    after = blocks.get("chipset.lpc-config-after")
    if before is None or len(before.out) < 0x100 or after is None or len(after.out) < 0x100:
        print("  note: the LPC bridge's configuration space was not dumped")
        return
    rcba = int.from_bytes(before.out[0xF0:0xF4], "little")
    print(f"  note: QEMU's ICH9 LPC bridge: RCBA register {rcba:08X}h, BIOS control "
          f"{before.out[0xDC]:02X}h before, {after.out[0xDC]:02X}h after srvfw")
    check(after.out[0xDC] & 1 == 0, "srvfw leaves the BIOS write enable (DCh bit 0) clear")


def check_bios_scenario(check, blocks, original: bytes, final: bytes):
    check_tables(check, blocks)
    check_area_io(check, blocks, original, final)
    check_notify(check, blocks)
    check_smbios(check, blocks)
    p = blocks.get("platform-id")
    check(p is not None and p.rc != 0 and p.err.strip() != b"",
          "bios platform-id: /dev/mem answers no platform-ID request, and srvfw says so",
          short(p))
    s = blocks.get("spi-platform")
    check(s is not None and s.rc != 0 and b"Unable to load or initialize the /dev/mem driver"
          in s.err, "platform 11 on QEMU's chipset (no boot straps in GCS): the open is refused",
          short(s))
    check_chipset(check, blocks)
