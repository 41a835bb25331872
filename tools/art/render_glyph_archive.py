#!/usr/bin/python3
"""Renders the text glyphs of a font into a resource archive, one picture per character code,
as the password field's glyph mode reads them:

  CODE.png        the character (decimal code point) in the text colour on a clear ground
  CODE_sel.png    the same character as selected text: white on the selection colour
  ?.png           the picture for a character the archive lacks
  and each of them again as NAME@2x.png at twice the size, for HiDPI screens.

Every picture of one scale has the same height (the field centres them vertically, so the
baselines line up) and the character's advance as its width; the @2x picture is exactly
twice the 1x one in both directions, so text measures the same at both scales.

  render_glyph_archive.py --hearthtool PATH --font FONT.ttf --size PX --height PX
                          --color RRGGBB --work DIR --out ARCHIVE

Exit status 1 with a message when the font cannot be read, a character does not fit its
picture's height, or hearthtool fails.
"""
import argparse
import pathlib
import subprocess
import sys

from PIL import Image, ImageDraw, ImageFont

# What the shipped keyboard layouts type, straight or through their dead keys, in blocks
# DejaVu Sans covers: ASCII, Latin-1, Latin Extended-A and -B, spacing and combining
# accents, Greek, Cyrillic, Latin Extended Additional, punctuation, currency signs,
# letter-like symbols and number forms, and the four arrows.
CHARACTER_RANGES = ((0x20, 0x7E), (0xA0, 0x24F), (0x2C6, 0x2DD), (0x300, 0x36F), (0x391, 0x3C9),
                    (0x400, 0x45F), (0x1E00, 0x1EFF), (0x2010, 0x203A), (0x20A0, 0x20BF),
                    (0x2100, 0x215F), (0x2190, 0x2193))
SELECTION = (56, 117, 215)
SELECTED_TEXT = (255, 255, 255)
FALLBACK = "?"


def fail(message):
    print(f"render_glyph_archive: {message}", file=sys.stderr)
    sys.exit(1)


def colour(text):
    try:
        value = int(text, 16)
    except ValueError:
        fail(f"colour {text!r} is not RRGGBB")
    if len(text) != 6:
        fail(f"colour {text!r} is not RRGGBB")
    return ((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)


def glyph(font, character, width, height, ascent, ink, ground):
    """One picture: the character drawn from its baseline at `ascent`, clipped to the box."""
    image = Image.new("RGBA", (width, height), ground)
    draw = ImageDraw.Draw(image)
    draw.text((0, ascent), character, font=font, fill=ink + (255,), anchor="ls")
    return image


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--hearthtool", required=True)
    parser.add_argument("--font", required=True, type=pathlib.Path)
    parser.add_argument("--size", required=True, type=int, help="font size at 1x, in pixels")
    parser.add_argument("--height", required=True, type=int, help="picture height at 1x, in pixels")
    parser.add_argument("--color", required=True, help="text colour, RRGGBB")
    parser.add_argument("--work", required=True, type=pathlib.Path)
    parser.add_argument("--out", required=True, type=pathlib.Path)
    args = parser.parse_args()
    ink = colour(args.color)
    try:
        fonts = {scale: ImageFont.truetype(str(args.font), args.size * scale) for scale in (1, 2)}
    except OSError as error:
        fail(f"cannot read the font {args.font}: {error}")
    for scale, font in fonts.items():
        ascent, descent = font.getmetrics()
        if ascent + descent > args.height * scale + 1:
            fail(f"{args.font.name} at {args.size * scale} px is {ascent + descent} px high, "
                 f"more than the pictures' {args.height * scale}")

    characters = [chr(c) for low, high in CHARACTER_RANGES for c in range(low, high + 1)]
    args.work.mkdir(parents=True, exist_ok=True)
    pictures = []
    baseline = fonts[1].getmetrics()[0]  # where the 1x font's ascent puts it, scaled below

    def render(character, stem, suffix, text_colour, ground):
        # Zero-width characters (the soft hyphen) still take one column: a picture has width.
        width = max(1, round(fonts[1].getlength(character)))
        for scale, at in ((1, ""), (2, "@2x")):
            image = glyph(fonts[scale], character, width * scale, args.height * scale, baseline * scale,
                          text_colour, ground)
            path = args.work / f"{stem}{suffix}{at}.png"
            image.save(path)
            pictures.append(path)

    for character in characters:
        render(character, str(ord(character)), "", ink, (0, 0, 0, 0))
        render(character, str(ord(character)), "_sel", SELECTED_TEXT, SELECTION + (255,))
    render(FALLBACK, FALLBACK, "", ink, (0, 0, 0, 0))

    names = [p.name for p in pictures]
    if len(set(names)) != len(names):
        fail("two characters give the same picture name")
    args.out.parent.mkdir(parents=True, exist_ok=True)
    result = subprocess.run([args.hearthtool, "efires", "pack", str(args.out)] + [str(p) for p in sorted(pictures)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        fail(f"hearthtool efires pack failed: {result.stderr.strip()}")


if __name__ == "__main__":
    main()
