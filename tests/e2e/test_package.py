"""The Debian package end to end: install it, run the installed program as an ordinary user and as root,
take a snapshot with each, remove the package.

It changes the system (a package, a user account), so it runs only as root and only when asked:
ZX_PACKAGE_E2E=1 and ZX_DEB naming the package (scripts/test.sh sets both, after the other tests).
"""

import configparser
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import zxe2e
from zxe2e import color_close, crosshair
from zxe2e.crosshair import JPEG_TOLERANCE

PACKAGE = "zentrolux"
PROGRAM = "/usr/bin/Zentrolux"
USER = "zxpkgtest"
APT = ["apt-get", "-y", "-q", "--no-install-recommends", "-o", "DPkg::Lock::Timeout=900"]
APT_ENV = {**os.environ, "DEBIAN_FRONTEND": "noninteractive"}


def run(cmd, **kwargs):
    result = subprocess.run(cmd, capture_output=True, text=True, timeout=1200, **kwargs)
    if result.returncode != 0:
        raise AssertionError(f"{' '.join(cmd)} failed ({result.returncode}): {result.stderr.strip()[-2000:]}")
    return result


def installed():
    result = subprocess.run(["dpkg-query", "-W", "-f=${Status}", PACKAGE], capture_output=True, text=True)
    return result.returncode == 0 and "ok installed" in result.stdout


def package_paths(deb):
    """The absolute paths the package holds, folders included."""
    paths = []
    for line in run(["dpkg-deb", "-c", deb]).stdout.splitlines():
        path = line.split(None, 5)[5].split(" -> ")[0]
        path = "/" + path.lstrip("./").rstrip("/")
        if path != "/":
            paths.append(path)
    return paths


def owned_by_packages(paths):
    """Those of paths that some installed package claims."""
    if not paths:
        return set()
    result = subprocess.run(["dpkg-query", "-S", *paths], capture_output=True, text=True)
    owned = set()
    for line in result.stdout.splitlines():
        owned.add(line.split(": ", 1)[1])
    return owned


