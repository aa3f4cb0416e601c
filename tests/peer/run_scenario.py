#!/usr/bin/env python3
"""One peer scenario: one QEMU boot of Debian's kernel with our real builds
against a BMC we did not write, and the checks of what the guest printed.

    tests/peer/run_scenario.py --build-dir build/default SCENARIO
    tests/peer/run_scenario.py --list

Exit 0: every check passed; 1: a check failed or the boot timed out;
77: QEMU, the kernel or a peer tool cannot run here (skipped, loudly).
"""

import argparse
import json
import re
import shutil
import sys
from dataclasses import dataclass, field
from pathlib import Path

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))

import bios_checks  # noqa: E402
import bios_image  # noqa: E402
import fru_image  # noqa: E402
import guest_output as go  # noqa: E402
import peer_vm  # noqa: E402
import sdr_checks  # noqa: E402
import sdr_image  # noqa: E402

FRU_AREA_SIZE = 1024
GET_FIELDS = ["chassis.type", "chassis.serial_number", "board.mfg_date", "board.manufacturer",
              "board.custom.0", "product.asset_tag", "product.custom.0", "internal.data"]
SET_FIELD, SET_VALUE = "product.asset_tag", "RACK7-U12"


@dataclass
class Scenario:
    name: str
    bmc: str              # "qemu" (ipmi-bmc-sim) or "ipmi_sim" (OpenIPMI, ipmi-bmc-extern)
    kcs: int = 0xCA2
    smbios: str = "32"
    script: str = "fru.sh"
    write_over: str = ""  # "kcs" or "driver": the phase that sets and restores a field
    timeout_s: int = 420
    needs: list = field(default_factory=list)  # build outputs the scenario cannot run without
    machine: str = "pc"   # QEMU's machine type


SCENARIOS = {s.name: s for s in [
    Scenario("qemu_bmc_ca2_smbios32", "qemu", 0xCA2, "32"),
    Scenario("qemu_bmc_ca8_smbios64", "qemu", 0xCA8, "64"),
    Scenario("ipmi_sim_ca8_smbios32", "ipmi_sim", 0xCA8, "32", write_over="kcs"),
    Scenario("ipmi_sim_ca2_smbios64", "ipmi_sim", 0xCA2, "64", write_over="driver"),
    Scenario("quorzel", "none", script="quorzel.sh", timeout_s=240,
             needs=["bin/quorzel_mod.o", "bin/quorzel_probe"]),
    # q35 starts from its CFI flash, which holds the BIOS's flash tables.
    Scenario("bios_q35_pflash", "none", script="bios.sh", timeout_s=300, machine="q35",
             needs=["lib/librask.so.9"]),
]}


class Checks:
    def __init__(self):
        self.failed = []
        self.passed = 0

    def __call__(self, ok: bool, what: str, detail: str = "") -> bool:
        if ok:
            self.passed += 1
            print(f"PASS {what}")
        else:
            self.failed.append(what)
            print(f"FAIL {what}" + (f"\n     {detail}" if detail else ""))
        return ok


def truth() -> dict[str, str]:
    """The fields of the FRU we gave the BMC, normalized as go.normalize does."""
    fields = fru_image.expected_fields()
    fields["chassis.type"] = "Rack Mount Chassis"
    fields["board.mfg_date"] = "2024-03-15T08:30:00"
    return fields


def compare(check: Checks, what: str, got: dict, want: dict, only=None):
    """Field by field; a missing or extra field fails as well as a value."""
    names = only if only is not None else sorted(set(got) | set(want))
    bad = []
    for name in names:
        g = go.normalize(name, got[name]) if name in got else None
        w = go.normalize(name, want[name]) if name in want else None
        if g != w:
            bad.append(f"{name}: got {g!r}, want {w!r}")
    check(not bad, what, "; ".join(bad[:6]) + (" ..." if len(bad) > 6 else ""))


short = go.short


# --- checks of the FRU scenarios -------------------------------------------

