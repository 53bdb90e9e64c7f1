#!/usr/bin/env python3
"""Practice races of the puzzle game types played to the finish on a virtual desktop, as
a player would: answers typed into the question window with the keyboard, the memory
sequence read from the answer circles (as a screen reader reads them) and clicked on the
palette circles with real mouse clicks, and the jumping Announcer clicked with the mouse.
A screen reader finds a name on every control that takes the focus, and the question's text.
After the finish the program ends by itself. The question file is read back at the end."""
import os
import re
import subprocess
import sys
import time
import unittest

import pyatspi
from gi.repository import GLib

from desktop import (Game, application, click_at, click_palette, find, is_showing, memory_sequence, press, text_of,
                     unnamed_controls, wait_find, wait_for, wait_window, walk, x_windows, xdotool)

RECORD = 259


def read_questions(path):
    """The records of the question file: (code, text) pairs."""
    with open(path, "rb") as f:
        data = f.read()
    records = []
    for at in range(0, len(data) - len(data) % RECORD, RECORD):
        record = data[at:at + RECORD]
        code = record[1:1 + min(record[0], 2)].decode("latin-1")
        text = record[4:4 + record[3]].decode("latin-1")
        records.append((code, text))
    return records, len(data)


def extents(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def safe_find(app, name, role):
    """A showing control, or None; also None once the program has ended after its race."""
    try:
        return find(app, name, role, showing=True)
    except GLib.GError:
        return None


class PuzzleRaceTest(unittest.TestCase):
    def start(self, game, game_type):
        app = application()
        main = wait_window(app, "frame", "Hollyfrost Games 1.17")
        press(wait_find(main, "Practice", "radio button"))
        press(wait_find(main, game_type, "radio button"))
        self.assertEqual(unnamed_controls(main), [])
        press(wait_find(main, "Start Game", "push button"))
        wait_window(app, "frame", "Hollyfrost Games")   # the race track
        return app

    def answer_box(self, app):
        box = safe_find(app, "Answer", "text")
        return box if box is not None and is_showing(box) else None

    def question_window(self, box):
        window = box
        while window.parent is not None and window.parent.getRoleName() != "application":
            window = window.parent
        return window

    def type_answer(self, box, answer):
        """Clicks into the answer box and types the answer and Enter, with the keyboard."""
        window = self.question_window(box)
        # The question window is a dialog named by its title.
        self.assertEqual(window.getRoleName(), "dialog")
        windows = x_windows(window.name)
        self.assertTrue(windows, f"no window titled {window.name!r}")
        subprocess.run(["xdotool", "windowfocus", "--sync", windows[0]], capture_output=True, timeout=30)
        x, y, w, h = extents(box)
        click_at(x + w // 2, y + h // 2)
        xdotool("type", "--delay", "20", answer)
        xdotool("key", "Return")

    def question_text(self, app):
        label = wait_find(app, "Answer", "push button")
        for node in walk(label.parent):
            if node.getRoleName() == "label" and node.name and node.name != "Wrong - Try Again":
                return node.name
        return ""

    def finish(self, game, minimum_records):
        code = game.process.wait(timeout=240)
        output = game.process.stdout.read().decode(errors="replace")
        self.assertEqual(code, 0, output)
        records, size = read_questions(os.path.join(game.folder, "Games", "questions.fil"))
        self.assertEqual(size % RECORD, 0)
        self.assertGreaterEqual(len(records), minimum_records)
        return records

    def play_typed(self, game_type, solve, wrong_first):
        with Game() as game:
            app = self.start(game, game_type)
            right = 0
            deadline = time.time() + 240
            # Until the eighth right answer has finished the race and the program has ended.
            while game.process.poll() is None and time.time() < deadline:
                box = self.answer_box(app)
                if box is None:
                    time.sleep(0.1)
                    continue
                shown = self.question_text(app)
                if right == 0:
                    self.assertTrue(shown.strip(), "the question's text is read")
                    self.assertEqual(unnamed_controls(self.question_window(box)), [])
                answer = solve(shown, game)
                if wrong_first and right == 0:
                    self.type_answer(box, answer + "9")
                    wait_find(app, "Wrong - Try Again", "label", 30)
                    self.assertTrue(is_showing(self.answer_box(app)), "a wrong answer keeps the question")
                self.type_answer(box, answer)
                wait_for(lambda: self.answer_box(app) is None or self.question_text(app) != shown, 30, 0.1,
                         "the question window to close")
                right += 1
            self.assertGreaterEqual(right, 8)
            return self.finish(game, 8)

    def test_simple_math(self):
        def solve(shown, game):
            m = re.search(r"(\d+) ([-+X]) (\d+)\s*$", shown)
            self.assertTrue(m, shown)
            a, op, b = int(m.group(1)), m.group(2), int(m.group(3))
            return str(a + b if op == "+" else a - b if op == "-" else a * b)
        records = self.play_typed("Simple Math", solve, wrong_first=True)
        codes = [code for code, _ in records]
        self.assertTrue(set(codes) <= {"MA", "MS", "MM"}, codes)
        self.assertTrue(all(a != b for a, b in zip(codes, codes[1:])), codes)
        self.assertNotEqual(codes[0], "MA")

    def test_word_scramble(self):
        def solve(shown, game):
            scrambled = shown.strip().split("\n")[-1]
            records, _ = read_questions(os.path.join(game.folder, "Games", "questions.fil"))
            for _, text in reversed(records):
                fields = text.split("&&")
                if len(fields) >= 4 and fields[3].upper() == scrambled:
                    self.assertEqual(sorted(fields[2].upper()), sorted(scrambled))
                    return fields[2].lower()   # typed in lower case: accepted
            self.fail(f"no question shows {scrambled!r}")
        records = self.play_typed("Word Scramble", solve, wrong_first=False)
        self.assertTrue(all(code == "WS" for code, _ in records))

    def test_memory_test(self):
        with Game() as game:
            app = self.start(game, "Memory Test")
            right = 0
            deadline = time.time() + 240
            while game.process.poll() is None and time.time() < deadline:
                ready = safe_find(app, "Ready", "push button")
                instructions = safe_find(app, "Instructions", None)
                if ready is None or instructions is None or not text_of(instructions).strip():
                    time.sleep(0.1)
                    continue
                # The playback is over: the answer circles name the sequence.
                wait_window(app, "dialog", "Memory Test", 5)
                sequence = memory_sequence(app)
                records, _ = read_questions(os.path.join(game.folder, "Games", "questions.fil"))
                # The player gets the questions in the order of the file.
                self.assertEqual("&&MT&&" + sequence + "&&" + sequence, records[right][1])
                press(ready)
                wait_find(app, "blue", "push button", 30)
                if right == 0:
                    self.assertEqual(unnamed_controls(wait_window(app, "dialog", "Memory Test", 5)), [])
                for letter in sequence:
                    click_palette(letter)
                submit = wait_find(app, "Submit Answer", "push button")
                wait_for(lambda: submit.getState().contains(pyatspi.STATE_ENABLED), 30, 0.1, "Submit enabled")
                press(submit)
                # Closed, or already open with the next question (Ready shows again).
                wait_for(lambda: not x_windows("Memory Test") or find(app, "Ready", "push button", showing=True),
                         30, 0.05, "the memory window to close")
                right += 1
            self.assertGreaterEqual(right, 8)
            records = self.finish(game, 8)
            self.assertTrue(all(code == "MT" for code, _ in records))

    def test_dexterity_test(self):
        # Slower time, so that a jump stays put for a moment (about 75 ms).
        with Game(time_scale="0.1") as game:
            app = self.start(game, "Dexterity Test")
            deadline = time.time() + 300
            # Click the Announcer wherever it jumps while a question is on show, until the
            # race is won and the program has ended.
            while game.process.poll() is None and time.time() < deadline:
                if self.answer_box(app) is None or not x_windows("Announcer"):
                    time.sleep(0.05)
                    continue
                subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Announcer$",
                                "mousemove", "--window", "%1", "48", "60", "click", "1"],
                               capture_output=True, timeout=30)
                time.sleep(0.02)
            records = self.finish(game, 8)
            self.assertEqual(set(records), {("DX", "&&DX&&dexteritytest&&test")})


if __name__ == "__main__":
    # HF_PUZZLE names one test (e.g. "test_memory_test"), so that CTest runs them side by side.
    only = os.environ.get("HF_PUZZLE")
    unittest.main(verbosity=2, argv=[sys.argv[0]] + ([f"PuzzleRaceTest.{only}"] if only else []))
