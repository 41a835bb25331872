#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/device_path_build.h"
#include "diag/device_path_text.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tests/diag/text_helpers.h"

namespace {

std::vector<uint8_t> Bytes(const EFI_DEVICE_PATH_PROTOCOL* path, size_t size) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(path);
  return std::vector<uint8_t>(p, p + size);
}

TEST(AppendFilePathNode, WithoutADevicePathReturnsTheNodeAndAnEnd) {
  TestFirmware fw;
  EFI_DEVICE_PATH_PROTOCOL* node = AppendFilePathNode(nullptr, u"\\A");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(Bytes(node, 14), (std::vector<uint8_t>{4, 4, 10, 0, '\\', 0, 'A', 0, 0, 0, 0x7F, 0xFF, 4, 0}));
  PoolFree(node);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST(AppendFilePathNode, AppendsBeforeTheEndOfTheDevicePath) {
  TestFirmware fw;
  auto device = Path({Node(1, 1, {2, 0x1F}), EndNode()});
  EFI_DEVICE_PATH_PROTOCOL* path =
      AppendFilePathNode(reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(device.data()), u"\\EFI\\loader.efi");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(DevicePathPayloadSize(path), 6u + 4u + 32u);
  CHAR16* text = DevicePathToText(path);
  EXPECT_EQ(Narrow(text), "Pci(1F|2)/\\EFI\\loader.efi");
  PoolFree(text);
  PoolFree(path);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST(AppendFilePathNode, NamesTooLongForANodeAreRefused) {
  TestFirmware fw;
  std::u16string longest(32764, u'a');  // 4 + 32765 * 2 = 65534 bytes
  EFI_DEVICE_PATH_PROTOCOL* node = AppendFilePathNode(nullptr, longest.c_str());
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(DevicePathNodeLength(node), 65534u);
  PoolFree(node);
  std::u16string too_long(32765, u'a');
  EXPECT_EQ(AppendFilePathNode(nullptr, too_long.c_str()), nullptr);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST(DevicePathWalk, MalformedNodesEndThePath) {
  const struct {
    std::vector<uint8_t> path;
    size_t payload;
  } cases[] = {
      {Path({Node(1, 1, {0, 0}), EndNode()}), 6},
      {Path({Node(1, 1, {0, 0}), {1, 1, 0, 0}, Node(1, 1, {0, 0}), EndNode()}), 6},
      {Path({Node(1, 1, {0, 0}), {0xFF, 0xFF, 4, 0}, Node(1, 1, {0, 0})}), 6},  // end with bit 7 set
      {Path({Node(1, 1, {0, 0}), {1, 1, 9, 0}}), 6},
      {{}, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DevicePathPayloadSize(reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(c.path.data()), c.path.size()),
              c.payload);
  }
  EXPECT_EQ(DevicePathPayloadSize(nullptr), 0u);
}

}  // namespace
