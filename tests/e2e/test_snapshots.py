"""Snapshots end to end: the picture written, the capture sequence, failures, and clearing the folder."""

import ctypes
import ctypes.util
import glob
import os
import re
import time
import unittest

import zxe2e
from zxe2e import Rect, color_close, load_image

CROSSHAIR_RED = (192, 0, 0)
CAMERA_BUTTON = 25  # pixels, in the inside's top-right corner
# Quality 100 is written without chroma subsampling; up to 4 levels of error were seen. The gradient
# changes by one level a pixel, so a picture shifted by more than this shows; the bands catch less.
JPEG_TOLERANCE = 8

# Keyboard paths through the popup menu: Down presses to the top-level item (separators are
# skipped), then Down presses inside its submenu, whose first item is selected on opening.
MENU_CAPTURE, MENU_SEQUENCE, MENU_IMAGES = 4, 6, 7
CAPTURE_CLIENT_AREA = 1
SEQUENCE_START = 0
IMAGES_CLEAR = 1  # after "Explore Images Folder"; the separator is skipped


class Clipboard:
    """Reads the X CLIPBOARD selection of a session through libX11 (no clipboard tool is installed)."""

    _SELECTION_NOTIFY = 31

    class _SelectionEvent(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("requestor", ctypes.c_ulong), ("selection", ctypes.c_ulong),
                    ("target", ctypes.c_ulong), ("property", ctypes.c_ulong), ("time", ctypes.c_ulong)]

    class _Event(ctypes.Union):
        pass

    _Event._fields_ = [("type", ctypes.c_int), ("xselection", _SelectionEvent), ("pad", ctypes.c_long * 24)]

    def __init__(self, session):
        lib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        lib.XOpenDisplay.restype = ctypes.c_void_p
        lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        lib.XDefaultRootWindow.restype = ctypes.c_ulong
        lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        lib.XCreateSimpleWindow.restype = ctypes.c_ulong
        lib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + \
            [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
        lib.XInternAtom.restype = ctypes.c_ulong
        lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        lib.XConvertSelection.argtypes = [ctypes.c_void_p] + [ctypes.c_ulong] * 5
        lib.XSetSelectionOwner.argtypes = [ctypes.c_void_p] + [ctypes.c_ulong] * 3
        lib.XGetSelectionOwner.restype = ctypes.c_ulong
        lib.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        lib.XPending.argtypes = [ctypes.c_void_p]
        lib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(Clipboard._Event)]
        lib.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long, ctypes.c_int,
            ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
        lib.XFree.argtypes = [ctypes.c_void_p]
        lib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        lib.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._x = lib
        saved = os.environ.get("XAUTHORITY")  # Xlib reads the cookie file from this process's environment
        os.environ["XAUTHORITY"] = session.env["XAUTHORITY"]
        try:
            self._dpy = lib.XOpenDisplay(session.display.encode())
        finally:
            if saved is None:
                del os.environ["XAUTHORITY"]
            else:
                os.environ["XAUTHORITY"] = saved
        if not self._dpy:
            raise RuntimeError(f"cannot open display {session.display}")
        self._window = lib.XCreateSimpleWindow(self._dpy, lib.XDefaultRootWindow(self._dpy), 0, 0, 1, 1, 0, 0, 0)
        atom = lambda name: lib.XInternAtom(self._dpy, name, 0)  # noqa: E731
        self._clipboard, self._utf8, self._property = atom(b"CLIPBOARD"), atom(b"UTF8_STRING"), atom(b"ZX_CLIP")

    def close(self):
        if self._dpy:
            self._x.XDestroyWindow(self._dpy, self._window)
            self._x.XCloseDisplay(self._dpy)
            self._dpy = None

    def clear(self):
        """Takes the selection away from its owner, so that a later read sees only a new copy."""
        self._x.XSetSelectionOwner(self._dpy, self._clipboard, self._window, 0)
        self._x.XSync(self._dpy, 0)

    def read(self, timeout=2.0):
        """The clipboard's text, or None when nobody else owns it."""
        x = self._x
        if x.XGetSelectionOwner(self._dpy, self._clipboard) in (0, self._window):
            return None
        x.XConvertSelection(self._dpy, self._clipboard, self._utf8, self._property, self._window, 0)
        x.XSync(self._dpy, 0)
        event = Clipboard._Event()

        def answered():
            while x.XPending(self._dpy):
                x.XNextEvent(self._dpy, ctypes.byref(event))
                if event.type == self._SELECTION_NOTIFY:
                    return True
            return False

        zxe2e.wait_until(answered, timeout, interval=0.01, message="no answer to a clipboard request")
        if event.xselection.property == 0:
            return None
        kind, fmt = ctypes.c_ulong(), ctypes.c_int()
        count, rest, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        x.XGetWindowProperty(self._dpy, self._window, self._property, 0, 1 << 20, 1, 0, ctypes.byref(kind),
                             ctypes.byref(fmt), ctypes.byref(count), ctypes.byref(rest), ctypes.byref(data))
        if not data:
            return None
        text = ctypes.string_at(data, count.value).decode(errors="replace")
        x.XFree(data)
        return text


