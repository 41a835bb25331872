#include "tools/delve/mount_chain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "tools/delve/result_codes.h"
#include "tools/delve/tests/fake_delve_host.h"

namespace delve {
namespace {

const MountPoints kPoints{"/Volumes/Image Volume", "/Volumes/Outer"};

class MountChainTest : public ::testing::Test {
 protected:
  int Mount(bool specialBoot = false) {
    DelveHost host = fake.Host();
    return MountChain(host, err, ReadImgsrcChain(host), kPoints, specialBoot);
  }

  int LogCount(const std::string& line) const {
    return static_cast<int>(std::count(fake.logLines.begin(), fake.logLines.end(), line));
  }

  std::vector<ProgramRun> Remounts() const {
    std::vector<ProgramRun> found;
    for (const ProgramRun& run : fake.runs) {
      if (run.program == std::string(kFakeMachineRoot) + kRemountProgram) found.push_back(run);
    }
    return found;
  }

  FakeDelveHost fake;
  std::ostringstream err;
};

struct ChainCase {
  const char* name;
  std::vector<std::string> devices;  // "" = device number without a name
  bool noChainInfo;
  const char* failingDevice;         // mount of this device path fails
  int expected;
  size_t expectedMounts;
};

TEST_F(MountChainTest, EveryOutcomeOfTheChain) {
  const ChainCase cases[] = {
      {"no chain info", {}, true, nullptr, kNoDeviceInfo, 0},
      {"empty chain", {}, false, nullptr, kNothingToMount, 0},
      {"three devices", {"disk1s1", "disk2s1", "disk3s1"}, false, nullptr, kMountTooDeep, 0},
      {"unnamed device 0", {"", "disk2s1"}, false, nullptr, kNoEnclosingDeviceName, 0},
      {"device 0 fails", {"disk1s1"}, false, "/dev/disk1s1", kEnclosingMountFailed, 0},
      {"unnamed device 1", {"disk1s1", ""}, false, nullptr, kNoOuterDeviceName, 1},
      {"device 1 fails", {"disk1s1", "disk2s1"}, false, "/dev/disk2s1", kOuterMountFailed, 1},
      {"one device", {"disk1s1"}, false, nullptr, kMountedEnclosing, 1},
      {"two devices", {"disk1s1", "disk2s1"}, false, nullptr, kMountedBoth, 2},
  };
  for (const ChainCase& c : cases) {
    SCOPED_TRACE(c.name);
    fake = FakeDelveHost();
    if (!c.noChainInfo) {
      std::vector<std::pair<uint32_t, uint32_t>> records;
      for (uint32_t i = 0; i < c.devices.size(); ++i) {
        records.push_back({i, 100 + i});
        if (!c.devices[i].empty()) fake.deviceNames[100 + i] = c.devices[i];
      }
      fake.SetChain(records);
    }
    if (c.failingDevice) fake.mountErrors[c.failingDevice] = EIO;
    EXPECT_EQ(c.expected, Mount());
    EXPECT_EQ(c.expectedMounts, fake.mounts.size());
    if (c.expected < 0 || c.expected == kNothingToMount) {
      EXPECT_TRUE(fake.links.empty());
    }
  }
}

TEST_F(MountChainTest, MountsEachDeviceAsAnImageSourceByPosition) {
  fake.SetDevices({"disk1s1", "disk2s1"});
  fake.existing.insert(kInstallCollection);
  ASSERT_EQ(kMountedBoth, Mount());
  ASSERT_EQ(2u, fake.mounts.size());
  for (uint32_t i = 0; i < 2; ++i) {
    EXPECT_EQ("hfs", fake.mounts[i].fileSystem);
    EXPECT_EQ(0x20000000u, fake.mounts[i].flags);
    EXPECT_EQ(i, fake.mounts[i].position);
  }
  EXPECT_EQ("/dev/disk1s1", fake.mounts[0].devicePath);
  EXPECT_EQ(kPoints.enclosing, fake.mounts[0].mountPoint);
  EXPECT_EQ("/dev/disk2s1", fake.mounts[1].devicePath);
  EXPECT_EQ(kPoints.outer, fake.mounts[1].mountPoint);
  EXPECT_EQ((std::vector<std::string>{kPoints.enclosing, kPoints.outer}), fake.createdDirectories);
  EXPECT_EQ(1, LogCount("mount /Volumes/Image Volume /dev/disk1s1"));
  EXPECT_EQ(1, LogCount("mount /Volumes/Outer /dev/disk2s1"));
  EXPECT_EQ("", err.str());
}

TEST_F(MountChainTest, DirectoryFailureWarnsAndStillMounts) {
  fake.SetDevices({"disk1s1"});
  fake.mkdirErrors[kPoints.enclosing] = EACCES;
  EXPECT_EQ(kMountedEnclosing, Mount());
  EXPECT_EQ(1u, fake.mounts.size());
  EXPECT_EQ("* Warning: could not create: /Volumes/Image Volume due to error: Permission denied",
            err.str());
}

TEST_F(MountChainTest, LinkFailureWarnsAndStillSucceeds) {
  fake.SetDevices({"disk1s1"});
  fake.symlinkError = EEXIST;
  EXPECT_EQ(kMountedEnclosing, Mount());
  EXPECT_EQ("* Warning: mutable product symlink creation failed: File exists", err.str());
}

struct LinkCase {
  const char* name;
  std::vector<std::string> devices;
  const char* option;      // firmware option present, or nullptr
  bool productInfoFile;    // ".IAProductInfo" on device 0's volume
  const char* target;
};

TEST_F(MountChainTest, PackageLinkTarget) {
  const LinkCase cases[] = {
      {"plain", {"disk1s1"}, nullptr, false, "/Volumes/Image Volume/Packages"},
      {"product url", {"disk1s1"}, "install-product-url", false,
       "/Volumes/Image Volume/Larkspur Install Data"},
      {"install config only", {"disk1s1"}, "install-config", false,
       "/Volumes/Image Volume/Packages"},
      {"product info file", {"disk1s1"}, nullptr, true,
       "/Volumes/Image Volume/Larkspur Install Data"},
      {"two devices with product", {"disk1s1", "disk2s1"}, "install-product-url", false,
       "/Volumes/Outer/Packages"},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.name);
    fake = FakeDelveHost();
    fake.SetDevices(c.devices);
    if (c.option) fake.SetOption(c.option, "x");
    if (c.productInfoFile) {
      fake.disks["disk1s1"] = {DiskLookup::kFound, "/Volumes/Base"};
      fake.existing.insert("/Volumes/Base/.IAProductInfo");
    }
    Mount();
    ASSERT_EQ(1u, fake.links.size());
    EXPECT_EQ(c.target, fake.links[0].first);
    EXPECT_EQ("/System/Installation/PackagesLink", fake.links[0].second);
    EXPECT_EQ(1, LogCount(std::string("ln -s ") + c.target + " /System/Installation/PackagesLink"));
  }
}

TEST_F(MountChainTest, OneDeviceAsksTheInstallTestTwice) {
  fake.SetDevices({"disk1s1"});
  Mount();
  EXPECT_EQ(2, LogCount("Error attempting to get lowest level disk!"));
}

struct PromoteCase {
  const char* name;
  std::vector<std::string> devices;
  bool specialBoot;
  bool installCollection;
  const char* option;
  int remounts;
};

TEST_F(MountChainTest, PromotionToReadWrite) {
  const PromoteCase cases[] = {
      {"two devices, plain boot", {"disk1s1", "disk2s1"}, false, false, nullptr, 1},
      {"two devices, collection present", {"disk1s1", "disk2s1"}, false, true, nullptr, 0},
      {"two devices, install boot", {"disk1s1", "disk2s1"}, false, false, "install-config", 0},
      {"one device, plain boot", {"disk1s1"}, false, false, nullptr, 0},
      {"one device, special boot", {"disk1s1"}, true, false, nullptr, 1},
      {"two devices, special boot", {"disk1s1", "disk2s1"}, true, false, nullptr, 2},
  };
  for (const PromoteCase& c : cases) {
    SCOPED_TRACE(c.name);
    fake = FakeDelveHost();
    fake.SetDevices(c.devices);
    if (c.installCollection) fake.existing.insert(kInstallCollection);
    if (c.option) fake.SetOption(c.option, "x");
    Mount(c.specialBoot);
    std::vector<ProgramRun> remounts = Remounts();
    ASSERT_EQ(static_cast<size_t>(c.remounts), remounts.size());
    for (const ProgramRun& run : remounts) {
      EXPECT_EQ((std::vector<std::string>{"-o", "rw", "-o", "update", "/sandbox/dev/disk1s1",
                                          "/sandbox/Volumes/Image Volume"}),
                run.args);
    }
    EXPECT_EQ(c.specialBoot ? 1 : 0, LogCount("Promoting outer imgsrc to readwrite for special boot"));
  }
}

TEST_F(MountChainTest, RemountFailureIsLoggedWithItsStatus) {
  fake.SetDevices({"disk1s1"});
  fake.remountStatus = 5;
  Mount(true);
  EXPECT_EQ(1, LogCount("mount_hfs returned error: 5"));

  fake = FakeDelveHost();
  fake.SetDevices({"disk1s1"});
  fake.remountStarts = false;
  Mount(true);
  EXPECT_EQ(1, LogCount("mount_hfs returned error: 127"));
}

}  // namespace
}  // namespace delve
