"""What the program's window shows and how a test drives it: its titles, the crosshair's red bands, the
camera button, the popup menu and the design window, all as the screen shows them.

Functions take the session (XSession or a Wayland session) and a ProgramHandle whose wait_window() has run.
"""

import datetime
import os
import re
import subprocess

from .display import PROGRAM_NAME, SCREEN_DPI
from .picture import Rect, color_close, read_exif
from .waiting import COMMAND_TIMEOUT, EVENT_TIMEOUT, START_TIMEOUT, wait_until

RED = (192, 0, 0)  # the bands, on every desktop
# Quality 100 is written without chroma subsampling; up to 4 levels of error were seen. The gradient
# changes by one level a pixel, so a picture shifted by more than this shows; the bands catch less.
JPEG_TOLERANCE = 8

BUTTON_TWIPS = 375  # the camera button's square, in the inside's top-right corner
DESIGN_INSIDE_TWIPS = Rect(3450, 2340, 7125, 4710)  # a first start's inside, placed on the primary screen
HELP_INSIDE_TWIPS = (7215, 5400)
ABOUT_SIZE = (395, 111)  # pixels, at any scale
DEFAULT_PIXELS = 4  # the crosshair's half-gap when the settings file says nothing
# The design window at 96 dpi (inside 475 x 314, gap 4): two-pixel bands around the lines at inside
# columns 233.47 and 241.47 and rows 153 and 161.
DESIGN_BAND_COLUMNS = [(232, 233), (240, 241)]
DESIGN_BAND_ROWS = [(152, 153), (160, 161)]

# Top-level items of the camera button's menu, in the order the Down key visits them (separators are
# skipped). Nothing is selected when the menu opens, so item n takes n + 1 Down presses.
MENU_HELP, MENU_ABOUT, MENU_CROSSHAIR, MENU_CAPTURE, MENU_QUALITY, MENU_SEQUENCE, MENU_IMAGES, MENU_SOUND, \
    MENU_TELESCOPE = range(9)
# Items of the submenus; a submenu opens with its first item selected, so item n takes n Down presses.
CROSSHAIR_NONE, CROSSHAIR_CROSS = 0, 1
CAPTURE_CLIENT_AREA = 1
SEQUENCE_START = 0
IMAGES_CLEAR = 1  # after "Explore Images Folder"; the separator is skipped
TELESCOPE_NIGHT, TELESCOPE_RED, TELESCOPE_GREEN, TELESCOPE_WHITE, TELESCOPE_YELLOW, TELESCOPE_CYAN, \
    TELESCOPE_STAR_OFFSET = range(7)


# ---------------------------------------------------------------------------------------------------
# Names and sizes


def version():
    """The program's version as the build sets it (CTest passes the project's version as ZX_VERSION)."""
    value = os.environ.get("ZX_VERSION", "")
    if not re.fullmatch(r"\d+\.\d+\.\d+", value):
        raise RuntimeError(f"ZX_VERSION must hold the build's version (x.y.z), not {value!r}; CTest sets it")
    return value


def help_title():
    return f"{PROGRAM_NAME} Help Information  v{version()}"


def about_title():
    return f"{PROGRAM_NAME} V{version()}"


def twips_per_pixel(dpi):
    return round(1440 / dpi)  # Python rounds halves to the even neighbour, as the program must


def to_pixels(twips, dpi):
    return round(twips / twips_per_pixel(dpi))


def design_inside(dpi=SCREEN_DPI):
    """Where a first start puts the inside, in screen pixels."""
    return Rect(*(to_pixels(t, dpi) for t in DESIGN_INSIDE_TWIPS))


def button_square(inside, dpi=SCREEN_DPI):
    """Where the camera button belongs: its twips size in the inside's top-right corner."""
    size = to_pixels(BUTTON_TWIPS, dpi)
    return Rect(inside.right - size, inside.y, size, size)


# ---------------------------------------------------------------------------------------------------
# The see-through inside and its bands


def wait_see_through(session, wid, below, timeout=START_TIMEOUT):
    """Waits until the splash is gone: the inside's bottom-left corner shows what lies below (an object
    with expected_color(x, y), a backdrop say). Returns the inside.

    Of a window partly off the screen, the corner of the part on the screen is looked at.
    """
    def shows_below():
        inside = session.geometry(wid)
        probe = (max(inside.x, 0) + 5, min(inside.bottom, session.height) - 5)
        return inside if session.screenshot().pixel(*probe) == below.expected_color(*probe) else None

    return wait_until(shows_below, timeout, message="the splash did not give way to the see-through inside")


