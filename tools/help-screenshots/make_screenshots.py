#!/usr/bin/env python3
"""Makes the help pages' screenshots from the real game on a virtual desktop. Run on demand:
    HF_BIN_DIR=build/bin PYTHONPATH=tests/e2e tests/run-desktop python3 tools/help-screenshots/make_screenshots.py
It writes data/help/main-window.png, race.png, question.png (a Simple Math question) and
memory-test.png (the memory window while the colours are entered)."""
import os
import re
import subprocess
import time

from desktop import (Game, application, click_palette, find, geometry, memory_sequence, press, text_of, wait_find,
                     wait_for, walk, x_windows)

HELP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "help")


def shoot(place, path, scale="100%"):
    x, y, w, h = place
    subprocess.run(["/usr/bin/import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                    "-resize", scale, os.path.join(HELP, path)], check=True)


def start(game_type, screenshot=None):
    app = application()
    main = wait_for(lambda: x_windows("Hollyfrost Games 1.17"), 60, 0.2, "the main window")[0]
    press(wait_find(app, "Practice", "radio button"))
    press(wait_find(app, game_type, "radio button"))
    if screenshot:
        shoot(geometry(main), screenshot)
    press(wait_find(app, "Start Game", "push button"))
    return app


def typed_sum(app):
    """Types the result of the sum on show into the answer box, without sending it."""
    box = wait_find(app, "Answer", "text", 120)
    sums = (re.search(r"(\d+) ([-+X]) (\d+)\s*$", node.name or "") for node in walk(app) if node.getRoleName() == "label")
    a, op, b = next(m.groups() for m in sums if m)
    a, b = int(a), int(b)
    box.queryEditableText().setTextContents(str(a + b if op == "+" else a - b if op == "-" else a * b))


with Game(time_scale="0.3"):
    app = start("Simple Math", "main-window.png")
    # The question window's caption names the sum's kind.
    question = wait_for(lambda: x_windows("Addition") or x_windows("Subtraction") or x_windows("Multiplication"),
                        120, 0.1, "the question window")[0]
    typed_sum(app)
    time.sleep(0.5)   # the box repaints
    shoot(geometry(question), "question.png")

with Game(time_scale="0.3"):
    app = start("Memory Test")

    def played():
        instructions = find(app, "Instructions", showing=True)
        return instructions and text_of(instructions).strip() and find(app, "Ready", "push button", showing=True)
    wait_for(played, 120, 0.1, "the colours to be shown")
    sequence = memory_sequence(app)
    press(wait_find(app, "Ready", "push button"))
    wait_find(app, "blue", "push button", 30)
    for letter in sequence[:2]:
        click_palette(letter)
    memory = x_windows("Memory Test")[0]
    wait_for(lambda: memory_sequence(app)[:2] == sequence[:2], 30, 0.1, "the first colours entered")
    shoot(geometry(memory), "memory-test.png")

with Game(time_scale="0.3"):
    start("Random Race")

    def running():
        place = x_windows("Player0") and geometry(x_windows("Player0")[0])
        return place and place[0] > 400
    wait_for(running, 120, 0.05, "the character running")
    shoot((0, 0, 1280, 1024), "race.png", "50%")
