"""Zentrolux for Windows, the real program under Wine on a private Xvfb display with openbox.

What Wine shows is the program's behaviour and its use of the Win32 API: the region with its holes,
the topmost band, the GDI grab, the keys, the files. The look of a real Windows desktop is not tested.

Needs ZX_WINDOWS_BIN_DIR (the Windows build's bin folder: Zentrolux.exe, Zentrolux.dll), WINEPREFIX (a
prefix made with wineboot, its user folders not linked to the host's home) and ZX_BACKDROP; skips without.
"""

import os
import shutil
import time
import unittest

import zxe2e
from zxe2e import crosshair as zx
from zxe2e.waiting import happens_within
from zxe2e.wine import PROGRAM, TITLE, WineTestCase, drive_c, user_folder

SETTINGS = "Zentrolux.ini"


class WineCase(WineTestCase):
    def start_ready(self, below, folder=None, files=None):
        """Starts a copy (a first start, unless folder holds settings) and waits for its see-through inside."""
        program = self.start_program(folder or self.make_program_copy(files=files))
        program.wait_window()
        zx.wait_see_through(self.session, program.wid, below)
        if program.frame is None:
            program.measure_frame()
        return program

    def bands(self, program):
        return zx.wait_bands(self.session, program.wid, inside_of=lambda wid: program.inside())

    def snapshot(self, program, name):
        self.session.click(*zx.button_square(program.inside()).center)
        return program.wait_picture(name)

    def answer_prompt(self, program, text):
        prompt = zx.wait_dialog(self.session, program)
        self.session.key("ctrl+a", prompt)
        self.session.type_text(text, prompt)
        self.session.key("Return", prompt)


class WindowTest(WineCase):
    def test_see_through_click_through_on_top_and_keys(self):
        backdrop = self.start_backdrop()
        program = self.start_ready(backdrop)
        session, wid = self.session, program.wid
        inside, columns, rows = self.bands(program)
        self.assertEqual(zx.inside_mismatches(session.screenshot(), inside, columns, rows, backdrop.expected_color,
                                              skip=lambda x, y: zx.button_square(zxe2e.Rect(0, 0, inside.width,
                                                                                            inside.height)).contains(x, y)),
                         [], "the inside shows anything but the bands and what lies below")

        # Clicks in the holes reach the window below, at the pixel clicked.
        mark = backdrop.mark()
        points = [(inside.x + 20, inside.y + 20), (inside.x + 60, inside.bottom - 20), (inside.right - 40, inside.y + 90)]
        for x, y in points:
            session.click(x, y)
        self.wait_until(lambda: len(backdrop.clicks(mark)) == len(points), message="clicks did not reach the window below")
        self.assertEqual(backdrop.clicks(mark), [(1, x, y) for x, y in points])

        # Another window raised over ours and clicked does not cover it: the bands still show.
        cover = self.start_backdrop(geometry=(150, 120, 700, 500), pattern=(20, 200, 40), title="cover")
        session.raise_window(cover.wid)
        session.click(700, 500)
        self.wait_until(lambda: session.active_window() == cover.wid, message="the cover did not take the focus")
        self.assertIn("_NET_WM_STATE_ABOVE", session.net_wm_state(wid))
        self.assertTrue(session.is_above(wid, cover.wid))
        self.bands(program)
        self.session.forget(cover.process)

        # Five Control+Right with no delay between them move it exactly five pixels, also while the window
        # manager answers late; Alt+Down makes it one row taller.
        before = session.geometry(wid)
        session.activate(wid)
        with session.window_manager_paused():
            session.key(["ctrl+Right"] * 5, delay=0)
            time.sleep(0.3)
        self.wait_until(lambda: session.geometry(wid).x == before.x + 5, message="five quick moves did not all arrive")
        time.sleep(0.5)  # nothing may come late and undo one
        self.assertEqual(session.geometry(wid), before._replace(x=before.x + 5))
        session.key(["alt+Down", "KP_Add"], wid)
        self.wait_until(lambda: session.geometry(wid).height == before.height + 1, message="Alt+Down did not act")
        gap = lambda c: c[1][0] - c[0][-1]  # noqa: E731
        # Two pixels wider: one each side of the centre.
        self.wait_until(lambda: gap(self.bands(program)[1]) == gap(columns) + 2,
                        message="plus did not widen the gap by two pixels")

        # F1 and the About item open their windows out of the topmost band; closed, it is back on top.
        for title, open_it in ((zx.help_title(), lambda: session.key("F1", wid)),
                               (zx.about_title(), lambda: zx.choose(session, program, zx.MENU_ABOUT))):
            open_it()
            window = session.wait_window(title, pid=program.process.pid)
            self.assertNotIn("_NET_WM_STATE_ABOVE", session.net_wm_state(wid), f"on top while {title!r} is open")
            area = session.geometry(window)
            self.wait_until(lambda: len(session.screenshot().crop(area).colors()) > 2,
                            message=f"{title!r} shows nothing")
            zx.close_dialog(session, program, window, title)

        self.assertEqual(program.close(), 0)
        text = open(program.path(SETTINGS), "rb").read()
        self.assertIn(b"   Pixels       = 5\r\n", text)


