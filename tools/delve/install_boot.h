// Whether the system was started to install, and with product information.
#pragma once

#include <string>
#include <vector>

#include "tools/delve/delve_host.h"

namespace delve {

struct InstallBoot {
  bool install = false;
  bool productInfo = false;
};

// Asks the firmware options first, then looks for the product information
// file on the volume of chain device 0.
InstallBoot TestInstallBoot(const DelveHost& host, const std::vector<std::string>& devices);

}  // namespace delve
