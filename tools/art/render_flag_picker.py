#!/usr/bin/python3
"""Builds the flag picker's archive ("flag_picker.efires") from its sources.

For every layout of LAYOUTS (art/ui/flags/layouts.txt) the templates in TEMPLATES
(menu_item, menu_item_sel, button_up, button_down, each NAME.template.svg) are filled with
the layout's flag from Debian's iso-flags-svg ("{{flag}}", a data URL of FLAGS/FLAG.svg) and
its name ("{{name}}"), and rendered at 1x and "@2x" into NUMBER_PREFIX_menu_item.png,
NUMBER_PREFIX_menu_item_sel.png, NUMBER_PREFIX_button_up.png and
NUMBER_PREFIX_button_down.png. Its key map NUMBER_PREFIX.uchr is compiled from xkb-data with
`hearthtool uchr compile`. Every plain SVG of TEMPLATES and every MENU-ART source is rendered
as it stands (the "others" row, the menu's highlight, separator, triangles, tick and
shadow). flag_picker_indetifier.int32 holds the identifier. All of it is packed with
`hearthtool efires pack`.

  render_flag_picker.py --hearthtool PATH --work DIR --out ARCHIVE --layouts FILE
                        --templates DIR --flags DIR MENU-ART.svg ...

Exit status 1 with a message when a source, a flag or a tool is missing or fails.
"""
import argparse
import base64
import pathlib
import re
import struct
import subprocess
import sys
from xml.sax.saxutils import escape

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from render_ui_archive import fail, pack, render  # noqa: E402

PREFIXES = ("flag", "flag_other")
TEMPLATES = ("menu_item", "menu_item_sel", "button_up", "button_down")
LINE = re.compile(r"^(flag|flag_other)\s+(\d+)\s+([a-z]+)(?:\(([a-z0-9_]+)\))?\s+([a-z_]+)\s+(\S.*)$")


def read_layouts(path):
    """The identifier and the layouts (prefix, number, layout, variant, flag, name)."""
    identifier = None
    layouts = []
    for number, line in enumerate(path.read_text().splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("identifier "):
            try:
                identifier = int(line.split()[1])
            except (IndexError, ValueError):
                fail(f"{path}:{number}: identifier needs a number")
            if not 0 <= identifier < 2**32:
                fail(f"{path}:{number}: the identifier does not fit in 4 bytes")
            continue
        match = LINE.match(line)
        if not match:
            fail(f"{path}:{number}: expected PREFIX NUMBER LAYOUT[(VARIANT)] FLAG NAME")
        prefix, index, layout, variant, flag, name = match.groups()
        layouts.append((prefix, int(index), layout, variant, flag, name.strip()))
    if identifier is None:
        fail(f"{path}: no identifier line")
    for prefix in PREFIXES:
        numbers = [entry[1] for entry in layouts if entry[0] == prefix]
        # hearth reads rows from 0 until the first missing one.
        if numbers != list(range(len(numbers))):
            fail(f"{path}: the {prefix} rows must be numbered 0, 1, 2 ... in order")
    if not any(entry[0] == "flag" for entry in layouts):
        fail(f"{path}: the main menu needs at least one layout")
    return identifier, layouts


def flag_url(flags, flag):
    path = flags / f"{flag}.svg"
    try:
        data = path.read_bytes()
    except OSError:
        fail(f"no flag {path} (Debian's iso-flags-svg; scripts/setup installs it)")
    return "data:image/svg+xml;base64," + base64.b64encode(data).decode()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--hearthtool", required=True)
    parser.add_argument("--work", required=True, type=pathlib.Path)
    parser.add_argument("--out", required=True, type=pathlib.Path)
    parser.add_argument("--layouts", required=True, type=pathlib.Path)
    parser.add_argument("--templates", required=True, type=pathlib.Path)
    parser.add_argument("--flags", required=True, type=pathlib.Path)
    parser.add_argument("menu_art", nargs="*", type=pathlib.Path)
    args = parser.parse_args()
    args.work.mkdir(parents=True, exist_ok=True)
    identifier, layouts = read_layouts(args.layouts)
    templates = {}
    for name in TEMPLATES:
        path = args.templates / f"{name}.template.svg"
        try:
            templates[name] = path.read_text()
        except OSError as error:
            fail(f"cannot read {path}: {error}")

    files = []
    for prefix, number, layout, variant, flag, name in layouts:
        stem = f"{number}_{prefix}"
        url = flag_url(args.flags, flag)
        for template, text in templates.items():
            filled = text.replace("{{flag}}", url).replace("{{name}}", escape(name))
            files += render(filled, args.templates / f"{template}.template.svg", f"{stem}_{template}", args.work)
        keymap = args.work / f"{stem}.uchr"
        command = [args.hearthtool, "uchr", "compile"] + (["--variant", variant] if variant else []) + [layout, str(keymap)]
        result = subprocess.run(command, capture_output=True, text=True)
        if result.returncode != 0:
            fail(f"hearthtool uchr compile {layout} failed: {result.stderr.strip()}")
        files.append(keymap)

    plain = sorted(p for p in args.templates.glob("*.svg") if not p.name.endswith(".template.svg"))
    for source in plain + list(args.menu_art):
        try:
            text = source.read_text()
        except OSError as error:
            fail(f"cannot read {source}: {error}")
        files += render(text, source, source.name[: -len(".svg")], args.work)

    identifier_file = args.work / "flag_picker_indetifier.int32"
    identifier_file.write_bytes(struct.pack("<I", identifier))
    files.append(identifier_file)

    pack(args.hearthtool, args.out, files)


if __name__ == "__main__":
    main()
