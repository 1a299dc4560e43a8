"""Runs inside a headless Wayland session as its user, with the system's python3 (python3-gi, ctypes).

    wlagent.py input sway|gnome|kde   reads commands on stdin, one a line, answers "ok ..." or "error ...":
        move X Y            puts the pointer at screen (X, Y)
        press B / release B  mouse button B (1 left, 2 middle, 3 right)
        screenshot PATH     (gnome, kde) the compositor's own picture of the whole screen as a PNG file
    wlagent.py color RRGGBB   a native (GDK_BACKEND=wayland) window of one colour, maximized; prints
                              "size W H" when it is sized, "enter X Y" when the pointer comes in and
                              "click B X Y" per press (window coordinates)
    wlagent.py portal         one non-interactive Screenshot call through the desktop portal; prints the
                              response code, the file it names and the time it took

The pointer reaches native Wayland windows as well as Xwayland's: sway gets a wlr virtual pointer,
KWin a fake input device (both spoken through libwayland-client with ctypes, as no tool here does it),
mutter its RemoteDesktop D-Bus service.
"""

import ctypes
import ctypes.util
import os
import sys
import time

BTN_CODES = {1: 0x110, 2: 0x112, 3: 0x111}  # linux/input-event-codes.h: BTN_LEFT, BTN_MIDDLE, BTN_RIGHT


# ---------------------------------------------------------------------------------------------------
# A minimal Wayland client: enough of libwayland-client to bind one global and send requests.


class _Message(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("signature", ctypes.c_char_p), ("types", ctypes.c_void_p)]


class _Interface(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("version", ctypes.c_int), ("method_count", ctypes.c_int),
                ("methods", ctypes.POINTER(_Message)), ("event_count", ctypes.c_int),
                ("events", ctypes.POINTER(_Message))]


_GLOBAL = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint32, ctypes.c_char_p, ctypes.c_uint32)
_GLOBAL_REMOVE = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint32)


class _RegistryListener(ctypes.Structure):
    _fields_ = [("global_", _GLOBAL), ("global_remove", _GLOBAL_REMOVE)]


class WaylandClient:
    def __init__(self):
        self.lib = lib = ctypes.CDLL(ctypes.util.find_library("wayland-client") or "libwayland-client.so.0")
        lib.wl_display_connect.restype = ctypes.c_void_p
        lib.wl_display_connect.argtypes = [ctypes.c_char_p]
        lib.wl_display_roundtrip.argtypes = [ctypes.c_void_p]
        lib.wl_display_flush.argtypes = [ctypes.c_void_p]
        lib.wl_proxy_add_listener.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p]
        lib.wl_proxy_marshal_flags.restype = ctypes.c_void_p
        lib.wl_proxy_get_version.restype = ctypes.c_uint32
        lib.wl_proxy_get_version.argtypes = [ctypes.c_void_p]
        self.display = lib.wl_display_connect(None)
        if not self.display:
            raise RuntimeError("cannot connect to the Wayland display")
        self._keep = []
        self.globals = {}
        registry_interface = ctypes.c_void_p.in_dll(lib, "wl_registry_interface")
        # wl_display's request 1 is get_registry (0 is sync).
        self.registry = lib.wl_proxy_marshal_flags(ctypes.c_void_p(self.display), ctypes.c_uint32(1),
                                                   ctypes.c_void_p(ctypes.addressof(registry_interface)),
                                                   lib.wl_proxy_get_version(self.display), ctypes.c_uint32(0),
                                                   ctypes.c_void_p(None))
        self._listener = _RegistryListener(_GLOBAL(self._on_global), _GLOBAL_REMOVE(lambda *a: None))
        lib.wl_proxy_add_listener(self.registry, ctypes.byref(self._listener), None)
        lib.wl_display_roundtrip(self.display)

    def _on_global(self, data, registry, name, interface, version):
        self.globals[interface.decode()] = (name, version)

    def interface(self, name, requests):
        """A wl_interface for a protocol not in libwayland-client: requests are (name, signature, types)."""
        messages = (_Message * len(requests))()
        for i, (request, signature, types) in enumerate(requests):
            array = (ctypes.c_void_p * max(1, len(types)))(*types)
            self._keep.append(array)
            messages[i] = _Message(request.encode(), signature.encode(), ctypes.cast(array, ctypes.c_void_p))
        iface = _Interface(name.encode(), 99, len(requests), messages, 0, None)
        self._keep += [messages, iface]
        return iface

    def builtin(self, name):
        return ctypes.c_void_p(ctypes.addressof(ctypes.c_void_p.in_dll(self.lib, name)))

    def bind(self, name, interface, version):
        number, offered = self.globals[name]
        version = min(version, offered)
        proxy = self.lib.wl_proxy_marshal_flags(
            ctypes.c_void_p(self.registry), ctypes.c_uint32(0), ctypes.byref(interface), ctypes.c_uint32(version),
            ctypes.c_uint32(0), ctypes.c_uint32(number), ctypes.c_char_p(name.encode()), ctypes.c_uint32(version),
            ctypes.c_void_p(None))
        return proxy, version

    def request(self, proxy, opcode, *args, new=None):
        """Sends a request; with new=interface, returns the new object's proxy."""
        out = self.lib.wl_proxy_marshal_flags(ctypes.c_void_p(proxy), ctypes.c_uint32(opcode),
                                              ctypes.byref(new) if new is not None else ctypes.c_void_p(None),
                                              ctypes.c_uint32(self.lib.wl_proxy_get_version(proxy)),
                                              ctypes.c_uint32(0), *args)
        self.lib.wl_display_flush(self.display)
        return out

    def roundtrip(self):
        self.lib.wl_display_roundtrip(self.display)


