"""Waiting for what a test expects: poll for the event itself until a deadline; never sleep a fixed time.

The bounds are far above what an idle machine needs (README.md has the figures: a window shows within
0.1 s, a snapshot takes well under a second), because the tests also run while builds keep every core
busy, and then everything takes many times as long. A bound only says how long a fault takes to show:
a wait whose event comes returns at once.
"""

import time

START_TIMEOUT = 60.0  # a display server, window manager, desktop or program comes up (the splash included)
EVENT_TIMEOUT = 30.0  # a window, the screen or a file answers what the test did
COMMAND_TIMEOUT = 60.0  # one run of a command-line tool


def wait_until(predicate, timeout, *, message, interval=0.05):
    """Calls predicate until it returns a true value, and returns that value.

    message says what was awaited, as the failure reads ("the menu did not open"); a function giving that
    text is called only then, so it can tell the state at the end. When timeout seconds pass first:
    AssertionError with the message, the bound and the last value seen.
    """
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            text = message() if callable(message) else message
            raise AssertionError(f"{text} (waited {timeout:g} s; last value: {value!r})")
        time.sleep(interval)


def happens_within(predicate, seconds, interval=0.05):
    """Whether predicate returns a true value within seconds. For what must not happen: seconds is the
    time watched, so it stays short and is no bound to be made generous."""
    deadline = time.monotonic() + seconds
    while True:
        if predicate():
            return True
        if time.monotonic() >= deadline:
            return False
        time.sleep(interval)
