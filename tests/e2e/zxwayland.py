"""Old name of zxe2e.wayland, still imported by bench/compare_routes.py."""

from zxe2e.wayland import *  # noqa: F401,F403
