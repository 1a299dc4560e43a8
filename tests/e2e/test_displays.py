"""Displays as users have them: a window manager that puts the window elsewhere than it was asked to,
two monitors of different heights on one X screen, and screens scaled to 200 % and 150 %.

The window's place is always read from the X server, and the program's pictures are compared with what
the screen shows there, never with what the program asked for.
"""

import re
import time
import unittest

import zxe2e
from zxe2e import Rect, crosshair
from zxe2e.crosshair import JPEG_TOLERANCE, to_pixels, twips_per_pixel


def settings_file(**values):
    return "[ZENTROLUX]\r\n" + "".join(f"{name} = {value}\r\n" for name, value in values.items())


def stored_bounds(program):
    """The bounds the program wrote at its close, in twips: {"Left": ..., "Top": ..., ...}."""
    with open(program.path("Zentrolux.ini"), encoding="latin-1") as f:
        text = f.read()
    return {name: int(re.search(rf"(?m)^\s*{name}\s*=\s*(-?\d+)", text).group(1))
            for name in ("Left", "Top", "Width", "Height")}


def in_twips(outer, dpi):
    tpp = twips_per_pixel(dpi)
    return {"Left": outer.x * tpp, "Top": outer.y * tpp, "Width": outer.width * tpp, "Height": outer.height * tpp}


def within(rect, area):
    return area.x <= rect.x and area.y <= rect.y and rect.right <= area.right and rect.bottom <= area.bottom


def clip(rect, area):
    left, top = max(rect.x, area.x), max(rect.y, area.y)
    return Rect(left, top, max(0, min(rect.right, area.right) - left), max(0, min(rect.bottom, area.bottom) - top))


class Desk:
    """What the backdrops show together, for wait_see_through: each one where it lies."""

    def __init__(self, *backdrops):
        self.backdrops = backdrops

    def expected_color(self, x, y):
        for backdrop in self.backdrops:
            if backdrop.requested.contains(x, y):
                return backdrop.expected_color(x, y)
        return None


