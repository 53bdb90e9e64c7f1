#!/usr/bin/env python3
"""The help pages as shipped: every picture and link they name is there (anchors too), and
they speak of every play mode, game type and puzzle the player meets."""
import html.parser
import os
import sys
import unittest

HELP = sys.argv.pop(1) if len(sys.argv) > 1 else "data/help"


class Page(html.parser.HTMLParser):
    def __init__(self, path):
        super().__init__()
        self.images, self.alts, self.links, self.anchors, self.text = [], [], [], set(), []
        with open(path, encoding="utf-8") as f:
            self.feed(f.read())
        self.text = " ".join(" ".join(self.text).split())

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "img":
            self.images.append(attrs.get("src"))
            self.alts.append(attrs.get("alt") or "")
        if tag == "a" and "href" in attrs:
            self.links.append(attrs["href"])
        if tag == "a" and "name" in attrs:
            self.anchors.add(attrs["name"])

    def handle_data(self, data):
        self.text.append(data)


class HelpPagesTest(unittest.TestCase):
    def setUp(self):
        self.pages = {name: Page(os.path.join(HELP, name)) for name in os.listdir(HELP) if name.endswith(".html")}

    def test_pictures_and_links_resolve(self):
        for name, page in self.pages.items():
            for image, alt in zip(page.images, page.alts):
                self.assertTrue(os.path.isfile(os.path.join(HELP, image)), f"{name}: picture {image}")
                self.assertTrue(alt.strip(), f"{name}: picture {image} has no alternative text")
            for link in page.links:
                target, _, anchor = link.partition("#")
                target = target or name
                self.assertIn(target, self.pages, f"{name}: link {link}")
                if anchor:
                    self.assertIn(anchor, self.pages[target].anchors, f"{name}: link {link}")

    def test_every_mode_game_and_step_is_covered(self):
        # The English pages and their French twins (index-fr.html, opened for the language
        # suffix -fr); the windows' captions stay English, so both name them as shown.
        for suffix in ("", "-fr"):
            index = self.pages[f"index{suffix}.html"]
            self.assertIn("hpad10", index.anchors)   # the main window's Help button opens here
            for words in ("Practice", "Local Race", "Host a Game", "Join a Game", "Random Race", "Simple Math",
                          "Word Scramble", "Mixed Problems", "Dexterity Test", "Memory Test", "Easy", "Moderate",
                          "Difficult", "Invite Players", "Request To Play", "Skip Question", "Cancel Game",
                          "hollyfrost-messenger", "several monitors", "Wayland"):
                self.assertTrue(words.lower() in index.text.lower(), f"index{suffix} does not speak of {words}")
            self.assertIn(f"characters{suffix}.html", index.links)
            # Screenshots of the main window, a race and the two puzzle windows.
            for picture in ("main-window.png", "race.png", "question.png", "memory-test.png"):
                self.assertIn(picture, index.images)
            characters = self.pages[f"characters{suffix}.html"]
            for words in ("character.json", "tools/characters", "zip -r", "Add Characters to Race"):
                self.assertTrue(words in characters.text, f"characters{suffix} does not speak of {words}")
            self.assertIn(f"index{suffix}.html", characters.links)

    def test_french_pages_keep_the_english_anchors_and_stay_french(self):
        for name in ("index.html", "characters.html"):
            french = self.pages[name.replace(".html", "-fr.html")]
            self.assertEqual(french.anchors, self.pages[name].anchors, name)
            for link in french.links:
                target = link.partition("#")[0]
                self.assertTrue(not target or target.endswith("-fr.html"), f"{name}: French page links to {link}")

if __name__ == "__main__":
    unittest.main(verbosity=2)
