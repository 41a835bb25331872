#include <iostream>
#include <string>
#include <vector>

#include "tools/delve/delve.h"
#include "tools/delve/real_host.h"
#include "tools/delve/sys/host_root.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  delve::DelveHost host = delve::MakeRealDelveHost(hostsys::HostRootFromEnvironment());
  int code = delve::RunDelve(host, args, std::cout, std::cerr);
  std::cout.flush();
  return code;
}
