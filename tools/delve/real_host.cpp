#include "tools/delve/real_host.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <syslog.h>
#include <unistd.h>

#include "tools/delve/sys/files.h"
#include "tools/delve/sys/host_root.h"
#include "tools/delve/sys/process.h"

namespace delve {
namespace {

constexpr size_t kValueLimit = 1 << 20;

// A name that stays one component when it becomes part of a file path.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

std::string FirstLine(const std::vector<uint8_t>& bytes) {
  std::string text(bytes.begin(), bytes.end());
  return text.substr(0, text.find_first_of("\r\n"));
}

int ReadSystemValue(const std::string& root, const std::string& name, std::vector<uint8_t>* value) {
  if (!IsPlainName(name)) return EINVAL;
  if (!root.empty()) return hostsys::ReadFilePrefix(root + "/.host/sysctl/" + name, kValueLimit, value);
  std::string path = "/proc/sys/" + name;
  for (size_t i = 10; i < path.size(); ++i) {
    if (path[i] == '.') path[i] = '/';
  }
  return hostsys::ReadFilePrefix(path, kValueLimit, value);
}

// "IODeviceTree:/options" names the node "/options" of the device tree plane.
int ReadDeviceTreeProperty(const std::string& root, const std::string& node,
                           const std::string& property, std::vector<uint8_t>* value) {
  std::string path = node.substr(node.find(':') == std::string::npos ? 0 : node.find(':') + 1);
  if (path.empty() || path.front() != '/' || path.find("..") != std::string::npos ||
      !IsPlainName(property)) {
    return EINVAL;
  }
  std::string base = root.empty() ? "/proc/device-tree" : root + "/.host/devicetree";
  return hostsys::ReadFilePrefix(base + path + "/" + property, kValueLimit, value);
}

int BlockDeviceName(const std::string& root, uint32_t number, std::string* name) {
  std::vector<uint8_t> bytes;
  if (!root.empty()) {
    int error = hostsys::ReadFilePrefix(root + "/.host/blockdev/" + std::to_string(number), 256, &bytes);
    if (error != 0) return error;
    *name = FirstLine(bytes);
    return IsPlainName(*name) ? 0 : ENOENT;
  }
  std::string uevent = "/sys/dev/block/" + std::to_string(major(number)) + ":" +
                       std::to_string(minor(number)) + "/uevent";
  int error = hostsys::ReadFilePrefix(uevent, 4096, &bytes);
  if (error != 0) return error;
  std::string text(bytes.begin(), bytes.end());
  size_t at = text.find("DEVNAME=");
  if (at == std::string::npos) return ENOENT;
  *name = text.substr(at + 8, text.find('\n', at) - at - 8);
  return IsPlainName(*name) ? 0 : ENOENT;
}

// /proc/self/mounts writes a space in a path as "\040".
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      std::string digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out.push_back(static_cast<char>(std::stoi(digits, nullptr, 8)));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

DiskLookup RealDiskVolumePath(const std::string& device, std::string* volumePath) {
  struct stat info;
  if (!IsPlainName(device) || stat(("/sys/class/block/" + device).c_str(), &info) != 0) {
    return DiskLookup::kNoDisk;
  }
  std::ifstream mounts("/proc/self/mounts");
  std::string source, target, rest;
  while (mounts >> source >> target && std::getline(mounts, rest)) {
    if (UnescapeMountField(source) == "/dev/" + device) {
      *volumePath = UnescapeMountField(target);
      return DiskLookup::kFound;
    }
  }
  return DiskLookup::kNotMounted;
}

DiskLookup SandboxDiskVolumePath(const std::string& root, const std::string& device,
                                 std::string* volumePath) {
  struct stat info;
  std::string disk = root + "/.host/disks/" + device;
  if (!IsPlainName(device) || stat(disk.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return DiskLookup::kNoDisk;
  }
  std::ifstream description(disk + "/description");
  if (!description) return DiskLookup::kNoDescription;
  std::string line;
  while (std::getline(description, line)) {
    if (line.rfind("VolumePath=", 0) == 0 && line.size() > 11) {
      *volumePath = line.substr(11);
      return DiskLookup::kFound;
    }
  }
  return DiskLookup::kNotMounted;
}

// The sandbox cannot mount; it checks what the kernel would and records
// the call.
int SandboxMount(const std::string& root, const MountRequest& request) {
  struct stat info;
  std::string point = hostsys::ResolveUnderRoot(root, request.mountPoint);
  if (stat(point.c_str(), &info) != 0) return errno;
  if (!S_ISDIR(info.st_mode)) return ENOTDIR;
  if (stat(hostsys::ResolveUnderRoot(root, request.devicePath).c_str(), &info) != 0) return errno;
  char flags[16];
  snprintf(flags, sizeof flags, "0x%08x", request.flags);
  return hostsys::AppendLine(root + "/.host/mounts",
                             request.fileSystem + "\t" + request.devicePath + "\t" +
                                 request.mountPoint + "\t" + flags + "\t" +
                                 std::to_string(request.position));
}

// Linux has no image-source mounts: the device itself is mounted, which is
// what the image-source flag asks the host's kernel to do.
int RealMount(const MountRequest& request) {
  const char* type = request.fileSystem == "hfs" ? "hfsplus" : request.fileSystem.c_str();
  if (::mount(request.devicePath.c_str(), request.mountPoint.c_str(), type, 0, nullptr) != 0) {
    return errno;
  }
  return 0;
}

void Log(const std::string& root, const std::string& line) {
  if (!root.empty()) {
    hostsys::AppendLine(root + "/.host/syslog", "delve: " + line);
    return;
  }
  openlog("delve", LOG_PID, LOG_USER);
  syslog(LOG_NOTICE, "%s", line.c_str());
  closelog();
}

}  // namespace

DelveHost MakeRealDelveHost(const std::string& root) {
  auto at = [root](const std::string& path) { return hostsys::ResolveUnderRoot(root, path); };
  DelveHost host;
  host.readSystemValue = [root](const std::string& name, std::vector<uint8_t>* value) {
    return ReadSystemValue(root, name, value);
  };
  host.readDeviceTreeProperty = [root](const std::string& node, const std::string& property,
                                       std::vector<uint8_t>* value) {
    return ReadDeviceTreeProperty(root, node, property, value);
  };
  host.blockDeviceName = [root](uint32_t number, std::string* name) {
    return BlockDeviceName(root, number, name);
  };
  host.runForOutput = hostsys::RunForOutput;
  host.runAndWait = hostsys::RunAndWait;
  host.diskVolumePath = [root](const std::string& device, std::string* volumePath) {
    return root.empty() ? RealDiskVolumePath(device, volumePath)
                        : SandboxDiskVolumePath(root, device, volumePath);
  };
  host.makeDirectory = [at](const std::string& path) {
    return mkdir(at(path).c_str(), 0755) == 0 ? 0 : errno;
  };
  host.makeSymlink = [at](const std::string& target, const std::string& link) {
    return symlink(at(target).c_str(), at(link).c_str()) == 0 ? 0 : errno;
  };
  host.exists = [at](const std::string& path) {
    struct stat info;
    return lstat(at(path).c_str(), &info) == 0;
  };
  host.mount = [root](const MountRequest& request) {
    return root.empty() ? RealMount(request) : SandboxMount(root, request);
  };
  host.log = [root](const std::string& line) { Log(root, line); };
  host.machinePath = at;
  return host;
}

}  // namespace delve
