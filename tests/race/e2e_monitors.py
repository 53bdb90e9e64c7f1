#!/usr/bin/env python3
"""Races on a desktop of two monitors (a 2304 x 1024 virtual screen split into a
1280 x 1024 monitor on the left and a 1024 x 768 one on the right): with the main window
on either monitor, the race track, the countdown, the commentator and the contestants all
stay on that monitor, laid out in its own size. A Practice race on the left, a Local Race
of two characters on the right."""
import subprocess
import threading
import unittest

from desktop import Game, application, find, geometry, is_showing, press, wait_find, wait_for, x_windows

MONITORS = {"left": (0, 0, 1280, 1024), "right": (1280, 0, 1024, 768)}


def split_screen():
    subprocess.run(["xrandr", "--setmonitor", "LEFT", "1280/338x1024/270+0+0", "screen"], check=True,
                   capture_output=True)
    subprocess.run(["xrandr", "--setmonitor", "RIGHT", "1024/270x768/203+1280+0", "none"], check=True,
                   capture_output=True)


class Watcher(threading.Thread):
    """Records every place a window of the title takes while the race runs."""

    def __init__(self, title):
        super().__init__(daemon=True)
        self.title, self.places, self.done = title, [], threading.Event()

    def run(self):
        while not self.done.is_set():
            for window in x_windows(self.title):
                place = geometry(window)
                if place:
                    self.places.append(place)
            self.done.wait(0.03)


class MonitorsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        split_screen()

    def assertInside(self, place, monitor, what):
        x, y, w, h = place
        mx, my, mw, mh = monitor
        self.assertTrue(mx <= x and x + w <= mx + mw and my <= y and y + h <= my + mh,
                        f"{what} at {place} leaves the monitor {monitor}")

    def add_characters(self, app, names):
        add = wait_find(app, "Add Characters to Race", "push button")
        for name in names:
            press(add)
            dialog = wait_find(app, "Open", "dialog", 30)
            wait_find(dialog, "File name:", "text").queryEditableText().setTextContents(name)
            press(wait_find(dialog, "Open", "push button"))
            wait_for(lambda: not is_showing(find(app, "Open", "dialog", showing=None)), 30, 0.2, "the dialog to close")

    def race_on(self, name, local):
        mx, my, mw, mh = monitor = MONITORS[name]
        with Game(time_scale="0.1") as game:
            app = application()
            main = wait_for(lambda: x_windows("Hollyfrost Games 1.17"), 60, 0.2, "the main window")[0]
            subprocess.run(["xdotool", "windowmove", "--sync", main, str(mx + 100), str(my + 100)], check=True)
            press(wait_find(app, "Local Race" if local else "Practice", "radio button"))
            if local:
                self.add_characters(app, ("Pip.acs", "Bolt.acs"))
            else:
                press(wait_find(app, "Random Race", "radio button"))
            titles = ("Player0", "Player1", "Announcer", "CountDownForm", "Hollyfrost Games", "Hollyfrost Games 1.17")
            watchers = {title: Watcher(title) for title in titles}
            for watcher in watchers.values():
                watcher.start()
            press(wait_find(app, "Start Game", "push button"))
            self.assertEqual(game.process.wait(timeout=240), 0)
            for watcher in watchers.values():
                watcher.done.set()
                watcher.join()

        slots = range(2 if local else 1)
        for slot in slots:
            places = watchers[f"Player{slot}"].places
            self.assertTrue(places, f"Player{slot} was not seen")
            row = mh // len(slots)
            self.assertEqual(places[0][:2], (mx, my + slot * row), "lined up at the monitor's left edge")
            for place in places:
                self.assertInside(place, monitor, f"Player{slot}")
        # The winner at least runs past the monitor's middle (a loser may not).
        self.assertTrue(any(x > mx + mw // 2 for slot in slots for x, _, _, _ in watchers[f"Player{slot}"].places),
                        "nobody ran past the monitor's middle")
        for place in watchers["Announcer"].places:
            self.assertInside(place, monitor, "the commentator")
        self.assertIn(monitor, watchers["Hollyfrost Games"].places, "the race track covers the monitor")
        main_x = {x for x, _, _, _ in watchers["Hollyfrost Games 1.17"].places}
        self.assertIn(mx + (mw - 442) // 2, main_x, "the main window is centred on its monitor")
        if local:
            countdown = watchers["CountDownForm"].places
            self.assertTrue(countdown, "the countdown was not seen")
            self.assertEqual(countdown[0], (mx + (mw - 141) // 2, my + (mh - 135) // 2, 141, 135),
                             "the countdown is centred on the monitor")
            self.assertTrue(watchers["Announcer"].places, "the commentator was not seen")

    def test_practice_on_the_left_monitor(self):
        self.race_on("left", local=False)

    def test_local_race_on_the_right_monitor(self):
        self.race_on("right", local=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