class DisplayTestCase(zxe2e.E2ETestCase):
    """Helpers; a subclass sets cls.desk to the backdrops it starts."""

    desk = None

    def start(self, files=None, folder=None):
        """Starts a program copy (or the one in folder) and waits until its inside is see-through."""
        program = crosshair.start_ready(self, self.desk, folder, files)
        return program, program.wid

    def design_outer(self, wid):
        """The outer frame a first start gives the window (at 96 dpi): the design's inside at its place."""
        f = self.session.frame_extents(wid)
        d = crosshair.design_inside()
        return Rect(d.x - f.left, d.y - f.top, d.width + f.left + f.right, d.height + f.top + f.bottom)

    def settled_screenshot(self, area):
        """A screenshot once the area has stopped changing (windows below repaint what a move uncovers)."""
        last = [None]

        def steady():
            shot = self.session.screenshot()
            part = shot.crop(area)
            same = last[0] is not None and part.data == last[0]
            last[0] = part.data
            return shot if same else None

        return self.wait_until(steady, message=f"the screen at {area} keeps changing")

    def snapshot(self, program, wid):
        """Takes a snapshot with Space. Returns the picture, the screen just before and the outer frame and
        inside of the window, which must not move meanwhile."""
        outer, inside = self.outer(wid), self.session.geometry(wid)
        on_screen = clip(outer, Rect(0, 0, self.session.width, self.session.height))
        shot = self.settled_screenshot(on_screen)
        name = f"CAP{len(program.images()) + 1:04d}.jpg"
        self.session.key("space", wid)
        picture = program.wait_picture(name)
        self.assertEqual((self.outer(wid), self.session.geometry(wid)), (outer, inside),
                         "the window moved during the snapshot")
        # The screen is as it was before (but for the camera button, hidden for the grab and shown again).
        after = self.settled_screenshot(on_screen)
        self.assertEqual(self.differences(after, (0, 0), shot, outer, inside)[:10], [],
                         "the screen changed around the snapshot")
        return picture, shot, outer, inside

    def differences(self, picture, origin, shot, outer, inside, tolerance=0):
        """[(x, y, got, screen)] of the pixels of the window's outer frame, where it lies on the screen, that the
        picture (its top-left pixel at screen position origin) shows otherwise than the screenshot. The title
        bar and the camera button's square are left out: during a grab one shows the moment of the snapshot
        and the other is hidden. x and y count from the outer frame's top-left corner."""
        button = crosshair.button_square(inside, self.dpi)
        wrong = []
        compared = 0
        for y in range(max(inside.y, 0), min(outer.bottom, shot.height)):
            left, right = max(outer.x, 0), min(outer.right, shot.width)
            runs = [(left, right)]
            if button.y <= y < button.bottom:
                runs = [(left, min(right, button.x)), (max(left, button.right), right)]
            for start, end in runs:
                if end <= start:
                    continue
                compared += end - start
                at = ((y - origin[1]) * picture.width + start - origin[0]) * 3
                got = picture.data[at:at + (end - start) * 3]
                at = (y * shot.width + start) * 3
                want = shot.data[at:at + (end - start) * 3]
                # Whole runs first: pixel by pixel only where a run differs.
                if got == want or all(abs(a - b) <= tolerance for a, b in zip(got, want)):
                    continue
                for i in range(end - start):
                    g, w = tuple(got[3 * i:3 * i + 3]), tuple(want[3 * i:3 * i + 3])
                    if not zxe2e.color_close(g, w, tolerance):
                        wrong.append((start + i - outer.x, y - outer.y, g, w))
        self.assertGreater(compared, 1000, f"hardly any of {outer} lies on the screen")
        return wrong

    def assert_picture_is_screen(self, picture, shot, outer, inside):
        """The Form Area picture is the window's outer frame as the screen shows it, pixel for pixel."""
        self.assertEqual((picture.width, picture.height), (outer.width, outer.height), "not the outer frame's size")
        wrong = self.differences(picture, (outer.x, outer.y), shot, outer, inside, JPEG_TOLERANCE)
        self.assertEqual(wrong[:10], [], f"{len(wrong)} pixels differ from the screen at {outer} (x, y, got, screen)")


# ---------------------------------------------------------------------------------------------------