def _u(value):
    return ctypes.c_uint32(int(value))


def _fixed(value):
    return ctypes.c_int32(int(round(value * 256)))


def _ms():
    return _u(int(time.monotonic() * 1000) & 0xFFFFFFFF)


class WlrPointer:
    """zwlr_virtual_pointer_v1: while it exists the seat has a pointer, so clients get pointer events."""

    def __init__(self, width, height):
        self.wl = wl = WaylandClient()
        self.width, self.height = width, height
        nulls = [None] * 5
        self.pointer_iface = wl.interface("zwlr_virtual_pointer_v1", [
            ("motion", "uff", nulls[:3]), ("motion_absolute", "uuuuu", nulls), ("button", "uuu", nulls[:3]),
            ("axis", "uuf", nulls[:3]), ("frame", "", []), ("axis_source", "u", nulls[:1]),
            ("axis_stop", "uu", nulls[:2]), ("axis_discrete", "uufi", nulls[:4]), ("destroy", "", [])])
        manager_iface = wl.interface("zwlr_virtual_pointer_manager_v1", [
            ("create_virtual_pointer", "?on", [wl.builtin("wl_seat_interface").value,
                                                ctypes.addressof(self.pointer_iface)]),
            ("destroy", "", [])])
        manager, version = wl.bind("zwlr_virtual_pointer_manager_v1", manager_iface, 1)
        self.pointer = wl.request(manager, 0, ctypes.c_void_p(None), ctypes.c_void_p(None), new=self.pointer_iface)
        wl.roundtrip()

    def move(self, x, y):
        self.wl.request(self.pointer, 1, _ms(), _u(x), _u(y), _u(self.width), _u(self.height))
        self.wl.request(self.pointer, 4)

    def button(self, button, pressed):
        self.wl.request(self.pointer, 2, _ms(), _u(BTN_CODES[button]), _u(1 if pressed else 0))
        self.wl.request(self.pointer, 4)
        self.wl.roundtrip()


class KWinPointer:
    """org_kde_kwin_fake_input (KWin lets it through with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1)."""

    def __init__(self, width, height):
        self.wl = wl = WaylandClient()
        nulls = [None] * 3
        iface = wl.interface("org_kde_kwin_fake_input", [
            ("authenticate", "ss", nulls[:2]), ("pointer_motion", "ff", nulls[:2]), ("button", "uu", nulls[:2]),
            ("axis", "uf", nulls[:2]), ("touch_down", "2uff", nulls), ("touch_motion", "2uff", nulls),
            ("touch_up", "2u", nulls[:1]), ("touch_cancel", "2", []), ("touch_frame", "2", []),
            ("pointer_motion_absolute", "3ff", nulls[:2]), ("keyboard_key", "4uu", nulls[:2])])
        self.fake, self.version = wl.bind("org_kde_kwin_fake_input", iface, 4)
        wl.request(self.fake, 0, ctypes.c_char_p(b"zx e2e"), ctypes.c_char_p(b"end-to-end tests"))
        wl.roundtrip()

    def move(self, x, y):
        self.wl.request(self.fake, 9, _fixed(x), _fixed(y))

    def button(self, button, pressed):
        self.wl.request(self.fake, 2, _u(BTN_CODES[button]), _u(1 if pressed else 0))
        self.wl.roundtrip()


