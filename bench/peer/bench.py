#!/usr/bin/env python3
"""srvfw against ipmitool and FreeIPMI in one QEMU guest on one BMC:
wall time of reading the whole FRU, min and median of N runs, and the IPMI
requests each run sent. On OpenIPMI's ipmi_sim (the default) a proxy
between QEMU's ipmi-bmc-extern chardev and ipmi_sim counts the requests;
QEMU's own BMC (--bmc qemu) answers at once but cannot be counted. Not a
test: it prints a table.

    bench/peer/bench.py [--build-dir build/default] [--runs 5] [--kcs 0xca2] [--bmc qemu]

Figures are guest wall times under TCG (no KVM), so they compare the tools
with each other, not with a real server.
"""

import argparse
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

COMMAND_NAMES = {(0x06, 0x01): "Get Device ID", (0x0A, 0x10): "Get FRU Inventory Area Info",
                 (0x0A, 0x11): "Read FRU Data", (0x0A, 0x20): "Get SDR Repository Info",
                 (0x0A, 0x22): "Reserve SDR Repository", (0x0A, 0x23): "Get SDR",
                 (0x06, 0x2F): "Get BMC Global Enables", (0x06, 0x31): "Get Message Flags",
                 (0x06, 0x35): "Read Event Message Buffer", (0x06, 0x2E): "Set BMC Global Enables",
                 (0x06, 0x34): "Send Message", (0x06, 0x33): "Get Message",
                 (0x06, 0x36): "Get BT Interface Capabilities",
                 (0x06, 0x57): "Get System Interface Capabilities"}


ROWS = [  # label in the guest script, what it is
    ("srvfw.help", "srvfw --help (start-up only)"),
    ("srvfw.fru-load", "srvfw fru load FILE (library, no BMC)"),
    ("ipmitool.version", "ipmitool -V (start-up only)"),
    ("srvfw.show.ports", "srvfw fru show, KCS ports"),
    ("ipmi-fru.kcs", "ipmi-fru, KCS ports"),
    ("srvfw.show.driver", "srvfw fru show, /dev/ipmi0"),
    ("ipmitool.fru", "ipmitool fru print 0, /dev/ipmi0"),
    ("ipmi-fru.driver", "ipmi-fru, /dev/ipmi0"),
]


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("--build-dir", type=Path, default=ROOT / "build" / "default")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--kcs", default="0xca2")
    ap.add_argument("--bmc", choices=("ipmi_sim", "qemu"), default="ipmi_sim",
                    help="qemu: QEMU's own BMC (answers at once; no request counts)")
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
    initrd = work / "initrd.gz"
    script = (Path(__file__).resolve().parent / "guest_bench.sh").read_bytes()
    peer_vm.build_initramfs(initrd, build, modules, "bench.sh",
                            {"PEER_KCS": a.kcs, "PEER_RUNS": str(a.runs)},
                            {"peer/bench.sh": script})

    sim = proxy = None
    marks = {}
    if a.bmc == "ipmi_sim":
        sim = peer_vm.IpmiSim(work, fru_file, 1024)
        sim.start()
        proxy = peer_vm.RecordingProxy(sim.serial_port)
        opts = ["-chardev", f"socket,id=ipmi0,host=127.0.0.1,port={proxy.port},reconnect=1",
                "-device", "ipmi-bmc-extern,chardev=ipmi0,id=bmc1",
                "-device", f"isa-ipmi-kcs,bmc=bmc1,ioport={a.kcs}"]
    else:
        opts = ["-device", f"ipmi-bmc-sim,id=bmc0,frudatafile={fru_file},fruareasize=1024",
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
    print(f"\nOne guest (TCG, 1 vCPU), {bmc}, KCS {a.kcs}; {a.runs} runs each; "
          f"boot and all runs {time.monotonic() - started:.0f} s")
    print(f"{'command':44} {'min s':>6} {'median s':>8} {'requests':>9}  exit  requests by command")
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
