#!/usr/bin/env python3
"""Times a snapshot as the user sees it, from a real press of the camera button (XTest) to a complete
CAPnnnn.jpg, against scrot writing the same rectangle as JPEG quality 100, in one run on one display
(Xvfb 1280 x 1024 with openbox, the gradient backdrop of the end-to-end tests below the window when it is
built). Both sizes of the window: the design size and 1280 x 1000 outer. The two are taken in turns, so
that a change in the machine's load falls on both alike. Prints the medians and their ratio.

    python3 bench/press_to_file.py [build folder] [--runs N]

Needs scrot (apt-get install scrot) and the packages scripts/setup-debian.sh installs.
"""

import argparse
import ctypes
import ctypes.util
import os
import re
import select
import shutil
import statistics
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import zxe2e  # noqa: E402

PROGRAM = "Zentrolux"
TWIPS_PER_PIXEL = 15  # the sessions run at 96 dpi
CAMERA_BUTTON = 25  # pixels, in the inside's top-right corner
SPLASH_SECONDS = 3.0
FILE_TIMEOUT = 5.0

IN_CLOSE_WRITE = 0x008
IN_MOVED_TO = 0x080
IN_CREATE = 0x100
IN_NONBLOCK = 0o4000
IN_CLOEXEC = 0o2000000


class FolderWatch:
    """inotify on one folder: when a file of a name appears there complete."""

    def __init__(self, folder):
        self.folder = folder
        self._libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self._fd = self._libc.inotify_init1(IN_NONBLOCK | IN_CLOEXEC)
        if self._fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        if self._libc.inotify_add_watch(self._fd, folder.encode(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE) < 0:
            raise OSError(ctypes.get_errno(), f"inotify_add_watch {folder}")

    def close(self):
        os.close(self._fd)

    def drain(self):
        while select.select([self._fd], [], [], 0)[0]:
            os.read(self._fd, 65536)

    def wait(self, pattern, timeout):
        """The time (perf_counter) at which a file whose name matches was there whole: renamed or linked
        into place, or closed after writing. None after timeout seconds."""
        deadline = time.perf_counter() + timeout
        while True:
            left = deadline - time.perf_counter()
            if left <= 0 or not select.select([self._fd], [], [], left)[0]:
                return None
            data = os.read(self._fd, 65536)
            now = time.perf_counter()
            at = 0
            while at < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, at)
                name = data[at + 16:at + 16 + length].rstrip(b"\0").decode()
                at += 16 + length
                if not re.fullmatch(pattern, name):
                    continue
                # A link made under the final name is whole at once; a file created there is whole
                # when it is closed.
                linked = mask & IN_CREATE and os.path.getsize(os.path.join(self.folder, name)) > 0
                if mask & (IN_MOVED_TO | IN_CLOSE_WRITE) or linked:
                    return now


class Pointer:
    """The X pointer and button, moved and pressed through XTest as a real mouse would."""

    def __init__(self, session):
        x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self._xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                                    ctypes.c_ulong]
        self._xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self._x11 = x11
        os.environ["XAUTHORITY"] = session.env["XAUTHORITY"]
        self._dpy = x11.XOpenDisplay(session.display.encode())
        if not self._dpy:
            raise RuntimeError(f"cannot open display {session.display}")

    def close(self):
        self._x11.XCloseDisplay(self._dpy)

    def move(self, x, y):
        self._xtst.XTestFakeMotionEvent(self._dpy, 0, x, y, 0)
        self._x11.XSync(self._dpy, 0)

    def click(self):
        """Presses and releases the left button; returns the moment of the press."""
        start = time.perf_counter()
        self._xtst.XTestFakeButtonEvent(self._dpy, 1, 1, 0)
        self._xtst.XTestFakeButtonEvent(self._dpy, 1, 0, 0)
        self._x11.XFlush(self._dpy)
        return start


def settings_file(outer):
    """A settings file that opens the window at outer (x, y, width, height), or none for the design size."""
    if outer is None:
        return None
    x, y, width, height = (v * TWIPS_PER_PIXEL for v in outer)
    return f"[ZENTROLUX]\r\nTop = {y}\r\nLeft = {x}\r\nWidth = {width}\r\nHeight = {height}\r\n"


