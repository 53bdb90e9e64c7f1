#!/usr/bin/env python3
"""The game on a Wayland desktop (tests/run-wayland: a headless Weston with XWayland).
Started with nothing set, the game runs through XWayland: a Practice race's character
appears on the X11 side and runs across the screen. A user who sets QT_QPA_PLATFORM keeps
that choice."""
import os
import unittest

from desktop import Game, application, geometry, press, wait_find, wait_for, x_windows

WIDTH = 1280


class WaylandTest(unittest.TestCase):
    def test_practice_race_runs_through_xwayland(self):
        with Game(time_scale="0.05") as game:
            app = application()
            wait_for(lambda: x_windows("Hollyfrost Games 1.17"), 60, 0.2, "the main window on XWayland")
            press(wait_find(app, "Practice", "radio button"))
            press(wait_find(app, "Random Race", "radio button"))
            press(wait_find(app, "Start Game", "push button"))
            player = wait_for(lambda: x_windows("Player0"), 60, 0.1, "the character on XWayland")[0]
            self.assertEqual((geometry(player) or (None, None))[:2], (0, 0), "the character lines up at the left edge")

            def far_right():
                place = geometry(x_windows("Player0")[0]) if x_windows("Player0") else None
                return place and place[0] > WIDTH // 2
            wait_for(far_right, 120, 0.1, "the character crossing the screen")
            self.assertEqual(game.process.wait(timeout=180), 0)

    def test_users_platform_choice_is_kept(self):
        with Game(env={"QT_QPA_PLATFORM": "wayland"}) as game:
            app = application()
            # Once its controls are showing, the main window is on show.
            wait_find(app, "Practice", "radio button")
            self.assertEqual(x_windows("Hollyfrost Games 1.17"), [], "the game went to X11 after all")
            self.assertIsNone(game.process.poll())


if __name__ == "__main__":
    assert os.environ.get("WAYLAND_DISPLAY"), "run under tests/run-wayland"
    unittest.main(verbosity=2)
