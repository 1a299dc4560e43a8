"""Checks of the end-to-end harness itself, against zx_backdrop (no program needed)."""

import os
import random
import shutil
import tempfile
import unittest

import zxe2e
from zxe2e import Rect, gradient_color


class PictureTest(unittest.TestCase):
    def test_pnm_variants_decode_to_the_same_pixels(self):
        rgb = bytes([0, 0, 0, 255, 128, 1, 10, 20, 30, 7, 7, 7])
        wide = b"".join(bytes([v, v]) for v in rgb)  # v * 257 as 16-bit big-endian
        cases = {
            "8 bit": b"P6\n2 2\n255\n" + rgb,
            "comment and odd blanks": b"P6 # made by hand\n2\t2\n# maxval next\n255\n" + rgb,
            "16 bit": b"P6\n2 2\n65535\n" + wide,
        }
        for label, blob in cases.items():
            with self.subTest(label):
                image = zxe2e.Image.from_pnm(blob)
                self.assertEqual((image.width, image.height), (2, 2))
                self.assertEqual(image.pixel(1, 0), (255, 128, 1))
                self.assertEqual(image.pixel(1, 1), (7, 7, 7))
        grey = zxe2e.Image.from_pnm(b"P5\n2 1\n15\n\x00\x0f")
        self.assertEqual([grey.pixel(0, 0), grey.pixel(1, 0)], [(0, 0, 0), (255, 255, 255)])
        with self.assertRaises(ValueError):
            zxe2e.Image.from_pnm(b"P6\n2 2\n255\n" + rgb[:-1])

    def test_count_crop_and_bounding_box(self):
        width, height = 7, 5
        data = bytearray(b"\x10\x20\x30" * (width * height))
        for x, y in ((2, 1), (4, 3)):
            i = (y * width + x) * 3
            data[i : i + 3] = b"\xc0\x00\x00"
        image = zxe2e.Image(width, height, data)
        red = lambda c: c == (192, 0, 0)  # noqa: E731
        self.assertEqual(image.count(red), 2)
        self.assertEqual(image.bounding_box(red), Rect(2, 1, 3, 3))
        self.assertIsNone(image.bounding_box(lambda c: c == (1, 2, 3)))
        part = image.crop(Rect(3, 2, 2, 2))
        self.assertEqual(part.bounding_box(red), Rect(1, 1, 1, 1))
        with self.assertRaises(IndexError):
            image.crop(6, 0, 2, 1)

    def test_gradient_tells_positions_apart_and_avoids_crosshair_red(self):
        rng = random.Random(7)
        for _ in range(500):
            x, y = rng.randrange(1024), rng.randrange(1024)
            color = gradient_color(x, y)
            self.assertEqual(zxe2e.gradient_position(color), (x, y))
            # JPEG-sized errors on red and green move the position by as much, never to another tile
            blurred = (color[0], color[1], min(255, color[2] + 5))
            self.assertEqual(zxe2e.gradient_position(blurred), (x, y))
            self.assertGreaterEqual(color[2], 64, "too close to the crosshair's (192, 0, 0)")


