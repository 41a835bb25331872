#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tools/lib/device_tree_decode.h"
#include "tools/lib/device_tree_mirror.h"

namespace {

std::vector<uint8_t> Flatten() {
  UINT32 size = 0;
  EXPECT_EQ(DeviceTreeFlatten(nullptr, &size), EFI_SUCCESS);
  std::vector<uint8_t> out(size, 0xCC);
  UINT32 written = 0;
  EXPECT_EQ(DeviceTreeFlattenInto(out.data(), size, &written), EFI_SUCCESS);
  EXPECT_EQ(written, size);
  return out;
}

std::vector<uint8_t> Name32(const char* name) {
  std::vector<uint8_t> field(32, 0);
  std::memcpy(field.data(), name, std::strlen(name));
  return field;
}

void Append(std::vector<uint8_t>* out, std::vector<uint8_t> bytes) { out->insert(out->end(), bytes.begin(), bytes.end()); }
std::vector<uint8_t> Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

class DeviceTreeFlattening : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS); }
  TestFirmware fw;
};

TEST_F(DeviceTreeFlattening, WritesTheExactLayout) {
  DeviceTreeNode* root = DeviceTreeRoot();
  ASSERT_NE(DeviceTreeCreateNode(root, "a"), nullptr);
  DeviceTreeNode* b = DeviceTreeCreateNode(root, "b");
  ASSERT_NE(DeviceTreeAddProperty(b, "five", 5, "12345", true), nullptr);
  ASSERT_NE(DeviceTreeAddProperty(b, "zeros", 3, nullptr, false), nullptr);
  ASSERT_NE(DeviceTreeAddProperty(b, "empty", 0, nullptr, true), nullptr);

  std::vector<uint8_t> expected;
  Append(&expected, Le32(1));  // root: its name, two children
  Append(&expected, Le32(2));
  Append(&expected, Name32("name"));
  Append(&expected, Le32(2));
  Append(&expected, {'/', 0, 0, 0});
  Append(&expected, Le32(4));  // b first: children are newest first
  Append(&expected, Le32(0));
  Append(&expected, Name32("name"));
  Append(&expected, Le32(2));
  Append(&expected, {'b', 0, 0, 0});
  Append(&expected, Name32("five"));  // length 5 takes 36 + 8 bytes
  Append(&expected, Le32(5));
  Append(&expected, {'1', '2', '3', '4', '5', 0, 0, 0});
  Append(&expected, Name32("zeros"));  // a null value keeps its length, left zero
  Append(&expected, Le32(3));
  Append(&expected, {0, 0, 0, 0});
  Append(&expected, Name32("empty"));
  Append(&expected, Le32(0));
  Append(&expected, Le32(1));  // a
  Append(&expected, Le32(0));
  Append(&expected, Name32("name"));
  Append(&expected, Le32(2));
  Append(&expected, {'a', 0, 0, 0});
  EXPECT_EQ(Flatten(), expected);
}

TEST_F(DeviceTreeFlattening, SizeIsEightPerNodeThirtySixPerPropertyPlusRoundedValues) {
  DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", true);
  std::vector<std::string> names;  // the tree keeps pointers to the names
  for (UINT32 length = 0; length <= 9; ++length) names.push_back("p" + std::to_string(length));
  for (UINT32 length = 0; length <= 9; ++length) {
    ASSERT_NE(DeviceTreeAddProperty(chosen, names[length].c_str(), length, "abcdefghi", true), nullptr);
  }
  // Rounded lengths 0,4,4,4,4,8,8,8,8,12 plus the names "/" and "chosen".
  UINT32 expected = 2 * 8 + 12 * 36 + (0 + 4 * 4 + 4 * 8 + 12) + 4 + 8;
  UINT32 size = 0;
  ASSERT_EQ(DeviceTreeFlattenedSize(&size), EFI_SUCCESS);
  EXPECT_EQ(size, expected);
  EXPECT_EQ(Flatten().size(), expected);
}