def check_smbios(check: Checks, blocks, sc: Scenario):
    entry = blocks.get("smbios.entry")
    anchor = b"_SM3_" if sc.smbios == "64" else b"_SM_"
    check(entry is not None and entry.out.startswith(anchor),
          f"firmware gives the {sc.smbios}-bit SMBIOS entry point ({anchor.decode()})",
          repr(entry.out[:8]) if entry else "no entry point in sysfs")
    dmi = blocks.get("smbios.dmi")
    found = []
    data = dmi.out if dmi else b""
    pos = 0
    while pos + 4 <= len(data):
        kind, length = data[pos], data[pos + 1]
        if kind == 38 and length >= 0x10:
            found.append((data[pos + 4], int.from_bytes(data[pos + 8:pos + 16], "little")))
        if kind == 127 or length < 4:
            break
        end = data.find(b"\0\0", pos + length)
        if end < 0:
            break
        pos = end + 2
    check(any(t == 1 and (base & ~1) == sc.kcs for t, base in found),
          f"SMBIOS type 38 describes KCS at {sc.kcs:#x}", f"type 38 records: {found}")


def paths_used(block) -> tuple[bool, bool]:
    """(ports, driver): whether a traced command was granted the I/O ports
    or opened /dev/ipmi0 and sent it requests."""
    trace = block.err.decode("utf-8", "replace")
    ports = re.search(r"\b(iopl|ioperm)\([^)]*\)\s*= 0", trace) is not None
    m = re.search(r'open(?:at)?\([^"]*"/dev/ipmi0"[^)]*\)\s*= (\d+)', trace)
    driver = m is not None and re.search(rf"ioctl\({m.group(1)},", trace) is not None
    return ports, driver


def check_path(check: Checks, blocks, block_id: str, expect: str):
    """expect: "ports", "driver" or "none" (srvfw must keep off the ports
    the kernel's driver owns)."""
    b = blocks.get(block_id)
    if b is None:
        print(f"  note: {block_id} not traced (no strace in the guest, or it did not get there)")
        return
    ports, driver = paths_used(b)
    seen = f"ports {'used' if ports else 'not used'}, /dev/ipmi0 {'used' if driver else 'not used'}"
    if expect == "none":
        check(not ports, f"{block_id}: srvfw keeps off the KCS ports ipmi_si owns", seen)
    else:
        check(ports == (expect == "ports") and driver == (expect == "driver"),
              f"{block_id}: srvfw reached the BMC through the {expect} only", seen)


def check_srvfw_reads(check: Checks, blocks, prefix: str, want: dict, header: str,
                      peers: dict[str, dict], path: str):
    """show, --json show and get over one path, against the FRU we made and
    against the peers that read the same BMC."""
    check_path(check, blocks, f"{prefix}.trace", path)
    show = blocks.get(f"{prefix}.show")
    if check(show is not None and show.rc == 0, f"{prefix}: srvfw fru show succeeds", short(show)):
        fields = go.parse_srvfw_show(show.text)
        compare(check, f"{prefix}: srvfw fru show, every field", fields, want)
        check(go.srvfw_header(show.text) == header, f"{prefix}: show prints the common header",
              f"got {go.srvfw_header(show.text)!r}, want {header!r}")
        for peer, peer_fields in peers.items():
            if peer_fields:
                common = sorted(set(peer_fields) & set(want))
                compare(check, f"{prefix}: srvfw fru show agrees with {peer}", fields,
                        peer_fields, only=common)

    js = blocks.get(f"{prefix}.json")
    if check(js is not None and js.rc == 0, f"{prefix}: srvfw --json fru show succeeds", short(js)):
        try:
            doc = json.loads(js.out.decode("utf-8"))
            ok, err = isinstance(doc, dict), "not an object"
        except (ValueError, UnicodeDecodeError) as e:
            doc, ok, err = {}, False, f"{e}; stdout starts {js.out[:120]!r}"
        if check(ok, f"{prefix}: --json stdout is one JSON document and nothing else", err):
            compare(check, f"{prefix}: --json fields", go.json_fields(doc), want)
            check(doc.get("header") == header, f"{prefix}: --json header",
                  f"got {doc.get('header')!r}")
            mr = " ".join(f"{b:02X}" for b in fru_image.multi_record_area())
            check(doc and go.json_area_hex(doc, "multirecord") == mr,
                  f"{prefix}: --json multi-record area bytes",
                  f"got {go.json_area_hex(doc, 'multirecord')!r}, want {mr!r}")

    for name in GET_FIELDS:
        b = blocks.get(f"{prefix}.get.{name}")
        ok = b is not None and b.rc == 0
        got = go.normalize(name, b.text.strip()) if ok else None
        check(ok and got == go.normalize(name, want[name]), f"{prefix}: srvfw fru get {name}",
              f"got {got!r}, want {want[name]!r}; {short(b)}")


