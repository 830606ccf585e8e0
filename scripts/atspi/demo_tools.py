#!/usr/bin/python3
"""The tool windows driven through AT-SPI on the demo cards:

1. "DisAsm." on the game saver lists its code; a byte patched in the code
   window is on the card after "Exit and Save".
2. "Edit..." opens a saver in the hex editor; an edit saved there is on the
   card after the window closes.
3. "Import BMP picture" turns a 32 x 32 8-bit BMP into "ICONDATA_VMS" on the
   slot 2 card, and its "Saver Selected" dialog calls it "VMU CAPTION LOGO".

Each result is checked in the emulated box's card files afterwards."""

import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pyatspi  # noqa: E402
from atspi_lib import session, wait_for, name, role, walk  # noqa: E402


# --- the card files, read as the console's file system lays them out -------

def natural_block(card, n):
    """Block n in natural order (every group of four bytes reversed)."""
    raw = card[n * 512:(n + 1) * 512]
    return b"".join(raw[i:i + 4][::-1] for i in range(0, 512, 4))


def savers(path):
    """{name: (type, first block, size, chain)} of a .dcm card image."""
    with open(path, "rb") as f:
        card = f.read()
    fat_block = natural_block(card, 254)
    fat = [fat_block[2 * i] | fat_block[2 * i + 1] << 8 for i in range(256)]
    found = {}
    for d in range(253, 240, -1):
        block = natural_block(card, d)
        for k in range(16):
            e = block[32 * k:32 * k + 32]
            size = e[24]
            if size == 0:
                continue
            first = 0 if e[0] == 0xCC else e[2]
            chain = [first]
            while len(chain) < size and fat[chain[-1]] < 256:
                chain.append(fat[chain[-1]])
            found[e[4:16].decode("latin-1").rstrip(" \0")] = (e[0], e[2], size, chain)
    return card, found


