"""End-to-end harness for headless Wayland desktops: sway, gnome-shell and kwin_wayland with Xwayland.

Standard library only; the session's own helpers (wlagent.py) run with the system's python3 and
python3-gi. Each session runs as an ordinary user (SESSION_USER) in a private mount and network
namespace: its /tmp (Xwayland's sockets and lock files, the sway portal's picture) is a folder of the
session, and Xwayland's abstract sockets are its own, so sessions and the Xvfb tests run side by side.
Paths under the session folder are the same inside and outside the namespace.

    with SwaySession() as session:
        color = session.start_color_window((40, 110, 60))
        program = session.spawn(["/path/Zentrolux"])       # X11 client on the session's Xwayland
        wid = session.wait_window("Zentrolux", pid=program.pid)
        shot = session.screenshot()                           # what the compositor shows
        session.click(*color.rect.center)                     # reaches native and X11 windows alike

Commands (xdotool, xwininfo, grim, gdbus...) run as the session user inside the namespaces
(command()); XDisplayClient's window and key helpers work on Xwayland unchanged.
"""

import ctypes
import functools
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from . import display, xlib
from .display import SCREEN_HEIGHT, SCREEN_WIDTH, E2ETestCase, Process, XDisplayClient, reported_clicks
from .picture import SYSTEM_PYTHON, Image, load_image
from .waiting import COMMAND_TIMEOUT, EVENT_TIMEOUT, START_TIMEOUT, happens_within, wait_until

SESSION_USER = "zxwl"
HERE = os.path.dirname(os.path.abspath(__file__))
AGENT = os.path.join(HERE, "wlagent.py")
COLOR = (40, 110, 60)  # the native window's colour: nothing else on these screens has it
# wlroots compositors (sway, labwc) without a display or input devices, drawing without a GPU.
WLROOTS_HEADLESS = {"WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_HEADLESS_OUTPUTS": "1",
                    "WLR_RENDERER": "pixman"}
KDE_PORTAL = "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde"
_CLONE_NEWNET = 0x40000000

_SYSTEM_BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/>
  </policy>
</busconfig>
"""

# Runs as root in the new namespaces: lo up, the session's folder as /tmp (keeping the session
# folder's own path reachable inside it), and for gnome-shell an empty /run/dbus and /run/systemd.
_LEADER = r"""
set -e
work="$1"; user="$2"; private_run="$3"
ip link set lo up
inner="$work/tmp/$(basename "$work")"
mkdir -p "$inner" "$work/tmp/.X11-unix"
chmod 1777 "$work/tmp" "$work/tmp/.X11-unix"
mount --bind "$work" "$inner"
mount --rbind "$work/tmp" /tmp
if [ "$private_run" = 1 ]; then
    mkdir -p /run/dbus /run/systemd
    mount -t tmpfs -o mode=0755,uid="$user" tmpfs /run/dbus
    mount -t tmpfs -o mode=0755 tmpfs /run/systemd
fi
echo ready
exec sleep 2147483647
"""


def session_user():
    """(uid, gid) of SESSION_USER, created when missing. Skips the test when that is impossible."""
    if os.geteuid() != 0:
        raise unittest.SkipTest("Wayland sessions need root (namespaces, a session user)")
    try:
        entry = pwd.getpwnam(SESSION_USER)
    except KeyError:
        if not shutil.which("useradd"):
            raise unittest.SkipTest("no useradd to create the session user") from None
        subprocess.run(["useradd", "--create-home", "--shell", "/bin/sh", SESSION_USER], check=True,
                       capture_output=True, timeout=COMMAND_TIMEOUT)
        entry = pwd.getpwnam(SESSION_USER)
    return entry.pw_uid, entry.pw_gid


def debian_version():
    """VERSION_ID of /etc/os-release ("12", "13"...) on Debian, else None: the desktops' versions follow it."""
    try:
        with open("/etc/os-release") as release:
            fields = dict(line.rstrip("\n").split("=", 1) for line in release if "=" in line)
    except OSError:
        return None
    return fields.get("VERSION_ID", "").strip('"') if fields.get("ID") == "debian" else None


def _missing(tools):
    return [tool for tool in tools if not (shutil.which(tool) or os.path.exists(tool))]


