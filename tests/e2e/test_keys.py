"""Keyboard control of the crosshair window on a real display: moving and sizing by one pixel, the
crosshair gap, help, and stopping a capture sequence with Esc.

One program serves every test (each start costs the three-second splash); a test that fails leaves
it to be replaced before the next one.
"""

import os
import re
import shutil
import tempfile
import time
import unittest

import zxe2e
from zxe2e import crosshair


class KeysTest(zxe2e.E2ETestCase):
    _program = None
    _folder = None
    _healthy = False

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.backdrop = zxe2e.Backdrop(cls.session).start()

    @classmethod
    def tearDownClass(cls):
        cls._discard_program()
        super().tearDownClass()

    @classmethod
    def _discard_program(cls):
        if cls._program is not None:
            cls.session.forget(cls._program.process)
            cls._program = None
        if cls._folder is not None:
            shutil.rmtree(cls._folder, ignore_errors=True)
            cls._folder = None

    def program(self):
        """The shared program, running and past its splash; started afresh after a failed test."""
        cls = type(self)
        if cls._program is None or not cls._healthy or not cls._program.process.alive():
            cls._discard_program()
            cls._folder = tempfile.mkdtemp(prefix="zxe2e-keys-")
            zxe2e.copy_program(self.bin_dir, cls._folder)
            process = self.session.spawn([os.path.join(cls._folder, self.program_name)], name=self.program_name)
            cls._program = zxe2e.ProgramHandle(self.session, cls._folder, self.program_name, process)
            cls._program.wait_window()
            crosshair.wait_see_through(self.session, cls._program.wid, self.backdrop)
        cls._healthy = False
        return cls._program

    def passed(self):
        type(self)._healthy = True

    # -----------------------------------------------------------------------------------------------

    def test_arrows_move_and_size_by_one_pixel_and_shift_squares(self):
        program = self.program()
        wid = program.wid
        session = self.session
        # Start from a wide window so that squaring has something to do.
        o = self.outer(wid)
        if o.width <= o.height:
            session.key(["alt+Right"] * (o.height - o.width + 40), wid)
            o = self.wait_outer(wid, o._replace(width=o.height + 40), "widening")

        steps = [
            # key, expected outer frame from the one before
            ("ctrl+Right", lambda r: r._replace(x=r.x + 1)),
            ("ctrl+Down", lambda r: r._replace(y=r.y + 1)),
            ("ctrl+Left", lambda r: r._replace(x=r.x - 1)),
            ("alt+Down", lambda r: r._replace(height=r.height + 1)),
            ("alt+Up", lambda r: r._replace(height=r.height - 1)),
            ("alt+Left", lambda r: r._replace(width=r.width - 1)),
            # Two modifiers on an arrow, or none, do nothing (no squaring either): only the last
            # move of the row lands.
            ("ctrl+shift+Left ctrl+alt+Down Left ctrl+Up", lambda r: r._replace(y=r.y - 1)),
            ("shift", lambda r: r._replace(width=min(r.width, r.height), height=min(r.width, r.height))),
            ("shift+Right", lambda r: r._replace(width=r.width + 1, height=r.height + 1)),
            ("shift+Up", lambda r: r._replace(width=r.width - 1, height=r.height - 1)),
        ]
        for key, change in steps:
            session.key(key, wid)
            o = self.wait_outer(wid, change(o), key)
        self.passed()

    def test_plus_and_minus_move_the_bands_one_pixel_each_side(self):
        program = self.program()
        wid = program.wid
        session = self.session
        # Plus is typed with Shift, which squares the window first; square it beforehand so the
        # centre stays where it is.
        session.key("shift", wid)
        self.wait_until(lambda: self.outer(wid).width == self.outer(wid).height, message="not squared")
        inside, columns, rows = crosshair.wait_bands(session, wid)
        for pair in (columns, rows):
            self.assertEqual([len(band) for band in pair], [2, 2], f"bands are two pixels wide: {pair}")

        def bands_now():
            return crosshair.bands(session.screenshot(), inside)

        def shifted(pair, step):
            (a, b) = pair
            return [tuple(v - step for v in a), tuple(v + step for v in b)]

        wider = (shifted(columns, 1), shifted(rows, 1))
        session.key("plus", wid)
        self.wait_until(lambda: bands_now() == wider,
                        message=lambda: f"plus: bands not at {wider}, now {bands_now()}")
        self.assertEqual(session.geometry(wid), inside, "plus changed the square window")

        session.key("minus", wid)
        self.wait_until(lambda: bands_now() == (list(columns), list(rows)),
                        message=lambda: f"minus: bands not back at {(columns, rows)}, now {bands_now()}")
        self.passed()

    def test_f1_opens_help_and_closing_it_returns(self):
        program = self.program()
        wid = program.wid
        session = self.session
        session.key("F1", wid)
        help_wid = session.wait_window(crosshair.help_title(), pid=program.process.pid)
        # While the help is open the crosshair window leaves the top band, so it cannot cover it.
        self.wait_until(lambda: "_NET_WM_STATE_ABOVE" not in session.net_wm_state(wid),
                        message="still on top while the help is open")
        crosshair.close_dialog(session, program, help_wid, crosshair.help_title())
        # The window takes keys again.
        o = self.outer(wid)
        session.key("ctrl+Right", wid)
        self.wait_outer(wid, o._replace(x=o.x + 1), "ctrl+Right after the help")
        self.passed()

    def test_esc_stops_a_running_capture_sequence(self):
        program = self.program()
        wid = program.wid
        session = self.session
        name = program.name
        crosshair.choose(session, program, crosshair.MENU_SEQUENCE, crosshair.SEQUENCE_START)
        prompt = crosshair.wait_dialog(session, program)
        self.wait_until(lambda: session.active_window() == prompt, message="the prompt is not active")
        session.key("ctrl+a")
        session.type_text("300")
        session.key("Return")

        first = len(program.images())
        self.wait_until(lambda: len(program.images()) >= first + 1, message="the sequence wrote nothing")
        self.wait_until(lambda: re.fullmatch(rf"{name} - CAP\d{{4,}}\.jpg", session.window_name(wid) or ""),
                        message="no snapshot name in the caption")

        session.key("Escape", wid)
        self.wait_until(lambda: session.window_name(wid) == name, message="caption not back to the name")
        stopped = program.images()
        # Over three intervals nothing more is written and the caption stays.
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            self.assertEqual(program.images(), stopped, "a snapshot after Esc")
            self.assertEqual(session.window_name(wid), name)
            time.sleep(0.1)
        self.assertTrue(program.process.alive())
        self.passed()


if __name__ == "__main__":
    unittest.main()
