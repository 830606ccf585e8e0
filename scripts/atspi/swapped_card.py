#!/usr/bin/python3
"""A card swapped in the box after it was listed gets nothing written.

Slot 1 is refreshed (auto refresh off), then another card takes its place:
the emulated box keeps each slot's card file open, so the swap writes the
other card's bytes into the same file, as a card put into the slot would
read. "Delete Selected" on a saver of the old listing must leave the new
card byte for byte as it was, say that the card changed since it was read,
and show the new card's savers.

Run: /usr/bin/python3 scripts/atspi/swapped_card.py  (PORVANE_BUILD names
the build folder; ATSPI_DISPLAY the X display, :63 by default).
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from atspi_lib import session, wait_for  # noqa: E402
from demo_commands import listed, message, select, wait_listed  # noqa: E402

SLOT1 = "Slot 1 savers"


def main():
    with session(os.environ.get("ATSPI_DISPLAY", ":63")) as s:
        w = s.workdir
        box = os.path.join(w, "box")
        # Delays 0, auto refresh off (cards are read on request), copy mode.
        with open(os.path.join(w, "RUD2.cfg"), "w") as cfg:
            cfg.write("888\r\n0\r\n0\r\n0\r\n9216\r\n0\r\n0\r\n1\r\n")
        s.start_porvane()
        wait_for("the two-slot unit", lambda: s.find("label", "Ambrel", contains=True))
        s.pick_menu(s.button("Slot 1"), "Refresh")
        wait_for("slot 1 listed", lambda: listed(s, SLOT1) or None, 60)
        before = listed(s, SLOT1)
        print("slot 1 listed:", before, flush=True)

        # The other card: slot 2's demo card, formatted and empty at start.
        slot1 = os.path.join(box, "slot1.dcm")
        with open(os.path.join(box, "slot2.dcm"), "rb") as f:
            other = f.read()
        with open(slot1, "r+b") as f:
            f.write(other)
            f.truncate()
        print("card swapped in slot 1", flush=True)

        select(s, SLOT1, before[0])
        s.pick_menu(s.button("Slot 1"), "Delete Selected")
        message(s, "Are you sure to delete Slot 1 selected saver?", "Yes")
        refused = True
        try:
            message(s, "The card in slot 1 changed since it was read; nothing was written.", "OK")
        except AssertionError:
            refused = False
        with open(slot1, "rb") as f:
            after = f.read()
        changed = sum(1 for b in range(0, len(other), 512)
                      if after[b:b + 512] != other[b:b + 512])
        print("blocks of the new card changed:", changed, flush=True)
        assert refused, "no refusal was shown"
        assert after == other, "the swapped card was written to"
        print("the new card is byte for byte as it was", flush=True)
        wait_listed(s, SLOT1, [])
        print("slot 1 shows the new card's savers: []", flush=True)
        print("PASS", flush=True)


if __name__ == "__main__":
    main()
