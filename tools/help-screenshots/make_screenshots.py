#!/usr/bin/env python3
"""Makes the help pages' screenshots from the real game on a virtual desktop. Run on demand:
    HF_BIN_DIR=build/bin PYTHONPATH=tests/e2e tests/run-desktop python3 tools/help-screenshots/make_screenshots.py
It writes data/help/main-window.png and data/help/race.png."""
import os
import subprocess

from desktop import Game, application, geometry, press, wait_find, wait_for, x_windows

HELP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "help")


def shoot(place, path, scale="100%"):
    x, y, w, h = place
    subprocess.run(["/usr/bin/import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                    "-resize", scale, os.path.join(HELP, path)], check=True)


with Game(time_scale="0.3") as game:
    app = application()
    main = wait_for(lambda: x_windows("Hollyfrost Games 1.17"), 60, 0.2, "the main window")[0]
    press(wait_find(app, "Practice", "radio button"))
    press(wait_find(app, "Simple Math", "radio button"))
    shoot(geometry(main), "main-window.png")
    press(wait_find(app, "Random Race", "radio button"))
    press(wait_find(app, "Start Game", "push button"))

    def running():
        place = x_windows("Player0") and geometry(x_windows("Player0")[0])
        return place and place[0] > 400
    wait_for(running, 120, 0.05, "the character running")
    shoot((0, 0, 1280, 1024), "race.png", "50%")
