#!/usr/bin/env python3
"""Races interrupted by the user on a virtual desktop, driven through the accessibility
interface: a play mode picked and "New Game" pressed in the middle of a race, and "Start
Game" pressed while the shutdown countdown of the last race says goodbye, "Exit" pressed
while the contestants are presented and at random moments of a puzzle race. Each time the
race under way ends cleanly, no race runs inside another, and no character is left
behind on the desktop."""
import os
import random
import subprocess
import time
import unittest

from desktop import (Game, add_characters, application, character_windows, find, geometry, is_checked, is_showing,
                     press, wait_find, wait_for, x_windows)


def left_of(identity):
    """The character's left edge, or None while it has no window (it may go any time)."""
    for window in x_windows(identity):
        place = geometry(window)   # None when the window went between search and question
        if place:
            return place[0]
    return None


def visible_characters():
    """How many character windows are visible (one search, so that it is quick)."""
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^(Announcer|Player[0-5])$"],
                            capture_output=True, text=True)
    return len(result.stdout.split())


def running_right(identity, by=100, timeout=60):
    """Waits until the character has moved right by `by` pixels from where it is now."""
    start = wait_for(lambda: left_of(identity), timeout, 0.1, f"{identity} off the left edge")
    wait_for(lambda: (left_of(identity) or 0) > start + by, timeout, 0.1, f"{identity} running right")


class InterruptedRaceTest(unittest.TestCase):
    def local_race(self, app, names):
        press(wait_find(app, "Local Race", "radio button"))
        add_characters(app, names)
        contestants = wait_find(app, "Game Contestants", "list")
        wait_for(lambda: contestants.childCount == len(names), 10, 0.2, "the contestants")
        press(wait_find(app, "Start Game", "push button"))
        return contestants

    def test_mode_change_and_new_game_mid_race(self):
        with Game(time_scale="0.1") as game:
            app = application()
            contestants = self.local_race(app, ("Pip.acs", "Bolt.acs", "Penny.acs"))
            wait_find(app, "Cancel Game", "push button", 120)
            running_right("Player1")
            # "Practice" in the middle of the race: the race is cancelled, the roster is
            # the user alone, and the old race's characters leave while the program stays.
            press(find(app, "Practice", "radio button"))
            wait_for(lambda: not is_showing(find(app, "Cancel Game", "push button", showing=None)), 30, 0.1,
                     "the race to be cancelled")
            self.assertEqual(contestants.childCount, 1)
            self.assertTrue(is_checked(find(app, "Practice", "radio button", showing=None)))
            wait_for(lambda: not any(character_windows().values()), 60, 0.2, "the old characters to go")
            self.assertIsNone(game.process.poll(), "the program stays in Practice")

            # A Practice race, and "New Game" in its middle: it ends, and so does the
            # program after its countdown, with nothing left on the desktop.
            press(wait_find(app, "Random Race", "radio button"))
            press(wait_find(app, "Start Game", "push button"))
            wait_find(app, "Cancel Game", "push button", 120)
            running_right("Player0")
            press(find(app, "New Game", "push button"))
            self.assertEqual(game.process.wait(timeout=120), 0)

    def test_start_during_the_shutdown_countdown(self):
        with Game(time_scale="0.3") as game:
            app = application()
            self.local_race(app, ("Pip.acs", "Bolt.acs"))
            practice = find(app, "Practice", "radio button", showing=None)
            start = find(app, "Start Game", "push button", showing=None)
            wait_for(lambda: find(app, "Scoreboard", showing=True), 240, 0.2, "the scoreboard")
            # The goodbye step hides the loser (the finisher and the Announcer stay);
            # "Practice" and "Start Game" are pressed while that step of the countdown waits.
            wait_for(lambda: visible_characters() == 2, 120, 0.02, "the goodbye step")
            press(practice)
            press(start)
            # The new race runs step by step: its contestant's first steps are short. Inside
            # the countdown's tick the timer would be off, nobody would move during the
            # race, and the first move would be the finish.
            wait_for(lambda: left_of("Player0") in range(0, 50), 60, 0.1, "the new race's start")
            first = wait_for(lambda: (lambda x: x if x and x > 20 else None)(left_of("Player0")), 120, 0.05,
                             "the new contestant's first step")
            self.assertLess(first, 640, "the contestant moves during the race, not only at its finish")
            self.assertEqual(game.process.wait(timeout=180), 0)

    def test_exit_while_the_contestants_are_presented(self):
        # Real time: the presentation of a Practice puzzle race is still on when "Exit" is
        # pressed. The program ends at once, and no race runs on without its windows.
        with Game(time_scale="1") as game:
            app = application()
            press(wait_find(app, "Practice", "radio button"))
            press(wait_find(app, "Simple Math", "radio button"))
            press(wait_find(app, "Start Game", "push button"))
            time.sleep(0.3)
            press(find(app, "Exit", "push button"))
            self.assertEqual(game.process.wait(timeout=10), 0)

    def test_exit_at_random_moments_of_a_puzzle_race(self):
        # "Exit" at a random moment of a Practice puzzle race that nobody answers (the
        # presentation, a round's wait, a question on show), once a run: each run ends
        # with status 0 soon after. HF_EXIT_RUNS sets how many runs (3 by default).
        rng = random.Random(int(os.environ.get("HF_EXIT_SEED", "7")))
        ended_after = []
        for _ in range(int(os.environ.get("HF_EXIT_RUNS", "3"))):
            moment = rng.uniform(0.3, 15)
            with Game(time_scale="0.5") as game:
                app = application()
                press(wait_find(app, "Practice", "radio button"))
                press(wait_find(app, "Simple Math", "radio button"))
                press(wait_find(app, "Start Game", "push button"))
                time.sleep(moment)
                pressed = time.monotonic()
                press(find(app, "Exit", "push button"))
                self.assertEqual(game.process.wait(timeout=30), 0, f"Exit {moment:.1f} s into the race")
                ended_after.append((round(moment, 1), round(time.monotonic() - pressed, 2)))
        print("Exit pressed at (s into the race, s until the program ended):", ended_after, flush=True)
        self.assertLess(max(after for _, after in ended_after), 10)


if __name__ == "__main__":
    unittest.main(verbosity=2)
