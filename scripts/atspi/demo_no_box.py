#!/usr/bin/python3
"""The window with no link box: started with `--link auto` on a machine
without a parallel port, on a socket path where nothing listens, and on a
socket whose server accepts but never answers. For each: the status line
and the hint under it, the CPU the idle program uses over 30 seconds, and
whether the "File" menu opens on each of 10 mouse clicks.

    PORVANE_BUILD=build ATSPI_DISPLAY=:23 /usr/bin/python3 scripts/atspi/demo_no_box.py [SECONDS]
"""

import os
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from atspi_lib import session, wait_for, name  # noqa: E402


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the whole line
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def visible_windows(s, pid):
    """The X windows of the program on the screen (a shown menu is one)."""
    env = dict(os.environ, DISPLAY=s.display)
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                         env=env, capture_output=True, text=True).stdout
    return len(out.split())


def menu_opens(s, pid):
    """Clicks "File" with the mouse; True when its menu, one more window of
    the program, shows within 2 s. Escape closes it again."""
    before = visible_windows(s, pid)
    # Away first: "mousemove --sync" to where the pointer already is never returns.
    subprocess.call(["xdotool", "mousemove", "0", "0"], env=dict(os.environ, DISPLAY=s.display))
    s.click(s.button("File", 5))
    try:
        wait_for("the File menu", lambda: visible_windows(s, pid) > before, 2.0, 0.05)
        ok = True
    except AssertionError:
        ok = False
    s.key("Escape")
    wait_for("the File menu to close", lambda: visible_windows(s, pid) <= before, 5.0, 0.05)
    return ok


def run(s, label, link, seconds):
    s.start_porvane("--link", link)
    proc = s.procs[-1]
    status = wait_for("No Device on the status line",
                      lambda: s.find("label", "No Device", contains=True), 20)
    hint = s.wait("label", "Connection hint", 10)
    text = hint.description or ""
    time.sleep(2)  # past the first detection and the first ticks
    start = cpu_seconds(proc.pid)
    time.sleep(seconds)
    cpu = (cpu_seconds(proc.pid) - start) / seconds * 100
    opened = sum(1 for _ in range(10) if menu_opens(s, proc.pid))
    answered = s.find("label", "No Device", contains=True) is not None
    print("%s (--link %s):" % (label, link))
    print("  status line: %r; hint: %r" % (name(status), text))
    print("  CPU over %d s idle: %.1f%%" % (seconds, cpu))
    print("  File menu opened on %d of 10 clicks; AT-SPI query answered: %s" % (opened, answered))
    s.close()
    s.procs.clear()
    return cpu, opened, answered


def main():
    seconds = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    results = []
    with session(display=os.environ.get("ATSPI_DISPLAY", ":44")) as s:
        results.append(run(s, "auto, no parallel port", "auto", seconds))
        nowhere = os.path.join(s.workdir, "nobody.sock")
        results.append(run(s, "socket nobody listens on", "socket:" + nowhere, seconds))
        mute_path = os.path.join(s.workdir, "mute.sock")
        mute = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        mute.bind(mute_path)
        mute.listen(1)
        results.append(run(s, "socket that never answers", "socket:" + mute_path, seconds))
        mute.close()
    bad = [r for r in results if r[0] >= 5.0 or r[1] != 10 or not r[2]]
    print("no box: OK" if not bad else "no box: FAILED")
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
