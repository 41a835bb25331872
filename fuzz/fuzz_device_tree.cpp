// Two targets in one: the input as a flattened tree for the host decoder (whatever it accepts
// must encode back to the same bytes), and the input as a script of tree operations for the
// loader's builder (whatever it builds must flatten to its counted size, decode to the same
// tree and free without a leak).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tools/lib/device_tree_decode.h"
#include "tools/lib/device_tree_mirror.h"

namespace {

void Check(bool ok, int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "invariant at line %d broken\n", line);
  std::abort();
}

void FuzzDecoder(const uint8_t* data, size_t size) {
  DecodedDeviceTreeNode root;
  std::string error;
  if (!DecodeDeviceTree(data, size, &root, &error)) {
    Check(!error.empty());
    return;
  }
  Check(EncodeDeviceTree(root) == std::vector<uint8_t>(data, data + size));
  DeviceTreeListing(root);
  DeviceTreeJson(root);
}

// Paths and names come from small alphabets so that lookups often hit existing nodes.
const char* const kNames[] = {"name", "a", "compatible", "0123456789012345678901234567890",
                              "01234567890123456789012345678901", "x/y", ""};

void RunScript(const uint8_t* data, size_t size) {
  size_t at = 0;
  auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  while (at < size) {
    uint8_t op = next();
    char path[16];
    size_t length = op >> 4;
    for (size_t i = 0; i < length; ++i) path[i] = "/ab/c//d"[next() % 8];
    path[length] = '\0';
    DeviceTreeNode* node = DeviceTreeFindNode(path, op & 1);
    if (!node) continue;
    const char* name = kNames[next() % 7];
    uint8_t value_length = next();
    const uint8_t* value = at + value_length <= size ? data + at : nullptr;
    DeviceTreeAddProperty(node, name, value_length, value, op & 2);
    if (op & 4) DeviceTreeCreateNode(node, path);
  }
}

void FuzzBuilder(const uint8_t* data, size_t size) {
  TestFirmware fw;
  PoolFree(PoolAllocate(1));  // the tracker's first tag block, so failures below hit the tree
  // Tracked allocations, not firmware blocks: a big tree makes the tracker grow its own tags.
  UINTN before = TrackedAllocationCount();
  if (size > 1 && data[0] == 0xFF) fw.FailNthAllocation(data[1] % 32 + 1);
  if (DeviceTreeInit() == EFI_SUCCESS) {
    RunScript(data, size);
    fw.FailNthAllocation(0);
    UINT32 flat_size = 0;
    Check(DeviceTreeFlattenedSize(&flat_size) == EFI_SUCCESS);
    std::vector<uint8_t> flat(flat_size);
    UINT32 written = 0;
    Check(DeviceTreeFlattenInto(flat.data(), flat_size, &written) == EFI_SUCCESS && written == flat_size);
    DecodedDeviceTreeNode decoded;
    std::string error;
    Check(DecodeDeviceTree(flat.data(), flat.size(), &decoded, &error));
    Check(decoded == MirrorDeviceTree(DeviceTreeRoot()));
  }
  DeviceTreeFree();
  Check(TrackedAllocationCount() == before);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzDecoder(data, size);
  FuzzBuilder(data, size);
  return 0;
}