class SnapshotTestCase(zxe2e.E2ETestCase):
    """The program copy of each test runs over the full-screen gradient."""

    def start_ready(self, folder, env=None):
        """Starts the program over a gradient backdrop and waits until the splash has gone.

        Returns the program, the backdrop and the inside of the window.
        """
        backdrop = self.start_backdrop()
        program = self.start_program(folder, env=env)
        wid = program.wait_window(timeout=15)
        inside = self.session.geometry(wid)
        probe = (inside.x + 10, inside.y + 40)  # see-through once the splash is over
        self.wait_until(lambda: self.session.screenshot().pixel(*probe) == backdrop.expected_color(*probe), 15,
                        message="the splash did not give way to the see-through inside")
        return program, backdrop, self.session.geometry(wid)

    @staticmethod
    def button_square(inside):
        return Rect(inside.right - CAMERA_BUTTON, inside.y, CAMERA_BUTTON, CAMERA_BUTTON)

    def click_button(self, inside, button=1):
        x, y = self.button_square(inside).center
        where = self.session.run(["xdotool", "getmouselocation", "--shell"]).stdout
        if f"X={x}\nY={y}\n" in where:
            # `mousemove --sync` to where the pointer already is waits many seconds for a motion.
            self.session.run(["xdotool", "click", str(button)])
        else:
            self.session.click(x, y, button)

    def caption(self, program):
        return self.session.window_name(program.wid)

    def other_windows(self, program):
        """The program's visible windows besides the crosshair window (dialogs, menus)."""
        return [wid for wid in self.session.find_windows(pid=program.process.pid) if wid != program.wid]

    def wait_dialog(self, program, not_this=None):
        """Waits for one framed window titled with the program name besides the crosshair window."""
        def single():
            wids = [wid for wid in self.session.find_windows(program.name, program.process.pid)
                    if wid not in (program.wid, not_this)]
            return wids[0] if len(wids) == 1 and self.session.frame_extents(wids[0]) else None

        return self.wait_until(single, 10, message="no dialog titled with the program name")

    def wait_no_dialog(self, program):
        self.wait_until(lambda: not self.other_windows(program), 10, message="a dialog or menu stayed open")

    def copied_text(self, wid):
        """Copies the selection of the focused text field of a dialog and reads it back."""
        if not hasattr(self, "clipboard"):
            self.clipboard = Clipboard(self.session)
            self.addCleanup(self.clipboard.close)
        self.clipboard.clear()
        self.session.key("ctrl+c", wid)
        return self.wait_until(self.clipboard.read, 5, message="nothing was copied")

    def wait_message_box(self, program, icon, not_this=None):
        """Waits for a message box titled with the program name and checks its icon by colour: Qt draws the
        exclamation mark on yellow and the question mark in blue. Its text cannot be read here: on X11, Ctrl+C
        in a message box copies nothing."""
        box = self.wait_dialog(program, not_this)
        area = self.session.geometry(box)
        icons = {"warning": lambda c: c[0] > 200 and c[1] > 200 and c[2] < 80,
                 "question": lambda c: c[2] > 150 and c[0] < 80 and c[1] < 80}

        def painted():  # the box is drawn a moment after it is mapped, all of it at once
            picture = self.session.screenshot().crop(area)
            return picture if picture.count(lambda c: max(c) < 60) > 20 else None

        picture = self.wait_until(painted, 5, message="the message box shows no text")
        found = [name for name, test in icons.items() if picture.count(test) > 30]
        self.assertEqual(found, [icon] if icon else [], "the message box's icon")
        return box

    def choose(self, program, inside, top, sub):
        """Opens the popup menu with a right click on the camera button and picks an item by keyboard."""
        before = set(self.session.find_windows(pid=program.process.pid))
        new = lambda: set(self.session.find_windows(pid=program.process.pid)) - before  # noqa: E731
        # Keys sent before the menu holds the keyboard would move the crosshair window. A click
        # that comes while Qt is still closing the last menu is taken by it: one more try then.
        self.click_button(inside, button=3)
        try:
            menu = self.wait_until(new, 3, message="the popup menu did not open")
        except AssertionError:
            self.click_button(inside, button=3)
            menu = self.wait_until(new, 3, message="the popup menu did not open")
        self.session.key(["Down"] * top + ["Right"])
        self.wait_until(lambda: new() - menu, 5, message="the submenu did not open")
        self.session.key(["Down"] * sub + ["Return"])

    def assert_stays(self, condition, seconds, message):
        """Nothing happens: condition holds whenever it is looked at for the given time."""
        try:
            self.wait_until(lambda: not condition(), seconds)
        except AssertionError:
            return
        self.fail(message)

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
        expected_columns, expected_rows = bands
        wrong = []
        for y in range(inside.y, inside.bottom):
            band_row = y - inside.y in expected_rows
            for x in range(inside.x, inside.right):
                want = CROSSHAIR_RED if band_row or x - inside.x in expected_columns else backdrop.expected_color(x, y)
                got = picture.pixel(x - origin[0], y - origin[1])
                if not color_close(got, want, JPEG_TOLERANCE):
                    wrong.append((x - inside.x, y - inside.y, got, want))
        self.assertEqual(wrong[:10], [], f"{len(wrong)} pixels of the inside differ (inside x, y, got, want)")

    @staticmethod
    def opaque_share(shot, rect, backdrop):
        """The share of the rectangle's screen pixels that do not show the backdrop."""
        covered = sum(shot.pixel(x, y) != backdrop.expected_color(x, y)
                      for y in range(rect.y, rect.bottom) for x in range(rect.x, rect.right))
        return covered / (rect.width * rect.height)

    def find_bands(self, shot, inside):
        """The crosshair's columns and rows of the inside, as the screen shows them."""
        part = shot.crop(inside)
        red_columns = [x for x in range(part.width) if part.pixel(x, part.height - 5) == CROSSHAIR_RED]
        red_rows = [y for y in range(part.height) if part.pixel(5, y) == CROSSHAIR_RED]
        return red_columns, red_rows