class SessionTest(zxe2e.E2ETestCase):
    """One session for these tests; each test leaves the screen as it found it."""

    @classmethod
    def setUpClass(cls):
        # The harness's own program stand-in: zx_backdrop under the program's name.
        cls.fake_bin = tempfile.mkdtemp(prefix="zxe2e-bin-")
        backdrop = os.environ.get("ZX_BACKDROP")
        if not backdrop:
            raise unittest.SkipTest("ZX_BACKDROP is not set (path of the zx_backdrop test program)")
        shutil.copy2(backdrop, os.path.join(cls.fake_bin, cls.program_name))
        cls.bin_dir = cls.fake_bin
        super().setUpClass()

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        shutil.rmtree(cls.fake_bin, ignore_errors=True)

    def test_full_screen_gradient_is_on_screen_and_takes_clicks(self):
        backdrop = self.start_backdrop()
        shot = self.session.screenshot()
        self.assertEqual((shot.width, shot.height), (1280, 1024))
        rng = random.Random(1)
        points = [(0, 0), (1279, 1023), (1279, 0), (0, 1023)] + [(rng.randrange(1280), rng.randrange(1024))
                                                                  for _ in range(300)]
        wrong = [(x, y, shot.pixel(x, y)) for x, y in points if shot.pixel(x, y) != backdrop.expected_color(x, y)]
        self.assertEqual(wrong, [])

        since = backdrop.mark()
        self.session.click(321, 654)
        self.session.click(1000, 17, button=3)
        backdrop.wait_click(1000, 17, button=3, since=since)
        self.assertEqual(backdrop.clicks(since), [(1, 321, 654), (3, 1000, 17)])

    def test_framed_window_geometry_matches_the_screen(self):
        backdrop = self.start_backdrop()
        green = self.start_backdrop(geometry=(200, 300, 320, 240), pattern=(0, 200, 0), title="Green Ünï")
        inside = self.session.geometry(green.wid)
        frame = self.session.frame_extents(green.wid)
        outer = self.session.outer_geometry(green.wid)
        self.assertEqual(inside, Rect(200, 300, 320, 240), "the inside goes where it was asked")
        self.assertGreater(frame.top, frame.bottom, "a title bar above the inside")
        self.assertEqual(outer, Rect(200 - frame.left, 300 - frame.top, 320 + frame.left + frame.right,
                                     240 + frame.top + frame.bottom))
        self.assertEqual(self.session.window_name(green.wid), "Green Ünï")
        self.assertEqual(self.session.window_pid(green.wid), green.process.pid)

        shot = self.session.screenshot()
        self.assertEqual(shot.bounding_box(lambda c: c == (0, 200, 0)), inside)
        # The frame covers exactly the outer rectangle: inside it no gradient shows, just outside it does.
        ring_inside = [(outer.x, outer.y), (outer.right - 1, outer.bottom - 1), (outer.x, inside.y + 5),
                       (outer.right - 1, inside.y + 5), (inside.x + 5, outer.y), (inside.x + 5, outer.bottom - 1)]
        ring_outside = [(outer.x - 1, outer.y), (outer.right, outer.bottom - 1), (inside.x + 5, outer.y - 1),
                        (inside.x + 5, outer.bottom)]
        for x, y in ring_inside:
            self.assertNotIn(shot.pixel(x, y), ((0, 200, 0), backdrop.expected_color(x, y)), (x, y))
        for x, y in ring_outside:
            self.assertEqual(shot.pixel(x, y), backdrop.expected_color(x, y), (x, y))

        since = green.mark()
        self.session.click(inside.x + 3, inside.bottom - 1)
        green.wait_click(inside.x + 3, inside.bottom - 1, since=since)
        self.session.close_window(green.wid)
        self.assertEqual(green.process.wait_exit(5), 0)
        self.wait_until(lambda: self.session.screenshot().pixel(*inside.center) == gradient_color(*inside.center),
                        5, message="closed window still on screen")

    def test_keys_activation_and_stacking(self):
        backdrop = self.start_backdrop()
        normal = self.start_backdrop(geometry=(100, 100, 200, 150), pattern=(0, 0, 200), title="Normal")
        top = self.start_backdrop(geometry=(150, 150, 200, 150), pattern=(200, 200, 0), title="On top",
                                  above=True)
        self.assertIn("_NET_WM_STATE_ABOVE", self.session.net_wm_state(top.wid))
        self.assertNotIn("_NET_WM_STATE_ABOVE", self.session.net_wm_state(normal.wid))

        since = normal.mark()
        self.session.key(["space", "shift+Left", "KP_Add", "F1"], wid=normal.wid)
        self.assertEqual(self.session.active_window(), normal.wid)
        self.wait_until(lambda: len(normal.keys(since)) == 4, 5, message="keys did not arrive")
        self.assertEqual(normal.keys(since), ["Space", "Shift+Left", "Num++", "F1"])
        self.assertEqual(top.keys(), [])

        # Activating a normal window does not lift it over an always-on-top one.
        self.assertTrue(self.session.is_above(top.wid, normal.wid))
        overlap = (175, 175)
        self.assertEqual(self.session.screenshot().pixel(*overlap), (200, 200, 0))
        self.session.set_wm_state(top.wid, remove=["_NET_WM_STATE_ABOVE"])
        self.wait_until(lambda: "_NET_WM_STATE_ABOVE" not in self.session.net_wm_state(top.wid), 5)
        self.session.activate(normal.wid)
        self.wait_until(lambda: self.session.is_above(normal.wid, top.wid), 5, message="stacking unchanged")
        self.wait_until(lambda: self.session.screenshot().pixel(*overlap) == (0, 0, 200), 5,
                        message="screen does not follow the stacking order")
        # Raising puts a window on top of its layer but leaves the keyboard where it was.
        self.session.raise_window(top.wid)
        self.wait_until(lambda: self.session.screenshot().pixel(*overlap) == (200, 200, 0), 5,
                        message="raised window not on top")
        self.assertTrue(self.session.is_above(top.wid, normal.wid))
        self.assertEqual(self.session.active_window(), normal.wid)
        self.assertEqual(backdrop.keys(), [])

    def test_program_copy_runs_and_failure_leaves_artifacts(self):
        folder = self.make_program_copy("Renamed", files={"Renamed.ini": "[ZENTROLUX]\n"})
        self.assertEqual(sorted(os.listdir(folder)), ["Images", "Renamed", "Renamed.ini"])
        program = self.start_program(folder, "Renamed", args=["--title", "Renamed", "--geometry", "50x40+10+10"])
        wid = program.wait_window()
        self.assertEqual(self.session.window_pid(wid), program.proc.pid)

        # A failing test of the harness's own kind must leave a screenshot and the logs behind.
        artifacts = tempfile.mkdtemp(prefix="zxe2e-artifacts-")
        self.addCleanup(shutil.rmtree, artifacts, True)

        class Failing(zxe2e.E2ETestCase):
            bin_dir = self.bin_dir

            def test_fails(inner):
                inner.make_program_copy()
                inner.fail("on purpose")

        saved = os.environ.get("ZX_E2E_ARTIFACTS")
        os.environ["ZX_E2E_ARTIFACTS"] = artifacts
        try:
            result = unittest.TestResult()
            unittest.defaultTestLoader.loadTestsFromTestCase(Failing).run(result)
        finally:
            if saved is None:
                del os.environ["ZX_E2E_ARTIFACTS"]
            else:
                os.environ["ZX_E2E_ARTIFACTS"] = saved
        self.assertEqual(len(result.failures), 1)
        [test_dir] = os.listdir(artifacts)
        saved_files = os.listdir(os.path.join(artifacts, test_dir))
        self.assertIn("screen.png", saved_files)
        self.assertIn("program-0", saved_files)
        self.assertEqual(zxe2e.load_image(os.path.join(artifacts, test_dir, "screen.png")).width, 1280)


if __name__ == "__main__":
    unittest.main()
