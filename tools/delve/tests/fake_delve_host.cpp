#include "tools/delve/tests/fake_delve_host.h"

#include "tools/delve/mount_chain.h"
#include "tools/delve/mount_points.h"

namespace delve {

void FakeDelveHost::SetChain(const std::vector<std::pair<uint32_t, uint32_t>>& records) {
  hasImgsrcInfo = true;
  imgsrcInfo.assign(records.size() * 36, 0xEE);
  for (size_t i = 0; i < records.size(); ++i) {
    uint8_t* record = &imgsrcInfo[i * 36];
    for (int b = 0; b < 4; ++b) {
      record[b] = static_cast<uint8_t>(records[i].first >> (8 * b));
      record[8 + b] = static_cast<uint8_t>(records[i].second >> (8 * b));
    }
  }
}

void FakeDelveHost::SetDevices(const std::vector<std::string>& names) {
  std::vector<std::pair<uint32_t, uint32_t>> records;
  for (uint32_t i = 0; i < names.size(); ++i) {
    records.push_back({i, 100 + i});
    deviceNames[100 + i] = names[i];
  }
  SetChain(records);
}

void FakeDelveHost::SetOption(const std::string& name, const std::string& text) {
  options[name] = std::vector<uint8_t>(text.begin(), text.end());
}

DelveHost FakeDelveHost::Host() {
  DelveHost host;
  host.readSystemValue = [this](const std::string& name, std::vector<uint8_t>* value) {
    if (name != "kern.imgsrcinfo" || !hasImgsrcInfo) return ENOENT;
    *value = imgsrcInfo;
    return 0;
  };
  host.readDeviceTreeProperty = [this](const std::string& node, const std::string& property,
                                       std::vector<uint8_t>* value) {
    auto found = options.find(property);
    if (node != "IODeviceTree:/options" || found == options.end()) return ENOENT;
    *value = found->second;
    return 0;
  };
  host.blockDeviceName = [this](uint32_t number, std::string* name) {
    auto found = deviceNames.find(number);
    if (found == deviceNames.end()) return ENOENT;
    *name = found->second;
    return 0;
  };
  host.runForOutput = [this](const std::string& program, const std::vector<std::string>& args,
                             std::string* output) {
    runs.push_back({program, args});
    auto found = args.size() == 2 ? identifiers.find(args[1]) : identifiers.end();
    if (found == identifiers.end()) return ENOENT;
    *output = found->second;
    return 0;
  };
  host.runAndWait = [this](const std::string& program, const std::vector<std::string>& args,
                           int* exitStatus) {
    runs.push_back({program, args});
    if (!remountStarts) return ENOENT;
    *exitStatus = remountStatus;
    return 0;
  };
  host.diskVolumePath = [this](const std::string& device, std::string* volumePath) {
    auto found = disks.find(device);
    if (found == disks.end()) return DiskLookup::kNoDisk;
    *volumePath = found->second.second;
    return found->second.first;
  };
  host.makeDirectory = [this](const std::string& path) {
    auto error = mkdirErrors.find(path);
    if (error != mkdirErrors.end()) return error->second;
    createdDirectories.push_back(path);
    existing.insert(path);
    return 0;
  };
  host.makeSymlink = [this](const std::string& target, const std::string& link) {
    if (symlinkError != 0) return symlinkError;
    links.push_back({target, link});
    return 0;
  };
  host.exists = [this](const std::string& path) { return existing.count(path) != 0; };
  host.mount = [this](const MountRequest& request) {
    auto error = mountErrors.find(request.devicePath);
    if (error != mountErrors.end()) return error->second;
    mounts.push_back(request);
    return 0;
  };
  host.log = [this](const std::string& line) { logLines.push_back(line); };
  host.machinePath = [](const std::string& path) { return kFakeMachineRoot + path; };
  return host;
}

}  // namespace delve
