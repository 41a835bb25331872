"""Pixel checks of a scenario's screenshot and byte checks of its disk after the run.

"expect": {"pixels": [{"x": 10, "y": -90, "rgb": [230, 230, 230], "tolerance": 6}, ...]}
x and y count from the left and top, negative values from the right and bottom; "cx" instead
of "x" counts from the horizontal centre (x = width // 2 + cx). The screenshot is an 8-bit RGB
PNG (QEMU's or the harness's own), rows with any of the five PNG filters.

"expect": {"raw": [{"partition": "NAME", "offset": N, "hex": "DDFCDDFC"}, ...]}: bytes read
back from an unformatted partition."""

import struct
import zlib

from .disk_files import partition_offset


def read_png(path):
    """(width, height, rows of RGB bytes) of a PNG written by the harness."""
    with open(path, "rb") as f:
        data = f.read()
    pos, width, height, idat = 8, 0, 0, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height = struct.unpack(">II", body[:8])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 3
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - 3] if i >= 3 else 0
            b = previous[i]
            c = previous[i - 3] if i >= 3 else 0
            if kind == 1:
                row[i] = (row[i] + a) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + b) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append(bytes(row))
        previous = row
    return width, height, rows


def check_pixels(png_path, wanted):
    if not wanted:
        return []
    if not png_path:
        return ["pixel checks need a screenshot"]
    width, height, rows = read_png(png_path)
    failures = []
    for want in wanted:
        x = width // 2 + want["cx"] if "cx" in want else want["x"]
        x = x + width if x < 0 else x
        y = want["y"] + height if want["y"] < 0 else want["y"]
        if not (0 <= x < width and 0 <= y < height):
            failures.append(f"pixel ({x}, {y}) outside the {width}x{height} screen")
            continue
        got = tuple(rows[y][3 * x:3 * x + 3])
        tolerance = want.get("tolerance", 0)
        if any(abs(g - w) > tolerance for g, w in zip(got, want["rgb"])):
            failures.append(f"pixel ({x}, {y}) is {list(got)}, expected {want['rgb']} ±{tolerance}"
                            + (f" ({want['what']})" if "what" in want else ""))
    return failures


def check_raw(disk, partitions, wanted):
    failures = []
    for want in wanted:
        start = partition_offset(partitions, want["partition"])
        expected = bytes.fromhex(want["hex"])
        with open(disk, "rb") as f:
            f.seek(start + want["offset"])
            got = f.read(len(expected))
        if got != expected:
            failures.append(f"{want['partition']}+{want['offset']:#x}: {got.hex()} instead of {expected.hex()}")
    return failures
