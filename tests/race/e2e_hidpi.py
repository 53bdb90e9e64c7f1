#!/usr/bin/env python3
"""The game at 200 % on a 2560 x 2048 virtual screen, scaled once by QT_SCALE_FACTOR=2 and
once by the desktop's "Xft.dpi: 192": the main window, its skin and the characters are
twice the size they are at 100 % (a screenshot of the main window matches the 100 % one
magnified), and a Practice race still lays out on the whole screen: the race track covers
it, the character lines up at its left edge and runs across it without leaving it."""
import os
import subprocess
import tempfile
import unittest

from desktop import Game, application, geometry, press, wait_find, wait_for, x_windows

SCREEN_W, SCREEN_H = 2560, 2048
MAIN_W, MAIN_H = 442, 373


def screenshot(place, path):
    x, y, w, h = place
    subprocess.run(["/usr/bin/import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", path], check=True)


def differing_fraction(first, second):
    """Fraction of pixels that differ by more than a quarter of the colour range."""
    result = subprocess.run(["/usr/bin/compare", "-metric", "AE", "-fuzz", "25%", first, second, "null:"],
                            capture_output=True, text=True)
    differing = float(result.stderr.split()[0])
    size = subprocess.run(["/usr/bin/identify", "-format", "%w %h", first], capture_output=True, text=True).stdout
    w, h = map(int, size.split())
    return differing / (w * h)


def set_xft_dpi(dpi):
    subprocess.run(["xrdb", "-merge"], input=f"Xft.dpi: {dpi}\n", text=True, check=True)


class HiDpiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.plain_shot = os.path.join(cls.tmp.name, "plain.png")
        set_xft_dpi(96)
        cls.plain_character = cls.play(cls, {}, 1, cls.plain_shot)

    @classmethod
    def tearDownClass(cls):
        set_xft_dpi(96)
        cls.tmp.cleanup()

    def play(self, env, scale, shot):
        """Runs a Practice race; returns the character's size. Checks the layout on the way."""
        with Game(env=env, time_scale="0.05") as game:
            app = application()
            main = wait_for(lambda: x_windows("Hollyfrost Games 1.17"), 60, 0.2, "the main window")[0]
            place = geometry(main)
            # Centred in the screen's logical pixels, then scaled.
            left, top = (SCREEN_W // scale - MAIN_W) // 2, (SCREEN_H // scale - MAIN_H) // 2
            expected = (left * scale, top * scale, MAIN_W * scale, MAIN_H * scale)
            assert place == expected, f"main window at {place}, expected {expected}"
            press(wait_find(app, "Practice", "radio button"))   # the controls are drawn now
            screenshot(place, shot)
            press(wait_find(app, "Random Race", "radio button"))
            press(wait_find(app, "Start Game", "push button"))
            first = wait_for(lambda: x_windows("Player0") and geometry(x_windows("Player0")[0]), 60, 0.05,
                             "the character")
            assert first[:2] == (0, 0), f"the character lines up at {first[:2]}"
            track = [geometry(w) for w in x_windows("Hollyfrost Games")]
            assert (0, 0, SCREEN_W, SCREEN_H) in track, f"the race track is at {track}"

            def far_right():
                place = x_windows("Player0") and geometry(x_windows("Player0")[0])
                if place:
                    assert place[0] + place[2] <= SCREEN_W and place[1] + place[3] <= SCREEN_H, \
                        f"the character at {place} leaves the screen"
                return place and place[0] > SCREEN_W // 2
            wait_for(far_right, 120, 0.05, "the character crossing the screen")
            assert game.process.wait(timeout=180) == 0
            return first[2:]

    def check_double(self, env):
        shot = os.path.join(self.tmp.name, "double.png")
        size = self.play(env, 2, shot)
        self.assertEqual(size, tuple(2 * n for n in self.plain_character), "the character is twice the size")
        magnified = os.path.join(self.tmp.name, "magnified.png")
        subprocess.run(["/usr/bin/convert", self.plain_shot, "-scale", "200%", magnified], check=True)
        # Text is drawn afresh at the larger size, so a few edge pixels differ; a skin or
        # shape left at its old size would differ over a large part of the window.
        self.assertLess(differing_fraction(magnified, shot), 0.08)

    def test_scale_factor(self):
        self.check_double({"QT_SCALE_FACTOR": "2"})

    def test_desktop_dpi(self):
        set_xft_dpi(192)
        try:
            self.check_double({})
        finally:
            set_xft_dpi(96)


if __name__ == "__main__":
    unittest.main(verbosity=2)
