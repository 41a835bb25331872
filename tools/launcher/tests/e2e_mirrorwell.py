#!/usr/bin/env python3
"""Runs the built Mirrorwell from bundles in a temporary host root, with stub
sudo/pkexec programs on a PATH that holds nothing else.

Usage: e2e_mirrorwell.py PATH_TO_MIRRORWELL
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

MIRRORWELL = None
INNER = "Contents/Larkspur/Mirrorwell.app/Contents/Larkspur/Mirrorwell"
ALERT = ("Mirrorwell: Kindly copy the Mirrorwell executable in the Applications folder "
         "and run from there.\n")

# Both stubs use shell built-ins only: PATH holds nothing but the stubs.
SUDO_STUB = """#!/bin/sh
# sudo -b PROGRAM: prints what .host/sudo-b.prints holds (as a sudo that
# wants a password would), otherwise starts nothing and stays silent.
# sudo -n PROGRAM: exits with .host/sudo-n.status (default 0) and runs the
# program when that is 0.
host="$HEARTH_HOST_ROOT/.host"
printf '%s\\n' "$*" >> "$host/sudo.calls"
case "$1" in
  -b)
    if [ -f "$host/sudo-b.prints" ]; then
      while IFS= read -r line; do printf '%s\\n' "$line"; done < "$host/sudo-b.prints"
    fi
    exit 0 ;;
  -n)
    status=0
    if [ -f "$host/sudo-n.status" ]; then read status < "$host/sudo-n.status"; fi
    [ "$status" = 0 ] || exit "$status"
    exec "$2" ;;
