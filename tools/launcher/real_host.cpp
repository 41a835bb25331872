#include "tools/launcher/real_host.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#include "tools/delve/sys/files.h"
#include "tools/delve/sys/host_root.h"
#include "tools/delve/sys/process.h"

namespace mirrorwell {
namespace {

constexpr const char* kBundleExecutableFolder = "/Contents/Larkspur";

bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t extra;
    if (lead < 0x80) extra = 0;
    else if (lead >= 0xC2 && lead <= 0xDF) extra = 1;
    else if (lead >= 0xE0 && lead <= 0xEF) extra = 2;
    else if (lead >= 0xF0 && lead <= 0xF4) extra = 3;
    else return false;
    if (text.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

// A bundle keeps its executable in Contents/Larkspur; a bare executable is
// its own folder's program, as the desktop treats it.
bool BundlePath(const std::string& root, std::string* path) {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return false;
  std::string executable(buffer, static_cast<size_t>(length));
  std::string folder = executable.substr(0, executable.rfind('/'));
  size_t suffix = std::string(kBundleExecutableFolder).size();
  if (folder.size() > suffix && folder.compare(folder.size() - suffix, suffix, kBundleExecutableFolder) == 0) {
    folder.resize(folder.size() - suffix);
  }
  if (folder.empty()) folder = "/";
  return hostsys::PathInsideRoot(root, folder, path) && IsUtf8(*path);
}

bool HaveDesktop() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

bool ShowDesktopAlert(const std::string& title, const std::string& message) {
  std::string program;
  std::vector<std::string> args;
  if (hostsys::FindOnPath("zenity", &program)) {
    args = {"--error", "--title=" + title, "--text=" + message};
  } else if (hostsys::FindOnPath("kdialog", &program)) {
    args = {"--title", title, "--error", message};
  } else if (hostsys::FindOnPath("xmessage", &program)) {
    args = {"-center", title + ": " + message};
  } else {
    return false;
  }
  int status = 0;
  return hostsys::RunAndWait(program, args, &status) == 0;
}

void ShowStopAlert(const std::string& title, const std::string& message) {
  if (HaveDesktop() && ShowDesktopAlert(title, message)) return;
  std::cerr << title << ": " << message << "\n";
}

int RunShell(const std::string& commandLine) {
  int status = hostsys::kNotStartedStatus;
  hostsys::RunAndWait("/bin/sh", {"-c", commandLine}, &status);
  return status;
}

// pkexec asks the desktop user to authenticate; "sudo -n" succeeds only
// where no password is needed. Either way the start counts as done when
// the privileged runner reports success.
int RunPrivileged(const std::string& program) {
  std::string runner;
  std::vector<std::string> args;
  if (hostsys::FindOnPath("pkexec", &runner)) {
    args = {program};
  } else if (hostsys::FindOnPath("sudo", &runner)) {
    args = {"-n", program};
  } else {
    return ENOENT;
  }
  int status = 0;
  int error = hostsys::RunAndWait(runner, args, &status);
  if (error != 0) return error;
  return status == 0 ? 0 : EPERM;
}

}  // namespace

LauncherHost MakeRealLauncherHost(const std::string& root) {
  auto at = [root](const std::string& path) { return hostsys::ResolveUnderRoot(root, path); };
  LauncherHost host;
  host.bundlePath = [root](std::string* path) { return BundlePath(root, path); };
  host.showStopAlert = ShowStopAlert;
  host.runShell = RunShell;
  host.runPrivileged = RunPrivileged;
  host.readFile = [at](const std::string& path, size_t limit, std::vector<uint8_t>* bytes) {
    return hostsys::ReadFilePrefix(at(path), limit, bytes);
  };
  host.writeFile = [at](const std::string& path, const std::vector<uint8_t>& bytes) {
    return hostsys::WriteFileNoFollow(at(path), bytes);
  };
  host.removeFile = [at](const std::string& path) { unlink(at(path).c_str()); };
  host.machinePath = at;
  return host;
}

}  // namespace mirrorwell