class SnapshotTest(WineCase):
    def check_picture(self, picture, area, inside, columns, rows, backdrop, title_rows=0):
        """The picture equals the screen under the area, with the bands and without the camera button."""
        self.assertEqual((picture.width, picture.height), (area.width, area.height))
        wrong = zx.inside_mismatches(picture, inside, columns, rows, backdrop.expected_color, origin=(area.x, area.y),
                                     tolerance=zx.JPEG_TOLERANCE)
        self.assertEqual(wrong[:5], [], f"{len(wrong)} pixels of the inside differ from the screen")

    def test_form_and_client_area_and_a_sequence(self):
        backdrop = self.start_backdrop()
        program = self.start_ready(backdrop)
        session, wid = self.session, program.wid
        inside, columns, rows = self.bands(program)
        outer = session.geometry(wid)

        picture = self.snapshot(program, "CAP0001.jpg")
        self.check_picture(picture, outer, inside, columns, rows, backdrop)

        zx.choose(session, program, zx.MENU_CAPTURE, zx.CAPTURE_CLIENT_AREA)
        picture = self.snapshot(program, "CAP0002.jpg")
        self.check_picture(picture, inside, inside, columns, rows, backdrop)

        # A sequence every 300 ms until Esc; the caption names the last file, then the program again.
        zx.choose(session, program, zx.MENU_SEQUENCE, zx.SEQUENCE_START)
        self.answer_prompt(program, "300")
        self.wait_until(lambda: len(program.images()) >= 4, message="the sequence took no two snapshots")
        self.wait_until(lambda: session.window_name(wid).startswith(f"{TITLE} - CAP"),
                        message="the caption does not name the sequence's file")
        session.key("Escape", wid)
        self.wait_until(lambda: session.window_name(wid) == TITLE, message="Esc did not set the caption back")
        taken = program.images()
        time.sleep(1.0)
        self.assertEqual(program.images(), taken, "snapshots after Esc")
        self.assertEqual(program.close(), 0)


class FailureTest(WineCase):
    def test_problem_saving_and_a_failing_sequence_stopped_from_its_message(self):
        backdrop = self.start_backdrop()
        program = self.start_ready(backdrop)
        session, wid = self.session, program.wid
        os.rmdir(program.path("Images"))

        session.click(*zx.button_square(program.inside()).center)
        box = zx.wait_dialog(session, program)
        session.key("Return", box)
        self.wait_until(lambda: not zx.dialogs(session, program), message="the message stayed after OK")

        zx.choose(session, program, zx.MENU_SEQUENCE, zx.SEQUENCE_START)
        self.answer_prompt(program, "50")
        box = self.wait_until(lambda: zx.dialogs(session, program), message="no message from the failing sequence")[0]
        session.key("Escape", box)
        self.wait_until(lambda: not zx.dialogs(session, program), message="Esc left the message open")
        self.assertFalse(happens_within(lambda: zx.dialogs(session, program), 1.5),
                         "a message at a later tick: the sequence still runs")
        self.assertEqual(session.window_name(wid), TITLE)
        self.assertEqual(program.close(), 0)


