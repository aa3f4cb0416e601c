"""The machinery of the peer tests: the guest's initramfs, OpenIPMI's
ipmi_sim on the host, and one QEMU boot with its console and control port.

Only the Python standard library; the guest side is busybox sh.
"""

import glob
import gzip
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass
from pathlib import Path

HERE = Path(__file__).resolve().parent
GUEST_DIR = HERE / "guest"
SKIP = 77  # the tests' SKIP_RETURN_CODE


class Skip(Exception):
    """A peer cannot run here (no QEMU, no kernel image): the test is
    reported as skipped, loudly."""


def loud_skip(reason: str) -> int:
    bar = "!" * 72
    print(f"{bar}\n!!! PEER TEST SKIPPED: {reason}\n!!! Nothing was checked.\n{bar}", flush=True)
    return SKIP


# --- what the guest needs -------------------------------------------------

def find_kernel() -> tuple[Path, Path]:
    """Debian's kernel image and its module folder (the newest installed)."""
    images = sorted(glob.glob("/boot/vmlinuz-*"))
    for image in reversed(images):
        version = image.split("vmlinuz-", 1)[1]
        modules = Path("/lib/modules") / version
        if os.access(image, os.R_OK) and modules.is_dir():
            return Path(image), modules
    if images:
        raise Skip(f"{images[-1]} is not readable or has no /lib/modules folder")
    raise Skip("no kernel image /boot/vmlinuz-* (linux-image-amd64)")


def find_tool(name: str) -> str:
    path = shutil.which(name, path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
    if not path:
        raise Skip(f"{name} is not installed")
    return path


IPMI_MODULES = ("ipmi_msghandler", "ipmi_si", "ipmi_devintf")


def ipmi_module_files(modules: Path) -> dict[str, Path]:
    """The kernel's IPMI modules. busybox insmod loads a plain .ko only, so a
    compressed module (.ko.xz/.ko.zst/.ko.gz) is unpacked into the image."""
    found = {}
    for name in IPMI_MODULES:
        hits = sorted((modules / "kernel/drivers/char/ipmi").glob(name + ".ko*"))
        if not hits:
            raise Skip(f"kernel module {name} not found under {modules}")
        found[name] = hits[0]
    return found


def module_bytes(path: Path) -> bytes:
    if path.suffix == ".ko":
        return path.read_bytes()
    if path.suffix == ".gz":
        return gzip.decompress(path.read_bytes())
    tool = {".xz": ["xz", "-dc"], ".zst": ["zstd", "-dc"]}.get(path.suffix)
    if not tool:
        raise Skip(f"cannot unpack {path}")
    return subprocess.run(tool + [str(path)], check=True, capture_output=True).stdout


def shared_libraries(elf: Path) -> list[Path]:
    """What the dynamic loader maps for elf (ldd), the loader included."""
    out = subprocess.run(["ldd", str(elf)], capture_output=True, text=True)
    if "not a dynamic executable" in out.stdout + out.stderr:
        return []
    libs = []
    for line in out.stdout.splitlines():
        m = re.search(r"=>\s+(/\S+)", line) or re.match(r"\s*(/\S+)\s+\(", line)
        if m:
            libs.append(Path(m.group(1)))
        elif "not found" in line:
            raise RuntimeError(f"{elf}: {line.strip()}")
    return libs


class Initramfs:
    """A newc cpio archive, written by hand so that no file of the host is
    needed at a path the archive names (and no cpio run as root)."""

    def __init__(self):
        self.entries = {}  # path in the image -> (mode, data or link target)

    def add_dir(self, path: str):
        parts = path.strip("/").split("/")
        for i in range(1, len(parts) + 1):
            self.entries.setdefault("/".join(parts[:i]), (0o040755, b""))

    def add_bytes(self, path: str, data: bytes, mode: int = 0o644):
        path = path.strip("/")
        if "/" in path:
            self.add_dir(path.rsplit("/", 1)[0])
        self.entries[path] = (0o100000 | mode, data)

    def add_file(self, path: str, source: Path, mode: int | None = None):
        if mode is None:
            mode = 0o755 if os.access(source, os.X_OK) else 0o644
        self.add_bytes(path, Path(source).read_bytes(), mode)

    def add_symlink(self, path: str, target: str):
        path = path.strip("/")
        self.add_dir(path.rsplit("/", 1)[0])
        self.entries[path] = (0o120777, target.encode())

    def add_elf(self, path: str, source: Path):
        """An executable or library and every shared library it needs, each
        at the path the loader looks for it."""
        self.add_file(path, source)
        for lib in shared_libraries(source):
            if str(lib).strip("/") not in self.entries:
                self.add_file(str(lib), lib.resolve(), 0o755)

    def write(self, out: Path):
        blob = bytearray()
        ino = 1

        def pad4():
            while len(blob) % 4:
                blob.append(0)

        for name in sorted(self.entries) + ["TRAILER!!!"]:
            mode, data = self.entries.get(name, (0, b""))
            fields = [ino, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name) + 1, 0]
            blob += b"070701" + b"".join(b"%08X" % f for f in fields)
            blob += name.encode() + b"\0"
            pad4()
            blob += data
            pad4()
            ino += 1
        out.write_bytes(gzip.compress(bytes(blob), compresslevel=1))