def saver_byte(path, saver, offset):
    card, found = savers(path)
    chain = found[saver][3]
    return natural_block(card, chain[offset // 512])[offset % 512]


def write_logo_bmp(path):
    """32 x 32 pixels, 8 bits each, 256 colours: the 2102-byte layout."""
    palette = b"".join(struct.pack("<BBBB", (i * 7) & 0xFF, (i * 3) & 0xFF, i, 0)
                       for i in range(256))
    pixels = bytes(((x // 4) ^ (y // 4)) & 0x0F for y in range(32) for x in range(32))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + 1024 + 1024, 0, 0, 14 + 40 + 1024)
    info = struct.pack("<IiiHHIIiiII", 40, 32, 32, 1, 8, 0, 1024, 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)
    assert os.path.getsize(path) == 2102


# --- driving -----------------------------------------------------------------

def enabled(node):
    return node.getState().contains(pyatspi.STATE_ENABLED)


def showing(node):
    """The tool windows are hidden and kept between visits, not destroyed."""
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def select_saver(s, view, prefix, panel):
    # A refresh may be rebuilding the view: wait for the saver itself.
    items = wait_for(prefix + " listed in " + view,
                     lambda: [i for i in s.list_items(view) if i.startswith(prefix)] and
                     s.list_items(view), 120)
    item = [i for i in items if i.startswith(prefix)][0]
    s.select_item(view, item)
    wait_for("the detail panel naming " + prefix,
             lambda: s.find("label", panel + prefix, contains=True), 10)
    return items


def menu_of(s, window, item_name, *path):
    """Opens the menu bar item of a tool window and picks path in it. The
    items are looked for under that window's own menu only: the hidden tool
    windows keep menus with the same captions ("File", "Exit")."""
    node = s.wait("menu item", item_name, root=window)
    s.press(node)
    for caption in path:
        parent = node
        node = wait_for("menu item %r" % caption, lambda: next(
            (n for n in walk(parent) if n is not parent and name(n) == caption
             and role(n) in ("menu item", "menu", "check menu item")), None), 10)
        s.press(node)


def disassemble(s, card):
    before = saver_byte(card, "PORVANE_GAME", 0)
    select_saver(s, "Slot 1 savers", "PORVANE_GAME", "Slot 1 : ")
    button = s.button("DisAsm.")
    wait_for("DisAsm. enabled", lambda: enabled(button), 10)
    s.press(button)
    win = s.dialog("File :PORVANE_GAME", 30)
    s.focus_window("File :PORVANE_GAME")
    listing = s.wait("list", "Listing", root=win)
    lines = [name(listing.getChildAtIndex(i)) for i in range(6)]
    print("code window %r lists %d lines:" % (name(win), listing.childCount))
    for line in lines:
        print("   ", line)
    assert lines[0].startswith("$0000 ") and "JMPF" in lines[0]
    s.click(listing.getChildAtIndex(0))
    wait_for("line 0 in the fields", lambda: name(s.find("label", None, win)) == "0000")
    field = s.wait("text", "Byte 1", root=win)
    print("selected line's first byte:", field.queryText().getText(0, -1))
    s.set_text(field, "12")
    s.press_button("Edit", root=win)
    patched = wait_for("the listing showing the patch",
                       lambda: name(listing.getChildAtIndex(0)).startswith("$0000 12"), 10)
    print("after Edit:", name(listing.getChildAtIndex(0)))
    menu_of(s, win, "File", "Exit and Save")
    wait_for("the code window closed", lambda: not showing(win), 30)
    # The write-back goes over the link after the window has closed.
    after = wait_for("the patch on the card",
                     lambda: saver_byte(card, "PORVANE_GAME", 0) == 0x12 and 0x12, 60)
    print("card: game byte 0 was %02X, is %02X" % (before, after))
    assert patched and before == 0x21 and after == 0x12


def hex_edit(s, card):
    before = saver_byte(card, "PORVANE_DEMO", 0x1F0)
    select_saver(s, "Slot 1 savers", "PORVANE_DEMO", "Slot 1 : ")
    s.press_button("Edit...")
    title = "File :PORVANE_DEMO"
    # Screen readers hear the caption, which names the saver.
    win = s.dialog(title, 30)
    s.focus_window(title)
    grid = s.wait(None, "Hex data", root=win)
    print("hex editor %r, grid %r: %s" % (name(win), name(grid), grid.description))
    # Offset 0x1F0, in the icon's pixels: go there, type two digits.
    menu_of(s, win, "Edit", "Goto...")
    box = s.dialog("Goto file position...", 10)
    s.set_text(s.wait("text", None, root=box), "0x1F0")
    s.press_button("OK", root=box)
    wait_for("caret at 0x1F0", lambda: "0x1f0" in grid.description.lower(), 10)
    s.focus_window(title)
    s.key("c", "d")
    status = [name(n) for n in s.find_all("label", None, win) if name(n)]
    print("status bar:", status)
    menu_of(s, win, "File", "Save")
    wait_for("the edit saved", lambda: not s.find("label", "*", win), 10)
    menu_of(s, win, "File", "Exit")
    wait_for("the hex editor closed", lambda: not showing(win), 30)
    after = wait_for("the edit on the card",
                     lambda: saver_byte(card, "PORVANE_DEMO", 0x1F0) == 0xCD and 0xCD, 60)
    print("card: PORVANE_DEMO byte 0x1F0 was %02X, is %02X" % (before, after))
    assert after == 0xCD and before != 0xCD


def import_bmp(s, box):
    bmp = os.path.join(s.workdir, "logo.bmp")
    write_logo_bmp(bmp)
    s.pick_menu(s.button("Slot 2"), "Refresh")
    wait_for("slot 2 read", lambda: s.find("label", "Slot 2 free space: 200 BLOCKS FREE"), 60)
    s.pick_menu(s.button("Slot 2"), "Import BMP picture")
    dialog = s.dialog("Open", 20)
    s.focus_window("Open")
    entry = wait_for("the file name field",
                     lambda: [n for n in s.find_all("text", None, dialog)
                              if "name" in name(n).lower()], 10)[0]
    s.set_text(entry, bmp)
    s.press_button("Open", root=dialog)
    colours = s.dialog("Select Color for the LCD Screen", 20)
    boxes = [n for n in s.find_all("check box", None, colours)]
    print("colour dialog: %d boxes, name field %r" % (
        len(boxes), s.find("text", None, colours).queryText().getText(0, -1)))
    for k in (1, 2, 3, 4):
        s.press(s.find("check box", "Colour %d" % k, colours))
    s.press_button("OK", root=colours)
    items = wait_for("the logo in slot 2",
                     lambda: [i for i in s.list_items("Slot 2 savers")
                              if i.startswith("ICONDATA_VMS")], 60)
    print("slot 2 savers:", s.list_items("Slot 2 savers"))
    logo = s.item("Slot 2 savers", items[0])
    s.click(logo, double=True)
    chosen = s.dialog("Saver Selected", 20)
    texts = [name(n) for n in s.find_all("label", None, chosen) if name(n)]
    print("Saver Selected:", texts)
    s.press_button("Cancel", root=chosen)
    _, found = savers(os.path.join(box, "slot2.dcm"))
    print("card slot 2 directory:", {k: v[:3] for k, v in found.items()})
    assert "ICONDATA_VMS" in found and found["ICONDATA_VMS"][2] == 2
    assert any("VMU CAPTION LOGO" in t for t in texts)


def main():
    with session(display=os.environ.get("ATSPI_DISPLAY", ":45")) as s:
        box = os.path.join(s.workdir, "box")
        s.start_porvane()
        wait_for("the two-slot unit", lambda: s.find("label", "Ambrel", contains=True))
        s.pick_menu(s.button("Slot 1"), "Refresh")
        disassemble(s, os.path.join(box, "slot1.dcm"))
        hex_edit(s, os.path.join(box, "slot1.dcm"))
        import_bmp(s, box)
        s.screenshot(os.environ.get("ATSPI_SHOT", "/tmp/porvane-tools.png"))
    print("tool windows: OK")


if __name__ == "__main__":
    main()
