#!/usr/bin/python3
"""Renders the embedded pictures from their vector sources in art/.

Each picture is drawn by rsvg-convert at its exact size (the 2X variants from the same
vector at twice the size), laid over the background it is made for and reduced to exactly
the number of colours its record holds. The result is a folder of planes that
pack_pictures compresses into C++:

  manifest.txt   one line per picture: NAME WIDTH HEIGHT COMPRESSION COLOURS OPACITY
  NAME.idx       width x height colour indices, one byte each
  NAME.opa       width x height opacities (255 opaque), when OPACITY is 1
  NAME.pal       the colour table, three bytes red, green, blue per entry

  render_pictures.py --art DIR --out DIR [--preview PNG]

--preview also writes a sheet of every picture as hearth lays it over its background,
at 1x and 2x. Exit status 1 with a message when a tool fails or a picture cannot have its
colour count.
"""
import argparse
import os
import pathlib
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

from PIL import Image, ImageDraw, ImageFont

SVG_NS = "http://www.w3.org/2000/svg"
XLINK_NS = "http://www.w3.org/1999/xlink"
ET.register_namespace("", SVG_NS)
ET.register_namespace("xlink", XLINK_NS)

GREY = (191, 191, 191)   # hearth's default background
BLACK = (0, 0, 0)        # the background the "Black" pictures are made for
NETBOOT_FRAMES = 18

LZSS, LZVN = 0, 1


class Picture:
    def __init__(self, name, source, width, height, colours, opacity, compression, frames=1):
        self.name = name
        self.source = source
        self.width = width
        self.height = height
        self.colours = colours
        self.opacity = opacity
        self.compression = compression
        self.frames = frames

    @property
    def black(self):
        return "Black" in self.name

    @property
    def background(self):
        return BLACK if self.black else GREY


# The pictures hearth looks up by name, with the sizes and colour counts their records carry.
PICTURES = [
    Picture("TarnLogo", "logo", 78, 95, 1, True, LZVN),
    Picture("TarnLogo2X", "logo", 156, 190, 1, True, LZVN),
    Picture("TarnLogoBlack", "logo", 84, 103, 17, False, LZVN),
    Picture("TarnLogoBlack2X", "logo", 168, 206, 17, False, LZVN),
    Picture("CircleSlash", "circle-slash", 100, 100, 32, False, LZSS),
    Picture("CircleSlash2X", "circle-slash", 200, 200, 32, False, LZSS),
    Picture("CircleSlashBlack", "circle-slash", 80, 80, 131, False, LZSS),
    Picture("CircleSlashBlack2X", "circle-slash", 160, 160, 181, False, LZSS),
    Picture("NetBoot", "netboot", 32, 576, 108, False, LZVN, NETBOOT_FRAMES),
    Picture("NetBoot2X", "netboot", 64, 1152, 77, False, LZVN, NETBOOT_FRAMES),
    Picture("NetBootBlack", "netboot", 32, 576, 256, False, LZVN, NETBOOT_FRAMES),
    Picture("NetBootBlack2X", "netboot", 64, 1152, 255, False, LZVN, NETBOOT_FRAMES),
    Picture("PanicDialog", "panic-dialog", 460, 285, 70, False, LZVN),
    Picture("PanicDialog2X", "panic-dialog", 920, 570, 67, False, LZVN),
    Picture("PanicDialogBlack", "panic-dialog", 460, 285, 192, False, LZVN),
    Picture("PanicDialogBlack2X", "panic-dialog", 920, 570, 178, False, LZVN),
]


class ArtError(Exception):
    pass


def render_svg(source, stylesheet, width, height, rotation, workdir):
    """Draws the SVG at width x height pixels (aspect kept, centred) and returns RGBA.

    rotation turns the group with id "spin" about the picture's centre (spinner frames).
    """
    tree = ET.parse(source)
    root = tree.getroot()
    root.set("width", str(width))
    root.set("height", str(height))
    if rotation:
        spin = root.find(f".//{{{SVG_NS}}}g[@id='spin']")
        if spin is None:
            raise ArtError(f"{source}: no group with id \"spin\" to turn")
        view = [float(v) for v in root.get("viewBox").split()]
        cx, cy = view[0] + view[2] / 2, view[1] + view[3] / 2
        spin.set("transform", f"rotate({rotation:g} {cx:g} {cy:g})")
    svg = os.path.join(workdir, "picture.svg")
    png = os.path.join(workdir, "picture.png")
    tree.write(svg, encoding="utf-8", xml_declaration=True)
    command = ["rsvg-convert", "-f", "png", "-o", png]
    if stylesheet:
        command += ["-s", stylesheet]
    command.append(svg)
    try:
        subprocess.run(command, check=True, capture_output=True, text=True)
    except FileNotFoundError:
        raise ArtError("rsvg-convert not found (Debian package librsvg2-bin)")
    except subprocess.CalledProcessError as error:
        raise ArtError(f"rsvg-convert failed on {source}: {error.stderr.strip()}")
    image = Image.open(png).convert("RGBA")
    image.load()
    if image.size != (width, height):
        raise ArtError(f"{source}: drawn at {image.size}, wanted {width}x{height}")
    return image


