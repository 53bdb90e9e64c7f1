"""Helpers for end-to-end tests on a virtual desktop (tests/run-desktop): make a demo
messenger folder, start the game from it, and find and press its controls through the
accessibility interface, as a user with a screen reader or desktop automation would."""
import os
import re
import signal
import subprocess
import tempfile
import time

import pyatspi

BIN = os.environ.get("HF_BIN_DIR", "build/bin")
MESSENGER = os.path.join(BIN, "hollyfrost-messenger")


def wait_for(predicate, timeout, step=0.1, what="condition"):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise TimeoutError(f"timed out after {timeout} s waiting for {what}")


def make_demo(folder, name="Robin", uin="40001", buddies=(), extra=()):
    args = [MESSENGER, "init", folder, "--name", name, "--uin", uin, *extra]
    for buddy in buddies:
        args += ["--buddy", buddy]
    subprocess.run(args, check=True, capture_output=True, timeout=60)
    return folder


def launch(folder, uin="40002", time_scale="0.05", env=None, prefix=()):
    """Starts the game through the messenger; prefix (such as nsenter's arguments) goes
    before the messenger's command line."""
    environment = dict(os.environ, HOLLYFROST_TIME_SCALE=time_scale)
    environment.update(env or {})
    # A session of its own, so that the game goes with the messenger when a test ends.
    return subprocess.Popen([*prefix, MESSENGER, "launch", folder, *([uin] if uin else [])], env=environment,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)


def application(name="Hollyfrost Games", timeout=60):
    def find_app():
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                return app
        return None
    return wait_for(find_app, timeout, 0.2, f"application {name}")


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def find(root, name, role=None, showing=None):
    for node in walk(root):
        if node.name == name and (role is None or node.getRoleName() == role):
            if showing is None or node.getState().contains(pyatspi.STATE_SHOWING) == showing:
                return node
    return None


def wait_find(root, name, role=None, timeout=60, showing=True):
    return wait_for(lambda: find(root, name, role, showing), timeout, 0.2, f"{role or 'control'} '{name}'")


def top_windows(app):
    """The application's top-level windows."""
    return [w for w in (app.getChildAtIndex(i) for i in range(app.childCount)) if w is not None]


def find_window(app, role, name):
    """A showing top-level window by its role ("frame" or "dialog") and name, as a screen
    reader tells the windows apart."""
    for window in top_windows(app):
        if window.name == name and window.getRoleName() == role and is_showing(window):
            return window
    return None


def wait_window(app, role, name, timeout=60):
    try:
        return wait_for(lambda: find_window(app, role, name), timeout, 0.2, f"{role} '{name}'")
    except TimeoutError as error:
        seen = [(w.getRoleName(), w.name, is_showing(w)) for w in top_windows(app)]
        raise TimeoutError(f"{error}; the windows are (role, name, showing) {seen}") from None


def unnamed_controls(window):
    """The showing controls of a window that take the keyboard focus but have no name for a
    screen reader to read: (role, the parent's name) each."""
    def unnamed(node):
        state = node.getState()
        return (not node.name and state.contains(pyatspi.STATE_FOCUSABLE) and state.contains(pyatspi.STATE_SHOWING))
    return [(node.getRoleName(), node.parent.name if node.parent else "") for node in walk(window) if unnamed(node)]


def press(node):
    node.queryAction().doAction(0)


def is_showing(node):
    return node is not None and node.getState().contains(pyatspi.STATE_SHOWING)


def is_checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def add_characters(app, names, check_dialog=None):
    """Adds contestants in "Local Race" with "Add Characters to Race", as a user types the
    file names into the file dialog (check_dialog, if given, sees each dialog first)."""
    add = wait_find(app, "Add Characters to Race", "push button")
    for name in names:
        press(add)
        dialog = wait_find(app, "Open", "dialog", 30)
        if check_dialog:
            check_dialog(dialog)
        wait_find(dialog, "File name:", "text").queryEditableText().setTextContents(name)
        press(wait_find(dialog, "Open", "push button"))
        wait_for(lambda: not is_showing(find(app, "Open", "dialog", showing=None)), 30, 0.2, "the dialog to close")


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, capture_output=True, timeout=30)


def click_at(x, y, button=1):
    # No --sync: the X server carries out one connection's move and click in order, and
    # --sync waits 15 s for the pointer to leave a place that it is already at.
    xdotool("mousemove", str(x), str(y), "click", str(button))


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


# The memory window's palette from left to right: the colours' names as a screen reader
# reads them, and their letters.
COLOURS = ["blue", "green", "yellow", "red", "fuchsia", "black", "white", "lime", "aqua", "gray"]
PALETTE = "bgyrpkwlac"


def memory_sequence(app):
    """The letters of the colours that the memory window's answer circles show, in order, up
    to the first blank (silver) circle. One walk of the windows reads every circle."""
    colours = {}
    for node in walk(app):
        named = re.match(r"answer circle (\d+): (.*)$", node.name)
        if named and int(named.group(1)) not in colours and is_showing(node):
            colours[int(named.group(1))] = named.group(2)
    sequence = ""
    for number in range(1, 11):
        colour = colours.get(number)
        if colour not in COLOURS:
            break
        sequence += PALETTE[COLOURS.index(colour)]
    return sequence


def click_palette(letter):
    """Clicks the palette circle of a colour letter in the memory window, with the mouse."""
    left, top, _, _ = geometry(x_windows("Memory Test")[0])
    click_at(left + 5 + 25 * PALETTE.index(letter) + 10, top + 38 + 10)


def character_windows():
    """The visible character windows by identity (Announcer, Player0 ... Player5)."""
    return {name: x_windows(name) for name in ["Announcer"] + [f"Player{i}" for i in range(6)]}


def x_windows(title):
    """Window ids whose title is exactly the given text (visible ones only)."""
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(title)}$"],
                            capture_output=True, text=True)
    return [line for line in result.stdout.split() if line]


def geometry(window):
    """(x, y, width, height) of a window, or None when it has gone since it was found."""
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True, text=True).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    try:
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])
    except (KeyError, ValueError):
        return None


def game_pid(messenger_pid):
    """The game that a messenger started (its child process), or None."""
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    fields = f.read().split()
                if int(fields[3]) == messenger_pid:
                    return int(entry)
            except OSError:
                pass
    return None


def status_kb(pid, key="VmHWM:"):
    """A memory figure of a process in KiB (peak resident memory by default)."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key):
                return int(line.split()[1])
    return 0



def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Game:
    """A game started from a fresh demo messenger folder; stopped on exit."""

    def __init__(self, buddies=(), extra=(), time_scale="0.05", uin="40002", env=None):
        self.tmp = tempfile.TemporaryDirectory()
        self.folder = make_demo(os.path.join(self.tmp.name, "messenger"), buddies=buddies, extra=extra)
        self.process = launch(self.folder, uin, time_scale, env)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait(timeout=10)
        self.tmp.cleanup()