class ColorWindow:
    """A native Wayland window of one colour (GTK through python3-gi), maximized, that reports presses.

    rect: where its colour shows on the screen (found from the compositor's picture); clicks() are in
    screen coordinates.
    """

    def __init__(self, session, color=COLOR):
        self.session = session
        self.color = tuple(color)
        self.process = None
        self.rect = None

    def start(self, timeout=START_TIMEOUT):
        hex_color = "%02x%02x%02x" % self.color
        self.process = self.session.spawn([SYSTEM_PYTHON, self.session.agent_path, "color", hex_color],
                                          env={"GDK_BACKEND": "wayland"}, name="color-window")
        self.process.wait_line(r"^size \d+ \d+$", timeout)

        def shown():
            self.session.settle()
            box = self.session.screenshot().bounding_box(lambda c: c == self.color)
            # Maximized: at least the screen's width and most of its height.
            return box if box and box.width >= self.session.width and box.height > self.session.height * 3 // 4 \
                else None

        self.rect = wait_until(shown, timeout, interval=0.2, message="the native window did not cover the screen")
        return self

    @property
    def origin(self):
        return self.rect.x, self.rect.y

    def mark(self):
        return self.process.mark()

    def clicks(self, since=0):
        """[(button, x, y)] of the presses it received, in screen coordinates."""
        return reported_clicks(self.process.lines(since), self.origin)

    def wait_click(self, x, y, button=1, timeout=EVENT_TIMEOUT, since=0):
        return wait_until(lambda: (button, x, y) in self.clicks(since), timeout,
                          message=f"the native window got no click at ({x}, {y}); it got {self.clicks(since)}")

    def raise_(self, x, y):
        """Brings it to the front as a user would: a click on it at screen (x, y) (sway: focus it)."""
        self.session.raise_native(self, x, y)


