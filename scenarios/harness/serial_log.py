"""Reading the guest's serial log: the firmware mirrors its console there with terminal
escape sequences and carriage returns, which are stripped before matching."""

import re

# CSI sequences (colours, cursor moves, erases), character-set selections and lone escapes.
_ESCAPES = re.compile(rb"\x1b\[[0-9;?=<>]*[ -/]*[@-~]|\x1b[()][0-9A-Za-z]|\x1b[=>78cDEHM]")
_CONTROL = re.compile(rb"[\x00-\x08\x0b-\x1f\x7f]")


def clean(raw: bytes) -> str:
    text = _ESCAPES.sub(b"", raw)
    text = text.replace(b"\r", b"")
    text = _CONTROL.sub(b"", text)
    return text.decode("utf-8", errors="replace")


def read_clean(path) -> str:
    try:
        with open(path, "rb") as f:
            return clean(f.read())
    except FileNotFoundError:
        return ""


def check(text, in_order, absent):
    """Returns a list of failures: patterns of in_order missing (searched one after the
    other) and patterns of absent that appear."""
    failures = []
    pos = 0
    for pattern in in_order:
        match = re.compile(pattern, re.MULTILINE).search(text, pos)
        if not match:
            failures.append(f"missing (in order): {pattern}")
            continue
        pos = match.end()
    for pattern in absent:
        match = re.compile(pattern, re.MULTILINE).search(text)
        if match:
            failures.append(f"present but must not be: {pattern} (found {match.group(0)!r})")
    return failures
