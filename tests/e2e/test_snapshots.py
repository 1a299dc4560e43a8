"""Snapshots end to end: the picture written, the capture sequence, failures, and clearing the folder."""

import glob
import os
import re
import time
import unittest

import zxe2e
from zxe2e import Rect, color_close, crosshair
from zxe2e.crosshair import JPEG_TOLERANCE
from zxe2e.waiting import happens_within


class SnapshotTestCase(zxe2e.E2ETestCase):
    """The program copy of each test runs over the full-screen gradient."""

    def start_ready(self, folder, env=None):
        """Starts the program over a gradient backdrop and waits until the splash has gone.

        Returns the program, the backdrop and the inside of the window.
        """
        backdrop = self.start_backdrop()
        program = crosshair.start_ready(self, backdrop, folder, env=env)
        return program, backdrop, self.session.geometry(program.wid)

    def click_button(self, inside):
        self.session.click(*crosshair.button_square(inside).center)

    def caption(self, program):
        return self.session.window_name(program.wid)

    def wait_no_dialog(self, program):
        self.wait_until(lambda: not crosshair.other_windows(self.session, program),
                        message="a dialog or menu stayed open")

    def copied_text(self, wid):
        """Copies the selection of the focused text field of a dialog and reads it back."""
        self.session.clear_clipboard()
        self.session.key("ctrl+c", wid)
        return self.session.clipboard_text()

    def wait_message_box(self, program, icon, not_this=None):
        """Waits for a message box titled with the program name and checks its icon by colour: Qt draws the
        exclamation mark on yellow and the question mark in bright blue (Qt 6.4 pure blue, Qt 6.8 a disc of
        70, 162, 218), unlike the darker blue frame of the focused button (38, 112, 158). Its text cannot be
        read here: on X11, Ctrl+C in a message box copies nothing."""
        box = crosshair.wait_dialog(self.session, program, not_this)
        area = self.session.geometry(box)
        icons = {"warning": lambda c: c[0] > 200 and c[1] > 200 and c[2] < 80,
                 "question": lambda c: c[2] > 200 and c[2] - c[0] > 100}

        def painted():  # the box is drawn a moment after it is mapped, all of it at once
            picture = self.session.screenshot().crop(area)
            return picture if picture.count(lambda c: max(c) < 60) > 20 else None

        picture = self.wait_until(painted, message="the message box shows no text")
        found = [name for name, test in icons.items() if picture.count(test) > 30]
        self.assertEqual(found, [icon] if icon else [], "the message box's icon")
        return box

    def assert_stays(self, condition, seconds, message):
        """Nothing happens: condition holds whenever it is looked at for the given time."""
        self.assertFalse(happens_within(lambda: not condition(), seconds), message)

    def temp_bitmaps(self, program):
        """The program's snapshot bitmaps still there, wherever it may put them: its runtime folder, or a folder
        of its own in the temporary folder or in /dev/shm when the runtime folder does not live in memory."""
        uid = os.getuid()
        folders = [os.path.join(self.session.env["XDG_RUNTIME_DIR"], "zentrolux"),
                   os.path.join(self.session.env.get("TMPDIR", "/tmp"), f"zentrolux-{uid}"), f"/dev/shm/zentrolux-{uid}"]
        name = f"snapshot-{program.process.pid}.bmp"
        return [path for folder in folders for path in glob.glob(os.path.join(folder, name))]

    def assert_picture_shows(self, picture, origin, inside, bands, backdrop):
        """Every pixel of the picture that lies in the window's inside shows the backdrop, or the crosshair
        red on its bands (columns, rows of the inside); origin is the screen position of the picture's
        top-left pixel."""
        columns, rows = bands
        wrong = crosshair.inside_mismatches(picture, inside, columns, rows, backdrop.expected_color, origin,
                                            JPEG_TOLERANCE)
        self.assertEqual(wrong[:10], [], f"{len(wrong)} pixels of the inside differ (inside x, y, got, want)")

    @staticmethod
    def opaque_share(shot, rect, backdrop):
        """The share of the rectangle's screen pixels that do not show the backdrop."""
        covered = sum(shot.pixel(x, y) != backdrop.expected_color(x, y)
                      for y in range(rect.y, rect.bottom) for x in range(rect.x, rect.right))
        return covered / (rect.width * rect.height)


