"""Files a scenario makes on the host before its disk image is built.

A scenario file may hold a "generate" list; its steps run in order, and their outputs are
copied into partitions like any other host file ("from": "${generated}/NAME"):

    "generate": [
      {"pattern": "${generated}/root.dmg", "size": 2621440, "seed": 7},
      {"hearthtool": ["chunklist", "create", "${generated}/root.dmg", "--key", "${cases}/k.pem"]},
      {"flip_byte": "${generated}/root.dmg", "offset": 1234567}
    ]

- pattern: SIZE deterministic pseudo-random bytes from SEED, written to the path;
- hearthtool: runs build/host/hearthtool with the arguments (the host build's tool);
- flip_byte: inverts the low bit of one byte of an existing file ("xor" gives another mask).

${generated} is build/scenarios-generated/NAME; ${hearthtool} is the tool's path.
"""

import os
import random
import subprocess

from .disk_image import DiskImageError

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
HEARTHTOOL = os.path.join(REPO, "build", "host", "hearthtool")


class GenerateError(DiskImageError):
    """The disk image's inputs could not be made (reported like a disk image failure)."""


def directory(name):
    return os.path.join(REPO, "build", "scenarios-generated", name)


def places(name):
    """Placeholders the scenario's strings may use for generated files."""
    return {"generated": directory(name), "hearthtool": HEARTHTOOL}


def is_generated(path, name):
    return os.path.abspath(path).startswith(directory(name) + os.sep)


def tools_needed(steps):
    """Host programs the steps run, so that a missing one skips the scenario."""
    return [HEARTHTOOL] if any("hearthtool" in step for step in steps) else []


def _pattern(step):
    data = random.Random(int(step.get("seed", 1))).randbytes(int(step["size"]))
    with open(step["pattern"], "wb") as f:
        f.write(data)


def _hearthtool(step):
    done = subprocess.run([HEARTHTOOL] + [str(a) for a in step["hearthtool"]], capture_output=True, text=True)
    if done.returncode != 0:
        raise GenerateError(f"hearthtool {' '.join(step['hearthtool'])} failed ({done.returncode}): "
                            f"{done.stderr.strip() or done.stdout.strip()}")


def _flip_byte(step):
    path, offset = step["flip_byte"], int(step["offset"])
    with open(path, "r+b") as f:
        f.seek(offset)
        byte = f.read(1)
        if len(byte) != 1:
            raise GenerateError(f"{path} has no byte at offset {offset}")
        f.seek(offset)
        f.write(bytes([byte[0] ^ int(step.get("xor", 1))]))


STEPS = {"pattern": _pattern, "hearthtool": _hearthtool, "flip_byte": _flip_byte}


def prepare(name, steps):
    """Runs the steps into a fresh generated folder for the scenario."""
    if not steps:
        return
    folder = directory(name)
    os.makedirs(folder, exist_ok=True)
    for entry in os.listdir(folder):
        os.remove(os.path.join(folder, entry))
    for step in steps:
        kinds = [k for k in STEPS if k in step]
        if len(kinds) != 1:
            raise GenerateError(f"generate step {step} needs exactly one of {', '.join(STEPS)}")
        STEPS[kinds[0]](step)
