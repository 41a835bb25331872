#!/usr/bin/python3
"""The variable-store reader on small made-up stores: which variables count, what the checks
say, and damaged stores. ctest runs it as firmware-vars."""

import os
import struct
import sys
import tempfile
import unittest
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from harness import firmware_vars  # noqa: E402

BOOT = uuid.UUID(firmware_vars.NAMESPACES["boot"])
ADDED, DELETED, IN_DELETED_TRANSITION = 0x3F, 0x3D, 0x3E
STORE_SIZE = 0x1000


def variable(name, value, attributes=7, state=ADDED, guid=BOOT):
    encoded = (name + "\0").encode("utf-16-le")
    header = struct.pack("<HBBIQ16sIII", 0x55AA, state, 0, attributes, 0, bytes(16), 0, len(encoded), len(value))
    body = header + guid.bytes_le + encoded + value
    return body + bytes(-len(body) % 4)


def store(*variables, kind="aaf32c78-947b-439a-a180-2e144ec37792"):
    volume = bytearray(72)
    volume[40:44] = b"_FVH"
    struct.pack_into("<H", volume, 48, len(volume))
    header = uuid.UUID(kind).bytes_le + struct.pack("<IBBHI", STORE_SIZE, 0x5A, 0xFE, 0, 0)
    body = header + b"".join(variables)
    return bytes(volume) + body + b"\xff" * (STORE_SIZE - len(body))


class FirmwareVarsTest(unittest.TestCase):
    def write(self, data):
        f = tempfile.NamedTemporaryFile(suffix=".fd", delete=False)
        f.write(data)
        f.close()
        self.addCleanup(os.remove, f.name)
        return f.name

    def test_only_added_variables_count(self):
        path = self.write(store(
            variable("boot-switch-vars", b"old", state=DELETED),
            variable("IOHibernateRTCVariables", b"stale", state=DELETED),
            variable("IOHibernateRTCVariables", b"TARN", attributes=1),
            variable("boot-args", b"-v", state=IN_DELETED_TRANSITION)))
        found = firmware_vars.read_store(path)
        self.assertEqual(found[(str(BOOT), "IOHibernateRTCVariables")], (1, b"TARN"))
        self.assertEqual(found[(str(BOOT), "boot-args")], (7, b"-v"))
        self.assertNotIn((str(BOOT), "boot-switch-vars"), found)

    def test_checks_and_their_messages(self):
        path = self.write(store(variable("IOHibernateRTCVariables", bytes.fromhex("5441524E"), attributes=7),
                                variable("boot-args", b"-v")))
        self.assertEqual(firmware_vars.check(path, [
            {"name": "IOHibernateRTCVariables", "attributes": 7, "hex": "5441524e", "size": 4},
            {"namespace": "boot", "name": "boot-switch-vars", "present": False},
            {"namespace": str(BOOT).upper(), "name": "boot-args"}]), [])
        failures = firmware_vars.check(path, [
            {"name": "IOHibernateRTCVariables", "attributes": 1, "hex": "00"},
            {"name": "boot-args", "present": False},
            {"namespace": "global", "name": "boot-args"}])
        self.assertEqual(len(failures), 4, failures)
        self.assertIn("attributes 0x7, expected 0x1", failures[0])
        self.assertIn("5441524E, expected 00", failures[1])
        self.assertIn("boot-args is in the store", failures[2])
        self.assertIn("not in the store", failures[3])

    def test_damaged_stores_fail_clearly(self):
        runaway = bytearray(variable("boot-args", b"-v"))
        struct.pack_into("<I", runaway, 40, 0x10000)  # DataSize past the store
        cases = {
            "no firmware volume header": b"\0" * 256,
            "unknown variable store format": store(kind="00000000-0000-0000-0000-000000000001"),
            "runs past the store": store(bytes(runaway)),
        }
        for message, data in cases.items():
            with self.subTest(message):
                failures = firmware_vars.check(self.write(data), [{"name": "boot-args"}])
                self.assertEqual(len(failures), 1)
                self.assertIn(message, failures[0])
        self.assertEqual(firmware_vars.check(None, [{"name": "x"}]),
                         ["variables: this firmware keeps no variable store file"])


if __name__ == "__main__":
    unittest.main()
