#!/usr/bin/env python3
"""Times snapshots through each screen-reading route, side by side in one run: route_bench on an X11
display (Xvfb + openbox: the X root window) and on headless Wayland desktops (sway and GNOME: the desktop
portal). Needs root for the Wayland desktops (they run as an ordinary user in private namespaces), and the
packages scripts/setup-debian.sh installs.

    python3 bench/compare_routes.py [build folder]
"""

import os
import shutil
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import zxe2e  # noqa: E402
import zxwayland  # noqa: E402


def run(session, folder, label):
    process = session.spawn([os.path.join(folder, "route_bench"), folder], name="route_bench")
    try:
        code = process.wait_exit(180)
    except AssertionError as error:
        return f"{label}: {error}"
    lines = [line for line in process.lines() if line.startswith("route ")]
    return f"{label}: " + (lines[-1] if lines else f"no figures (exit {code}); {process.stderr_text()[-300:]}")


def copy_into(folder, build):
    for path in (os.path.join(build, "bench", "route_bench"), os.path.join(build, "bin", "libZentrolux.so")):
        shutil.copy2(path, folder)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build"))
    results = []
    with zxe2e.XSession() as session:
        folder = os.path.join(session.workdir, "bench")
        os.mkdir(folder)
        copy_into(folder, build)
        results.append(run(session, folder, "X11 (Xvfb + openbox)"))
    for label, kind in (("sway (Wayland)", zxwayland.SwaySession), ("GNOME (Wayland)", zxwayland.GnomeSession),
                        ("KDE (Wayland)", zxwayland.KdeSession)):
        try:
            with kind() as session:
                folder = session.make_folder("bench-")
                copy_into(folder, build)
                session.give(folder)
                results.append(run(session, folder, label))
        except unittest.SkipTest as reason:
            results.append(f"{label}: not run ({reason})")
    print("\n".join(results))


if __name__ == "__main__":
    main()
