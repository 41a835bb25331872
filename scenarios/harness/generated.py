"""Files a scenario makes on the host before its disk image is built.

A scenario file may hold a "generate" list; its steps run in order, and their outputs are
copied into partitions like any other host file ("from": "${generated}/NAME"):

    "generate": [
      {"pattern": "${generated}/root.dmg", "size": 2621440, "seed": 7},
      {"hearthtool": ["chunklist", "create", "${generated}/root.dmg", "--key", "${cases}/k.pem"]},
      {"flip_byte": "${generated}/root.dmg", "offset": 1234567}
    ]

- pattern: SIZE deterministic pseudo-random bytes from SEED, written to the path;
- hearthtool: runs build/host/hearthtool with the arguments (the host build's tool);
- flip_byte: inverts the low bit of one byte of an existing file ("xor" gives another mask);
- sign: signs EFI images for Secure Boot with scripts/sign (sbsign, checked with sbverify) and
  writes them under their own names to "out"; "key" and "cert" name the signer, "password"
  the key's password when it is encrypted:
    {"sign": ["${loader}", "${hearth}"], "out": "${generated}",
     "key": "${snakeoil_key}", "cert": "${snakeoil_cert}", "password": "snakeoil"}
- unsigned: copies EFI images to "out" with every signature removed (sbattach), so that a
  scenario gets an unsigned image even from a signed build;
- throwaway_key: makes a new RSA key and self-signed certificate with openssl, PATH.key and
  PATH.pem, that no firmware trusts; nothing secret is kept in the repository;
- db_append: makes the authenticated update that appends a certificate to the firmware's db,
  the way docs/secure-boot.md tells an OS developer (efitools' cert-to-efi-sig-list, then
  sign-efi-sig-list with a key-exchange key):
    {"db_append": "${generated}/stranger.pem", "owner": "GUID", "out": "${generated}/db.auth",
     "kek_key": "${snakeoil_key}", "kek_cert": "${snakeoil_cert}", "password": "snakeoil"}
- write: writes text lines to a file; "{NAME}" in a line becomes the hexadecimal bytes of the
  file that "hex" maps NAME to (for a platform.cfg line "var ... hex:{DB}"):
    {"write": "${generated}/platform.cfg", "lines": [...], "hex": {"DB": "${generated}/db.auth"}}

${generated} is build/scenarios-generated/NAME; ${hearthtool} is the tool's path;
${snakeoil_key} and ${snakeoil_cert} are the test key and certificate that the enforcing
firmware profile "ovmf-secure" trusts (see firmware.py).
"""

import os
import random
import shutil
import subprocess
import tempfile

from . import firmware
from .disk_image import DiskImageError

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
HEARTHTOOL = os.path.join(REPO, "build", "host", "hearthtool")
SIGN_SCRIPT = os.path.join(REPO, "scripts", "sign")
# Programs the signing steps run, with the Debian package that has each.
SIGNING_TOOLS = {"sbsign": "sbsigntool", "sbverify": "sbsigntool", "sbattach": "sbsigntool",
                 "openssl": "openssl"}
ENROLMENT_TOOLS = {"cert-to-efi-sig-list": "efitools", "sign-efi-sig-list": "efitools", "openssl": "openssl"}


class GenerateError(DiskImageError):
    """The disk image's inputs could not be made (reported like a disk image failure)."""


def directory(name):
    return os.path.join(REPO, "build", "scenarios-generated", name)


def places(name):
    """Placeholders the scenario's strings may use for generated files."""
    return {"generated": directory(name), "hearthtool": HEARTHTOOL,
            "snakeoil_key": firmware.SNAKEOIL_KEY, "snakeoil_cert": firmware.SNAKEOIL_CERT}


def is_generated(path, name):
    return os.path.abspath(path).startswith(directory(name) + os.sep)


def tools_needed(steps):
    """Host programs the steps run, so that a missing one skips the scenario."""
    return [HEARTHTOOL] if any("hearthtool" in step for step in steps) else []


def images_needed(steps, name):
    """Host images the signing steps read (the EFI build's output), so that a missing one
    skips the scenario."""
    return [image for step in steps for key in ("sign", "unsigned") for image in step.get(key, [])
            if not is_generated(image, name)]


def missing_programs(steps):
    """Messages for programs on PATH that the steps need and this machine lacks."""
    tools = {}
    if any(k in step for step in steps for k in ("sign", "unsigned", "throwaway_key")):
        tools.update(SIGNING_TOOLS)
    if any("db_append" in step for step in steps):
        tools.update(ENROLMENT_TOOLS)
    return [f"{tool} not found (Debian package {package})" for tool, package in tools.items()
            if not shutil.which(tool)]


