"""Runs one scenario: disk image, QEMU boot, screenshot, verdict."""

import os
import re
import time
from dataclasses import dataclass, field

from . import boots, disk_files, firmware_vars, generated, input_actions, pixel_check, qmp_events, screens, serial_log
from .disk_image import build_disk_image
from .qemu import POLL_SECONDS, QemuMachine

# How long QEMU gets to end after the harness pressed the loader's key.
EXIT_GRACE_SECONDS = 60


@dataclass
class RunResult:
    out_dir: str
    serial_log: str
    screenshot: str = None
    qemu_log: str = None
    how: str = ""            # "marker", "exited" or "timeout"
    exit_status: int = None  # QEMU's, when it ended by itself
    seconds: float = 0.0
    failures: list = field(default_factory=list)
    log_text: str = ""

    @property
    def passed(self):
        return not self.failures


def _wait_for_end(machine, marker, timeout):
    """Polls the serial log for the end marker and QEMU for its exit, up to timeout."""
    pattern = re.compile(marker, re.MULTILINE)
    deadline = time.monotonic() + timeout
    while True:
        if pattern.search(serial_log.read_clean(machine.serial_log)):
            return "marker"
        if not machine.running():
            return "exited"
        if time.monotonic() >= deadline:
            return "timeout"
        time.sleep(POLL_SECONDS)


def _finish(machine, how, screenshot_path, result):
    """Takes the screenshot while the guest still runs, then lets or makes QEMU end."""
    try:
        result.screenshot = machine.screendump(screenshot_path)
    except Exception as e:  # a missing picture must not hide the boot's verdict
        result.failures.append(f"screenshot failed: {e}")
    if how == "marker":
        machine.sendkey("ret")  # the loader waits for a key before it ends QEMU
        result.exit_status = machine.wait(EXIT_GRACE_SECONDS)
    elif how == "exited":
        result.exit_status = machine.process.returncode
    machine.stop()


def _judge(scenario, result, disk, machine):
    expect = scenario.expect
    if result.how == "timeout":
        result.failures.append(f"no end within {scenario.timeout:.0f} s (waited for /{scenario.end_marker}/ or QEMU's exit)")
    result.failures += serial_log.check(result.log_text, expect.in_order, expect.absent)
    if expect.qemu_exit is not None and result.exit_status != expect.qemu_exit:
        result.failures.append(f"QEMU exit status {result.exit_status}, expected {expect.qemu_exit}")
    if expect.files:
        result.failures += disk_files.check(disk, scenario.partitions, expect.files)
    result.failures += pixel_check.check(result.screenshot, {"points": expect.pixels}, scenario.host_dir)
    result.failures += disk_files.check_raw(disk, scenario.partitions, expect.raw)
    result.failures += firmware_vars.check(machine.vars_file, expect.variables)


def run(scenario, out_root):
    if scenario.boots:
        return boots.run(scenario, out_root, RunResult, _finish, _wait_for_end)
    out_dir = os.path.join(out_root, scenario.name)
    os.makedirs(out_dir, exist_ok=True)
    disk = os.path.join(out_dir, "disk.img")
    generated.prepare(scenario.name, scenario.generate)
    build_disk_image(disk, scenario.partitions, os.path.join(out_dir, "inline"))
    machine = QemuMachine(disk, out_dir, scenario.memory_mib, scenario.qemu_args, scenario.firmware)
    result = RunResult(out_dir=out_dir, serial_log=machine.serial_log, qemu_log=machine.qemu_log)
    started = time.monotonic()
    input_actions.prepare(machine, scenario.input)
    events = qmp_events.EventRecorder(machine) if scenario.expect.qemu_shutdown else None
    try:
        machine.start()
        if events:
            events.start()
        result.failures += input_actions.perform(
            machine, scenario.input,
            lambda screen: screens.capture(machine, [screen], out_dir, scenario.host_dir, scenario.timeout))
        if scenario.screens:
            result.failures += screens.capture(machine, scenario.screens, out_dir, scenario.host_dir, scenario.timeout)
        result.how = _wait_for_end(machine, scenario.end_marker, scenario.timeout)
        _finish(machine, result.how, os.path.join(out_dir, "screen.png"), result)
    finally:
        machine.stop()
    result.seconds = time.monotonic() - started
    result.log_text = serial_log.read_clean(machine.serial_log)
    if events:
        events.finish()
        result.failures += events.check(scenario.expect.qemu_shutdown)
    _judge(scenario, result, disk, machine)
    return result
