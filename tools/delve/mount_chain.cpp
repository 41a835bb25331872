#include "tools/delve/mount_chain.h"

#include <cstring>
#include <vector>

#include "tools/delve/install_boot.h"
#include "tools/delve/result_codes.h"

namespace delve {
namespace {

void CreateMountPoint(const DelveHost& host, std::ostream& err, const std::string& path) {
  int error = host.makeDirectory(path);
  if (error != 0) {
    err << "* Warning: could not create: " << path << " due to error: " << std::strerror(error);
  }
}

int MountDevice(const DelveHost& host, const std::string& mountPoint, const std::string& device,
                uint32_t position) {
  MountRequest request;
  request.fileSystem = "hfs";
  request.mountPoint = mountPoint;
  request.flags = kMountImageSource;
  request.position = position;
  request.devicePath = "/dev/" + device;
  host.log("mount " + mountPoint + " " + request.devicePath);
  return host.mount(request);
}

void LinkPackages(const DelveHost& host, std::ostream& err, const std::string& target) {
  host.log("ln -s " + target + " " + kPackagesLink);
  int error = host.makeSymlink(target, kPackagesLink);
  if (error != 0) {
    err << "* Warning: mutable product symlink creation failed: " << std::strerror(error);
  }
}

}  // namespace

void PromoteToReadWrite(const DelveHost& host, const std::string& device,
                        const std::string& mountPoint) {
  std::vector<std::string> args = {"-o", "rw", "-o", "update",
                                   host.machinePath("/dev/" + device),
                                   host.machinePath(mountPoint)};
  int status = 0;
  if (host.runAndWait(host.machinePath(kRemountProgram), args, &status) != 0) {
    status = 127;  // not started, as a shell would report it
  }
  if (status != 0) host.log("mount_hfs returned error: " + std::to_string(status));
}

int MountChain(const DelveHost& host, std::ostream& err, const ImgsrcChain& chain,
               const MountPoints& points, bool specialBoot) {
  if (!chain) return kNoDeviceInfo;
  const std::vector<std::string>& devices = *chain;
  if (devices.empty()) return kNothingToMount;
  if (devices.size() >= 3) return kMountTooDeep;
  if (devices[0].empty()) return kNoEnclosingDeviceName;

  CreateMountPoint(host, err, points.enclosing);
  if (MountDevice(host, points.enclosing, devices[0], 0) != 0) return kEnclosingMountFailed;

  InstallBoot boot;
  std::string linkTarget;
  if (devices.size() == 1) {
    // The first answer is discarded; both leave their lines in the log.
    TestInstallBoot(host, devices);
    boot = TestInstallBoot(host, devices);
    const char* packages = boot.install && boot.productInfo ? "Larkspur Install Data" : "Packages";
    linkTarget = points.enclosing + "/" + packages;
  } else {
    if (devices[1].empty()) return kNoOuterDeviceName;
    CreateMountPoint(host, err, points.outer);
    if (MountDevice(host, points.outer, devices[1], 1) != 0) return kOuterMountFailed;
    boot = TestInstallBoot(host, devices);
    linkTarget = points.outer + "/Packages";
  }
  LinkPackages(host, err, linkTarget);

  if (devices.size() == 2 && !boot.install && !host.exists(kInstallCollection)) {
    host.log("Promoting outer imgsrc to readwrite for non-automated non-TarnInternal boot");
    PromoteToReadWrite(host, devices[0], points.enclosing);
  }
  if (specialBoot) {
    host.log("Promoting outer imgsrc to readwrite for special boot");
    PromoteToReadWrite(host, devices[0], points.enclosing);
  }
  return devices.size() == 1 ? kMountedEnclosing : kMountedBoth;
}

}  // namespace delve
