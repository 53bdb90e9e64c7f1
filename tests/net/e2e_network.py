#!/usr/bin/env python3
"""A LAN race between two real copies of the game on one virtual desktop, driven only
through their controls: the host on 127.0.0.2 invites its buddy, the joiner on 127.0.0.3
asks to play, the host accepts, starts the race, and both copies show the same scoreboard
and end. With HF_NETWORK_PREFIX the copies use other addresses (the loss test runs this
inside a network namespace of its own)."""
import os
import re
import signal
import subprocess
import tempfile
import time
import unittest

import pyatspi
from gi.repository import GLib

from desktop import MESSENGER, find, launch, make_demo, press, wait_find, wait_for, wait_window, walk

PREFIX = os.environ.get("HF_NETWORK_PREFIX", "127.0.0.")
HOST_ADDRESS, JOINER_ADDRESS = PREFIX + "2", PREFIX + "3"
HOST_UIN, JOINER_UIN = "40001", "60006"
# Ports of their own: copies that other tests start at the same time bind the default
# game port on every address.
GAME_PORT, MESSENGER_PORT = "4612", "4610"
TIME_SCALE = os.environ.get("HF_NETWORK_TIME_SCALE", "0.1")
GAME_TYPE = os.environ.get("HF_NETWORK_GAME_TYPE", "Random Race")


class Copy:
    """One copy of the game with its own messenger folder, registry, temporary and runtime
    folders and address, plus a stand-in messenger listening on its messenger port. Both
    programs start behind prefix (such as nsenter into a network namespace)."""

    def __init__(self, root, name, uin, address, buddies, launched_for, character, prefix=()):
        self.folder = make_demo(os.path.join(root, name), name=name, uin=uin, buddies=buddies,
                                extra=["--character", "C:\\Windows\\msagent\\chars\\" + character,
                                       "--game-port", GAME_PORT, "--messenger-port", MESSENGER_PORT])
        private = os.path.join(root, name + "-private")
        os.makedirs(private, mode=0o700)
        self.env = dict(HOLLYFROST_BIND_ADDRESS=address, HOLLYFROST_REGISTRY=os.path.join(private, "registry.ini"),
                        TMPDIR=private, XDG_RUNTIME_DIR=private)
        self.messenger = subprocess.Popen(
            [*prefix, MESSENGER, "listen", "--address", address, "--port", MESSENGER_PORT, "--folder", self.folder],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True,
            env=dict(os.environ, **self.env))
        self.messenger.stdout.readline()   # "listening ..."
        self.process = launch(self.folder, launched_for, TIME_SCALE, self.env, prefix)
        self.app = None

    def stop(self):
        for process in (self.process, self.messenger):
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait(timeout=10)


def applications(name="Hollyfrost Games"):
    desktop = pyatspi.Registry.getDesktop(0)
    found = []
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == name:
            found.append(app)
    return found


def new_application(known_pids, timeout=60):
    def find_new():
        for app in applications():
            if app.get_process_id() not in known_pids:
                return app
        return None
    return wait_for(find_new, timeout, 0.2, "a new copy of the game")


def text_of(node):
    return node.queryText().getText(0, -1)


SCORE_KEYS = ("Win:", "Place:", "Show:")


class Scoreboard:
    """Reads one copy's scoreboard. Its lines exist, hidden, from the time the race track
    opens; the first look that finds them keeps them, and later looks read only those few
    nodes instead of walking every window again. On a loaded machine a walk can take
    longer than the board shows at a short time scale."""

    def __init__(self, app):
        self.app = app
        self.lines = None

    def read(self):
        if self.lines is None:
            found = [node for node in walk(self.app) if (node.name or "").strip().startswith(SCORE_KEYS)]
            if not any(node.name.strip().startswith("Win:") for node in found):
                return None
            self.lines = found
        lines = {}
        for node in self.lines:
            name = " ".join((node.name or "").split())
            for key in SCORE_KEYS:
                # A line names somebody once filled in ("Win:" alone is the empty label).
                if name.startswith(key) and name != key and node.getState().contains(pyatspi.STATE_SHOWING):
                    lines[key] = name
        return lines if "Win:" in lines else None