class PictureTest(SnapshotTestCase):
    def test_form_area_then_client_area(self):
        program, backdrop, inside = self.start_ready(self.make_program_copy())
        frame = self.session.frame_extents(program.wid)
        outer = self.session.outer_geometry(program.wid)
        shot = self.session.screenshot()
        # The design's inside (475 x 314) with the gap 4: two 2-pixel bands each way around the middle.
        bands = self.find_bands(shot, inside)
        self.assertEqual(bands, ([232, 233, 240, 241], [152, 153, 160, 161]))
        square = self.button_square(inside)
        self.assertGreater(self.opaque_share(shot, square, backdrop), 0.9, "no camera button shown")

        self.click_button(inside)
        first = program.path("Images", "CAP0001.jpg")
        self.wait_until(lambda: os.path.isfile(first), 10, message="CAP0001.jpg was not written")
        picture = load_image(first)
        self.assertEqual((picture.width, picture.height), (outer.width, outer.height), "Form Area: the outer size")
        self.assert_picture_shows(picture, (outer.x, outer.y), inside, bands, backdrop)
        # The title bar belongs to the frame: hardly a pixel of it is the gradient.
        title = [(x, y) for y in range(frame.top) for x in range(frame.left, outer.width - frame.right)]
        gradient_like = sum(color_close(picture.pixel(x, y), backdrop.expected_color(outer.x + x, outer.y + y),
                                        JPEG_TOLERANCE) for x, y in title)
        self.assertLess(gradient_like, len(title) // 20, "the title bar is missing from the picture")
        self.wait_until(lambda: self.caption(program) == program.name, 5, message="caption not set back")

        self.choose(program, inside, MENU_CAPTURE, CAPTURE_CLIENT_AREA)
        self.wait_no_dialog(program)
        self.click_button(inside)
        second = program.path("Images", "CAP0002.jpg")
        self.wait_until(lambda: os.path.isfile(second), 10, message="CAP0002.jpg was not written")
        picture = load_image(second)
        self.assertEqual((picture.width, picture.height), (inside.width, inside.height), "Client Area: inside size")
        self.assert_picture_shows(picture, (inside.x, inside.y), inside, bands, backdrop)
        self.assertEqual(program.images(), ["CAP0001.jpg", "CAP0002.jpg"])
        self.assertEqual(program.close(), 0)


class SequenceTest(SnapshotTestCase):
    def test_interval_prompt_sequence_and_esc(self):
        program, backdrop, inside = self.start_ready(self.make_program_copy())

        # An answer out of range: the message, and nothing starts.
        self.choose(program, inside, MENU_SEQUENCE, SEQUENCE_START)
        prompt = self.wait_dialog(program)
        self.session.key("ctrl+a", prompt)
        self.assertEqual(self.copied_text(prompt), "1000", "the prompt offers the stored interval")
        self.session.type_text("0", prompt)
        self.session.key("Return", prompt)
        box = self.wait_message_box(program, "warning", not_this=prompt)
        self.session.key("Return", box)
        self.wait_no_dialog(program)

        # The interval stays as it was. Meanwhile no sequence has run: a timer started by the bad answer
        # would have ticked while the prompt was open.
        self.choose(program, inside, MENU_SEQUENCE, SEQUENCE_START)
        prompt = self.wait_dialog(program)
        self.session.key("ctrl+a", prompt)
        self.assertEqual(self.copied_text(prompt), "1000")
        self.assertEqual(program.images(), [])
        self.assertEqual(self.caption(program), program.name)
        self.session.type_text("200", prompt)
        self.session.key("Return", prompt)
        started = time.monotonic()
        self.wait_no_dialog(program)

        running = re.compile(re.escape(program.name) + r" - (CAP\d{4}\.jpg)$")
        match = self.wait_until(lambda: running.match(self.caption(program) or ""), 5,
                                message="the caption does not name a sequence file")
        self.assertTrue(os.path.isfile(program.path("Images", match.group(1))), match.group(0))
        # At 200 ms, three files take about 0.7 s; the bound is loose, yet too short for the old 1000 ms.
        self.wait_until(lambda: len(program.images()) >= 3, max(0.1, started + 2.5 - time.monotonic()),
                        message="fewer than 3 sequence snapshots in 2.5 s")

        self.stop_with_esc(program, 1.0)  # five intervals

        # At the lower bound the snapshots follow each other without a pause, so Esc now and then comes
        # while one is under way: it must stop the sequence and leave the program name all the same.
        for attempt in range(6):
            self.choose(program, inside, MENU_SEQUENCE, SEQUENCE_START)
            prompt = self.wait_dialog(program)
            self.session.key("ctrl+a", prompt)
            if attempt == 0:
                self.assertEqual(self.copied_text(prompt), "200", "the last interval is offered again")
            self.session.type_text("1", prompt)
            self.session.key("Return", prompt)
            self.wait_no_dialog(program)
            count = len(program.images())
            self.wait_until(lambda: len(program.images()) >= count + 2, 5, message="the 1 ms sequence did not run")
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
        self.wait_until(lambda: self.caption(program) == program.name, 5, message="Esc did not reset the caption")
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
        square = self.button_square(inside)
        self.assertLess(self.opaque_share(self.session.screenshot(), square, backdrop), 0.1, "button during the box")
        self.assertRegex(self.caption(program), re.escape(program.name) + r" - \d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
        self.session.key("Return", box)
        self.wait_no_dialog(program)
        self.wait_until(lambda: self.opaque_share(self.session.screenshot(), square, backdrop) > 0.9, 5,
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
        self.wait_until(lambda: program.images() == ["CAP0001.jpg"], 10, message="no snapshot after the failure")
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


    def start_failing_sequence(self, program, inside, milliseconds=50):
        """Starts a sequence whose every snapshot fails; returns the first failure's message box."""
        self.choose(program, inside, MENU_SEQUENCE, SEQUENCE_START)
        prompt = self.wait_dialog(program)
        self.session.key("ctrl+a", prompt)
        self.session.type_text(str(milliseconds), prompt)
        self.session.key("Return", prompt)
        return self.wait_message_box(program, icon=None, not_this=prompt)

    def test_a_sequence_that_keeps_failing_can_be_stopped_and_closed(self):
        folder = self.make_program_copy()
        os.rmdir(os.path.join(folder, "Images"))
        program, backdrop, inside = self.start_ready(folder)

        # OK keeps the sequence going: the next tick fails again.
        box = self.start_failing_sequence(program, inside)
        self.session.key("Return", box)
        box = self.wait_message_box(program, icon=None, not_this=box)
        # Esc on the message stops the sequence as Esc on the window does: no further message.
        self.session.key("Escape", box)
        self.wait_no_dialog(program)
        self.assert_stays(lambda: not self.other_windows(program), 1.0, "a new message after Esc")
        self.assertEqual(self.caption(program), program.name)

        # The close box of the window is honoured while such a message is open.
        self.start_failing_sequence(program, inside)
        self.assertEqual(program.close(), 0)
        with open(program.path(program.name + ".ini")) as settings:
            self.assertRegex(settings.read(), r"(?m)^\s*Interval\s*=\s*50\s*$", "settings written at the close")

        # So is a termination signal.
        os.remove(program.path(program.name + ".ini"))
        program, backdrop, inside = self.start_ready(folder)
        self.start_failing_sequence(program, inside, 70)
        program.proc.terminate()
        self.assertEqual(program.wait_exit(10), 0)
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
        self.assertTrue(screen.contains(*self.button_square(inside).center), "the camera button is off the screen")

        started = time.monotonic()
        self.session.key("space", program.wid)
        # Before, such a window took 15 to 25 s and gigabytes for one snapshot.
        self.wait_until(lambda: program.images() == ["CAP0001.jpg"], 5, message="no snapshot")
        self.assertLess(time.monotonic() - started, 5)
        picture = load_image(program.path("Images", "CAP0001.jpg"))
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

        self.choose(program, inside, MENU_IMAGES, IMAGES_CLEAR)
        box = self.wait_message_box(program, "question")
        self.session.key("n", box)
        self.wait_no_dialog(program)
        self.assertEqual(program.images(), everything, "No deleted files")

        self.choose(program, inside, MENU_IMAGES, IMAGES_CLEAR)
        box = self.wait_message_box(program, "question")
        self.session.key("Return", box)  # Yes is the default button
        self.wait_no_dialog(program)
        self.assertEqual(program.images(), ["album.jpg", "notes.txt"])

        self.choose(program, inside, MENU_IMAGES, IMAGES_CLEAR)
        box = self.wait_message_box(program, "warning")
        self.session.key("Return", box)
        self.wait_no_dialog(program)
        self.assertEqual(program.images(), ["album.jpg", "notes.txt"])
        self.assertTrue(program.process.alive())


if __name__ == "__main__":
    unittest.main()
