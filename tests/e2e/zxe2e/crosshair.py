"""What the end-to-end tests read off the running crosshair window: splash over, bands, menu commands."""

RED = (192, 0, 0)
BUTTON_SIZE = 25  # the camera button's square in the inside's top-right corner

# Top-level items of the camera button's menu, in the order the Down key visits them.
MENU_HELP, MENU_ABOUT, MENU_CROSSHAIR, MENU_CAPTURE, MENU_QUALITY, MENU_SEQUENCE, MENU_IMAGES, MENU_SOUND = range(8)


def wait_see_through(test, wid, backdrop, timeout=10):
    """Waits until the splash is gone: the inside's bottom-left corner shows the backdrop. Returns the inside.

    Of a window partly off the screen, the corner of the part on the screen is looked at.
    """
    session = test.session

    def shows_backdrop():
        inside = session.geometry(wid)
        probe = (max(inside.x, 0) + 5, min(inside.bottom, session.height) - 5)
        return inside if session.screenshot().pixel(*probe) == backdrop.expected_color(*probe) else None

    return test.wait_until(shows_backdrop, timeout, message="the inside never became see-through")


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


def wait_bands(test, wid, timeout=5):
    """Waits until the window shows two pairs of bands centred in its inside; returns (inside, columns, rows).

    Centred: bands painted for an earlier size of the window do not count.
    """
    session = test.session

    def centred(runs, length):
        return len(runs) == 2 and abs((runs[0][0] + runs[1][-1] + 1) / 2 - length / 2) <= 1

    def settled():
        inside = session.geometry(wid)
        columns, rows = bands(session.screenshot(), inside)
        if centred(columns, inside.width) and centred(rows, inside.height):
            return inside, columns, rows
        return None

    return test.wait_until(settled, timeout, message="no two pairs of bands about the centre")


def red_in_inside(shot, inside):
    """How many crosshair-red pixels the inside shows outside the camera button."""
    part = shot.crop(inside)
    button_left = inside.width - BUTTON_SIZE
    count = part.count(lambda c: c == RED)
    button = part.crop(button_left, 0, BUTTON_SIZE, min(BUTTON_SIZE, inside.height))
    return count - button.count(lambda c: c == RED)


def run_menu_command(test, program, wid, item, sub_item=None):
    """Chooses a menu item with the keyboard: right click on the camera button, Down to item, Right into
    its submenu, Down to sub_item, Return."""
    session = test.session
    inside = session.geometry(wid)
    before = set(session.find_windows(pid=program.process.pid))
    opened = lambda: set(session.find_windows(pid=program.process.pid)) - before  # noqa: E731
    # A click that comes while Qt is still closing the last menu is taken by it: one more try then.
    for attempt in range(2):
        session.click(inside.right - BUTTON_SIZE // 2 - 1, inside.y + BUTTON_SIZE // 2, button=3)
        try:
            test.wait_until(opened, 3, message="the menu did not open")
            break
        except AssertionError:
            if attempt == 1:
                raise
    keys = ["Down"] * (item + 1)
    if sub_item is not None:
        keys += ["Right"] + ["Down"] * sub_item
    session.key(keys + ["Return"])

