"""Reading the non-volatile variables back from OVMF's variable store file after a run, so
that a scenario can check what the guest left there for the next power-on ("variables" in
"expect"):

    "variables": [
      {"namespace": "boot", "name": "IOHibernateRTCVariables", "attributes": 1,
       "hex": "5441524E01000000..."},
      {"namespace": "boot", "name": "boot-switch-vars", "present": false}
    ]

The store is the firmware volume OVMF keeps in its VARS pflash: a volume header, the
variable store header (authenticated or plain format, told apart by its GUID), then the
variables one after another, each a header, the UCS-2 name and the data, 4-byte aligned. A
variable that was replaced or deleted stays in the store with its state changed; only those
in the added state count.
"""

import struct
import uuid

NAMESPACES = {
    "boot": "7c436110-ab2a-4bbb-a880-fe41995c9f82",
    "vendor": "4d1ede05-38c7-4a6a-9cc6-4bcca8b38c14",
    "global": "8be4df61-93ca-11d2-aa0d-00e098032b8c",
}
_AUTHENTICATED_STORE = uuid.UUID("aaf32c78-947b-439a-a180-2e144ec37792")
_PLAIN_STORE = uuid.UUID("ddcf3616-3275-4164-98b6-fe85707ffe7d")
_VOLUME_SIGNATURE = b"_FVH"
_STORE_HEADER_SIZE = 28  # GUID, size, format, state, two reserved fields
_START_ID = 0x55AA
_STATE_ADDED = 0x3F
_STATE_IN_DELETED_TRANSITION = 0xFE  # still valid while the replacement is being written


class VarsError(Exception):
    pass


def _guid(raw):
    return str(uuid.UUID(bytes_le=bytes(raw)))


def read_store(path):
    """{(namespace GUID text, name): (attributes, data)} of the variables in the added state."""
    with open(path, "rb") as f:
        data = f.read()
    if data[40:44] != _VOLUME_SIGNATURE:
        raise VarsError(f"{path}: no firmware volume header")
    header_length = struct.unpack_from("<H", data, 48)[0]
    store_at = header_length
    if store_at + _STORE_HEADER_SIZE > len(data):
        raise VarsError(f"{path}: volume header runs past the file")
    kind = uuid.UUID(bytes_le=data[store_at:store_at + 16])
    if kind == _AUTHENTICATED_STORE:
        # StartId, State, reserved, Attributes, MonotonicCount, TimeStamp, PubKeyIndex, NameSize, DataSize
        var_header, sizes_at = 60, 36
    elif kind == _PLAIN_STORE:
        var_header, sizes_at = 32, 8  # StartId, State, reserved, Attributes, NameSize, DataSize
    else:
        raise VarsError(f"{path}: unknown variable store format {kind}")
    store_size = struct.unpack_from("<I", data, store_at + 16)[0]
    end = min(len(data), store_at + store_size)
    pos = store_at + _STORE_HEADER_SIZE
    found = {}
    while pos + var_header <= end:
        start_id, state, _, attributes = struct.unpack_from("<HBBI", data, pos)
        if start_id != _START_ID:
            break
        name_size, data_size = struct.unpack_from("<II", data, pos + sizes_at)
        guid_at = pos + sizes_at + 8
        name_at = guid_at + 16
        value_at = name_at + name_size
        next_pos = (value_at + data_size + 3) & ~3
        if next_pos > end or name_size % 2:
            raise VarsError(f"{path}: variable at 0x{pos:x} runs past the store")
        if state in (_STATE_ADDED, _STATE_ADDED & _STATE_IN_DELETED_TRANSITION):
            name = data[name_at:name_at + name_size].decode("utf-16-le").rstrip("\0")
            found[(_guid(data[guid_at:guid_at + 16]), name)] = (attributes, data[value_at:value_at + data_size])
        pos = next_pos
    return found


def check(vars_path, expectations):
    """Failure messages for the expected variables (empty when all hold)."""
    if not expectations:
        return []
    if not vars_path:
        return ["variables: this firmware keeps no variable store file"]
    try:
        store = read_store(vars_path)
    except (OSError, VarsError, UnicodeDecodeError) as e:
        return [f"variables: {e}"]
    failures = []
    for want in expectations:
        namespace = NAMESPACES.get(want.get("namespace", "boot"), want.get("namespace", "").lower().strip("{}"))
        name = want["name"]
        entry = store.get((namespace, name))
        if not want.get("present", True):
            if entry is not None:
                failures.append(f"variable {name} is in the store ({len(entry[1])} bytes), expected absent")
            continue
        if entry is None:
            failures.append(f"variable {name} ({namespace}) is not in the store")
            continue
        attributes, value = entry
        if "attributes" in want and attributes != int(want["attributes"]):
            failures.append(f"variable {name}: attributes 0x{attributes:x}, expected 0x{int(want['attributes']):x}")
        if "hex" in want and value != bytes.fromhex(want["hex"]):
            failures.append(f"variable {name}: {value.hex().upper()}, expected {want['hex'].upper()}")
        if "size" in want and len(value) != int(want["size"]):
            failures.append(f"variable {name}: {len(value)} bytes, expected {want['size']}")
    return failures
