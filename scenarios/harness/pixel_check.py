#!/usr/bin/python3
"""Judges a screenshot of the boot screen by exact pixels. Runs under /usr/bin/python3 (Pillow,
Debian's python3-pil); the harness passes one JSON argument and reads one JSON list of
failures (empty: passed) from standard output.

Argument: {"png": PATH, "background": "RRGGBB", "size": [W, H] (optional),
           "pictures": [{"width", "height", "opacity", "colors": ["RRGGBB", ...],
                         "x", "y" (optional; default centred)}],
           "ignore": [[x, y, w, h], ...] (optional)}

- the four corners and every pixel outside the pictures' rectangles and the ignored ones
  have the background colour;
- each picture's rectangle is centred (or at x, y) and holds only colours of its table laid
  over the background as hearth does: (background x (255 - a) + colour x a) / 255 rounded, a = 255
  without an opacity plane and any a with one ("exact": the colours as they are, for a
  picture that is not embedded artwork); at least one of its pixels differs from the
  background.
"""
import json
import sys

from PIL import Image


def rgb(text):
    v = int(text, 16)
    return ((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF)


def laid(colour, background, a):
    return tuple((b * (255 - a) + c * a + 127) // 255 for c, b in zip(colour, background))


def main():
    spec = json.loads(sys.argv[1])
    failures = []
    image = Image.open(spec["png"]).convert("RGB")
    width, height = image.size
    if "size" in spec and [width, height] != list(spec["size"]):
        failures.append(f"screen is {width}x{height}, expected {spec['size'][0]}x{spec['size'][1]}")
        print(json.dumps(failures))
        return
    pixels = image.load()
    bg = rgb(spec["background"])
    rects = []
    for p in spec.get("pictures", []):
        w, h = p["width"], p["height"]
        x = p.get("x", (width - w) // 2)
        y = p.get("y", (height - h) // 2)
        allowed = set(rgb(c) for c in p["colors"]) if p.get("exact") else set()
        for c in ([] if p.get("exact") else p["colors"]):
            alphas = range(256) if p.get("opacity") else (255,)
            for a in alphas:
                allowed.add(laid(rgb(c), bg, a))
        differing = 0
        wrong = 0
        first_wrong = None
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                px = pixels[xx, yy]
                if px != bg:
                    differing += 1
                if px not in allowed and px != bg:
                    wrong += 1
                    first_wrong = first_wrong or (xx, yy, px)
        name = p.get("name", "picture")
        if differing == 0:
            failures.append(f"{name}: nothing drawn in its rectangle {w}x{h} at {x},{y}")
        if wrong:
            failures.append(f"{name}: {wrong} pixels not drawn from its colour table, first {first_wrong}")
        rects.append((x, y, w, h))
    rects += [tuple(r) for r in spec.get("ignore", [])]
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
    print(json.dumps(failures))


if __name__ == "__main__":
    main()
