#!/usr/bin/env python3
"""srvfw against ipmitool and FreeIPMI in one QEMU guest on one BMC:
wall time of reading the whole FRU and a 200-record SDR repository, min and
median of N runs, and the IPMI requests each run sent (for the SDRs also a
record's share, against the least that srvfw's way of reading allows). On OpenIPMI's ipmi_sim (the default) a proxy
between QEMU's ipmi-bmc-extern chardev and ipmi_sim counts the requests;
QEMU's own BMC (--bmc qemu) answers at once but cannot be counted. Not a
test: it prints a table.

    bench/peer/bench.py [--build-dir build/default] [--runs 5] [--kcs 0xca2] [--bmc qemu]

Figures are guest wall times under TCG (no KVM), so they compare the tools
with each other, not with a real server.
"""

import argparse
import math
import statistics
import sys
import time
from collections import Counter
from pathlib import Path

sys.dont_write_bytecode = True
ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "peer"))

import fru_image  # noqa: E402
import guest_output as go  # noqa: E402
import peer_vm  # noqa: E402
import sdr_image  # noqa: E402

COMMAND_NAMES = {(0x06, 0x01): "Get Device ID", (0x0A, 0x10): "Get FRU Inventory Area Info",
                 (0x0A, 0x11): "Read FRU Data", (0x0A, 0x20): "Get SDR Repository Info",
                 (0x0A, 0x22): "Reserve SDR Repository", (0x0A, 0x23): "Get SDR",
                 (0x06, 0x2F): "Get BMC Global Enables", (0x06, 0x31): "Get Message Flags",
                 (0x06, 0x35): "Read Event Message Buffer", (0x06, 0x2E): "Set BMC Global Enables",
                 (0x06, 0x34): "Send Message", (0x06, 0x33): "Get Message",
                 (0x06, 0x36): "Get BT Interface Capabilities",
                 (0x06, 0x57): "Get System Interface Capabilities",
                 (0x04, 0x2D): "Get Sensor Reading"}


ROWS = [  # label in the guest script, what it is
    ("srvfw.help", "srvfw --help (start-up only)"),
    ("srvfw.fru-load", "srvfw fru load FILE (library, no BMC)"),
    ("ipmitool.version", "ipmitool -V (start-up only)"),
    ("srvfw.show.ports", "srvfw fru show, KCS ports"),
    ("ipmi-fru.kcs", "ipmi-fru, KCS ports"),
    ("srvfw.show.driver", "srvfw fru show, /dev/ipmi0"),
    ("ipmitool.fru", "ipmitool fru print 0, /dev/ipmi0"),
    ("ipmi-fru.driver", "ipmi-fru, /dev/ipmi0"),
    ("srvfw.sdr-save.ports", "srvfw sdr save FILE, KCS ports"),
    ("srvfw.sdr-save.driver", "srvfw sdr save FILE, /dev/ipmi0"),
    ("ipmitool.sdr-dump", "ipmitool sdr dump FILE, /dev/ipmi0"),
    ("ipmi-sensors.sdr-cache", "ipmi-sensors: new SDR cache + 1 record"),
    ("ipmi-sensors.cached", "ipmi-sensors: cached SDRs + 1 record"),
]
SDR_ROWS = ("srvfw.sdr-save.ports", "srvfw.sdr-save.driver", "ipmitool.sdr-dump",
            "ipmi-sensors.sdr-cache")
NETFN_STORAGE, CMD_RESERVE_SDR, CMD_GET_SDR = 0x0A, 0x22, 0x23