class WaylandSession(XDisplayClient):
    """One headless compositor with Xwayland, a session bus, pipewire and the desktop portal.

    Subclasses name the desktop and start its compositor. After start(): env is what an X11 client of
    this session gets (DISPLAY, XAUTHORITY, WAYLAND_DISPLAY, XDG_SESSION_TYPE, XDG_CURRENT_DESKTOP,
    DBUS_SESSION_BUS_ADDRESS, HOME...; no QT_QPA_PLATFORM), display is Xwayland's display in it.
    """

    desktop = None  # XDG_CURRENT_DESKTOP
    agent_desktop = None  # wlagent.py's name for the input route
    wayland_display = "wayland-zx"
    frames_x11_windows = True  # whether the compositor sets _NET_FRAME_EXTENTS on X11 windows
    pointer_settle = 0.05  # seconds from a pointer move to the next press
    tools = ["dbus-daemon", "dbus-update-activation-environment", "gdbus", "unshare", "nsenter", "setpriv", "ip",
             "xdotool", "xwininfo", "xprop", "xdpyinfo", "xhost", "convert", "Xwayland", "pipewire", "wireplumber",
             SYSTEM_PYTHON]

    def __init__(self, width=SCREEN_WIDTH, height=SCREEN_HEIGHT):
        self.width = width
        self.height = height
        self.workdir = None
        self.env = None
        self.display = None
        self.start_seconds = None
        self._uid = self._gid = None
        self._leader = None
        self._services = []
        self._processes = []
        self._counter = 0
        self._agent = None
        self._xdisplay = None
        self._atoms = {}

    # -- start and stop ---------------------------------------------------------------------------

    def start(self):
        missing = _missing(self.tools)
        if missing:
            raise unittest.SkipTest(f"{type(self).__name__} needs {', '.join(missing)}")
        self._uid, self._gid = session_user()
        started = time.monotonic()
        self.workdir = tempfile.mkdtemp(prefix="zxwl-")
        display._live_sessions.add(self)
        try:
            self._prepare()
            self._start_namespace()
            self._start_bus()
            self._start_desktop()
            self.run(["xhost", "+si:localuser:root"])  # the harness's own libX11 connection (close_window...)
            self.run(["dbus-update-activation-environment", *self._activation_names()])
            self._start_agent()
        except BaseException:
            self.stop()
            raise
        self.start_seconds = time.monotonic() - started
        return self

    def stop(self):
        """Ends every process of the session (all that live in its namespaces) and removes its folder."""
        self._close_xdisplay()
        for process in reversed(self._processes + self._services):
            process.terminate(grace=2.0)
        self._processes.clear()
        self._services.clear()
        if self._leader:
            self._end_namespace_processes()
            self._leader.terminate()
            self._leader = None
        if self.workdir:
            shutil.rmtree(self.workdir, ignore_errors=True)
            self.workdir = None
        display._live_sessions.discard(self)

    def _end_namespace_processes(self):
        """Services started by D-Bus activation are nobody's child here: end whatever runs in the namespace."""
        try:
            ours = os.readlink(f"/proc/{self._leader.pid}/ns/net")
        except OSError:
            return

        def members():
            pids = []
            for entry in os.listdir("/proc"):
                if not entry.isdigit() or int(entry) == self._leader.pid:
                    continue
                try:
                    if os.readlink(f"/proc/{entry}/ns/net") == ours:
                        pids.append(int(entry))
                except OSError:
                    continue
            return pids

        for sig in (signal.SIGTERM, signal.SIGKILL):
            for pid in members():
                try:
                    os.kill(pid, sig)
                except OSError:
                    continue
            # What outlives SIGTERM for this long gets SIGKILL.
            if happens_within(lambda: not members(), 5.0, interval=0.1):
                return

    def _prepare(self):
        w = self.workdir
        home = self.path("home")
        for folder in ("home/.config", "home/.cache", "home/.local/share", "home/.local/state", "home/Pictures",
                       "run", "tmp", "logs", "cwd", "bin"):
            os.makedirs(self.path(folder), exist_ok=True)
        os.chmod(w, 0o755)
        os.chmod(self.path("run"), 0o700)
        shutil.copy(AGENT, self.path("wlagent.py"))
        self.agent_path = self.path("wlagent.py")
        for root, dirs, files in os.walk(w):
            for name in dirs + files:
                os.chown(os.path.join(root, name), self._uid, self._gid)
        os.chown(w, self._uid, self._gid)
        os.chown(self.path("tmp"), 0, 0)
        os.chmod(self.path("tmp"), 0o1777)
        user = pwd.getpwuid(self._uid).pw_name
        self.env = {
            "HOME": home,
            "USER": user,
            "LOGNAME": user,
            "PATH": "/usr/local/bin:/usr/bin:/bin:/usr/games",
            "LANG": "C.UTF-8",
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "XDG_STATE_HOME": os.path.join(home, ".local", "state"),
            "XDG_RUNTIME_DIR": self.path("run"),
            "XDG_SESSION_TYPE": "wayland",
            "XDG_CURRENT_DESKTOP": self.desktop,
            "DBUS_SESSION_BUS_ADDRESS": f"unix:path={self.path('run', 'bus')}",
            "WAYLAND_DISPLAY": self.wayland_display,
            "NO_AT_BRIDGE": "1",
        }

    def path(self, *parts):
        return os.path.join(self.workdir, *parts)

    def _start_namespace(self):
        private_run = "1" if getattr(self, "needs_system_bus", False) else "0"
        argv = ["unshare", "--mount", "--net", "--propagation", "private", "--", "/bin/sh", "-c", _LEADER, "leader",
                self.workdir, str(self._uid), private_run]
        self._leader = Process(argv, {"PATH": os.environ.get("PATH", "/usr/sbin:/usr/bin:/sbin:/bin")}, "/",
                               self.path("logs", "00-namespace.stderr"), "namespace")
        self._leader.wait_line("^ready$", START_TIMEOUT)

    def _start_bus(self):
        self.service(["dbus-daemon", "--session", f"--address={self.env['DBUS_SESSION_BUS_ADDRESS']}", "--nofork",
                      "--print-address"], "session-bus", ready=lambda p: p.wait_line("^unix:", START_TIMEOUT))

    def _start_desktop(self):
        raise NotImplementedError

    def _activation_names(self):
        return ["WAYLAND_DISPLAY", "DISPLAY", "XAUTHORITY", "XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE",
                "XDG_RUNTIME_DIR", "HOME", "PATH"]

    def _start_agent(self):
        self._agent = self.service([SYSTEM_PYTHON, self.agent_path, "input", self.agent_desktop, str(self.width),
                                    str(self.height)], "agent", stdin_pipe=True,
                                   ready=lambda p: p.wait_line("^ready$", START_TIMEOUT))

    def _socket(self, prefix):
        """The first of the session's runtime folder's entries named prefix..., lock files aside."""
        names = [n for n in os.listdir(self.path("run")) if n.startswith(prefix) and not n.endswith(".lock")]
        return sorted(names)[0] if names else None

    def _start_pipewire(self):
        # Without bluetooth: its logind part needs the system's /run/systemd, which the GNOME sessions
        # replace with an empty one, and wireplumber gave up at once there, linking no screen cast.
        config = self.path("home", ".config", "wireplumber", "bluetooth.lua.d")
        os.makedirs(config, exist_ok=True)
        with open(os.path.join(config, "51-zx-no-bluetooth.lua"), "w") as out:
            out.write("bluez_monitor.enabled = false\n")
        self.give(self.path("home", ".config"))
        self.service(["pipewire"], "pipewire",
                     ready=lambda p: wait_until(lambda: os.path.exists(self.path("run", "pipewire-0")), START_TIMEOUT,
                                                message="no pipewire socket"))
        self.service(["wireplumber"], "wireplumber")

    def _wait_bus_name(self, name):
        # NameHasOwner, unlike a call to the name, starts no second copy through D-Bus activation.
        def owned():
            out = self.run(["gdbus", "call", "--session", "-d", "org.freedesktop.DBus", "-o", "/org/freedesktop/DBus",
                            "-m", "org.freedesktop.DBus.NameHasOwner", name], check=False).stdout
            return "true" in out

        wait_until(owned, START_TIMEOUT, message=f"{name} is not on the session bus")

    def settle(self):
        """Called while waiting for the screen to show something; desktops that start in a mode undo it."""

    # -- processes --------------------------------------------------------------------------------

    def command(self, cmd, cwd=None):
        """cmd as the session user, inside the session's namespaces (in cwd, default the session's cwd)."""
        return ["nsenter", f"--target={self._leader.pid}", "--mount", "--net", f"--wd={cwd or self.path('cwd')}",
                "--", "setpriv", f"--reuid={self._uid}", f"--regid={self._gid}", "--init-groups",
                "--pdeathsig=TERM", "--", *cmd]

    def _new_process(self, argv, name, cwd=None, env=None, stdin_pipe=False):
        self._counter += 1
        unique = f"{self._counter:02d}-{name}"
        full_env = dict(self.env)
        full_env.update(env or {})
        return Process(self.command(argv, cwd), full_env, "/", self.path("logs", f"{unique}.stderr"), unique,
                       stdin_pipe=stdin_pipe)

    def service(self, argv, name, env=None, ready=None, stdin_pipe=False):
        """Starts a part of the session (ended after the test's processes on stop())."""
        process = self._new_process(argv, name, env=env, stdin_pipe=stdin_pipe)
        self._services.append(process)
        if ready:
            try:
                ready(process)
            except AssertionError as error:
                raise RuntimeError(f"{name} did not start: {error}\n{process.stderr_text()[-2000:]}") from None
        return process

    def spawn(self, cmd, cwd=None, env=None, name=None):
        """Starts cmd as the session user with the session environment (plus env); returns its Process."""
        process = self._new_process(cmd, name or os.path.basename(cmd[0]), cwd, env)
        self._processes.append(process)
        return process

    def forget(self, process):
        process.terminate()
        if process in self._processes:
            self._processes.remove(process)

    def give(self, path):
        """Hands a file or folder tree to the session user."""
        os.chown(path, self._uid, self._gid)
        for root, dirs, files in os.walk(path):
            for name in dirs + files:
                os.chown(os.path.join(root, name), self._uid, self._gid)

    def make_folder(self, prefix):
        """A new empty folder of the session, owned by its user, reachable at the same path in the namespace."""
        os.makedirs(self.path("files"), exist_ok=True)
        folder = tempfile.mkdtemp(prefix=prefix, dir=self.path("files"))
        self.give(self.path("files"))
        return folder

    def agent(self, line, timeout=EVENT_TIMEOUT):
        """Sends a command to the session's input agent and returns its answer (without "ok")."""
        mark = self._agent.mark()
        self._agent.send(line)
        answer = self._agent.wait_line(r"^(ok|error)\b", timeout, mark).string
        if answer.startswith("error"):
            raise RuntimeError(f"agent: {line}: {answer}")
        return answer[3:]

    # -- X11 through Xwayland ---------------------------------------------------------------------

    def _open_xdisplay(self):
        # Xwayland listens on an abstract socket of the session's network namespace: this thread
        # steps into it just to connect.
        if self._xdisplay is None:
            libc = ctypes.CDLL(None, use_errno=True)
            own = os.open(f"/proc/self/task/{threading.get_native_id()}/ns/net", os.O_RDONLY)
            theirs = os.open(f"/proc/{self._leader.pid}/ns/net", os.O_RDONLY)
            try:
                if libc.setns(theirs, _CLONE_NEWNET) != 0:
                    raise OSError(ctypes.get_errno(), "setns into the session's network namespace")
                self._xdisplay = xlib.open_display(self.display, self.env.get("XAUTHORITY"))
            finally:
                libc.setns(own, _CLONE_NEWNET)
                os.close(own)
                os.close(theirs)
        return self._xdisplay

    def wait_window(self, name=None, pid=None, timeout=START_TIMEOUT, managed=True):
        return super().wait_window(name, pid, timeout, managed and self.frames_x11_windows)

    def wait_windows(self, name=None, pid=None, timeout=START_TIMEOUT, managed=True):
        return super().wait_windows(name, pid, timeout, managed and self.frames_x11_windows)

    def _wait_xwayland(self, display):
        self.env["DISPLAY"] = display
        wait_until(lambda: self.run(["xdpyinfo"], check=False).returncode == 0, START_TIMEOUT,
                   message=f"Xwayland {display} does not answer")
        self.display = display

    def xwayland_root_size(self):
        out = self.run(["xwininfo", "-root"]).stdout
        return (int(re.search(r"Width:\s*(\d+)", out).group(1)), int(re.search(r"Height:\s*(\d+)", out).group(1)))

    # -- pictures ---------------------------------------------------------------------------------

    def screenshot(self):
        """The whole screen as the compositor shows it."""
        raise NotImplementedError

    def portal_screenshot(self):
        """One non-interactive call of the desktop portal's Screenshot: (response code, file path or None,
        seconds). The file is the caller's to delete."""
        out = self.run([SYSTEM_PYTHON, self.agent_path, "portal"], timeout=90).stdout.split()
        code, uri, seconds = out[1], out[2], float(out[3])
        path = self.host_path(uri[len("file://"):]) if uri.startswith("file://") else None
        return int(code) if code.isdigit() else code, path, seconds

    def host_path(self, path):
        """Where a path seen inside the session lies outside it (its /tmp is the session folder's tmp)."""
        if path.startswith("/tmp/") and not path.startswith(self.workdir + "/"):
            return self.path("tmp", path[len("/tmp/"):])
        return path

    # -- input ------------------------------------------------------------------------------------

    def move_mouse(self, x, y):
        self.agent(f"move {x} {y}")
        time.sleep(self.pointer_settle)  # let the compositor pick the surface under the pointer before a press

    def click(self, x, y, button=1):
        """Moves the pointer to screen (x, y) and clicks there: reaches native and X11 windows alike."""
        self._space_clicks(x, y, button)
        self.move_mouse(x, y)
        self.agent(f"press {button}")
        self.agent(f"release {button}")

    def pointer(self):
        raise NotImplementedError("the Wayland pointer's position is not readable here")

    def start_color_window(self, color=COLOR):
        return ColorWindow(self, color).start()

    def raise_native(self, window, x, y):
        self.click(x, y)


