"""The end-to-end harness: the program under test on private displays.

display    X displays (Xvfb with openbox), processes, the backdrop, the unittest base class
crosshair  what the program's window shows and how it is driven: bands, camera button, menu
wayland    headless Wayland desktops (sway, gnome-shell, kwin_wayland) with Xwayland
wlagent    the helper that runs inside a Wayland session, with the system's python3
picture    Rect, Image and picture files, the backdrop's gradient
xlib       libX11 through ctypes: window manager messages, selection owners, the clipboard
waiting    wait_until and the bounds of waits

The names most tests need come from here: zxe2e.E2ETestCase, zxe2e.Rect, zxe2e.wait_until...
"""

from .display import (
    LIBRARY_NAME, PROGRAM_NAME, SCREEN_DEPTH, SCREEN_DPI, SCREEN_HEIGHT, SCREEN_WIDTH, Backdrop, E2ETestCase,
    ProgramHandle, Process, XDisplayClient, XSession, copy_program, reported_clicks, wait_picture,
)
from .picture import FrameExtents, Image, Rect, color_close, gradient_color, gradient_position, load_image
from .waiting import COMMAND_TIMEOUT, wait_until

__all__ = [
    "COMMAND_TIMEOUT", "LIBRARY_NAME", "PROGRAM_NAME", "SCREEN_DEPTH", "SCREEN_DPI", "SCREEN_HEIGHT", "SCREEN_WIDTH",
    "Backdrop", "E2ETestCase", "FrameExtents", "Image", "ProgramHandle", "Process", "Rect", "XDisplayClient",
    "XSession", "color_close", "copy_program", "gradient_color", "gradient_position", "load_image",
    "reported_clicks", "wait_picture", "wait_until",
]
