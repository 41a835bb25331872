#!/usr/bin/python3
"""Renders the login widgets' pictures from their vector sources into a resource archive.

Every SOURCE.svg becomes SOURCE.png at its own size and SOURCE@2x.png at twice that size
(rsvg-convert). A source named STEM.levels.svg is a template for 101 pictures,
STEM_0.png .. STEM_100.png (and their @2x): "{{level}}" in it is replaced by the level and
"{{fraction}}" by level / 100. Pillow checks every rendered picture (size, RGBA). The
pictures are then packed in name order with `hearthtool efires pack`.

A source named NAME.fills lists pictures made from templates, one a line ("#" starts a
comment): `STEM TEMPLATE.svg key="value" ...`. "{{key}}" in the template (a path relative
to the fills file) becomes the value, XML-escaped, so one template draws many pictures
(every button label of a pop-up, every user's avatar). Options that start with "@" are
not template values: `@width=W @height=H` draw the template at that 1x size instead of its
own, `@stylesheet=FILE.css` hands rsvg-convert a style sheet, `@2x=TEMPLATE2.svg` draws the
"@2x" picture from another template (filled alike) at its own size, for pictures whose
double-resolution form is not simply the same drawing twice as large (a cursor whose hot
spot must land on a given pixel).

Any other source (not .svg, not .fills) is packed as it is under its own name.

  render_ui_archive.py --hearthtool PATH --work DIR --out ARCHIVE SOURCE.svg ...

Exit status 1 with a message when a tool fails or a picture is not what was asked for.
"""
import argparse
import pathlib
import re
import shlex
import subprocess
import sys

from PIL import Image

LEVEL_TEMPLATE = ".levels.svg"
FILLS = ".fills"


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


def fill(template, values):
    """The template with every {{key}} replaced; a key left unfilled is an error."""
    from xml.sax.saxutils import escape
    text = template
    for key, value in values.items():
        text = text.replace("{{" + key + "}}", escape(value, {'"': "&quot;"}))
    left = re.findall(r"\{\{([A-Za-z0-9_]+)\}\}", text)
    if left:
        fail(f"template values missing: {', '.join(sorted(set(left)))}")
    return text


def rsvg(svg, png, source, args):
    result = subprocess.run(["rsvg-convert"] + args + ["--format", "png", "--output", str(png), str(svg)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        fail(f"rsvg-convert failed on {source}: {result.stderr.strip()}")


def checked_rgba(png, size):
    with Image.open(png) as image:
        if image.size != size:
            fail(f"{png.name} is {image.size}, expected {size}")
        if image.mode != "RGBA":
            image.convert("RGBA").save(png)


def render_fill_line(line, where, work):
    """One line of a fills file; returns the rendered pictures."""
    words = shlex.split(line, comments=True)
    if not words:
        return []
    if len(words) < 2:
        fail(f"{where}: needs STEM TEMPLATE.svg [key=value ...]")
    stem, template_name = words[0], words[1]
    values, options = {}, {}
    for word in words[2:]:
        key, equals, value = word.partition("=")
        if not equals or not key:
            fail(f"{where}: {word!r} is not key=value")
        (options if key.startswith("@") else values)[key.lstrip("@")] = value
    unknown = set(options) - {"width", "height", "stylesheet", "2x"}
    if unknown:
        fail(f"{where}: unknown options {', '.join(sorted(unknown))}")
    base = where.split(":")[0]
    folder = pathlib.Path(base).parent

    def read(name):
        try:
            return (folder / name).read_text()
        except OSError as error:
            fail(f"{where}: cannot read {name}: {error}")

    text = fill(read(template_name), values)
    width, height = svg_size(text, where)
    if "width" in options or "height" in options:
        try:
            width, height = int(options.get("width", width)), int(options.get("height", height))
        except ValueError:
            fail(f"{where}: @width and @height are whole pixels")
    style = []
    if "stylesheet" in options:
        style = ["--stylesheet", str(folder / options["stylesheet"])]
    svg = work / f"{stem}.svg"
    svg.write_text(text)
    outputs = []
    one = work / f"{stem}.png"
    rsvg(svg, one, where, style + ["--width", str(width), "--height", str(height)])
    checked_rgba(one, (width, height))
    outputs.append(one)
    two = work / f"{stem}@2x.png"
    if "2x" in options:
        text2 = fill(read(options["2x"]), values)
        svg2 = work / f"{stem}@2x.svg"
        svg2.write_text(text2)
        size2 = svg_size(text2, where)
        rsvg(svg2, two, where, style)
        checked_rgba(two, size2)
    else:
        rsvg(svg, two, where, style + ["--width", str(2 * width), "--height", str(2 * height)])
        checked_rgba(two, (2 * width, 2 * height))
    outputs.append(two)
    return outputs


def render_fills(source, text, work):
    pictures = []
    for number, line in enumerate(text.splitlines(), 1):
        pictures += render_fill_line(line, f"{source}:{number}", work)
    return pictures


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
        if source.suffix not in (".svg", FILLS):
            pictures.append(source)  # a file packed as it is (a keyboard layout)
            continue
        try:
            text = source.read_text()
        except OSError as error:
            fail(f"cannot read {source}: {error}")
        if source.name.endswith(FILLS):
            pictures += render_fills(source, text, args.work)
        elif source.name.endswith(LEVEL_TEMPLATE):
            stem = source.name[: -len(LEVEL_TEMPLATE)]
            for level in range(101):
                filled = text.replace("{{level}}", str(level)).replace("{{fraction}}", f"{level / 100:.2f}")
                pictures += render(filled, source, f"{stem}_{level}", args.work)
        else:
            pictures += render(text, source, source.name[: -len(".svg")], args.work)
    pack(args.hearthtool, args.out, pictures)


def pack(hearthtool, out, files):
    """Packs files into the archive out under their own names, sorted; names must be unique
    and fit the archive's 63 bytes."""
    names = [f.name for f in files]
    if len(set(names)) != len(names):
        fail("two sources give the same file name")
    if any(len(name.encode()) > 63 for name in names):
        fail("a file name is longer than 63 bytes")
    files = sorted(files, key=lambda f: f.name)
    out.parent.mkdir(parents=True, exist_ok=True)
    result = subprocess.run([hearthtool, "efires", "pack", str(out)] + [str(f) for f in files],
                            capture_output=True, text=True)
    if result.returncode != 0:
        fail(f"hearthtool efires pack failed: {result.stderr.strip()}")


if __name__ == "__main__":
    main()