def grim_screenshot(session, scale=1, wayland_display=None):
    """A wlroots compositor's picture through grim, at scale 1 (Xwayland's coordinates) unless told otherwise;
    the session's own compositor unless wayland_display names another."""
    env = {"WAYLAND_DISPLAY": wayland_display} if wayland_display else None
    return Image.from_pnm(session.run(["grim", "-t", "ppm", "-s", str(scale), "-"], env=env, text=False).stdout)


class SwaySession(WaylandSession):
    """sway (wlroots) headless with the pixman renderer, xdg-desktop-portal-wlr.

    float_x11: a rule of sway's configuration floats every X11 window (the program floats by itself; the
    window tests turn the rule off); native windows stay tiled, so the colour window fills the screen
    below the floating ones. scale: the output's scale.
    """

    desktop = "sway"
    agent_desktop = "sway"
    wayland_display = "wayland-1"
    frames_x11_windows = False
    tools = WaylandSession.tools + ["sway", "swaymsg", "grim",
                                    "/usr/libexec/xdg-desktop-portal", "/usr/libexec/xdg-desktop-portal-wlr"]

    def __init__(self, width=SCREEN_WIDTH, height=SCREEN_HEIGHT, float_x11=True, scale=1):
        super().__init__(width, height)
        self.float_x11 = float_x11
        self.scale = scale

    def _start_desktop(self):
        config = self.path("sway.conf")
        lines = [
            "xwayland enable",
            f"output HEADLESS-1 resolution {self.width}x{self.height} position 0 0 scale {self.scale} "
            "bg #202020 solid_color",
            "default_border none",
            "default_floating_border none",
            "focus_follows_mouse no",
            "focus_on_window_activation focus",
        ]
        if self.float_x11:
            lines.append('for_window [shell="xwayland"] floating enable')
        with open(config, "w") as out:
            out.write("\n".join(lines) + "\n")
        self.service(["sway", "-c", config], "sway", env=WLROOTS_HEADLESS,
                     ready=lambda p: wait_until(self._sway_socket, START_TIMEOUT, message="no sway socket"))
        self.env["SWAYSOCK"] = self._sway_socket()
        # Xwayland's display: ask sway, which sets DISPLAY for what it starts.
        answer = self.path("run", "display")
        self.run(["swaymsg", "exec", f"echo $DISPLAY > {answer}.part && mv {answer}.part {answer}"])
        def told():
            if not os.path.exists(answer):
                return None
            with open(answer) as text:
                return text.read().strip()

        self._wait_xwayland(wait_until(told, START_TIMEOUT, message="sway did not tell its DISPLAY"))
        self._start_pipewire()
        # In order: the wlr back-end gives up on screen casts without pipewire, and the portal waits
        # 25 s for a back-end that is starting but not yet on the bus.
        self.service(["/usr/libexec/xdg-desktop-portal-wlr"], "portal-wlr",
                     ready=lambda p: self._wait_bus_name("org.freedesktop.impl.portal.desktop.wlr"))
        self.service(["/usr/libexec/xdg-desktop-portal"], "portal")
        self._wait_bus_name("org.freedesktop.portal.Desktop")

    def _sway_socket(self):
        run = self.path("run")
        sockets = [name for name in os.listdir(run) if name.startswith("sway-ipc.")]
        return os.path.join(run, sockets[0]) if sockets and os.path.exists(os.path.join(run, "wayland-1")) else None

    def screenshot(self, scale=1):
        return grim_screenshot(self, scale)

    def swaymsg(self, *args):
        return self.run(["swaymsg", *args]).stdout

    def raise_native(self, window, x, y):
        self.swaymsg("[app_id=zx-color] focus")

    def close_window(self, wid):
        # wlroots' window manager ignores _NET_CLOSE_WINDOW; sway's kill is the close request.
        self.swaymsg(f"[id={wid}] kill")


