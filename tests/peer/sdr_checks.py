"""The host's checks of the SDR reads a BMC scenario's guest printed
(guest/sdr.sh): the peers first, against the repository we gave the BMC, so
that a harness fault is not blamed on srvfw; then srvfw, record by record,
against that repository and against each peer that read it right."""

import json

import guest_output as go
import sdr_image
import sdr_output as so

SENSOR_TYPES = sdr_image.SENSOR_TYPES


def shown(value) -> str:
    """Codes in hex, as the IPMI tables and the tools give them."""
    return f"{value:X}h" if isinstance(value, int) else repr(value)


def mismatches(got: dict, want: dict, keys) -> list[str]:
    return [f"{k}: got {shown(got.get(k))}, want {shown(want.get(k))}" for k in keys
            if got.get(k) != want.get(k)]


def report(check, what: str, bad: list[str]) -> bool:
    return check(not bad, what, "; ".join(bad[:6]) + (" ..." if len(bad) > 6 else ""))


# --- the peers against the repository we made --------------------------------

def check_ipmitool_dump(check, blocks, prefix: str, truth) -> list[bytes] | None:
    b = blocks.get(f"{prefix}.ipmitool.sdr-dump")
    dumped = blocks.get(f"{prefix}.ipmitool.sdr-dumped")
    if not check(b is not None and b.rc == 0 and dumped is not None and dumped.out,
                 f"ipmitool sdr dump reads the repository ({prefix})", go.short(b)):
        return None
    try:
        records = sdr_image.split_records(dumped.out)
    except sdr_image.SdrError as e:
        check(False, f"ipmitool's dump file is whole records ({prefix})", str(e))
        return None
    bad = [f"record {i}: dumped {got.hex()}, made {r.bytes.hex()}"
           for i, (got, r) in enumerate(zip(records, truth)) if got != r.bytes]
    if len(records) != len(truth):
        bad.insert(0, f"{len(records)} records dumped, {len(truth)} made")
    ok = report(check, f"ipmitool sdr dump holds the records we gave the BMC ({prefix})", bad)
    return records if ok else None


def check_freeipmi(check, blocks, prefix: str, truth) -> dict | None:
    b = blocks.get(f"{prefix}.ipmi-sensors")
    if not check(b is not None and b.rc == 0, f"ipmi-sensors -vv reads the repository ({prefix})",
                 go.short(b)):
        return None
    cache = blocks.get(f"{prefix}.ipmi-sensors.cache")
    made = sdr_image.sdr_file(truth)
    # FreeIPMI's cache file: a header of its own, the records as read, a
    # trailer; the records we made must be there whole and in order.
    check(cache is not None and made in cache.out,
          f"FreeIPMI's SDR cache holds the records we gave the BMC ({prefix})",
          f"cache of {len(cache.out) if cache else 0} bytes")
    shown = so.parse_ipmi_sensors(b.text)
    bad = []
    if sorted(shown) != [r.id for r in truth]:
        bad.append(f"record IDs {sorted(shown)}, made {[r.id for r in truth]}")
    for r in truth:
        got = shown.get(r.id, {})
        want = {"type": r.type, "name": r.name, **r.fields}
        bad += [f"record {r.id}: {m}" for m in mismatches(got, want, want)]
    ok = report(check, f"ipmi-sensors -vv shows every record we made, decoded ({prefix})", bad)
    return shown if ok else None


def listed_by_ipmitool(truth):
    """ipmitool's sdr list and elist leave OEM records out."""
    return [r for r in truth if r.type != sdr_image.OEM]


def elist_mismatches(shown: list[dict], truth) -> list[str]:
    want = listed_by_ipmitool(truth)
    bad = [] if len(shown) == len(want) else [f"{len(shown)} lines, {len(want)} records"]
    for line, r in zip(shown, want):
        if line["name"] != r.name:
            bad.append(f"record {r.id}: name {line['name']!r}, made {r.name!r}")
        if line["entity"] != (r.fields["entity_id"], r.fields["entity_instance"]):
            bad.append(f"record {r.id}: entity {line['entity']}")
        if r.type in SENSOR_TYPES and line["sensor_number"] != r.fields["sensor_number"]:
            bad.append(f"record {r.id}: sensor number {line['sensor_number']:#04x}")
        if r.type == sdr_image.FRU_LOCATOR and f"@{r.fields['fru_device_id']:02X}h" \
                not in line["text"]:
            bad.append(f"record {r.id}: FRU device {line['text']!r}")
        if r.type == sdr_image.MC_LOCATOR and f"@ {r.fields['slave_address']:02X}h" \
                not in line["text"]:
            bad.append(f"record {r.id}: controller {line['text']!r}")
    return bad


