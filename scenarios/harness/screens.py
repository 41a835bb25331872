"""Screens a scenario judges while the guest runs: after a serial-log marker, screenshots are
taken until the pixel checks pass (or the screen's time is up), and the passing one is kept
as docs/screens/NAME.png.

A scenario lists them under "screens":

    {"name": "boot_normal", "after": "hearth: End DrawBootGraphics", "background": "BFBFBF",
     "pictures": ["TarnLogo"], "size": [1024, 768], "within": 30}

Besides name, after, within and keep, a screen holds the checks of pixel_check.py (size,
background, pictures, ignore, points), the one place where checks are described and judged.
"""

import os
import re
import shutil
import time

from . import pixel_check, serial_log
from .qemu import POLL_SECONDS

KEEP_DIR = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "screens")


def capture(machine, screens, out_dir, host_dir, timeout):
    """Walks the screens in order; returns the failures."""
    failures = []
    deadline = time.monotonic() + timeout
    for screen in screens:
        name = screen["name"]
        marker = re.compile(screen["after"], re.MULTILINE)
        while not marker.search(serial_log.read_clean(machine.serial_log)):
            if not machine.running() or time.monotonic() >= deadline:
                failures.append(f"screen {name}: /{screen['after']}/ never came")
                return failures
            time.sleep(POLL_SECONDS)
        until = time.monotonic() + float(screen.get("within", 30))
        png = os.path.join(out_dir, f"{name}.png")
        last = ["no screenshot taken"]
        while time.monotonic() < until and machine.running():
            try:
                machine.screendump(png)
                last = pixel_check.check(png, screen, host_dir)
            except Exception as e:  # a failed dump is retried like a failed check
                last = [f"screenshot failed: {e}"]
            if not last:
                break
            time.sleep(POLL_SECONDS)
        if last:
            failures += [f"screen {name}: {f}" for f in last]
        elif screen.get("keep", True):
            os.makedirs(KEEP_DIR, exist_ok=True)
            shutil.copyfile(png, os.path.join(KEEP_DIR, f"{name}.png"))
    return failures
