"""Screens a scenario judges while the guest runs: after a serial-log marker, screenshots are
taken until the pixel checks pass (or the screen's time is up), and the passing one is kept
as docs/screens/NAME.png.

A scenario lists them under "screens":

    {"name": "boot_normal", "after": "hearth: End DrawBootGraphics", "background": "BFBFBF",
     "pictures": ["TarnLogo"], "size": [1024, 768], "within": 30}

"pictures" name pictures compiled into hearth (hearthtool picture NAME --json gives their
size and colours), give {"picture": NAME, "x": X, "y": Y} for one placed elsewhere ("height"
cuts it to its first frame: the network-boot spinner's 18 frames are stacked), or
describe one in full ({"name", "width", "height", "colors": ["RRGGBB", ...]});
"ignore" lists rectangles [x, y, w, h] left out of the checks.
"""

import json
import os
import re
import shutil
import subprocess
import time

from . import serial_log
from .qemu import POLL_SECONDS

PIXEL_PYTHON = "/usr/bin/python3"  # Debian's, with python3-pil
CHECKER = os.path.join(os.path.dirname(__file__), "pixel_check.py")
KEEP_DIR = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "screens")


def _picture(host_dir, entry):
    if isinstance(entry, dict) and "colors" in entry:
        return entry  # given in full: {"name", "width", "height", "colors", "opacity"?, "x"?, "y"?}
    name = entry if isinstance(entry, str) else entry["picture"]
    out = subprocess.run([os.path.join(host_dir, "hearthtool"), "picture", name, "--json"],
                         capture_output=True, text=True, check=True)
    info = json.loads(out.stdout)
    if not isinstance(entry, str):
        info.update({k: v for k, v in entry.items() if k in ("x", "y", "height")})
    return info


def check_png(png, screen, host_dir):
    """The failures of one screenshot against one screen's expectations."""
    spec = {"png": png, "background": screen["background"],
            "pictures": [_picture(host_dir, p) for p in screen.get("pictures", [])],
            "ignore": screen.get("ignore", [])}
    if "size" in screen:
        spec["size"] = screen["size"]
    out = subprocess.run([PIXEL_PYTHON, CHECKER, json.dumps(spec)], capture_output=True, text=True)
    if out.returncode != 0:
        return [f"pixel check could not run: {out.stderr.strip()[-300:]}"]
    return json.loads(out.stdout)


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
                last = check_png(png, screen, host_dir)
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
