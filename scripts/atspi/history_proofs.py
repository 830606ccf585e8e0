#!/usr/bin/python3
"""Undo, History... and Recover refuse what they cannot prove, driven through
AT-SPI: an undo whose saver's blocks another program changed names the
saver; another card in the slot (its system blocks reading exactly as the
first card's) gets neither the first card's history nor its undo; a history
record with a damaged byte offers nothing to recover; a recovery that would
put a saver beyond the card's user blocks is refused. Each leaves the card
byte for byte as it was, and it checks clean.

Run: /usr/bin/python3 scripts/atspi/history_proofs.py  (PORVANE_BUILD names the
build folder; ATSPI_DISPLAY the X display, :61 by default).
"""

import glob
import os
import subprocess
import sys

import pyatspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from atspi_lib import MAIN_TITLE, _build_dir, session, wait_for, name, role, walk  # noqa: E402
from demo_commands import message, step, window_shown  # noqa: E402
from demo_undo import listed, read, saver_file, select, swap  # noqa: E402

SLOT1 = "Slot 1 savers"
SLOT2 = "Slot 2 savers"


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def natural_block(card, b):
    return bytearray(swap(bytes(card[b * 512:(b + 1) * 512])))


def main():
    cli = os.path.join(_build_dir(), "porvane-cli")
    with session(display=os.environ.get("ATSPI_DISPLAY", ":61")) as s:
        w = s.workdir
        p = lambda n: os.path.join(w, n)  # noqa: E731
        prep = p("prep")
        os.makedirs(p("box"))
        os.makedirs(prep)
        # Delays 0, auto refresh off, verified transfers, history on.
        with open(p("RUD2.cfg"), "w") as cfg:
            cfg.write("888\r\n0\r\n0\r\n0\r\n9216\r\n0\r\n0\r\n1\r\n1\r\n")
        run = lambda *a: subprocess.check_call([cli] + list(a), cwd=prep,  # noqa: E731
                                               stdout=subprocess.DEVNULL)
        check = lambda path: subprocess.call([cli, "check", path], cwd=prep,  # noqa: E731
                                             stdout=subprocess.DEVNULL) == 0
        for n, blocks, seed in (("XSAVE", 3, 10), ("YSAVE", 2, 20), ("KEEP", 2, 30)):
            write(os.path.join(prep, n + ".dci"), saver_file(n, blocks, seed))
        slot1, slot2 = p("box/slot1.dcm"), p("box/slot2.dcm")
        for card in (slot1, slot2):
            run("new", card)
            run("format", card, "200")
        run("import", slot1, os.path.join(prep, "XSAVE.dci"))  # blocks 199-197
        run("import", slot1, os.path.join(prep, "KEEP.dci"))
        run("import", slot2, os.path.join(prep, "XSAVE.dci"))  # blocks 199-197
        run("import", slot2, os.path.join(prep, "YSAVE.dci"))  # blocks 196-195

        s.start_porvane()
        wait_for("the two-slot unit", lambda: s.find("label", "Ambrel", contains=True))
        for button, view, names in (("Slot 1", SLOT1, ["XSAVE", "KEEP"]),
                                    ("Slot 2", SLOT2, ["XSAVE", "YSAVE"])):
            s.pick_menu(s.button(button), "Refresh")
            wait_for(view + " read", lambda: listed(s, view) == names or None, 60)

        # 1. Delete XSAVE; another program changes its middle block; Undo.
        s.focus_window(MAIN_TITLE)
        select(s, SLOT1, "XSAVE")
        s.key("Delete")
        message(s, "Are you sure to delete Slot 1 selected saver?", "Yes")
        wait_for("XSAVE gone", lambda: listed(s, SLOT1) == ["KEEP"] or None, 30)
        deleted = read(slot1)
        data = bytearray(deleted)
        data[198 * 512 + 7] ^= 0xFF  # XSAVE's second block, now free
        write(slot1, data)
        s.pick_menu(s.button("Slot 1"), "Undo delete XSAVE")
        message(s, "would bring back XSAVE with other bytes than its own", "OK")
        assert read(slot1) == bytes(data), "a refused undo wrote to the card"
        assert check(slot1)
        step("Undo after another program changed XSAVE's blocks: refused, naming XSAVE")

        # 2. Another card whose system blocks read exactly as slot 1's: the
        #    deleted saver's first block holds other bytes there.
        data[199 * 512 + 9] ^= 0xFF
        write(slot1, data)
        s.pick_menu(s.button("Slot 1"), "Refresh")
        wait_for("the other card read", lambda: listed(s, SLOT1) == ["KEEP"] or None, 30)
        s.pick_menu(s.button("Slot 1"), "History...")
        history = s.dialog("History")
        wait_for("an empty history", lambda: s.find("label", "No changes of slot 1", history,
                                                   contains=True))
        s.press_button("Close", root=history)
        wait_for("the history to close", lambda: not window_shown(s, "History"), 20)
        s.pick_menu(s.button("Slot 1"), "Undo")
        message(s, "No change in the history leaves this card as it is now", "OK")
        assert read(slot1) == bytes(data), "an undo wrote to another card"
        step("Another card in slot 1: no history shown, Undo refused, card unchanged")

        # 3. Slot 2: delete XSAVE, then one byte of the history's record
        #    points XSAVE's first block into YSAVE.
        s.focus_window(MAIN_TITLE)
        select(s, SLOT2, "XSAVE")
        s.key("Delete")
        message(s, "Are you sure to delete Slot 2 selected saver?", "Yes")
        wait_for("XSAVE gone from slot 2", lambda: listed(s, SLOT2) == ["YSAVE"] or None, 30)
        card2 = read(slot2)
        [record] = glob.glob(p("journal/slot2-*.journal"))
        journal = bytearray(read(record))
        at = journal.rfind(b"XSAVE       ")
        assert at > 2 and journal[at - 2] == 199, "the removed saver's entry is not in the record"
        journal[at - 2] = 196
        write(record, journal)
        s.pick_menu(s.button("Slot 2"), "History...")
        history = s.dialog("History")
        wait_for("no record offered", lambda: s.find("label", "No changes of slot 2", history,
                                                     contains=True))
        recover = s.find("push button", "Recover", history)
        assert recover is not None and not recover.getState().contains(
            pyatspi.STATE_ENABLED), "Recover is offered from a damaged record"
        s.press_button("Close", root=history)
        wait_for("the history to close", lambda: not window_shown(s, "History"), 20)
        assert read(slot2) == card2 and check(slot2)
        step("A damaged history record: nothing offered to recover, card unchanged")

        # 4. A card of 241 user blocks whose saver sits at block 240,
        #    formatted to 200 here: Recover refuses to put it beyond block 199.
        c241 = os.path.join(prep, "c241.dcm")
        run("new", c241)
        run("format", c241, "241")
        run("import", c241, os.path.join(prep, "XSAVE.dci"))  # blocks 240-238
        write(slot1, read(c241))  # the same file, as the box holds it open
        s.pick_menu(s.button("Slot 1"), "Refresh")
        wait_for("XSAVE on the 241-block card", lambda: listed(s, SLOT1) == ["XSAVE"] or None, 30)
        s.pick_menu(s.button("Slot 1"), "Delete All ( Format )", "200 Blocks")
        message(s, "", "Yes")
        wait_for("an empty card", lambda: listed(s, SLOT1) == [] or None, 30)
        formatted = read(slot1)
        s.pick_menu(s.button("Slot 1"), "History...")
        history = s.dialog("History")
        cell = wait_for("the format in the history",
                        lambda: s.find("table cell", "format 200", history))
        s.click(cell)
        s.press_button("Recover", root=history)
        box = wait_for("the recovery's message", lambda: next(
            (n for n in walk(s.app, 0, 1) if role(n) == "alert"), None), 30)
        texts = " ".join(name(l) for l in s.find_all("label", None, box))
        print("   ", texts.replace("\n", " | "))
        assert "Nothing was recovered." in texts, texts
        assert "Lost: XSAVE: its blocks lie beyond the card's 200 user blocks" in texts, texts
        s.press_button("OK", root=box)
        s.press_button("Close", root=history)
        wait_for("the history to close", lambda: not window_shown(s, "History"), 20)
        assert read(slot1) == formatted and check(slot1)
        step("Recover after Delete All to 200 blocks: XSAVE at block 240 refused, card unchanged")
        print("all %d steps passed" % 4)


if __name__ == "__main__":
    main()
