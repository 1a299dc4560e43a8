"""The arm64 Debian package end to end in an arm64 Debian tree, under qemu: installed with only what it
depends on, the installed program started as a new user of the tree on this machine's Xvfb, one snapshot
that must show the screen exactly, the package removed.

It changes the tree (a package, a user account), so it runs only as root and only when asked:
ZX_PACKAGE_E2E=1, ZX_DEB naming the package and ZX_ARM64_TREE the tree, in a mount namespace where the
tree has /proc, /dev, /sys and /tmp/.X11-unix mounted (scripts/test-arm64.sh sets all of it up).
"""

import os
import shutil
import subprocess
import sys
import time
import unittest

import zxe2e
from zxe2e import crosshair
from zxe2e.crosshair import JPEG_TOLERANCE

PACKAGE = "zentrolux"
PROGRAM = "/usr/bin/Zentrolux"
WRITER = "/usr/lib/aarch64-linux-gnu/zentrolux/libZentrolux.so"
USER = "zxpkgtest"
HOME = "/home/" + USER
RUNTIME = "/run/zxpkgtest"
ELF_MACHINE_AARCH64 = 183
TREE = os.environ.get("ZX_ARM64_TREE", "")


def run(cmd):
    result = subprocess.run(cmd, capture_output=True, text=True, timeout=1800)
    if result.returncode != 0:
        raise AssertionError(f"{' '.join(cmd)} failed ({result.returncode}): {result.stderr.strip()[-2000:]}")
    return result


def in_tree(*cmd):
    """The command as root in the tree, with a plain environment."""
    return run(["chroot", TREE, "/usr/bin/env", "-i", "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C.UTF-8",
                "DEBIAN_FRONTEND=noninteractive", *cmd])


def installed():
    result = subprocess.run(["chroot", TREE, "dpkg-query", "-W", "-f=${Status}", PACKAGE], capture_output=True,
                            text=True)
    return result.returncode == 0 and "ok installed" in result.stdout


def elf_machine(path):
    with open(path, "rb") as f:
        header = f.read(20)
    assert header[:4] == b"\x7fELF", f"{path} is no ELF file"
    return int.from_bytes(header[18:20], "little")


def host(path):
    """A path of the tree as this machine sees it."""
    return os.path.join(TREE, path.lstrip("/"))


