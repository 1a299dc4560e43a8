"""For the telescope on headless Wayland desktops: the star offset watches the screen through the desktop's
screen cast where it shares one, and says so plainly where it cannot; the line colour and the night colours
show as on X11."""

import os
import unittest

from zxe2e import Rect, crosshair, wayland

DARK = (10, 10, 10)  # the sky: a native window of this colour under everything
STAR = (255, 255, 255)
NIGHT_GREEN_BLUE = DARK[1] + 2


def share_blue(c):
    """GNOME's accent, (53, 132, 228), or lighter when hovered or focused: the dialog's Share button."""
    return c[0] < 100 and 120 <= c[1] <= 160 and c[2] > 200


SHARE_DISABLED = (151, 191, 239)  # GNOME 48's Share button until a screen is chosen


class TelescopeCase(wayland.WaylandTestCase):

    def keep(self, picture, name):
        root = os.environ.get("ZX_E2E_ARTIFACTS")
        if root:
            os.makedirs(os.path.join(root, "wayland-telescope"), exist_ok=True)
            picture.save(os.path.join(root, "wayland-telescope", f"{type(self).__name__}-{name}"))

    def start_over_sky(self, settings):
        self.start_color_window(DARK)
        program = self.start_program(self.make_program_copy(files={f"{self.program_name}.ini": settings}))
        wid = program.wait_window()
        inside, columns, rows = crosshair.wait_bands(self.session, wid)
        return program, wid, inside, columns, rows

    def around(self, inside):
        return Rect(inside.x - 20, inside.y - 40, inside.width + 40, inside.height + 60)


class GnomeStarOffsetTest(TelescopeCase):
    """GNOME shares the screen once the user says which: the read-out follows a star from then on."""

    session_class = wayland.GnomeSession
    session_options = {"stored_permission": True}

    def share_button(self):
        """Where the enabled Share button is: the topmost blue of the screen, in the dialog's header (GNOME 48
        draws a chosen screen's tile with a blue border further down)."""
        shot = self.session.screenshot()
        blue = shot.bounding_box(share_blue)
        if not blue:
            return None
        header = shot.crop(Rect(0, blue.y, shot.width, min(20, shot.height - blue.y))).bounding_box(share_blue)
        return Rect(header.x, blue.y + header.y, header.width, header.height) if header.width > 20 else None

    def asked(self):
        """Whether GNOME's dialog asks which screen to share, its Share button enabled or not."""
        return self.share_button() or self.session.screenshot().bounding_box(lambda c: c == SHARE_DISABLED)

    def test_star_offset_through_the_screen_cast(self):
        session = self.session
        program, wid, inside, columns, rows = self.start_over_sky("[TELESCOPE]\r\nStarOffset = 1\r\n")
        centre_x = inside.x + sum(sum(run) / len(run) for run in columns) / len(columns)
        centre_y = inside.y + sum(sum(run) / len(run) for run in rows) / len(rows)

        # The desktop asks which screen to share; the caption keeps the name meanwhile.
        self.wait_until(self.asked, message="GNOME did not ask which screen to share")
        self.keep(session.screenshot(), "asked.png")
        self.assertEqual(session.window_name(wid), program.name)

        # Refused (Escape): the read-out turns off and says why; turned on again, the desktop asks again.
        session.key_native(0xFF1B)  # Escape
        message = self.wait_until(lambda: crosshair.dialogs(session, program), message="no message after Escape")
        session.key("Return", message[0])
        self.wait_until(lambda: not crosshair.dialogs(session, program), message="the message stayed")
        self.assertEqual(session.window_name(wid), program.name)
        crosshair.choose(session, program, crosshair.MENU_TELESCOPE, crosshair.TELESCOPE_STAR_OFFSET)
        # The menu's chosen item is in GNOME's blue too: gone first.
        self.wait_until(lambda: not crosshair.other_windows(session, program), message="the menu stayed open")
        self.wait_until(self.asked, message="GNOME did not ask again")
        disabled = session.screenshot().bounding_box(lambda c: c == SHARE_DISABLED)
        if disabled:
            # GNOME 48 has chosen no screen yet: the screen's tile lies in the middle of the dialog, which
            # is centred on the window that asks; once chosen, its border is blue too.
            session.click(*inside.center)
            edge = (disabled.x + 3, disabled.center[1])
            self.wait_until(lambda: share_blue(session.screenshot().pixel(*edge)), message="Share stayed disabled")
            session.click(*edge)
        else:
            session.click(*self.share_button().center)
        self.wait_until(lambda: session.window_name(wid) == f"{program.name}  no star",
                        message=lambda: f"no reading after sharing: caption {session.window_name(wid)!r}")

        # A star of 3 x 3 pixels between the bands, then away from the centre: each read to the pixel.
        places = [(inside.x + columns[0][-1] + 4, inside.y + rows[1][0] - 4),
                  (int(centre_x) + 60, int(centre_y) - 40)]
        star = None
        for x, y in places:
            if star:
                star.stop()
            star = self.start_backdrop(geometry=(x - 1, y - 1, 3, 3), pattern=STAR, title="star", frameless=True,
                                       managed=False)
            self.wait_until(lambda: session.screenshot().pixel(x, y) == STAR, message="the star did not show")
            want = f"{program.name}  {x - centre_x:+.1f} {y - centre_y:+.1f} px"
            self.wait_until(lambda: session.window_name(wid).startswith(want),
                            message=lambda: f"want {want!r}, caption {session.window_name(wid)!r}")
        self.keep(session.screenshot().crop(self.around(inside)), "star-offset.png")
        with open(os.path.join(program.folder, "Images", "Offsets.csv"), newline="") as f:
            last = f.read().split("\r\n")[-2].split(",")
        self.assertEqual((float(last[1]), float(last[2])), (float(places[-1][0]), float(places[-1][1])))

        # Turned off, the cast ends: the name comes back and no reading is added.
        crosshair.choose(session, program, crosshair.MENU_TELESCOPE, crosshair.TELESCOPE_STAR_OFFSET)
        self.wait_until(lambda: session.window_name(wid) == program.name,
                        message=lambda: f"caption {session.window_name(wid)!r} after turning it off")
        self.assertEqual(program.close(), 0)


