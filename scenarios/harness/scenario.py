"""Scenario definitions: scenarios/cases/NAME.json describes the disk (partitions with the
files to copy), the loader's platform.cfg and what the serial log and QEMU must show.

"firmwares" lists the firmware profiles the scenario runs on (default: "firmware", or ovmf);
the first is its own. "per_firmware" maps a profile to the keys that differ on it: a key
there replaces the scenario's, and "expect" is merged key by key, so that
{"uboot": {"expect": {"in_order": [...]}}} replaces only the ordered expectations. A run on
another firmware than the scenario's own is named FIRMWARE-NAME (its results, its scratch
folders).

Strings may use ${uefi} (the folder with the EFI images), ${loader} (BOOTX64.EFI),
${hearth} (hearth.efi), ${cases} (the folder of the scenario files), ${host} (the host
build's output: hearthtool, the probe kernel) and ${work} (where "prepare" steps put the
files they make; see prepare.py)."""

import json
import os
import string
from dataclasses import dataclass, field

from . import firmware, generated
from .disk_image import FileCopy, Partition, RawRegion

CASES_DIR = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "cases")
SETTINGS_PATH = "EFI/BOOT/platform.cfg"
# The loader prints this once hearth has returned and it waits to end QEMU.
DEFAULT_END_MARKER = r"platform: waiting for a key, then ending QEMU"


class ScenarioError(Exception):
    pass


@dataclass
class Expectations:
    in_order: list = field(default_factory=list)
    absent: list = field(default_factory=list)
    qemu_exit: int = None
    files: list = field(default_factory=list)  # files read back from the disk image (disk_files.check)
    pixels: list = field(default_factory=list)  # points of the last screenshot (pixel_check.py)
    raw: list = field(default_factory=list)     # bytes of unformatted partitions (disk_files.check_raw)
    variables: list = field(default_factory=list)  # the variable store after the run (firmware_vars.py)
    qemu_shutdown: str = None  # the reason of QEMU's SHUTDOWN event (qmp_events.py)


@dataclass
class Scenario:
    name: str
    description: str
    partitions: list
    end_marker: str
    timeout: float
    expect: Expectations
    memory_mib: int = 2048
    qemu_args: list = field(default_factory=list)
    prepare: list = field(default_factory=list)  # hearthtool command lines, run before the disk is built
    host_dir: str = ""
    work_dir: str = ""
    generate: list = field(default_factory=list)  # steps of generated.prepare
    screens: list = field(default_factory=list)  # screens judged while the guest runs (screens.py)
    boots: list = field(default_factory=list)  # several boots of one machine (boots.py)
    case: str = ""  # the scenario file's name; name is the run's (FIRMWARE-CASE off the scenario's own firmware)
    firmwares: list = field(default_factory=lambda: [firmware.DEFAULT])  # the profiles it runs on, its own first
    base_settings: list = field(default_factory=list)  # platform_cfg lines every boot starts with
    firmware: str = firmware.DEFAULT  # a profile of firmware.PROFILES
    input: list = field(default_factory=list)  # keys and pointer actions (input_actions.py)
    needs: list = field(default_factory=list)  # capabilities of the booter it needs (capabilities.py)


def list_names():
    return sorted(f[:-5] for f in os.listdir(CASES_DIR) if f.endswith(".json"))


def _substitute(value, places):
    if isinstance(value, str):
        try:
            return string.Template(value).substitute(places)
        except KeyError as e:
            raise ScenarioError(f"unknown placeholder ${{{e.args[0]}}} in {value!r}")
    if isinstance(value, list):
        return [_substitute(v, places) for v in value]
    if isinstance(value, dict):
        return {k: _substitute(v, places) for k, v in value.items()}
    return value


def _partition(spec):
    files = []
    for f in spec.get("files", []):
        # An optional file that was not built (an archive another part of the tree makes) is
        # left out of the disk rather than failing it.
        if f.get("optional") and "from" in f and not os.path.isfile(f["from"]):
            print(f"note: optional file {f['from']} not found, {f.get('to')} left out", flush=True)
            continue
        if "to" not in f or ("from" in f) == ("text" in f):
            raise ScenarioError(f"file entry {f} needs 'to' and one of 'from' or 'text'")
        files.append(FileCopy(to=f["to"], source=f.get("from"),
                              data=f["text"].encode() if "text" in f else None))
    raw = []
    for r in spec.get("raw", []):
        if "from" not in r:
            raise ScenarioError(f"raw entry {r} needs 'from'")
        raw.append(RawRegion(source=r["from"], offset=int(r.get("offset", 0))))
    if raw and (files or spec.get("directories")):
        raise ScenarioError(f"partition {spec['name']!r}: raw regions and files do not mix")
    return Partition(name=spec["name"], size_mib=int(spec.get("size_mib", 40)), type=spec.get("type", "data"),
                     label=spec.get("label"), fat_bits=spec.get("fat"),
                     directories=list(spec.get("directories", [])), files=files, raw=raw)


def _attach_settings(partitions, lines):
    """Puts platform.cfg beside the loader on the first EFI system partition."""
    esp = next((p for p in partitions if p.type == "esp"), None)
    if esp is None:
        raise ScenarioError("platform_cfg needs a partition of type esp")
    esp.files.append(FileCopy(to=SETTINGS_PATH, data=("\n".join(lines) + "\n").encode()))


