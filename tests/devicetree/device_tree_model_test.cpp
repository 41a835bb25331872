#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "devicetree/device_tree.h"
#include "testfw/test_firmware.h"

namespace {

std::vector<std::string> ChildNames(const DeviceTreeNode* node) {
  std::vector<std::string> names;
  for (const DeviceTreeNode* c = node->first_child; c; c = c->next_sibling) names.push_back(DeviceTreeNodeName(c));
  return names;
}

std::vector<std::string> PropertyNames(const DeviceTreeNode* node) {
  std::vector<std::string> names;
  for (const DeviceTreeProperty* p = node->first_property; p; p = p->next) names.push_back(p->name);
  return names;
}

UINT32 FlattenedSize() {
  UINT32 size = 0;
  EXPECT_EQ(DeviceTreeFlattenedSize(&size), EFI_SUCCESS);
  return size;
}

class DeviceTreeModel : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS); }
  TestFirmware fw;
};

TEST_F(DeviceTreeModel, RootIsNamedSlashAndFoundByEmptyAndSlashPaths) {
  DeviceTreeNode* root = DeviceTreeRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(DeviceTreeNodeName(root), "/");
  const DeviceTreeProperty* name = DeviceTreeFindProperty(root, "name");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->length, 2u);
  EXPECT_TRUE(name->copied);
  EXPECT_EQ(DeviceTreeFindNode("/", false), root);
  EXPECT_EQ(DeviceTreeFindNode("", false), root);
  EXPECT_EQ(DeviceTreeFindNode("///", true), root);
  EXPECT_EQ(root->first_child, nullptr);
}

TEST_F(DeviceTreeModel, TwoLevelPathIsCreatedAndFoundAgainWithDoubledSlashes) {
  EXPECT_EQ(DeviceTreeFindNode("/efi/platform", false), nullptr);
  DeviceTreeNode* platform = DeviceTreeFindNode("/efi/platform", true);
  ASSERT_NE(platform, nullptr);
  EXPECT_STREQ(DeviceTreeNodeName(platform), "platform");
  DeviceTreeNode* efi = DeviceTreeFindNode("/efi", false);
  ASSERT_NE(efi, nullptr);
  EXPECT_EQ(efi->first_child, platform);
  EXPECT_EQ(DeviceTreeFindNode("//efi//platform/", false), platform);
  EXPECT_EQ(DeviceTreeFindNode("efi/platform", true), platform);
  EXPECT_EQ(ChildNames(DeviceTreeRoot()), std::vector<std::string>{"efi"});
  // Root, efi and platform: three nodes, each with its name.
  EXPECT_EQ(FlattenedSize(), 3 * 8 + 3 * 36 + 4 + 4 + 12);
}

TEST_F(DeviceTreeModel, PathComponentsMatchWholeNamesOnly) {
  ASSERT_NE(DeviceTreeFindNode("/chosen", true), nullptr);
  EXPECT_EQ(DeviceTreeFindNode("/chose", false), nullptr);
  EXPECT_EQ(DeviceTreeFindNode("/chosenx", false), nullptr);
  EXPECT_EQ(DeviceTreeFindNode("/Chosen", false), nullptr);
}

TEST_F(DeviceTreeModel, ComponentsUpToSixtyTwoCharactersAreAccepted) {
  std::string longest(62, 'a');
  DeviceTreeNode* node = DeviceTreeFindNode(("/x/" + longest).c_str(), true);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(DeviceTreeNodeName(node), longest);
  EXPECT_EQ(DeviceTreeFindNode(("/x/" + longest + "b").c_str(), true), nullptr);
  EXPECT_EQ(ChildNames(DeviceTreeFindNode("/x", false)), std::vector<std::string>{longest});
}

TEST_F(DeviceTreeModel, ChildrenAreListedNewestFirst) {
  DeviceTreeNode* root = DeviceTreeRoot();
  ASSERT_NE(DeviceTreeCreateNode(root, "a"), nullptr);
  ASSERT_NE(DeviceTreeCreateNode(root, "b"), nullptr);
  ASSERT_NE(DeviceTreeFindNode("/c", true), nullptr);
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"c", "b", "a"}));
}

TEST_F(DeviceTreeModel, FirstValueOfANameWins) {
  DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", true);
  uint32_t first = 0x11111111;
  uint8_t second[7] = {1, 2, 3, 4, 5, 6, 7};
  UINT32 before = FlattenedSize();
  DeviceTreeProperty* added = DeviceTreeAddProperty(chosen, "value", 4, &first, true);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(DeviceTreeAddProperty(chosen, "value", sizeof(second), second, true), nullptr);
  EXPECT_EQ(DeviceTreeAddProperty(chosen, "name", 4, "xyz", true), nullptr);
  EXPECT_EQ(DeviceTreeFindProperty(chosen, "value"), added);
  EXPECT_EQ(added->length, 4u);
  EXPECT_EQ(std::memcmp(added->value, &first, 4), 0);
  EXPECT_STREQ(DeviceTreeNodeName(chosen), "chosen");
  EXPECT_EQ(FlattenedSize(), before + 36 + 4);
}