class SwayTelescopeTest(TelescopeCase):
    """sway without a GPU shares no screen (its portal casts only GPU buffers): the star offset says so
    once and turns itself off; the night colours and the line colour show as on X11."""

    session_class = wayland.SwaySession

    def bright(self, shot, areas, pointer):
        """Pixels of the areas with green or blue in them, but where the pointer may be."""
        return [(x, y, shot.pixel(x, y)) for area in areas for y in range(area.y, area.bottom, 2)
                for x in range(area.x, area.right, 2)
                if max(shot.pixel(x, y)[1:]) > NIGHT_GREEN_BLUE and not pointer.contains(x, y)]

    def test_night_colours_and_a_star_offset_that_cannot_run(self):
        session = self.session
        program, wid, inside, columns, rows = self.start_over_sky("")
        line = (inside.x + columns[0][0], inside.y + 5)

        def lines_turn(colour, what):
            self.wait_until(lambda: session.screenshot().pixel(*line) == colour,
                            message=lambda: f"the lines did not turn {what}: {session.screenshot().pixel(*line)}")

        crosshair.choose(session, program, crosshair.MENU_TELESCOPE, crosshair.TELESCOPE_CYAN)
        lines_turn((0, 255, 255), "cyan")
        crosshair.choose(session, program, crosshair.MENU_TELESCOPE, crosshair.TELESCOPE_NIGHT)
        lines_turn((150, 0, 0), "dim red at night")
        shot = session.screenshot()
        self.keep(shot.crop(self.around(inside)), "night.png")
        # The compositor's pictures show the pointer, left on the camera button by the menu.
        pointer = crosshair.button_square(inside).grown(24)
        self.assertEqual(self.bright(shot, [session.outer_geometry(wid)], pointer)[:5], [])

        # The star offset cannot watch this screen: one plain message, in night colours, and it is off.
        crosshair.choose(session, program, crosshair.MENU_TELESCOPE, crosshair.TELESCOPE_STAR_OFFSET)
        box = self.wait_until(lambda: crosshair.dialogs(session, program), message="no message")
        self.assertEqual(len(box), 1)
        area = session.outer_geometry(box[0])
        self.wait_until(lambda: crosshair.shows_content(session.screenshot(), area, lambda x, y: DARK, 2),
                        interval=0.2, message="the message is not drawn")
        shot = session.screenshot()
        self.keep(shot, "star-offset-message.png")
        self.assertEqual(self.bright(shot, [area], pointer)[:5], [], "the message in night colours")
        session.key("Return", box[0])
        self.wait_until(lambda: not crosshair.dialogs(session, program), message="the message stayed")
        self.assertEqual(session.window_name(wid), program.name)
        self.assertFalse(os.path.exists(os.path.join(program.folder, "Images", "Offsets.csv")))

        self.assertEqual(program.close(), 0)
        with open(os.path.join(program.folder, f"{self.program_name}.ini"), newline="") as f:
            settings = dict((k.strip(), v.strip()) for k, v in
                            (line.split("=", 1) for line in f.read().split("\r\n") if "=" in line))
        self.assertEqual((settings.get("Night"), settings.get("LineColour"), settings.get("StarOffset")),
                         ("1", "cyan", "0"))


class LabwcTelescopeTest(SwayTelescopeTest):
    """labwc (Raspberry Pi OS's desktop) casts through the same portal as sway: the same without a GPU."""

    session_class = wayland.LabwcSession


if __name__ == "__main__":
    unittest.main()
