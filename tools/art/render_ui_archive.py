#!/usr/bin/python3
"""Renders the login widgets' pictures from their vector sources into a resource archive.

Every SOURCE.svg becomes SOURCE.png at its own size and SOURCE@2x.png at twice that size
(rsvg-convert). A source named STEM.levels.svg is a template for 101 pictures,
STEM_0.png .. STEM_100.png (and their @2x): "{{level}}" in it is replaced by the level and
"{{fraction}}" by level / 100. Pillow checks every rendered picture (size, RGBA). The
pictures are then packed in name order with `hearthtool efires pack`.

  render_ui_archive.py --hearthtool PATH --work DIR --out ARCHIVE SOURCE.svg ...

Exit status 1 with a message when a tool fails or a picture is not what was asked for.
"""
import argparse
import pathlib
import subprocess
import sys

from PIL import Image

LEVEL_TEMPLATE = ".levels.svg"


def fail(message):
    print(f"render_ui_archive: {message}", file=sys.stderr)
    sys.exit(1)


def svg_size(text, source):
    """The width and height attributes of the root element, in whole pixels."""
    import xml.etree.ElementTree as ET
    root = ET.fromstring(text)
    try:
        return int(float(root.get("width"))), int(float(root.get("height")))
    except (TypeError, ValueError):
        fail(f"{source}: the svg element needs numeric width and height")


def render(text, source, stem, work):
    """Writes STEM.png and STEM@2x.png from the SVG text; returns their paths."""
    width, height = svg_size(text, source)
    svg = work / f"{stem}.svg"
    svg.write_text(text)
    outputs = []
    for scale, suffix in ((1, ""), (2, "@2x")):
        png = work / f"{stem}{suffix}.png"
        result = subprocess.run(["rsvg-convert", "--zoom", str(scale), "--format", "png", "--output", str(png), str(svg)],
                                capture_output=True, text=True)
        if result.returncode != 0:
            fail(f"rsvg-convert failed on {source}: {result.stderr.strip()}")
        with Image.open(png) as image:
            if image.size != (width * scale, height * scale):
                fail(f"{png.name} is {image.size}, expected {(width * scale, height * scale)}")
            if image.mode != "RGBA":
                image.convert("RGBA").save(png)
        outputs.append(png)
    return outputs


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--hearthtool", required=True)
    parser.add_argument("--work", required=True, type=pathlib.Path)
    parser.add_argument("--out", required=True, type=pathlib.Path)
    parser.add_argument("sources", nargs="+", type=pathlib.Path)
    args = parser.parse_args()
    args.work.mkdir(parents=True, exist_ok=True)
    pictures = []
    for source in args.sources:
        try:
            text = source.read_text()
        except OSError as error:
            fail(f"cannot read {source}: {error}")
        if source.name.endswith(LEVEL_TEMPLATE):
            stem = source.name[: -len(LEVEL_TEMPLATE)]
            for level in range(101):
                filled = text.replace("{{level}}", str(level)).replace("{{fraction}}", f"{level / 100:.2f}")
                pictures += render(filled, source, f"{stem}_{level}", args.work)
        else:
            pictures += render(text, source, source.name[: -len(".svg")], args.work)
    names = [p.name for p in pictures]
    if len(set(names)) != len(names):
        fail("two sources give the same picture name")
    if any(len(name.encode()) > 63 for name in names):
        fail("a picture name is longer than 63 bytes")
    pictures.sort(key=lambda p: p.name)
    args.out.parent.mkdir(parents=True, exist_ok=True)
    result = subprocess.run([args.hearthtool, "efires", "pack", str(args.out)] + [str(p) for p in pictures],
                            capture_output=True, text=True)
    if result.returncode != 0:
        fail(f"hearthtool efires pack failed: {result.stderr.strip()}")


if __name__ == "__main__":
    main()