def start_program(session, build, outer, label):
    folder = os.path.join(session.workdir, "program-" + label)
    os.makedirs(os.path.join(folder, "Images"))
    for name in (PROGRAM, "libZentrolux.so"):
        shutil.copy2(os.path.join(build, "bin", name), folder)
    settings = settings_file(outer)
    if settings:
        with open(os.path.join(folder, PROGRAM + ".ini"), "w", newline="") as out:
            out.write(settings)
    process = session.spawn([os.path.join(folder, PROGRAM)], name=PROGRAM)
    wid = session.wait_window(PROGRAM, pid=process.pid, timeout=15)
    time.sleep(SPLASH_SECONDS + 1.0)  # the splash, then the window at its place
    return folder, process, wid


def measure(session, build, pointer, outer, label, runs):
    folder, process, wid = start_program(session, build, outer, label)
    inside = session.geometry(wid)
    frame = session.outer_geometry(wid)
    images = os.path.join(folder, "Images")
    shots = os.path.join(session.workdir, "scrot-" + label)
    os.mkdir(shots)
    program_watch, scrot_watch = FolderWatch(images), FolderWatch(shots)
    pointer.move(inside.right - CAMERA_BUTTON // 2 - 1, inside.y + CAMERA_BUTTON // 2)
    time.sleep(0.3)
    area = f"{frame.x},{frame.y},{frame.width},{frame.height}"
    program_times, scrot_times = [], []
    try:
        # One of each first, not counted: caches, the writer library, the click sound.
        for index in range(runs + 1):
            program_watch.drain()
            pressed = pointer.click()
            done = program_watch.wait(r"CAP\d{4}\.jpg", FILE_TIMEOUT)
            if done is None:
                raise RuntimeError(f"{label}: no CAPnnnn.jpg {FILE_TIMEOUT} s after press {index + 1}")
            time.sleep(0.25)  # the button back and the window at rest

            scrot_watch.drain()
            target = os.path.join(shots, f"scrot{index:04d}.jpg")
            started = time.perf_counter()
            scrot = subprocess.Popen(["scrot", "--overwrite", "--quality", "100", "--autoselect", area, target],
                                     env=session.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            written = scrot_watch.wait(re.escape(os.path.basename(target)), FILE_TIMEOUT)
            _, errors = scrot.communicate(timeout=FILE_TIMEOUT)
            if written is None or scrot.returncode != 0:
                raise RuntimeError(f"scrot failed ({scrot.returncode}): {errors.decode(errors='replace')}")
            time.sleep(0.05)
            if index > 0:
                program_times.append((done - pressed) * 1000)
                scrot_times.append((written - started) * 1000)
    finally:
        program_watch.close()
        scrot_watch.close()
    taken = sorted(os.listdir(images))
    if taken != [f"CAP{n:04d}.jpg" for n in range(1, runs + 2)]:
        raise RuntimeError(f"{label}: the program wrote {taken}")
    session.forget(process)
    return frame, program_times, scrot_times


def describe(times):
    return f"median {statistics.median(times):6.2f} ms (min {min(times):6.2f}, max {max(times):6.2f})"


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build", nargs="?", default=os.path.join(HERE, "..", "build"))
    parser.add_argument("--runs", type=int, default=15)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    if shutil.which("scrot") is None:
        sys.exit("scrot is not installed: apt-get install scrot")
    backdrop_program = os.environ.get("ZX_BACKDROP") or os.path.join(build, "tests", "zx_backdrop")

    print(f"load average at start: {load()} ({os.cpu_count()} cores)", flush=True)
    results = []
    with zxe2e.XSession() as session:
        if os.path.isfile(backdrop_program):
            zxe2e.Backdrop(session, executable=backdrop_program).start(timeout=30)  # a busy machine is slow to start it
        else:
            print("(no zx_backdrop in the build: the bare root window lies below)")
        pointer = Pointer(session)
        try:
            for label, outer in (("design size", None), ("1280 x 1000", (0, 0, 1280, 1000))):
                frame, program_times, scrot_times = measure(session, build, pointer, outer, label.replace(" ", ""),
                                                            args.runs)
                ratio = statistics.median(program_times) / statistics.median(scrot_times)
                results.append((label, frame, program_times, scrot_times, ratio))
        finally:
            pointer.close()
    for label, frame, program_times, scrot_times, ratio in results:
        print(f"{label} ({frame.width} x {frame.height} outer), {len(program_times)} presses each:")
        print(f"  press to file  {describe(program_times)}")
        print(f"  scrot          {describe(scrot_times)}")
        print(f"  ratio          {ratio:.2f}")
    print(f"load average at end: {load()}")


if __name__ == "__main__":
    main()
