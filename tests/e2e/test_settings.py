"""The settings file on a real display: what a first start writes, a file that places and sets up the
window, closing while minimized, a folder that refuses the file, and line-feed-only files."""

import os
import shutil
import subprocess
import unittest

import zxe2e
from zxe2e import crosshair

TWIPS = 15  # per pixel at the session's 96 dpi
DESIGN_INSIDE = crosshair.design_inside()


def written(top, left, width, height, quality=100, pixels=4, interval=1000, shape=1, capture=0, sound=1):
    """The bytes the program writes for these values: fixed order, "=" in column 17, CR LF after every line."""
    return ("[ZENTROLUX]\r\n"
            f"   Top          = {top}\r\n"
            f"   Left         = {left}\r\n"
            f"   Width        = {width}\r\n"
            f"   Height       = {height}\r\n"
            f"   Quality      = {quality}\r\n"
            f"   Pixels       = {pixels}\r\n"
            f"   Interval     = {interval}\r\n"
            f"   CrossHair    = {shape}\r\n"
            f"   Capture      = {capture}\r\n"
            f"   Sound        = {sound}\r\n").encode()


class SettingsFileTest(zxe2e.E2ETestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.backdrop = zxe2e.Backdrop(cls.session).start()

    def start(self, files=None, folder=None):
        program = crosshair.start_ready(self, self.backdrop, folder, files)
        return program, program.wid

    def settings_bytes(self, program):
        with open(program.path("Zentrolux.ini"), "rb") as f:
            return f.read()

    def gap(self, wid):
        """The crosshair gap the bands show: half the distance between the two bands of each pair."""
        _, columns, rows = crosshair.wait_bands(self.session, wid)
        return ((columns[1][0] - columns[0][0]) / 2, (rows[1][0] - rows[0][0]) / 2)

    # -----------------------------------------------------------------------------------------------

    def test_first_start_writes_defaults_and_design_bounds(self):
        program, wid = self.start()
        self.assertFalse(os.path.exists(program.path("Zentrolux.ini")), "written before the end")
        f = self.session.frame_extents(wid)
        self.assertEqual(program.close(), 0)

        outer = zxe2e.Rect(DESIGN_INSIDE.x - f.left, DESIGN_INSIDE.y - f.top, DESIGN_INSIDE.width + f.left + f.right,
                           DESIGN_INSIDE.height + f.top + f.bottom)
        self.assertEqual(self.settings_bytes(program),
                         written(outer.y * TWIPS, outer.x * TWIPS, outer.width * TWIPS, outer.height * TWIPS))

    def test_bounds_off_every_screen_open_at_the_design_place(self):
        program, wid = self.start(files={"Zentrolux.ini": "[ZENTROLUX]\r\nLeft = 99999999\r\nTop = 1500\r\n"
                                                           "Width = 6000\r\nHeight = 4500\r\n"})
        f = self.session.frame_extents(wid)
        self.wait_outer(wid, zxe2e.Rect(DESIGN_INSIDE.x - f.left, DESIGN_INSIDE.y - f.top, 400, 300), "off-screen file")

    def test_termination_signal_closes_like_the_close_box(self):
        # A session ending or "kill" asks with SIGTERM: the settings must not be lost.
        program, wid = self.start(files={"Zentrolux.ini": "[ZENTROLUX]\r\nPixels = 9\r\n"})
        program.proc.terminate()
        self.assertEqual(program.wait_exit(), 0)
        self.assertIn(b"   Pixels       = 9\r\n", self.settings_bytes(program))
        self.assertEqual(len(self.settings_bytes(program).split(b"\r\n")), 12)

    def test_termination_signal_during_the_splash_is_carried_out_after_it(self):
        folder = self.make_program_copy(files={"Zentrolux.ini": "[ZENTROLUX]\r\nPixels = 7\r\n"})
        program = self.start_program(folder)
        program.wait_window()
        program.proc.terminate()  # well inside the three seconds of the splash
        self.assertEqual(program.wait_exit(), 0)
        self.assertIn(b"   Pixels       = 7\r\n", self.settings_bytes(program))

    def test_file_is_obeyed_and_rewritten_and_a_minimized_close_keeps_its_bounds(self):
        crafted = ("; written by hand\r\n"
                   "[Other]\r\n"
                   "Top = 99\r\n"
                   "\r\n"
                   "[zentrolux]\r\n"
                   "left=4500\r\n"
                   "Top = 1500\r\n"
                   "WIDTH\t=\t6000\r\n"
                   "Height = 4500 twips\r\n"
                   "Pixels = 10\r\n"
                   "CrossHair = 0\r\n"
                   "Capture = 1\r\n"
                   "Quality = 75\r\n"
                   "Interval = 2500\r\n"
                   "Sound = 0\r\n"
                   "; the end\r\n")
        program, wid = self.start({"Zentrolux.ini": crafted})
        placed = zxe2e.Rect(300, 100, 400, 300)
        self.wait_outer(wid, placed, "bounds from the file")
        inside = self.session.geometry(wid)
        self.assertEqual(crosshair.red_in_inside(self.session.screenshot(), inside), 0,
                         "CrossHair = 0 still shows lines")

        # The lines come back at the stored gap once the menu shows them.
        crosshair.choose(self.session, program, crosshair.MENU_CROSSHAIR, crosshair.CROSSHAIR_CROSS)
        self.assertEqual(self.gap(wid), (10, 10))

        # Moved and resized, then minimized: the close keeps the bounds held since start-up.
        self.session.key(["ctrl+Right", "alt+Down"], wid)
        self.wait_outer(wid, placed._replace(x=placed.x + 1, height=placed.height + 1), "ctrl+Right, alt+Down")
        self.session.minimize(wid)
        self.wait_until(lambda: "_NET_WM_STATE_HIDDEN" in self.session.net_wm_state(wid),
                        message="not minimized")
        self.assertEqual(program.close(), 0)
        self.assertEqual(self.settings_bytes(program),
                         written(1500, 4500, 6000, 4500, quality=75, pixels=10, interval=2500, shape=1,
                                 capture=1, sound=0))

    def test_read_only_folder_keeps_the_old_file(self):
        old = b"[ZENTROLUX]\r\nTop=1500\r\nLeft=4500\r\nWidth=6000\r\nHeight=4500\r\nPixels=6\r\n"
        folder = self.make_program_copy(files={"Zentrolux.ini": old})
        self.make_read_only(folder)
        before = sorted(os.listdir(folder))

        program, wid = self.start(folder=folder)
        self.wait_outer(wid, zxe2e.Rect(300, 100, 400, 300), "bounds from the file")
        self.session.key("ctrl+Right", wid)
        self.wait_outer(wid, zxe2e.Rect(301, 100, 400, 300), "ctrl+Right")
        self.assertEqual(program.close(), 0)
        self.assertEqual(self.settings_bytes(program), old)
        self.assertEqual(sorted(os.listdir(folder)), before, "files left behind")

    def make_read_only(self, folder):
        """Makes folder refuse new entries and renames, also to root (where mode bits do not count)."""
        if os.geteuid() == 0:
            if not shutil.which("chattr"):
                self.skipTest("chattr is needed to make a folder read-only for root")
            result = subprocess.run(["chattr", "+i", folder], capture_output=True, text=True)
            if result.returncode != 0:
                self.skipTest(f"chattr +i failed: {result.stderr.strip()}")
            self.addCleanup(subprocess.run, ["chattr", "-i", folder], check=True)
        else:
            os.chmod(folder, 0o555)
            self.addCleanup(os.chmod, folder, 0o755)
        probe = os.path.join(folder, "probe")
        try:
            open(probe, "x").close()
        except OSError:
            return
        os.remove(probe)
        self.skipTest("the folder still takes new files")

    def test_line_feed_file_without_final_break_is_read(self):
        program, wid = self.start({"Zentrolux.ini": "[zentrolux]\nTop = 1500\nLeft=4500\nWidth=6000\nHeight=4500\n"
                                                    "Capture=1\nPixels=7"})
        self.wait_outer(wid, zxe2e.Rect(300, 100, 400, 300), "bounds from the file")
        self.assertEqual(self.gap(wid), (7, 7))
        self.assertEqual(program.close(), 0)
        self.assertEqual(self.settings_bytes(program), written(1500, 4500, 6000, 4500, pixels=7, capture=1))


if __name__ == "__main__":
    unittest.main()