def guest_firmware() -> bytes:
    """The guest's BIOS as QEMU ships it (SeaBIOS), for a machine that
    starts from a flash image the test builds."""
    for path in ("/usr/share/seabios/bios-256k.bin", "/usr/share/qemu/bios-256k.bin"):
        if os.path.exists(path):
            return Path(path).read_bytes()
    raise Skip("no SeaBIOS image (bios-256k.bin) to put in the guest's flash")


def build_initramfs(out: Path, build_dir: Path, modules: Path, script: str,
                    scenario_env: dict[str, str], extra_files: dict[str, bytes] | None = None):
    """The guest: busybox, our real builds under /opt/srvfw (bin, lib, res),
    ipmitool and FreeIPMI's ipmi-fru and ipmi-sensors, the kernel's IPMI
    modules in /modules, the guest scripts in /peer."""
    image = Initramfs()
    image.add_file("bin/busybox", Path(find_tool("busybox")), 0o755)
    image.add_symlink("bin/sh", "busybox")
    image.add_file("init", GUEST_DIR / "init", 0o755)
    for f in GUEST_DIR.glob("*.sh"):
        image.add_file(f"peer/{f.name}", f, 0o755)
    env = "".join(f"{k}='{v}'\n" for k, v in scenario_env.items())
    image.add_bytes("peer/scenario.env", (f"PEER_SCRIPT='{script}'\n" + env).encode())

    bin_dir = build_dir / "bin"
    if not (bin_dir / "srvfw").exists():
        raise RuntimeError(f"{bin_dir}/srvfw is not built")
    for f in sorted(bin_dir.iterdir()):
        if f.is_file():
            is_elf = f.read_bytes()[:4] == b"\x7fELF"
            if is_elf and os.access(f, os.X_OK) and not f.name.endswith(".o"):
                image.add_elf(f"opt/srvfw/bin/{f.name}", f)
            else:
                image.add_file(f"opt/srvfw/bin/{f.name}", f)
    for f in sorted((build_dir / "lib").glob("*.so*")):
        image.add_elf(f"opt/srvfw/lib/{f.name}", f.resolve())
    for f in sorted((build_dir / "res").rglob("*")):
        if f.is_file():
            image.add_file(f"opt/srvfw/res/{f.relative_to(build_dir / 'res')}", f)

    image.add_elf("usr/bin/ipmitool", Path(find_tool("ipmitool")))
    image.add_elf("usr/sbin/ipmi-fru", Path(find_tool("ipmi-fru")))
    image.add_elf("usr/sbin/ipmi-sensors", Path(find_tool("ipmi-sensors")))
    # strace shows which way a command reached the BMC (ports or driver);
    # the checks that need it say so when it is missing.
    if shutil.which("strace"):
        image.add_elf("usr/bin/strace", Path(shutil.which("strace")))
    # ipmitool names vendors of OEM records from the IANA list; FreeIPMI
    # reads its configuration file, and its in-band KCS driver takes the
    # SysV semaphore key of its lock from the ipckey file (without it:
    # "ipmi_ctx_open_inband: internal error").
    for conf in ("/usr/share/misc/enterprise-numbers.txt", "/etc/freeipmi/freeipmi.conf",
                 "/var/lib/freeipmi/ipckey"):
        if os.path.exists(conf):
            image.add_file(conf, Path(conf), 0o644)
    image.add_bytes("etc/passwd", b"root:x:0:0:root:/root:/bin/sh\n")
    image.add_bytes("etc/group", b"root:x:0:\n")

    for name, path in ipmi_module_files(modules).items():
        image.add_bytes(f"modules/{name}.ko", module_bytes(path))
    for path, data in (extra_files or {}).items():
        image.add_bytes(path, data)
    image.write(out)


# --- ports ----------------------------------------------------------------

def free_port(kind=socket.SOCK_STREAM) -> int:
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def tcp_listening(port: int) -> bool:
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            lines = Path(table).read_text().splitlines()[1:]
        except OSError:
            continue
        for line in lines:
            cols = line.split()
            if cols[1].endswith(f":{port:04X}") and cols[3] == "0A":
                return True
    return False


# --- OpenIPMI's ipmi_sim --------------------------------------------------

LAN_USER = "peeradmin"
LAN_PASSWORD = "peer-pass-7"


