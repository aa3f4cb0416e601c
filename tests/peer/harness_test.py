#!/usr/bin/env python3
"""The peer harness's own pieces, without a guest: the FRU image it gives
the BMCs (judged by FreeIPMI's reader of FRU files), the reader that judges
what srvfw wrote, the SDR repository (judged by ipmitool and FreeIPMI
reading it from ipmi_sim over RMCP+), and the parsing of the guest's
console."""

import base64
import contextlib
import io
import json
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))

import fru_image  # noqa: E402
import guest_output as go  # noqa: E402
import peer_vm  # noqa: E402
import run_scenario  # noqa: E402
import sdr_checks  # noqa: E402
import sdr_image  # noqa: E402
import sdr_output as so  # noqa: E402


class FruImageTest(unittest.TestCase):
    def setUp(self):
        self.image, self.layout = fru_image.build_fru(1024)

    @unittest.skipUnless(shutil.which("ipmi-fru", path="/usr/sbin:/usr/bin"), "no ipmi-fru")
    def test_freeipmi_reads_every_field_we_meant(self):
        with tempfile.NamedTemporaryFile(suffix=".bin") as f:
            f.write(self.image)
            f.flush()
            out = subprocess.run([shutil.which("ipmi-fru", path="/usr/sbin:/usr/bin"),
                                  f"--fru-file={f.name}"], capture_output=True, text=True,
                                 check=True).stdout
        want = {k: go.normalize(k, v) for k, v in fru_image.expected_fields().items()}
        want["chassis.type"] = "Rack Mount Chassis"
        want["board.mfg_date"] = "2024-03-15T08:30:00"
        got = {k: go.normalize(k, v) for k, v in go.parse_ipmi_fru(out).items()}
        self.assertEqual(got, want)

    def test_reader_checks_every_checksum(self):
        self.assertEqual(set(fru_image.parse_areas(self.image)),
                         {"internal", "chassis", "board", "product", "multirecord"})
        cases = [("header", 7), ("chassis", None), ("board", None), ("product", None),
                 ("multi-record header", self.layout.areas["multirecord"][0] + 4),
                 ("multi-record data", self.layout.areas["multirecord"][0] + 6)]
        for name, pos in cases:
            with self.subTest(name):
                if pos is None:
                    start, length = self.layout.areas[name]
                    pos = start + length - 3  # a field byte, not the checksum
                bad = bytearray(self.image)
                bad[pos] ^= 0x01
                with self.assertRaises(fru_image.FruError):
                    fru_image.parse_areas(bytes(bad))

    def test_changed_areas_names_what_moved(self):
        start, length = self.layout.areas["product"]
        edited = bytearray(self.image)
        edited[start + 10] ^= 0x20
        edited[start + length - 1] = fru_image.zero_checksum(edited[start:start + length - 1])
        self.assertEqual(fru_image.changed_areas(self.image, bytes(edited)), {"product"})
        past_the_end = bytearray(self.image)
        past_the_end[900] = 0x00
        self.assertEqual(fru_image.changed_areas(self.image, bytes(past_the_end)), {"outside"})
        self.assertEqual(fru_image.changed_areas(self.image, self.image), set())


