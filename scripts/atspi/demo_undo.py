#!/usr/bin/python3
"""The history of card changes driven through AT-SPI: Ctrl+Z after a delete,
"Undo format 200" from the slot's menu after a format of ten savers (each
leaves the card byte for byte as before), "History..." and "Recover" after a
format and an import over part of the old savers' blocks, and Ctrl+Z refused
after another program wrote the card (which it leaves as it is).

Run: /usr/bin/python3 scripts/atspi/demo_undo.py  (PORVANE_BUILD names the
build folder; ATSPI_DISPLAY the X display, :63 by default).
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from atspi_lib import _build_dir, session, wait_for, name, role, walk  # noqa: E402
from demo_commands import message, step, window_shown  # noqa: E402

SLOT1 = "Slot 1 savers"
NAMES = [chr(ord("A") + i) for i in range(10)]


def swap(data):
    return b"".join(data[i:i + 4][::-1] for i in range(0, len(data), 4))


def saver_file(name12, blocks, seed):
    """A single-saver file: a data saver with a header and patterned blocks."""
    head = bytearray(32)
    head[0], head[2], head[24] = 0x33, 199, blocks
    head[4:16] = name12.ljust(12).encode()
    head[16:24] = bytes([0x20, 0x26, 0x12, 0x08, 0x05, 0x00, 0x00, 0x02])
    body = b""
    for b in range(blocks):
        block = bytearray((seed + b * 7 + i) & 0xFF for i in range(512))
        if b == 0:
            block[0:48] = ("SAVER " + name12).ljust(48).encode()
            block[0x40], block[0x41] = 1, 0
        body += swap(bytes(block))
    return bytes(head) + body


def listed(s, view):
    """The saver names a view lists (the announced names are blank-padded)."""
    return [i.split(",")[0].strip() for i in s.list_items(view)]


def select(s, view, saver):
    item = next(c for c in walk(s.wait(None, view), 0, 2)
                if role(c) == "list item" and name(c).split(",")[0].strip() == saver)
    s.click(item)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    cli = os.path.join(_build_dir(), "porvane-cli")
    with session(display=os.environ.get("ATSPI_DISPLAY", ":63")) as s:
        w = s.workdir
        p = lambda n: os.path.join(w, n)  # noqa: E731
        prep = p("prep")
        os.makedirs(p("box"))
        os.makedirs(prep)
        # Delays 0, auto refresh off, history on.
        with open(p("RUD2.cfg"), "w") as cfg:
            cfg.write("888\r\n0\r\n0\r\n0\r\n9216\r\n0\r\n0\r\n1\r\n1\r\n")
        # Ten savers of 2..11 blocks on slot 1, made by the command-line tool
        # (its own history stays in prep/).
        run = lambda *a: subprocess.check_call([cli] + list(a), cwd=prep)  # noqa: E731
        run("new", p("box/slot1.dcm"))
        run("new", p("box/slot2.dcm"))
        for i, n in enumerate(NAMES):
            with open(os.path.join(prep, n + ".dci"), "wb") as f:
                f.write(saver_file(n, 2 + i, i * 9))
            run("import", p("box/slot1.dcm"), os.path.join(prep, n + ".dci"))
        with open(p("new.dci"), "wb") as f:
            f.write(saver_file("NEW", 30, 200))
        card = p("box/slot1.dcm")
        ten = read(card)

        s.start_porvane()
        wait_for("the two-slot unit", lambda: s.find("label", "Ambrel", contains=True))
        s.pick_menu(s.button("Slot 1"), "Refresh")
        wait_for("ten savers", lambda: listed(s, SLOT1) == NAMES or None, 60)

        # 1. Delete D with Del, take it back with Ctrl+Z in the view.
        s.focus_window("Porvane")
        select(s, SLOT1, "D")
        s.key("Delete")
        message(s, "Are you sure to delete Slot 1 selected saver?", "Yes")
        wait_for("D gone", lambda: "D" not in listed(s, SLOT1) or None, 30)
        select(s, SLOT1, "C")
        s.key("ctrl+z")
        wait_for("D back", lambda: listed(s, SLOT1) == NAMES or None, 30)
        assert read(card) == ten, "the card differs after undoing the delete"
        step("Del, then Ctrl+Z: the card is byte for byte as before")

        # 2. Format the ten savers away, take it back from the menu.
        s.pick_menu(s.button("Slot 1"), "Delete All ( Format )", "200 Blocks")
        message(s, "", "Yes")
        wait_for("an empty card", lambda: listed(s, SLOT1) == [] or None, 30)
        s.pick_menu(s.button("Slot 1"), "Undo format 200")
        wait_for("ten savers back", lambda: listed(s, SLOT1) == NAMES or None, 30)
        assert read(card) == ten, "the card differs after undoing the format"
        step("Delete All ( Format ), then \"Undo format 200\": byte for byte as before")

        # 3. Format, import a saver over part of the old blocks, recover.
        s.pick_menu(s.button("Slot 1"), "Delete All ( Format )", "200 Blocks")
        message(s, "", "Yes")
        wait_for("an empty card", lambda: listed(s, SLOT1) == [] or None, 30)
        s.pick_menu(s.button("Slot 1"), "Import DCI file")
        dialog = s.dialog("Import DCI file")
        field = wait_for("the file name field", lambda: s.find("text", "File name:", dialog))
        s.set_text(field, p("new.dci"))
        s.press_button("Open", root=dialog)
        wait_for("NEW listed", lambda: listed(s, SLOT1) == ["NEW"] or None, 30)
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
        assert "Recovered H, I, J." in texts, texts
        for lost in "ABCDEFG":
            assert "Lost: " + lost + ": its blocks were used" in texts, lost
        s.press_button("OK", root=box)
        s.press_button("Close", root=history)
        wait_for("the history to close", lambda: not window_shown(s, "History"), 20)
        wait_for("H, I, J back", lambda: sorted(listed(s, SLOT1)) == ["H", "I", "J", "NEW"]
                 or None, 30)
        for n in "HIJ":
            out = os.path.join(prep, "out" + n + ".dci")
            run("export", card, n, out)
            assert read(out)[32:] == read(os.path.join(prep, n + ".dci"))[32:], n
        step("Format, import NEW, History... -> Recover: H, I, J back with their data, "
             "A-G named as lost")

        # 4. Another program writes the card: Ctrl+Z is refused, nothing changes.
        data = bytearray(read(card))
        block = bytearray(swap(bytes(data[253 * 512:254 * 512])))
        block[4] = ord("Z")  # renames the first saver
        data[253 * 512:254 * 512] = swap(bytes(block))
        with open(card, "wb") as f:
            f.write(data)
        s.focus_window("Porvane")
        select(s, SLOT1, "NEW")
        s.key("ctrl+z")
        message(s, "No change in the history leaves this card as it is now", "OK")
        assert read(card) == bytes(data), "a refused undo wrote to the card"
        step("Ctrl+Z after another program wrote the card: refused, card unchanged")
        print("all %d steps passed" % 4)


if __name__ == "__main__":
    main()
