"""Builds a GPT disk image whose partitions are FAT file systems filled from host files.

Uses sfdisk for the partition table, mkfs.fat --offset to format each partition in place and
mtools (mmd, mcopy with -i IMAGE@@OFFSET) to fill it, so no loop devices or root are needed.
"""

import os
import subprocess
from dataclasses import dataclass, field

SECTOR = 512
ALIGN_SECTORS = 2048  # 1 MiB: the usual first-partition offset and partition alignment

# GPT partition types by a short name; any other value is taken as a GUID.
PARTITION_TYPES = {
    "esp": "C12A7328-F81F-11D2-BA4B-00A0C93EC93B",
    "data": "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7",
}


class DiskImageError(Exception):
    pass


@dataclass
class FileCopy:
    to: str                  # path inside the partition, "/"-separated
    source: str = None       # a host file, or
    data: bytes = None       # bytes to write


@dataclass
class RawRegion:
    source: str              # a host file whose bytes are written as they are
    offset: int = 0          # bytes from the partition's start; negative: back from its end


@dataclass
class Partition:
    name: str
    size_mib: int
    type: str = "data"
    label: str = None
    fat_bits: int = None     # 12, 16 or 32; None lets mkfs.fat choose
    directories: list = field(default_factory=list)
    files: list = field(default_factory=list)  # FileCopy
    raw: list = field(default_factory=list)    # RawRegion: a partition with any is not formatted


def _run(argv, **kwargs):
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    result = subprocess.run(argv, capture_output=True, text=True, env=env, **kwargs)
    if result.returncode != 0:
        raise DiskImageError(f"{' '.join(argv)} failed ({result.returncode}): {result.stderr.strip()}")
    return result


def _layout(partitions):
    """Start sector and size in sectors of each partition."""
    start = ALIGN_SECTORS
    placed = []
    for part in partitions:
        sectors = part.size_mib * 1024 * 1024 // SECTOR
        placed.append((start, sectors))
        start += sectors
    total = start + ALIGN_SECTORS  # room for the backup GPT
    return placed, total


def _partition_table(partitions, placed):
    lines = ["label: gpt", "unit: sectors", ""]
    for part, (start, sectors) in zip(partitions, placed):
        type_guid = PARTITION_TYPES.get(part.type, part.type)
        lines.append(f'start={start}, size={sectors}, type={type_guid}, name="{part.name}"')
    return "\n".join(lines) + "\n"


def _parents(path):
    parts = path.strip("/").split("/")
    return ["/".join(parts[:i]) for i in range(1, len(parts))]


def _fill(image, offset, part, scratch_dir):
    target = f"{image}@@{offset}"
    made = set()

    def make_dir(path):
        if path and path not in made:
            for parent in _parents(path):
                make_dir(parent)
            _run(["mmd", "-i", target, "::/" + path])
            made.add(path)

    for directory in part.directories:
        make_dir(directory.strip("/"))
    for copy in part.files:
        dest = copy.to.strip("/")
        for parent in _parents(dest):
            make_dir(parent)
        source = copy.source
        if copy.data is not None:
            source = os.path.join(scratch_dir, part.name.replace(" ", "_") + "-" + dest.replace("/", "_"))
            with open(source, "wb") as f:
                f.write(copy.data)
        if not os.path.isfile(source):
            raise DiskImageError(f"{source}: no such file (wanted for {part.name}:{dest})")
        _run(["mcopy", "-o", "-i", target, source, "::/" + dest])


def _write_raw(image, start, size, part):
    with open(image, "r+b") as disk:
        for region in part.raw:
            if not os.path.isfile(region.source):
                raise DiskImageError(f"{region.source}: no such file (wanted raw in {part.name})")
            with open(region.source, "rb") as f:
                data = f.read()
            offset = region.offset if region.offset >= 0 else size + region.offset
            if offset < 0 or offset + len(data) > size:
                raise DiskImageError(f"{region.source}: {len(data)} bytes at {region.offset} leave partition "
                                     f"{part.name} ({size} bytes)")
            disk.seek(start + offset)
            disk.write(data)


def build_disk_image(image, partitions, scratch_dir):
    """Writes a fresh image with the given partitions (list of Partition); inline file
    contents are written to scratch_dir first and stay there for inspection."""
    os.makedirs(scratch_dir, exist_ok=True)
    placed, total = _layout(partitions)
    if os.path.exists(image):
        os.remove(image)
    with open(image, "wb") as f:
        f.truncate(total * SECTOR)
    _run(["sfdisk", "--quiet", image], input=_partition_table(partitions, placed))
    for part, (start, sectors) in zip(partitions, placed):
        if part.raw:
            _write_raw(image, start * SECTOR, sectors * SECTOR, part)
            continue
        argv = ["mkfs.fat", f"--offset={start}", "-n", (part.label or part.name)[:11].upper()]
        if part.fat_bits:
            argv += ["-F", str(part.fat_bits)]
        _run(argv + [image, str(sectors * SECTOR // 1024)])
        _fill(image, start * SECTOR, part, scratch_dir)