# ---------------------------------------------------------------------------------------------------
# mutter and gnome-shell over D-Bus


def _gio():
    import gi

    gi.require_version("Gio", "2.0")
    from gi.repository import Gio, GLib

    return Gio, GLib


class MutterPointer:
    """org.gnome.Mutter.RemoteDesktop; absolute moves need a ScreenCast stream of the monitor."""

    def __init__(self, width, height):
        Gio, GLib = self.Gio, self.GLib = _gio()
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        # gnome-shell answers org.gnome.Shell.Screenshot only to a few well-known names.
        Gio.bus_own_name_on_connection(self.bus, "org.gnome.Screenshot", 0, None, None)
        self.rd = self._call("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                             "org.gnome.Mutter.RemoteDesktop", "CreateSession", None)[0]
        session_id = self._call("org.gnome.Mutter.RemoteDesktop", self.rd, "org.freedesktop.DBus.Properties", "Get",
                                GLib.Variant("(ss)", ("org.gnome.Mutter.RemoteDesktop.Session", "SessionId")))[0]
        sc = self._call("org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast", "org.gnome.Mutter.ScreenCast",
                        "CreateSession", GLib.Variant("(a{sv})", ({"remote-desktop-session-id":
                                                                      GLib.Variant("s", session_id)},)))[0]
        self.stream = self._call("org.gnome.Mutter.ScreenCast", sc, "org.gnome.Mutter.ScreenCast.Session",
                                 "RecordMonitor", GLib.Variant("(sa{sv})", ("", {})))[0]
        self._rd_call("Start", None)
        self._iterate()

    def _iterate(self):
        context = self.GLib.MainContext.default()
        while context.pending():
            context.iteration(False)

    def _call(self, name, path, interface, method, args):
        result = self.bus.call_sync(name, path, interface, method, args, None, 0, 10000, None)
        return result.unpack() if result is not None else ()

    def _rd_call(self, method, args):
        return self._call("org.gnome.Mutter.RemoteDesktop", self.rd, "org.gnome.Mutter.RemoteDesktop.Session",
                          method, args)

    def move(self, x, y):
        self._rd_call("NotifyPointerMotionAbsolute", self.GLib.Variant("(sdd)", (self.stream, float(x), float(y))))

    def button(self, button, pressed):
        self._rd_call("NotifyPointerButton", self.GLib.Variant("(ib)", (BTN_CODES[button], pressed)))

    def key(self, keysym, pressed):
        self._rd_call("NotifyKeyboardKeysym", self.GLib.Variant("(ub)", (keysym, pressed)))

    def screenshot(self, path):
        ok, used = self._call("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot",
                              "org.gnome.Shell.Screenshot", "Screenshot",
                              self.GLib.Variant("(bbs)", (False, False, path)))
        if not ok:
            raise RuntimeError("gnome-shell refused the screenshot")
        return used


class KWinScreenshot:
    """org.kde.KWin.ScreenShot2.CaptureArea writes raw pixels into a pipe (KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1)."""

    def __init__(self, width, height):
        self.width, self.height = width, height
        Gio, GLib = self.Gio, self.GLib = _gio()
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)

    def screenshot(self, path):
        Gio, GLib = self.Gio, self.GLib
        read_end, write_end = os.pipe()
        fds = Gio.UnixFDList.new()
        index = fds.append(write_end)
        os.close(write_end)
        options = {"native-resolution": GLib.Variant("b", True), "include-cursor": GLib.Variant("b", False)}
        result, _ = self.bus.call_with_unix_fd_list_sync(
            "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureArea",
            GLib.Variant("(iiuua{sv}h)", (0, 0, self.width, self.height, options, index)), None, 0, 10000, fds, None)
        fds = None
        info = result.unpack()[0]
        data = b""
        while True:
            chunk = os.read(read_end, 1 << 20)
            if not chunk:
                break
            data += chunk
        os.close(read_end)
        width, height, stride = info["width"], info["height"], info["stride"]
        # QImage::Format_ARGB32(_Premultiplied) or RGB32: bytes B, G, R, A in memory.
        rgb = bytearray(width * height * 3)
        for y in range(height):
            row = data[y * stride : y * stride + width * 4]
            rgb[y * width * 3 : (y + 1) * width * 3 : 3] = row[2::4]
            rgb[y * width * 3 + 1 : (y + 1) * width * 3 : 3] = row[1::4]
            rgb[y * width * 3 + 2 : (y + 1) * width * 3 : 3] = row[0::4]
        with open(path, "wb") as out:
            out.write(b"P6\n%d %d\n255\n" % (width, height) + bytes(rgb))
        return path