def _pattern(step):
    data = random.Random(int(step.get("seed", 1))).randbytes(int(step["size"]))
    with open(step["pattern"], "wb") as f:
        f.write(data)


def _hearthtool(step):
    done = subprocess.run([HEARTHTOOL] + [str(a) for a in step["hearthtool"]], capture_output=True, text=True)
    if done.returncode != 0:
        raise GenerateError(f"hearthtool {' '.join(step['hearthtool'])} failed ({done.returncode}): "
                            f"{done.stderr.strip() or done.stdout.strip()}")


def _flip_byte(step):
    path, offset = step["flip_byte"], int(step["offset"])
    with open(path, "r+b") as f:
        f.seek(offset)
        byte = f.read(1)
        if len(byte) != 1:
            raise GenerateError(f"{path} has no byte at offset {offset}")
        f.seek(offset)
        f.write(bytes([byte[0] ^ int(step.get("xor", 1))]))


def _run(argv, what, env=None):
    done = subprocess.run(argv, capture_output=True, text=True, env=env)
    if done.returncode != 0:
        raise GenerateError(f"{what} failed ({done.returncode}): {done.stderr.strip() or done.stdout.strip()}")


def _sign(step):
    argv = [SIGN_SCRIPT, "--out", step["out"]]
    env = None
    if "password" in step:
        # Through the environment, so the password shows on no command line.
        env = dict(os.environ, HEARTH_SIGN_PASSWORD=str(step["password"]))
        argv += ["--password-from", "env:HEARTH_SIGN_PASSWORD"]
    _run(argv + [step["key"], step["cert"]] + list(step["sign"]), f"signing {', '.join(step['sign'])}", env)


def _unsigned(step):
    os.makedirs(step["out"], exist_ok=True)
    for image in step["unsigned"]:
        target = os.path.join(step["out"], os.path.basename(image))
        shutil.copyfile(image, target)
        for _ in range(8):  # sbattach removes one signature a call and fails once none is left
            if subprocess.run(["sbattach", "--remove", target], capture_output=True).returncode != 0:
                break


def _throwaway_key(step):
    base = step["throwaway_key"]
    _run(["openssl", "req", "-new", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "1",
          "-subj", "/CN=hearth scenario key that no firmware trusts",
          "-keyout", base + ".key", "-out", base + ".pem"], "making a throwaway key")


def _db_append(step):
    esl = step["out"] + ".esl"
    _run(["cert-to-efi-sig-list", "-g", step["owner"], step["db_append"], esl], "cert-to-efi-sig-list")
    # sign-efi-sig-list cannot take a password either: the key goes decrypted into a private
    # temporary file.
    with tempfile.TemporaryDirectory() as scratch:
        kek_key = os.path.join(scratch, "kek.key")
        env = dict(os.environ, HEARTH_SIGN_PASSWORD=str(step.get("password", "")))
        _run(["openssl", "pkey", "-in", step["kek_key"], "-passin", "env:HEARTH_SIGN_PASSWORD", "-out", kek_key],
             "decrypting the key-exchange key", env)
        _run(["sign-efi-sig-list", "-a", "-g", step["owner"], "-k", kek_key, "-c", step["kek_cert"],
              "db", esl, step["out"]], "sign-efi-sig-list")


def _write(step):
    text = "\n".join(step["lines"]) + "\n"
    for name, path in step.get("hex", {}).items():
        with open(path, "rb") as f:
            text = text.replace("{" + name + "}", f.read().hex().upper())
    with open(step["write"], "w") as f:
        f.write(text)


def _copy(step):
    """{"copy": {"RELATIVE/TARGET": "SOURCE", ...}, "to": DIR}: a folder of files (a TFTP root)."""
    for target, source in step["copy"].items():
        path = os.path.join(step["to"], target)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copyfile(source, path)


STEPS = {"copy": _copy, "pattern": _pattern, "hearthtool": _hearthtool, "flip_byte": _flip_byte, "sign": _sign,
         "unsigned": _unsigned, "throwaway_key": _throwaway_key, "db_append": _db_append, "write": _write}


def prepare(name, steps):
    """Runs the steps into a fresh generated folder for the scenario."""
    if not steps:
        return
    folder = directory(name)
    os.makedirs(folder, exist_ok=True)
    for entry in os.listdir(folder):
        path = os.path.join(folder, entry)
        if os.path.isdir(path):
            shutil.rmtree(path)  # a folder a "copy" step filled
        else:
            os.remove(path)
    for step in steps:
        kinds = [k for k in STEPS if k in step]
        if len(kinds) != 1:
            raise GenerateError(f"generate step {step} needs exactly one of {', '.join(STEPS)}")
        STEPS[kinds[0]](step)