def _process_named(name, root_pid):
    """The pid of the process called name that is root_pid or started under it (root_pid when none is)."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            with open(f"/proc/{entry}/comm") as f:
                comm = f.read().strip()
        except (OSError, IndexError, ValueError):
            continue
        children.setdefault(int(fields[1]), []).append((int(entry), comm))
    todo = [root_pid]
    while todo:
        pid = todo.pop()
        try:
            with open(f"/proc/{pid}/comm") as f:
                if f.read().strip() == name:
                    return pid
        except OSError:
            pass
        todo += [child for child, _ in children.get(pid, [])]
    return root_pid


class LabwcSession(WaylandSession):
    """labwc (wlroots; Raspberry Pi OS's desktop) headless with the pixman renderer, xdg-desktop-portal-wlr.

    keep_on_top: the window rule of labwc's own that README.md gives users, which keeps the program's
    windows on top (labwc ignores an X11 window's own above state).
    """

    desktop = "labwc:wlroots"
    agent_desktop = "sway"  # the same wlroots virtual pointer
    wayland_display = "wayland-0"
    frames_x11_windows = False
    tools = WaylandSession.tools + ["labwc", "wlr-randr", "grim",
                                    "/usr/libexec/xdg-desktop-portal", "/usr/libexec/xdg-desktop-portal-wlr"]

    def __init__(self, width=SCREEN_WIDTH, height=SCREEN_HEIGHT, keep_on_top=True):
        super().__init__(width, height)
        self.keep_on_top = keep_on_top

    def _start_desktop(self):
        config = self.path("home", ".config", "labwc")
        os.makedirs(config, exist_ok=True)
        rules = ""
        if self.keep_on_top:
            rules = ('<windowRules><windowRule identifier="Zentrolux*">'
                     '<action name="ToggleAlwaysOnTop"/></windowRule></windowRules>')
        with open(os.path.join(config, "rc.xml"), "w") as out:
            out.write("<?xml version=\"1.0\"?>\n<labwc_config>"
                      "<core><decoration>server</decoration><gap>0</gap></core>"
                      "<placement><policy>center</policy></placement>"
                      "<focus><followMouse>no</followMouse></focus>"
                      f"{rules}</labwc_config>\n")
        self.give(self.path("home"))
        started = self.service(["labwc", "-C", config], "labwc", env=dict(WLROOTS_HEADLESS, WAYLAND_DISPLAY=""),
                               ready=lambda p: wait_until(lambda: self._socket("wayland-"), START_TIMEOUT,
                                                          message="no labwc socket"))
        self.env["WAYLAND_DISPLAY"] = self._socket("wayland-")
        # What labwc gives the programs it starts, so that "labwc --reconfigure" finds it.
        self.env["LABWC_PID"] = str(_process_named("labwc", started.pid))
        self.run(["wlr-randr", "--output", "HEADLESS-1", "--custom-mode", f"{self.width}x{self.height}",
                  "--pos", "0,0"])
        x11 = self.path("tmp", ".X11-unix")
        wait_until(lambda: os.path.isdir(x11) and os.listdir(x11), START_TIMEOUT, message="labwc started no Xwayland")
        self._wait_xwayland(":" + sorted(os.listdir(x11))[0][1:])
        self._start_pipewire()
        self.service(["/usr/libexec/xdg-desktop-portal-wlr"], "portal-wlr",
                     ready=lambda p: self._wait_bus_name("org.freedesktop.impl.portal.desktop.wlr"))
        self.service(["/usr/libexec/xdg-desktop-portal"], "portal")
        self._wait_bus_name("org.freedesktop.portal.Desktop")

    def close_window(self, wid):
        # labwc takes no _NET_CLOSE_WINDOW from other clients; its close button sends WM_DELETE_WINDOW.
        self.delete_window(wid)

    def screenshot(self):
        return grim_screenshot(self)


class GnomeSession(WaylandSession):
    """gnome-shell --headless (mutter 43) with xdg-desktop-portal-gnome.

    stored_permission: store the screenshot permission in advance; without it the portal's first call
    opens the shell's "Allow Applications to Take Screenshots?" dialog and waits for a person.
    """

    desktop = "GNOME"
    agent_desktop = "gnome"
    needs_system_bus = True
    pointer_settle = 0.3  # mutter picks the surface under the pointer late: a quick press went to the old one
    tools = WaylandSession.tools + ["gnome-shell", "gsettings",
                                    "/usr/libexec/xdg-desktop-portal", "/usr/libexec/xdg-desktop-portal-gnome"]

    def __init__(self, width=SCREEN_WIDTH, height=SCREEN_HEIGHT, stored_permission=True):
        super().__init__(width, height)
        self.stored_permission = stored_permission
        self._overview_left = False

    def _start_desktop(self):
        with open(self.path("system-bus.conf"), "w") as out:
            out.write(_SYSTEM_BUS_CONFIG)
        self.service(["dbus-daemon", f"--config-file={self.path('system-bus.conf')}", "--nofork", "--print-address"],
                     "system-bus", ready=lambda p: p.wait_line("^unix:", START_TIMEOUT))
        # Quiet and quick: no banners over the windows under test, no animations to wait for.
        for schema, key, value in (("org.gnome.desktop.notifications", "show-banners", "false"),
                                   ("org.gnome.desktop.interface", "enable-animations", "false"),
                                   ("org.gnome.desktop.session", "idle-delay", "uint32 0"),
                                   ("org.gnome.desktop.screensaver", "lock-enabled", "false")):
            self.run(["gsettings", "set", schema, key, value])
        self._start_pipewire()
        self.service(["gnome-shell", "--headless", "--wayland", "--virtual-monitor", f"{self.width}x{self.height}",
                      "--wayland-display", self.wayland_display], "gnome-shell",
                     ready=lambda p: wait_until(self._shell_ready, START_TIMEOUT, interval=0.1,
                                                message="gnome-shell did not come up"))
        auth = [name for name in os.listdir(self.path("run")) if name.startswith(".mutter-Xwaylandauth.")]
        self.env["XAUTHORITY"] = self.path("run", auth[0])
        self._wait_xwayland(":0")
        if self.stored_permission:
            self.run(["gdbus", "call", "--session", "-d", "org.freedesktop.impl.portal.PermissionStore",
                      "-o", "/org/freedesktop/impl/portal/PermissionStore",
                      "-m", "org.freedesktop.impl.portal.PermissionStore.SetPermission",
                      "screenshot", "true", "screenshot", "", "['yes']"])

    def _shell_ready(self):
        if not os.path.exists(self.path("tmp", ".X11-unix", "X0")):
            return False
        if not any(name.startswith(".mutter-Xwaylandauth.") for name in os.listdir(self.path("run"))):
            return False
        probe = self.run(["gdbus", "introspect", "--session", "-d", "org.gnome.Shell.Screenshot",
                          "-o", "/org/gnome/Shell/Screenshot"], check=False)
        return probe.returncode == 0

    def start(self, attempts=5):
        # In about 1 start in 6 (gnome-shell 48) the remote desktop's pointer moves onto no window for
        # the whole session, while keys still work; a new agent does not help, a new session does.
        for attempt in range(1, attempts + 1):
            super().start()
            if self._pointer_reaches_a_window():
                return self
            self.stop()
            print(f"zxe2e: GNOME start {attempt}: the pointer reached no window; starting again",
                  file=sys.stderr, flush=True)
        raise RuntimeError(f"in {attempts} GNOME sessions the pointer reached no window")

    def stop(self):
        super().stop()
        self._overview_left = False

    def _pointer_reaches_a_window(self):
        probe = ColorWindow(self).start()
        try:
            x, y = probe.rect.x + probe.rect.width // 2, probe.rect.y + probe.rect.height // 2
            since = len(probe.process.lines())
            self.move_mouse(x, 2)  # the top bar, off the window: the next move enters it
            self.move_mouse(x, y)
            return happens_within(lambda: any(line.startswith("enter ") for line in probe.process.lines(since)),
                                  3.0)
        finally:
            self.forget(probe.process)

    def _start_agent(self):
        super()._start_agent()
        self.settle()

    def settle(self):
        # The shell starts in the overview; Escape leaves it. On a busy machine an Escape sent while the
        # overview still comes up is lost (gnome-shell 48, about 1 start in 6), so the shell is asked.
        if not self._overview_left:
            self.key_native(0xFF1B)
            self._overview_left = True
        elif self._overview_active():
            self.key_native(0xFF1B)

    def _overview_active(self):
        out = self.run(["gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o", "/org/gnome/Shell",
                        "-m", "org.freedesktop.DBus.Properties.Get", "org.gnome.Shell", "OverviewActive"],
                       check=False).stdout
        return "true" in out

    def key_native(self, keysym):
        """A key press and release through mutter's remote desktop (reaches the shell and native windows)."""
        self.agent(f"key {keysym:#x} down")
        self.agent(f"key {keysym:#x} up")

    def screenshot(self):
        """org.gnome.Shell.Screenshot of the whole screen (no pointer)."""
        path = self.path("files", f"shell-{time.monotonic_ns()}.png")
        os.makedirs(self.path("files"), exist_ok=True)
        self.give(self.path("files"))
        self.agent(f"screenshot {path}")
        try:
            return load_image(path)
        finally:
            os.remove(path)


class KdeSession(WaylandSession):
    """kwin_wayland with xdg-desktop-portal-kde (permission checks off for the test tools).

    KWin 5 runs --virtual and pictures the screen itself. KWin 6 without a GPU composites without
    OpenGL and then offers no picture of the screen: it runs nested as the one window of a headless
    sway that fills its screen, and grim pictures that sway.
    """

    desktop = "KDE"
    agent_desktop = "kde"
    frames_x11_windows = True
    tools = WaylandSession.tools + ["kwin_wayland",
                                    "/usr/libexec/xdg-desktop-portal", KDE_PORTAL]

    def __init__(self, width=SCREEN_WIDTH, height=SCREEN_HEIGHT):
        super().__init__(width, height)
        self.outer_display = None  # the sway that KWin 6 runs in: its Wayland display and IPC socket
        self._outer_socket = None
        if kwin_major_version() >= 6:
            self.tools = self.tools + ["sway", "grim"]

    def _start_desktop(self):
        # The installed binary carries a file capability that cannot be used here: run a plain copy.
        kwin = self.path("bin", "kwin_wayland")
        shutil.copy(shutil.which("kwin_wayland"), kwin)
        self.give(kwin)
        kde = {"KDE_FULL_SESSION": "true", "KDE_SESSION_VERSION": str(kwin_major_version())}
        self.env.update(kde)
        env = {"KWIN_WAYLAND_NO_PERMISSION_CHECKS": "1", "KWIN_SCREENSHOT_NO_PERMISSION_CHECKS": "1",
               "QT_QPA_PLATFORM": "wayland"}
        self._start_pipewire()
        if kwin_major_version() >= 6:
            self.outer_display = self._start_outer_sway()
            backend = ["--wayland-display", self.outer_display]
            env["WAYLAND_DISPLAY"] = self.outer_display
        else:
            backend = ["--virtual"]
        self.service([kwin, *backend, "--xwayland", "--width", str(self.width), "--height", str(self.height),
                      "--socket", self.wayland_display, "--no-lockscreen"], "kwin", env=env,
                     ready=lambda p: wait_until(self._kwin_ready, START_TIMEOUT, interval=0.1,
                                                message="kwin_wayland did not come up"))
        self._wait_xwayland(":0")
        if self.outer_display:
            # Pictures are the outer screen's: wait until KWin's window fills it.
            wait_until(lambda: '"fullscreen_mode": 1' in self.run(
                ["swaymsg", "-t", "get_tree"], env={"SWAYSOCK": self._outer_socket}).stdout,
                START_TIMEOUT, message="KWin's window does not fill sway's screen")
        self.service([KDE_PORTAL], "portal-kde", env={"QT_QPA_PLATFORM": "wayland"},
                     ready=lambda p: self._wait_bus_name("org.freedesktop.impl.portal.desktop.kde"))
        self.service(["/usr/libexec/xdg-desktop-portal"], "portal")

    def _start_outer_sway(self):
        config = self.path("outer-sway.conf")
        with open(config, "w") as out:
            out.write("xwayland disable\n"
                      f"output HEADLESS-1 resolution {self.width}x{self.height} position 0 0 bg #000000 solid_color\n"
                      "default_border none\n"
                      "for_window [all] fullscreen enable\n")
        # KWin's own socket comes later: the only ones now are this sway's.
        env = dict(WLROOTS_HEADLESS, WAYLAND_DISPLAY="", DISPLAY="")
        self.service(["sway", "-c", config], "outer-sway", env=env,
                     ready=lambda p: wait_until(lambda: self._socket("sway-ipc.") and self._socket("wayland-"),
                                                START_TIMEOUT, message="no socket of the outer sway"))
        self._outer_socket = self.path("run", self._socket("sway-ipc."))
        return self._socket("wayland-")

    def _kwin_ready(self):
        return os.path.exists(self.path("run", self.wayland_display)) and \
            os.path.exists(self.path("tmp", ".X11-unix", "X0"))

    def _start_agent(self):
        self._agent = self.service([SYSTEM_PYTHON, self.agent_path, "input", "kde", str(self.width), str(self.height)],
                                   "agent", stdin_pipe=True, ready=lambda p: p.wait_line("^ready$", START_TIMEOUT),
                                   env={"KWIN_WAYLAND_NO_PERMISSION_CHECKS": "1"})

    def screenshot(self):
        if self.outer_display:
            return grim_screenshot(self, wayland_display=self.outer_display)
        path = self.path("files", f"kwin-{time.monotonic_ns()}.ppm")
        os.makedirs(self.path("files"), exist_ok=True)
        self.give(self.path("files"))
        self.agent(f"screenshot {path}")
        try:
            with open(path, "rb") as picture:
                return Image.from_pnm(picture.read())
        finally:
            os.remove(path)


@functools.lru_cache(maxsize=None)
def kwin_major_version():
    """The installed KWin's major version (0 without one): kwin_wayland itself cannot run outside a session."""
    answer = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "kwin-wayland"], capture_output=True, text=True,
                            check=False).stdout
    match = re.match(r"(?:\d+:)?(\d+)\.", answer)
    return int(match.group(1)) if match else 0