class ConsoleTest(unittest.TestCase):
    def test_blocks_keep_exact_bytes_past_stray_kernel_lines(self):
        out = b'{"a": 1}\n'
        err = b"note\n"
        console = "\n".join([
            "[    3.1] boot noise", "@@@ BEGIN x.json rc=0", "@@@ ARGV srvfw --json fru show",
            "@@@ STDOUT", base64.b64encode(out).decode(), "[    3.2] ipmi_si: stray line",
            "@@@ STDERR", base64.b64encode(err).decode(), "@@@ END x.json",
            "@@@ BEGIN cut rc=1", "@@@ STDOUT"])
        blocks = go.parse_blocks(console)
        self.assertEqual(list(blocks), ["x.json"])  # the unfinished block is not one
        self.assertEqual((blocks["x.json"].rc, blocks["x.json"].out, blocks["x.json"].err),
                         (0, out, err))

    def test_tool_listings_in_our_field_names(self):
        ipmitool = (" Chassis Type          : Rack Mount Chassis\n"
                    " Board Mfg Date        : Fri Mar 15 08:30:00 2024 UTC\n"
                    " Board Extra           : REV 03\n Board Extra           : B\n"
                    " Product Asset Tag     : ASSET-00417\n")
        self.assertEqual(go.parse_ipmitool(ipmitool), {
            "chassis.type": "Rack Mount Chassis", "board.mfg_date": "Fri Mar 15 08:30:00 2024 UTC",
            "board.custom.0": "REV 03", "board.custom.1": "B", "product.asset_tag": "ASSET-00417"})
        freeipmi = ("  FRU Board Manufacturer: K\n  FRU FRU File ID: B-ID\n"
                    "  FRU Product Name: P\n  FRU FRU File ID: P-ID\n")
        self.assertEqual(go.parse_ipmi_fru(freeipmi), {
            "board.manufacturer": "K", "board.fru_file_id": "B-ID", "product.name": "P",
            "product.fru_file_id": "P-ID"})
        show = ("Common Header: 01 01 03 08 13 20 00 C0\n"
                "  chassis.type             Chassis Type                 Rack Mount Chassis (23)\n"
                "  product.asset_tag        Asset Tag                    \n")
        self.assertEqual(go.parse_srvfw_show(show), {"chassis.type": "Rack Mount Chassis (23)",
                                                     "product.asset_tag": ""})
        self.assertEqual(go.srvfw_header(show), "01 01 03 08 13 20 00 C0")
        for value in ("03/15/2024 08:30:00", "Fri Mar 15 08:30:00 2024 UTC", "03/15/24 - 08:30:00"):
            self.assertEqual(go.normalize("board.mfg_date", value), "2024-03-15T08:30:00")

    def test_traces_tell_ports_from_driver(self):
        cases = [
            ("ports", b"iopl(3) = 0\n", (True, False)),
            ("refused iopl", b"iopl(3) = -1 EPERM (Operation not permitted)\n", (False, False)),
            ("driver", b'openat(AT_FDCWD, "/dev/ipmi0", O_RDWR) = 4\n'
                       b"ioctl(4, IPMICTL_SEND_COMMAND, 0x7ffd) = 0\n", (False, True)),
            ("no device", b'openat(AT_FDCWD, "/dev/ipmi0", O_RDWR) = -1 ENOENT (No such file)\n'
                          b"ioctl(1, TCGETS, 0x7ffd) = 0\n", (False, False)),
            ("both", b'[pid 9] ioperm(0xca2, 2, 1) = 0\nopen("/dev/ipmi0", O_RDWR) = 3\n'
                     b"ioctl(3, IPMICTL_RECEIVE_MSG_TRUNC, 0x1) = 0\n", (True, True)),
        ]
        for name, trace, want in cases:
            with self.subTest(name):
                block = go.Block("t", 0, "", b"", trace)
                self.assertEqual(run_scenario.paths_used(block), want)


class RecordingProxyTest(unittest.TestCase):
    def test_requests_unescaped_and_bytes_passed_through(self):
        bmc = socket.socket()
        bmc.bind(("127.0.0.1", 0))
        bmc.listen(1)
        proxy = peer_vm.RecordingProxy(bmc.getsockname()[1])
        # Write FRU Data to device 0 at offset 00A0h (escaped: AAh B0h) of
        # the bytes AAh A1h, then a control command (version, ends A1h).
        frame = bytes([0x05, 0x0A << 2, 0x12, 0x00, 0xAA, 0xB0, 0x00, 0xAA, 0xBA, 0xAA, 0xB1,
                       0x42, 0xA0])
        control = bytes([0xFF, 0x01, 0xA1])
        with socket.create_connection(("127.0.0.1", proxy.port)) as qemu:
            conn, _ = bmc.accept()
            qemu.sendall(frame + control)
            got = b""
            conn.settimeout(5)
            while len(got) < len(frame + control):
                got += conn.recv(100)
            conn.close()
        bmc.close()
        self.assertEqual(got, frame + control)
        self.assertEqual(proxy.since(0, proxy.mark()),
                         [peer_vm.Request(0x0A, 0x12, bytes([0x00, 0xA0, 0x00, 0xAA, 0xA1]))])
        self.assertEqual(run_scenario.write_requests(proxy.since(0, 1)), [(0, 0xA0, 2)])


def have(tool: str) -> bool:
    return shutil.which(tool, path="/usr/sbin:/usr/bin") is not None


@unittest.skipUnless(have("ipmi_sim") and have("ipmitool") and have("ipmi-sensors"),
                     "no ipmi_sim, ipmitool or ipmi-sensors")
