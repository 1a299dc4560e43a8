"""Waiting for what a test expects: poll with a deadline, never sleep a fixed time."""

import time

COMMAND_TIMEOUT = 30.0  # one run of a command-line tool


def wait_until(predicate, timeout, interval=0.05, message="condition not met"):
    """Calls predicate until it returns a true value, and returns that value.

    Raises AssertionError with message and the last value seen when timeout seconds pass first.
    """
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"{message} (waited {timeout:g} s; last value: {value!r})")
        time.sleep(interval)
