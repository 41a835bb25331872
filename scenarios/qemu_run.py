#!/usr/bin/env python3
"""Boots hearth under QEMU + OVMF (or U-Boot) through the platform loader and checks the serial log.

  qemu_run.py NAME            run the scenario scenarios/cases/NAME.json
  qemu_run.py --list          list the scenarios
  qemu_run.py --demo          boot once and show the serial log and the screenshot

Images come from --uefi-out (default build/uefi) or --loader/--hearth; nothing is built
here. --firmware runs a scenario on another firmware than its own (the first of its
"firmwares"), with the keys its "per_firmware" block changes there. Results (disk image,
serial log, screenshot, QEMU's own output) land in --out/NAME (default build/scenarios/NAME;
FIRMWARE-NAME for a run on another firmware than the scenario's own).
Exit status: 0 passed, 1 failed, 2 usage,
77 skipped because QEMU, the firmware, the disk tools or the EFI images are missing (under
CI, with CI set in the environment, that is a failure instead), or because the scenario
needs a capability scenarios/capabilities.txt does not list (also under CI).
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import capabilities, firmware, generated, prepare, qemu, runner, scenario  # noqa: E402
from harness.disk_image import DiskImageError  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXIT_PASS, EXIT_FAIL, EXIT_USAGE, EXIT_SKIP = 0, 1, 2, 77
DEMO_SCENARIO = "demo"
# The demo through the login window, once the booter has one (scenarios/capabilities.txt).
LOGIN_DEMO_SCENARIO = "login_demo"
LOGIN_DEMO_NEEDS = ["login-window"]


def demo_scenario(firmware_name):
    # U-Boot has no screen for a login window: its demo is the plain boot.
    if firmware_name == "uboot" or capabilities.unmet(LOGIN_DEMO_NEEDS):
        return DEMO_SCENARIO
    return LOGIN_DEMO_SCENARIO


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("name", nargs="?", help="scenario to run (see --list)")
    p.add_argument("--list", action="store_true", help="list the scenarios and exit")
    p.add_argument("--demo", action="store_true",
                   help=f"boot the {DEMO_SCENARIO} scenario (or NAME), print the whole serial log and where "
                        "the screenshot is; expectations are reported but do not fail the run")
    p.add_argument("--uefi-out", default=os.path.join(REPO, "build", "uefi"),
                   help="folder with BOOTX64.EFI and hearth.efi (default: build/uefi)")
    p.add_argument("--loader", help="the platform loader image (default: UEFI_OUT/BOOTX64.EFI)")
    p.add_argument("--hearth", help="the hearth image (default: UEFI_OUT/hearth.efi)")
    p.add_argument("--host-out", help="the host build's output with hearthtool and the probe kernel, for "
                                      "scenarios that prepare files (default: UEFI_OUT/../host)")
    p.add_argument("--out", default=os.path.join(REPO, "build", "scenarios"),
                   help="folder for the results (default: build/scenarios)")
    p.add_argument("--firmware", choices=sorted(firmware.PROFILES),
                   help="boot on this firmware instead of the scenario's own (default: the scenario's, ovmf)")
    p.add_argument("--ignore-needs", action="store_true",
                   help="run a scenario even when scenarios/capabilities.txt lacks what it needs")
    p.add_argument("--timeout", type=float, help="seconds to wait for the end (default: the scenario's, 180)")
    args = p.parse_args(argv)
    if not args.list and not args.name and not args.demo:
        p.error("name a scenario, or use --list or --demo")
    return args


def missing_inputs(sc):
    missing = qemu.missing_prerequisites(sc.firmware) + generated.missing_programs(sc.generate)
    for path in scenario.required_files(sc):
        if not os.path.isfile(path):
            missing.append(f"{path} not found: build the EFI images first "
                           "(cmake -S . -B build/cmake/uefi -DHEARTH_UEFI=ON "
                           "-DCMAKE_TOOLCHAIN_FILE=cmake/uefi-toolchain.cmake && cmake --build build/cmake/uefi -j2)")
    return missing


def report(sc, result, demo):
    if demo:
        print("----- serial log (escape sequences removed) -----")
        print(result.log_text.rstrip())
        print("-------------------------------------------------")
    verdict = "PASS" if result.passed else "FAIL"
    print(f"{verdict} {sc.name}: ended by {result.how}, QEMU exit status {result.exit_status}, "
          f"{result.seconds:.1f} s")
    for failure in result.failures:
        print(f"  {failure}")
    print(f"  serial log: {result.serial_log}")
    print(f"  screenshot: {result.screenshot or '(none: QEMU had ended)'}")
    print(f"  QEMU output: {result.qemu_log}")


def main(argv):
    args = parse_args(argv)
    if args.list:
        for name in scenario.list_names():
            print(name)
        return EXIT_PASS
    name = args.name or demo_scenario(args.firmware)
    try:
        sc = scenario.load(name, os.path.abspath(args.uefi_out), args.loader, args.hearth,
                           os.path.abspath(args.host_out) if args.host_out else None,
                           firmware_name=args.firmware, out_root=os.path.abspath(args.out))
    except scenario.ScenarioError as e:
        print(f"qemu_run: {e}", file=sys.stderr)
        return EXIT_USAGE
    name = sc.name  # FIRMWARE-NAME on another firmware than the scenario's own
    if args.timeout:
        sc.timeout = args.timeout
    unmet = capabilities.unmet(sc.needs)
    if unmet and not args.ignore_needs:
        print(f"NOT YET RUNNABLE {name}: needs {', '.join(unmet)}, which scenarios/capabilities.txt does not list "
              "(--ignore-needs runs it anyway)", file=sys.stderr)
        return EXIT_SKIP
    missing = prepare.missing(sc)
    if not missing:
        try:
            prepare.run(sc)
        except prepare.PrepareError as e:
            print(f"FAIL {name}: {e}", file=sys.stderr)
            return EXIT_FAIL
        missing = missing_inputs(sc)
    if missing:
        # CI installs every tool (scripts/setup) and builds every image: there a gap is a failure.
        under_ci = os.environ.get("CI", "") not in ("", "0", "false")
        print(f"{'FAIL' if under_ci else 'SKIP'} {name}:", file=sys.stderr)
        for m in missing:
            print(f"  {m}", file=sys.stderr)
        return EXIT_FAIL if under_ci else EXIT_SKIP
    print(f"running {name} on {sc.firmware}: {sc.description}", flush=True)
    try:
        result = runner.run(sc, os.path.abspath(args.out))
    except (DiskImageError, qemu.QemuError) as e:
        print(f"FAIL {name}: {e}", file=sys.stderr)
        return EXIT_FAIL
    report(sc, result, args.demo)
    if args.demo:
        return EXIT_PASS if result.how != "timeout" else EXIT_FAIL
    return EXIT_PASS if result.passed else EXIT_FAIL


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