TEST_F(DeviceTreeModel, PropertiesKeepTheOrderTheyWereAddedIn) {
  DeviceTreeNode* node = DeviceTreeFindNode("/n", true);
  for (const char* name : {"zeta", "alpha", "mid"}) ASSERT_NE(DeviceTreeAddProperty(node, name, 0, nullptr, false), nullptr);
  EXPECT_EQ(PropertyNames(node), (std::vector<std::string>{"name", "zeta", "alpha", "mid"}));
  EXPECT_EQ(node->last_property, DeviceTreeFindProperty(node, "mid"));
}

TEST_F(DeviceTreeModel, CopiedValuesAreIndependentOfTheCallersBuffer) {
  DeviceTreeNode* node = DeviceTreeRoot();
  char text[] = "original";
  DeviceTreeProperty* copied = DeviceTreeAddProperty(node, "copied", sizeof(text), text, true);
  DeviceTreeProperty* borrowed = DeviceTreeAddProperty(node, "borrowed", sizeof(text), text, false);
  ASSERT_NE(copied, nullptr);
  ASSERT_NE(borrowed, nullptr);
  text[0] = 'X';
  EXPECT_STREQ(static_cast<const char*>(copied->value), "original");
  EXPECT_EQ(borrowed->value, text);
  EXPECT_FALSE(borrowed->copied);
}

TEST_F(DeviceTreeModel, PropertyNamesMustFitTheThirtyTwoByteField) {
  DeviceTreeNode* root = DeviceTreeRoot();
  std::string longest(31, 'n');
  std::string too_long(32, 'n');
  EXPECT_NE(DeviceTreeAddProperty(root, longest.c_str(), 1, "x", true), nullptr);
  UINT32 before = FlattenedSize();
  EXPECT_EQ(DeviceTreeAddProperty(root, too_long.c_str(), 1, "x", true), nullptr);
  EXPECT_EQ(FlattenedSize(), before);
}

TEST_F(DeviceTreeModel, NullArgumentsFindAndAddNothing) {
  EXPECT_EQ(DeviceTreeAddProperty(nullptr, "x", 1, "x", true), nullptr);
  EXPECT_EQ(DeviceTreeAddProperty(DeviceTreeRoot(), nullptr, 1, "x", true), nullptr);
  EXPECT_EQ(DeviceTreeFindProperty(DeviceTreeRoot(), "missing"), nullptr);
  EXPECT_EQ(DeviceTreeFindNode(nullptr, true), nullptr);
  EXPECT_EQ(DeviceTreeCreateNode(DeviceTreeRoot(), nullptr), nullptr);
  EXPECT_STREQ(DeviceTreeNodeName(nullptr), "(null)");
}

TEST_F(DeviceTreeModel, NothingIsFoundOrCreatedWithoutATree) {
  DeviceTreeFree();
  EXPECT_EQ(DeviceTreeRoot(), nullptr);
  EXPECT_EQ(DeviceTreeFindNode("/chosen", true), nullptr);
  UINT32 size = 0;
  EXPECT_EQ(DeviceTreeFlattenedSize(&size), EFI_NOT_READY);
}

TEST_F(DeviceTreeModel, InitialisingAgainStartsAnEmptyTree) {
  ASSERT_NE(DeviceTreeFindNode("/a/b/c", true), nullptr);
  ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
  EXPECT_EQ(DeviceTreeFindNode("/a", false), nullptr);
  EXPECT_EQ(FlattenedSize(), 8u + 36 + 4);
}

TEST_F(DeviceTreeModel, ManyNodesAndPropertiesSpanSeveralBlocks) {
  // More than one block's worth of node slots (127) and property slots (101).
  for (int i = 0; i < 300; ++i) {
    DeviceTreeNode* node = DeviceTreeFindNode(("/many/n" + std::to_string(i)).c_str(), true);
    ASSERT_NE(node, nullptr) << i;
    ASSERT_NE(DeviceTreeAddProperty(node, "index", sizeof(i), &i, true), nullptr);
  }
  for (int i = 0; i < 300; i += 37) {
    const DeviceTreeNode* node = DeviceTreeFindNode(("/many/n" + std::to_string(i)).c_str(), false);
    ASSERT_NE(node, nullptr);
    const DeviceTreeProperty* index = DeviceTreeFindProperty(node, "index");
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(*static_cast<const int*>(index->value), i);
  }
}

}  // namespace
