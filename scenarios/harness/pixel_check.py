#!/usr/bin/python3
"""The one judge of screenshots: every pixel check of every scenario goes through here.

The harness calls check(png, expectations, host_dir); the checks themselves run under
Debian's /usr/bin/python3 (Pillow, python3-pil), which runs this file with one JSON argument
and reads one JSON list of failures (empty: passed) from standard output.

Expectations (every key optional):

    {"size": [W, H],
     "background": "RRGGBB",
     "pictures": ["TarnLogo", {"picture": "NetBoot", "x": X, "y": Y, "height": H},
                  {"name", "width", "height", "colors": ["RRGGBB", ...], "opacity"?, "exact"?,
                   "x"?, "y"?}],
     "ignore": [[x, y, w, h], ...],
     "points": [{"x": 10, "y": -90, "rgb": [230, 230, 230], "tolerance": 6, "what": "..."}]}

- size: the screen's size; anything else is not looked at when it differs.
- background: the four corners and every pixel outside the pictures' rectangles and the
  ignored ones have this colour.
- pictures: each rectangle is centred (or at x, y) and holds only colours of its table laid
  over the background as hearth lays them: (background x (255 - a) + colour x a) / 255
  rounded, a = 255 without an opacity plane and any a with one ("exact": the colours as
  they are, for a picture that is not embedded artwork); at least one of its pixels differs
  from the background. A picture given by name is one compiled into hearth: `hearthtool
  picture NAME --json` gives its size and table (the harness asks before running the
  checks); "height" cuts it to its first rows (the network-boot spinner's 18 stacked frames).
- points: single pixels; x and y count from the left and top, negative values from the right
  and bottom, "cx" instead of "x" counts from the horizontal centre (x = width // 2 + cx);
  each channel within tolerance (default 0) of rgb.
"""

import json
import os
import subprocess
import sys

PIXEL_PYTHON = "/usr/bin/python3"  # Debian's, with python3-pil


# ---- harness side (any Python 3) ----------------------------------------------------------

def _picture(host_dir, entry):
    if isinstance(entry, dict) and "colors" in entry:
        return entry
    name = entry if isinstance(entry, str) else entry["picture"]
    out = subprocess.run([os.path.join(host_dir, "hearthtool"), "picture", name, "--json"],
                         capture_output=True, text=True, check=True)
    info = json.loads(out.stdout)
    if not isinstance(entry, str):
        info.update({k: v for k, v in entry.items() if k in ("x", "y", "height")})
    return info


def check(png, expectations, host_dir=None):
    """The failures of one screenshot against one set of expectations."""
    keys = ("size", "background", "pictures", "ignore", "points")
    if not any(expectations.get(k) for k in keys):
        return []
    if not png:
        return ["pixel checks need a screenshot"]
    request = {k: expectations[k] for k in keys if k in expectations}
    request["png"] = png
    try:
        request["pictures"] = [_picture(host_dir, p) for p in expectations.get("pictures", [])]
    except (subprocess.CalledProcessError, OSError, ValueError) as e:
        return [f"picture facts could not be had from hearthtool: {e}"]
    out = subprocess.run([PIXEL_PYTHON, os.path.abspath(__file__), json.dumps(request)],
                         capture_output=True, text=True)
    if out.returncode != 0:
        return [f"pixel check could not run: {out.stderr.strip()[-300:]}"]
    return json.loads(out.stdout)


# ---- judge side (/usr/bin/python3 with Pillow) --------------------------------------------

def _rgb(text):
    v = int(text, 16)
    return ((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF)


def _laid(colour, background, a):
    return tuple((b * (255 - a) + c * a + 127) // 255 for c, b in zip(colour, background))


def _check_pictures(pixels, width, height, bg, pictures, failures):
    """Each picture's rectangle; returns the rectangles."""
    rects = []
    for p in pictures:
        w, h = p["width"], p["height"]
        x = p.get("x", (width - w) // 2)
        y = p.get("y", (height - h) // 2)
        allowed = set(_rgb(c) for c in p["colors"]) if p.get("exact") else set()
        for c in ([] if p.get("exact") else p["colors"]):
            for a in (range(256) if p.get("opacity") else (255,)):
                allowed.add(_laid(_rgb(c), bg, a))
        name = p.get("name", "picture")
        if x < 0 or y < 0 or x + w > width or y + h > height:
            failures.append(f"{name}: its rectangle {w}x{h} at {x},{y} leaves the {width}x{height} screen")
            continue
        differing = wrong = 0
        first_wrong = None
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                px = pixels[xx, yy]
                if px == bg:
                    continue
                differing += 1
                if px not in allowed:
                    wrong += 1
                    first_wrong = first_wrong or (xx, yy, px)
        if differing == 0:
            failures.append(f"{name}: nothing drawn in its rectangle {w}x{h} at {x},{y}")
        if wrong:
            failures.append(f"{name}: {wrong} pixels not drawn from its colour table, first {first_wrong}")
        rects.append((x, y, w, h))
    return rects


def _check_background(pixels, width, height, bg, rects, failures):
    for corner in ((0, 0), (width - 1, 0), (0, height - 1), (width - 1, height - 1)):
        if pixels[corner] != bg:
            failures.append(f"corner {corner} is {pixels[corner]}, expected background {bg}")
    stray = 0
    first_stray = None
    for yy in range(height):
        row_rects = [r for r in rects if r[1] <= yy < r[1] + r[3]]
        for xx in range(width):
            if any(r[0] <= xx < r[0] + r[2] for r in row_rects):
                continue
            if pixels[xx, yy] != bg:
                stray += 1
                first_stray = first_stray or (xx, yy, pixels[xx, yy])
    if stray:
        failures.append(f"{stray} pixels outside the pictures are not the background, first {first_stray}")


def _check_points(pixels, width, height, points, failures):
    for want in points:
        x = width // 2 + want["cx"] if "cx" in want else want["x"]
        x = x + width if x < 0 else x
        y = want["y"] + height if want["y"] < 0 else want["y"]
        if not (0 <= x < width and 0 <= y < height):
            failures.append(f"pixel ({x}, {y}) outside the {width}x{height} screen")
            continue
        got = pixels[x, y]
        tolerance = want.get("tolerance", 0)
        if any(abs(g - w) > tolerance for g, w in zip(got, want["rgb"])):
            failures.append(f"pixel ({x}, {y}) is {list(got)}, expected {want['rgb']} ±{tolerance}"
                            + (f" ({want['what']})" if "what" in want else ""))


def judge(request):
    """The failures of the screenshot request["png"] against request's expectations."""
    from PIL import Image  # only the judge needs Pillow

    image = Image.open(request["png"]).convert("RGB")
    width, height = image.size
    if "size" in request and [width, height] != list(request["size"]):
        return [f"screen is {width}x{height}, expected {request['size'][0]}x{request['size'][1]}"]
    pixels = image.load()
    failures = []
    if request.get("pictures") and "background" not in request:
        failures.append("pictures are judged against a background: give \"background\"")
    if "background" in request:
        bg = _rgb(request["background"])
        rects = _check_pictures(pixels, width, height, bg, request.get("pictures", []), failures)
        rects += [tuple(r) for r in request.get("ignore", [])]
        _check_background(pixels, width, height, bg, rects, failures)
    _check_points(pixels, width, height, request.get("points", []), failures)
    return failures


if __name__ == "__main__":
    print(json.dumps(judge(json.loads(sys.argv[1]))))
