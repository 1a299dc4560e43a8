"""Windows programs under Wine on the harness's X displays.

A Wine prefix made once (scripts/test-windows.sh: wineboot, its user folders not linked to the host's
home) is named by WINEPREFIX; one Wine server runs for a test class.
"""

import os
import shutil
import subprocess
import unittest

from .crosshair import design_inside
from .display import E2ETestCase, ProgramHandle
from .picture import Rect
from .waiting import COMMAND_TIMEOUT

PROGRAM = "Zentrolux.exe"
WRITER = "Zentrolux.dll"
TITLE = "Zentrolux"  # the window's caption at rest, the program's name


def wine_env():
    return {"WINEPREFIX": os.environ.get("WINEPREFIX", ""), "WINEARCH": "win64", "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml="}


def user_folder(*parts):
    """A folder of the prefix's user (AppData/Roaming, Pictures, ...) as a host path."""
    users = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users")
    user = next(name for name in sorted(os.listdir(users)) if name != "Public")
    return os.path.join(users, user, *parts)


def drive_c(*parts):
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *parts)


class WineProgram(ProgramHandle):
    """A Windows program under Wine. Once a window has a region Wine draws its frame and title bar itself,
    inside the X window: the inside is the X window less those, as the first start measures them."""

    frame = None  # (left, top, right, bottom), the same for every window of the prefix

    def inside(self):
        outer = self.session.geometry(self.wid)
        left, top, right, bottom = self.frame or (0, 0, 0, 0)
        return Rect(outer.x + left, outer.y + top, outer.width - left - right, outer.height - top - bottom)

    def measure_frame(self):
        """At a first start the inside stands at its design place and size: the rest is Wine's frame."""
        outer = self.session.geometry(self.wid)
        design = design_inside(self.session.dpi)
        WineProgram.frame = (design.x - outer.x, design.y - outer.y, outer.right - design.right,
                             outer.bottom - design.bottom)


class WineTestCase(E2ETestCase):
    """One X session and one Wine server for the class; each test starts copies of the program."""

    program_name = TITLE

    @classmethod
    def setUpClass(cls):
        cls.windows_bin = os.environ.get("ZX_WINDOWS_BIN_DIR")
        if not cls.windows_bin or not os.environ.get("WINEPREFIX"):
            raise unittest.SkipTest("ZX_WINDOWS_BIN_DIR and WINEPREFIX name the Windows build and a Wine prefix")
        cls.bin_dir = cls.windows_bin
        super().setUpClass()
        # One server for the class: a program starts in under a second instead of three.
        subprocess.run(["wineserver", "-p"], env={**os.environ, **wine_env()}, check=False, timeout=COMMAND_TIMEOUT)

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["wineserver", "-k"], env={**os.environ, **wine_env()}, check=False, timeout=COMMAND_TIMEOUT)
        super().tearDownClass()

    def make_program_copy(self, name=None, files=None):
        """A fresh folder with the program, its writer and an empty Images folder, plus files."""
        folder = self.new_program_folder()
        self._folders.append(folder)
        shutil.copy2(os.path.join(self.windows_bin, PROGRAM), os.path.join(folder, name or PROGRAM))
        shutil.copy2(os.path.join(self.windows_bin, WRITER), os.path.join(folder, WRITER))
        os.mkdir(os.path.join(folder, "Images"))
        for path, content in (files or {}).items():
            with open(os.path.join(folder, path), "wb") as f:
                f.write(content.encode() if isinstance(content, str) else content)
        return folder

    def start_program(self, folder, name=None, args=(), cwd=None, env=None, user=None):
        process = self.session.spawn(["wine", os.path.join(folder, name or PROGRAM), *args], cwd=cwd or folder,
                                     env={**wine_env(), **(env or {})}, name="wine")
        self._spawned.append(process)
        return WineProgram(self.session, folder, TITLE, process)

    def run_wine(self, *argv):
        """Runs a Windows program to its end (an installer, say) on the session's display."""
        return subprocess.run(["wine", *argv], env={**self.session.env, **wine_env()}, check=True,
                              timeout=COMMAND_TIMEOUT, capture_output=True)
