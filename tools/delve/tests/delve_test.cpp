#include "tools/delve/delve.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "tools/delve/mount_chain.h"
#include "tools/delve/tests/fake_delve_host.h"

namespace delve {
namespace {

class DelveTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    return RunDelve(fake.Host(), args, out, err);
  }
  FakeDelveHost fake;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(DelveTest, WrongArgumentsPrintTheUsage) {
  const std::vector<std::string> cases[] = {{"a", "b", "c"}, {"-x"}, {"/Volumes/A"}};
  for (const auto& args : cases) {
    EXPECT_EQ(-7, Run(args));
    EXPECT_EQ("usage: delve [ outer_mount_point inner_mount_point ]\n", err.str());
    EXPECT_EQ("", out.str());
  }
  EXPECT_TRUE(fake.mounts.empty());
}

TEST_F(DelveTest, GuestOrLockedRefusesUnlessSpecialBoot) {
  fake.SetDevices({"disk1s1"});
  for (const char* mode : {"guest", "locked"}) {
    fake.options["recovery-boot-mode"] = std::vector<uint8_t>(mode, mode + strlen(mode) + 1);
    EXPECT_EQ(0, Run({}));
    EXPECT_EQ("not mounting enclosing filesystems because the system is guest mode / locked\n",
              out.str());
    EXPECT_TRUE(fake.mounts.empty());
  }
  EXPECT_EQ(1, Run({"-I"}));
  EXPECT_EQ("mounted enclosing fs at: /Volumes/Image Volume\n", out.str());
  EXPECT_EQ(1u, fake.mounts.size());

  fake = FakeDelveHost();
  fake.SetDevices({"disk1s1"});
  fake.SetOption("recovery-boot-mode", "normal");
  EXPECT_EQ(1, Run({}));
}

TEST_F(DelveTest, ExplicitMountPointsAreMadeUnique) {
  fake.SetDevices({"disk1s1", "disk2s1"});
  fake.existing = {"/mnt/in", "/mnt/out", "/mnt/out 1", kInstallCollection};
  EXPECT_EQ(2, Run({"/mnt/in", "/mnt/out"}));
  EXPECT_EQ("mounted enclosing fs at: /mnt/in 1\nmounted outer dmg fs at: /mnt/out 2\n", out.str());
  EXPECT_TRUE(fake.runs.empty());  // no identifier lookups in explicit mode
}

TEST_F(DelveTest, ReportsEachKindOfResult) {
  EXPECT_EQ(-1, Run({}));
  EXPECT_EQ("failed to mount enclosing file systems, error code: -1 reason: "
            "* Failed to mount imgsrc device, no device info\n",
            err.str());
  fake.SetDevices({});
  EXPECT_EQ(0, Run({}));
  EXPECT_EQ("no enclosing filesystems to mount\n", out.str());
  fake.SetDevices({"a", "b", "c"});
  EXPECT_EQ(-2, Run({}));
  EXPECT_EQ("failed to mount enclosing file systems, error code: -2 reason: "
            "* Failed to mount imgsrc device, mount is too deep\n",
            err.str());
  EXPECT_EQ("", out.str());
}

}  // namespace
}  // namespace delve
