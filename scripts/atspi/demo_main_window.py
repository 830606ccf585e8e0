#!/usr/bin/python3
"""The main window driven through AT-SPI: detection, "Slot 1" -> "Refresh",
the listed savers with their sizes, the free-block line, and a selected
saver's name, date and time in the detail panel."""

import sys
import os

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from atspi_lib import session, wait_for, name, role  # noqa: E402


def main():
    with session(display=os.environ.get("ATSPI_DISPLAY", ":44")) as s:
        app = s.start_porvane()
        # Screen readers present the main window as an application window.
        frame = wait_for("the main window as a frame",
                         lambda: [c for c in app if role(c) == "frame" and
                                  name(c) == "Porvane"], 20)
        print("main window:", role(frame[0]), repr(name(frame[0])))
        status = wait_for("the two-slot unit on the status line",
                          lambda: s.find("label", "Ambrel", contains=True))
        print("status line:", repr(name(status)))
        s.pick_menu(s.button("Slot 1"), "Refresh")
        items = wait_for("slot 1 listed", lambda: s.list_items("Slot 1 savers"), 120)
        print("slot 1 savers:", items)
        free = s.wait("label", "BLOCKS FREE", contains=True)
        print("free line:", repr(name(free)))
        s.select_item("Slot 1 savers", items[0])
        panel = wait_for("the detail panel naming the saver",
                         lambda: s.find("label", "Slot 1 : ", contains=True), 10)
        print("name panel:", repr(name(panel)))
        detail = s.wait(None, "Selected saver")
        date = wait_for("date and time", lambda: [
            name(c) for c in detail if role(c) == "label" and name(c)], 10)
        print("date and time:", date)
        s.screenshot(os.environ.get("ATSPI_SHOT", "/tmp/porvane-main-window.png"))
        assert items and all(", " in i and i.endswith("blocks") for i in items)
        assert "BLOCKS FREE" in name(free)
    print("main window: OK")


if __name__ == "__main__":
    main()