def start_ready(test, below, folder=None, files=None, **options):
    """Starts the program in folder (default: a fresh copy holding files) and waits until its splash has
    given way to the see-through inside. Returns the ProgramHandle, its wid set."""
    program = test.start_program(folder or test.make_program_copy(files=files), **options)
    program.wait_window()
    wait_see_through(test.session, program.wid, below)
    return program


# A zone whose offset is negative, not whole hours, and changes for the summer, as a rule the C library
# reads without a time zone database; an e2e test may start the program in it.
ZONE_WITH_SUMMER_TIME = "NST3:30NDT,M3.2.0,M11.1.0"
MOMENT_TOLERANCE = 0.05  # seconds the stamp may lie off the grab


def utc_offset(timestamp, zone=None):
    """The UTC offset at the moment in the zone (a TZ value; None: this machine's own), as date reckons it."""
    env = dict(os.environ)
    if zone is not None:
        env["TZ"] = zone
    text = subprocess.run(["date", "-d", f"@{int(timestamp)}", "+%z"], env=env, capture_output=True, text=True,
                          check=True, timeout=COMMAND_TIMEOUT).stdout.strip()
    minutes = int(text[1:3]) * 60 + int(text[3:5])
    return datetime.timedelta(minutes=-minutes if text[0] == "-" else minutes)


def assert_stamped(test, path, clicked, seen, zone=None, description=None):
    """The snapshot file's EXIF names the moment of its grab, which lies between clicked (time.time() just
    before the click) and seen (once the file was there), in the program's local time: the offset is the
    zone's at that moment (zone as utc_offset takes it). description: the ImageDescription (the star's
    offset while it is read), None for none."""
    exif = read_exif(path)
    test.assertIsNotNone(exif["taken"], f"no moment of the grab in the EXIF of {path}: {exif['fields']}")
    test.assertEqual(exif["version"], "0232")
    stamp = exif["taken"].timestamp()
    test.assertTrue(clicked - MOMENT_TOLERANCE <= stamp <= seen + MOMENT_TOLERANCE,
                    f"{exif['fields']}: {stamp:.3f}, not between the click ({clicked:.3f}) and the file ({seen:.3f})")
    test.assertEqual(exif["taken"].utcoffset(), utc_offset(stamp, zone), exif["fields"])
    test.assertEqual(exif["description"], description)


def _runs(indices):
    runs = []
    for i in indices:
        if runs and runs[-1][-1] == i - 1:
            runs[-1].append(i)
        else:
            runs.append([i])
    return [tuple(run) for run in runs]


