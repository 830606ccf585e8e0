"""Drive Porvane as a user of assistive technology would: through AT-SPI.

Run scripts with /usr/bin/python3 (Debian's, which has pyatspi). A script
calls `session()` first; it re-runs the script inside its own D-Bus session
when there is none, starts Xvfb and the accessibility bus, and gives a
Session that starts porvane on an emulated link box in a scratch folder:

    from atspi_lib import session
    with session() as s:
        app = s.start_porvane()
        s.pick_menu(s.button("Slot 1"), "Refresh")
        print(s.list_items("Card1ListView"))

Every wait polls with a time-out and fails loudly with what it was
looking for.
"""

import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import Atspi

# Commands that open a modal dialog or run over the link answer an action
# only when they are done; don't let every such press cost 25 seconds.
Atspi.set_timeout(3000, -1)

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


# The main window's caption, as screen readers and the window manager see it.
MAIN_TITLE = "Porvane"

def _build_dir():
    """PORVANE_BUILD, or the build folder whose porvane is newest."""
    if os.environ.get("PORVANE_BUILD"):
        return os.environ["PORVANE_BUILD"]
    found = []
    for entry in os.listdir(ROOT):
        path = os.path.join(ROOT, entry, "porvane")
        if entry.startswith("build") and os.path.isfile(path):
            found.append((os.path.getmtime(path), os.path.dirname(path)))
    if not found:
        raise SystemExit("no built porvane found; run scripts/run.sh or scripts/test.sh first")
    return max(found)[1]


def _ensure_dbus():
    if os.environ.get("DBUS_SESSION_BUS_ADDRESS") and os.environ.get("PORVANE_ATSPI_CHILD"):
        return
    env = dict(os.environ, PORVANE_ATSPI_CHILD="1")
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    rc = subprocess.call(["dbus-run-session", "--", sys.executable] + sys.argv, env=env)
    sys.exit(rc)


def wait_for(what, probe, timeout=20.0, interval=0.1):
    """Calls probe until it returns something true; returns that."""
    end = time.time() + timeout
    while True:
        try:
            result = probe()
        except Exception:  # the tree changes under us while windows come and go
            result = None
        if result:
            return result
        if time.time() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(interval)


def walk(node, depth=0, limit=12):
    """Every accessible below node (node included), depth first."""
    if node is None or depth > limit:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1, limit)


def role(node):
    try:
        return node.getRoleName()
    except Exception:
        return ""


def name(node):
    try:
        return node.name or ""
    except Exception:
        return ""


def dump(node, depth=0, limit=8, out=sys.stdout):
    """Prints the tree below node, for finding names while writing a script."""
    for n in walk(node, 0, limit):
        pass
    def rec(n, d):
        if d > limit:
            return
        desc = ""
        try:
            desc = n.description or ""
        except Exception:
            pass
        out.write("  " * d + "[%s] %r%s\n" % (role(n), name(n), (" desc=%r" % desc) if desc else ""))
        try:
            for i in range(n.childCount):
                rec(n.getChildAtIndex(i), d + 1)
        except Exception:
            pass
    rec(node, depth)