class IpmiSim:
    """ipmi_sim with one BMC (20h) whose FRU device 0 is a file we made
    (writes land in that file), its system interface a VM-protocol socket
    for QEMU's ipmi-bmc-extern and RMCP+ on 127.0.0.1. Only loopback."""

    def __init__(self, work: Path, fru_file: Path, fru_size: int, sdr_commands: str = ""):
        self.work = work
        self.fru_file = fru_file
        self.fru_size = fru_size
        self.sdr_commands = sdr_commands  # main_sdr_add / sensor_add lines (sdr_image)
        self.serial_port = free_port()
        self.lan_port = free_port(socket.SOCK_DGRAM)
        self.proc = None

    def write_config(self):
        # ipmi_sim keeps its main SDRs (persist_sdr) and users there and adds
        # the command file's records to what it kept: a folder left from an
        # earlier run (the benchmark reuses its work folder) would double
        # the repository.
        state = self.work / "ipmi_sim_state"
        shutil.rmtree(state, ignore_errors=True)
        state.mkdir()
        auths = "none md2 md5 straight"
        (self.work / "lan.conf").write_text(f"""\
name "peer"
set_working_mc 0x20
  startlan 1
    addr 127.0.0.1 {self.lan_port}
    priv_limit admin
    allowed_auths_callback {auths}
    allowed_auths_user {auths}
    allowed_auths_operator {auths}
    allowed_auths_admin {auths}
    guid a123456789abcdefa123456789abcdef
  endlan
  serial kcs 127.0.0.1 {self.serial_port} codec VM
user 2 true "{LAN_USER}" "{LAN_PASSWORD}" admin 10 {auths}
""")
        (self.work / "peer.emu").write_text(f"""\
mc_setbmc 0x20
mc_add 0x20 0 no-device-sdrs 0x23 9 8 0x9f 0x1291 0xf02 persist_sdr
mc_add_fru_data 0x20 0 {self.fru_size} file 0 "{self.fru_file}"
{self.sdr_commands}mc_enable 0x20
""")
        return state

    def start(self, debug_log: Path | None = None):
        state = self.write_config()
        args = [find_tool("ipmi_sim"), "-c", str(self.work / "lan.conf"),
                "-f", str(self.work / "peer.emu"), "-s", str(state), "-n"]
        with open(debug_log or (self.work / "ipmi_sim.log"), "wb") as log:
            self.proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log,
                                         stderr=subprocess.STDOUT, start_new_session=True)
        deadline = time.monotonic() + 10
        while not tcp_listening(self.serial_port):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("ipmi_sim did not start: "
                                   + (self.work / "ipmi_sim.log").read_text(errors="replace"))
            time.sleep(0.05)

    def lan_read_fru(self, out: Path) -> str:
        """FRU device 0 read over RMCP+ from the host, as an administrator
        would from a management station."""
        # Cipher suite 3 (HMAC-SHA1, AES-128) named: without -C, ipmitool
        # first asks for the channel's suites, which ipmi_sim does not
        # answer, and waits 10 s for it.
        args = [find_tool("ipmitool"), "-I", "lanplus", "-C", "3", "-H", "127.0.0.1", "-p",
                str(self.lan_port), "-U", LAN_USER, "-P", LAN_PASSWORD, "fru", "read", "0",
                str(out)]
        r = subprocess.run(args, capture_output=True, text=True, timeout=60)
        return f"rc={r.returncode} {r.stdout.strip()} {r.stderr.strip()}"

    def stop(self):
        if self.proc and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()


# --- what the BMC was asked ---------------------------------------------

# QEMU's ipmi-bmc-extern speaks OpenIPMI's VM protocol: a message is
# seq, netFn/LUN, cmd, data, checksum, then A0h; a control command ends
# with A1h; AAh escapes the next byte, which has bit 4 set.
VM_MSG_CHAR, VM_CMD_CHAR, VM_ESCAPE_CHAR = 0xA0, 0xA1, 0xAA


@dataclass
class Request:
    netfn: int
    cmd: int
    data: bytes


class RecordingProxy:
    """Listens on 127.0.0.1 for QEMU, connects each connection through to
    ipmi_sim, and records the requests going to the BMC: what the BMC was
    asked, whoever in the guest asked it."""

    def __init__(self, target_port: int):
        self.target_port = target_port
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.lock = threading.Lock()
        self.requests = []  # Request, in order
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                guest, _ = self.listener.accept()
            except OSError:
                return
            bmc = socket.create_connection(("127.0.0.1", self.target_port))
            threading.Thread(target=self._pump, args=(guest, bmc, True), daemon=True).start()
            threading.Thread(target=self._pump, args=(bmc, guest, False), daemon=True).start()

    def _pump(self, src, dst, count):
        frame, escape = bytearray(), False
        while True:
            try:
                data = src.recv(4096)
            except OSError:
                data = b""
            if not data:
                for s in (src, dst):
                    try:
                        s.shutdown(socket.SHUT_RDWR)
                    except OSError:
                        pass
                return
            if count:
                for b in data:
                    if escape:
                        frame.append(b & ~0x10)
                        escape = False
                    elif b == VM_ESCAPE_CHAR:
                        escape = True
                    elif b == VM_MSG_CHAR:
                        if len(frame) >= 4:
                            with self.lock:
                                self.requests.append(
                                    Request(frame[1] >> 2, frame[2], bytes(frame[3:-1])))
                        frame.clear()
                    elif b == VM_CMD_CHAR:
                        frame.clear()
                    else:
                        frame.append(b)
            dst.sendall(data)

    def mark(self) -> int:
        with self.lock:
            return len(self.requests)

    def since(self, start: int, end: int) -> list:
        with self.lock:
            return self.requests[start:end]



