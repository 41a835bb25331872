"""QEMU's own account of how the machine ended, from the QMP event stream.

A reset and a power-off both end a QEMU started with -no-reboot with status 0, and the guest
may have no time to log anything; QEMU's SHUTDOWN event tells them apart by its "reason":
"guest-reset" (the guest reset the machine, which -no-reboot turns into an end),
"guest-shutdown" (ACPI power-off), "host-qmp-quit" (the harness quit it). A scenario asks
for one with "expect": {"qemu_shutdown": "guest-reset"}.

The recorder has a QMP socket of its own (QEMU takes several), which prepare() adds to the
machine's arguments; after start() a thread reads every event into qmp-events.log in the
run's folder until QEMU closes the socket.
"""

import json
import os
import socket
import threading

from .qemu import wait_until

LOG_NAME = "qmp-events.log"


class EventRecorder:
    def __init__(self, machine):
        self.path = os.path.join(machine.socket_dir, "events.sock")
        self.log_path = os.path.join(machine.out_dir, LOG_NAME)
        self.events = []
        self.error = None
        self._thread = None
        machine.extra_args += ["-qmp", f"unix:{self.path},server,nowait"]

    def start(self):
        """Connects (QEMU must be running) and starts reading in the background."""
        if os.path.exists(self.log_path):
            os.remove(self.log_path)
        if not wait_until(lambda: os.path.exists(self.path), 30):
            self.error = "QMP event socket never appeared"
            return
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.connect(self.path)
        sock.sendall(b'{"execute": "qmp_capabilities"}\n')
        self._thread = threading.Thread(target=self._read, args=(sock,), daemon=True)
        self._thread.start()

    def _read(self, sock):
        buffer = b""
        with sock, open(self.log_path, "w") as log:
            while True:
                try:
                    chunk = sock.recv(4096)
                except OSError as e:
                    self.error = f"QMP event socket: {e}"
                    return
                if not chunk:
                    return
                buffer += chunk
                while b"\n" in buffer:
                    line, buffer = buffer.split(b"\n", 1)
                    try:
                        message = json.loads(line)
                    except ValueError:
                        continue
                    if "event" in message:
                        self.events.append(message)
                        log.write(json.dumps(message) + "\n")
                        log.flush()

    def finish(self, timeout=15):
        """Waits for the reader to see the socket close (QEMU has ended)."""
        if self._thread:
            self._thread.join(timeout)

    def shutdown_reason(self):
        """The reason of the first SHUTDOWN event, or None when there was none."""
        for event in self.events:
            if event["event"] == "SHUTDOWN":
                return event.get("data", {}).get("reason", "")
        return None

    def check(self, expected):
        if expected is None:
            return []
        if self.error:
            return [self.error]
        reason = self.shutdown_reason()
        if reason != expected:
            seen = ", ".join(e["event"] for e in self.events) or "none"
            return [f"QEMU's shutdown reason {reason!r}, expected {expected!r} (events: {seen}; see {self.log_path})"]
        return []