class Session:
    def __init__(self, display, workdir):
        self.display = display
        self.workdir = workdir
        self.procs = []
        self.app = None
        self._shown_menus = []
        pyatspi.Registry.registerEventListener(self._on_showing, "object:state-changed:showing")

    # --- processes -----------------------------------------------------------
    def start_porvane(self, *args, box=None, app_name="porvane", timeout=30):
        """Starts porvane in the scratch folder; the default link is an emulated
        box whose folder is made (with demo cards) when missing."""
        build = _build_dir()
        argv = [os.path.join(build, "porvane")]
        if not any(a.startswith("--link") for a in args):
            box = box or os.path.join(self.workdir, "box")
            argv += ["--link", "emulator:" + box]
        argv += list(args)
        env = dict(os.environ, DISPLAY=self.display, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_ACCESSIBILITY="1")
        env.pop("QT_QPA_PLATFORM", None)
        proc = subprocess.Popen(argv, cwd=self.workdir, env=env)
        self.procs.append(proc)
        self.app = wait_for("application " + app_name, lambda: self._find_app(app_name), timeout)
        self.main = wait_for("the main window", lambda: self.dialog(MAIN_TITLE, 0.1), timeout)
        self.focus_window(MAIN_TITLE)
        return self.app

    def focus_window(self, title):
        """Gives the X input focus to the window with that title. Xvfb has no
        window manager to do it, and Qt only gives widgets the keyboard focus
        inside the active window."""
        env = dict(os.environ, DISPLAY=self.display)
        # The window manager's title may carry the program's name after a dash.
        subprocess.call("xdotool search --name '^%s( \u2014 Porvane)?$' | head -1 | xargs -r xdotool windowfocus --sync"
                        % title, shell=True, env=env, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL)
        time.sleep(0.3)

    def _find_app(self, app_name):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and name(app) == app_name:
                return app
        return None

    def screenshot(self, path):
        subprocess.check_call(["import", "-display", self.display, "-window", "root", path])
        return path

    # --- finding -------------------------------------------------------------
    def find(self, role_name=None, acc_name=None, root=None, contains=False):
        """First accessible below root (default: the application) with that role
        and name (either may be None)."""
        for n in walk(root or self.app):
            if role_name is not None and role(n) != role_name:
                continue
            if acc_name is not None:
                nm = name(n)
                if (acc_name not in nm) if contains else (nm != acc_name):
                    continue
            return n
        return None

    def find_all(self, role_name=None, acc_name=None, root=None):
        return [n for n in walk(root or self.app)
                if (role_name is None or role(n) == role_name)
                and (acc_name is None or name(n) == acc_name)]

    def wait(self, role_name=None, acc_name=None, timeout=20, root=None, contains=False):
        return wait_for("%s %r" % (role_name, acc_name),
                        lambda: self.find(role_name, acc_name, root, contains), timeout)

    def button(self, acc_name, timeout=20):
        return self.wait("push button", acc_name, timeout)

    def dialog(self, title, timeout=20):
        """A top-level window (dialog, frame, alert) with that title."""
        def probe():
            for n in walk(self.app, 0, 1):
                if role(n) in ("dialog", "frame", "filler", "alert", "window", "file chooser") \
                        and name(n) == title:
                    return n
            return None
        return wait_for("window %r" % title, probe, timeout)

    def message_box(self, timeout=20):
        """The message box on show (role alert or dialog with a label), and its text."""
        def probe():
            for n in walk(self.app, 0, 1):
                if role(n) in ("alert", "dialog") and self.find("label", None, n):
                    texts = [name(l) for l in self.find_all("label", None, n) if name(l)]
                    return (n, texts)
            return None
        return wait_for("a message box", probe, timeout)

    # --- acting --------------------------------------------------------------
    def press(self, node, action=None):
        """Runs the node's first action (or the one named)."""
        act = node.queryAction()
        index = 0
        if action is not None:
            for i in range(act.nActions):
                if act.getName(i) == action:
                    index = i
                    break
        try:
            act.doAction(index)
        except Exception as error:  # GLib.GError
            # A command that runs long (a refresh over the link) answers only
            # when it is done; the action has started, which is what counts.
            if "Did not receive a reply" not in str(error):
                raise
        time.sleep(0.2)

    def press_button(self, acc_name, root=None, timeout=20):
        node = wait_for("button %r" % acc_name,
                        lambda: self.find("push button", acc_name, root), timeout)
        self.press(node)

    def _on_showing(self, event):
        if event.detail1 and role(event.source) in ("menu", "popup menu", "window"):
            self._shown_menus.append(event.source)

    def pick_menu(self, opener, *path, timeout=10):
        """Presses opener (a button that pops up a menu), then the items of path
        in turn ("Delete All ( Format )", "200 Blocks")."""
        self._shown_menus.clear()
        self.press(opener)
        for i, item_name in enumerate(path):
            def probe():
                pyatspi.Registry.pumpQueuedEvents()
                for menu in reversed(self._shown_menus):
                    item = self.find(None, item_name, menu)
                    if item is not None and role(item) in ("menu item", "menu", "check menu item"):
                        return item
                return self.find("menu item", item_name) or self.find("menu", item_name)
            item = wait_for("menu item %r" % item_name, probe, timeout)
            self.press(item)

    def set_text(self, node, text):
        node.queryEditableText().setTextContents(text)
        time.sleep(0.1)

    def list_items(self, list_name):
        """Names of the items of the list with that accessible name."""
        lst = self.wait(None, list_name)
        return [name(c) for c in walk(lst, 0, 2) if role(c) == "list item"]

    def click(self, node, button=1, modifiers=None, double=False):
        """Clicks the middle of node with the mouse, where AT-SPI says it is on
        the screen (for what has no action, like picking an icon)."""
        ext = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        x, y = ext.x + ext.width // 2, ext.y + ext.height // 2
        env = dict(os.environ, DISPLAY=self.display)
        keys = ["keydown " + m for m in (modifiers or [])]
        ups = ["keyup " + m for m in (modifiers or [])]
        cmd = ["xdotool", "mousemove", "--sync", str(x), str(y)]
        for k in keys:
            cmd += k.split()
        cmd += ["click"] + (["--repeat", "2", "--delay", "80"] if double else []) + [str(button)]
        for k in ups:
            cmd += k.split()
        subprocess.call(cmd, env=env)
        time.sleep(0.3)

    def key(self, *keys):
        """Types keys (xdotool names: Tab, Return, Down, ctrl+c...) into the
        focused window."""
        env = dict(os.environ, DISPLAY=self.display)
        subprocess.call(["xdotool", "key", "--delay", "60"] + list(keys), env=env)
        time.sleep(0.2)

    def item(self, list_name, item_name):
        lst = self.wait(None, list_name)
        for i in range(lst.childCount):
            child = lst.getChildAtIndex(i)
            if name(child) == item_name:
                return child
        raise AssertionError("no item %r in %r" % (item_name, list_name))

    def select_item(self, list_name, item_name, add=False):
        """Clicks the item, as a user picks an icon (Ctrl+click adds it)."""
        child = self.item(list_name, item_name)
        self.click(child, modifiers=["ctrl"] if add else None)
        return child

    def close(self):
        for proc in self.procs:
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()


@contextlib.contextmanager
def session(display=":42", keep=False):
    """Xvfb, the accessibility bus and a scratch folder for one drive."""
    _ensure_dbus()
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.environ["DISPLAY"] = display
    time.sleep(1)
    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    workdir = tempfile.mkdtemp(prefix="porvane-atspi-")
    s = Session(display, workdir)
    try:
        yield s
    finally:
        s.close()
        bus.terminate()
        xvfb.terminate()
        if not keep:
            shutil.rmtree(workdir, ignore_errors=True)