def check_ipmitool_lists(check, blocks, prefix: str, truth) -> list[dict] | None:
    """elist and -v list; returns the records of -v list when both agree
    with what we made."""
    el = blocks.get(f"{prefix}.ipmitool.sdr-elist")
    ok = check(el is not None and el.rc == 0, f"ipmitool sdr elist all ({prefix})", go.short(el))
    if ok:
        ok = report(check, f"ipmitool sdr elist shows the records we made ({prefix})",
                    elist_mismatches(so.parse_ipmitool_elist(el.text), truth))
    v = blocks.get(f"{prefix}.ipmitool.sdr-list-v")
    if not check(v is not None and v.rc == 0, f"ipmitool -v sdr list all ({prefix})",
                 go.short(v)):
        return None
    shown = so.parse_ipmitool_verbose(v.text)
    want = listed_by_ipmitool(truth)
    bad = [] if len(shown) == len(want) else [f"{len(shown)} records, {len(want)} made"]
    for got, r in zip(shown, want):
        expect = {"name": r.name, **{k: v for k, v in r.fields.items() if k in got}}
        # ipmitool -v prints neither the event/reading type code nor the
        # sensor number of a locator; only what it prints is compared.
        bad += [f"record {r.id}: {m}" for m in mismatches(got, expect, expect)]
    verbose_ok = report(check, f"ipmitool -v sdr list decodes the records we made ({prefix})",
                        bad)
    return shown if ok and verbose_ok else None


# --- srvfw -------------------------------------------------------------------

def json_document(check, block, what: str) -> dict | None:
    if not check(block is not None and block.rc == 0, f"{what} succeeds", go.short(block)):
        return None
    try:
        doc = json.loads(block.out.decode("utf-8"))
        ok, err = isinstance(doc, dict) and isinstance(doc.get("records"), list), \
            "not an object with a records list"
    except (ValueError, UnicodeDecodeError) as e:
        doc, ok, err = None, False, f"{e}; stdout starts {block.out[:120]!r}"
    return doc if check(ok, f"{what}: stdout is one JSON document and nothing else", err) \
        else None


def record_bytes(rec: dict) -> bytes | None:
    try:
        return bytes.fromhex(rec.get("bytes", ""))
    except (TypeError, ValueError):
        return None


