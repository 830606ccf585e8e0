#!/usr/bin/python3
"""A damaged card image as a screen reader user meets it.

An image whose first data saver's chain breaks is opened at start: the file
column's header carries a warning button whose description says "This card
has problems: Check card...", and so does the free-space line. Pressing it
opens Check card; while that window merely shows its report, porvane-cli
checks the same image at once (no 2 s wait for the image's lock). Mended by
another program, the image is read again and the warning goes.

Run: /usr/bin/python3 scripts/atspi/damaged_card.py  (PORVANE_BUILD names
the build folder; ATSPI_DISPLAY the X display, :64 by default).
"""

import json
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from atspi_lib import _build_dir, name, session, wait_for, walk  # noqa: E402

PROBLEMS = "This card has problems: Check card..."


def table_entry(path, block, value=None):
    """Reads (and with value, writes) the allocation table entry of block in
    a card image: block 254, every group of four bytes reversed."""
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        offsets = []
        for k in range(2):
            i = 2 * block + k
            offsets.append(254 * 512 + (i & ~3) + 3 - (i & 3))
        old = data[offsets[0]] | data[offsets[1]] << 8
        if value is not None:
            data[offsets[0]], data[offsets[1]] = value & 0xFF, value >> 8
            f.seek(0)
            f.write(data)
        return old


def cli(*args):
    return subprocess.run([os.path.join(_build_dir(), "porvane-cli")] + list(args),
                          capture_output=True, text=True)


def showing(node):
    try:
        return node.getState().contains(__import__("pyatspi").STATE_SHOWING)
    except Exception:
        return False


def main():
    with session(os.environ.get("ATSPI_DISPLAY", ":64")) as s:
        image = os.path.join(s.workdir, "damaged.dcm")
        # The demo card, with its first data saver's first block marked free.
        s.start_porvane()
        s.close()
        s.procs.clear()
        shutil.copy(os.path.join(s.workdir, "box", "slot1.dcm"), image)
        savers = json.loads(cli("list", image, "--json").stdout)["savers"]
        first = next(v["first_block"] for v in savers if v["type"] == "data")
        link = table_entry(image, first, 0xFFFC)
        assert cli("check", image).returncode == 1

        s.start_porvane("--open-card", image)
        mark = s.wait("push button", "File: card problems", 30)
        assert mark.description == PROBLEMS, mark.description
        free = s.wait("label", "File free space", contains=True)
        assert free.description == PROBLEMS, free.description
        print("warning:", repr(name(mark)), "-", repr(mark.description))

        s.press(mark)
        check = s.dialog("Check card: File", 20)
        report = wait_for("the report", lambda: next(
            (n.queryText().getText(0, -1) for n in walk(check, 0, 4)
             if name(n) == "Check report" and n.queryText().characterCount > 0), None), 20)
        assert "problem:" in report, report
        started = time.time()
        result = cli("check", image)
        took = time.time() - started
        print("porvane-cli check while the report shows: exit %d in %.2f s"
              % (result.returncode, took))
        assert result.returncode == 1 and took < 1.5 and "in use" not in result.stdout
        s.press_button("Close", root=check)
        wait_for("Check card to close", lambda: not showing(check), 20)

        table_entry(image, first, link)
        wait_for("the warning to go", lambda: not showing(
            s.find("push button", "File: card problems")), 20)
        assert not s.wait("label", "File free space", contains=True).description
        print("mended by another program: read again, warning gone")
    print("damaged card: OK")


if __name__ == "__main__":
    main()