class FilesTest(WineCase):
    def test_settings_file_clear_and_one_instance(self):
        backdrop = self.start_backdrop()
        folder = self.make_program_copy(files={"Images/CAP0001.jpg": b"x", "Images/photo.JPG": b"y"})
        program = self.start_ready(backdrop, folder=folder)
        session, wid = self.session, program.wid

        # A second start says so and ends; the first keeps running.
        second = self.start_program(folder)
        box = self.wait_until(lambda: [w for w in session.find_windows(TITLE, second.process.pid)],
                              message="the second start showed nothing")[0]
        session.key("Return", box)
        self.assertEqual(second.wait_exit(), 0)
        self.assertTrue(session.window_exists(wid))

        zx.choose(session, program, zx.MENU_IMAGES, zx.IMAGES_CLEAR)
        question = zx.wait_dialog(session, program)
        session.key("y", question)
        self.wait_until(lambda: program.images() == [], message="Clear did not delete the pictures")

        inside = program.inside()
        outer = session.geometry(wid)
        self.assertEqual(program.close(), 0)
        with open(program.path(SETTINGS), "rb") as f:
            lines = f.read().split(b"\r\n")
        self.assertEqual(lines[-1], b"")
        self.assertEqual([l.split(b"=")[0].strip() for l in lines[1:-1]],
                         [b"Top", b"Left", b"Width", b"Height", b"Quality", b"Pixels", b"Interval", b"CrossHair",
                          b"Capture", b"Sound"])
        self.assertEqual(lines[0], b"[ZENTROLUX]")
        self.assertEqual(lines[1:5], [b"   %-13s= %d" % (k, v * 15) for k, v in
                                      ((b"Top", outer.y), (b"Left", outer.x), (b"Width", outer.width),
                                       (b"Height", outer.height))])
        # The inside opened at the design place.
        self.assertEqual((inside.x, inside.y), zx.design_inside()[:2])


class InstallerTest(WineCase):
    def test_install_run_and_remove(self):
        installer = os.environ.get("ZX_WINDOWS_INSTALLER")
        if not installer:
            self.skipTest("ZX_WINDOWS_INSTALLER names the installer")
        self.run_wine(installer, "/S")
        program_files = drive_c("Program Files", "Zentrolux")
        self.wait_until(lambda: os.path.isfile(os.path.join(program_files, "Uninstall.exe")),
                        message="the installer put nothing in Program Files")
        self.assertTrue(os.path.isfile(os.path.join(program_files, PROGRAM)))
        start_menu = drive_c("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "Zentrolux.lnk")
        self.assertTrue(os.path.isfile(start_menu))

        backdrop = self.start_backdrop()
        program = self.start_ready(backdrop, folder=program_files)
        pictures = user_folder("Pictures", "Zentrolux")
        self.session.click(*zx.button_square(program.inside()).center)
        zxe2e.wait_picture(os.path.join(pictures, "CAP0001.jpg"))
        self.assertEqual(program.close(), 0)
        settings = user_folder("AppData", "Roaming", "Zentrolux", SETTINGS)
        self.assertTrue(os.path.isfile(settings))
        self.assertFalse(os.path.exists(os.path.join(program_files, SETTINGS)))

        self.run_wine(os.path.join(program_files, "Uninstall.exe"), "/S")
        self.wait_until(lambda: not os.path.exists(os.path.join(program_files, PROGRAM)),
                        message="the uninstaller left the program")
        self.assertFalse(os.path.exists(start_menu))
        # Each user's files stay.
        self.assertTrue(os.path.isfile(settings))
        self.assertTrue(os.path.isfile(os.path.join(pictures, "CAP0001.jpg")))
        shutil.rmtree(pictures)
        shutil.rmtree(os.path.dirname(settings))


if __name__ == "__main__":
    unittest.main()