class PictureTest(SnapshotTestCase):
    def test_form_area_then_client_area(self):
        # In a zone other than this machine's (UTC on test machines), so that the offset shows.
        program, backdrop, inside = self.start_ready(self.make_program_copy(),
                                                     env={"TZ": crosshair.ZONE_WITH_SUMMER_TIME})
        frame = self.session.frame_extents(program.wid)
        outer = self.session.outer_geometry(program.wid)
        shot = self.session.screenshot()
        # The design's inside (475 x 314) with the gap 4: two 2-pixel bands each way around the middle.
        bands = crosshair.bands(shot, inside)
        self.assertEqual(bands, (crosshair.DESIGN_BAND_COLUMNS, crosshair.DESIGN_BAND_ROWS))
        square = crosshair.button_square(inside)
        self.assertGreater(self.opaque_share(shot, square, backdrop), 0.9, "no camera button shown")

        clicked = time.time()
        self.click_button(inside)
        picture = program.wait_picture("CAP0001.jpg")
        crosshair.assert_stamped(self, program.path("Images", "CAP0001.jpg"), clicked, time.time(),
                                 crosshair.ZONE_WITH_SUMMER_TIME)
        self.assertEqual((picture.width, picture.height), (outer.width, outer.height), "Form Area: the outer size")
        self.assert_picture_shows(picture, (outer.x, outer.y), inside, bands, backdrop)
        # The title bar belongs to the frame: hardly a pixel of it is the gradient.
        title = [(x, y) for y in range(frame.top) for x in range(frame.left, outer.width - frame.right)]
        gradient_like = sum(color_close(picture.pixel(x, y), backdrop.expected_color(outer.x + x, outer.y + y),
                                        JPEG_TOLERANCE) for x, y in title)
        self.assertLess(gradient_like, len(title) // 20, "the title bar is missing from the picture")
        self.wait_until(lambda: self.caption(program) == program.name, message="caption not set back")

        crosshair.choose(self.session, program, crosshair.MENU_CAPTURE, crosshair.CAPTURE_CLIENT_AREA)
        self.wait_no_dialog(program)
        self.click_button(inside)
        picture = program.wait_picture("CAP0002.jpg")
        self.assertEqual((picture.width, picture.height), (inside.width, inside.height), "Client Area: inside size")
        self.assert_picture_shows(picture, (inside.x, inside.y), inside, bands, backdrop)
        self.assertEqual(program.images(), ["CAP0001.jpg", "CAP0002.jpg"])
        self.assertEqual(program.close(), 0)


class SequenceTest(SnapshotTestCase):
    def test_interval_prompt_sequence_and_esc(self):
        program, backdrop, inside = self.start_ready(self.make_program_copy())

        # An answer out of range: the message, and nothing starts.
        crosshair.choose(self.session, program, crosshair.MENU_SEQUENCE, crosshair.SEQUENCE_START)
        prompt = crosshair.wait_dialog(self.session, program)
        self.session.key("ctrl+a", prompt)
        self.assertEqual(self.copied_text(prompt), "1000", "the prompt offers the stored interval")
        self.session.type_text("0", prompt)
        self.session.key("Return", prompt)
        box = self.wait_message_box(program, "warning", not_this=prompt)
        self.session.key("Return", box)
        self.wait_no_dialog(program)

        # The interval stays as it was. Meanwhile no sequence has run: a timer started by the bad answer
        # would have ticked while the prompt was open.
        crosshair.choose(self.session, program, crosshair.MENU_SEQUENCE, crosshair.SEQUENCE_START)
        prompt = crosshair.wait_dialog(self.session, program)
        self.session.key("ctrl+a", prompt)
        self.assertEqual(self.copied_text(prompt), "1000")
        self.assertEqual(program.images(), [])
        self.assertEqual(self.caption(program), program.name)
        self.session.type_text("200", prompt)
        self.session.key("Return", prompt)
        self.wait_no_dialog(program)

        running = re.compile(re.escape(program.name) + r" - (CAP\d{4}\.jpg)$")
        match = self.wait_until(lambda: running.match(self.caption(program) or ""),
                                message="the caption does not name a sequence file")
        self.assertTrue(os.path.isfile(program.path("Images", match.group(1))), match.group(0))
        self.wait_until(lambda: len(program.images()) >= 3, message="fewer than 3 sequence snapshots")
        # The files' own times, not how soon a busy machine lets us see them: at 200 ms the first three
        # are written about 0.4 s apart, at the old 1000 ms 2 s.
        times = [os.stat(program.path("Images", name)).st_mtime for name in program.images()[:3]]
        self.assertLess(times[2] - times[0], 1.5, f"three sequence snapshots written over {times[2] - times[0]:.2f} s")

        self.stop_with_esc(program, 1.0)  # five intervals

        # At the lower bound the snapshots follow each other without a pause, so Esc now and then comes
        # while one is under way: it must stop the sequence and leave the program name all the same.
        for attempt in range(6):
            crosshair.choose(self.session, program, crosshair.MENU_SEQUENCE, crosshair.SEQUENCE_START)
            prompt = crosshair.wait_dialog(self.session, program)
            self.session.key("ctrl+a", prompt)
            if attempt == 0:
                self.assertEqual(self.copied_text(prompt), "200", "the last interval is offered again")
            self.session.type_text("1", prompt)
            self.session.key("Return", prompt)
            self.wait_no_dialog(program)
            count = len(program.images())
            self.wait_until(lambda: len(program.images()) >= count + 2, message="the 1 ms sequence did not run")
            self.stop_with_esc(program, 0.3)

        taken = program.images()
        self.assertEqual(taken, [f"CAP{n:04d}.jpg" for n in range(1, len(taken) + 1)], "numbers without gaps")
        self.assertEqual(program.close(), 0)
        with open(program.path(program.name + ".ini")) as settings:
            self.assertRegex(settings.read(), r"(?m)^\s*Interval\s*=\s*1\s*$", "the interval is kept")

    def stop_with_esc(self, program, watch_seconds):
        """Esc stops the sequence: the caption shows the program name and keeps it, and no snapshot follows
        but the one that may be under way."""
        self.session.key("Escape", program.wid)
        self.wait_until(lambda: self.caption(program) == program.name, message="Esc did not reset the caption")
        limit = len(program.images()) + 1
        self.assert_stays(lambda: len(program.images()) <= limit and self.caption(program) == program.name,
                          watch_seconds, "a snapshot or a file caption after Esc")


class FailureTest(SnapshotTestCase):
    def snapshot_fails_and_recovers(self, program, backdrop, inside):
        """A click gives the failure message; then the window is whole again and nothing is left over."""
        self.click_button(inside)
        box = self.wait_message_box(program, icon=None)
        self.assertEqual(self.temp_bitmaps(program), [], "the bitmap outlived the writer")
        # Until the box is answered the snapshot is not over: no button, the moment in the caption.
        square = crosshair.button_square(inside)
        self.assertLess(self.opaque_share(self.session.screenshot(), square, backdrop), 0.1, "button during the box")
        self.assertRegex(self.caption(program), re.escape(program.name) + r" - \d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
        self.session.key("Return", box)
        self.wait_no_dialog(program)
        self.wait_until(lambda: self.opaque_share(self.session.screenshot(), square, backdrop) > 0.9,
                        message="the camera button did not come back")
        self.assertEqual(self.caption(program), program.name)
        self.assertEqual(self.temp_bitmaps(program), [])
        self.assertTrue(program.process.alive())

    def test_missing_images_folder(self):
        folder = self.make_program_copy()
        os.rmdir(os.path.join(folder, "Images"))
        program, backdrop, inside = self.start_ready(folder)
        self.snapshot_fails_and_recovers(program, backdrop, inside)
        self.assertFalse(os.path.exists(program.path("Images")), "the folder is not the program's to create")

        # Once the folder is there, the same number is tried again.
        os.mkdir(program.path("Images"))
        self.click_button(inside)
        self.wait_until(lambda: program.images() == ["CAP0001.jpg"], message="no snapshot after the failure")
        self.assertEqual(self.temp_bitmaps(program), [])

    def test_missing_jpeg_writer(self):
        folder = self.make_program_copy()
        os.remove(os.path.join(folder, self.library_name))
        # Nothing may lead the loader to the build's copy.
        program, backdrop, inside = self.start_ready(folder, env={"LD_LIBRARY_PATH": ""})
        self.snapshot_fails_and_recovers(program, backdrop, inside)
        self.snapshot_fails_and_recovers(program, backdrop, inside)
        self.assertEqual(sorted(os.listdir(folder)), ["Images", program.name])
        self.assertEqual(program.images(), [])
        self.assertEqual(program.close(), 0)

    def start_failing_sequence(self, program, milliseconds=50):
        """Starts a sequence whose every snapshot fails; returns the first failure's message box."""
        crosshair.choose(self.session, program, crosshair.MENU_SEQUENCE, crosshair.SEQUENCE_START)
        prompt = crosshair.wait_dialog(self.session, program)
        self.session.key("ctrl+a", prompt)
        self.session.type_text(str(milliseconds), prompt)
        self.session.key("Return", prompt)
        return self.wait_message_box(program, icon=None, not_this=prompt)

    def test_a_sequence_that_keeps_failing_can_be_stopped_and_closed(self):
        folder = self.make_program_copy()
        os.rmdir(os.path.join(folder, "Images"))
        program, backdrop, inside = self.start_ready(folder)

        # OK keeps the sequence going: the next tick fails again.
        box = self.start_failing_sequence(program)
        self.session.key("Return", box)
        box = self.wait_message_box(program, icon=None, not_this=box)
        # Esc on the message stops the sequence as Esc on the window does: no further message.
        self.session.key("Escape", box)
        self.wait_no_dialog(program)
        self.assert_stays(lambda: not crosshair.other_windows(self.session, program), 1.0, "a new message after Esc")
        self.assertEqual(self.caption(program), program.name)

        # The close box of the window is honoured while such a message is open.
        self.start_failing_sequence(program)
        self.assertEqual(program.close(), 0)
        with open(program.path(program.name + ".ini")) as settings:
            self.assertRegex(settings.read(), r"(?m)^\s*Interval\s*=\s*50\s*$", "settings written at the close")

        # So is a termination signal.
        os.remove(program.path(program.name + ".ini"))
        program, backdrop, inside = self.start_ready(folder)
        self.start_failing_sequence(program, 70)
        program.proc.terminate()
        self.assertEqual(program.wait_exit(), 0)
        with open(program.path(program.name + ".ini")) as settings:
            self.assertRegex(settings.read(), r"(?m)^\s*Interval\s*=\s*70\s*$")

    def test_hand_edited_settings_still_give_snapshots(self):
        # A quality no JPEG has, and a size far beyond the screen's.
        folder = self.make_program_copy(files={"Zentrolux.ini": "[ZENTROLUX]\r\nQuality = 500\r\n"
                                                                "Width = 300000\r\nHeight = 1e308\r\n"})
        program, backdrop, inside = self.start_ready(folder)
        outer = self.session.outer_geometry(program.wid)
        screen = Rect(0, 0, self.session.width, self.session.height)
        self.assertTrue(screen.contains(outer.x, outer.y) and outer.right <= screen.right and
                        outer.bottom <= screen.bottom, f"{outer} does not lie on the screen")
        self.assertTrue(screen.contains(*crosshair.button_square(inside).center), "the camera button is off the screen")

        started = time.monotonic()
        self.session.key("space", program.wid)
        # Before, such a window took 15 to 25 s and gigabytes for one snapshot.
        self.wait_until(lambda: program.images() == ["CAP0001.jpg"], message="no snapshot")
        self.assertLess(time.monotonic() - started, 5)
        picture = program.wait_picture("CAP0001.jpg")
        self.assertEqual((picture.width, picture.height), (outer.width, outer.height))
        self.assertEqual(program.close(), 0)
        with open(program.path(program.name + ".ini")) as settings:
            self.assertRegex(settings.read(), r"(?m)^\s*Quality\s*=\s*500\s*$", "the stored quality is kept")


class ClearImagesTest(SnapshotTestCase):
    def test_question_no_yes_and_empty_folder(self):
        jpeg = bytes.fromhex("ffd8ffd9")
        folder = self.make_program_copy(files={"Images/CAP0001.jpg": jpeg, "Images/CAP0002.jpg": jpeg,
                                               "Images/photo.jpg": jpeg, "Images/notes.txt": "seeing 3/10"})
        # An empty folder is no image: were it listed, the delete would take it too.
        os.mkdir(os.path.join(folder, "Images", "album.jpg"))
        program, backdrop, inside = self.start_ready(folder)
        everything = program.images()

        crosshair.choose(self.session, program, crosshair.MENU_IMAGES, crosshair.IMAGES_CLEAR)
        box = self.wait_message_box(program, "question")
        self.session.key("n", box)
        self.wait_no_dialog(program)
        self.assertEqual(program.images(), everything, "No deleted files")

        crosshair.choose(self.session, program, crosshair.MENU_IMAGES, crosshair.IMAGES_CLEAR)
        box = self.wait_message_box(program, "question")
        self.session.key("Return", box)  # Yes is the default button
        self.wait_no_dialog(program)
        self.assertEqual(program.images(), ["album.jpg", "notes.txt"])

        crosshair.choose(self.session, program, crosshair.MENU_IMAGES, crosshair.IMAGES_CLEAR)
        box = self.wait_message_box(program, "warning")
        self.session.key("Return", box)
        self.wait_no_dialog(program)
        self.assertEqual(program.images(), ["album.jpg", "notes.txt"])
        self.assertTrue(program.process.alive())


if __name__ == "__main__":
    unittest.main()
