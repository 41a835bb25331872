"""Scenarios of several boots of one machine: the same disk and the same variable store from
boot to boot, each boot with its own clock (QEMU's -rtc base=...), its own extra lines of
platform.cfg, screens and expectations. Used where what a boot does depends on what earlier
boots left in firmware variables (the panic log, for one).

    "boots": [
      {"rtc": "2026-12-10T09:00:00", "platform_cfg": ["var boot \\"TARN,PanicInfo0000\\" 3 \\"one\\""],
       "input": [...], "screens": [...], "expect": {"in_order": [...], "absent": [...], "qemu_exit": 33},
       "end_marker": "...", "timeout": 120},
      ...
    ]

The scenario's own platform_cfg lines come first in every boot's settings file.
"""

import dataclasses
import os
import subprocess
import time

from . import disk_files, generated, input_actions, screens, serial_log
from .disk_image import build_disk_image
from .qemu import QemuMachine

SETTINGS_PATH = "EFI/BOOT/platform.cfg"


class _NextBoot(QemuMachine):
    """A machine that starts from the variable store an earlier boot left (or a fresh one)."""

    def __init__(self, *args, vars_from=None, **kwargs):
        super().__init__(*args, **kwargs)
        if vars_from:
            self.firmware = dataclasses.replace(self.firmware, vars_template=vars_from)


def _write_settings(disk, partitions, lines, scratch):
    esp = next(p for p in partitions if p.type == "esp")
    offset = disk_files.partition_offset(partitions, esp.name)
    path = os.path.join(scratch, "platform.cfg")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    subprocess.run(["mcopy", "-o", "-i", f"{disk}@@{offset}", path, "::/" + SETTINGS_PATH], check=True,
                   capture_output=True)


def run(scenario, out_root, result_type, finish, wait_for_end):
    """Runs every boot in order; returns one result for the whole scenario."""
    out_dir = os.path.join(out_root, scenario.name)
    os.makedirs(out_dir, exist_ok=True)
    disk = os.path.join(out_dir, "disk.img")
    generated.prepare(scenario.name, scenario.generate)
    build_disk_image(disk, scenario.partitions, os.path.join(out_dir, "inline"))
    combined = result_type(out_dir=out_dir, serial_log=os.path.join(out_dir, "boot-1", "serial.log"))
    started = time.monotonic()
    vars_from = None
    logs = []
    for number, boot in enumerate(scenario.boots, 1):
        boot_dir = os.path.join(out_dir, f"boot-{number}")
        os.makedirs(boot_dir, exist_ok=True)
        _write_settings(disk, scenario.partitions, scenario.base_settings + boot.get("platform_cfg", []), boot_dir)
        extra = list(scenario.qemu_args) + (["-rtc", f"base={boot['rtc']}"] if "rtc" in boot else [])
        machine = _NextBoot(disk, boot_dir, scenario.memory_mib, extra, scenario.firmware, vars_from=vars_from)
        result = result_type(out_dir=boot_dir, serial_log=machine.serial_log, qemu_log=machine.qemu_log)
        timeout = float(boot.get("timeout", scenario.timeout))
        # A boot's own keys and pointer actions ("input", as a scenario's), with the
        # scenario's qemu_args giving the tablet.
        steps = boot.get("input", [])
        input_actions.prepare(machine, steps)
        try:
            machine.start()
            result.failures += input_actions.perform(
                machine, steps, lambda screen: screens.capture(machine, [screen], boot_dir, scenario.host_dir, timeout))
            if boot.get("screens"):
                result.failures += screens.capture(machine, boot["screens"], boot_dir, scenario.host_dir, timeout)
            result.how = wait_for_end(machine, boot.get("end_marker", scenario.end_marker), timeout)
            finish(machine, result.how, os.path.join(boot_dir, "screen.png"), result)
        finally:
            machine.stop()
        result.log_text = serial_log.read_clean(machine.serial_log)
        logs.append(f"===== boot {number} =====\n{result.log_text}")
        expect = boot.get("expect", {})
        failures = list(result.failures)
        failures += serial_log.check(result.log_text, expect.get("in_order", []), expect.get("absent", []))
        if "qemu_exit" in expect and result.exit_status != expect["qemu_exit"]:
            failures.append(f"QEMU exit status {result.exit_status}, expected {expect['qemu_exit']}")
        combined.failures += [f"boot {number}: {f}" for f in failures]
        combined.how = result.how
        combined.exit_status = result.exit_status
        combined.screenshot = result.screenshot
        # A firmware that keeps its variables in memory (U-Boot) starts every boot without them.
        vars_from = machine.vars_file
    combined.seconds = time.monotonic() - started
    combined.log_text = "\n".join(logs)
    return combined
