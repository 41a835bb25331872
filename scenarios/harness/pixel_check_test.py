#!/usr/bin/python3
"""The screenshot judge on small made-up screens: what passes, what fails and why. Runs under
Debian's /usr/bin/python3 (Pillow); ctest runs it as pixel-check."""

import os
import sys
import tempfile
import unittest

from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from harness import pixel_check  # noqa: E402

GREY = (191, 191, 191)
INK = (40, 40, 110)


def laid(colour, background, a):
    return tuple((b * (255 - a) + c * a + 127) // 255 for c, b in zip(colour, background))


class Screen:
    """A 64x48 screen of the background with rectangles painted on it."""

    def __init__(self, background=GREY, size=(64, 48)):
        self.image = Image.new("RGB", size, background)

    def paint(self, x, y, w, h, colour):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.image.putpixel((xx, yy), colour)
        return self

    def judge(self, **spec):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "screen.png")
            self.image.save(path)
            return pixel_check.judge(dict(spec, png=path))


LOGO = {"name": "logo", "width": 8, "height": 6, "colors": ["28286E"]}


class PicturesOnABackground(unittest.TestCase):
    def test_a_centred_picture_of_its_own_colours_passes(self):
        screen = Screen().paint(28, 21, 8, 6, INK).paint(30, 22, 2, 2, GREY)  # holes show the ground
        self.assertEqual(screen.judge(background="BFBFBF", pictures=[LOGO], size=[64, 48]), [])

    def test_faults_are_named(self):
        cases = [
            ("off centre by one pixel", Screen().paint(29, 21, 8, 6, INK), "not the background"),
            ("a colour outside the table", Screen().paint(28, 21, 8, 6, INK).paint(30, 23, 1, 1, (255, 0, 0)),
             "not drawn from its colour table"),
            ("nothing drawn", Screen(), "nothing drawn"),
            ("a stray pixel in a corner", Screen().paint(28, 21, 8, 6, INK).paint(63, 47, 1, 1, INK), "corner"),
            ("another screen size", Screen(size=(80, 48)).paint(36, 21, 8, 6, INK), "screen is 80x48"),
        ]
        for what, screen, failure in cases:
            with self.subTest(what):
                failures = screen.judge(background="BFBFBF", pictures=[LOGO], size=[64, 48])
                self.assertTrue(any(failure in f for f in failures), failures)

    def test_blended_edges_need_an_opacity_plane(self):
        screen = Screen().paint(28, 21, 8, 6, INK).paint(28, 21, 1, 6, laid(INK, GREY, 100))
        self.assertNotEqual(screen.judge(background="BFBFBF", pictures=[LOGO]), [])
        self.assertEqual(screen.judge(background="BFBFBF", pictures=[dict(LOGO, opacity=True)]), [])

    def test_placed_exact_pictures_and_ignored_rectangles(self):
        screen = Screen().paint(2, 3, 4, 4, (255, 0, 0)).paint(50, 40, 3, 3, (1, 2, 3))
        exact = {"name": "mark", "width": 4, "height": 4, "x": 2, "y": 3, "colors": ["FF0000"], "exact": True}
        self.assertEqual(screen.judge(background="BFBFBF", pictures=[exact], ignore=[[50, 40, 3, 3]]), [])
        self.assertNotEqual(screen.judge(background="BFBFBF", pictures=[exact]), [])

    def test_pictures_without_a_background_are_refused(self):
        self.assertNotEqual(Screen().paint(28, 21, 8, 6, INK).judge(pictures=[LOGO]), [])


class Points(unittest.TestCase):
    def test_coordinates_from_each_edge_and_the_centre(self):
        screen = Screen().paint(0, 0, 1, 1, (10, 20, 30)).paint(63, 47, 1, 1, (200, 100, 50)).paint(34, 5, 1, 1, INK)
        points = [{"x": 0, "y": 0, "rgb": [10, 20, 30]},
                  {"x": -1, "y": -1, "rgb": [203, 97, 50], "tolerance": 3},
                  {"cx": 2, "y": 5, "rgb": list(INK)}]
        self.assertEqual(screen.judge(points=points), [])

    def test_a_miss_says_where_what_and_why(self):
        failures = Screen().judge(points=[{"x": 1, "y": -2, "rgb": [0, 0, 0], "tolerance": 2, "what": "a dot"},
                                          {"x": 64, "y": 0, "rgb": [0, 0, 0]}])
        self.assertEqual(failures, ["pixel (1, 46) is [191, 191, 191], expected [0, 0, 0] ±2 (a dot)",
                                    "pixel (64, 0) outside the 64x48 screen"])


class HarnessSide(unittest.TestCase):
    def test_check_runs_the_judge_and_needs_a_screenshot_only_when_there_are_checks(self):
        self.assertEqual(pixel_check.check(None, {"points": []}), [])
        self.assertEqual(pixel_check.check(None, {"points": [{"x": 0, "y": 0, "rgb": [0, 0, 0]}]}),
                         ["pixel checks need a screenshot"])
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "screen.png")
            Screen().paint(28, 21, 8, 6, INK).image.save(path)
            self.assertEqual(pixel_check.check(path, {"background": "BFBFBF", "pictures": [LOGO]}), [])
            failures = pixel_check.check(path, {"background": "000000"})
            self.assertEqual(len(failures), 5, failures)  # four corners, then the strays
            self.assertIn("pixels outside the pictures are not the background", failures[-1])


if __name__ == "__main__":
    unittest.main()