# rsvg-convert quietly substitutes a missing font, which would reflow the panic notice's
# text; the fonts its sources name must be there.
FONT_FILES = ["/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
              "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"]


def render_picture(picture, art, workdir):
    source = art / f"{picture.source}.svg"
    if "<text" in source.read_text(encoding="utf-8"):
        missing = [path for path in FONT_FILES if not os.path.exists(path)]
        if missing:
            raise ArtError(f"{source}: font {missing[0]} missing (Debian package fonts-dejavu-core)")
    stylesheet = art / f"{picture.source}-black.css" if picture.black else None
    if stylesheet and not stylesheet.exists():
        raise ArtError(f"{stylesheet} missing")
    frame_height = picture.height // picture.frames
    sheet = Image.new("RGBA", (picture.width, picture.height), (0, 0, 0, 0))
    for frame in range(picture.frames):
        rotation = frame * 360 / picture.frames if picture.frames > 1 else 0
        image = render_svg(source, stylesheet, picture.width, frame_height, rotation, workdir)
        sheet.paste(image, (0, frame * frame_height))
    return sheet


# ---- colour reduction -------------------------------------------------------------------

def _box_stats(box):
    weight = sum(c for c, _ in box)
    mean = [sum(c * rgb[i] for c, rgb in box) / weight for i in range(3)]
    error = sum(c * sum((rgb[i] - mean[i]) ** 2 for i in range(3)) for c, rgb in box)
    return weight, mean, error


def _split(box):
    ranges = [max(rgb[i] for _, rgb in box) - min(rgb[i] for _, rgb in box) for i in range(3)]
    channel = ranges.index(max(ranges))
    ordered = sorted(box, key=lambda entry: (entry[1][channel], entry[1]))
    half = sum(c for c, _ in ordered) / 2
    running, cut = 0, 1
    for index, (count, _) in enumerate(ordered):
        running += count
        if running >= half:
            cut = index + 1
            break
    cut = min(max(cut, 1), len(ordered) - 1)
    return ordered[:cut], ordered[cut:]


def _unused_near(colour, used):
    for step in range(0, 256):
        for delta in ((0, 0, 0), (1, 1, 1), (-1, -1, -1), (1, 0, 0), (0, 1, 0), (0, 0, 1),
                      (-1, 0, 0), (0, -1, 0), (0, 0, -1)):
            candidate = tuple(min(255, max(0, v + d * step)) for v, d in zip(colour, delta))
            if candidate not in used:
                return candidate
    raise ArtError("colour table full")


