"""Snapshots on headless Wayland desktops: the picture shows what the compositor shows, or there is none.

The program runs through Xwayland over a native window of one colour; its picture is checked against the
compositor's own screenshot taken right after.
"""

import unittest

from zxe2e import Rect, color_close, crosshair, wayland
from zxe2e.crosshair import JPEG_TOLERANCE, RED
from zxe2e.waiting import EVENT_TIMEOUT, happens_within

SHADOW_REACH = 30  # mutter darkens up to about 26 px next to a shaped window's edges
DEBIAN_13 = wayland.debian_version() == "13"


class WaylandSnapshotCase(wayland.WaylandTestCase):
    see_through = False  # whether the desktop shows the native window through the inside today

    def start_ready(self):
        """The colour window, then the program over it once its splash has given way to the bands."""
        color = self.start_color_window()
        program = self.start_program(self.make_program_copy())
        wid = program.wait_window()
        inside, columns, rows = crosshair.wait_bands(self.session, wid)
        return color, program, wid, inside, columns, rows

    def snapshot(self, program, wid, inside, number):
        """Space, then the written picture, and the screen as shown before (button up) and right after."""
        # KWin's portal draws the pointer: park it in the screen's far corner, off every compared pixel.
        self.session.move_mouse(self.session.width - 1, self.session.height - 1)
        before = self.session.screenshot()
        self.session.key("space", wid)
        picture = program.wait_picture(f"CAP{number:04d}.jpg")
        return before, picture, self.session.screenshot()

    def choose_client_area(self, program, wid):
        crosshair.choose(self.session, program, crosshair.MENU_CAPTURE, crosshair.CAPTURE_CLIENT_AREA)
        self.wait_until(lambda: self.session.find_windows(pid=program.process.pid) == [wid],
                        message="the menu stayed open")

    def assert_picture(self, picture, area, inside, bands, before, after, color):
        """picture was taken of the screen rectangle area; inside and bands as the screen shows them."""
        self.assertEqual((picture.width, picture.height), (area.width, area.height), "the picture's size")
        button = crosshair.button_square(inside)
        keep_off = button.grown(2)  # JPEG blurs edges

        # The title bar showed the moment of the snapshot; the screen shows the name again by now.
        title = Rect(area.x, area.y, area.width, inside.y - area.y)
        wrong = []
        for y in range(area.height):
            for x in range(area.width):
                sx, sy = area.x + x, area.y + y
                if keep_off.contains(sx, sy) or title.contains(sx, sy):
                    continue
                got, want = picture.pixel(x, y), after.pixel(sx, sy)
                if not color_close(got, want, JPEG_TOLERANCE):
                    wrong.append((sx, sy, got, want))
        if wrong:
            mean = sum(picture.data) / max(1, len(picture.data))  # 0 for the all-black grab of the X root
            self.fail(f"{len(wrong)} of {area.width * area.height} pixels differ from the compositor's screen; "
                      f"the picture's mean level is {mean:.1f}; first (screen x, y, picture, screen): {wrong[:4]}")

        if title.height > 0:
            native = sum(color_close(picture.pixel(x, y), color.color, JPEG_TOLERANCE)
                         for y in range(title.height) for x in range(0, title.width, 3))
            self.assertLess(native, title.height * title.width // 3 // 20, "the title bar is missing from the picture")

        columns, rows = bands
        red = [(x, y) for run in columns for x in run for y in range(0, inside.height, 7)] + \
              [(x, y) for run in rows for y in run for x in range(0, inside.width, 7)]
        not_red = [(x, y) for x, y in red if not keep_off.contains(inside.x + x, inside.y + y) and
                   not color_close(picture.pixel(inside.x + x - area.x, inside.y + y - area.y), crosshair.RED,
                                   JPEG_TOLERANCE)]
        self.assertEqual(not_red[:8], [], "band pixels (inside x, y) that are not crosshair red in the picture")

        # The button as the screen showed it before the snapshot must not be in the picture.
        same = sum(color_close(before.pixel(x, y), picture.pixel(x - area.x, y - area.y), JPEG_TOLERANCE)
                   for y in range(button.y, button.bottom) for x in range(button.x, button.right))
        self.assertLess(same, button.width * button.height // 2, "the camera button is in the picture")

        if self.see_through:
            far = [(x, y) for y in range(inside.y + SHADOW_REACH + 1, inside.bottom - SHADOW_REACH, 3)
                   for x in range(inside.x + SHADOW_REACH + 1, inside.right - SHADOW_REACH, 3)
                   if self._far_from_bands(x - inside.x, y - inside.y, bands)
                   and not (button.x - SHADOW_REACH <= x and y < button.bottom + SHADOW_REACH)]
            off = [(x, y, picture.pixel(x - area.x, y - area.y)) for x, y in far
                   if not color_close(picture.pixel(x - area.x, y - area.y), color.color, JPEG_TOLERANCE)]
            self.assertEqual(off[:8], [], f"{len(off)} of {len(far)} inside points do not show the native window")

    @staticmethod
    def _far_from_bands(x, y, bands):
        columns, rows = bands
        return all(abs(x - c) > SHADOW_REACH for run in columns for c in run) and \
            all(abs(y - r) > SHADOW_REACH for run in rows for r in run)

    def check_form_area_then_client_area(self):
        color, program, wid, _, _, _ = self.start_ready()
        for number, client_area in ((1, False), (2, True)):
            if client_area:
                self.choose_client_area(program, wid)
            # Read afresh: a window manager may still have reframed the window since it appeared.
            inside, columns, rows = crosshair.wait_bands(self.session, wid)
            outer = self.session.outer_geometry(wid)
            self.assertTrue(outer.contains(inside.x, inside.y))
            before, picture, after = self.snapshot(program, wid, inside, number)
            self.assert_picture(picture, inside if client_area else outer, inside, (columns, rows), before, after,
                                color)
        self.assertEqual(program.images(), ["CAP0001.jpg", "CAP0002.jpg"])
        self.assertEqual(program.close(), 0)


class SwaySnapshotTest(WaylandSnapshotCase):
    session_class = wayland.SwaySession

    def test_form_area_then_client_area(self):
        self.check_form_area_then_client_area()


class LabwcSnapshotTest(WaylandSnapshotCase):
    """labwc is in Debian 13 only: the test skips on Debian 12 for want of it."""

    session_class = wayland.LabwcSession

    def test_form_area_then_client_area(self):
        self.check_form_area_then_client_area()


class GnomeSnapshotTest(WaylandSnapshotCase):
    session_class = wayland.GnomeSession
    session_options = {"stored_permission": True}
    see_through = True

    def test_form_area_then_client_area(self):
        self.check_form_area_then_client_area()


class KdeSnapshotTest(WaylandSnapshotCase):
    """Runs where the KDE packages are installed (scripts/setup-debian.sh installs them with ZX_KDE=1).

    KWin 6 without a GPU composites without OpenGL and offers no picture of the screen; its portal then
    declines every screenshot at once: the program must say so and write nothing."""

    session_class = wayland.KdeSession

    def test_form_area_then_client_area(self):
        if wayland.kwin_major_version() >= 6:
            self.skipTest("KWin 6 makes no screenshot without a GPU: test_no_picture_where_kwin_can_make_none")
        self.check_form_area_then_client_area()

    def test_no_picture_where_kwin_can_make_none(self):
        if wayland.kwin_major_version() < 6:
            self.skipTest("KWin 5 makes screenshots without a GPU: test_form_area_then_client_area")
        color, program, wid, inside, columns, rows = self.start_ready()
        self.session.key("space", wid)
        # Declined at once: the message comes well before the 90 s the program waits for a person.
        box = self.wait_until(lambda: crosshair.dialogs(self.session, program), timeout=10, interval=0.1,
                              message="no message after the declined screenshot")
        self.assertEqual(len(box), 1)
        self.session.key("Return", box[0])
        self.wait_until(lambda: not crosshair.dialogs(self.session, program), message="the message stayed")
        self.assertEqual(program.images(), [], "a picture although the desktop made none")
        self.assertEqual(program.close(), 0)


class GnomeUnansweredPermissionTest(WaylandSnapshotCase):
    """GNOME asks the user once whether the program may take screenshots: the question is never under the
    crosshair, the program answers keys meanwhile and writes nothing without the permission."""

    session_class = wayland.GnomeSession
    session_options = {"stored_permission": False}
    # A large window about the screen's centre: GNOME 43 centres its question on the screen, GNOME 48 on
    # the window that asks, and a band crosses either way.
    SETTINGS = "[ZENTROLUX]\r\nTop=2430\r\nLeft=3600\r\nWidth=12000\r\nHeight=10500\r\n"

    def dialog_rows(self, shot, inside, column):
        """Rows of the inside where a dialog's plain grey body shows on both sides of the band column
        (screen x): [(y, what the band's pixels show there)]."""
        rows = []
        for y in range(inside.y, inside.bottom):
            samples = [shot.pixel(column + dx, y) for dx in (-90, -60, -30, 30, 60, 90)]
            grey = samples[0]
            if max(grey) - min(grey) < 10 and all(s == grey for s in samples):
                rows.append((y, [shot.pixel(column + dx, y) for dx in range(-2, 12)]))
        return rows

    def test_the_question_shows_over_the_crosshair_and_the_program_answers_meanwhile(self):
        color = self.start_color_window()
        program = self.start_program(self.make_program_copy(files={f"{self.program_name}.ini": self.SETTINGS}))
        wid = program.wait_window()
        inside, columns, rows = crosshair.wait_bands(self.session, wid)
        column = inside.x + columns[0][0]
        self.assertEqual(self.dialog_rows(self.session.screenshot(), inside, column), [], "grey before the question")

        self.session.key("space", wid)
        seen = {}

        def asked():
            seen["rows"] = self.dialog_rows(self.session.screenshot(), inside, column)
            return len(seen["rows"]) >= 60  # the body of the dialog, not a line of a title bar

        if not happens_within(asked, EVENT_TIMEOUT, interval=0.2):
            self.fail(f"no permission dialog across the band at x={column} (rows seen: {len(seen['rows'])}); "
                      f"Images holds {program.images()}")
        covered = [y for y, band in seen["rows"] if RED in band]
        self.assertEqual(covered, [], "the crosshair's band over the question")
        self.assertEqual(program.images(), [], "a picture while the dialog waits for an answer")

        # The window answers keys meanwhile: Control+Right moves it one pixel.
        self.session.key("ctrl+Right", wid)
        self.wait_until(lambda: self.session.geometry(wid).x == inside.x + 1,
                        message="the window did not answer Control+Right while the dialog was open")
        self.assertTrue(program.process.alive())
        self.assertEqual(program.close(), 0)
        self.assertEqual(program.images(), [], "a picture without the permission")


class SwayWithoutPortalTest(WaylandSnapshotCase):
    """No screenshot service reachable (here: no session bus): no picture and one plain message, also
    for a capture sequence, which stops instead of failing at every tick."""

    session_class = wayland.SwaySession

    def start_program(self, folder, **kwargs):
        env = dict(kwargs.pop("env", None) or {}, DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/bus")
        return super().start_program(folder, env=env, **kwargs)

    def messages(self, program):
        return crosshair.dialogs(self.session, program)

    def assert_drawn(self, dialog, color, what):
        # Drawn by the program inside its frame, not see-through; text and buttons give a few colours.
        area = self.session.geometry(dialog)
        self.wait_until(lambda: crosshair.shows_content(self.session.screenshot(), area, lambda x, y: color.color, 3),
                        interval=0.2, message=f"{what} not drawn with its content")

    def answer_message(self, program, color):
        box = self.wait_until(lambda: self.messages(program), message="no message")
        self.assertEqual(len(box), 1)
        self.assert_drawn(box[0], color, "the message")
        self.session.key("Return", box[0])
        self.wait_until(lambda: not self.messages(program), message="the message stayed")

    def test_no_picture_and_one_message(self):
        color, program, wid, inside, columns, rows = self.start_ready()
        self.session.key("space", wid)
        self.answer_message(program, color)
        self.assertEqual(program.images(), [])

        crosshair.choose(self.session, program, crosshair.MENU_SEQUENCE, crosshair.SEQUENCE_START)
        prompt = self.wait_until(lambda: self.messages(program), message="no interval prompt")[0]
        self.assert_drawn(prompt, color, "the interval prompt")
        self.session.key("ctrl+a", prompt)
        self.session.type_text("50", prompt)
        self.session.key("Return", prompt)
        self.wait_until(lambda: prompt not in self.messages(program), message="the prompt stayed")
        self.answer_message(program, color)
        # Stopped: no second message, and the caption is the name again.
        self.assertFalse(happens_within(lambda: self.messages(program), 1.5, interval=0.2), "a message at the next tick")
        self.assertEqual(self.session.window_name(wid), program.name)
        self.assertEqual(program.images(), [])
        self.assertEqual(program.close(), 0)


if __name__ == "__main__":
    unittest.main()