def watch_scoreboards(copies, timeout=600, seen=None, tick=None, lines=1, ended=None):
    """Watches every copy's scoreboard at once (each shows only until its copy ends);
    returns the boards seen by label, each once it shows at least the given number of
    lines. seen(label) runs when a copy's board first shows, tick() on every look until
    the first board shows; ended (a dict), when given, gets the time each copy ended."""
    boards = {}
    readers = {label: Scoreboard(copy.app) for label, copy in copies.items()}

    def all_boards():
        for label, copy in copies.items():
            if ended is not None and label not in ended and copy.process.poll() is not None:
                ended[label] = time.time()
            if label not in boards:
                try:
                    board = readers[label].read()
                except GLib.GError:   # the copy has ended
                    board = None
                if board and len(board) >= lines:
                    boards[label] = board
                    if seen:
                        seen(label)
        done = len(boards) == len(copies) or all(copy.process.poll() is not None for copy in copies.values())
        # Once a board shows the race is over; a tick (which may walk a whole window tree)
        # would only make the watch miss a board that shows briefly.
        if tick and not boards and not done:
            tick()
        return done
    wait_for(all_boards, timeout, 0.05, "the scoreboards")
    return boards


def press_in_box(app, text_part, button, timeout=60):
    """Presses a button of the message box whose text contains text_part (a box's text is
    its name, or its description where the box is named by its title)."""
    def box():
        for node in walk(app):
            if node.getRoleName() in ("dialog", "alert") \
                    and (text_part in (node.name or "") or text_part in (node.description or "")) \
                    and node.getState().contains(pyatspi.STATE_SHOWING):
                return node
        return None
    dialog = wait_for(box, timeout, 0.2, f"the box '{text_part}'")
    press(wait_find(dialog, button, "push button"))
    return dialog


def simple_math_answerer(joiner, answered):
    """A tick for watch_scoreboards: answers the Simple Math question shown on the joiner,
    as its player types it, and notes each answered question in answered."""
    def answer():
        try:
            box = find(joiner.app, "Answer", "text", showing=True)
            button = find(joiner.app, "Answer", "push button", showing=True)
            if box is None or button is None:
                return
            shown = [node.name for node in walk(button.parent)
                     if node.getRoleName() == "label" and node.name and node.name != "Wrong - Try Again"]
            match = re.search(r"(\d+) ([-+X]) (\d+)\s*$", shown[0] if shown else "")
            if not match:
                return
            a, op, b = int(match.group(1)), match.group(2), int(match.group(3))
            box.queryEditableText().setTextContents(str(a + b if op == "+" else a - b if op == "-" else a * b))
            press(button)
            answered.append(match.group(0))
        except GLib.GError:   # the window went away meanwhile
            pass
    return answer


