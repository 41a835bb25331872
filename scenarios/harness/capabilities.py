"""Capabilities the booter in this tree has (scenarios/capabilities.txt, one a line), and
the scenarios' "needs": a scenario that needs one the file does not list is not yet
runnable; ctest registers it disabled and qemu_run.py skips it unless told otherwise."""

import os

FILE = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "capabilities.txt")


def present(path=FILE):
    try:
        with open(path) as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return set()
    return {line.split("#", 1)[0].strip() for line in lines} - {""}


def unmet(needs, path=FILE):
    have = present(path)
    return [n for n in needs if n not in have]
