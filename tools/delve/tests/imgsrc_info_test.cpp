#include "tools/delve/imgsrc_info.h"

#include <gtest/gtest.h>

#include "tools/delve/tests/fake_delve_host.h"

namespace delve {
namespace {

TEST(ImgsrcRecordsTest, WholeRecordsOnly) {
  FakeDelveHost fake;
  fake.SetChain({{1, 0x01000005}, {0, 0x01000002}});
  std::vector<uint8_t> value = fake.imgsrcInfo;
  std::vector<ImgsrcRecord> records = ParseImgsrcRecords(value);
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ(1u, records[0].position);
  EXPECT_EQ(0x01000005u, records[0].deviceNumber);
  EXPECT_EQ(0u, records[1].position);

  value.resize(71);
  EXPECT_EQ(1u, ParseImgsrcRecords(value).size());
  value.resize(35);
  EXPECT_TRUE(ParseImgsrcRecords(value).empty());
  EXPECT_TRUE(ParseImgsrcRecords({}).empty());
}

TEST(ImgsrcChainTest, DevicesAreNamedAtTheirPositions) {
  FakeDelveHost fake;
  fake.SetChain({{1, 7}, {0, 9}});
  fake.deviceNames = {{7, "disk7s1"}, {9, "disk9s1"}};
  EXPECT_EQ((std::vector<std::string>{"disk9s1", "disk7s1"}), *ReadImgsrcChain(fake.Host()));
}

TEST(ImgsrcChainTest, UnnamedOrMisplacedDevicesLeaveEmptySlots) {
  FakeDelveHost fake;
  fake.SetChain({{0, 7}, {5, 9}});  // position 5 lies outside a chain of two
  fake.deviceNames = {{9, "disk9s1"}};
  EXPECT_EQ((std::vector<std::string>{"", ""}), *ReadImgsrcChain(fake.Host()));
}

TEST(ImgsrcChainTest, MissingValueMeansNoInformation) {
  FakeDelveHost fake;
  EXPECT_FALSE(ReadImgsrcChain(fake.Host()).has_value());
  fake.SetChain({});
  EXPECT_TRUE(ReadImgsrcChain(fake.Host())->empty());
}

TEST(OptionTextTest, DropsTrailingZeroBytes) {
  EXPECT_EQ("locked", OptionText({'l', 'o', 'c', 'k', 'e', 'd', 0, 0}));
  EXPECT_EQ("guest\n", OptionText({'g', 'u', 'e', 's', 't', '\n'}));
}

}  // namespace
}  // namespace delve