# ---------------------------------------------------------------------------------------------------
# Modes


def run_input(desktop, width, height):
    pointer = {"sway": WlrPointer, "gnome": MutterPointer, "kde": KWinPointer}[desktop](width, height)
    shooter = KWinScreenshot(width, height) if desktop == "kde" else pointer
    print("ready", flush=True)
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        try:
            if words[0] == "move":
                pointer.move(int(words[1]), int(words[2]))
                answer = "ok"
            elif words[0] in ("press", "release"):
                pointer.button(int(words[1]), words[0] == "press")
                answer = "ok"
            elif words[0] == "key" and desktop == "gnome":
                pointer.key(int(words[1], 0), words[2] == "down")
                answer = "ok"
            elif words[0] == "screenshot" and hasattr(shooter, "screenshot"):
                answer = "ok " + shooter.screenshot(words[1])
            else:
                answer = "error unknown command " + words[0]
        except Exception as error:  # the harness shows it; the agent lives on
            answer = "error " + " ".join(str(error).split())
        print(answer, flush=True)


def run_color(hex_color):
    import gi

    gi.require_version("Gtk", "3.0")
    from gi.repository import GLib, Gtk

    GLib.set_prgname("zx-color")  # the Wayland app_id
    window = Gtk.Window(title="zx-color")
    css = Gtk.CssProvider()
    css.load_from_data(b"window { background-color: #%s; background-image: none; }" % hex_color.encode())
    Gtk.StyleContext.add_provider_for_screen(window.get_screen(), css, Gtk.STYLE_PROVIDER_PRIORITY_USER)
    window.set_decorated(False)  # no client-side title bar: the colour starts at the window's corner
    window.set_default_size(640, 480)
    window.add_events(1 << 8)  # GDK_BUTTON_PRESS_MASK

    def pressed(widget, event):
        print(f"click {event.button} {int(event.x)} {int(event.y)}", flush=True)
        return True

    def configured(widget, event):
        print(f"size {event.width} {event.height}", flush=True)
        return False

    def entered(widget, event):
        print(f"enter {int(event.x)} {int(event.y)}", flush=True)
        return False

    window.add_events(1 << 12)  # GDK_ENTER_NOTIFY_MASK
    window.connect("enter-notify-event", entered)
    window.connect("button-press-event", pressed)
    window.connect("configure-event", configured)
    window.connect("destroy", Gtk.main_quit)
    window.maximize()
    window.show_all()
    Gtk.main()


def run_portal():
    Gio, GLib = _gio()
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    loop = GLib.MainLoop()
    token = "zx%d" % os.getpid()
    sender = bus.get_unique_name()[1:].replace(".", "_")
    path = f"/org/freedesktop/portal/desktop/request/{sender}/{token}"
    result = {}

    def on_response(connection, sender_name, object_path, interface, signal, params):
        result["code"], result["results"] = params.unpack()
        loop.quit()

    bus.signal_subscribe("org.freedesktop.portal.Desktop", "org.freedesktop.portal.Request", "Response", path, None,
                         0, on_response)
    started = time.monotonic()
    bus.call_sync("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                  "org.freedesktop.portal.Screenshot", "Screenshot",
                  GLib.Variant("(sa{sv})", ("", {"handle_token": GLib.Variant("s", token),
                                                 "interactive": GLib.Variant("b", False)})), None, 0, 60000, None)
    GLib.timeout_add_seconds(60, loop.quit)
    loop.run()
    uri = result.get("results", {}).get("uri", "")
    print(f"response {result.get('code', 'none')} {uri or '-'} {time.monotonic() - started:.3f}", flush=True)


if __name__ == "__main__":
    mode = sys.argv[1]
    if mode == "input":
        run_input(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif mode == "color":
        run_color(sys.argv[2])
    elif mode == "portal":
        run_portal()
    else:
        sys.exit(f"unknown mode {mode}")