@unittest.skipUnless(os.environ.get("ZX_PACKAGE_E2E") == "1", "changes the system; ZX_PACKAGE_E2E=1 asks for it")
@unittest.skipUnless(hasattr(os, "geteuid") and os.geteuid() == 0, "installs a package, so needs root")
class PackageTest(zxe2e.E2ETestCase):
    bin_dir = "/usr/bin"

    def test_install_run_as_user_and_root_remove(self):
        deb = os.path.abspath(os.environ.get("ZX_DEB", ""))
        self.assertTrue(os.path.isfile(deb), f"ZX_DEB names no package: {deb!r}")
        self.assertFalse(installed(), f"{PACKAGE} is installed already; remove it first")
        # Worked out from the binaries: the program's libraries and the dlopen'ed writer's. This machine has
        # them all (it builds the program), so the run below would not miss them.
        depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
        for library in ("libqt6widgets6", "libturbojpeg0"):
            self.assertIn(library, depends)
        paths = package_paths(deb)
        existed = {path for path in paths if os.path.lexists(path)}

        clock = time.monotonic()
        self.addCleanup(self.purge_if_installed)
        run(APT + ["install", deb], env=APT_ENV)
        print(f"\ninstall: {time.monotonic() - clock:.1f} s", file=sys.stderr)
        self.assertTrue(installed())
        self.assertEqual([p for p in paths if not os.path.lexists(p)], [], "package files missing after install")
        self.check_menu_entry()

        # Anything the runs write under /usr is newer than this.
        marker = tempfile.NamedTemporaryFile(prefix="zxpkg-marker-")
        self.addCleanup(marker.close)
        time.sleep(0.1)  # the file system's clock is coarse: later files must not share its time

        home = self.make_user()
        user_env = self.user_env(home)
        backdrop = self.start_backdrop()
        settings, picture = self.run_and_snapshot(backdrop, home, user_env, USER)
        self.assertEqual(settings, os.path.join(home, ".config", "Zentrolux", "Zentrolux.ini"))
        self.assertEqual(os.path.dirname(picture), os.path.join(home, "Pictures", "Zentrolux"))
        for path in (settings, picture):
            self.assertEqual(os.stat(path).st_uid, pwd.getpwnam(USER).pw_uid, path)

        # Root may write /usr/bin, yet the installed copy keeps to root's own folders too; here
        # XDG_CONFIG_HOME names a folder that does not exist yet.
        root_home = self.session.env["HOME"]
        config = os.path.join(root_home, "xdg-config")
        settings, picture = self.run_and_snapshot(backdrop, root_home, {"XDG_CONFIG_HOME": config}, None)
        self.assertEqual(settings, os.path.join(config, "Zentrolux", "Zentrolux.ini"))
        self.assertEqual(os.path.dirname(picture), os.path.join(root_home, "Pictures", "Zentrolux"))
        self.assertEqual(self.written_under_usr(marker.name), [])

        clock = time.monotonic()
        run(APT + ["purge", PACKAGE], env=APT_ENV)
        print(f"remove: {time.monotonic() - clock:.1f} s", file=sys.stderr)
        self.assertFalse(installed())
        self.assertEqual([p for p in paths if os.path.lexists(p) and p not in existed], [], "left after removal")
        # What users made is theirs and stays.
        self.assertTrue(os.path.isfile(os.path.join(home, ".config", "Zentrolux", "Zentrolux.ini")))

    # -- steps ------------------------------------------------------------------------------------

    def check_menu_entry(self):
        """The menu entry names the installed program and an icon of the theme, as the metadata does."""
        applications = "/usr/share/applications"
        entries = [name for name in os.listdir(applications) if name.endswith(".desktop")
                   and PACKAGE in name.lower()]
        self.assertEqual(len(entries), 1, entries)
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(os.path.join(applications, entries[0]))
        desktop = entry["Desktop Entry"]
        self.assertEqual(shutil.which(desktop["Exec"].split()[0]), PROGRAM)
        self.assertIn("Astronomy", desktop["Categories"].split(";"))
        for size in ("16x16", "32x32", "48x48", "256x256"):
            self.assertTrue(os.path.isfile(f"/usr/share/icons/hicolor/{size}/apps/{desktop['Icon']}.png"), size)
        self.assertTrue(os.path.isfile(f"/usr/share/icons/hicolor/scalable/apps/{desktop['Icon']}.svg"))
        app_id = entries[0][: -len(".desktop")]
        with open(f"/usr/share/metainfo/{app_id}.metainfo.xml") as metainfo:
            text = metainfo.read()
        self.assertIn(f"<id>{app_id}</id>", text)
        self.assertIn(f'<launchable type="desktop-id">{entries[0]}</launchable>', text)

    def make_user(self):
        """A fresh ordinary user whose home lies in a folder removed after the test."""
        if subprocess.run(["id", USER], capture_output=True).returncode == 0:
            run(["userdel", "--remove", USER])  # left by an interrupted run
        parent = tempfile.mkdtemp(prefix="zxpkg-")
        os.chmod(parent, 0o755)
        self.addCleanup(shutil.rmtree, parent, ignore_errors=True)
        home = os.path.join(parent, "home")
        run(["useradd", "--create-home", "--home-dir", home, "--shell", "/bin/sh", "--user-group", USER])
        self.addCleanup(subprocess.run, ["userdel", "--remove", USER], capture_output=True)
        return home

    def user_env(self, home):
        """What a login gives the user: its own home, cookie and runtime folder, and no XDG_CONFIG_HOME."""
        entry = pwd.getpwnam(USER)
        cookie = os.path.join(home, ".Xauthority")
        shutil.copyfile(self.session.env["XAUTHORITY"], cookie)
        runtime = os.path.join(os.path.dirname(home), "runtime")
        os.mkdir(runtime, 0o700)
        for path in (cookie, runtime):
            os.chown(path, entry.pw_uid, entry.pw_gid)
        env = {"HOME": home, "USER": USER, "LOGNAME": USER, "XAUTHORITY": cookie, "XDG_RUNTIME_DIR": runtime}
        env.update({name: None for name in ("XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_CACHE_HOME", "XDG_DATA_HOME",
                                            "XDG_STATE_HOME", "TMPDIR")})
        return env

    def run_and_snapshot(self, backdrop, home, env, user):
        """Starts the installed program, takes one snapshot with Space, closes it. Returns the paths of the
        settings file and the picture, found where the program wrote them under home."""
        program = crosshair.start_ready(self, backdrop, "/usr/bin", cwd=home, env=env, user=user)
        wid = program.wid
        inside = self.session.geometry(wid)
        outer = self.session.outer_geometry(wid)
        self.session.key("space", wid)
        pictures = lambda: [os.path.join(root, name) for root, _, names in os.walk(home)  # noqa: E731
                            for name in names if name.endswith(".jpg")]
        found = self.wait_until(pictures, message="no snapshot written under " + home)
        self.assertEqual([os.path.basename(path) for path in found], ["CAP0001.jpg"])
        picture = zxe2e.wait_picture(found[0])
        # The whole window (the default), with the backdrop showing through its inside.
        self.assertEqual((picture.width, picture.height), (outer.width, outer.height))
        x, y = inside.x + 10, inside.y + 40
        self.assertTrue(color_close(picture.pixel(x - outer.x, y - outer.y), backdrop.expected_color(x, y),
                                    JPEG_TOLERANCE))
        self.assertEqual(program.close(), 0)
        settings = [os.path.join(root, name) for root, _, names in os.walk(home) for name in names
                    if name == "Zentrolux.ini"]
        self.assertEqual(len(settings), 1, settings)
        with open(settings[0], "rb") as f:
            lines = f.read().split(b"\r\n")
        self.assertEqual((lines[0], len(lines)), (b"[ZENTROLUX]", 12), "eleven lines ending with CR LF")
        return settings[0], found[0]

    @staticmethod
    def written_under_usr(marker):
        """Paths under /usr changed since the marker that no package claims (other developers' package
        installs on a shared machine are claimed; what a program writes there is not)."""
        found = run(["find", "/usr", "-xdev", "-path", "/usr/local", "-prune", "-o", "-newer", marker,
                     "-print"]).stdout.splitlines()
        return sorted(set(found) - owned_by_packages(found))

    def purge_if_installed(self):
        if installed():
            subprocess.run(APT + ["purge", PACKAGE], env=APT_ENV, capture_output=True, timeout=1200)


if __name__ == "__main__":
    unittest.main()
