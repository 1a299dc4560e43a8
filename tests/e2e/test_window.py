"""The crosshair window on a real display: see-through, click-through, on top, its menu, one instance."""

import os
import unittest

import zxe2e
from zxe2e import crosshair
from zxe2e.crosshair import RED


def inside_mismatches(shot, inside, backdrop, bands=True):
    """Pixels of the inside that do not show what the design window shows over backdrop: red bands (none
    with bands=False), the camera button opaque, the backdrop everywhere else."""
    columns, rows = (crosshair.DESIGN_BAND_COLUMNS, crosshair.DESIGN_BAND_ROWS) if bands else ([], [])
    button = crosshair.button_square(zxe2e.Rect(0, 0, inside.width, inside.height))
    wrong = crosshair.inside_mismatches(shot, inside, columns, rows, backdrop.expected_color, skip=button.contains)
    for y in range(button.y, button.bottom):
        for x in range(button.x, button.right):
            got = shot.pixel(inside.x + x, inside.y + y)
            if got == backdrop.expected_color(inside.x + x, inside.y + y):
                wrong.append((x, y, got, "button see-through"))
    return wrong


class CrosshairWindowTest(zxe2e.E2ETestCase):
    def start_crosshair(self, name=None):
        program = self.start_program(self.make_program_copy(name=name), name=name)
        wid = program.wait_window()
        return program, wid

    def wait_see_through(self, wid, backdrop):
        return crosshair.wait_see_through(self.session, wid, backdrop)

    def test_splash_then_see_through_with_bands_button_and_frame(self):
        backdrop = self.start_backdrop()
        program, wid = self.start_crosshair()
        inside = self.session.geometry(wid)
        self.assertEqual((inside.x, inside.y, inside.width, inside.height), (230, 156, 475, 314))

        # The splash makes the whole inside opaque for its three seconds.
        shot = self.session.screenshot()
        probes = [(inside.x + x, inside.y + y) for x in range(5, 470, 47) for y in range(30, 310, 40)]
        shown = sum(shot.pixel(x, y) == backdrop.expected_color(x, y) for x, y in probes)
        self.assertEqual(shown, 0, "the splash lets the backdrop through")

        self.wait_see_through(wid, backdrop)
        shot = self.session.screenshot()
        self.assertEqual(inside_mismatches(shot, inside, backdrop)[:10], [])

        # The window manager's frame stays: title bar above the inside.
        frame = self.session.frame_extents(wid)
        self.assertIsNotNone(frame)
        self.assertGreater(frame.top, 5)
        title = [(inside.x + x, inside.y - frame.top // 2) for x in range(10, 460, 30)]
        self.assertEqual(sum(shot.pixel(x, y) == backdrop.expected_color(x, y) for x, y in title), 0)

        # A click on a see-through point reaches the window below, not ours.
        since = backdrop.mark()
        x, y = inside.x + 100, inside.y + 100
        self.session.click(x, y)
        backdrop.wait_click(x, y, since=since)
        self.assertTrue(program.process.alive())
        self.assertEqual(program.images(), [])

    def test_stays_on_top_and_menu_hides_and_shows_the_lines(self):
        backdrop = self.start_backdrop()
        program, wid = self.start_crosshair()
        inside = self.wait_see_through(wid, backdrop)
        self.assertIn("_NET_WM_STATE_ABOVE", self.session.net_wm_state(wid))

        # Another window raised over ours does not cover it.
        cover = self.start_backdrop(geometry=(150, 120, 700, 500), pattern=(20, 200, 40), title="cover")
        self.session.raise_window(cover.wid)
        self.session.activate(cover.wid)
        shot = self.session.screenshot()
        self.assertEqual(shot.pixel(inside.x + 232, inside.y + 50), RED)
        self.assertEqual(shot.pixel(inside.x + 100, inside.y + 152), RED)
        self.assertEqual(shot.pixel(inside.x + 100, inside.y + 100), (20, 200, 40))
        cover.stop()
        self.wait_until(lambda: self.session.screenshot().pixel(inside.x + 100, inside.y + 100)
                        == backdrop.expected_color(inside.x + 100, inside.y + 100),
                        message="the cover did not go away")

        def band_pixels_red(shot):
            return sum(shot.pixel(inside.x + 232, inside.y + y) == RED for y in range(40, 300, 10))

        crosshair.choose(self.session, program, crosshair.MENU_CROSSHAIR, crosshair.CROSSHAIR_NONE)
        self.wait_until(lambda: band_pixels_red(self.session.screenshot()) == 0,
                        message="None did not hide the lines")
        shot = self.session.screenshot()
        self.assertEqual(inside_mismatches(shot, inside, backdrop, bands=False)[:10], [])

        crosshair.choose(self.session, program, crosshair.MENU_CROSSHAIR, crosshair.CROSSHAIR_CROSS)
        self.wait_until(lambda: band_pixels_red(self.session.screenshot()) > 20,
                        message="Cross did not show the lines")

        # About takes the window out of the top band while it is open, and back after.
        crosshair.choose(self.session, program, crosshair.MENU_ABOUT)
        about = self.session.wait_window(crosshair.about_title(), pid=program.process.pid)
        self.assertEqual(self.session.geometry(about)[2:], crosshair.ABOUT_SIZE)
        self.wait_until(lambda: "_NET_WM_STATE_ABOVE" not in self.session.net_wm_state(wid),
                        message="still on top while About is open")
        crosshair.close_dialog(self.session, program, about, crosshair.about_title())
        self.assertTrue(self.session.window_exists(wid))
        self.wait_until(lambda: band_pixels_red(self.session.screenshot()) > 20,
                        message="the window is hidden after About")
        self.assertEqual(program.close(), 0)

    def test_second_start_is_refused_and_a_renamed_copy_uses_its_name(self):
        backdrop = self.start_backdrop()
        name = "StarGuide"
        first, wid = self.start_crosshair(name=name)
        self.wait_see_through(wid, backdrop)

        second = self.start_program(first.folder, name=name)
        box = self.session.wait_window(name, pid=second.process.pid)
        self.assertNotEqual(box, wid)
        self.session.key("Return", wid=box)
        self.assertEqual(second.wait_exit(), 0)
        self.assertTrue(first.process.alive())
        self.assertEqual(self.session.window_name(wid), name)

        self.assertEqual(first.close(), 0)
        # The settings file follows the program's name too.
        self.assertTrue(os.path.isfile(first.path(name + ".ini")))
        self.assertFalse(os.path.exists(first.path("Zentrolux.ini")))


if __name__ == "__main__":
    unittest.main()