def check_peer_reads(check: Checks, blocks, block_id: str, parser, peer: str, want: dict,
                     not_shown=()) -> dict:
    """A peer tool's view, checked against the FRU we made: if it disagrees
    the harness, not srvfw, is wrong, and srvfw is not compared with it."""
    b = blocks.get(block_id)
    if not check(b is not None and b.rc == 0, f"{peer} reads the FRU ({block_id})", short(b)):
        return {}
    fields = parser(b.text)
    compare(check, f"{peer} shows the FRU we gave the BMC ({block_id})", fields, want,
            only=sorted(k for k in want if k != "internal.data" and k not in not_shown))
    return fields


def check_write(check: Checks, blocks, prefix: str, sim_dir: Path, sync_log, original: bytes):
    got = {tag: result for tag, result in sync_log}
    check(list(got) == ["before", "after-set", "after-restore"],
          f"{prefix}: guest and host met at every step", f"sync points: {sync_log}")
    images = {}
    for tag in ("before", "after-set", "after-restore"):
        path = sim_dir / f"lan-{tag}.bin"
        ok = path.exists() and path.stat().st_size == FRU_AREA_SIZE
        check(ok, f"{prefix}: host reads the FRU over RMCP+ ({tag})", got.get(tag, "not read"))
        if ok:
            images[tag] = path.read_bytes()
    before, after, restored = (images.get(t) for t in ("before", "after-set", "after-restore"))
    if before is not None:
        check(before == original, f"{prefix}: FRU over RMCP+ before the set is the FRU we made")

    setb = blocks.get(f"{prefix}.set")
    check(setb is not None and setb.rc == 0, f"{prefix}: srvfw fru set {SET_FIELD}={SET_VALUE}",
          short(setb))
    backup = blocks.get(f"{prefix}.backup")
    check(backup is not None and b"ASSET-00417" in backup.out,
          f"{prefix}: the backup file holds the FRU as it was",
          f"backup: {backup.out[:200]!r}" if backup else "no backup file")

    for tag, image in images.items():
        try:
            fru_image.parse_areas(image)
            err = ""
        except fru_image.FruError as e:
            err = str(e)
        check(not err, f"{prefix}: every checksum valid ({tag})", err)
    if before is not None and after is not None:
        try:
            changed = fru_image.changed_areas(before, after)
        except fru_image.FruError as e:
            changed = {f"unreadable: {e}"}
        check(changed == {"product"}, f"{prefix}: the set changed the product area only",
              f"changed: {sorted(changed)}")
        try:
            prod = fru_image.decode_fields(fru_image.parse_areas(after)["product"], 1)
            want = [v for _, v in fru_image.PRODUCT_FIELDS] + fru_image.PRODUCT_CUSTOM
            want[5] = SET_VALUE
        except (fru_image.FruError, KeyError) as e:
            prod, want = [str(e)], []
        check(prod == want, f"{prefix}: the product area holds the new value and the others",
              f"got {prod}")
    g = blocks.get(f"{prefix}.get-after-set")
    check(g is not None and g.rc == 0 and g.text.strip() == SET_VALUE,
          f"{prefix}: srvfw fru get reads the new value back", short(g))

    wb = blocks.get(f"{prefix}.write")
    check(wb is not None and wb.rc == 0, f"{prefix}: srvfw fru write BACKUP", short(wb))
    if before is not None and restored is not None:
        diff = [i for i in range(len(before)) if before[i] != restored[i]]
        check(restored == before, f"{prefix}: restored FRU byte-identical to before",
              f"{len(diff)} bytes differ, first at {diff[:8]}")
    g = blocks.get(f"{prefix}.get-after-restore")
    check(g is not None and g.rc == 0 and g.text.strip() == "ASSET-00417",
          f"{prefix}: srvfw fru get reads the old value after the restore", short(g))