class WindowManagerPlaceTest(DisplayTestCase):
    """One 1280x1024 screen. Openbox keeps a tenth of a window on the screen: a window asked to lie
    further off is put elsewhere than asked."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.desk = zxe2e.Backdrop(cls.session).start()

    def press(self, wid, keys, delay=None):
        """Presses keys, then Alt+Down and Alt+Up: the program takes keys in turn, so once the height has
        grown and shrunk again every key before has been handled. Returns the outer frame then."""
        height = self.outer(wid).height
        self.session.key(list(keys) + ["alt+Down"], wid, delay=delay)
        self.wait_until(lambda: self.outer(wid).height == height + 1, message=f"{keys[:3]}...: not handled")
        self.session.key("alt+Up", wid)
        self.wait_until(lambda: self.outer(wid).height == height, message="Alt+Up not handled")
        return self.outer(wid)

    def test_stored_place_the_window_manager_would_cut_opens_wholly_on_the_screen(self):
        # Left 1270 px: openbox would put the window at x 1233, its camera button off the screen.
        program, wid = self.start({"Zentrolux.ini": settings_file(Left=19050, Top=3000)})
        screen = Rect(0, 0, self.session.width, self.session.height)
        self.wait_until(lambda: within(self.outer(wid), screen),
                        message=lambda: f"the window is not wholly on the screen: {self.outer(wid)}")
        outer = self.outer(wid)
        self.assertEqual(program.close(), 0)
        self.assertEqual(stored_bounds(program), in_twips(outer, self.dpi), f"written bounds of {outer}")

    def test_key_move_the_window_manager_stops(self):
        program, wid = self.start({"Zentrolux.ini": settings_file(Left=0, Top=3000)})
        o = self.wait_outer(wid, self.design_outer(wid)._replace(x=0, y=200), "the stored place")

        # Openbox stops the window with a tenth of it on the screen; most of the way in one row.
        near = -(o.width * 9 // 10) + 3
        o = self.press(wid, ["ctrl+Left"] * (o.x - near), delay=1)
        self.assertEqual(o.x, near, "a row of Control+Left presses, one pixel each")
        for _ in range(10):
            before = o
            o = self.press(wid, ["ctrl+Left"])
            if o == before:
                break
            self.assertEqual(o, before._replace(x=before.x - 1), "Control+Left")
        else:
            self.fail(f"the window manager did not stop the window; now {o}")
        stopped = o
        self.assertEqual(self.press(wid, ["ctrl+Left"] * 3), stopped, "Control+Left against the edge")
        o = self.press(wid, ["ctrl+Right"])
        self.assertEqual(o, stopped._replace(x=stopped.x + 1), "Control+Right after the window manager stopped it")

        picture, shot, outer, inside = self.snapshot(program, wid)
        self.assert_picture_is_screen(picture, shot, outer, inside)
        self.assertEqual(program.close(), 0)
        self.assertEqual(stored_bounds(program), in_twips(o, self.dpi), f"written bounds of {o}")

    def test_no_key_is_lost_while_the_window_manager_answers_late(self):
        program, wid = self.start({"Zentrolux.ini": settings_file(Left=4500, Top=3000)})
        o = self.wait_outer(wid, self.design_outer(wid)._replace(x=300, y=200), "the stored place")
        self.session.activate(wid)
        with self.session.window_manager_paused():
            self.session.key(["ctrl+Right"] * 3)
            # The stimulus, not a wait: the window manager stays busy while the program takes the keys.
            time.sleep(0.5)
        self.assertEqual(self.press(wid, []), o._replace(x=o.x + 3), "three Control+Right presses")
        self.assertEqual(program.close(), 0)


class TwoMonitorsTest(DisplayTestCase):
    """One X screen of 2560x1024 showing two monitors side by side, 1280x1024 and 1280x720; the corner
    below the second one lies on the screen but on neither monitor."""

    screen = (2560, 1024, zxe2e.SCREEN_DEPTH)
    monitors = [Rect(0, 0, 1280, 1024), Rect(1280, 0, 1280, 720)]

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # Each monitor shows its own picture, so a grab from the wrong one, or shifted, shows.
        first = zxe2e.Backdrop(cls.session, geometry=cls.monitors[0], frameless=True, title="first").start()
        second = zxe2e.Backdrop(cls.session, geometry=cls.monitors[1], pattern=(40, 90, 200), frameless=True,
                                title="second").start()
        cls.desk = Desk(first, second)

    def test_snapshots_on_the_second_monitor_and_across_both(self):
        self.assertEqual(self.session.monitors(), self.monitors)
        for left, top in ((1500, 100), (1100, 100)):
            with self.subTest(left=left, top=top):
                program, wid = self.start({"Zentrolux.ini": settings_file(Left=left * 15, Top=top * 15)})
                design = self.design_outer(wid)
                self.wait_outer(wid, design._replace(x=left, y=top), "the stored place")
                picture, shot, outer, inside = self.snapshot(program, wid)
                self.assert_picture_is_screen(picture, shot, outer, inside)
                self.assertEqual(program.close(), 0)

    def test_place_in_the_dead_corner_opens_at_the_design_place(self):
        # Inside the box around both monitors, on neither.
        program, wid = self.start({"Zentrolux.ini": settings_file(Left=1500 * 15, Top=800 * 15)})
        design = self.wait_outer(wid, self.design_outer(wid), "the design place")
        self.assertTrue(within(design, self.monitors[0]), f"{design} not wholly on the first monitor")
        self.assertEqual(program.close(), 0)
        self.assertEqual(stored_bounds(program), in_twips(design, self.dpi))


# ---------------------------------------------------------------------------------------------------


class ScaledScreenChecks:
    """The checks for a screen of cls.dpi dots per inch, with Xft.dpi the same (as a desktop scaled to
    dpi / 96 sets it). Mixed into a test case per scale."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.desk = zxe2e.Backdrop(cls.session).start()

    def placed(self, wid):
        """The outer frame, the inside and the bands' columns and rows (inside coordinates)."""
        inside, columns, rows = crosshair.wait_bands(self.session, wid)
        return self.outer(wid), inside, columns, rows

    def camera_button(self, inside):
        """The opaque square in the inside's top-right corner, as the screen shows it."""
        size = crosshair.button_square(inside, self.dpi).width
        corner = Rect(inside.right - 2 * size, inside.y, 2 * size, 2 * size)
        part = self.session.screenshot().crop(corner)
        opaque = [(x, y) for y in range(part.height) for x in range(part.width)
                  if part.pixel(x, y) != self.desk.expected_color(corner.x + x, corner.y + y)]
        if not opaque:
            return None
        xs, ys = [x for x, _ in opaque], [y for _, y in opaque]
        return Rect(corner.x + min(xs), corner.y + min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)

    def help_inside(self, program, wid):
        self.session.key("F1", wid)
        help_wid = self.session.wait_window(crosshair.help_title(), pid=program.process.pid)
        size = self.session.geometry(help_wid)
        crosshair.close_dialog(self.session, program, help_wid, crosshair.help_title())
        return size.width, size.height

    def test_one_screen_pixel_is_one_device_pixel(self):
        program, wid = self.start()  # a first start: the design size, no settings file
        screen = Rect(0, 0, self.session.width, self.session.height)
        self.assertTrue(within(self.outer(wid), screen), f"{self.outer(wid)} not wholly on the screen")
        first = self.placed(wid)
        _, inside, columns, rows = first
        self.assertEqual([len(band) for band in columns + rows], [2, 2, 2, 2], f"bands {columns}, {rows}")
        gap = 2 * crosshair.DEFAULT_PIXELS
        self.assertEqual((columns[1][0] - columns[0][0], rows[1][0] - rows[0][0]), (gap, gap), "Pixels counts screen pixels")
        self.assertEqual(self.camera_button(inside), crosshair.button_square(inside, self.dpi), "the camera button")
        self.assertEqual(self.help_inside(program, wid),
                         tuple(to_pixels(t, self.dpi) for t in crosshair.HELP_INSIDE_TWIPS), "the help window's inside")

        o = self.outer(wid)
        for key, step in (("ctrl+Right", lambda r: r._replace(x=r.x + 1)),
                          ("alt+Down", lambda r: r._replace(height=r.height + 1))):
            for press in range(1, 7):
                self.session.key(key, wid)
                o = self.wait_outer(wid, step(o), f"{key} #{press}")
        self.session.key("shift", wid)
        side = min(o.width, o.height)
        o = self.wait_outer(wid, o._replace(width=side, height=side), "Shift squares")
        for press in range(1, 7):
            self.session.key("shift+Right", wid)
            o = self.wait_outer(wid, o._replace(width=o.width + 1, height=o.height + 1), f"shift+Right #{press}")

        before = self.placed(wid)
        picture, shot, outer, inside = self.snapshot(program, wid)
        self.assert_picture_is_screen(picture, shot, outer, inside)

        self.assertEqual(program.close(), 0)
        program, wid = self.start(folder=program.folder)  # with the file it wrote
        self.wait_outer(wid, before[0], "after a restart")
        self.assertEqual(self.placed(wid), before, "a restart moved the window or the bands")
        self.assertEqual(program.close(), 0)

        # Last, so that the checks above run whatever it says.
        design = crosshair.design_inside(self.dpi)[2:]
        self.assertEqual((first[1].width, first[1].height), design, "a first start's inside (7125 x 4710 twips)")


class Scaled200Test(ScaledScreenChecks, DisplayTestCase):
    dpi = 192
    x_resources = {"Xft.dpi": 192}


class Scaled150Test(ScaledScreenChecks, DisplayTestCase):
    dpi = 144
    x_resources = {"Xft.dpi": 144}


if __name__ == "__main__":
    unittest.main()
