#include "tools/delve/install_boot.h"

#include <gtest/gtest.h>

#include "tools/delve/tests/fake_delve_host.h"

namespace delve {
namespace {

struct InstallCase {
  const char* name;
  const char* option;  // firmware option present, or nullptr
  bool haveDevice;
  DiskLookup lookup;   // answer for device 0 (kNoDisk = not listed)
  bool productInfoFile;
  bool install;
  bool productInfo;
  const char* logLine;  // expected log line, or nullptr for none
};

TEST(InstallBootTest, EveryAnswer) {
  const InstallCase cases[] = {
      {"product url", "install-product-url", true, DiskLookup::kNoDisk, false, true, true, nullptr},
      {"install config", "install-config", true, DiskLookup::kNoDisk, false, true, false, nullptr},
      {"no devices", nullptr, false, DiskLookup::kNoDisk, false, false, false, nullptr},
      {"no disk", nullptr, true, DiskLookup::kNoDisk, false, false, false,
       "Error attempting to get lowest level disk!"},
      {"no description", nullptr, true, DiskLookup::kNoDescription, false, false, false,
       "Error attempting to get lowest level mount point!"},
      {"not mounted", nullptr, true, DiskLookup::kNotMounted, false, false, false,
       "Loweset level disk is not mounted."},
      {"volume without product info", nullptr, true, DiskLookup::kFound, false, false, false, nullptr},
      {"volume with product info", nullptr, true, DiskLookup::kFound, true, true, true, nullptr},
  };
  for (const InstallCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDelveHost fake;
    if (c.option) fake.SetOption(c.option, "");
    if (c.lookup != DiskLookup::kNoDisk) fake.disks["disk4s2"] = {c.lookup, "/Volumes/Base"};
    if (c.productInfoFile) fake.existing.insert("/Volumes/Base/.IAProductInfo");
    std::vector<std::string> devices;
    if (c.haveDevice) devices.push_back("disk4s2");
    InstallBoot boot = TestInstallBoot(fake.Host(), devices);
    EXPECT_EQ(c.install, boot.install);
    EXPECT_EQ(c.productInfo, boot.productInfo);
    EXPECT_EQ(c.logLine ? std::vector<std::string>{c.logLine} : std::vector<std::string>{},
              fake.logLines);
  }
}

}  // namespace
}  // namespace delve
