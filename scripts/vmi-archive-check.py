#!/usr/bin/env python3
"""Imports every VMS + VMI pair of a folder tree, one by one, into a fresh card
image with porvane-cli, and checks that each saver lists as the VMI says and
exports back with the same VMS bytes and the same VMI fields (name,
description, date and weekday, mode, size). The VMI is read here by a parser
of its own, not the program's.

    scripts/vmi-archive-check.py [ARCHIVE_DIR] [--cli PATH] [--limit N] [-v]

ARCHIVE_DIR defaults to $PORVANE_VMI_ARCHIVE. Without an archive there is
nothing to check: the script says so and exits 0. Exit 1 when a pair that
imported does not list or export back as it should.
"""
import argparse
import collections
import datetime
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def find_cli(given):
    if given:
        return os.path.abspath(given)
    for build in ("build", "build-asan", "build-clang"):
        path = os.path.join(HERE, "..", build, "porvane-cli")
        if os.access(path, os.X_OK):
            return os.path.abspath(path)
    return shutil.which("porvane-cli")


class Vmi:
    """The 108-byte VMI as the format describes it."""

    def __init__(self, data):
        self.size = len(data)
        self.checksum = data[0:4]
        self.description = data[0x04:0x24]
        (self.year, self.month, self.day, self.hour, self.minute, self.second,
         self.weekday) = struct.unpack("<HBBBBBB", data[0x44:0x4C])
        self.resource = data[0x50:0x58].rstrip(b"\0").decode("latin-1")
        self.name = data[0x58:0x64]
        self.mode = struct.unpack("<H", data[0x64:0x66])[0]
        self.data_bytes = struct.unpack("<I", data[0x68:0x6C])[0]

    def date_valid(self):
        try:
            datetime.datetime(self.year, self.month, self.day, self.hour, self.minute,
                              self.second)
        except ValueError:
            return False
        return 1 <= self.year <= 9999 and self.weekday <= 6

    def checksum_right(self):
        mask = b"SEGA"
        raw = self.resource.encode("latin-1").ljust(8, b"\0")
        return self.checksum == bytes(raw[i] & mask[i] for i in range(4))


def run(cli, args, cwd):
    done = subprocess.run([cli] + args, cwd=cwd, capture_output=True)
    return done.returncode, done.stdout.decode("utf-8", "replace"), \
        done.stderr.decode("utf-8", "replace").strip()


def pairs_in(root):
    for folder, _, files in sorted(os.walk(root)):
        lower = {name.lower(): name for name in files}
        for name in sorted(files):
            if not name.lower().endswith(".vmi"):
                continue
            vmi = os.path.join(folder, name)
            with open(vmi, "rb") as f:
                data = f.read()
            vms = None
            if len(data) >= 108:
                stem = data[0x50:0x58].rstrip(b"\0").decode("latin-1") + ".vms"
                if stem.lower() in lower:
                    vms = os.path.join(folder, lower[stem.lower()])
            yield vmi, vms, data


def json_name(raw):
    # list --json writes every name byte as one character.
    return "".join(chr(b) for b in raw)