def check_fru_scenario(check: Checks, console: str, sc: Scenario, sim=None, original=b"",
                       sync_log=(), writes=None, sdrs=()):
    blocks = go.parse_blocks(console)
    want = truth()
    header = " ".join(f"{b:02X}" for b in original[:8])
    want_internal = " ".join(f"{b:02X}" for b in fru_image.INTERNAL_USE)
    want["internal.data"] = want_internal

    check_smbios(check, blocks, sc)

    # The peers read the same FRU in the same guest; ipmitool needs
    # /dev/ipmi0, FreeIPMI reads over the driver and, where its in-band KCS
    # driver works, over the ports. The FRU does not change between the
    # phases (a write is restored before the next phase), so srvfw over the
    # ports is compared with every peer.
    ipmitool = check_peer_reads(check, blocks, "driver.ipmitool", go.parse_ipmitool,
                                "ipmitool -I open", want,
                                # ipmitool 1.8.19 does not print the FRU file IDs.
                                not_shown=("board.fru_file_id", "product.fru_file_id"))
    freeipmi = check_peer_reads(check, blocks, "driver.ipmi-fru", go.parse_ipmi_fru,
                                "ipmi-fru over /dev/ipmi0", want)
    peers = {"ipmitool": ipmitool, "ipmi-fru": freeipmi}
    kcs_peer = blocks.get("ports.ipmi-fru")
    if kcs_peer is not None and kcs_peer.rc == 0:
        peers["ipmi-fru over KCS"] = check_peer_reads(
            check, blocks, "ports.ipmi-fru", go.parse_ipmi_fru, f"ipmi-fru over KCS {sc.kcs:#x}",
            want)
    else:
        # FreeIPMI 1.6's in-band KCS driver gives up on its first request in
        # this guest ("internal IPMI error") with either BMC, where the kernel's
        # ipmi_si and srvfw talk to the same ports; it is not a peer here.
        print(f"  note: ipmi-fru over KCS could not read: {short(kcs_peer)}")

    # Ports: no IPMI module loaded.
    mods = blocks.get("ports.modules")
    check(mods is not None and "ipmi" not in mods.text, "ports phase: no IPMI module loaded",
          short(mods))
    for prefix in ("ports.auto", "ports.kcs"):
        check_srvfw_reads(check, blocks, prefix, want, header, peers, "ports")

    # ipmi_si without ipmi_devintf: the kernel owns the interface and there
    # is no device to talk to it through.
    devs = blocks.get("si.devices")
    check(devs is not None and "ipmi_bmc" in devs.text, "ipmi_si brought up the BMC", short(devs))
    dev = blocks.get("si.dev")
    check(dev is not None and "ipmi0" not in dev.text, "no /dev/ipmi0 without ipmi_devintf")
    si = blocks.get("si.auto.show")
    msg = si.all_text if si else ""
    check(si is not None and si.rc != 0, "auto with ipmi_si but no /dev/ipmi0: srvfw refuses",
          short(si))
    check("ipmi_devintf" in msg and "--interface kcs" in msg,
          "the refusal says to load ipmi_devintf or use --interface kcs", short(si))
    check_path(check, blocks, "si.auto.trace", "none")

    # The driver.
    d = blocks.get("driver.dev")
    check(d is not None and d.rc == 0, "/dev/ipmi0 exists with ipmi_devintf", short(d))
    for prefix in ("driver.auto", "driver.driver"):
        check_srvfw_reads(check, blocks, prefix, want, header,
                          {k: v for k, v in peers.items() if k != "ipmi-fru over KCS"}, "driver")

    # The SDR repository, read over both paths; it does not change in a boot.
    sdr_checks.check_sdr_scenario(check, blocks, sdrs,
                                  lambda block_id, path: check_path(check, blocks, block_id, path))

    if sc.write_over:
        prefix = "ports.write" if sc.write_over == "kcs" else "driver.write"
        check_write(check, blocks, prefix, sim.work, sync_log, original)
        check_write_requests(check, prefix, writes or {}, sim.work, original)
        check(sim.fru_file.read_bytes() == original,
              "ipmi_sim's FRU file is the FRU we made again after the restore")


NETFN_STORAGE, CMD_WRITE_FRU_DATA = 0x0A, 0x12


def write_requests(requests) -> list[tuple[int, int, int]]:
    """(device ID, offset, length) of each Write FRU Data request."""
    return [(r.data[0], r.data[1] | r.data[2] << 8, len(r.data) - 3) for r in requests
            if r.netfn == NETFN_STORAGE and r.cmd == CMD_WRITE_FRU_DATA and len(r.data) >= 3]


def area_spans(image: bytes) -> list[tuple[int, int]]:
    """[start, end) of the common header and of each area."""
    spans = [(0, 8)]
    try:
        areas = fru_image.parse_areas(image)
    except fru_image.FruError:
        return spans
    names = ["internal", "chassis", "board", "product", "multirecord"]
    for i, name in enumerate(names):
        if image[1 + i] and name in areas:
            spans.append((image[1 + i] * 8, image[1 + i] * 8 + len(areas[name])))
    return spans