def firmwares(raw, path):
    """The firmware profiles a scenario's JSON runs on, its own first."""
    if "firmwares" in raw and "firmware" in raw:
        raise ScenarioError(f"{path}: give either 'firmware' or 'firmwares'")
    names = raw.get("firmwares", [raw.get("firmware", firmware.DEFAULT)])
    if not isinstance(names, list) or not names or len(set(names)) != len(names):
        raise ScenarioError(f"{path}: 'firmwares' must be a list of distinct profile names")
    for fw in names + list(raw.get("per_firmware", {})):
        if fw not in firmware.PROFILES:
            raise ScenarioError(f"{path}: unknown firmware {fw!r} (known: {', '.join(firmware.PROFILES)})")
    return names


def run_name(case, firmware_name, own):
    return case if firmware_name == own else f"{firmware_name}-{case}"


# Keys a per_firmware block may change; a misspelt one would otherwise change nothing.
OVERRIDABLE = {"description", "partitions", "platform_cfg", "expect", "end_marker", "timeout", "memory_mib",
               "qemu_args", "prepare", "screens", "boots", "generate", "input"}
EXPECT_KEYS = {"in_order", "absent", "qemu_exit", "files", "pixels", "raw", "variables", "qemu_shutdown"}


def _for_firmware(raw, firmware_name, path):
    """The scenario as it stands on the firmware: its per_firmware keys laid over the rest."""
    for name, block in raw.get("per_firmware", {}).items():
        unknown = sorted(set(block) - OVERRIDABLE) + sorted(set(block.get("expect", {})) - EXPECT_KEYS)
        if unknown:
            raise ScenarioError(f"{path}: per_firmware {name!r} cannot change {', '.join(unknown)}")
    changes = raw.get("per_firmware", {}).get(firmware_name, {})
    merged = {k: v for k, v in raw.items() if k != "per_firmware"}
    for key, value in changes.items():
        if key == "expect":
            merged["expect"] = {**merged.get("expect", {}), **value}
        else:
            merged[key] = value
    return merged


def load(name, uefi_dir, loader=None, hearth=None, host_dir=None, work_dir=None, firmware_name=None,
         out_root=None):
    """Loads the scenario NAME as it runs on firmware_name (default: its own). Without
    work_dir the prepared files go to out_root/RUN/prepared."""
    path = os.path.join(CASES_DIR, name + ".json")
    if not os.path.isfile(path):
        raise ScenarioError(f"no scenario {name!r} (known: {', '.join(list_names())})")
    with open(path) as f:
        raw = json.load(f)
    own_firmwares = firmwares(raw, path)
    firmware_name = firmware_name or own_firmwares[0]
    if firmware_name not in firmware.PROFILES:
        raise ScenarioError(f"unknown firmware {firmware_name!r} (known: {', '.join(firmware.PROFILES)})")
    case, name = name, run_name(name, firmware_name, own_firmwares[0])
    raw = _for_firmware(raw, firmware_name, path)
    if work_dir is None and out_root:
        work_dir = os.path.join(out_root, name, "prepared")
    places = {
        "uefi": uefi_dir,
        "loader": loader or os.path.join(uefi_dir, "BOOTX64.EFI"),
        "hearth": hearth or os.path.join(uefi_dir, "hearth.efi"),
        "cases": CASES_DIR,
        "host": host_dir or os.path.join(os.path.dirname(uefi_dir), "host"),
        "work": work_dir or os.path.join(os.path.dirname(uefi_dir), "scenarios", name, "prepared"),
        **generated.places(name),
    }
    raw = _substitute(raw, places)
    partitions = [_partition(p) for p in raw.get("partitions", [])]
    if not partitions:
        raise ScenarioError(f"{path}: no partitions")
    if "platform_cfg" in raw:
        _attach_settings(partitions, raw["platform_cfg"])
    expect = raw.get("expect", {})
    return Scenario(
        name=name,
        case=case,
        firmwares=own_firmwares,
        description=raw.get("description", ""),
        partitions=partitions,
        end_marker=raw.get("end_marker", DEFAULT_END_MARKER),
        timeout=float(raw.get("timeout", 180)),
        expect=Expectations(in_order=expect.get("in_order", []), absent=expect.get("absent", []),
                            qemu_exit=expect.get("qemu_exit"), files=expect.get("files", []),
                            pixels=expect.get("pixels", []), raw=expect.get("raw", []),
                            variables=expect.get("variables", []), qemu_shutdown=expect.get("qemu_shutdown")),
        memory_mib=int(raw.get("memory_mib", 2048)),
        qemu_args=raw.get("qemu_args", []),
        prepare=raw.get("prepare", []),
        host_dir=places["host"],
        screens=raw.get("screens", []),
        boots=raw.get("boots", []),
        base_settings=raw.get("platform_cfg", []),
        work_dir=places["work"],
        generate=raw.get("generate", []),
        firmware=firmware_name,
        input=raw.get("input", []),
        needs=list(raw.get("needs", [])),
    )


def required_files(scenario):
    """Host files the scenario copies into its disk image."""
    files = [f.source for p in scenario.partitions for f in p.files
             if f.source and not generated.is_generated(f.source, scenario.name)]
    return (files + generated.images_needed(scenario.generate, scenario.name)
            + generated.tools_needed(scenario.generate))
