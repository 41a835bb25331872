#!/usr/bin/env python3
"""Wraps the probe kernel into an LZVN kernel-cache container and writes the boot
configuration files the hand-off scenarios copy (scenarios/cases/handoff_*.json).

Container (offsets from its start): "comp", "lzvn", the Adler-32 of the kernel (big-endian),
its size (big-endian), the compressed size (big-endian), a non-zero slide-support word,
zeros up to byte 384, then the LZVN stream made by `hearthtool lzvn compress`.

Outputs in OUT_DIR:
  probe-kernelcache          the container
  probe-kernelcache.adler32  its checksum as text ("0x%08x")
  probe-boot.plist           "Kernel Flags" with the probe's expectations, "Root UUID"
Usage: make_kernelcache.py HEARTHTOOL PROBE_KERNEL OUT_DIR"""

import os
import struct
import subprocess
import sys
import tempfile
import zlib

HEADER_SIZE = 384
# The volume the scenarios' configuration names as the root; the probe expects it back as
# "boot-uuid" unless "rd" is on the command line.
ROOT_UUID = "5C1B7E2A-9D34-4F60-8A1B-2C3D4E5F6A7B"


def container(kernel, stream):
    adler = zlib.adler32(kernel) & 0xFFFFFFFF
    header = b"comp" + b"lzvn" + struct.pack(">III", adler, len(kernel), len(stream)) + struct.pack("<I", 1)
    return header + bytes(HEADER_SIZE - len(header)) + stream, adler


def boot_plist(adler):
    flags = f"probe-expect-adler=0x{adler:08x} probe-expect-boot-uuid={ROOT_UUID}"
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<plist version="1.0">\n'
            "<dict>\n"
            "\t<key>Kernel Flags</key>\n"
            f"\t<string>{flags}</string>\n"
            "\t<key>Root UUID</key>\n"
            f"\t<string>{ROOT_UUID}</string>\n"
            "</dict>\n"
            "</plist>\n")


def compress(hearthtool, kernel_path):
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "stream")
        subprocess.run([hearthtool, "lzvn", "compress", kernel_path, out], check=True)
        with open(out, "rb") as f:
            return f.read()


def main(argv):
    if len(argv) != 4 or argv[1] in ("-h", "--help"):
        print(__doc__, file=sys.stderr if len(argv) != 2 else sys.stdout)
        return 0 if len(argv) == 2 else 2
    hearthtool, kernel_path, out_dir = argv[1:]
    with open(kernel_path, "rb") as f:
        kernel = f.read()
    data, adler = container(kernel, compress(hearthtool, kernel_path))
    os.makedirs(out_dir, exist_ok=True)
    outputs = {
        "probe-kernelcache": data,
        "probe-kernelcache.adler32": f"0x{adler:08x}\n".encode(),
        "probe-boot.plist": boot_plist(adler).encode(),
    }
    for name, content in outputs.items():
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(content)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