@unittest.skipUnless(os.environ.get("ZX_PACKAGE_E2E") == "1", "changes the tree; ZX_PACKAGE_E2E=1 asks for it")
@unittest.skipUnless(hasattr(os, "geteuid") and os.geteuid() == 0, "installs a package, so needs root")
@unittest.skipUnless(TREE, "ZX_ARM64_TREE names no arm64 tree")
class TreePackageTest(zxe2e.E2ETestCase):
    bin_dir = PROGRAM  # not copied from: the installed program runs

    def test_install_run_as_new_user_snapshot_remove(self):
        deb = os.path.abspath(os.environ.get("ZX_DEB", ""))
        self.assertTrue(os.path.isfile(deb), f"ZX_DEB names no package: {deb!r}")
        self.assertTrue(os.path.ismount(host("/proc")), "the tree has no /proc: run it from scripts/test-arm64.sh")
        self.assertEqual(run(["dpkg-deb", "-f", deb, "Architecture"]).stdout.strip(), "arm64")
        self.assertFalse(installed(), f"{PACKAGE} is installed in the tree already; remove it first")
        paths = [line.split(None, 5)[5].lstrip(".") for line in run(["dpkg-deb", "-c", deb]).stdout.splitlines()]
        self.assertIn(WRITER, paths, "the writer lies in the arm64 library folder")

        inside_deb = "/var/cache/zx-test/" + os.path.basename(deb)
        os.makedirs(os.path.dirname(host(inside_deb)), exist_ok=True)
        shutil.copyfile(deb, host(inside_deb))
        self.addCleanup(shutil.rmtree, os.path.dirname(host(inside_deb)), ignore_errors=True)
        self.addCleanup(self.purge_if_installed)
        clock = time.monotonic()
        # Only what the package depends on: a missing dependency shows here, not on a user's Pi.
        in_tree("apt-get", "install", "-y", "-q", "--no-install-recommends", inside_deb)
        print(f"\ninstall: {time.monotonic() - clock:.1f} s", file=sys.stderr)
        self.assertTrue(installed())
        self.assertEqual(elf_machine(host(PROGRAM)), ELF_MACHINE_AARCH64)
        self.assertEqual(elf_machine(host(WRITER)), ELF_MACHINE_AARCH64)

        self.make_user()
        backdrop = self.start_backdrop()
        program = self.start_installed()
        program.wait_window()
        crosshair.wait_see_through(self.session, program.wid, backdrop)
        # The lines are drawn a moment after the splash goes (under qemu a long one).
        inside, columns, rows = crosshair.wait_bands(self.session, program.wid)
        outer = self.session.outer_geometry(program.wid)
        self.assertEqual((columns, rows), (crosshair.DESIGN_BAND_COLUMNS, crosshair.DESIGN_BAND_ROWS))

        self.session.key("space", program.wid)
        pictures = host(HOME + "/Pictures/Zentrolux")
        picture = zxe2e.wait_picture(os.path.join(pictures, "CAP0001.jpg"))
        # The whole window (the default): every pixel of its inside is the backdrop, or red on the bands.
        self.assertEqual((picture.width, picture.height), (outer.width, outer.height))
        wrong = crosshair.inside_mismatches(picture, inside, columns, rows, backdrop.expected_color,
                                            (outer.x, outer.y), JPEG_TOLERANCE)
        self.assertEqual(wrong[:10], [], f"{len(wrong)} pixels of the inside differ (inside x, y, got, want)")
        self.assertEqual(program.close(), 0)
        self.assertEqual(sorted(os.listdir(pictures)), ["CAP0001.jpg"])

        settings = host(HOME + "/.config/Zentrolux/Zentrolux.ini")
        with open(settings, "rb") as f:
            lines = f.read().split(b"\r\n")
        self.assertEqual((lines[0], len(lines)), (b"[ZENTROLUX]", 12), "eleven lines ending with CR LF")
        for path in (settings, os.path.join(pictures, "CAP0001.jpg")):
            self.assertEqual(os.stat(path).st_uid, int(self.ids.split(":")[0]), path)

        clock = time.monotonic()
        in_tree("apt-get", "purge", "-y", "-q", PACKAGE)
        print(f"remove: {time.monotonic() - clock:.1f} s", file=sys.stderr)
        self.assertFalse(installed())
        self.assertEqual([p for p in paths if p.startswith("/usr/lib/aarch64-linux-gnu/zentrolux")
                          and os.path.lexists(host(p))], [], "left after removal")
        self.assertFalse(os.path.lexists(host(PROGRAM)))
        self.assertTrue(os.path.isfile(settings), "the user's settings stay")

    # -- steps ------------------------------------------------------------------------------------

    def make_user(self):
        """A fresh user of the tree, with the session's X cookie and a runtime folder of its own."""
        if subprocess.run(["chroot", TREE, "id", USER], capture_output=True).returncode == 0:
            in_tree("userdel", "--remove", USER)  # left by an interrupted run
        in_tree("useradd", "--create-home", "--home-dir", HOME, "--shell", "/bin/sh", "--user-group", USER)
        self.addCleanup(subprocess.run, ["chroot", TREE, "userdel", "--remove", USER], capture_output=True)
        # Numbers, not names: the names are the tree's, not this machine's.
        self.ids = f"{in_tree('id', '-u', USER).stdout.strip()}:{in_tree('id', '-g', USER).stdout.strip()}"
        shutil.copyfile(self.session.env["XAUTHORITY"], host(HOME + "/.Xauthority"))
        in_tree("chown", f"{USER}:{USER}", HOME + "/.Xauthority")
        shutil.rmtree(host(RUNTIME), ignore_errors=True)
        in_tree("install", "-d", "-m", "0700", "-o", USER, "-g", USER, RUNTIME)
        self.addCleanup(shutil.rmtree, host(RUNTIME), ignore_errors=True)

    def start_installed(self):
        """The installed program as the tree's user, on this session's display. chroot and env replace
        themselves with the program, so the window's process is the one spawned."""
        env = {"HOME": HOME, "USER": USER, "LOGNAME": USER, "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8",
               "DISPLAY": self.session.display, "XAUTHORITY": HOME + "/.Xauthority", "XDG_RUNTIME_DIR": RUNTIME,
               "QT_QPA_PLATFORM": "xcb", "NO_AT_BRIDGE": "1",
               # a bus and a sound server that do not exist, as in the other end-to-end tests
               "DBUS_SESSION_BUS_ADDRESS": f"unix:path={RUNTIME}/no-bus", "PULSE_SERVER": f"unix:{RUNTIME}/no-pulse"}
        cmd = ["chroot", f"--userspec={self.ids}", TREE, "/usr/bin/env", "-i",
               *(f"{name}={value}" for name, value in env.items()), PROGRAM]
        process = self.session.spawn(cmd, name="Zentrolux")
        self._spawned.append(process)
        return zxe2e.ProgramHandle(self.session, host(HOME), "Zentrolux", process)

    def purge_if_installed(self):
        if installed():
            subprocess.run(["chroot", TREE, "apt-get", "purge", "-y", "-q", PACKAGE], capture_output=True,
                           timeout=1800)


if __name__ == "__main__":
    unittest.main()
