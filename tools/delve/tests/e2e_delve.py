#!/usr/bin/env python3
"""Runs the built delve in a temporary host root with stub programs.

Usage: e2e_delve.py PATH_TO_DELVE
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

DELVE = None

RECORD_STUB = """#!/bin/sh
# Records its arguments, one per line, and exits with the status in $STATUS_FILE.
for arg in "$@"; do printf '%s\\n' "$arg"; done > "$HEARTH_HOST_ROOT/.host/{name}.args"
status=0
if [ -f "$HEARTH_HOST_ROOT/.host/{name}.status" ]; then read status < "$HEARTH_HOST_ROOT/.host/{name}.status"; fi
exit $status
"""

IDENTIFIER_STUB = """#!/bin/sh
# hfs.util -k DEVICE: prints the volume identifier kept for DEVICE.
[ "$1" = "-k" ] || exit 2
file="$HEARTH_HOST_ROOT/.host/identifiers/$2"
[ -f "$file" ] || exit 1
cat "$file"
"""

IDENTIFIER_PROGRAM = "System/Library/Filesystems/hfs.fs/Contents/Resources/hfs.util"


class HostRoot:
    """A sandbox host root laid out as tools/HOST_PROGRAMS.md describes."""

    def __init__(self, path):
        self.path = path
        for d in (".host/sysctl", ".host/devicetree/options", ".host/blockdev",
                  ".host/identifiers", "dev", "Volumes", "System/Installation",
                  os.path.dirname(IDENTIFIER_PROGRAM), "sbin"):
            os.makedirs(self.at(d), exist_ok=True)
        self.write_program(IDENTIFIER_PROGRAM, IDENTIFIER_STUB)
        self.write_program("sbin/mount_hfs", RECORD_STUB.format(name="mount_hfs"))

    def at(self, relative):
        return os.path.join(self.path, relative.lstrip("/"))

    def write(self, relative, data):
        if isinstance(data, str):
            data = data.encode()
        os.makedirs(os.path.dirname(self.at(relative)), exist_ok=True)
        with open(self.at(relative), "wb") as f:
            f.write(data)

    def write_program(self, relative, text):
        self.write(relative, text)
        os.chmod(self.at(relative), 0o755)

    def read(self, relative):
        with open(self.at(relative), encoding="utf-8") as f:
            return f.read()

    def set_chain(self, devices):
        """Chain devices by position; each gets a device number and a stand-in /dev node."""
        records = b""
        for position, name in enumerate(devices):
            number = 0x01000000 + position + 2
            records += struct.pack("<I4xI24x", position, number)
            self.write(".host/blockdev/%d" % number, name + "\n")
            self.write("dev/" + name, "")
        self.write(".host/sysctl/kern.imgsrcinfo", records)

    def set_option(self, name, data):
        self.write(".host/devicetree/options/" + name, data)

    def lines(self, relative):
        if not os.path.exists(self.at(relative)):
            return []
        return self.read(relative).splitlines()


class DelveEndToEnd(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = HostRoot(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def run_delve(self, *args):
        env = dict(os.environ)
        env["HEARTH_HOST_ROOT"] = self.root.path
        env["PATH"] = "/usr/bin:/bin"
        done = subprocess.run([DELVE, *args], env=env, capture_output=True, text=True,
                              timeout=60)
        return done.returncode, done.stdout, done.stderr

    def mounts(self):
        return [line.split("\t") for line in self.root.lines(".host/mounts")]

    def test_three_arguments_print_the_usage(self):
        self.root.set_chain(["disk2s1"])
        code, out, err = self.run_delve("a", "b", "c")
        self.assertEqual(249, code)
        self.assertEqual("usage: delve [ outer_mount_point inner_mount_point ]\n", err)
        self.assertEqual("", out)
        self.assertEqual([], self.mounts())

    def test_locked_refuses_without_special_boot_flag(self):
        self.root.set_chain(["disk2s1"])
        self.root.set_option("recovery-boot-mode", b"locked\0")
        code, out, err = self.run_delve()
        self.assertEqual((0, ""), (code, err))
        self.assertEqual(
            "not mounting enclosing filesystems because the system is guest mode / locked\n", out)
        self.assertEqual([], self.mounts())
        self.assertFalse(os.path.exists(self.root.at("Volumes/Image Volume")))

        code, out, err = self.run_delve("-I")
        self.assertEqual((1, ""), (code, err))
        self.assertEqual("mounted enclosing fs at: /Volumes/Image Volume\n", out)
        self.assertEqual([["hfs", "/dev/disk2s1", "/Volumes/Image Volume", "0x20000000", "0"]],
                         self.mounts())
        self.assertEqual(["-o", "rw", "-o", "update", self.root.at("dev/disk2s1"),
                          self.root.at("Volumes/Image Volume")],
                         self.root.lines(".host/mount_hfs.args"))
        self.assertIn("delve: Promoting outer imgsrc to readwrite for special boot",
                      self.root.lines(".host/syslog"))

    def test_existing_image_volume_gets_a_counter(self):
        self.root.set_chain(["disk2s1"])
        os.mkdir(self.root.at("Volumes/Image Volume"))
        code, out, err = self.run_delve()
        self.assertEqual((1, ""), (code, err))
        self.assertEqual("mounted enclosing fs at: /Volumes/Image Volume 1\n", out)
        self.assertTrue(os.path.isdir(self.root.at("Volumes/Image Volume 1")))
        self.assertEqual(self.root.at("Volumes/Image Volume 1/Packages"),
                         os.readlink(self.root.at("System/Installation/PackagesLink")))
        self.assertEqual(["delve: mount /Volumes/Image Volume 1 /dev/disk2s1",
                          "delve: Error attempting to get lowest level disk!",
                          "delve: Error attempting to get lowest level disk!",
                          "delve: ln -s /Volumes/Image Volume 1/Packages "
                          "/System/Installation/PackagesLink"],
                         self.root.lines(".host/syslog"))
        self.assertFalse(os.path.exists(self.root.at(".host/mount_hfs.args")))

    def test_three_device_chain_is_too_deep(self):
        self.root.set_chain(["disk2s1", "disk3s1", "disk4s1"])
        code, out, err = self.run_delve()
        self.assertEqual(254, code)
        self.assertEqual("", out)
        self.assertEqual("failed to mount enclosing file systems, error code: -2 reason: "
                         "* Failed to mount imgsrc device, mount is too deep\n", err)
        self.assertEqual([], os.listdir(self.root.at("Volumes")))

    def test_two_device_plain_boot_promotes_device_0(self):
        self.root.set_chain(["disk2s1", "disk3s1"])
        code, out, err = self.run_delve()
        self.assertEqual((2, ""), (code, err))
        self.assertEqual("mounted enclosing fs at: /Volumes/Image Volume\n"
                         "mounted outer dmg fs at: /Volumes/Larkspur Install DVD\n", out)
        self.assertEqual([["hfs", "/dev/disk2s1", "/Volumes/Image Volume", "0x20000000", "0"],
                          ["hfs", "/dev/disk3s1", "/Volumes/Larkspur Install DVD", "0x20000000",
                           "1"]],
                         self.mounts())
        self.assertEqual(["-o", "rw", "-o", "update", self.root.at("dev/disk2s1"),
                          self.root.at("Volumes/Image Volume")],
                         self.root.lines(".host/mount_hfs.args"))
        self.assertEqual(self.root.at("Volumes/Larkspur Install DVD/Packages"),
                         os.readlink(self.root.at("System/Installation/PackagesLink")))

    def test_install_collection_keeps_device_0_read_only(self):
        self.root.set_chain(["disk2s1", "disk3s1"])
        self.root.write("System/Installation/Packages/OSInstall.collection", "")
        self.root.write(".host/mount_hfs.status", "3\n")
        code, _, _ = self.run_delve()
        self.assertEqual(2, code)
        self.assertFalse(os.path.exists(self.root.at(".host/mount_hfs.args")))

    def test_failed_promotion_is_logged(self):
        self.root.set_chain(["disk2s1", "disk3s1"])
        self.root.write(".host/mount_hfs.status", "3\n")
        code, _, _ = self.run_delve()
        self.assertEqual(2, code)
        self.assertIn("delve: mount_hfs returned error: 3", self.root.lines(".host/syslog"))

    def test_matching_identifiers_name_the_mount_points(self):
        self.root.set_chain(["disk2s1", "disk3s1"])
        self.root.write(".host/identifiers/disk2s1", "1111-AAAA")
        self.root.write(".host/identifiers/disk3s1", "2222-BBBB")
        self.root.set_option("rc_imgsrc_info", (
            '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n<array>\n'
            '<dict><key>1111-AAAA</key><string>Base System</string></dict>\n'
            '<dict><key>2222-BBBB</key><string>Outer</string></dict>\n'
            '</array>\n</plist>\n').encode() + b"\0")
        code, out, err = self.run_delve()
        self.assertEqual((2, ""), (code, err))
        self.assertEqual("mounted enclosing fs at: /Volumes/Base System\n"
                         "mounted outer dmg fs at: /Volumes/Outer\n", out)

    def test_product_information_on_the_lowest_volume(self):
        self.root.set_chain(["disk2s1"])
        self.root.write(".host/disks/disk2s1/description", "VolumePath=/Volumes/Base\n")
        self.root.write("Volumes/Base/.IAProductInfo", "")
        code, _, _ = self.run_delve()
        self.assertEqual(1, code)
        self.assertEqual(self.root.at("Volumes/Image Volume/Larkspur Install Data"),
                         os.readlink(self.root.at("System/Installation/PackagesLink")))

    def test_missing_device_fails_the_mount(self):
        self.root.set_chain(["disk2s1"])
        os.remove(self.root.at("dev/disk2s1"))
        code, out, err = self.run_delve()
        self.assertEqual(252, code)
        self.assertEqual("failed to mount enclosing file systems, error code: -4 reason: "
                         "* Failed to mount enclosing file sytem\n", err)

    def test_no_chain_information(self):
        code, out, err = self.run_delve()
        self.assertEqual(255, code)
        self.assertEqual("failed to mount enclosing file systems, error code: -1 reason: "
                         "* Failed to mount imgsrc device, no device info\n", err)


if __name__ == "__main__":
    DELVE = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
