#include "tools/launcher/launcher.h"

#include <vector>

#include "tools/launcher/settings_marker.h"

namespace mirrorwell {
namespace {

bool SettingsAskForSudo(const LauncherHost& host) {
  std::vector<uint8_t> bytes;
  return host.readFile(kSettingsPath, kMarkerSize, &bytes) == 0 && MarkerAsksForSudo(bytes);
}

// The privileged-execution service; a failure is remembered for next time.
void StartThroughService(const LauncherHost& host, const std::string& inner) {
  if (host.runPrivileged(host.machinePath(inner)) != 0) {
    host.writeFile(kSettingsPath, ServiceMarkerBytes());
  }
}

// sudo starts the application in the background; anything it prints (a
// password prompt, a refusal) means it did not, and the service is asked.
// Noclobber keeps the redirection from writing through a file someone else
// left in the shared directory.
void StartThroughSudo(const LauncherHost& host, const std::string& inner) {
  host.runShell("set -C; sudo -b " + ShellQuote(host.machinePath(inner)) + " > " +
                ShellQuote(host.machinePath(kOutputPath)) + " 2>&1");
  std::vector<uint8_t> output;
  if (host.readFile(kOutputPath, 1, &output) != 0) return;
  if (output.empty()) return;
  StartThroughService(host, inner);
}

}  // namespace

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

void RunLauncher(const LauncherHost& host) {
  std::string bundle;
  if (!host.bundlePath(&bundle) || bundle.size() >= kPathLimit) return;
  if (bundle == kDistributionBundle) {
    host.showStopAlert("Mirrorwell",
                       "Kindly copy the Mirrorwell executable in the Applications folder and run "
                       "from there.");
    return;
  }
  std::string inner = bundle + kInnerExecutable;
  bool useSudo = SettingsAskForSudo(host);
  host.removeFile(kOutputPath);
  if (useSudo) {
    StartThroughSudo(host, inner);
  } else {
    StartThroughService(host, inner);
  }
}

}  // namespace mirrorwell