# --- one boot -------------------------------------------------------------

class Guest:
    """One QEMU boot (TCG) of Debian's kernel with our initramfs. The
    console (ttyS0) goes to a file; the second serial port (ttyS1) is a
    socket the host serves "SYNC <tag>" requests on."""

    def __init__(self, work: Path, kernel: Path, initrd: Path, machine_opts: list[str],
                 smbios_entry: str = "32", memory_mb: int = 320, machine: str = "pc"):
        self.work = work
        self.machine = machine
        self.kernel = kernel
        self.initrd = initrd
        self.machine_opts = machine_opts
        self.smbios_entry = smbios_entry
        self.memory_mb = memory_mb
        self.console = work / "console.log"
        self.control = None  # the control socket, made by run()
        self.sync_handlers = {}   # tag -> function run before the guest goes on
        self.sync_default = None  # function(tag) for tags without a handler
        self.sync_log = []

    def command(self) -> list[str]:
        return [find_tool("qemu-system-x86_64"),
                "-machine",
                f"{self.machine},accel=tcg,smbios-entry-point-type={self.smbios_entry}",
                "-m", str(self.memory_mb), "-smp", "1",
                "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
                "-kernel", str(self.kernel), "-initrd", str(self.initrd),
                "-append", "console=ttyS0,115200 quiet loglevel=1 panic=-1",
                "-chardev", f"file,id=con,path={self.console}", "-serial", "chardev:con",
                "-chardev", f"socket,id=ctl,path={self.control},server=on,wait=off",
                "-serial", "chardev:ctl",
                ] + self.machine_opts

    def _serve_control(self, stop: threading.Event):
        sock = None
        while not stop.is_set() and sock is None:
            try:
                sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                sock.connect(str(self.control))
            except OSError:
                sock.close()
                sock = None
                time.sleep(0.05)
        if sock is None:
            return
        sock.settimeout(0.2)
        buf = b""
        with sock:
            while not stop.is_set():
                try:
                    chunk = sock.recv(4096)
                except socket.timeout:
                    continue
                except OSError:
                    return
                if not chunk:
                    return
                buf += chunk
                while b"\n" in buf:
                    line, buf = buf.split(b"\n", 1)
                    words = line.decode(errors="replace").strip().split()
                    if len(words) == 2 and words[0] == "SYNC":
                        tag = words[1]
                        handler = self.sync_handlers.get(tag)
                        if handler:
                            result = handler()
                        elif self.sync_default:
                            result = self.sync_default(tag)
                        else:
                            result = "no handler"
                        self.sync_log.append((tag, result))
                        sock.sendall(f"DONE {tag}\n".encode())

    def run(self, timeout_s: float) -> tuple[bool, float]:
        """Boots and waits for power-off. Returns (finished in time, seconds)."""
        self.console.unlink(missing_ok=True)
        # A socket's path is limited to 107 bytes; a deep build folder
        # would not fit, so the control socket lives in a short temp folder.
        self.control = Path(tempfile.mkdtemp(prefix="peer-")) / "control.sock"
        stop = threading.Event()
        server = threading.Thread(target=self._serve_control, args=(stop,), daemon=True)
        start = time.monotonic()
        with open(self.work / "qemu.log", "wb") as qlog:
            proc = subprocess.Popen(self.command(), stdin=subprocess.DEVNULL, stdout=qlog,
                                    stderr=subprocess.STDOUT, start_new_session=True)
            server.start()
            try:
                proc.wait(timeout_s)
                finished = True
            except subprocess.TimeoutExpired:
                finished = False
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
        stop.set()
        server.join(2)
        shutil.rmtree(self.control.parent, ignore_errors=True)
        return finished, time.monotonic() - start

    def console_text(self) -> str:
        try:
            return self.console.read_bytes().decode("utf-8", "replace").replace("\r", "")
        except OSError:
            return ""

    def qemu_log(self) -> str:
        try:
            return (self.work / "qemu.log").read_text(errors="replace")
        except OSError:
            return ""
