"""Programs on a private Xvfb display under openbox: processes, the display and its windows, the
backdrop, the program under test and the unittest base class.

Standard library only. The X tools it drives: Xvfb, xauth, openbox, xdotool, xprop, xwininfo, xdpyinfo
and ImageMagick (import, convert).

    with XSession() as session:
        backdrop = Backdrop(session).start()
        shot = session.screenshot()
        assert shot.pixel(10, 20) == backdrop.expected_color(10, 20)

Everything that waits polls with a deadline (waiting.py); nothing sleeps for a fixed time. Processes
are spawned from the calling thread with a parent-death signal, so call spawn() from the main thread.
"""

import atexit
import contextlib
import ctypes
import os
import pwd
import random
import re
import secrets
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from . import xlib
from .picture import FrameExtents, Image, Rect, gradient_color, load_image
from .waiting import COMMAND_TIMEOUT, EVENT_TIMEOUT, START_TIMEOUT, happens_within, wait_until

SCREEN_WIDTH = 1280
SCREEN_HEIGHT = 1024
SCREEN_DEPTH = 24
SCREEN_DPI = 96

PROGRAM_NAME = "Zentrolux"  # the build's program file, and the title of its window
LIBRARY_NAME = "libZentrolux.so"  # the JPEG writer it loads from its own folder


# ---------------------------------------------------------------------------------------------------
# Processes


