#include "tools/delve/mount_points.h"

#include <gtest/gtest.h>

#include "tools/delve/tests/fake_delve_host.h"

namespace delve {
namespace {

std::string VolumeList(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<array>\n";
  for (const auto& [identifier, name] : entries) {
    text += "<dict><key>" + identifier + "</key><string>" + name + "</string></dict>\n";
  }
  return text + "</array>\n</plist>\n";
}

class AutomaticMountPointsTest : public ::testing::Test {
 protected:
  MountPoints Choose() {
    DelveHost host = fake.Host();
    return ChooseAutomaticMountPoints(host, ReadImgsrcChain(host));
  }
  FakeDelveHost fake;
};

TEST_F(AutomaticMountPointsTest, MatchingIdentifiersNameBothMountPoints) {
  fake.SetDevices({"disk1s1", "disk2s1"});
  fake.identifiers = {{"disk1s1", "ID-A"}, {"disk2s1", "ID-B"}};
  fake.SetOption("rc_imgsrc_info", VolumeList({{"ID-A", "Base"}, {"ID-B", "Outer Disk"}}));
  MountPoints points = Choose();
  EXPECT_EQ("/Volumes/Base", points.enclosing);
  EXPECT_EQ("/Volumes/Outer Disk", points.outer);
  ASSERT_EQ(2u, fake.runs.size());
  EXPECT_EQ("/sandbox/System/Library/Filesystems/hfs.fs/Contents/Resources/hfs.util",
            fake.runs[0].program);
  EXPECT_EQ((std::vector<std::string>{"-k", "disk1s1"}), fake.runs[0].args);
  EXPECT_EQ((std::vector<std::string>{"-k", "disk2s1"}), fake.runs[1].args);
}

TEST_F(AutomaticMountPointsTest, OneEntryKeepsTheDefaultOuter) {
  fake.SetDevices({"disk1s1"});
  fake.identifiers = {{"disk1s1", "ID-A"}};
  fake.SetOption("rc_imgsrc_info", VolumeList({{"ID-A", "Base"}}) + std::string(1, '\0'));
  MountPoints points = Choose();
  EXPECT_EQ("/Volumes/Base", points.enclosing);
  EXPECT_EQ("/Volumes/Larkspur Install DVD", points.outer);
}

struct DefaultCase {
  const char* name;
  std::vector<std::string> devices;
  std::map<std::string, std::string> identifiers;
  std::string volumeList;  // "" = property absent
};

TEST_F(AutomaticMountPointsTest, AnyDoubtGivesTheDefaults) {
  const DefaultCase cases[] = {
      {"no volume list", {"disk1s1"}, {{"disk1s1", "ID-A"}}, ""},
      {"empty list", {"disk1s1"}, {{"disk1s1", "ID-A"}}, VolumeList({})},
      {"not a property list", {"disk1s1"}, {{"disk1s1", "ID-A"}}, "<array><dict>"},
      {"not an array", {"disk1s1"}, {{"disk1s1", "ID-A"}}, "<dict><key>ID-A</key><string>B</string></dict>"},
      {"second differs", {"disk1s1", "disk2s1"}, {{"disk1s1", "ID-A"}, {"disk2s1", "ID-X"}},
       VolumeList({{"ID-A", "Base"}, {"ID-B", "Outer"}})},
      {"program does not start", {"disk1s1"}, {}, VolumeList({{"ID-A", "Base"}})},
      {"identifier with line end", {"disk1s1"}, {{"disk1s1", "ID-A\n"}}, VolumeList({{"ID-A", "Base"}})},
      {"more entries than devices", {"disk1s1"}, {{"disk1s1", "ID-A"}},
       VolumeList({{"ID-A", "Base"}, {"ID-B", "Outer"}})},
      {"name leaves /Volumes", {"disk1s1"}, {{"disk1s1", "ID-A"}}, VolumeList({{"ID-A", ".."}})},
      {"name nests", {"disk1s1"}, {{"disk1s1", "ID-A"}}, VolumeList({{"ID-A", "a/b"}})},
      {"entry is no dictionary", {"disk1s1"}, {{"disk1s1", "ID-A"}},
       "<array><string>ID-A</string></array>"},
  };
  for (const DefaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    fake = FakeDelveHost();
    fake.SetDevices(c.devices);
    fake.identifiers = c.identifiers;
    if (!c.volumeList.empty()) fake.SetOption("rc_imgsrc_info", c.volumeList);
    MountPoints points = Choose();
    EXPECT_EQ("/Volumes/Image Volume", points.enclosing);
    EXPECT_EQ("/Volumes/Larkspur Install DVD", points.outer);
  }
}

TEST(UniqueMountPointTest, AppendsTheFirstFreeCounter) {
  FakeDelveHost fake;
  DelveHost host = fake.Host();
  EXPECT_EQ("/Volumes/Image Volume", UniqueMountPoint(host, "/Volumes/Image Volume"));
  fake.existing = {"/Volumes/Image Volume"};
  EXPECT_EQ("/Volumes/Image Volume 1", UniqueMountPoint(host, "/Volumes/Image Volume"));
  fake.existing = {"/Volumes/Image Volume", "/Volumes/Image Volume 1", "/Volumes/Image Volume 2"};
  EXPECT_EQ("/Volumes/Image Volume 3", UniqueMountPoint(host, "/Volumes/Image Volume"));
}

}  // namespace
}  // namespace delve
