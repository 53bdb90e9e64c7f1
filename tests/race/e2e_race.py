#!/usr/bin/env python3
"""Whole races of the real game on a virtual desktop, driven through the accessibility
interface as a user would: a Practice race to the end of the program after the shutdown
countdown, and a three-character Local Race to its scoreboard, after which the user picks
"Practice" again so that the program stays and the characters can be seen to go. A screen
reader finds a name on every control that takes the focus, and reads the scoreboard's lines."""
import os
import sys
import time
import unittest

from desktop import (Game, add_characters, application, character_windows, find, geometry, is_checked, is_showing, press,
                     unnamed_controls, walk, wait_find, wait_for, wait_window, x_windows)

SCREEN_W, SCREEN_H = 1280, 1024


class RaceTest(unittest.TestCase):
    def pick(self, app, name):
        button = wait_find(app, name, "radio button")
        press(button)
        return button

    def run_race(self, game, app, contestants, announcer_shown=True):
        """Starts the race and follows it: returns what was seen of the characters."""
        press(wait_find(app, "Start Game", "push button"))
        # The characters line up in their rows at the left edge.
        rows = SCREEN_H // contestants
        seen = {}

        def lined_up():
            for slot in range(contestants):
                windows = x_windows(f"Player{slot}")
                place = geometry(windows[0]) if windows else None
                if not place:
                    return False
                seen[slot] = place
            return True
        wait_for(lined_up, 60, 0.1, "the contestants' windows")
        # In Practice the commentator is loaded but stays silent and unseen.
        self.assertEqual(bool(x_windows("Announcer")), announcer_shown)
        for slot, (x, y, _, _) in seen.items():
            self.assertEqual(y, slot * rows, f"Player{slot} runs in its own row")
        start_x = {slot: geometry[0] for slot, geometry in seen.items()}
        # They run to the right.
        def moved_right():
            for slot in range(contestants):
                windows = x_windows(f"Player{slot}")
                place = geometry(windows[0]) if windows else None
                if place and place[0] > start_x[slot] + 100:
                    return True
            return False
        wait_for(moved_right, 120, 0.1, "a contestant running right")
        return seen

    def wait_for_end(self, game, timeout=180):
        code = game.process.wait(timeout=timeout)
        output = game.process.stdout.read().decode(errors="replace")
        self.assertEqual(code, 0, output)

    def test_practice_race(self):
        with Game() as game:
            app = application()
            self.pick(app, "Practice")
            self.pick(app, "Random Race")
            contestants = wait_find(app, "Game Contestants", "list")
            self.assertEqual(contestants.childCount, 1)
            self.run_race(game, app, 1, announcer_shown=False)
            # One contestant: no scoreboard; the program ends after the countdown.
            self.wait_for_end(game)

    def test_local_race_with_three_characters(self):
        # Slow enough that "Practice" can be picked between the end of the race and the
        # end of the shutdown countdown.
        with Game(time_scale="0.2") as game:
            app = application()
            self.pick(app, "Local Race")
            self.assertTrue(is_checked(find(app, "Random Race", "radio button", showing=None)))
            self.assertTrue(is_checked(find(app, "Easy", "radio button", showing=None)))
            # The file dialog opens on the character library.
            add_characters(app, ("Pip.acs", "Bolt.acs", "Penny.acs"), lambda dialog: self.assertTrue(
                find(dialog, "Pip.acs", showing=None), "the dialog lists the characters"))
            contestants = wait_find(app, "Game Contestants", "list")
            wait_for(lambda: contestants.childCount == 3, 10, 0.2, "three contestants")
            self.assertEqual(unnamed_controls(wait_window(app, "frame", "Hollyfrost Games 1.17")), [])
            self.run_race(game, app, 3)
            # The scoreboard shows on the race track, a frame named by its title.
            track = wait_window(app, "frame", "Hollyfrost Games")
            scoreboard = wait_for(lambda: find(track, "Scoreboard", showing=True), 120, 0.2, "the scoreboard")
            self.assertTrue(scoreboard)
            # "  Win:  Name (File)", then Place and Show: each of the three on one line.
            lines = [node.name.strip() for node in walk(track) if node.name and is_showing(node)
                     and node.name.strip().startswith(("Win:", "Place:", "Show:"))]
            self.assertEqual(len(lines), 3, lines)
            for line, caption in zip(lines, ("Win:", "Place:", "Show:")):
                self.assertRegex(line, rf"^{caption}\s+(Pip|Bolt|Penny) \((Pip|Bolt|Penny)\)$")
            self.assertEqual(unnamed_controls(track), [])
            # After the race the play mode is cleared; picking "Practice" keeps the program.
            practice = find(app, "Practice", "radio button", showing=None)
            wait_for(lambda: not is_checked(find(app, "Local Race", "radio button", showing=None)), 120, 0.05,
                     "the end of the race")
            press(practice)
            wait_for(lambda: not any(character_windows().values()), 60, 0.2, "the characters to go")
            time.sleep(3)   # well past the end of the countdown
            self.assertIsNone(game.process.poll(), "the program stays while Practice is picked")
            press(wait_find(app, "Exit", "push button"))
            self.wait_for_end(game, 60)


if __name__ == "__main__":
    unittest.main(verbosity=2)
