"""The crosshair under the X11 window managers of the desktops people use, each on its own display:
see-through, clicks through the inside, above a raised window, the keys, a frame (the window manager's,
or the program's own where it draws none: moved, sized and closed with the mouse), a Form Area picture
with the moment in its title bar, and, where the window manager has a switch for it, its compositor
turned off and on while the program runs.

The full suite runs under openbox (test_window.py and the others); this is the matrix beside it.
"""

import unittest

import zxe2e
from zxe2e import color_close, crosshair, windowmanagers
from zxe2e.crosshair import JPEG_TOLERANCE

COMPOSITOR_SWITCHES = 4  # off and on again, each time looked at
CORNER = 8  # the inside's bottom corners, which a decoration may round off
OWN_FRAME_GREY = (56, 56, 60)  # the frame the program draws where the window manager draws none


class WindowManagerChecks:
    """The checks, run under the window manager of the class that mixes them in."""

    def inside_wrong(self, inside, backdrop):
        """Pixels of the inside that show neither the backdrop nor the red bands (the camera button aside),
        or the bands when they are not two pairs about the middle; a black inside shows here. The bands are
        looked for, not assumed: a window manager may size the window otherwise than the program asked."""
        shot = self.session.screenshot()
        columns, rows = crosshair.bands(shot, inside)
        if not crosshair.centred(columns, rows, inside):
            return [("bands", columns, rows)]
        button = crosshair.button_square(zxe2e.Rect(0, 0, inside.width, inside.height))
        # KWin's decoration rounds the window's bottom corners and shades them.
        corners = (zxe2e.Rect(0, inside.height - CORNER, CORNER, CORNER),
                   zxe2e.Rect(inside.width - CORNER, inside.height - CORNER, CORNER, CORNER))
        return crosshair.inside_mismatches(shot, inside, columns, rows, backdrop.expected_color,
                                           skip=lambda x, y: any(r.contains(x, y) for r in (button, *corners)))

    def own_frame(self, wid, shot=None):
        """The frame the program draws itself inside its window, as FrameExtents read off the screen (its
        grey around the inside: rows from the top beside the left border, columns from the left and rows
        from the bottom half-way), or None where it draws none."""
        window = self.session.geometry(wid)
        shot = shot or self.session.screenshot()

        def run(points):
            return next((n for n, (x, y) in enumerate(points) if shot.pixel(x, y) != OWN_FRAME_GREY), len(points))

        middle_x, middle_y = window.x + window.width // 2, window.y + window.height // 2
        left = run([(x, middle_y) for x in range(window.x, window.right)])
        if left == 0:
            return None
        top = run([(window.x + left, y) for y in range(window.y, window.bottom)])
        bottom = run([(middle_x, y) for y in range(window.bottom - 1, window.y, -1)])
        right = run([(x, middle_y) for x in range(window.right - 1, window.x, -1)])
        return zxe2e.FrameExtents(left, right, top, bottom)

    def inside(self, wid):
        """The window's inside on the screen: within the program's own frame where it draws one."""
        window = self.session.geometry(wid)
        own = self.own_frame(wid) if self.session.frame_extents(wid) in (None, (0, 0, 0, 0)) else None
        if not own:
            return window
        return zxe2e.Rect(window.x + own.left, window.y + own.top, window.width - own.left - own.right,
                          window.height - own.top - own.bottom)

    def check_frame(self, wid):
        """The frame with a title bar, the window manager's or the program's own, as FrameExtents."""
        # The program draws its own only once the window manager has shown it with none: waited for.
        seen = {}

        def framed():
            frame = self.session.frame_extents(wid)
            if frame is not None and frame.top > 5:
                return frame
            own = seen["own"] = self.own_frame(wid)
            seen["frame"] = frame
            return own if own is not None and own.top > 5 else None

        return self.wait_until(framed, message=lambda: f"no frame: {self.window_manager.name} sets extents "
                                                       f"{seen.get('frame')}, and the program's own is {seen.get('own')}")

    def drag(self, x, y, dx, dy):
        """Presses the left button at (x, y), moves by (dx, dy) in steps, as a hand does, and lets go. The
        window manager takes the pointer over a moment after the press."""
        steps = ["mousemove", "--sync", str(x), str(y), "mousedown", "1", "sleep", "0.3"]
        for i in range(1, 5):
            steps += ["mousemove", str(x + dx * i // 4), str(y + dy * i // 4), "sleep", "0.1"]
        self.session.run(["xdotool", *steps, "mouseup", "1"])

    def check_own_frame(self, program, backdrop, frame):
        """The program's own frame moves the window by its title bar, sizes it by its corner and closes it
        by its close box."""
        session, wid = self.session, program.wid
        window = session.geometry(wid)
        x, y = window.x + 3 * frame.left, window.y + frame.top // 2
        self.drag(x, y, 40, 30)
        self.wait_until(lambda: session.geometry(wid)[:2] == (window.x + 40, window.y + 30),
                        message=lambda: f"the title bar did not move the window: {session.geometry(wid)}")
        window = session.geometry(wid)
        x, y = window.right - 2, window.bottom - 2
        self.drag(x, y, 50, 20)
        self.wait_until(lambda: session.geometry(wid)[2:] == (window.width + 50, window.height + 20),
                        message=lambda: f"the corner did not size the window: {session.geometry(wid)}")
        self.wait_until(lambda: not self.inside_wrong(self.inside(wid), backdrop),
                        message=lambda: f"after sizing: {self.inside_wrong(self.inside(wid), backdrop)[:5]}")
        window = session.geometry(wid)
        side = frame.top - 2 * frame.left
        session.click(window.right - frame.right - side // 2, window.y + frame.left + side // 2)
        self.assertEqual(program.wait_exit(), 0)

    def test_crosshair(self):
        session = self.session
        backdrop = self.start_backdrop()
        program = crosshair.start_ready(self, backdrop)
        wid = program.wid
        inside = session.geometry(wid)

        # A window with alpha shows what lies below before it is first drawn: wait for the splash to go.
        # Some window managers place a new window again after the program has placed it (muffin).
        self.wait_until(lambda: not self.inside_wrong(self.inside(wid), backdrop),
                        message=lambda: f"see-through: {self.inside_wrong(self.inside(wid), backdrop)[:5]}")
        inside = self.inside(wid)

        frame = self.check_frame(wid)

        # A click on a hole reaches the window below, on the window's inside and through the frame around it.
        for x, y in ((inside.x + 100, inside.y + 100), (inside.x + 20, inside.bottom - 20)):
            since = backdrop.mark()
            session.click(x, y)
            backdrop.wait_click(x, y, since=since)

        # Another window raised over it does not cover it.
        cover = self.start_backdrop(geometry=(150, 120, 700, 500), pattern=(20, 200, 40), title="cover")
        session.raise_window(cover.wid)
        session.activate(cover.wid)
        self.wait_until(lambda: session.screenshot().pixel(inside.x + 100, inside.y + 100) == (20, 200, 40),
                        message="the cover did not show under the crosshair")
        columns, _ = crosshair.bands(session.screenshot(), inside)
        self.assertTrue(columns, "covered by a raised window: no band shows")
        cover.stop()
        self.wait_until(lambda: not self.inside_wrong(inside, backdrop),
                        message=lambda: f"the inside after the cover left: {self.inside_wrong(inside, backdrop)[:5]}")

        # The keys: Control+Right moves the window one pixel.
        outer = self.outer(wid)
        session.key("ctrl+Right", wid)
        self.wait_outer(wid, outer._replace(x=outer.x + 1), "ctrl+Right")
        inside = self.inside(wid)

        # The compositor off and on: the inside follows at once, never black.
        if self.window_manager.switch is not None:
            for _ in range(COMPOSITOR_SWITCHES):
                for on in (False, True):
                    session.switch_compositor(on)
                    self.wait_until(lambda: not self.inside_wrong(inside, backdrop),
                                    message=lambda: f"compositor {'on' if on else 'off'}: the inside shows "
                                                    f"{self.inside_wrong(inside, backdrop)[:5]}")
            # The window manager may have dropped the frame with the compositor, and must give it back.
            inside = self.inside(wid)
            frame = self.check_frame(wid)

        # A Form Area picture holds the title bar with the moment in its caption.
        outer = self.outer(wid)
        session.click(*crosshair.button_square(inside).center)
        picture = program.wait_picture("CAP0001.jpg")
        self.assertEqual((picture.width, picture.height), (outer.width, outer.height), "Form Area: the outer size")
        self.wait_until(lambda: session.window_name(wid) == program.name, message="caption not set back")
        shot = session.screenshot()
        title = [(x, y) for y in range(2, frame.top - 2) for x in range(frame.left, outer.width - frame.right)]
        differ = sum(not color_close(picture.pixel(x, y), shot.pixel(outer.x + x, outer.y + y), JPEG_TOLERANCE)
                     for x, y in title)
        # The caption with the moment is some 22 characters longer than the name alone.
        self.assertGreaterEqual(differ, 150, "the picture's title bar shows the caption without the moment")
        if session.frame_extents(wid) in (None, (0, 0, 0, 0)):
            self.check_own_frame(program, backdrop, frame)
        else:
            self.assertEqual(program.close(), 0)


class UnderXfwm4(WindowManagerChecks, windowmanagers.WindowManagerTestCase):
    window_manager = windowmanagers.XFWM4


class UnderXfwm4WithoutCompositor(WindowManagerChecks, windowmanagers.WindowManagerTestCase):
    window_manager = windowmanagers.XFWM4_NO_COMPOSITOR


class UnderXfwm4OnXvnc(WindowManagerChecks, windowmanagers.WindowManagerTestCase):
    window_manager = windowmanagers.XFWM4_XVNC


class UnderMarco(WindowManagerChecks, windowmanagers.WindowManagerTestCase):
    window_manager = windowmanagers.MARCO


class UnderMetacity(WindowManagerChecks, windowmanagers.WindowManagerTestCase):
    window_manager = windowmanagers.METACITY


class UnderMutter(WindowManagerChecks, windowmanagers.WindowManagerTestCase):
    window_manager = windowmanagers.MUTTER


class UnderMuffin(WindowManagerChecks, windowmanagers.WindowManagerTestCase):
    window_manager = windowmanagers.MUFFIN


class UnderKwin(WindowManagerChecks, windowmanagers.WindowManagerTestCase):
    window_manager = windowmanagers.KWIN


class UnderKwinWithoutCompositing(WindowManagerChecks, windowmanagers.WindowManagerTestCase):
    window_manager = windowmanagers.KWIN_NO_COMPOSITING

    def test_window_manager_after_the_program(self):
        """A session that starts the program before its window manager (an autostart that comes early):
        KWin takes the shaped window on without a decoration and sets no extents at all. The program
        draws its own frame all the same, and keeps its inside."""
        session = self.session
        backdrop = self.start_backdrop()
        session.stop_window_manager()
        try:
            program = self.start_program(self.make_program_copy())
            wid = program.wait_window(managed=False)
            crosshair.wait_see_through(session, wid, backdrop)
            size = session.geometry(wid)[2:]
        finally:
            session.restart_window_manager()
        self.wait_until(lambda: session.manages(wid), message="KWin did not take the window on")
        frame = self.check_frame(wid)
        self.assertIsNone(session.frame_extents(wid), "KWin set extents: this is not the case under test")
        self.assertEqual(session.geometry(wid)[2:], (size[0] + frame.left + frame.right,
                                                     size[1] + frame.top + frame.bottom),
                         "the window did not grow by its own frame")
        self.wait_until(lambda: not self.inside_wrong(self.inside(wid), backdrop),
                        message=lambda: f"inside: {self.inside_wrong(self.inside(wid), backdrop)[:5]}")
        self.check_own_frame(program, backdrop, frame)


class UnderIcewm(WindowManagerChecks, windowmanagers.WindowManagerTestCase):
    window_manager = windowmanagers.ICEWM


if __name__ == "__main__":
    unittest.main()
