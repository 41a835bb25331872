#include "tools/launcher/launcher.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <map>

#include "tools/launcher/settings_marker.h"

namespace mirrorwell {
namespace {

const std::string kBundle = "/Applications/Mirrorwell.app";
const std::string kInnerMachinePath =
    "/sandbox/Applications/Mirrorwell.app/Contents/Larkspur/Mirrorwell.app/Contents/Larkspur/"
    "Mirrorwell";

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// A scripted host: files live in a map, every action lands in `events`.
struct FakeLauncherHost {
  bool haveBundle = true;
  std::string bundle = kBundle;
  std::map<std::string, std::vector<uint8_t>> files;
  bool shellCreatesOutput = true;
  std::string sudoPrints;
  int privilegedResult = 0;
  std::vector<std::string> events;

  LauncherHost Host() {
    LauncherHost host;
    host.bundlePath = [this](std::string* path) {
      *path = bundle;
      return haveBundle;
    };
    host.showStopAlert = [this](const std::string& title, const std::string& message) {
      events.push_back("alert " + title + ": " + message);
    };
    host.runShell = [this](const std::string& commandLine) {
      events.push_back("shell " + commandLine);
      if (shellCreatesOutput) files[kOutputPath] = Bytes(sudoPrints);
      return 0;
    };
    host.runPrivileged = [this](const std::string& program) {
      events.push_back("privileged " + program);
      return privilegedResult;
    };
    host.readFile = [this](const std::string& path, size_t limit, std::vector<uint8_t>* bytes) {
      auto found = files.find(path);
      if (found == files.end()) return ENOENT;
      bytes->assign(found->second.begin(),
                    found->second.begin() + std::min(limit, found->second.size()));
      return 0;
    };
    host.writeFile = [this](const std::string& path, const std::vector<uint8_t>& bytes) {
      events.push_back("write " + path);
      files[path] = bytes;
      return 0;
    };
    host.removeFile = [this](const std::string& path) {
      events.push_back("remove " + path);
      files.erase(path);
    };
    host.machinePath = [](const std::string& path) { return "/sandbox" + path; };
    return host;
  }
};

TEST(SettingsMarkerTest, ComparesNineteenZeroFilledBytes) {
  const struct {
    std::string content;
    bool asksForSudo;
  } cases[] = {
      {"LaunchMirrorwell-1", true},
      {std::string("LaunchMirrorwell-1\0", 19), true},
      {std::string("LaunchMirrorwell-1\0trailing", 27), true},
      {"LaunchMirrorwell-1\n", false},
      {"LaunchMirrorwell-1 ", false},
      {"LaunchMirrorwell-12", false},
      {"LaunchMirrorwell-", false},
      {std::string("LaunchMirrorwell-0\0", 19), false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    FakeLauncherHost fake;
    fake.files[kSettingsPath] = Bytes(c.content);
    RunLauncher(fake.Host());
    bool usedSudo = !fake.events.empty() && fake.events[1].rfind("shell ", 0) == 0;
    EXPECT_EQ(c.asksForSudo, usedSudo);
  }
}

TEST(SettingsMarkerTest, FailureMarkerIsNineteenBytes) {
  EXPECT_EQ(std::vector<uint8_t>(std::begin("LaunchMirrorwell-0"), std::end("LaunchMirrorwell-0")),
            ServiceMarkerBytes());
  EXPECT_EQ(19u, ServiceMarkerBytes().size());
}

TEST(LauncherTest, DistributionImageOnlyAlerts) {
  FakeLauncherHost fake;
  fake.bundle = "/Volumes/Mirrorwell/Mirrorwell.app";
  RunLauncher(fake.Host());
  EXPECT_EQ((std::vector<std::string>{
                "alert Mirrorwell: Kindly copy the Mirrorwell executable in the Applications "
                "folder and run from there."}),
            fake.events);
}

TEST(LauncherTest, UnusableBundlePathDoesNothing) {
  FakeLauncherHost fake;
  fake.haveBundle = false;
  RunLauncher(fake.Host());
  EXPECT_TRUE(fake.events.empty());

  fake = FakeLauncherHost();
  fake.bundle = "/" + std::string(511, 'a');
  RunLauncher(fake.Host());
  EXPECT_TRUE(fake.events.empty());

  fake = FakeLauncherHost();
  fake.bundle = "/" + std::string(510, 'a');
  RunLauncher(fake.Host());
  EXPECT_FALSE(fake.events.empty());
}

TEST(LauncherTest, WithoutMarkerUsesTheService) {
  FakeLauncherHost fake;
  fake.files[kOutputPath] = Bytes("stale");
  RunLauncher(fake.Host());
  EXPECT_EQ((std::vector<std::string>{"remove /var/tmp/.output", "privileged " + kInnerMachinePath}),
            fake.events);
  EXPECT_EQ(0u, fake.files.count(kSettingsPath));
}

TEST(LauncherTest, FailedServiceStartIsRemembered) {
  FakeLauncherHost fake;
  fake.privilegedResult = EPERM;
  RunLauncher(fake.Host());
  EXPECT_EQ(ServiceMarkerBytes(), fake.files[kSettingsPath]);
}

TEST(LauncherTest, SilentSudoStartEndsTheRun) {
  FakeLauncherHost fake;
  fake.files[kSettingsPath] = Bytes("LaunchMirrorwell-1");
  RunLauncher(fake.Host());
  EXPECT_EQ((std::vector<std::string>{
                "remove /var/tmp/.output",
                "shell set -C; sudo -b '" + kInnerMachinePath +
                    "' > '/sandbox/var/tmp/.output' 2>&1"}),
            fake.events);
}

TEST(LauncherTest, SudoThatPrintsFallsBackToTheService) {
  FakeLauncherHost fake;
  fake.files[kSettingsPath] = Bytes("LaunchMirrorwell-1");
  fake.sudoPrints = "sudo: a password is required\n";
  fake.privilegedResult = EPERM;
  RunLauncher(fake.Host());
  ASSERT_EQ(4u, fake.events.size());
  EXPECT_EQ("privileged " + kInnerMachinePath, fake.events[2]);
  EXPECT_EQ("write /var/tmp/.CloneLauncherSettings", fake.events[3]);
  EXPECT_EQ(ServiceMarkerBytes(), fake.files[kSettingsPath]);

  fake.events.clear();
  fake.files[kSettingsPath] = Bytes("LaunchMirrorwell-1");
  fake.privilegedResult = 0;
  RunLauncher(fake.Host());
  EXPECT_EQ(3u, fake.events.size());
  EXPECT_EQ(Bytes("LaunchMirrorwell-1"), fake.files[kSettingsPath]);
}

TEST(LauncherTest, MissingSudoOutputEndsTheRun) {
  FakeLauncherHost fake;
  fake.files[kSettingsPath] = Bytes("LaunchMirrorwell-1");
  fake.shellCreatesOutput = false;
  RunLauncher(fake.Host());
  EXPECT_EQ(2u, fake.events.size());
}

// Round trip through the real shell: the quoted word comes back unchanged.
TEST(ShellQuoteTest, SurvivesTheShell) {
  const std::string cases[] = {"/Applications/My Apps/Mirrorwell.app", "it's", "$(echo no)",
                               "`echo no`", "a;b|c&d", "line\nbreak", "\\\"", ""};
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    FILE* shell = popen(("printf '%s' " + ShellQuote(text)).c_str(), "r");
    ASSERT_NE(nullptr, shell);
    std::string seen;
    char chunk[256];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, shell)) > 0) seen.append(chunk, got);
    EXPECT_EQ(0, pclose(shell));
    EXPECT_EQ(text, seen);
  }
}

}  // namespace
}  // namespace mirrorwell
