"""Pieces of the firmware-scenario runner: disk images, QEMU, serial logs, scenarios."""