class LanRace(unittest.TestCase):
    """Two copies gathered for a LAN race and the race itself, for the tests below and
    the hostile peer test."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.copies = []

    def tearDown(self):
        for copy in self.copies:
            copy.stop()
        self.tmp.cleanup()

    def gather(self, game_type):
        """Two copies from the invitation to an accepted joiner who has the host's settings."""
        host = Copy(self.tmp.name, "Robin", HOST_UIN, HOST_ADDRESS, [f"{JOINER_UIN}:Jo:{JOINER_ADDRESS}"],
                    JOINER_UIN, "Pip.acs")
        self.copies.append(host)
        host.app = new_application(set())
        joiner = Copy(self.tmp.name, "Jo", JOINER_UIN, JOINER_ADDRESS, [f"{HOST_UIN}:Robin:{HOST_ADDRESS}"], "1",
                      "Bolt.acs")
        self.copies.append(joiner)
        joiner.app = new_application({host.app.get_process_id()})

        # The host picks its game and invites the checked buddy.
        press(wait_find(host.app, "Host a Game", "radio button"))
        press(wait_find(host.app, game_type, "radio button"))
        press(wait_find(joiner.app, "Join a Game", "radio button"))
        press(wait_find(host.app, "Invite Players", "push button"))
        # The invitation reached the joiner's messenger, which acknowledged it.
        wait_for(lambda: wait_find(host.app, "Invite Players", "push button").getState().contains(
            pyatspi.STATE_ENABLED), 60, 0.2, "the invitations to be sent")

        # The joiner's request dialog is filled in from the invitation.
        press(wait_find(joiner.app, "Request To Play", "push button"))
        dialog = wait_window(joiner.app, "dialog", "Request to Play")
        wait_for(lambda: text_of(find(dialog, "To UIN", "text")) == HOST_UIN, 30, 0.2, "the host's UIN")
        self.assertEqual(text_of(find(dialog, "Name", "text")), "Robin")
        self.assertEqual(text_of(find(dialog, "Character", "text")), "Bolt.acs")
        press(find(dialog, "Request to Play", "push button"))

        # The host accepts (a question dialog under the program's name, its text read as
        # the description); the joiner confirms that it is ready.
        question = wait_window(host.app, "dialog", "Hollyfrost Games")
        self.assertIn(f"We Received a Play Request from:\nJo  UIN:{JOINER_UIN}", question.description)
        press(wait_find(question, "Yes", "push button"))
        press_in_box(joiner.app, "We were accepted for the game", "OK")
        for copy in (host, joiner):
            roster = wait_find(copy.app, "Game Contestants", "list")
            wait_for(lambda: roster.childCount == 2, 60, 0.2, "two contestants on both copies")
        # The joiner shows the host's game; a change of settings reaches it with the host's name.
        memo = wait_find(joiner.app, "Game Type", "text")
        wait_for(lambda: text_of(memo).startswith(game_type), 30, 0.2, "the game type on the joiner")
        press(wait_find(host.app, "Difficult", "radio button"))
        wait_for(lambda: f"Host: Robin {HOST_UIN}" in text_of(memo), 30, 0.2, "the host's settings on the joiner")
        return host, joiner

    def race(self, host, joiner, tick=None, timeout=600):
        """Starts the race on the host; both copies show the same scoreboard and end."""
        loss = os.environ.get("HF_NETWORK_LOSS_COMMAND")
        if loss:   # from here on datagrams are lost at random
            subprocess.run(loss, shell=True, check=True)
        press(wait_find(host.app, "Start Game", "push button"))
        boards = watch_scoreboards({"host": host, "joiner": joiner}, timeout, tick=tick)
        if set(boards) != {"host", "joiner"}:
            ended = {label: (copy.process.poll(), copy.process.stdout.read().decode(errors="replace")[-2000:])
                     for label, copy in (("host", host), ("joiner", joiner)) if copy.process.poll() is not None}
            self.fail(f"scoreboards seen only on {sorted(boards)}; copies ended (status, output): {ended}")
        print("scoreboards:", boards, flush=True)
        if loss:
            print(subprocess.run(os.environ["HF_NETWORK_LOSS_REPORT"], shell=True, capture_output=True,
                                 text=True).stdout, flush=True)
        self.assertEqual(boards["host"], boards["joiner"])
        for copy in (host, joiner):
            code = copy.process.wait(timeout=180)
            self.assertEqual(code, 0, copy.process.stdout.read().decode(errors="replace"))
        return boards


class NetworkRaceTest(LanRace):
    def test_lan_race_from_invitation_to_both_scoreboards(self):
        host, joiner = self.gather(GAME_TYPE)
        self.race(host, joiner)

    def test_puzzle_race_answered_on_the_joiner(self):
        # Simple Math: the host's questions reach the joiner, whose player answers them in
        # its question window; the host counts the answers, so the joiner's runner wins.
        host, joiner = self.gather("Simple Math")
        answered = []
        boards = self.race(host, joiner, tick=simple_math_answerer(joiner, answered))
        self.assertGreaterEqual(len(answered), 8)
        self.assertEqual(boards["joiner"]["Win:"], "Win: Jo (Bolt)")


if __name__ == "__main__":
    unittest.main(verbosity=2)