def check_pair(cli, work, template, vmi_path, vms_path, data, tally, verbose):
    card = os.path.join(work, "card.dcm")
    shutil.copyfile(template, card)
    rc, _, err = run(cli, ["import", card, vmi_path], work)
    if rc != 0:
        reason = err.replace("porvane-cli: ", "").replace(vmi_path, "VMI").replace(
            vms_path or "-", "VMS")
        tally["refused"] += 1
        tally["refused: " + re.sub(r"\d+", "N", reason)] += 1
        if verbose:
            print("refused", vmi_path, err)
        return []
    tally["imported"] += 1
    vmi = Vmi(data[:108])
    if "checksum" in err:
        tally["advice: checksum"] += 1
    if "impossible" in err:
        tally["advice: impossible date (dated now)"] += 1
    if len(data) > 108:
        tally["advice: longer than 108 bytes"] += 1
    problems = []
    rc, out, err = run(cli, ["list", card, "--json"], work)
    savers = json.loads(out)["savers"] if rc == 0 else []
    if len(savers) != 1:
        return ["listed %d savers" % len(savers)]
    saver = savers[0]
    with open(vms_path, "rb") as f:
        vms = f.read()
    blocks = (len(vms) + 511) // 512
    if saver["name"] != json_name(vmi.name):
        problems.append("listed name %r" % saver["name"])
    if saver["type"] != ("game" if vmi.mode & 2 else "data") or saver["size"] != blocks:
        problems.append("listed as %s of %d blocks" % (saver["type"], saver["size"]))
    if vmi.date_valid():
        date = "%04d/%02d/%02d" % (vmi.year, vmi.month, vmi.day)
        time = "%02d:%02d:%02d" % (vmi.hour, vmi.minute, vmi.second)
        if (saver["date"], saver["time"]) != (date, time):
            problems.append("listed at %s %s" % (saver["date"], saver["time"]))
    out_dir = os.path.join(work, "out")
    shutil.rmtree(out_dir, ignore_errors=True)
    os.mkdir(out_dir)
    resource = vmi.resource if 0 < len(vmi.resource) <= 8 else "EXPORTED"
    rc, _, err = run(cli, ["export", card, "#%d" % saver["index"],
                           os.path.join(out_dir, resource + ".VMS")], work)
    if rc != 0:
        return problems + ["export failed: " + err]
    with open(os.path.join(out_dir, resource + ".VMS"), "rb") as f:
        back_vms = f.read()
    with open(os.path.join(out_dir, resource + ".VMI"), "rb") as f:
        back = Vmi(f.read())
    padded = vms + bytes(blocks * 512 - len(vms))
    if back_vms != padded:
        problems.append("VMS bytes differ")
    elif len(vms) % 512:
        tally["VMS not whole blocks: exported padded with zeros"] += 1
    if back.name != vmi.name:
        problems.append("exported name")
    if (back.mode & 3) != (vmi.mode & 3):
        problems.append("exported mode %d, read %d" % (back.mode, vmi.mode))
    if back.data_bytes != blocks * 512:
        problems.append("exported size %d" % back.data_bytes)
    if vmi.date_valid():
        if (back.year, back.month, back.day, back.hour, back.minute, back.second,
                back.weekday) != (vmi.year, vmi.month, vmi.day, vmi.hour, vmi.minute,
                                  vmi.second, vmi.weekday):
            problems.append("exported date or weekday")
    header = padded[512:1024] if vmi.mode & 2 else padded[0:512]
    if back.description != header[0x10:0x30]:
        problems.append("exported description is not the header's")
    elif back.description != vmi.description:
        # The VMI's writer chose other text than the saver's own.
        tally["VMI description differs from the saver's header text"] += 1
    if len(vms) % 512 == 0 and back.data_bytes != vmi.data_bytes:
        problems.append("size")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("archive", nargs="?", default=os.environ.get("PORVANE_VMI_ARCHIVE"))
    parser.add_argument("--cli")
    parser.add_argument("--limit", type=int, default=0)
    parser.add_argument("-v", "--verbose", action="store_true")
    args = parser.parse_args()
    if not args.archive or not os.path.isdir(args.archive):
        print("no archive of VMS + VMI pairs at %r: nothing to check" % args.archive)
        return 0
    cli = find_cli(args.cli)
    if not cli:
        print("porvane-cli not found (build it, or give --cli)")
        return 0
    tally = collections.Counter()
    failures = []
    with tempfile.TemporaryDirectory(prefix="porvane-vmi-") as work:
        template = os.path.join(work, "empty.dcm")
        if run(cli, ["new", template], work)[0] != 0:
            print("porvane-cli new failed")
            return 1
        for count, (vmi, vms, data) in enumerate(pairs_in(args.archive)):
            if args.limit and count >= args.limit:
                break
            tally["VMI files"] += 1
            if not Vmi(data[:108]).checksum_right() if len(data) >= 108 else False:
                tally["VMI checksum wrong"] += 1
            problems = check_pair(cli, work, template, vmi, vms, data, tally, args.verbose)
            if problems:
                failures.append((vmi, problems))
    for key in sorted(tally):
        print("%6d  %s" % (tally[key], key))
    print("%6d  imported but not listed or exported back as read" % len(failures))
    for vmi, problems in failures[:50]:
        print("  %s: %s" % (vmi, "; ".join(problems)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
