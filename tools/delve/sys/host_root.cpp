#include "tools/delve/sys/host_root.h"

#include <cstdlib>

namespace hostsys {

std::string HostRootFromEnvironment() {
  const char* value = std::getenv(kHostRootVariable);
  std::string root = value ? value : "";
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root == "/" ? "" : root;
}

std::string ResolveUnderRoot(const std::string& root, const std::string& path) {
  if (root.empty() || path.empty() || path.front() != '/') return path;
  return root + path;
}

bool PathInsideRoot(const std::string& root, const std::string& machinePath,
                    std::string* systemPath) {
  if (root.empty()) {
    *systemPath = machinePath;
    return true;
  }
  if (machinePath.compare(0, root.size(), root) != 0) return false;
  std::string rest = machinePath.substr(root.size());
  if (rest.empty()) rest = "/";
  if (rest.front() != '/') return false;
  *systemPath = rest;
  return true;
}

}  // namespace hostsys
