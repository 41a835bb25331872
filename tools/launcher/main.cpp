#include "tools/delve/sys/host_root.h"
#include "tools/launcher/launcher.h"
#include "tools/launcher/real_host.h"

int main() {
  mirrorwell::RunLauncher(mirrorwell::MakeRealLauncherHost(hostsys::HostRootFromEnvironment()));
  return 0;
}