class Process:
    """A spawned process in its own process group; stdout is collected line by line, stderr goes to a file."""

    def __init__(self, argv, env, cwd, stderr_path, name, pass_fds=(), merge_stdout=False, stdin_pipe=False,
                 user=None):
        self.argv = list(argv)
        self.name = name
        self.stderr_path = stderr_path
        self._lines = []
        self._cond = threading.Condition()
        prefix = []
        setpriv = shutil.which("setpriv")
        if setpriv:
            # Dies with the test process even when that is killed outright (a CTest timeout, say).
            prefix = [setpriv, "--pdeathsig", "TERM", "--"]
        with open(self.stderr_path, "wb") as err:
            self.proc = subprocess.Popen(prefix + self.argv, env=env, cwd=cwd,
                                         stdin=subprocess.PIPE if stdin_pipe else subprocess.DEVNULL,
                                         stdout=err if merge_stdout else subprocess.PIPE, stderr=err,
                                         start_new_session=True, pass_fds=pass_fds, **_identity(user))
        self.pid = self.proc.pid
        self._reader = None
        if not merge_stdout:
            self._reader = threading.Thread(target=self._read, name=f"stdout-{name}", daemon=True)
            self._reader.start()

    def __repr__(self):
        return f"<Process {self.name} pid {self.pid}>"

    def _read(self):
        for raw in self.proc.stdout:
            with self._cond:
                self._lines.append(raw.decode(errors="replace").rstrip("\r\n"))
                self._cond.notify_all()
        self.proc.stdout.close()

    def lines(self, start=0):
        """The stdout lines read so far, from index start on."""
        with self._cond:
            return self._lines[start:]

    def mark(self):
        """The number of lines read so far; pass it as start to wait_line to skip older lines."""
        with self._cond:
            return len(self._lines)

    def wait_line(self, pattern, timeout=EVENT_TIMEOUT, start=0):
        """Waits for a stdout line (from index start on) that matches the regex pattern; returns the match."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        index = start
        with self._cond:
            while True:
                while index < len(self._lines):
                    match = regex.search(self._lines[index])
                    index += 1
                    if match:
                        return match
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise AssertionError(f"{self.name}: no stdout line matching {pattern!r} within {timeout:g} s; "
                                         f"lines: {self._lines[start:]!r}")
                self._cond.wait(min(remaining, 0.1))

    def send(self, line):
        """Writes one line to the process's standard input (started with stdin_pipe=True)."""
        self.proc.stdin.write(line.encode() + b"\n")
        self.proc.stdin.flush()

    def stderr_text(self):
        try:
            with open(self.stderr_path, "rb") as err:
                return err.read().decode(errors="replace")
        except OSError:
            return ""

    def alive(self):
        return self.proc.poll() is None

    def state(self):
        """How the process is, for a failure message: running (and the kernel's word for it: S sleeping, R
        running, T stopped...) or its exit code, and its last words."""
        code = self.proc.poll()
        if code is None:
            try:
                with open(f"/proc/{self.pid}/stat") as stat:
                    how = f"running (state {stat.read().rsplit(')', 1)[1].split()[0]})"
            except (OSError, IndexError):
                how = "running"
        else:
            how = f"exited with {code}"
        said = " ".join(self.stderr_text().split())[-600:]
        return f"{self.name} (pid {self.pid}) {how}; stderr: {said!r}"

    def wait_exit(self, timeout=EVENT_TIMEOUT):
        """Waits for the process to end and returns its exit code."""
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"{self.name} (pid {self.pid}) still running after {timeout:g} s") from None

    def terminate(self, grace=3.0):
        """Ends the whole process group: SIGTERM, then SIGKILL after grace seconds."""
        for sig in (signal.SIGTERM, signal.SIGKILL):
            if self.proc.poll() is not None:
                break
            try:
                os.killpg(self.pid, sig)
            except ProcessLookupError:
                break
            try:
                self.proc.wait(grace)
            except subprocess.TimeoutExpired:
                continue
        if self.proc.stdin:
            self.proc.stdin.close()
        # Children left behind in the group (the leader gone) get the same treatment.
        try:
            os.killpg(self.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
        self.proc.wait()
        if self._reader:
            self._reader.join(2.0)


# ---------------------------------------------------------------------------------------------------
# The X session


_OPENBOX_RC = """<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse><focusLast>yes</focusLast></focus>
  <placement><policy>Smart</policy><center>yes</center><monitor>Primary</monitor></placement>
  <theme>
    <name>Clearlooks</name><titleLayout>NLIMC</titleLayout><keepBorder>yes</keepBorder>
    <animateIconify>no</animateIconify>
  </theme>
  <desktops><number>1</number><firstdesk>1</firstdesk><popupTime>0</popupTime></desktops>
  <resize><drawContents>yes</drawContents><popupShow>Never</popupShow></resize>
  <margins><top>0</top><bottom>0</bottom><left>0</left><right>0</right></margins>
  <keyboard>
    <keybind key="A-F4"><action name="Close"/></keybind>
  </keyboard>
  <mouse>
    <dragThreshold>1</dragThreshold>
    <doubleClickTime>400</doubleClickTime>
    <context name="Titlebar">
      <mousebind button="Left" action="Drag"><action name="Move"/></mousebind>
      <mousebind button="Left" action="DoubleClick"><action name="ToggleMaximize"/></mousebind>
    </context>
    <context name="Titlebar Top Right Bottom Left TLCorner TRCorner BRCorner BLCorner">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
    </context>
    <context name="Top"><mousebind button="Left" action="Drag"><action name="Resize"><edge>top</edge></action></mousebind></context>
    <context name="Left"><mousebind button="Left" action="Drag"><action name="Resize"><edge>left</edge></action></mousebind></context>
    <context name="Right"><mousebind button="Left" action="Drag"><action name="Resize"><edge>right</edge></action></mousebind></context>
    <context name="Bottom"><mousebind button="Left" action="Drag"><action name="Resize"><edge>bottom</edge></action></mousebind></context>
    <context name="TRCorner BRCorner TLCorner BLCorner">
      <mousebind button="Left" action="Drag"><action name="Resize"/></mousebind>
    </context>
    <context name="Client">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
      <mousebind button="Middle" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
      <mousebind button="Right" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
    </context>
    <context name="Close">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
      <mousebind button="Left" action="Click"><action name="Close"/></mousebind>
    </context>
    <context name="Maximize">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
      <mousebind button="Left" action="Click"><action name="ToggleMaximize"/></mousebind>
    </context>
    <context name="Iconify">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
      <mousebind button="Left" action="Click"><action name="Iconify"/></mousebind>
    </context>
  </mouse>
  <menu><file>menu.xml</file><hideDelay>0</hideDelay></menu>
  <applications/>
</openbox_config>
"""

_OPENBOX_MENU = """<?xml version="1.0" encoding="UTF-8"?>
<openbox_menu xmlns="http://openbox.org/3.4/menu">
  <menu id="root-menu" label="Menu"/>
  <menu id="client-menu" label="Window"/>
</openbox_menu>
"""

# Inherited variables that would point a program at the host's desktop, bus, sound or scaling.
_DROPPED_PREFIXES = ("QT_", "XDG_", "GTK_", "GDK_", "WAYLAND_", "DBUS_", "PULSE_", "LC_")
_DROPPED_NAMES = {"DISPLAY", "XAUTHORITY", "SESSION_MANAGER", "DESKTOP_SESSION", "LANGUAGE", "TMPDIR",
                  "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "NO_AT_BRIDGE"}


_SOURCE_PAGER = 2  # window managers obey requests from pagers without focus-stealing checks
# Qt's defaults (400 ms, 5 pixels), with a margin for the time a click takes to reach the program.
_DOUBLE_CLICK_INTERVAL = 0.6
_DOUBLE_CLICK_DISTANCE = 6


class XDisplayClient:
    """What the tests do on an X display through xdotool, xprop, xwininfo and libX11: find windows, read
    their geometry and state, ask the window manager, send input. Subclasses provide the display (display,
    env, width, height) and may route commands elsewhere by overriding command()."""

    display = None
    env = None
    width = SCREEN_WIDTH
    height = SCREEN_HEIGHT
    dpi = SCREEN_DPI  # what the program's logical dots per inch follow
    _xdisplay = None
    _clipboard = None
    _last_click = None  # (time.monotonic(), button, x, y)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def describe(self):
        """What a failure message should tell of the display's own processes."""
        return f"display {self.display}"

    def command(self, cmd, cwd=None):
        """The argv that runs cmd for this display (subclasses wrap it, e.g. into another user or namespace)."""
        return list(cmd)

    def run(self, cmd, check=True, timeout=COMMAND_TIMEOUT, input=None, env=None, text=True):
        """Runs cmd to the end with the session environment; returns the CompletedProcess (text output)."""
        full_env = dict(self.env)
        full_env.update(env or {})
        result = subprocess.run(self.command(cmd), env=full_env, capture_output=True, text=text, timeout=timeout,
                                input=input)
        if check and result.returncode != 0:
            stderr = result.stderr if text else result.stderr.decode(errors="replace")
            raise RuntimeError(f"{' '.join(map(str, cmd))} failed ({result.returncode}): {stderr.strip()}")
        return result

    # -- windows ----------------------------------------------------------------------------------

    def find_windows(self, name=None, pid=None, onlyvisible=True):
        """Ids of the windows whose title is exactly name (any title when None) and, if given, owned by pid.

        onlyvisible matters: Qt keeps a hidden window with the same title as the visible one. A minimized
        window is not visible either; look for it with onlyvisible=False.
        """
        cmd = ["xdotool", "search", "--all"]
        if onlyvisible:
            cmd.append("--onlyvisible")
        if pid is not None:
            cmd += ["--pid", str(pid)]
        cmd += ["--name", "^" + _posix_regex_escape(name) + "$" if name is not None else ".*"]
        result = self.run(cmd, check=False)
        wids = [int(line) for line in result.stdout.split() if line.isdigit()]
        if name is not None:
            # xdotool matches without regard to case.
            wids = [wid for wid in wids if self.window_name(wid) == name]
        return wids

    def wait_windows(self, name=None, pid=None, timeout=START_TIMEOUT, managed=True):
        """Waits until at least one window matches (see find_windows) and returns all that do.

        managed: also wait until the window manager has framed them (_NET_FRAME_EXTENTS is set).
        """
        def found():
            wids = self.find_windows(name, pid)
            if managed and not all(self.frame_extents(wid) is not None for wid in wids):
                return []
            return wids

        return wait_until(found, timeout, message=f"no visible window named {name!r} (pid {pid})")

    def wait_window(self, name=None, pid=None, timeout=START_TIMEOUT, managed=True):
        """Waits until exactly one window matches and returns its id."""
        def single():
            wids = self.find_windows(name, pid)
            if len(wids) != 1 or (managed and self.frame_extents(wids[0]) is None):
                return None
            return wids[0]

        def now():
            wids = self.find_windows(name, pid)
            frames = {wid: self.frame_extents(wid) for wid in wids}
            hidden = {wid: self.map_state(wid) for wid in self.find_windows(name, pid, onlyvisible=False)
                      if wid not in wids}
            return (f"no single managed window named {name!r} (pid {pid}); visible now: {frames} "
                    f"(id: frame extents), hidden: {hidden}; {self.describe()}")

        return wait_until(single, timeout, message=now)

    def window_exists(self, wid):
        return self.run(["xwininfo", "-id", str(wid)], check=False).returncode == 0

    def map_state(self, wid):
        """"IsViewable", "IsUnMapped" or "IsUnviewable" (mapped, under an unmapped parent); None when gone."""
        match = re.search(r"Map State: (\w+)", self.run(["xwininfo", "-id", str(wid)], check=False).stdout)
        return match.group(1) if match else None

    def geometry(self, wid):
        """The inside (client area) of the window: absolute x, y and its width, height."""
        out = self.run(["xwininfo", "-id", str(wid)]).stdout
        values = {}
        for key, label in (("x", "Absolute upper-left X"), ("y", "Absolute upper-left Y"), ("width", "Width"),
                           ("height", "Height")):
            match = re.search(rf"^\s*{label}:\s*(-?\d+)", out, re.MULTILINE)
            if not match:
                raise RuntimeError(f"xwininfo gave no {label} for {wid}: {out}")
            values[key] = int(match.group(1))
        return Rect(**values)

    def frame_extents(self, wid):
        """FrameExtents(left, right, top, bottom) of the window manager's frame, or None before it is framed."""
        values = self._window_property(wid, "_NET_FRAME_EXTENTS")
        return FrameExtents(*values) if values and len(values) == 4 else None

    def outer_geometry(self, wid):
        """The window with its frame and title bar (frame taken as zero when the window is not framed)."""
        inside = self.geometry(wid)
        frame = self.frame_extents(wid) or FrameExtents(0, 0, 0, 0)
        return Rect(inside.x - frame.left, inside.y - frame.top, inside.width + frame.left + frame.right,
                    inside.height + frame.top + frame.bottom)

    def window_name(self, wid):
        result = self.run(["xdotool", "getwindowname", str(wid)], check=False)
        return result.stdout.rstrip("\n") if result.returncode == 0 else None

    def window_pid(self, wid):
        values = self._window_property(wid, "_NET_WM_PID")
        return values[0] if values else None

    def net_wm_state(self, wid):
        """The window's _NET_WM_STATE atoms, e.g. ['_NET_WM_STATE_ABOVE']."""
        result = self.run(["xprop", "-id", str(wid), "-notype", "_NET_WM_STATE"], check=False)
        if result.returncode != 0 or "=" not in result.stdout:
            return []
        return [atom.strip() for atom in result.stdout.split("=", 1)[1].split(",") if atom.strip()]

    def stacking_order(self):
        """Managed windows from bottom to top (_NET_CLIENT_LIST_STACKING)."""
        return self._root_window_property("_NET_CLIENT_LIST_STACKING") or []

    def is_above(self, upper, lower):
        """True when window upper stands above window lower in the stacking order."""
        order = self.stacking_order()
        return upper in order and lower in order and order.index(upper) > order.index(lower)

    def active_window(self):
        values = self._root_window_property("_NET_ACTIVE_WINDOW")
        return values[0] if values and values[0] else None

    def _root_window_property(self, prop):
        return self._window_property(None, prop)

    def _window_property(self, wid, prop):
        """The numbers of a CARDINAL or WINDOW property, or None when it is not set."""
        cmd = ["xprop", "-root"] if wid is None else ["xprop", "-id", str(wid)]
        result = self.run(cmd + ["-notype", prop], check=False)
        rest = result.stdout.strip()[len(prop):] if result.returncode == 0 else ""
        if rest.startswith(" ="):
            text = rest[2:]
        elif rest.startswith(":") and "#" in rest:  # ": window id # 0x..., 0x..."
            text = rest.split("#", 1)[1]
        else:  # ":  not found." and the like
            return None
        numbers = [int(n, 0) for n in re.findall(r"0x[0-9a-fA-F]+|-?\d+", text)]
        return numbers or None

    # -- window manager requests ------------------------------------------------------------------

    def activate(self, wid, timeout=EVENT_TIMEOUT):
        """Asks the window manager to activate (focus and raise) the window and waits until it is active."""
        self.run(["xdotool", "windowactivate", str(wid)], check=False)
        wait_until(lambda: self.active_window() == wid, timeout, message=f"window {wid} did not become active")

    def raise_window(self, wid):
        """Puts the window on top of its layer without activating it (_NET_RESTACK_WINDOW as a pager).

        A normal window never rises above an always-on-top one this way.
        """
        self.send_wm_message(wid, "_NET_RESTACK_WINDOW", [_SOURCE_PAGER, 0, 0])  # 0: Above, no sibling

    def minimize(self, wid):
        self.run(["xdotool", "windowminimize", str(wid)])

    def close_window(self, wid):
        """Asks the window manager to close the window, as its close button does (_NET_CLOSE_WINDOW)."""
        self.send_wm_message(wid, "_NET_CLOSE_WINDOW", [0, _SOURCE_PAGER])

    def set_wm_state(self, wid, add=(), remove=()):
        """Adds or removes _NET_WM_STATE atoms, e.g. add=['_NET_WM_STATE_ABOVE'] or the two MAXIMIZED ones."""
        for action, atoms in ((1, list(add)), (0, list(remove))):
            for first in range(0, len(atoms), 2):
                pair = atoms[first : first + 2]
                data = [action, self._atom(pair[0]), self._atom(pair[1]) if len(pair) > 1 else 0, _SOURCE_PAGER]
                self.send_wm_message(wid, "_NET_WM_STATE", data)

    def maximize(self, wid, on=True):
        states = ["_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"]
        self.set_wm_state(wid, add=states if on else (), remove=() if on else states)

    def _open_xdisplay(self):
        """This process's own libX11 connection to the display, opened on first use."""
        if self._xdisplay is None:
            self._xdisplay = xlib.open_display(self.display, self.env.get("XAUTHORITY"))
        return self._xdisplay

    def _close_xdisplay(self):
        if self._xdisplay:
            xlib.lib().XCloseDisplay(self._xdisplay)
        self._xdisplay = None
        self._atoms = {}
        self._clipboard = None

    def _atom(self, name):
        if name not in self._atoms:
            self._atoms[name] = xlib.lib().XInternAtom(self._open_xdisplay(), name.encode(), 0)
        return self._atoms[name]

    def send_wm_message(self, wid, message, data):
        """Sends the window manager a client message about wid: message type name, up to five longs."""
        self._send_client_message(wid, message, data, xlib.lib().XDefaultRootWindow(self._open_xdisplay()),
                                  xlib.SUBSTRUCTURE_NOTIFY_REDIRECT)

    def delete_window(self, wid):
        """Sends the window itself WM_DELETE_WINDOW, as a window manager's close button does."""
        self._send_client_message(wid, "WM_PROTOCOLS", [self._atom("WM_DELETE_WINDOW")], wid, 0)

    def _send_client_message(self, wid, message, data, to, mask):
        x = xlib.lib()
        dpy = self._open_xdisplay()
        event = xlib.Event()
        event.xclient.type = xlib.CLIENT_MESSAGE
        event.xclient.send_event = 1
        event.xclient.window = wid
        event.xclient.message_type = self._atom(message)
        event.xclient.format = 32
        for i, value in enumerate(data[:5]):
            event.xclient.data[i] = value
        x.XSendEvent(dpy, to, 0, mask, ctypes.byref(event))
        x.XSync(dpy, 0)

    def selection_owner(self, selection):
        """The window that owns the selection named selection (e.g. _NET_WM_CM_S0), 0 when none does."""
        return xlib.lib().XGetSelectionOwner(self._open_xdisplay(), self._atom(selection))

    def clear_clipboard(self):
        """Takes the clipboard from its owner, so that clipboard_text() waits for a new copy."""
        self._clipboard_reader().clear()

    def clipboard_text(self, timeout=EVENT_TIMEOUT):
        """Waits until another client owns the clipboard and gives its text; returns the text."""
        return wait_until(lambda: self._clipboard_reader().read(timeout), timeout, message="text on the clipboard")

    def _clipboard_reader(self):
        if self._clipboard is None:
            self._clipboard = xlib.Clipboard(self._open_xdisplay())
        return self._clipboard

    # -- input ------------------------------------------------------------------------------------

    def pointer(self):
        """The pointer's screen position."""
        out = self.run(["xdotool", "getmouselocation", "--shell"]).stdout
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"])

    def move_mouse(self, x, y):
        # "mousemove --sync" waits for a motion event, which never comes when the
        # pointer is already there; step aside first, as a hand on a mouse would.
        if self.pointer() == (x, y):
            self.run(["xdotool", "mousemove", "--sync", str(x + 1 if x + 1 < self.width else x - 1), str(y)])
        self.run(["xdotool", "mousemove", "--sync", str(x), str(y)])

    def click(self, x, y, button=1):
        """Moves the pointer to screen (x, y) and clicks there (X button numbers: 1 left, 2 middle, 3 right)."""
        self._space_clicks(x, y, button)
        self.move_mouse(x, y)
        self.run(["xdotool", "click", str(button)])

    def _space_clicks(self, x, y, button):
        """Waits out the double-click interval after a click of the same button at about the same spot.

        Qt makes the second of two such clicks a double click, and a double click with the right button
        opens no context menu: a menu command and the next right click on the camera button, sent at
        once, left the menu shut 5 times in 6.
        """
        last = self._last_click
        if last and last[1] == button and abs(last[2] - x) <= _DOUBLE_CLICK_DISTANCE \
                and abs(last[3] - y) <= _DOUBLE_CLICK_DISTANCE:
            time.sleep(max(0.0, last[0] + _DOUBLE_CLICK_INTERVAL - time.monotonic()))
        self._last_click = (time.monotonic(), button, x, y)

    def key(self, keyspec, wid=None, delay=None):
        """Presses keys, e.g. "space", "shift+Left" or a list of them, on the window with the keyboard focus.

        With wid, that window is activated first and the keys go to it. Real (XTEST) key events are used;
        they reach a Qt window reliably once it is active. delay: milliseconds between keys (xdotool's
        default is 12); a long row goes faster with 1.
        """
        keys = keyspec.split() if isinstance(keyspec, str) else list(keyspec)
        if wid is not None:
            self.activate(wid)
        timing = ["--delay", str(delay)] if delay is not None else []
        self.run(["xdotool", "key", "--clearmodifiers"] + timing + keys)

    def type_text(self, text, wid=None):
        """Types text as key presses (to wid after activating it, else to the focused window)."""
        if wid is not None:
            self.activate(wid)
        self.run(["xdotool", "type", "--clearmodifiers", "--file", "-"], input=text)


class XSession(XDisplayClient):
    """A private X display with openbox, started by start() or `with`, ended by stop().

    dpi: what the X server reports (Xvfb -dpi). Qt's logical dots per inch ignore it and follow the
    Xft.dpi resource, so a scaled desktop needs resources={"Xft.dpi": 192} as well.
    resources: X resources ({name: value} or "name: value" lines) loaded with xrdb before the window
    manager starts, as a desktop's session does.
    monitors: Rects (or (x, y, width, height) tuples) that split the one screen into monitors
    (RandR 1.5, xrandr --setmonitor), set before the window manager starts. Exactly these are listed
    afterwards: the first takes over the screen's own monitor.
    """

    def __init__(self, width=SCREEN_WIDTH, height=SCREEN_HEIGHT, depth=SCREEN_DEPTH, dpi=SCREEN_DPI,
                 window_manager=True, resources=None, monitors=None):
        self.width = width
        self.height = height
        self.depth = depth
        self.dpi = dpi
        self.window_manager = window_manager
        if isinstance(resources, dict):
            resources = "".join(f"{name}: {value}\n" for name, value in resources.items())
        self.resources = resources
        self.requested_monitors = [Rect(*m) for m in monitors] if monitors else []
        self.display = None
        self.workdir = None
        self.env = None
        self.wm_log_path = None
        self._xvfb = None
        self._wm = None
        self._processes = []
        self._counter = 0
        self._xdisplay = None
        self._atoms = {}

    # -- start and stop ---------------------------------------------------------------------------

    def start(self):
        self.workdir = tempfile.mkdtemp(prefix="zxe2e-")
        _live_sessions.add(self)
        try:
            self._prepare_folders()
            self._start_xvfb()
            if self.resources:
                self.run(["xrdb", "-merge", "-"], input=self.resources)
            if self.requested_monitors:
                self._set_monitors()
            if self.window_manager:
                self._start_window_manager()
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self):
        """Ends every process this session started, then the display, and removes the session folder."""
        self._close_xdisplay()
        for process in reversed(self._processes):
            process.terminate()
        self._processes.clear()
        for process in (self._wm, self._xvfb):
            if process:
                process.terminate()
        self._wm = self._xvfb = None
        if self.workdir:
            shutil.rmtree(self.workdir, ignore_errors=True)
            self.workdir = None
        _live_sessions.discard(self)

    def _prepare_folders(self):
        home = os.path.join(self.workdir, "home")
        config = os.path.join(home, ".config")
        runtime = os.path.join(self.workdir, "runtime")
        tmp = os.path.join(self.workdir, "tmp")
        for folder in (home, config, os.path.join(config, "openbox"), os.path.join(home, ".cache"),
                       os.path.join(home, ".local", "share"), os.path.join(home, ".local", "state"), tmp,
                       os.path.join(self.workdir, "logs"), os.path.join(self.workdir, "cwd")):
            os.makedirs(folder, exist_ok=True)
        os.mkdir(runtime, 0o700)
        os.chmod(runtime, 0o700)  # the umask may have taken bits away; the runtime folder must be 0700
        with open(os.path.join(config, "openbox", "rc.xml"), "w") as rc:
            rc.write(_OPENBOX_RC)
        with open(os.path.join(config, "openbox", "menu.xml"), "w") as menu:
            menu.write(_OPENBOX_MENU)

        env = {k: v for k, v in os.environ.items()
               if k not in _DROPPED_NAMES and not k.startswith(_DROPPED_PREFIXES)}
        env.update({
            "HOME": home,
            "XDG_CONFIG_HOME": config,
            "XDG_CONFIG_DIRS": config,  # keeps /etc/xdg (system openbox menus, autostart) out
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "XDG_STATE_HOME": os.path.join(home, ".local", "state"),
            "XDG_RUNTIME_DIR": runtime,
            "XDG_SESSION_TYPE": "x11",
            "TMPDIR": tmp,
            "LANG": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb",
            # A bus and a sound server that do not exist: nothing reaches the host's, nothing autostarts.
            "DBUS_SESSION_BUS_ADDRESS": f"unix:path={runtime}/no-bus",
            "PULSE_SERVER": f"unix:{runtime}/no-pulse",
            "NO_AT_BRIDGE": "1",
        })
        self.env = env

    def _start_xvfb(self):
        auth_path = os.path.join(self.workdir, "Xauthority")
        open(auth_path, "wb").close()
        self.env["XAUTHORITY"] = auth_path
        use_auth = shutil.which("xauth") is not None
        number = random.randint(200, 2000)
        failures = []
        for _ in range(30):
            while os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
                number += 1
            argv = ["Xvfb", f":{number}", "-screen", "0", f"{self.width}x{self.height}x{self.depth}",
                    "-dpi", str(self.dpi), "-nolisten", "tcp", "-noreset"]
            if use_auth:
                subprocess.run(["xauth", "-q", "-f", auth_path, "add", f":{number}", ".", secrets.token_hex(16)],
                               check=True, timeout=COMMAND_TIMEOUT, env=self.env)
                argv += ["-auth", auth_path]
            read_end, write_end = os.pipe()
            try:
                process = self._new_process(argv + ["-displayfd", str(write_end)], f"xvfb-{number}",
                                            pass_fds=(write_end,))
            finally:
                os.close(write_end)
            try:
                answer = _read_line(read_end, START_TIMEOUT)
            finally:
                os.close(read_end)
            if answer.strip() == str(number).encode():
                self._xvfb = process
                self.display = f":{number}"
                self.env["DISPLAY"] = self.display
                break
            process.terminate()
            failures.append(f":{number}: {process.stderr_text().strip()[-400:]}")
            number += 1
        else:
            raise RuntimeError("could not start Xvfb:\n" + "\n".join(failures[-3:]))
        wait_until(lambda: self.run(["xdpyinfo"], check=False).returncode == 0, START_TIMEOUT,
                   message=f"display {self.display} does not answer")

    def _set_monitors(self):
        # The server keeps the monitors only while it does not reset (Xvfb runs with -noreset).
        outputs = re.findall(r"^(\S+) connected", self.run(["xrandr"]).stdout, re.MULTILINE)
        if not outputs:
            raise RuntimeError(f"xrandr lists no connected output on {self.display}")
        for index, m in enumerate(self.requested_monitors):
            millimetres = lambda pixels: max(1, round(pixels * 25.4 / self.dpi))  # noqa: E731
            layout = f"{m.width}/{millimetres(m.width)}x{m.height}/{millimetres(m.height)}+{m.x}+{m.y}"
            # The first names the output, so its automatic monitor (the whole screen) is not listed.
            self.run(["xrandr", "--setmonitor", f"zx{index}", layout, outputs[0] if index == 0 else "none"])
        listed = self.monitors()
        if sorted(listed) != sorted(self.requested_monitors):
            raise RuntimeError(f"monitors {listed} instead of {self.requested_monitors} on {self.display}")

    def monitors(self):
        """The monitors the X server lists now (xrandr --listmonitors), as Rects in screen pixels."""
        out = self.run(["xrandr", "--listmonitors"]).stdout
        return [Rect(int(x), int(y), int(w), int(h)) for w, h, x, y in
                re.findall(r"^\s*\d+: \S+ (\d+)/\d+x(\d+)/\d+\+(-?\d+)\+(-?\d+)", out, re.MULTILINE)]

    def _start_window_manager(self):
        config = os.path.join(self.env["XDG_CONFIG_HOME"], "openbox", "rc.xml")
        for attempt in (1, 2):
            log_name = f"openbox-{attempt}.log"
            self.wm_log_path = os.path.join(self.workdir, "logs", log_name)
            self._wm = self._new_process(["openbox", "--sm-disable", "--config-file", config], "openbox",
                                         log_name=log_name)
            try:
                wait_until(lambda: self._wm.proc.poll() is not None or self._wm_check_window(), START_TIMEOUT,
                           message="openbox did not come up")
                if self._wm.proc.poll() is None:
                    self._wait_managing()
                    return
            except AssertionError:
                pass
            log = self._wm.stderr_text()
            self._wm.terminate()
            self._wm = None
            if attempt == 2:
                raise RuntimeError(f"openbox did not start on {self.display}; its log:\n{log}")

    def describe(self):
        return f"display {self.display}, window manager " + (self._wm.state() if self._wm else "none")

    @contextlib.contextmanager
    def window_manager_paused(self):
        """Stops openbox (SIGSTOP) for the with block, as a busy window manager that answers late: requests
        to it (moves, activation) wait until the block ends. Send keys without a wid meanwhile."""
        os.kill(self._wm.pid, signal.SIGSTOP)
        try:
            yield
        finally:
            os.kill(self._wm.pid, signal.SIGCONT)

    def _wait_managing(self):
        """Waits until openbox frames a window of ours. It names its check window early in its start-up,
        before it reads its configuration and theme and takes on the windows already there; a test's first
        window, mapped in between, now and then stayed unmapped for good. The probe is mapped again while
        no frame comes, at growing intervals (a busy machine frames late)."""
        x = xlib.lib()
        dpy = self._open_xdisplay()
        probe = x.XCreateSimpleWindow(dpy, x.XDefaultRootWindow(dpy), 0, 0, 16, 16, 0, 0, 0)
        deadline = time.monotonic() + START_TIMEOUT
        patience = 2.0
        try:
            while True:
                x.XMapWindow(dpy, probe)
                x.XSync(dpy, 0)
                if happens_within(lambda: self.frame_extents(probe) is not None, patience):
                    break
                if time.monotonic() >= deadline:
                    raise AssertionError(f"openbox framed no window in {START_TIMEOUT:g} s; "
                                         f"{self.describe()}; probe {self.map_state(probe)}")
                x.XUnmapWindow(dpy, probe)
                patience = min(2 * patience, 16.0)
        finally:
            x.XDestroyWindow(dpy, probe)
            x.XSync(dpy, 0)
        # Tests read the window manager's lists: the probe must be gone from them.
        wait_until(lambda: probe not in (self._root_window_property("_NET_CLIENT_LIST") or []), EVENT_TIMEOUT,
                   message="openbox still lists its probe window")

    def _wm_check_window(self):
        # The root property outlives a window manager that was killed, so the window it names must exist.
        wid = self._root_window_property("_NET_SUPPORTING_WM_CHECK")
        if not wid:
            return None
        probe = self.run(["xprop", "-id", str(wid[0]), "_NET_SUPPORTING_WM_CHECK"], check=False)
        return wid[0] if probe.returncode == 0 and "window id" in probe.stdout else None

    # -- processes --------------------------------------------------------------------------------

    def _new_process(self, argv, name, cwd=None, env=None, pass_fds=(), log_name=None, user=None):
        self._counter += 1
        unique = f"{self._counter:02d}-{name}"
        stderr_path = os.path.join(self.workdir, "logs", log_name or f"{unique}.stderr")
        return Process(argv, env or self.env, cwd, stderr_path, unique, pass_fds, merge_stdout=bool(log_name),
                       user=user)

    def spawn(self, cmd, cwd=None, env=None, name=None, user=None):
        """Starts cmd (a list) with the session environment (plus env) and returns its Process.

        The session ends it on stop(). cwd defaults to an empty folder of the session. A variable given as
        None in env is removed. With user (a login name; needs root), the process runs as that user: give
        it a cwd, HOME, XAUTHORITY and XDG_RUNTIME_DIR it may use, since the session's are root's.
        """
        full_env = {k: v for k, v in {**self.env, **(env or {})}.items() if v is not None}
        process = self._new_process(cmd, name or os.path.basename(cmd[0]), cwd or os.path.join(self.workdir, "cwd"),
                                    full_env, user=user)
        self._processes.append(process)
        return process

    def forget(self, process):
        """Ends process now and stops tracking it."""
        process.terminate()
        if process in self._processes:
            self._processes.remove(process)

    # -- pictures ---------------------------------------------------------------------------------

    def screenshot(self):
        """The whole screen as the X server shows it now (no compositor: what lies under shaped parts shows)."""
        result = subprocess.run(["import", "-silent", "-window", "root", "-depth", "8", "ppm:-"], env=self.env,
                                capture_output=True, timeout=COMMAND_TIMEOUT)
        if result.returncode != 0:
            raise RuntimeError(f"import failed: {result.stderr.decode(errors='replace').strip()}")
        return Image.from_pnm(result.stdout)


def reported_clicks(lines, origin=(0, 0)):
    """[(button, x, y)] of the "click BUTTON X Y" lines a test window prints, moved by origin."""
    out = []
    for line in lines:
        match = re.fullmatch(r"click (\d+) (-?\d+) (-?\d+)", line)
        if match:
            button, x, y = (int(v) for v in match.groups())
            out.append((button, x + origin[0], y + origin[1]))
    return out


def _identity(user):
    """Popen's arguments that run a process as user (a login name), with that user's group alone."""
    if user is None:
        return {}
    entry = pwd.getpwnam(user)
    return {"user": entry.pw_uid, "group": entry.pw_gid, "extra_groups": []}


def _read_line(fd, timeout):
    """Reads from fd up to a newline, end of file or the deadline.

    Xvfb writes the display number once it accepts connections and then, in a second write, the
    newline; it dies if the pipe is closed in between, so the newline must be read as well.
    """
    deadline = time.monotonic() + timeout
    data = b""
    while not data.endswith(b"\n"):
        ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            break
        chunk = os.read(fd, 64)
        if not chunk:
            break
        data += chunk
    return data


def _posix_regex_escape(text):
    return re.sub(r"([.\[\]()*+?{}|^$\\])", r"\\\1", text)


_live_sessions = set()


def _stop_live_sessions():
    for session in list(_live_sessions):
        session.stop()


atexit.register(_stop_live_sessions)


# ---------------------------------------------------------------------------------------------------
# The backdrop program


def sky_level(x, y):
    """The grey level of the backdrop's sky at a screen pixel, as zx_backdrop paints it (away from its star)."""
    return 20 + ((((x * 73856093) & 0xFFFFFFFF) ^ ((y * 19349663) & 0xFFFFFFFF)) % 7) - 3


class Backdrop:
    """A zx_backdrop window: a known picture under the window under test, and a witness of clicks and keys.

    geometry: Rect or (x, y, width, height) of the inside; default the whole screen, without frame.
    pattern: "gradient", "solid:RRGGBB" (or an (r, g, b) tuple) or "sky:FILE" (a dark sky with a star that
    FILE places: see zx_backdrop).
    desktop: a desktop's background (_NET_WM_WINDOW_TYPE_DESKTOP), which window managers keep below the
    others; a plain full-screen window, once clicked, some of them put over every window (mutter, muffin).
    managed: wait for the window manager's frame extents; GNOME on Wayland sets none on a frameless window.
    """

    def __init__(self, session, geometry=None, pattern="gradient", title="zx_backdrop", frameless=None,
                 above=False, executable=None, desktop=False, managed=True):
        self.session = session
        full_screen = geometry is None
        self.requested = Rect(0, 0, session.width, session.height) if full_screen else Rect(*geometry)
        if isinstance(pattern, tuple):
            pattern = "solid:%02x%02x%02x" % pattern
        self.pattern = pattern
        self.solid = None
        if pattern.startswith("solid:"):
            value = int(pattern[6:], 16)
            self.solid = ((value >> 16) & 255, (value >> 8) & 255, value & 255)
        elif pattern != "gradient" and not pattern.startswith("sky:"):
            raise ValueError(f"unknown pattern {pattern!r}")
        self.sky = pattern.startswith("sky:")
        self.title = title
        self.frameless = full_screen if frameless is None else frameless
        self.above = above
        self.desktop = desktop
        self.managed = managed
        self.executable = executable or os.environ.get("ZX_BACKDROP")
        if not self.executable:
            raise unittest.SkipTest("ZX_BACKDROP is not set (path of the zx_backdrop test program)")
        self.process = None
        self.wid = None

    def start(self, timeout=START_TIMEOUT):
        """Starts the window and waits until it is framed and its picture shows on the screen."""
        r = self.requested
        cmd = [self.executable, "--geometry", f"{r.width}x{r.height}{r.x:+d}{r.y:+d}", "--pattern", self.pattern,
               "--title", self.title]
        if self.frameless:
            cmd.append("--frameless")
        if self.above:
            cmd.append("--above")
        if self.desktop:
            cmd.append("--desktop")
        # An X11 window on Wayland desktops too, through Xwayland like the program.
        self.process = self.session.spawn(cmd, name="backdrop", env={"QT_QPA_PLATFORM": "xcb"})
        try:
            self.wid = self.session.wait_window(self.title, pid=self.process.pid, timeout=timeout,
                                                managed=self.managed)
        except AssertionError as error:
            raise AssertionError(f"{error}; {self.process.state()}") from None
        wait_until(self._painted, timeout, message=f"backdrop {self.title!r} not painted")
        return self

    def _painted(self):
        # A grid of probes, most of which must show the pattern: a window already on screen (the
        # program's, always on top) may cover some of them.
        inside = self.session.geometry(self.wid)
        shot = self.session.screenshot()
        probes = [(inside.x + (inside.width - 1) * i // 4, inside.y + (inside.height - 1) * j // 4)
                  for i in range(5) for j in range(5)]
        probes = [(x, y) for x, y in probes if 0 <= x < shot.width and 0 <= y < shot.height]
        matching = sum(shot.pixel(x, y) == self.expected_color(x, y) for x, y in probes)
        return probes and matching * 2 > len(probes)

    def stop(self):
        if self.process:
            self.session.forget(self.process)
            self.process = None

    def geometry(self):
        return self.session.geometry(self.wid)

    def expected_color(self, x, y):
        """The colour this backdrop shows at screen (x, y), where nothing covers it."""
        if self.sky:
            return (sky_level(x, y),) * 3
        return self.solid if self.solid else gradient_color(x, y)

    def mark(self):
        """Pass to clicks()/keys()/wait_click() as since= to look only at what comes after now."""
        return self.process.mark()

    def clicks(self, since=0):
        """[(button, x, y)] of the mouse presses it received, screen coordinates."""
        return reported_clicks(self.process.lines(since))

    def keys(self, since=0):
        """The key presses it received, as Qt names them ("Space", "Shift+Left", "+")."""
        return [line[4:] for line in self.process.lines(since) if line.startswith("key ")]

    def wait_click(self, x, y, button=1, timeout=EVENT_TIMEOUT, since=0):
        match = self.process.wait_line(rf"^click {button} {x} {y}$", timeout, since)
        return match.group(0)


# ---------------------------------------------------------------------------------------------------
# unittest base class


class ProgramHandle:
    """A running copy of the program under test."""

    def __init__(self, session, folder, name, process):
        self.session = session
        self.folder = folder
        self.name = name
        self.process = process
        self.proc = process.proc
        self.wid = None

    def inside(self):
        """The window's inside on the screen."""
        return self.session.geometry(self.wid)

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def wait_window(self, title=None, timeout=START_TIMEOUT, managed=True):
        """Waits for this process's single visible window titled title (default: the program name)."""
        try:
            self.wid = self.session.wait_window(self.name if title is None else title, pid=self.process.pid,
                                                timeout=timeout, managed=managed)
        except AssertionError as error:
            raise AssertionError(f"{error}; {self.process.state()}") from None
        return self.wid

    def wait_exit(self, timeout=EVENT_TIMEOUT):
        return self.process.wait_exit(timeout)

    def close(self, timeout=EVENT_TIMEOUT):
        """Closes the window as its close button would and returns the exit code."""
        self.session.close_window(self.wid or self.wait_window())
        return self.wait_exit(timeout)

    def images(self):
        """Sorted file names in the program's Images folder."""
        folder = self.path("Images")
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else []

    def wait_picture(self, name, timeout=EVENT_TIMEOUT):
        """Waits until Images/name is written whole and returns the picture."""
        return wait_picture(self.path("Images", name), timeout)


def wait_picture(path, timeout=EVENT_TIMEOUT):
    """Waits until the picture file at path exists and decodes, and returns it."""
    def decoded():
        if not os.path.isfile(path):
            return None
        try:
            return load_image(path)
        except (RuntimeError, ValueError):  # still being written
            return None

    return wait_until(decoded, timeout, interval=0.1, message=f"no whole picture at {path}")


def copy_program(bin_dir, folder, name=PROGRAM_NAME, files=None):
    """Fills folder with the program of bin_dir as name, its library and an empty Images folder.

    files: {relative path: str or bytes} written into the folder as well (a settings file, say).
    """
    source = os.path.join(bin_dir, PROGRAM_NAME)
    if not os.path.isfile(source):
        raise AssertionError(f"program not built: {source}")
    shutil.copy2(source, os.path.join(folder, name))
    library = os.path.join(bin_dir, LIBRARY_NAME)
    if os.path.isfile(library):
        shutil.copy2(library, os.path.join(folder, LIBRARY_NAME))
    os.mkdir(os.path.join(folder, "Images"))
    for relative, content in (files or {}).items():
        target = os.path.join(folder, relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as out:
            out.write(content.encode() if isinstance(content, str) else content)


class E2ETestCase(unittest.TestCase):
    """Base class: one XSession per class (or per test when session_per_test is True).

    ZX_BIN_DIR names the build's program folder (tests skip without it); ZX_E2E_ARTIFACTS, when set,
    receives a screenshot and the logs of every failed test.
    """

    session_per_test = False
    screen = (SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_DEPTH)
    dpi = SCREEN_DPI
    x_resources = None  # see XSession: resources, monitors
    monitors = None
    program_name = PROGRAM_NAME
    library_name = LIBRARY_NAME
    bin_dir = None  # taken from ZX_BIN_DIR unless a subclass sets it

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.bin_dir = cls.bin_dir or os.environ.get("ZX_BIN_DIR")
        if not cls.bin_dir:
            raise unittest.SkipTest("ZX_BIN_DIR is not set (the build's bin folder holding the program)")
        cls.session = None
        if not cls.session_per_test:
            cls.session = cls._new_session()

    @classmethod
    def tearDownClass(cls):
        if cls.session and not cls.session_per_test:
            cls.session.stop()
        super().tearDownClass()

    @classmethod
    def _new_session(cls):
        width, height, depth = cls.screen
        return XSession(width, height, depth, dpi=cls.dpi, resources=cls.x_resources, monitors=cls.monitors).start()

    def setUp(self):
        super().setUp()
        if self.session_per_test:
            self.session = self._new_session()
        self._spawned = []
        self._folders = []
        # Cleanups run after tearDown, last added first: artifacts are saved before processes end.
        self.addCleanup(self._end_session)
        self.addCleanup(self._remove_folders)
        self.addCleanup(self._end_processes)
        self.addCleanup(self._save_artifacts_if_failed)

    # -- for tests --------------------------------------------------------------------------------

    def make_program_copy(self, name=None, files=None):
        """A fresh folder holding the program as name, its library and an empty Images folder.

        files: {relative path: str or bytes} written into the folder as well (a settings file, say).
        """
        folder = self.new_program_folder()
        self._folders.append(folder)
        copy_program(self.bin_dir, folder, name or self.program_name, files)
        return folder

    def new_program_folder(self):
        """An empty folder for a program copy (a subclass may put it where its session's user can write)."""
        return tempfile.mkdtemp(prefix="zxe2e-prog-")

    def start_program(self, folder, name=None, args=(), cwd=None, env=None, user=None):
        """Starts folder/name (default the program name) in the session; returns a ProgramHandle.

        user: run it as that user (see XSession.spawn)."""
        name = name or self.program_name
        as_user = {"user": user} if user else {}
        process = self.session.spawn([os.path.join(folder, name), *args], cwd=cwd, env=env, name=name, **as_user)
        self._spawned.append(process)
        return ProgramHandle(self.session, folder, name, process)

    def start_backdrop(self, **kwargs):
        backdrop = Backdrop(self.session, **kwargs).start()
        self._spawned.append(backdrop.process)
        return backdrop

    def wait_until(self, predicate, timeout=EVENT_TIMEOUT, *, message, interval=0.05):
        return wait_until(predicate, timeout, message=message, interval=interval)

    def outer(self, wid):
        return self.session.outer_geometry(wid)

    def wait_outer(self, wid, expected, what):
        """Waits until the window's outer frame is expected (a Rect); returns it."""
        self.wait_until(lambda: self.outer(wid) == expected,
                        message=lambda: f"{what}: outer frame not {expected}, now {self.outer(wid)}")
        return expected

    # -- cleanup ----------------------------------------------------------------------------------

    def _failed(self):
        # unittest offers no public "did this test fail" to a cleanup; read the result it reports to.
        outcome = getattr(self, "_outcome", None)
        if outcome is None:
            return False
        if any(error for _, error in getattr(outcome, "errors", [])):  # up to Python 3.10
            return True
        result = getattr(outcome, "result", None)
        reported = list(getattr(result, "failures", [])) + list(getattr(result, "errors", []))
        return any(test is self or getattr(test, "test_case", None) is self for test, _ in reported)

    def _save_artifacts_if_failed(self):
        target_root = os.environ.get("ZX_E2E_ARTIFACTS")
        if not target_root or not self._failed() or not self.session or not self.session.workdir:
            return
        target = os.path.join(target_root, re.sub(r"[^A-Za-z0-9_.-]", "_", self.id()))
        os.makedirs(target, exist_ok=True)
        try:
            self.session.screenshot().save(os.path.join(target, "screen.png"))
        except Exception as error:  # a failed picture must not hide the test's own failure
            print(f"zxe2e: no screenshot saved: {error}", file=sys.stderr)
        shutil.copytree(os.path.join(self.session.workdir, "logs"), os.path.join(target, "logs"),
                        dirs_exist_ok=True, symlinks=False, ignore_dangling_symlinks=True)
        for process in self._spawned:
            with open(os.path.join(target, "logs", f"{process.name}.stdout"), "w") as out:
                out.write("\n".join(process.lines()) + "\n")
        for index, folder in enumerate(self._folders):
            keep = shutil.ignore_patterns(self.program_name, self.library_name)
            shutil.copytree(folder, os.path.join(target, f"program-{index}"), ignore=keep, dirs_exist_ok=True)

    def _end_processes(self):
        for process in reversed(self._spawned):
            if self.session:
                self.session.forget(process)
        self._spawned.clear()

    def _remove_folders(self):
        for folder in self._folders:
            shutil.rmtree(folder, ignore_errors=True)
        self._folders.clear()

    def _end_session(self):
        if self.session_per_test and self.session:
            self.session.stop()
            self.session = None
