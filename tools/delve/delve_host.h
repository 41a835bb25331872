// The host services delve uses, as one table of operations. The real table
// (real_host.h) reaches this machine or the sandbox host root; tests fill
// it with a scripted fake. All paths given to these operations are paths as
// the installed system names them ("/Volumes/Image Volume").
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace delve {

// The answer of a disk lookup by block device name.
enum class DiskLookup {
  kFound,          // the disk has a description with a volume path
  kNoDisk,         // no disk by that name
  kNoDescription,  // the disk has no description
  kNotMounted,     // the description has no volume path
};

// Mount flag: mount an image source by its position in the chain.
inline constexpr uint32_t kMountImageSource = 0x20000000;

// One mount system call.
struct MountRequest {
  std::string fileSystem;  // "hfs"
  std::string mountPoint;
  uint32_t flags = 0;
  uint32_t position = 0;   // argument record: chain position
  std::string devicePath;  // argument record: "/dev/" + device name
};

struct DelveHost {
  // Reads a system control value by name ("kern.imgsrcinfo"); 0 or errno.
  std::function<int(const std::string& name, std::vector<uint8_t>* value)> readSystemValue;
  // Reads a property of a device-tree node ("IODeviceTree:/options"); 0 or errno.
  std::function<int(const std::string& node, const std::string& property,
                    std::vector<uint8_t>* value)> readDeviceTreeProperty;
  // Names a device number as a block device ("disk3s2"); 0 or errno.
  std::function<int(uint32_t deviceNumber, std::string* name)> blockDeviceName;
  // Starts a program and reads its standard output to the end; 0 or the
  // errno value of a failed start.
  std::function<int(const std::string& program, const std::vector<std::string>& args,
                    std::string* output)> runForOutput;
  // Starts a program and waits for its exit status; 0 or the errno value of
  // a failed start.
  std::function<int(const std::string& program, const std::vector<std::string>& args,
                    int* exitStatus)> runAndWait;
  // Looks up a disk by block device name and reads its volume path.
  std::function<DiskLookup(const std::string& device, std::string* volumePath)> diskVolumePath;
  // Creates one directory (no intermediate ones); 0 or errno.
  std::function<int(const std::string& path)> makeDirectory;
  // Creates the symbolic link `link` pointing at `target`; 0 or errno.
  std::function<int(const std::string& target, const std::string& link)> makeSymlink;
  // Whether anything exists at the path (a dangling link counts).
  std::function<bool(const std::string& path)> exists;
  // The mount system call; 0 or errno.
  std::function<int(const MountRequest& request)> mount;
  // Writes one line to the system log.
  std::function<void(const std::string& line)> log;
  // The path as handed to other programs on this machine (under the host
  // root in a sandbox).
  std::function<std::string(const std::string& path)> machinePath;
};

}  // namespace delve