def reduce_colours(image, count, name):
    """Maps an RGB image to exactly count colours, every one of them used.

    Colours covering large flat areas (background, panel, ink) keep their exact value; the
    rest are split by weighted median cut, always splitting the box with the largest error.
    Returns (indices bytes, palette list of (r, g, b)).
    """
    width, height = image.size
    histogram = image.getcolors(width * height)
    if len(histogram) < count:
        raise ArtError(f"{name}: only {len(histogram)} colours drawn, {count} needed")
    histogram.sort(key=lambda entry: (-entry[0], entry[1]))
    large = max(8, width * height // 100)
    pinned = [rgb for c, rgb in histogram if c >= large][: max(1, count // 4)]
    if count == len(pinned):
        pinned = pinned[: count - 1] if count > 1 else pinned
    rest = [entry for entry in histogram if entry[1] not in set(pinned)]
    boxes = []
    if count > len(pinned):
        boxes = [rest]
        errors = [_box_stats(rest)[2]]
        while len(boxes) < count - len(pinned):
            worst = max(range(len(boxes)), key=lambda i: (errors[i], len(boxes[i])))
            if len(boxes[worst]) < 2:
                raise ArtError(f"{name}: cannot split into {count} colours")
            low, high = _split(boxes[worst])
            boxes[worst:worst + 1] = [low, high]
            errors[worst:worst + 1] = [_box_stats(low)[2], _box_stats(high)[2]]
    palette = list(pinned)
    used = set(pinned)
    lookup = {rgb: index for index, rgb in enumerate(pinned)}
    # Boxes of one colour keep it exactly; the others take their weighted mean, moved by a
    # step or two where two boxes would round to the same colour.
    for box in sorted(boxes, key=len):
        _, mean, _ = _box_stats(box)
        colour = _unused_near(tuple(int(round(v)) for v in mean), used)
        used.add(colour)
        for _, rgb in box:
            lookup[rgb] = len(palette)
        palette.append(colour)
    # Table order by brightness, darkest first.
    order = sorted(range(len(palette)), key=lambda i: (sum(palette[i]), palette[i]))
    remap = {old: new for new, old in enumerate(order)}
    palette = [palette[i] for i in order]
    table = bytes(remap[lookup[rgb]] for rgb in image.getdata())
    if len(palette) != count or len(set(table)) != count:
        raise ArtError(f"{name}: reduced to {len(set(table))} of {count} colours")
    return table, palette


def planes_of(picture, rgba):
    """Returns (indices, opacities or None, palette) for a rendered picture."""
    if picture.opacity:
        if picture.colours != 1:
            raise ArtError(f"{picture.name}: an opacity plane goes with one ink colour")
        alpha = rgba.getchannel("A")
        solid = [rgb for rgb, a in zip(rgba.convert("RGB").getdata(), alpha.getdata()) if a == 255]
        if not solid:
            raise ArtError(f"{picture.name}: nothing opaque drawn")
        ink = max(set(solid), key=solid.count)
        return bytes(picture.width * picture.height), alpha.tobytes(), [ink]
    backdrop = Image.new("RGBA", rgba.size, picture.background + (255,))
    backdrop.alpha_composite(rgba)
    indices, palette = reduce_colours(backdrop.convert("RGB"), picture.colours, picture.name)
    return indices, None, palette


def write_planes(out, pictures):
    out.mkdir(parents=True, exist_ok=True)
    lines = []
    for picture, (indices, opacity, palette) in pictures:
        (out / f"{picture.name}.idx").write_bytes(indices)
        if opacity is not None:
            (out / f"{picture.name}.opa").write_bytes(opacity)
        (out / f"{picture.name}.pal").write_bytes(bytes(v for rgb in palette for v in rgb))
        lines.append(f"{picture.name} {picture.width} {picture.height} {picture.compression} "
                     f"{len(palette)} {1 if opacity is not None else 0}")
    (out / "manifest.txt").write_text("\n".join(lines) + "\n")


# ---- preview sheet ------------------------------------------------------------------------

def laid_over(picture, planes):
    """The picture laid over the background it is made for (opacity 255 is solid)."""
    indices, opacity, palette = planes
    background = picture.background
    pixels = []
    for i, index in enumerate(indices):
        a = opacity[i] if opacity is not None else 255
        pixels.append(tuple((background[c] * (255 - a) + palette[index][c] * a + 127) // 255 for c in range(3)))
    image = Image.new("RGB", (picture.width, picture.height))
    image.putdata(pixels)
    return image


def spinner_strip(image, frames):
    """Lays the stacked spinner frames out side by side, six to a row."""
    size = image.width
    columns = 6
    rows = (frames + columns - 1) // columns
    strip = Image.new("RGB", (columns * (size + 4) - 4, rows * (size + 4) - 4), image.getpixel((0, 0)))
    for frame in range(frames):
        tile = image.crop((0, frame * size, size, (frame + 1) * size))
        strip.paste(tile, ((frame % columns) * (size + 4), (frame // columns) * (size + 4)))
    return strip


def write_preview(path, rendered):
    font_path = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
    font = ImageFont.truetype(font_path, 12) if os.path.exists(font_path) else ImageFont.load_default()
    by_name = {picture.name: (picture, planes) for picture, planes in rendered}
    margin, gap, label = 24, 40, 20
    sections = []
    for black in (False, True):
        rows = []
        for scale in ("", "2X"):
            row = []
            for base in ("TarnLogo", "CircleSlash", "NetBoot", "PanicDialog"):
                name = base + ("Black" if black else "") + scale
                picture, planes = by_name[name]
                image = laid_over(picture, planes)
                if picture.frames > 1:
                    image = spinner_strip(image, picture.frames)
                row.append((name, image))
            rows.append(row)
        sections.append((BLACK if black else GREY, rows))
    width = max(sum(img.width for _, img in row) + gap * (len(row) - 1)
                for _, rows in sections for row in rows) + 2 * margin
    heights = [sum(max(img.height for _, img in row) + label + gap for row in rows) + margin
               for _, rows in sections]
    sheet = Image.new("RGB", (width, sum(heights)), GREY)
    draw = ImageDraw.Draw(sheet)
    top = 0
    for (background, rows), height in zip(sections, heights):
        draw.rectangle((0, top, width, top + height), fill=background)
        ink = (255, 255, 255) if background == BLACK else (20, 20, 20)
        y = top + margin
        for row in rows:
            x = margin
            row_height = max(img.height for _, img in row)
            for name, image in row:
                sheet.paste(image, (x, y + (row_height - image.height) // 2))
                draw.text((x, y + row_height + 4), name, fill=ink, font=font)
                x += image.width + gap
            y += row_height + label + gap
        top += height
    pathlib.Path(path).parent.mkdir(parents=True, exist_ok=True)
    sheet.save(path, optimize=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--art", required=True, type=pathlib.Path, help="folder of the SVG sources")
    parser.add_argument("--out", type=pathlib.Path, help="folder for the planes and manifest.txt")
    parser.add_argument("--preview", help="also write the preview sheet to this PNG")
    args = parser.parse_args()
    if not args.out and not args.preview:
        parser.error("nothing to do: give --out and/or --preview")
    try:
        rendered = []
        with tempfile.TemporaryDirectory() as workdir:
            for picture in PICTURES:
                rgba = render_picture(picture, args.art, workdir)
                rendered.append((picture, planes_of(picture, rgba)))
        if args.out:
            write_planes(args.out, rendered)
        if args.preview:
            write_preview(args.preview, rendered)
    except ArtError as error:
        print(f"render_pictures: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