def check_write_requests(check: Checks, prefix: str, writes: dict, work: Path, original: bytes):
    """What ipmi_sim was asked to write, as the proxy saw it: srvfw wrote
    through the BMC for the set and for the restore, to FRU device 0, never
    across an 8-byte EEPROM page, never outside the header and the areas."""
    if not check(bool(writes), f"{prefix}: the BMC's requests were recorded at every sync"):
        return
    after = work / "lan-after-set.bin"
    spans = area_spans(original) + (area_spans(after.read_bytes()) if after.exists() else [])
    for step in ("set", "restore"):
        reqs = writes[step]
        check(bool(reqs), f"{prefix}: the {step} sent Write FRU Data requests", "none")
        bad_dev = [r for r in reqs if r[0] != 0]
        across = [r for r in reqs if r[2] < 1 or r[1] // 8 != (r[1] + r[2] - 1) // 8]
        outside = [r for r in reqs
                   if not any(a <= r[1] and r[1] + r[2] <= b for a, b in spans)]
        check(not bad_dev, f"{prefix}: the {step} wrote FRU device 0 only", f"{bad_dev[:4]}")
        check(not across, f"{prefix}: no write of the {step} crosses an 8-byte page",
              f"(device, offset, length): {across[:4]}")
        check(not outside, f"{prefix}: the {step} wrote inside the header and the areas only",
              f"(device, offset, length): {outside[:4]}; areas {spans}")


def check_quorzel(check: Checks, console: str, rc_line: str):
    for line in console.splitlines():
        if line.startswith(("PASS quorzel", "FAIL quorzel", "SKIP quorzel")):
            print(f"  guest: {line}")
    lines = [l for l in console.splitlines() if l.startswith(("PASS quorzel", "FAIL quorzel"))]
    check(bool(lines) and all(l.startswith("PASS") for l in lines),
          "quorzel.sh: PASS lines and no FAIL line",
          f"{sum(l.startswith('FAIL') for l in lines)} FAIL of {len(lines)}")
    check("rc=0" in rc_line, "quorzel.sh exits 0", rc_line)


# --- running one -------------------------------------------------------------

def run(sc: Scenario, build_dir: Path, work: Path, keep: bool) -> int:
    try:
        kernel, modules = peer_vm.find_kernel()
        for tool in ("qemu-system-x86_64", "busybox", "ipmitool", "ipmi-fru") + \
                (("ipmi_sim",) if sc.bmc == "ipmi_sim" else ()):
            peer_vm.find_tool(tool)
        for need in sc.needs:
            if not (build_dir / need).exists():
                raise peer_vm.Skip(f"{build_dir / need} is not built")
        if sc.script != "fru.sh" and not (peer_vm.GUEST_DIR / sc.script).exists():
            raise peer_vm.Skip(f"guest script {sc.script} is not there yet")
        firmware = peer_vm.guest_firmware() if sc.script == "bios.sh" else b""
    except peer_vm.Skip as e:
        return peer_vm.loud_skip(f"{sc.name}: {e}")

    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    original, _ = fru_image.build_fru(FRU_AREA_SIZE)
    fru_file = work / "fru.bin"
    fru_file.write_bytes(original)
    sdrs = sdr_image.repository(sdr_image.FIRST_RECORD_ID[sc.bmc]) if sc.bmc != "none" else []
    sdr_file = work / "sdr.bin"
    sdr_file.write_bytes(sdr_image.sdr_file(sdrs))

    env = {"PEER_KCS": f"{sc.kcs:#x}", "PEER_FIELDS": " ".join(GET_FIELDS),
           "PEER_SET": f"{SET_FIELD}={SET_VALUE}" if sc.write_over else "",
           "PEER_WRITE_OVER": sc.write_over, "PEER_ARGS": "/opt/srvfw"}
    initrd = work / "initrd.gz"
    extra = {}
    flash = work / "flash.bin"
    if sc.script == "bios.sh":
        flash.write_bytes(bios_image.build_flash(firmware))
        extra["peer/new-area1.bin"] = bios_image.new_area(1)
    peer_vm.build_initramfs(initrd, build_dir, modules, sc.script, env, extra)

    sim = None
    opts = []
    if sc.script == "bios.sh":
        opts = ["-drive", f"if=pflash,format=raw,file={flash}"]
    if sc.bmc == "qemu":
        opts = ["-device", f"ipmi-bmc-sim,id=bmc0,frudatafile={fru_file},"
                           f"fruareasize={FRU_AREA_SIZE},sdrfile={sdr_file}",
                "-device", f"isa-ipmi-kcs,bmc=bmc0,ioport={sc.kcs:#x}"]
    elif sc.bmc == "ipmi_sim":
        sim = peer_vm.IpmiSim(work, fru_file, FRU_AREA_SIZE, sdr_image.emu_commands(sdrs))
        sim.start()
        proxy = peer_vm.RecordingProxy(sim.serial_port)
        opts = ["-chardev", f"socket,id=ipmi0,host=127.0.0.1,port={proxy.port},reconnect=1",
                "-device", "ipmi-bmc-extern,chardev=ipmi0,id=bmc1",
                "-device", f"isa-ipmi-kcs,bmc=bmc1,ioport={sc.kcs:#x}"]
    original_flash = flash.read_bytes() if flash.exists() else b""
    guest = peer_vm.Guest(work, kernel, initrd, opts, sc.smbios, machine=sc.machine)
    marks = {}  # sync tag -> how many requests the BMC had been sent by then
    if sim:
        def at_sync(tag):
            marks[tag] = proxy.mark()
            return sim.lan_read_fru(work / f"lan-{tag}.bin")
        for tag in ("before", "after-set", "after-restore"):
            guest.sync_handlers[tag] = (lambda t=tag: at_sync(t))

    what = (f"{sc.bmc} BMC, KCS {sc.kcs:#x}, SMBIOS {sc.smbios}-bit entry point"
            if sc.bmc != "none" else f"guest script {sc.script}")
    print(f"==== {sc.name}: {what}; work folder {work}", flush=True)
    try:
        finished, seconds = guest.run(sc.timeout_s)
    finally:
        if sim:
            sim.stop()
    console = guest.console_text()
    (work / "console.txt").write_text(console)
    exit_line = next((l for l in console.splitlines() if l.startswith("@@@ GUEST EXIT")), "")
    print(f"boot took {seconds:.1f} s", flush=True)

    check = Checks()
    if not check(finished and exit_line != "", "the guest ran its script and powered off",
                 f"timed out after {sc.timeout_s} s" if not finished else "no GUEST EXIT line"):
        print("---- console tail ----")
        print("\n".join(console.splitlines()[-60:]))
        print("---- qemu ----")
        print(guest.qemu_log()[-2000:])
        # What the guest did not get to would only fail again line by line.
        print(f"==== {sc.name}: FAILED, the guest did not finish; its files are in {work}")
        return 1
    for note in go.notes(console):
        print(f"  guest note: {note}")
    if sc.script == "fru.sh":
        writes = {}
        if sim and len(marks) == 3:
            writes = {"set": write_requests(proxy.since(marks["before"], marks["after-set"])),
                      "restore": write_requests(proxy.since(marks["after-set"],
                                                            marks["after-restore"]))}
        check_fru_scenario(check, console, sc, sim, original, guest.sync_log, writes, sdrs)
    elif sc.script == "bios.sh":
        bios_checks.check_bios_scenario(check, go.parse_blocks(console), original_flash,
                                        flash.read_bytes())
    else:
        check_quorzel(check, console, exit_line)
    print(f"==== {sc.name}: {check.passed} passed, {len(check.failed)} failed "
          f"({seconds:.0f} s)")
    if not keep and not check.failed:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if check.failed else 0


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("scenario", nargs="?")
    ap.add_argument("--build-dir", type=Path, default=Path("build/default"))
    ap.add_argument("--work-dir", type=Path, help="default: <build>/tests/peer/<scenario>")
    ap.add_argument("--keep", action="store_true", help="keep the work folder after a pass")
    ap.add_argument("--timeout", type=int, help="seconds the guest may take (default: the scenario's)")
    ap.add_argument("--list", action="store_true")
    a = ap.parse_args()
    if a.list or not a.scenario:
        for s in SCENARIOS.values():
            print(s.name)
        return 0
    sc = SCENARIOS.get(a.scenario)
    if sc is None:
        print(f"no scenario {a.scenario}; --list names them", file=sys.stderr)
        return 2
    build = a.build_dir.resolve()
    if a.timeout:
        sc.timeout_s = a.timeout
    work = (a.work_dir or build / "tests" / "peer" / sc.name).resolve()
    return run(sc, build, work, a.keep)


if __name__ == "__main__":
    sys.exit(main())