def bands(shot, inside):
    """(columns, rows) of the crosshair bands in inside coordinates, each a list of runs of adjacent lines.

    A column (row) belongs to a band when most of its pixels are crosshair red; the camera button and
    the crossing bands are too small to make one.
    """
    part = shot.crop(inside)
    width, height, data = part.width, part.height, part.data
    red = bytes(RED)
    column_hits = [0] * width
    rows = []
    for y in range(height):
        start = y * width * 3
        hits = [data[start + 3 * x : start + 3 * x + 3] == red for x in range(width)]
        if sum(hits) > width // 2:
            rows.append(y)
        for x, hit in enumerate(hits):
            column_hits[x] += hit
    columns = [x for x, n in enumerate(column_hits) if n > height // 2]
    return _runs(columns), _runs(rows)


def centred(columns, rows, inside):
    """Whether there are two bands each way about the inside's centre (bands painted for an earlier size
    of the window are not)."""
    def pair(runs, length):
        return len(runs) == 2 and abs((runs[0][0] + runs[1][-1] + 1) / 2 - length / 2) <= 1

    return pair(columns, inside.width) and pair(rows, inside.height)


def wait_bands(session, wid, timeout=EVENT_TIMEOUT, inside_of=None):
    """Waits until the window shows two pairs of bands centred in its inside; returns (inside, columns, rows).

    inside_of(wid): where the inside is, for a window whose X window holds its frame too (Wine's)."""
    seen = {}

    def settled():
        inside = (inside_of or session.geometry)(wid)
        columns, rows = bands(session.screenshot(), inside)
        seen.update(inside=inside, columns=columns, rows=rows)
        return (inside, columns, rows) if centred(columns, rows, inside) else None

    return wait_until(settled, timeout, message=lambda: f"no two pairs of bands about the centre; last seen {seen}")


def red_in_inside(shot, inside):
    """How many crosshair-red pixels the inside shows outside the camera button."""
    part = shot.crop(inside)
    button = button_square(Rect(0, 0, inside.width, inside.height))
    return part.count(lambda c: c == RED) - part.crop(button).count(lambda c: c == RED)


def inside_mismatches(picture, inside, columns, rows, below, origin=(0, 0), tolerance=0, skip=None):
    """[(x, y, got, wanted)] of the inside's pixels (inside coordinates) that picture shows otherwise than
    the crosshair does: red on the bands (columns and rows: runs of inside coordinates), below(x, y) of the
    screen position elsewhere. origin: the screen position of the picture's top-left pixel; skip(x, y)
    leaves a pixel out; tolerance: per channel."""
    band_x = {x for run in columns for x in run}
    band_y = {y for run in rows for y in run}
    wrong = []
    for y in range(inside.height):
        for x in range(inside.width):
            if skip and skip(x, y):
                continue
            sx, sy = inside.x + x, inside.y + y
            got = picture.pixel(sx - origin[0], sy - origin[1])
            wanted = RED if x in band_x or y in band_y else below(sx, sy)
            if got != wanted and not color_close(got, wanted, tolerance):
                wrong.append((x, y, got, wanted))
    return wrong


# ---------------------------------------------------------------------------------------------------
# Other windows of the program: its menu and dialogs


def other_windows(session, program):
    """The program's visible windows besides the crosshair window: menus, dialogs."""
    return [wid for wid in session.find_windows(pid=program.process.pid) if wid != program.wid]


def dialogs(session, program):
    """The program's windows titled with its name besides the crosshair window: prompts, message boxes."""
    return [wid for wid in session.find_windows(program.name, program.process.pid) if wid != program.wid]


def shows_content(shot, area, below, colors=20):
    """Whether the picture shot of the screen shows a window's own content over area: more than colors
    colours, and at no point of a 7-pixel grid what lies below it (below(x, y), screen coordinates)."""
    part = shot.crop(area)
    if len(part.colors()) <= colors:
        return False
    return not any(part.pixel(x, y) == below(area.x + x, area.y + y)
                   for x in range(0, area.width, 7) for y in range(0, area.height, 7))


def wait_dialog(session, program, not_this=None, timeout=EVENT_TIMEOUT):
    """Waits for exactly one dialog besides not_this, framed by the window manager; returns its id."""
    def single():
        wids = [wid for wid in dialogs(session, program) if wid != not_this]
        return wids[0] if len(wids) == 1 and session.frame_extents(wids[0]) else None

    return wait_until(single, timeout, message="no dialog titled with the program name")


def close_dialog(session, program, dialog, title):
    """Closes a window the program shows over its own (help, About), waits until it is gone and the
    crosshair window is back in the top band."""
    session.close_window(dialog)
    wait_until(lambda: not session.find_windows(title, pid=program.process.pid), EVENT_TIMEOUT,
               message=f"{title!r} stayed open")
    wait_until(lambda: "_NET_WM_STATE_ABOVE" in session.net_wm_state(program.wid), EVENT_TIMEOUT,
               message=f"not on top again after {title!r} closed")


def open_menu(session, program):
    """Right-clicks the camera button and waits for the popup menu. Returns the ids of its windows."""
    wait_until(lambda: not other_windows(session, program), EVENT_TIMEOUT,
               message="an earlier menu or a dialog stayed open")
    # One click: a second one, should a busy machine show the menu late, would close it again.
    session.click(*button_square(program.inside(), session.dpi).center, button=3)
    return wait_until(lambda: set(other_windows(session, program)), EVENT_TIMEOUT,
                      message="the popup menu did not open at the camera button")


def choose(session, program, item, sub_item=None):
    """Chooses a menu command with the keyboard: Down to item, Return; or, with sub_item, Right into the
    item's submenu, Down to sub_item, Return. The menu holds the keyboard, so the keys go to no window."""
    menu = open_menu(session, program)
    keys = ["Down"] * (item + 1)
    if sub_item is None:
        session.key(keys + ["Return"])
        return
    session.key(keys + ["Right"])
    # Keys sent before the submenu holds the keyboard would go to the top-level menu.
    wait_until(lambda: set(other_windows(session, program)) - menu, EVENT_TIMEOUT, message="the submenu did not open")
    session.key(["Down"] * sub_item + ["Return"])
