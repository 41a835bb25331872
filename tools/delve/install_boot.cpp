#include "tools/delve/install_boot.h"

#include "tools/delve/imgsrc_info.h"

namespace delve {
namespace {

InstallBoot FromLowestDisk(const DelveHost& host, const std::string& device) {
  std::string volumePath;
  switch (host.diskVolumePath(device, &volumePath)) {
    case DiskLookup::kNoDisk:
      host.log("Error attempting to get lowest level disk!");
      return {};
    case DiskLookup::kNoDescription:
      host.log("Error attempting to get lowest level mount point!");
      return {};
    case DiskLookup::kNotMounted:
      host.log("Loweset level disk is not mounted.");
      return {};
    case DiskLookup::kFound:
      break;
  }
  if (!host.exists(volumePath + "/.IAProductInfo")) return {};
  return {true, true};
}

}  // namespace

InstallBoot TestInstallBoot(const DelveHost& host, const std::vector<std::string>& devices) {
  if (ReadOption(host, "install-product-url")) return {true, true};
  if (ReadOption(host, "install-config")) return {true, false};
  if (devices.empty()) return {};
  return FromLowestDisk(host, devices[0]);
}

}  // namespace delve
