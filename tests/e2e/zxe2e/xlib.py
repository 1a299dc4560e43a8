"""libX11 through ctypes, loaded once, for what no command-line tool here does: client messages to the
window manager, selection owners and the clipboard."""

import ctypes
import ctypes.util
import os

from .waiting import wait_until

SELECTION_NOTIFY = 31
CLIENT_MESSAGE = 33
SUBSTRUCTURE_NOTIFY_REDIRECT = (1 << 19) | (1 << 20)


class ClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class SelectionEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("requestor", ctypes.c_ulong), ("selection", ctypes.c_ulong),
                ("target", ctypes.c_ulong), ("property", ctypes.c_ulong), ("time", ctypes.c_ulong)]


class Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", ClientMessageEvent), ("xselection", SelectionEvent),
                ("pad", ctypes.c_long * 24)]


_lib = None


def lib():
    """libX11, its functions declared."""
    global _lib
    if _lib is None:
        x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        display, window, atom = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong
        for name, result, arguments in (
                ("XOpenDisplay", display, [ctypes.c_char_p]),
                ("XCloseDisplay", ctypes.c_int, [display]),
                ("XSync", ctypes.c_int, [display, ctypes.c_int]),
                ("XDefaultRootWindow", window, [display]),
                ("XInternAtom", atom, [display, ctypes.c_char_p, ctypes.c_int]),
                ("XSendEvent", ctypes.c_int, [display, window, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Event)]),
                ("XCreateSimpleWindow", window, [display, window] + [ctypes.c_int] * 2 + [ctypes.c_uint] * 3
                 + [ctypes.c_ulong] * 2),
                ("XDestroyWindow", ctypes.c_int, [display, window]),
                ("XMapWindow", ctypes.c_int, [display, window]),
                ("XUnmapWindow", ctypes.c_int, [display, window]),
                ("XGetSelectionOwner", window, [display, atom]),
                ("XSetSelectionOwner", ctypes.c_int, [display, atom, window, ctypes.c_ulong]),
                ("XConvertSelection", ctypes.c_int, [display, atom, atom, atom, window, ctypes.c_ulong]),
                ("XPending", ctypes.c_int, [display]),
                ("XNextEvent", ctypes.c_int, [display, ctypes.POINTER(Event)]),
                ("XGetWindowProperty", ctypes.c_int,
                 [display, window, atom, ctypes.c_long, ctypes.c_long, ctypes.c_int, atom,
                  ctypes.POINTER(atom), ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
                  ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]),
                ("XFree", ctypes.c_int, [ctypes.c_void_p])):
            function = getattr(x, name)
            function.restype, function.argtypes = result, arguments
        _lib = x
    return _lib


def open_display(name, xauthority):
    """A connection to the X display name, authorized by the cookie file xauthority (None: no file)."""
    # Xlib reads the cookie file's name from this process's environment.
    saved = os.environ.get("XAUTHORITY")
    if xauthority:
        os.environ["XAUTHORITY"] = xauthority
    try:
        connection = lib().XOpenDisplay(name.encode())
    finally:
        if saved is None:
            os.environ.pop("XAUTHORITY", None)
        else:
            os.environ["XAUTHORITY"] = saved
    if not connection:
        raise RuntimeError(f"cannot open display {name}")
    return connection


class Clipboard:
    """The CLIPBOARD selection of a display, read as UTF-8 text through a window of its own (no clipboard
    tool is installed). Made by XDisplayClient.clipboard(); lives as long as the connection."""

    def __init__(self, connection):
        x = lib()
        self._dpy = connection
        self._window = x.XCreateSimpleWindow(connection, x.XDefaultRootWindow(connection), 0, 0, 1, 1, 0, 0, 0)
        atom = lambda name: x.XInternAtom(connection, name, 0)  # noqa: E731
        self._clipboard, self._utf8, self._property = atom(b"CLIPBOARD"), atom(b"UTF8_STRING"), atom(b"ZX_CLIP")

    def clear(self):
        """Takes the selection away from its owner, so that a later read sees only a new copy."""
        lib().XSetSelectionOwner(self._dpy, self._clipboard, self._window, 0)
        lib().XSync(self._dpy, 0)

    def read(self, timeout):
        """The clipboard's text, or None when nobody else owns it or the owner refuses it."""
        x = lib()
        if x.XGetSelectionOwner(self._dpy, self._clipboard) in (0, self._window):
            return None
        x.XConvertSelection(self._dpy, self._clipboard, self._utf8, self._property, self._window, 0)
        x.XSync(self._dpy, 0)
        event = Event()

        def answered():
            while x.XPending(self._dpy):
                x.XNextEvent(self._dpy, ctypes.byref(event))
                if event.type == SELECTION_NOTIFY and event.xselection.requestor == self._window:
                    return True
            return False

        wait_until(answered, timeout, interval=0.01, message="an answer from the clipboard's owner")
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