TEST_F(DeviceTreeFlattening, ShortBufferIsRefusedUntouchedAndGivesTheSize) {
  ASSERT_NE(DeviceTreeFindNode("/chosen", true), nullptr);
  UINT32 size = 0;
  ASSERT_EQ(DeviceTreeFlattenedSize(&size), EFI_SUCCESS);
  std::vector<uint8_t> buffer(size, 0xCC);
  UINT32 written = 0;
  EXPECT_EQ(DeviceTreeFlattenInto(buffer.data(), size - 1, &written), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(written, size);
  EXPECT_EQ(buffer, std::vector<uint8_t>(size, 0xCC));
  void* caller = buffer.data();
  UINT32 capacity = size - 4;
  EXPECT_EQ(DeviceTreeFlatten(&caller, &capacity), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(capacity, size);
  capacity = size;
  EXPECT_EQ(DeviceTreeFlatten(&caller, &capacity), EFI_SUCCESS);
  EXPECT_EQ(buffer, Flatten());
}

TEST_F(DeviceTreeFlattening, AllocatesABlockWhenAskedToAndTheCallerFreesIt) {
  ASSERT_NE(DeviceTreeFindNode("/efi/platform", true), nullptr);
  size_t blocks_before = fw.LivePoolBlocks();
  void* block = nullptr;
  UINT32 size = 0;
  ASSERT_EQ(DeviceTreeFlatten(&block, &size), EFI_SUCCESS);
  ASSERT_NE(block, nullptr);
  std::vector<uint8_t> flat(static_cast<uint8_t*>(block), static_cast<uint8_t*>(block) + size);
  EXPECT_EQ(flat, Flatten());
  EXPECT_EQ(fw.LivePoolBlocks(), blocks_before + 1);
  PoolFree(block);
  EXPECT_EQ(fw.LivePoolBlocks(), blocks_before);
}

TEST_F(DeviceTreeFlattening, DecoderReadsBackWhatTheFirmwareBuilt) {
  DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", true);
  DeviceTreeNode* memory_map = DeviceTreeFindNode("/chosen/memory-map", true);
  DeviceTreeNode* platform = DeviceTreeFindNode("/efi/platform", true);
  ASSERT_TRUE(chosen && memory_map && platform);
  uint32_t ram_disk[2] = {0x01200000, 0x00400000};
  uint8_t seed[64];
  for (int i = 0; i < 64; ++i) seed[i] = uint8_t(i * 7);
  ASSERT_NE(DeviceTreeAddProperty(memory_map, "RAMDisk", sizeof(ram_disk), ram_disk, true), nullptr);
  ASSERT_NE(DeviceTreeAddProperty(chosen, "random-seed", sizeof(seed), seed, false), nullptr);
  ASSERT_NE(DeviceTreeAddProperty(chosen, "boot-args", 11, "-v debug=1", true), nullptr);
  ASSERT_NE(DeviceTreeAddProperty(platform, "Model", 6, u"Mod", true), nullptr);
  ASSERT_NE(DeviceTreeAddProperty(DeviceTreeRoot(), "net-boot", 0, nullptr, false), nullptr);
  ASSERT_NE(DeviceTreeAddProperty(DeviceTreeRoot(), "reserved", 13, nullptr, false), nullptr);

  std::vector<uint8_t> flat = Flatten();
  DecodedDeviceTreeNode decoded;
  std::string error;
  ASSERT_TRUE(DecodeDeviceTree(flat.data(), flat.size(), &decoded, &error)) << error;
  EXPECT_EQ(decoded, MirrorDeviceTree(DeviceTreeRoot()));
  EXPECT_EQ(EncodeDeviceTree(decoded), flat);
  ASSERT_EQ(decoded.children.size(), 2u);
  EXPECT_EQ(decoded.children[0].Name(), "efi");
  EXPECT_EQ(decoded.children[1].Name(), "chosen");
  EXPECT_EQ(decoded.Find("reserved")->value, std::vector<uint8_t>(13, 0));
}

}  // namespace