class SdrRepositoryTest(unittest.TestCase):
    """The records we give the BMCs, as two decoders we did not write read
    them back from ipmi_sim: a misread layout in sdr_image shows here."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        work = Path(cls.tmp.name)
        (work / "fru.bin").write_bytes(fru_image.build_fru(1024)[0])
        cls.truth = sdr_image.repository(sdr_image.FIRST_RECORD_ID["ipmi_sim"])
        cls.sim = peer_vm.IpmiSim(work, work / "fru.bin", 1024,
                                  sdr_image.emu_commands(cls.truth))
        cls.sim.start()
        cls.work = work

    @classmethod
    def tearDownClass(cls):
        cls.sim.stop()
        cls.tmp.cleanup()

    def run_tool(self, *args) -> str:
        return subprocess.run(list(args), capture_output=True, text=True, timeout=60,
                              check=True).stdout

    def ipmitool(self, *args) -> str:
        return self.run_tool("ipmitool", "-I", "lanplus", "-C", "3", "-H", "127.0.0.1", "-p",
                             str(self.sim.lan_port), "-U", peer_vm.LAN_USER, "-P",
                             peer_vm.LAN_PASSWORD, *args)

    def test_ipmitool_dumps_the_bytes_we_made_and_lists_them(self):
        dump = self.work / "dump.bin"
        self.ipmitool("sdr", "dump", str(dump))
        self.assertEqual(sdr_image.split_records(dump.read_bytes()),
                         [r.bytes for r in self.truth])
        self.assertEqual(sdr_checks.elist_mismatches(
            so.parse_ipmitool_elist(self.ipmitool("sdr", "elist", "all")), self.truth), [])
        verbose = so.parse_ipmitool_verbose(self.ipmitool("-v", "sdr", "list", "all"))
        listed = sdr_checks.listed_by_ipmitool(self.truth)
        self.assertEqual([v["name"] for v in verbose], [r.name for r in listed])
        for got, r in zip(verbose, listed):
            with self.subTest(record=r.id):
                self.assertEqual({k: v for k, v in got.items() if k in r.fields},
                                 {k: v for k, v in r.fields.items() if k in got})

    def test_freeipmi_decodes_every_record_as_we_meant(self):
        cache = self.work / "freeipmi.sdr"
        out = self.run_tool(shutil.which("ipmi-sensors", path="/usr/sbin:/usr/bin"), "-h",
                            f"127.0.0.1:{self.sim.lan_port}", "-u", peer_vm.LAN_USER, "-p",
                            peer_vm.LAN_PASSWORD, "-D", "LAN", "-a", "MD5", "-l", "admin",
                            "-vv", f"--sdr-cache-file={cache}", "--quiet-cache")
        self.assertIn(sdr_image.sdr_file(self.truth), cache.read_bytes())
        shown = so.parse_ipmi_sensors(out)
        self.assertEqual(shown, {r.id: {"type": r.type, "name": r.name, **r.fields}
                                 for r in self.truth})


class SdrChecksTest(unittest.TestCase):
    """The SDR checks fail on what they are there to catch."""

    def srvfw_block(self, records) -> go.Block:
        doc = {"records": [{"id": r.id, "type": r.type, "type_name": "", "name": r.name,
                            "bytes": r.bytes.hex(), "tags": [], "fields": [
                                {"title": "ID String", "value": r.name, "location": ""}]}
                           for r in records]}
        return go.Block("x", 0, "", json.dumps(doc).encode(), b"")

    def failures(self, records) -> list[str]:
        truth = sdr_image.repository(1)
        blocks = {"p.sdr.json-show": self.srvfw_block(records)}
        check = run_scenario.Checks()
        with contextlib.redirect_stdout(io.StringIO()):
            sdr_checks.check_srvfw_sdr(check, blocks, "p", truth, {})
        return check.failed

    def test_a_changed_byte_or_a_lost_record_fails(self):
        good = sdr_image.repository(1)
        byte_check = "p: every record's bytes are the bytes we gave the BMC"
        self.assertNotIn(byte_check, self.failures(good))
        changed = sdr_image.repository(1)
        changed[3].body = changed[3].body[:-1] + b"X"
        self.assertIn(byte_check, self.failures(changed))
        self.assertIn("p: sdr show gives every record", self.failures(good[:-1]))
        renumbered = sdr_image.repository(0)
        self.assertIn("p: record IDs and types", self.failures(renumbered))

    def test_split_records_refuses_a_cut_record(self):
        data = sdr_image.sdr_file(sdr_image.repository(0))
        self.assertEqual(len(sdr_image.split_records(data)), len(sdr_image.repository(0)))
        with self.assertRaises(sdr_image.SdrError):
            sdr_image.split_records(data[:-1])

    def test_srvfw_fields_by_title(self):
        rec = {"fields": [{"title": "Sensor Number", "value": "31h"},
                          {"title": "Entity ID", "value": "04h Disk or disk bay"},
                          {"title": "Sensor Type", "value": "0Dh (Drive Slot)"},
                          {"title": "Manufacturer ID", "value": "A7D400h"},
                          {"title": "ID String", "value": "Drive 0"}]}
        self.assertEqual(so.srvfw_record_fields(rec), ({
            "sensor_number": 0x31, "entity_id": 4, "sensor_type": 0x0D,
            "manufacturer_id": 0xD4A7}, "Drive 0"))


if __name__ == "__main__":
    unittest.main()
