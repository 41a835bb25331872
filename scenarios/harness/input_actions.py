"""Typed keys and pointer actions sent to the guest while a scenario runs.

A scenario's "input" list is worked through in order after QEMU starts, before the runner
waits for the end marker. Steps:

  {"wait_for": "REGEX", "timeout": 120}   wait until the cleaned serial log matches
  {"keys": ["a", "shift-b", "ret"]}       the monitor's sendkey, one key (combination) each
  {"pointer_abs": [X, Y]}                 move the absolute pointer (USB tablet) to X, Y in
                                          the tablet's range 0..32767 (QMP input-send-event)
  {"click": "left"}                       press and release a button ("left", "right")
  {"pause_ms": 200}                       give the guest time between actions
  {"screen": {...}}                       judge and keep a screen now, between other steps
                                          (the entries of "screens", see screens.py)

Pointer steps talk to QEMU's QMP socket, which prepare() adds to the machine's arguments;
the machine needs a tablet: "qemu_args": ["-device", "qemu-xhci", "-device", "usb-tablet"].
"""

import json
import os
import re
import socket
import time

from . import serial_log
from .qemu import POLL_SECONDS, QemuError

KEY_HOLD_MS = 100


class InputError(Exception):
    pass


def _needs_qmp(steps):
    return any("pointer_abs" in s or "click" in s for s in steps)


def prepare(machine, steps):
    """Adds a QMP socket to the machine when pointer steps need one (before start)."""
    if steps and _needs_qmp(steps):
        machine.qmp_path = os.path.join(machine.socket_dir, "qmp.sock")
        machine.extra_args += ["-qmp", f"unix:{machine.qmp_path},server,nowait"]


class Qmp:
    """A QMP connection: greeting, capabilities, then one command at a time."""

    def __init__(self, path, timeout=30):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(timeout)
        self.sock.connect(path)
        self.buffer = b""
        self._read_message()  # the greeting
        self.execute("qmp_capabilities")

    def _read_message(self):
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise QemuError("QMP socket closed")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line)

    def execute(self, command, arguments=None):
        message = {"execute": command}
        if arguments is not None:
            message["arguments"] = arguments
        self.sock.sendall(json.dumps(message).encode() + b"\n")
        while True:
            reply = self._read_message()
            if "return" in reply:
                return reply["return"]
            if "error" in reply:
                raise QemuError(f"QMP {command}: {reply['error'].get('desc', reply['error'])}")
            # asynchronous events are skipped

    def close(self):
        self.sock.close()


def _wait_for(machine, pattern, timeout):
    regex = re.compile(pattern, re.MULTILINE)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if regex.search(serial_log.read_clean(machine.serial_log)):
            return True
        if not machine.running():
            return False
        time.sleep(POLL_SECONDS)
    return False


def perform(machine, steps, capture=None):
    """Works through the steps; returns a list of failure messages (empty when all ran).
    capture(screen) judges a "screen" step and returns its failures."""
    if not steps:
        return []
    qmp = None
    try:
        for step in steps:
            if "wait_for" in step:
                if not _wait_for(machine, step["wait_for"], float(step.get("timeout", 120))):
                    return [f"input: /{step['wait_for']}/ never appeared in the serial log"]
            elif "keys" in step:
                for key in step["keys"]:
                    machine.monitor.command(f"sendkey {key} {KEY_HOLD_MS}")
                    time.sleep(KEY_HOLD_MS / 1000 + 0.15)
            elif "pointer_abs" in step or "click" in step:
                if qmp is None:
                    qmp = Qmp(machine.qmp_path)
                if "pointer_abs" in step:
                    x, y = step["pointer_abs"]
                    qmp.execute("input-send-event", {"events": [
                        {"type": "abs", "data": {"axis": "x", "value": int(x)}},
                        {"type": "abs", "data": {"axis": "y", "value": int(y)}}]})
                else:
                    for down in (True, False):
                        qmp.execute("input-send-event", {"events": [
                            {"type": "btn", "data": {"down": down, "button": step["click"]}}]})
                        time.sleep(0.05)
                time.sleep(0.2)
            elif "pause_ms" in step:
                time.sleep(float(step["pause_ms"]) / 1000)
            elif "screen" in step:
                failures = capture(step["screen"]) if capture else ["input: screen steps need a capture"]
                if failures:
                    return failures
            else:
                return [f"input: unknown step {step}"]
    except (OSError, QemuError) as e:
        return [f"input: {e}"]
    finally:
        if qmp is not None:
            qmp.close()
    return []
