#!/usr/bin/python3
"""The commands on savers and cards driven through AT-SPI, as a user of a
screen reader would: every item of the three pop-up menus that works on card
images, single-saver files and selected savers, the six flat "DCM" and "DCI"
buttons, the "Saver Selected", "Copy To" and "Delete " windows, the file
dialogs (a path typed into "File name:") and the message boxes, against the
emulated box and card images in a scratch folder. A drag from one view to
another is made with the mouse (xdotool).

Run: /usr/bin/python3 scripts/atspi/demo_commands.py  (PORVANE_BUILD names the
build folder; ATSPI_DISPLAY the X display, :63 by default).
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from atspi_lib import session, wait_for, name, role, walk  # noqa: E402

SLOT1, SLOT2, FILE = "Slot 1 savers", "Slot 2 savers", "File savers"
done = []


def step(text):
    done.append(text)
    print("ok:", text, flush=True)


def answer_file(s, title, path, button, replace=False):
    """Types path into the file dialog with that title and presses button;
    replace answers Yes to the dialog's own question about a file that is
    there."""
    dialog = s.dialog(title)
    field = wait_for("the file name field", lambda: s.find("text", "File name:", dialog))
    s.set_text(field, path)
    s.press_button(button, root=dialog)
    if replace:
        message(s, "already exists", "Yes")
    wait_for("the file dialog to close", lambda: not window_shown(s, title), 20)


def window_shown(s, title):
    for n in walk(s.app, 0, 1):
        if name(n) == title and role(n) in ("dialog", "file chooser", "alert", "frame"):
            try:
                if n.getState().contains(30):  # STATE_SHOWING
                    return True
            except Exception:
                pass
    return False


def message(s, expected, button):
    """Waits for the message box that says expected, presses button."""
    def probe():
        for n in walk(s.app, 0, 1):
            if role(n) == "alert":
                texts = [name(l) for l in s.find_all("label", None, n)]
                if any(expected in t for t in texts):
                    return n
        return None
    box = wait_for("the message %r" % expected, probe, 30)
    s.press_button(button, root=box)
    wait_for("the message box to close", lambda: not probe(), 20)


def choose(s, title, button):
    """Presses button in the choice window with that title."""
    dialog = s.dialog(title)
    s.press_button(button, root=dialog)


def flat_button(s, caption, column):
    """The header's flat button ("DCM" or "DCI") of column "Slot 1", "Slot 2", "File"."""
    def probe():
        for n in s.find_all("push button", caption):
            if (n.description or "").startswith(column + ":"):
                return n
        return None
    return wait_for("the %s button of %s" % (caption, column), probe)


def listed(s, view):
    return [i.split(",")[0] for i in s.list_items(view)]


def wait_listed(s, view, expected, timeout=60):
    return wait_for("%s to list %r" % (view, expected),
                    lambda: listed(s, view) == expected or None, timeout)


def double_click(s, view, saver):
    item = wait_for("%s in %s" % (saver, view),
                    lambda: next((c for c in walk(s.wait(None, view), 0, 2)
                                  if role(c) == "list item" and name(c).startswith(saver + ",")),
                                 None))
    s.click(item, double=True)


def select(s, view, saver):
    item = next(c for c in walk(s.wait(None, view), 0, 2)
                if role(c) == "list item" and name(c).startswith(saver + ","))
    s.click(item)


def size(path):
    return os.path.getsize(path) if os.path.exists(path) else -1