def check_srvfw_sdr(check, blocks, prefix: str, truth, peers: dict):
    """peers: what each peer that read right showed ("ipmitool dump": the
    records' bytes, "ipmitool -v": its records, "ipmi-sensors": by ID)."""
    doc = json_document(check, blocks.get(f"{prefix}.sdr.json-show"),
                        f"{prefix}: srvfw --json sdr show")
    if doc is not None:
        recs = doc["records"]
        check(len(recs) == len(truth), f"{prefix}: sdr show gives every record",
              f"{len(recs)} records, {len(truth)} made")
        pairs = list(zip(recs, truth))
        report(check, f"{prefix}: every record's bytes are the bytes we gave the BMC",
               [f"record {r.id}: got {rec.get('bytes')!r}, want {r.bytes.hex()!r}"
                for rec, r in pairs if rec.get("bytes") != r.bytes.hex()])
        if peers.get("ipmitool dump") is not None:
            dumped = peers["ipmitool dump"]
            report(check, f"{prefix}: every record's bytes equal ipmitool sdr dump's",
                   [f"record {i}" for i, rec in enumerate(recs)
                    if i >= len(dumped) or record_bytes(rec) != dumped[i]])
        report(check, f"{prefix}: record IDs and types",
               [f"record {r.id}: id {rec.get('id')!r}, type {rec.get('type')!r}"
                for rec, r in pairs if (rec.get("id"), rec.get("type")) != (r.id, r.type)])
        bad = []
        for rec, r in pairs:
            fields, id_string = so.srvfw_record_fields(rec)
            if r.name and (id_string != r.name or r.name not in rec.get("name", "")):
                bad.append(f"record {r.id}: ID string {id_string!r}, name {rec.get('name')!r}")
            bad += [f"record {r.id}: {m}" for m in mismatches(fields, r.fields, r.fields)]
        report(check, f"{prefix}: names and decoded fields are those we made", bad)
        compare_with_peers(check, prefix, pairs, peers)

    listed = json_document(check, blocks.get(f"{prefix}.sdr.json-list"),
                           f"{prefix}: srvfw --json sdr list")
    if listed is not None:
        got = [(r.get("id"), r.get("type"), r.get("name")) for r in listed["records"]]
        want = [(r.id, r.type) for r in truth]
        report(check, f"{prefix}: sdr list names every record by ID and type",
               [] if [g[:2] for g in got] == want else [f"got {got[:4]}, want {want[:4]}"])
        if doc is not None:
            shown = [(r.get("id"), r.get("type"), r.get("name")) for r in doc["records"]]
            check(got == shown, f"{prefix}: sdr list and sdr show name the records alike",
                  f"list {got[:3]}, show {shown[:3]}")

    save = blocks.get(f"{prefix}.sdr.save")
    saved = blocks.get(f"{prefix}.sdr.saved")
    if check(save is not None and save.rc == 0 and saved is not None and saved.out,
             f"{prefix}: srvfw sdr save FILE", go.short(save)):
        loaded = json_document(check, blocks.get(f"{prefix}.sdr.json-load"),
                               f"{prefix}: srvfw --json sdr load of the saved file")
        if loaded is not None:
            got = [rec.get("bytes") for rec in loaded["records"]]
            want = [r.bytes.hex() for r in truth]
            bad = [f"record {i}: {g!r}" for i, (g, w) in enumerate(zip(got, want)) if g != w]
            if len(got) != len(want):
                bad.insert(0, f"{len(got)} records loaded, {len(want)} saved")
            report(check, f"{prefix}: the saved file loads back as the BMC's records", bad)


def compare_with_peers(check, prefix: str, pairs, peers: dict):
    freeipmi = peers.get("ipmi-sensors")
    if freeipmi is not None:
        bad = []
        for rec, r in pairs:
            fields, id_string = so.srvfw_record_fields(rec)
            theirs = freeipmi.get(r.id, {})
            keys = [k for k in r.fields if k in theirs]
            bad += [f"record {r.id}: {m}" for m in mismatches(fields, theirs, keys)]
            if r.name and id_string != theirs.get("name"):
                bad.append(f"record {r.id}: ID string {id_string!r}, "
                           f"ipmi-sensors {theirs.get('name')!r}")
        report(check, f"{prefix}: decoded fields and names agree with ipmi-sensors -vv", bad)
    verbose = peers.get("ipmitool -v")
    if verbose is not None:
        listed = [(rec, r) for rec, r in pairs if r.type != sdr_image.OEM]
        bad = []
        for (rec, r), theirs in zip(listed, verbose):
            fields, id_string = so.srvfw_record_fields(rec)
            keys = [k for k in r.fields if k in theirs]
            bad += [f"record {r.id}: {m}" for m in mismatches(fields, theirs, keys)]
            if id_string != theirs.get("name"):
                bad.append(f"record {r.id}: ID string {id_string!r}, ipmitool "
                           f"{theirs.get('name')!r}")
        report(check, f"{prefix}: decoded fields and names agree with ipmitool -v", bad)


def check_sdr_scenario(check, blocks, truth, check_path):
    """check_path(block ID, "ports" or "driver"): which way srvfw went."""
    peers = {"ipmitool dump": check_ipmitool_dump(check, blocks, "driver", truth),
             "ipmitool -v": check_ipmitool_lists(check, blocks, "driver", truth),
             "ipmi-sensors": check_freeipmi(check, blocks, "driver", truth)}
    for prefix, path in (("ports.auto", "ports"), ("driver.auto", "driver")):
        check_srvfw_sdr(check, blocks, prefix, truth, peers)
        check_path(f"{prefix}.sdr.trace", path)