esac
exit 1
"""

PKEXEC_STUB = """#!/bin/sh
printf '%s\\n' "$*" >> "$HEARTH_HOST_ROOT/.host/pkexec.calls"
exec "$1"
"""

CLONER_STUB = """#!/bin/sh
printf 'ran\\n' >> "$HEARTH_HOST_ROOT/.host/cloner.runs"
"""


class LauncherEndToEnd(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = os.path.join(self.tmp.name, "root")
        self.bin = os.path.join(self.tmp.name, "bin")
        for d in (".host", "var/tmp"):
            os.makedirs(self.at(d))
        os.makedirs(self.bin)
        self.write_program(os.path.join(self.bin, "sudo"), SUDO_STUB)

    def tearDown(self):
        self.tmp.cleanup()

    def at(self, relative):
        return os.path.join(self.root, relative.lstrip("/"))

    def write(self, path, data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data.encode() if isinstance(data, str) else data)

    def write_program(self, path, text):
        self.write(path, text)
        os.chmod(path, 0o755)

    def read(self, relative):
        with open(self.at(relative), "rb") as f:
            return f.read()

    def lines(self, relative):
        if not os.path.exists(self.at(relative)):
            return []
        return self.read(relative).decode().splitlines()

    def install(self, bundle):
        """Copies the launcher into BUNDLE and puts a stub cloner inside it."""
        launcher = self.at(os.path.join(bundle, "Contents/Larkspur/Mirrorwell"))
        os.makedirs(os.path.dirname(launcher))
        shutil.copy(MIRRORWELL, launcher)
        inner = self.at(os.path.join(bundle, INNER))
        self.write_program(inner, CLONER_STUB)
        return launcher, inner

    def run_launcher(self, launcher):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["HEARTH_HOST_ROOT"] = self.root
        env["PATH"] = self.bin
        done = subprocess.run([launcher], env=env, capture_output=True, text=True, timeout=60)
        return done.returncode, done.stdout, done.stderr

    def test_distribution_image_only_alerts(self):
        launcher, _ = self.install("/Volumes/Mirrorwell/Mirrorwell.app")
        self.assertEqual((0, "", ALERT), self.run_launcher(launcher))
        self.assertEqual([], self.lines(".host/sudo.calls"))
        self.assertEqual([], self.lines(".host/cloner.runs"))
        self.assertFalse(os.path.exists(self.at("/var/tmp/.CloneLauncherSettings")))

    def test_failed_privileged_start_writes_the_marker(self):
        launcher, inner = self.install("/Applications/Mirrorwell.app")
        self.write(self.at(".host/sudo-n.status"), "1\n")
        self.assertEqual((0, "", ""), self.run_launcher(launcher))
        self.assertEqual(["-n " + inner], self.lines(".host/sudo.calls"))
        self.assertEqual(b"LaunchMirrorwell-0\0", self.read("/var/tmp/.CloneLauncherSettings"))
        self.assertEqual([], self.lines(".host/cloner.runs"))

    def test_privileged_start_runs_the_cloner(self):
        launcher, inner = self.install("/Applications/Mirrorwell.app")
        self.write(self.at("/var/tmp/.output"), "stale")
        self.assertEqual((0, "", ""), self.run_launcher(launcher))
        self.assertEqual(["ran"], self.lines(".host/cloner.runs"))
        self.assertFalse(os.path.exists(self.at("/var/tmp/.output")))
        self.assertFalse(os.path.exists(self.at("/var/tmp/.CloneLauncherSettings")))

    def test_pkexec_is_preferred(self):
        launcher, inner = self.install("/Applications/Mirrorwell.app")
        self.write_program(os.path.join(self.bin, "pkexec"), PKEXEC_STUB)
        self.assertEqual((0, "", ""), self.run_launcher(launcher))
        self.assertEqual([inner], self.lines(".host/pkexec.calls"))
        self.assertEqual([], self.lines(".host/sudo.calls"))

    def test_sudo_marker_starts_in_the_background(self):
        launcher, inner = self.install("/Applications/Mirrorwell.app")
        self.write(self.at("/var/tmp/.CloneLauncherSettings"), "LaunchMirrorwell-1")
        self.assertEqual((0, "", ""), self.run_launcher(launcher))
        self.assertEqual(["-b " + inner], self.lines(".host/sudo.calls"))
        self.assertEqual(b"", self.read("/var/tmp/.output"))
        self.assertEqual(b"LaunchMirrorwell-1", self.read("/var/tmp/.CloneLauncherSettings"))

    def test_sudo_that_prints_falls_back_and_remembers(self):
        launcher, inner = self.install("/Applications/My 'Clone' Tools/Mirrorwell.app")
        self.write(self.at("/var/tmp/.CloneLauncherSettings"), b"LaunchMirrorwell-1\0")
        self.write(self.at(".host/sudo-b.prints"), "sudo: a password is required\n")
        self.write(self.at(".host/sudo-n.status"), "1\n")
        self.assertEqual((0, "", ""), self.run_launcher(launcher))
        self.assertEqual(["-b " + inner, "-n " + inner], self.lines(".host/sudo.calls"))
        self.assertEqual(b"LaunchMirrorwell-0\0", self.read("/var/tmp/.CloneLauncherSettings"))

    def test_marker_with_line_end_means_the_service(self):
        launcher, inner = self.install("/Applications/Mirrorwell.app")
        self.write(self.at("/var/tmp/.CloneLauncherSettings"), "LaunchMirrorwell-1\n")
        self.run_launcher(launcher)
        self.assertEqual(["-n " + inner], self.lines(".host/sudo.calls"))

    def test_settings_link_is_not_followed(self):
        launcher, _ = self.install("/Applications/Mirrorwell.app")
        victim = os.path.join(self.tmp.name, "victim")
        self.write(victim, "keep me")
        os.symlink(victim, self.at("/var/tmp/.CloneLauncherSettings"))
        self.write(self.at(".host/sudo-n.status"), "1\n")
        self.assertEqual(0, self.run_launcher(launcher)[0])
        with open(victim, encoding="utf-8") as f:
            self.assertEqual("keep me", f.read())


if __name__ == "__main__":
    MIRRORWELL = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