def same(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


def drag(s, view, saver, target_view):
    """Drags the saver's icon onto the other view with the mouse."""
    item = next(c for c in walk(s.wait(None, view), 0, 2)
                if role(c) == "list item" and name(c).startswith(saver + ","))
    src = item.queryComponent().getExtents(0)
    dst = s.wait(None, target_view).queryComponent().getExtents(0)
    x0, y0 = src.x + src.width // 2, src.y + src.height // 2
    x1, y1 = dst.x + dst.width // 2, dst.y + dst.height - 20
    env = dict(os.environ, DISPLAY=s.display)
    subprocess.call(["xdotool", "mousemove", "--sync", str(x0), str(y0), "mousedown", "1"], env=env)
    for k in range(1, 21):
        x = x0 + (x1 - x0) * k // 20
        y = y0 + (y1 - y0) * k // 20
        subprocess.call(["xdotool", "mousemove", "--sync", str(x), str(y)], env=env)
        time.sleep(0.03)
    time.sleep(0.3)
    subprocess.call(["xdotool", "mouseup", "1"], env=env)
    time.sleep(0.5)


def main():
    with session(display=os.environ.get("ATSPI_DISPLAY", ":63")) as s:
        w = s.workdir
        # Delays 0, auto refresh off (cards are read on request), copy mode.
        with open(os.path.join(w, "RUD2.cfg"), "w") as cfg:
            cfg.write("888\r\n0\r\n0\r\n0\r\n9216\r\n0\r\n0\r\n1\r\n")
        with open(os.path.join(w, "big.dcm"), "wb") as big:
            big.write(b"\0" * 131073)
        p = lambda n: os.path.join(w, n)  # noqa: E731
        s.start_porvane()
        wait_for("the two-slot unit", lambda: s.find("label", "Ambrel", contains=True))
        s.pick_menu(s.button("Slot 1"), "Refresh")
        demo = ["PORVANE_GAME", "PORVANE_DEMO", "ICONDATA_VMS"]
        wait_listed(s, SLOT1, demo)
        s.pick_menu(s.button("Slot 2"), "Refresh")
        wait_for("slot 2 read", lambda: s.find("label", "Slot 2 free space: 200 BLOCKS FREE"))
        step("Slot 1 and Slot 2 -> Refresh")

        s.pick_menu(s.button("Slot 1"), "Save as DCM file")
        answer_file(s, "Save as DCM file", p("s1.dcm"), "Save")
        wait_for("s1.dcm", lambda: size(p("s1.dcm")) == 131072)
        step("Slot 1 -> Save as DCM file")

        s.pick_menu(s.button("Slot 2"), "Upload DCM file")
        answer_file(s, "Upload DCM file", p("s1.dcm"), "Open")
        wait_listed(s, SLOT2, demo)
        step("Slot 2 -> Upload DCM file")

        s.pick_menu(s.button("Slot 2"), "Save as DCM file")
        answer_file(s, "Save as DCM file", p("s2.dcm"), "Save")
        wait_for("s2.dcm", lambda: size(p("s2.dcm")) == 131072)
        assert same(p("s1.dcm"), p("s2.dcm")), "saved, uploaded and saved again differs"
        step("Slot 2 -> Save as DCM file (identical to slot 1's)")

        s.pick_menu(s.button("File"), "New DCM File")
        answer_file(s, "New DCM File", p("new.dcm"), "Save")
        wait_for("the free line", lambda: s.find("label", "File free space: 200 BLOCKS FREE"))
        step("File -> New DCM File")

        double_click(s, SLOT1, "PORVANE_DEMO")
        choose(s, "Saver Selected", "Copy to")
        choose(s, "Copy To", "FILE")
        wait_listed(s, FILE, ["PORVANE_DEMO"])
        step("double click -> Saver Selected -> Copy to -> Copy To -> FILE")

        double_click(s, SLOT1, "PORVANE_DEMO")
        choose(s, "Saver Selected", "Export")
        answer_file(s, "Export", p("demo.dci"), "Save")
        wait_for("demo.dci", lambda: size(p("demo.dci")) == 32 + 5 * 512)
        step("Saver Selected -> Export")

        s.pick_menu(s.button("File"), "Import DCI File")
        answer_file(s, "Import DCI file", p("demo.dci"), "Open")
        message(s, "Saver PORVANE_DEMO Exisit overwrite it ?", "No")
        message(s, "Saver PORVANE_DEMO Exisit Append it ?", "Yes")
        wait_listed(s, FILE, ["PORVANE_DEMO", "PORVANE_DEMO"])
        step("File -> Import DCI File (No to overwrite, Yes to append)")

        s.press(flat_button(s, "DCI", "Slot 2"))
        answer_file(s, "Import DCI file", p("demo.dci"), "Open")
        message(s, "Saver PORVANE_DEMO Exisit overwrite it ?", "Yes")
        wait_listed(s, SLOT2, ["PORVANE_GAME", "PORVANE_DEMO", "ICONDATA_VMS"])
        step("Slot 2 DCI button (overwrite)")

        s.pick_menu(s.button("Slot 1"), "Import DCI file")
        answer_file(s, "Import DCI file", p("demo.dci"), "Open")
        message(s, "Saver PORVANE_DEMO Exisit overwrite it ?", "Yes")
        wait_listed(s, SLOT1, demo)
        step("Slot 1 -> Import DCI file (overwrite)")

        s.press(flat_button(s, "DCI", "Slot 1"))
        answer_file(s, "Import DCI file", p("demo.dci"), "Open")
        message(s, "Saver PORVANE_DEMO Exisit overwrite it ?", "No")
        message(s, "Saver PORVANE_DEMO Exisit Append it ?", "No")
        wait_listed(s, SLOT1, demo)
        step("Slot 1 DCI button (No, No: nothing changes)")

        s.press(flat_button(s, "DCI", "File"))
        answer_file(s, "Import DCI file", p("demo.dci"), "Open")
        message(s, "Saver PORVANE_DEMO Exisit overwrite it ?", "Yes")
        wait_listed(s, FILE, ["PORVANE_DEMO", "PORVANE_DEMO"])
        step("File DCI button (overwrite)")

        s.press(flat_button(s, "DCM", "File"))
        answer_file(s, "Open DCM File", p("s2.dcm"), "Open")
        wait_listed(s, FILE, demo)
        step("File DCM button (Open a VMU page.)")

        s.pick_menu(s.button("File"), "Open DCM File")
        answer_file(s, "Open DCM File", p("big.dcm"), "Open")
        message(s, "FILE : %s IS NOT SUPPORTED !!!! " % p("big.dcm"), "OK")
        wait_listed(s, FILE, demo)
        step("File -> Open DCM File (a 131073-byte file refused, the image stays)")

        s.pick_menu(s.button("File"), "Save as DCM file")
        answer_file(s, "Save as DCM file", p("s2.dcm"), "Save", replace=True)
        message(s, "File %s in Used ." % p("s2.dcm"), "OK")
        s.pick_menu(s.button("File"), "Save as DCM file")
        answer_file(s, "Save as DCM file", p("copy.dcm"), "Save")
        wait_for("copy.dcm", lambda: size(p("copy.dcm")) == 131072)
        assert same(p("copy.dcm"), p("s2.dcm"))
        step("File -> Save as DCM file (onto itself refused; a copy)")

        select(s, FILE, "PORVANE_DEMO")
        s.pick_menu(s.button("File"), "Delete Selected")
        message(s, "Are you sure to delete selected saver in Opened File?", "Yes")
        wait_listed(s, FILE, ["PORVANE_GAME", "ICONDATA_VMS"])
        step("File -> Delete Selected")

        double_click(s, FILE, "PORVANE_GAME")
        choose(s, "Saver Selected", "Save BMP to")
        answer_file(s, "Save BMP to", p("icon.bmp"), "Save")
        wait_for("icon.bmp", lambda: size(p("icon.bmp")) > 1024)
        step("Saver Selected -> Save BMP to")

        s.pick_menu(s.button("File"), "Close DCM File")
        wait_listed(s, FILE, [])
        step("File -> Close DCM File")

        double_click(s, SLOT2, "PORVANE_GAME")
        choose(s, "Saver Selected", "Delete")
        choose(s, "Delete ", "Yes")
        wait_listed(s, SLOT2, ["PORVANE_DEMO", "ICONDATA_VMS"])
        step("double click -> Saver Selected -> Delete -> Delete  -> Yes")

        select(s, SLOT2, "ICONDATA_VMS")
        s.pick_menu(s.button("Slot 2"), "Delete Selected")
        message(s, "Are you sure to delete Slot 2 selected saver?", "Yes")
        wait_listed(s, SLOT2, ["PORVANE_DEMO"])
        step("Slot 2 -> Delete Selected")

        s.press(flat_button(s, "DCM", "Slot 1"))
        answer_file(s, "Upload DCM file", p("new.dcm"), "Open")
        message(s, "The whole card is replaced: its 3 savers will be lost.", "Yes")
        wait_listed(s, SLOT1, ["PORVANE_DEMO", "PORVANE_DEMO"])
        step("Slot 1 DCM button (Upload a VMU page.)")

        s.press(flat_button(s, "DCM", "Slot 2"))
        answer_file(s, "Upload DCM file", p("new.dcm"), "Open")
        message(s, "The whole card is replaced: its saver will be lost.", "Yes")
        wait_listed(s, SLOT2, ["PORVANE_DEMO", "PORVANE_DEMO"])
        step("Slot 2 DCM button (Upload a VMU page.)")

        s.pick_menu(s.button("Slot 1"), "Upload DCM file")
        answer_file(s, "Upload DCM file", p("s1.dcm"), "Open")
        message(s, "The whole card is replaced: its 2 savers will be lost.", "Yes")
        wait_listed(s, SLOT1, demo)
        step("Slot 1 -> Upload DCM file")

        drag(s, SLOT1, "PORVANE_GAME", SLOT2)
        wait_listed(s, SLOT2, ["PORVANE_DEMO", "PORVANE_DEMO", "PORVANE_GAME"])
        drag(s, SLOT1, "ICONDATA_VMS", SLOT2)
        wait_listed(s, SLOT2, ["PORVANE_DEMO", "PORVANE_DEMO", "PORVANE_GAME", "ICONDATA_VMS"])
        drag(s, SLOT1, "PORVANE_GAME", SLOT2)
        message(s, "Saver PORVANE_GAME Exisit overwrite it ?", "No")
        wait_listed(s, SLOT2, ["PORVANE_DEMO", "PORVANE_DEMO", "PORVANE_GAME", "ICONDATA_VMS"])
        wait_listed(s, SLOT1, demo)
        step("drags from Slot 1 onto Slot 2 (a game placed at block 0, a saver, a name "
             "clash answered No)")

        select(s, SLOT1, "PORVANE_DEMO")
        s.pick_menu(s.button("Slot 1"), "Delete Selected")
        message(s, "Are you sure to delete Slot 1 selected saver?", "Yes")
        wait_listed(s, SLOT1, ["PORVANE_GAME", "ICONDATA_VMS"])
        step("Slot 1 -> Delete Selected")

        # The format items of the same menus, for completeness.
        s.pick_menu(s.button("Slot 2"), "Delete All ( Format )", "200 Blocks")
        message(s, "Delete all saver? ", "Yes")
        wait_listed(s, SLOT2, [])
        s.pick_menu(s.button("File"), "Open DCM File")
        answer_file(s, "Open DCM File", p("copy.dcm"), "Open")
        wait_listed(s, FILE, demo)
        s.pick_menu(s.button("File"), "Delete All (Format)", "241 Blocks")
        message(s, "Delete all saver? (Over 200 blocks is ONLY for Velmor memory card)", "Yes")
        wait_for("the free line", lambda: s.find("label", "File free space: 241 BLOCKS FREE"))
        step("Slot 2 and File -> Delete All (Format)")

        s.screenshot(os.environ.get("ATSPI_SHOT", "/tmp/porvane-commands.png"))
    print("commands: OK (%d steps)" % len(done))


if __name__ == "__main__":
    main()
