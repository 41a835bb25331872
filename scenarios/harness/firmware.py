"""The firmware a scenario boots on, chosen by the scenario's "firmware" key.

Each profile says how QEMU's machine is set up for it, which firmware files it needs and
the QEMU arguments that give the firmware to the machine. A new firmware is one more entry
in PROFILES.
"""

import os
import shutil
from dataclasses import dataclass, field

DEFAULT = "ovmf"


@dataclass
class Profile:
    description: str
    machine: str                 # QEMU's -machine value
    code: str                    # firmware code: read-only pflash, or the -bios ROM
    package: str                 # the Debian package that has the firmware files
    vars_template: str = None    # variable store copied fresh for every run; None: kept in memory
    bios: bool = False           # code is given as -bios instead of pflash
    disk_on_ide: bool = False    # the disk on the AHCI port instead of QEMU's default drive
    qemu_args: list = field(default_factory=list)
    needs: list = field(default_factory=list)  # (path, Debian package) beyond code and vars

    def missing(self):
        """Messages for what this machine lacks to boot the profile."""
        wanted = [(self.code, self.package)] + self.needs
        if self.vars_template:
            wanted.append((self.vars_template, self.package))
        return [f"{path} not found (Debian package {package})" for path, package in wanted
                if not os.path.isfile(path)]

    def argv(self, vars_file, disk):
        """QEMU arguments for the machine, the firmware (with the run's own variable store) and
        the disk."""
        args = ["-machine", self.machine, *self.qemu_args]
        if self.bios:
            args += ["-bios", self.code]
        else:
            args += ["-drive", f"if=pflash,format=raw,unit=0,readonly=on,file={self.code}",
                     "-drive", f"if=pflash,format=raw,unit=1,file={vars_file}"]
        if self.disk_on_ide:
            args += ["-drive", f"if=none,id=d0,format=raw,file={disk}", "-device", "ide-hd,drive=d0,bus=ide.0"]
        else:
            args += ["-drive", f"format=raw,file={disk}"]
        return args

    def fresh_vars(self, vars_file):
        if self.vars_template:
            shutil.copyfile(self.vars_template, vars_file)  # earlier runs' variables must not leak in


# The test key and certificate that Debian's enforcing OVMF trusts (in PK, KEK and db); the
# key's password is "snakeoil".
SNAKEOIL_KEY = "/usr/share/ovmf/PkKek-1-snakeoil.key"
SNAKEOIL_CERT = "/usr/share/ovmf/PkKek-1-snakeoil.pem"
SNAKEOIL_PASSWORD = "snakeoil"

PROFILES = {
    "ovmf": Profile(
        description="OVMF without Secure Boot",
        machine="q35,accel=tcg",
        code="/usr/share/OVMF/OVMF_CODE_4M.fd",
        package="ovmf",
        vars_template="/usr/share/OVMF/OVMF_VARS_4M.fd",
    ),
    "ovmf-secure": Profile(
        description="OVMF enforcing Secure Boot, with Debian's test certificate enrolled",
        # The variable store is guarded by system management mode, and only secure-world
        # code may write the flash.
        machine="q35,smm=on,accel=tcg",
        code="/usr/share/OVMF/OVMF_CODE_4M.snakeoil.fd",
        package="ovmf",
        vars_template="/usr/share/OVMF/OVMF_VARS_4M.snakeoil.fd",
        qemu_args=["-global", "driver=cfi.pflash01,property=secure,value=on"],
        needs=[(SNAKEOIL_KEY, "ovmf"), (SNAKEOIL_CERT, "ovmf")],
    ),
    # U-Boot's UEFI keeps its variables in memory; its distro boot finds the disk on the AHCI
    # port and starts \EFI\BOOT\BOOTX64.EFI.
    "uboot": Profile(
        description="U-Boot's UEFI",
        machine="q35,accel=tcg",
        code="/usr/lib/u-boot/qemu-x86_64/u-boot.rom",
        package="u-boot-qemu",
        bios=True,
        disk_on_ide=True,
    ),
}


def profile(name):
    """The profile called name; KeyError for an unknown one."""
    return PROFILES[name]