# ---------------------------------------------------------------------------------------------------
# unittest base class


class WaylandTestCase(E2ETestCase):
    """Like E2ETestCase, on a headless Wayland desktop: session_class and session_options pick it.

    The program copy lives in a folder of the session that its user owns; start_color_window() puts the
    native window of a known colour under everything.
    """

    session_class = SwaySession
    session_options = {}

    @classmethod
    def _new_session(cls):
        return cls.session_class(**cls.session_options).start()

    @classmethod
    def setUpClass(cls):
        started = time.monotonic()
        super().setUpClass()
        if cls.session is not None:
            print(f"\n{cls.session_class.__name__} ready in {time.monotonic() - started:.2f} s", flush=True)

    def new_program_folder(self):
        return self.session.make_folder("program-")

    def make_program_copy(self, name=None, files=None):
        folder = super().make_program_copy(name, files)
        self.session.give(folder)
        return folder

    def start_backdrop(self, **kwargs):
        # The session's /tmp is its own, and a build folder may lie under the machine's /tmp (a CI clone):
        # the backdrop runs from a copy in the session's folder, as the program does.
        source = os.environ.get("ZX_BACKDROP")
        if source and "executable" not in kwargs:
            copy = self.session.path("bin", os.path.basename(source))
            if not os.path.exists(copy):
                shutil.copy2(source, copy)
                self.session.give(copy)
            kwargs["executable"] = copy
        return super().start_backdrop(**kwargs)

    def start_color_window(self, color=COLOR):
        window = self.session.start_color_window(color)
        self._spawned.append(window.process)
        return window
