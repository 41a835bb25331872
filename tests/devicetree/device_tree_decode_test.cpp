#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "devicetree/device_tree.h"
#include "testfw/test_firmware.h"
#include "tools/lib/device_tree_decode.h"

namespace {

DecodedDeviceTreeProperty Text(const std::string& name, const std::string& text) {
  std::vector<uint8_t> value(text.begin(), text.end());
  value.push_back(0);
  return {name, value};
}

// "/" with "chosen" (a text, a 4-byte number and an empty value) and "efi".
DecodedDeviceTreeNode SampleTree() {
  DecodedDeviceTreeNode chosen;
  chosen.properties = {Text("name", "chosen"), Text("boot-args", "-v \"quoted\""), {"adler32", {0x78, 0x56, 0x34, 0x12}},
                       {"net-boot", {}}};
  DecodedDeviceTreeNode efi;
  efi.properties = {Text("name", "efi"), {"firmware-abi", {'E', 'F', 'I', '6', '4', 0}}};
  DecodedDeviceTreeNode root;
  root.properties = {Text("name", "/"), Text("model", "ACPI")};
  root.children = {chosen, efi};
  return root;
}

std::string DecodeError(const std::vector<uint8_t>& data) {
  DecodedDeviceTreeNode root;
  std::string error;
  if (DecodeDeviceTree(data.data(), data.size(), &root, &error)) return "";
  EXPECT_FALSE(error.empty());
  return error;
}

TEST(DeviceTreeDecoder, EveryTruncationIsRejected) {
  std::vector<uint8_t> flat = EncodeDeviceTree(SampleTree());
  ASSERT_EQ(DecodeError(flat), "");
  for (size_t length = 0; length < flat.size(); ++length) {
    // A copy of exactly that length, so that ASan sees any read past its end.
    std::vector<uint8_t> cut(flat.begin(), flat.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_NE(DecodeError(cut), "") << "accepted a tree cut to " << length << " bytes";
  }
}

TEST(DeviceTreeDecoder, MalformedTreesAreRejectedWithTheirReason) {
  std::vector<uint8_t> good = EncodeDeviceTree(SampleTree());
  auto patched = [&](size_t offset, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> out = good;
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
    return out;
  };
  std::vector<uint8_t> trailing = good;
  trailing.push_back(0);
  std::vector<uint8_t> deep;
  for (size_t i = 0; i < kMaxDecodedDeviceTreeDepth + 1; ++i) deep.insert(deep.end(), {0, 0, 0, 0, 1, 0, 0, 0});
  const size_t root_name = 8, name_length = root_name + 32, name_value = name_length + 4;
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    const char* reason;
  } cases[] = {
      {"empty file", {}, "node header at offset 0"},
      {"huge property count", patched(0, {0xFF, 0xFF, 0xFF, 0xFF}), "claims 4294967295 properties"},
      {"huge child count", patched(4, {0xFF, 0xFF, 0xFF, 0x7F}), "children"},
      {"unterminated name", patched(root_name, std::vector<uint8_t>(32, 'x')), "not NUL-terminated"},
      {"junk after a name", patched(root_name + 20, {'x'}), "non-zero padding"},
      {"value past the end", patched(name_length, {0xF0, 0xFF, 0xFF, 0xFF}), "4294967280-byte value"},
      {"junk in value padding", patched(name_value + 3, {'x'}), "non-zero value padding"},
      {"bytes after the root", trailing, "1 unexpected bytes after the root node"},
      {"nesting too deep", deep, "nested deeper than 256 levels"},
  };
  for (const Case& c : cases) {
    std::string error = DecodeError(c.data);
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
  }
}

TEST(DeviceTreeDecoder, ZeroLengthValuesAndNestingAtTheLimitAreFine) {
  std::vector<uint8_t> deep;
  for (size_t i = 0; i + 1 < kMaxDecodedDeviceTreeDepth; ++i) deep.insert(deep.end(), {0, 0, 0, 0, 1, 0, 0, 0});
  deep.insert(deep.end(), {0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(DecodeError(deep), "");
}

TEST(DeviceTreeListing, TextValuesAreQuotedAndTheRestIsHex) {
  std::string expected =
      "/\n"
      "  name = \"/\"\n"
      "  model = \"ACPI\"\n"
      "  /chosen\n"
      "    name = \"chosen\"\n"
      "    boot-args = \"-v \\\"quoted\\\"\"\n"
      "    adler32 = <78563412>\n"
      "    net-boot = <>\n"
      "  /efi\n"
      "    name = \"efi\"\n"
      "    firmware-abi = \"EFI64\"\n";
  EXPECT_EQ(DeviceTreeListing(SampleTree()), expected);
}

TEST(DeviceTreeListing, ValueKinds) {
  struct Case {
    std::vector<uint8_t> value;
    bool text;
  } cases[] = {
      {{'a', 'b', 0}, true},  {{'a', 'b'}, true},     {{}, false},         {{0}, false},
      {{'a', 0, 0}, false},   {{'a', 0, 'b'}, false}, {{'a', 0x80}, false}, {{'\n'}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(DeviceTreeValueIsText(c.value), c.text) << c.value.size();
  DecodedDeviceTreeNode root;
  root.properties = {{"seed", {0, 1, 2, 3, 4, 5, 6, 7, 8}}, {"odd name", {'x'}}, {"\x01", {}}};
  std::vector<uint8_t> long_value(33, 0xAB);
  long_value[32] = 0x01;
  root.properties.push_back({"long", long_value});
  std::string row = "abababab abababab abababab abababab abababab abababab abababab abababab";
  EXPECT_EQ(DeviceTreeListing(root), "/\n  seed = <00010203 04050607 08>\n  \"odd name\" = \"x\"\n  \"\\x01\" = <>\n"
                                     "  long = <" + row + "\n    01>\n");
}

TEST(DeviceTreeListing, JsonCarriesHexForEveryValueAndTextWhereItReads) {
  std::string json = DeviceTreeJson(SampleTree());
  for (const char* piece : {
           "{\"path\": \"/\", \"name\": \"/\",",
           "{\"name\": \"model\", \"length\": 5, \"hex\": \"4143504900\", \"text\": \"ACPI\"}",
           "{\"name\": \"adler32\", \"length\": 4, \"hex\": \"78563412\"}",
           "{\"name\": \"boot-args\", \"length\": 12, \"hex\": \"2d76202271756f7465642200\"",
           "\"text\": \"-v \\\"quoted\\\"\"",
           "{\"path\": \"/chosen\", \"name\": \"chosen\",",
           "{\"path\": \"/efi\", \"name\": \"efi\",",
       }) {
    EXPECT_NE(json.find(piece), std::string::npos) << piece << "\nin:\n" << json;
  }
}

}  // namespace