def least_sdr_requests(records) -> int:
    """One reservation, one Get SDR for the 5-byte header and one for each
    16 bytes of the rest, a record: the least srvfw's way of reading takes."""
    return sum(2 + math.ceil(r.bytes[4] / 16) for r in records)


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("--build-dir", type=Path, default=ROOT / "build" / "default")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--kcs", default="0xca2")
    ap.add_argument("--bmc", choices=("ipmi_sim", "qemu"), default="ipmi_sim",
                    help="qemu: QEMU's own BMC (answers at once; no request counts)")
    ap.add_argument("--sdr-records", type=int, default=200,
                    help="records in the BMC's SDR repository")
    ap.add_argument("--work-dir", type=Path)
    a = ap.parse_args()
    build = a.build_dir.resolve()
    work = (a.work_dir or build / "bench" / "peer").resolve()
    work.mkdir(parents=True, exist_ok=True)
    try:
        kernel, modules = peer_vm.find_kernel()
        for tool in ("qemu-system-x86_64", "ipmi_sim", "ipmitool", "ipmi-fru", "busybox"):
            peer_vm.find_tool(tool)
    except peer_vm.Skip as e:
        peer_vm.loud_skip(f"benchmark: {e}")
        return 1

    original, _ = fru_image.build_fru(1024)
    fru_file = work / "fru.bin"
    fru_file.write_bytes(original)
    sdrs = sdr_image.large_repository(sdr_image.FIRST_RECORD_ID[a.bmc], a.sdr_records)
    sdr_file = work / "sdr.bin"
    sdr_file.write_bytes(sdr_image.sdr_file(sdrs))
    initrd = work / "initrd.gz"
    script = (Path(__file__).resolve().parent / "guest_bench.sh").read_bytes()
    peer_vm.build_initramfs(initrd, build, modules, "bench.sh",
                            {"PEER_KCS": a.kcs, "PEER_RUNS": str(a.runs),
                             "PEER_SDR_FIRST": str(sdrs[0].id)},
                            {"peer/bench.sh": script})

    sim = proxy = None
    marks = {}
    if a.bmc == "ipmi_sim":
        sim = peer_vm.IpmiSim(work, fru_file, 1024, sdr_image.emu_commands(sdrs))
        sim.start()
        proxy = peer_vm.RecordingProxy(sim.serial_port)
        opts = ["-chardev", f"socket,id=ipmi0,host=127.0.0.1,port={proxy.port},reconnect=1",
                "-device", "ipmi-bmc-extern,chardev=ipmi0,id=bmc1",
                "-device", f"isa-ipmi-kcs,bmc=bmc1,ioport={a.kcs}"]
    else:
        opts = ["-device", f"ipmi-bmc-sim,id=bmc0,frudatafile={fru_file},fruareasize=1024,"
                           f"sdrfile={sdr_file}",
                "-device", f"isa-ipmi-kcs,bmc=bmc0,ioport={a.kcs}"]
    guest = peer_vm.Guest(work, kernel, initrd, opts, "32")
    if proxy:
        guest.sync_default = lambda tag: marks.__setitem__(tag, proxy.mark()) or "marked"
    else:
        guest.sync_default = lambda tag: "no proxy"
    started = time.monotonic()
    try:
        finished, seconds = guest.run(1200)
    finally:
        if sim:
            sim.stop()
    console = guest.console_text()
    (work / "console.txt").write_text(console)
    if not finished:
        print("the benchmark guest timed out; console tail:")
        print("\n".join(console.splitlines()[-40:]))
        return 1

    times = {}
    for line in console.splitlines():
        if line.startswith("@@@ TIME "):
            _, _, label, n, secs, rc = line.split()
            times.setdefault(label, []).append((int(n), float(secs), rc))

    bmc = ("OpenIPMI ipmi_sim through QEMU's ipmi-bmc-extern" if proxy
           else "QEMU's ipmi-bmc-sim")
    print(f"\nOne guest (TCG, 1 vCPU), {bmc}, KCS {a.kcs}; {len(sdrs)} SDRs "
          f"({len(sdr_image.sdr_file(sdrs))} bytes); {a.runs} runs each; "
          f"boot and all runs {time.monotonic() - started:.0f} s")
    print(f"{'command':44} {'min s':>6} {'median s':>8} {'requests':>9}  exit  requests by command")
    sdr_rows = []
    for label, title in ROWS:
        runs = times.get(label, [])
        if not runs:
            print(f"{title:44} {'-':>6} {'-':>8} {'-':>9}  (not run)")
            continue
        secs = [s for _, s, _ in runs]
        counts, kinds = [], Counter()
        for n, _, _ in runs:
            b, e = marks.get(f"b.{label}.{n}"), marks.get(f"e.{label}.{n}")
            if proxy and b is not None and e is not None:
                reqs = [(r.netfn, r.cmd) for r in proxy.since(b, e)]
                counts.append(len(reqs))
                if n == runs[-1][0]:
                    kinds = Counter(reqs)
        rcs = sorted({rc.split("=")[1] for _, _, rc in runs})
        req = f"{statistics.median(counts):.0f}" if counts else ("?" if proxy else "n/a")
        if counts and min(counts) != max(counts):
            req += f" ({min(counts)}-{max(counts)})"
        by = ", ".join(f"{COMMAND_NAMES.get(k, f'{k[0]:02X}h/{k[1]:02X}h')} x{v}"
                       for k, v in kinds.most_common())
        print(f"{title:44} {min(secs):6.2f} {statistics.median(secs):8.2f} {req:>9}  "
              f"{','.join(rcs):4}  {by}")
        if label in SDR_ROWS and kinds:
            sdr_reqs = kinds[(NETFN_STORAGE, CMD_RESERVE_SDR)] + kinds[(NETFN_STORAGE,
                                                                         CMD_GET_SDR)]
            sdr_rows.append(f"{title:44} {sdr_reqs:6} Reserve + Get SDR, "
                            f"{sdr_reqs / len(sdrs):.2f} a record")
    least = least_sdr_requests(sdrs)
    print(f"\nSDR requests (the last run): least by one reservation, the header and "
          f"16-byte parts a record: {least}, {least / len(sdrs):.2f} a record")
    for line in sdr_rows:
        print(line)
    print("\n(exit: the runs' exit codes; a non-zero one means the figure is of a failure. "
          "Requests counted between the guest's syncs before and after each run, so the "
          "kernel driver's own traffic in that time is included.)")
    for label, title in ROWS:
        b = go.parse_blocks(console).get(f"last.{label}")
        if b is not None and times.get(label) and times[label][-1][2] != "rc=0":
            print(f"  {title}: {b.text.strip()[:300]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
