"""Starts QEMU with a firmware profile (see firmware.py) on a disk image and talks to it
through its monitor socket."""

import os
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import zlib

from . import firmware

QEMU = "qemu-system-x86_64"
POLL_SECONDS = 0.2


class QemuError(Exception):
    pass


def missing_prerequisites(firmware_name=firmware.DEFAULT):
    """What is missing for a QEMU run of the firmware on this machine, as messages."""
    missing = []
    if not shutil.which(QEMU):
        missing.append(f"{QEMU} not found (Debian package qemu-system-x86)")
    missing += firmware.profile(firmware_name).missing()
    for tool in ("sfdisk", "mkfs.fat", "mcopy", "mmd"):
        if not shutil.which(tool):
            missing.append(f"{tool} not found (Debian packages fdisk, dosfstools, mtools)")
    return missing


def wait_until(predicate, timeout):
    """Polls predicate until it is true or timeout seconds pass; returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(POLL_SECONDS)


class Monitor:
    """The human monitor over a Unix socket. It echoes input with escape sequences, so
    every exchange reads up to the next "(qemu) " prompt."""

    PROMPT = b"(qemu) "

    def __init__(self, path, timeout=30):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(timeout)
        self.sock.connect(path)
        self._read_to_prompt()

    def _read_to_prompt(self):
        data = b""
        while not data.endswith(self.PROMPT):
            chunk = self.sock.recv(4096)
            if not chunk:
                raise QemuError("monitor closed")
            data += chunk
        return data

    def command(self, line):
        self.sock.sendall(line.encode() + b"\n")
        # The echo of the command line ends with a newline; what follows up to the prompt is the reply.
        reply = self._read_to_prompt()
        return reply.split(b"\n", 1)[-1][: -len(self.PROMPT)].decode(errors="replace")

    def close(self):
        self.sock.close()


def ppm_to_png(ppm_path, png_path):
    """Converts the binary PPM that older screendumps write into a PNG."""
    with open(ppm_path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:  # magic, width, height, maximum value
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise QemuError(f"{ppm_path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:]
    stride = width * 3
    raw = b"".join(b"\x00" + pixels[y * stride:(y + 1) * stride] for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b"")
    with open(png_path, "wb") as f:
        f.write(png)


class QemuMachine:
    """One QEMU run: q35 under TCG, the firmware with a fresh variable store, the disk image,
    serial output to a file, the debug-exit device and a monitor socket; no display window."""

    def __init__(self, disk_image, out_dir, memory_mib=2048, extra_args=(), firmware_name=firmware.DEFAULT):
        self.firmware = firmware.profile(firmware_name)
        self.disk_image = disk_image
        self.out_dir = out_dir
        self.memory_mib = memory_mib
        self.extra_args = list(extra_args)
        self.serial_log = os.path.join(out_dir, "serial.log")
        self.qemu_log = os.path.join(out_dir, "qemu.log")
        self.vars_file = os.path.join(out_dir, "OVMF_VARS.fd") if self.firmware.vars_template else None
        # Unix socket paths are short; keep the socket in a private temporary folder.
        self.socket_dir = tempfile.mkdtemp(prefix="hearth-qemu-")
        self.monitor_path = os.path.join(self.socket_dir, "monitor.sock")
        self.process = None
        self.monitor = None

    def argv(self):
        return [
            QEMU, *self.firmware.argv(self.vars_file, self.disk_image), "-cpu", "max",
            "-m", str(self.memory_mib), "-net", "none", "-display", "none", "-no-reboot",
            "-serial", f"file:{self.serial_log}",
            "-device", "isa-debug-exit,iobase=0xf4,iosize=0x04",
            "-monitor", f"unix:{self.monitor_path},server,nowait",
        ] + self.extra_args

    def start(self):
        self.firmware.fresh_vars(self.vars_file)
        for path in (self.serial_log, self.qemu_log):
            if os.path.exists(path):
                os.remove(path)
        with open(self.qemu_log, "wb") as log:
            self.process = subprocess.Popen(self.argv(), stdout=log, stderr=subprocess.STDOUT,
                                            stdin=subprocess.DEVNULL)
        if not wait_until(lambda: os.path.exists(self.monitor_path) or self.process.poll() is not None, 30):
            raise QemuError("QEMU did not open its monitor socket within 30 s")
        if self.process.poll() is not None:
            raise QemuError(f"QEMU ended at once with status {self.process.returncode}; see {self.qemu_log}")
        self.monitor = Monitor(self.monitor_path)

    def running(self):
        return self.process is not None and self.process.poll() is None

    def screendump(self, png_path):
        """Saves the screen as PNG; returns the path or None when QEMU could not."""
        if not self.running():
            return None
        for path in (png_path, png_path + ".ppm"):
            if os.path.exists(path):
                os.remove(path)
        reply = self.monitor.command(f"screendump {png_path} -f png")
        if wait_until(lambda: os.path.exists(png_path) and os.path.getsize(png_path) > 0, 10):
            return png_path
        # Older QEMU writes PPM only.
        ppm_path = png_path + ".ppm"
        self.monitor.command(f"screendump {ppm_path}")
        if not wait_until(lambda: os.path.exists(ppm_path) and os.path.getsize(ppm_path) > 0, 10):
            raise QemuError(f"screendump failed: {reply.strip()}")
        ppm_to_png(ppm_path, png_path)
        os.remove(ppm_path)
        return png_path

    def sendkey(self, key):
        if self.running():
            self.monitor.command(f"sendkey {key}")

    def wait(self, timeout):
        """Waits for QEMU to end; returns its exit status or None on timeout."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        """Ends QEMU if it still runs: quit through the monitor, then kill."""
        if self.running():
            try:
                self.monitor.command("quit")
            except (OSError, QemuError):
                pass
            if self.wait(15) is None:
                self.process.kill()
                self.process.wait()
        if self.monitor:
            self.monitor.close()
            self.monitor = None
        shutil.rmtree(self.socket_dir, ignore_errors=True)
