"""Reading files back from a scenario's disk image after the run, with mtools
(mcopy -i IMAGE@@OFFSET ::/PATH -), so that a scenario can check what the guest wrote:
log files, files it renamed or deleted."""

import os
import re
import subprocess

from . import serial_log
from .disk_image import SECTOR, _layout


def partition_offset(partitions, name):
    """Byte offset of the partition called name (its GPT name), or None."""
    placed, _ = _layout(partitions)
    for part, (start, _sectors) in zip(partitions, placed):
        if part.name == name:
            return start * SECTOR
    return None


def read_file(image, offset, path):
    """The file's bytes, or None when the file system has no such file."""
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    result = subprocess.run(["mcopy", "-n", "-i", f"{image}@@{offset}", "::/" + path.strip("/"), "-"],
                            capture_output=True, env=env)
    if result.returncode != 0:
        return None
    return result.stdout


def check(image, partitions, expectations):
    """Failures of the file expectations: each {"partition", "path", "in_order", "absent",
    "present"} names a file that must exist (unless "present" is false) and patterns its text
    (carriage returns and escape sequences removed) must show in order or never."""
    failures = []
    for want in expectations:
        where = f"{want['partition']}:{want['path']}"
        offset = partition_offset(partitions, want["partition"])
        if offset is None:
            failures.append(f"{where}: no partition of that name")
            continue
        data = read_file(image, offset, want["path"])
        if not want.get("present", True):
            if data is not None:
                failures.append(f"{where}: present but must not be")
            continue
        if data is None:
            failures.append(f"{where}: missing")
            continue
        text = serial_log.clean(data)
        failures += [f"{where}: {f}" for f in serial_log.check(text, want.get("in_order", []), want.get("absent", []))]
    return failures


def check_raw(disk, partitions, wanted):
    """Bytes read back from unformatted partitions: [{"partition", "offset", "hex"}, ...]."""
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
