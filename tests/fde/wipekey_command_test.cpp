// hearthtool wipekey end to end: what create writes, inspect and unlock read back.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/hearthtool_run.h"

namespace {

namespace fs = std::filesystem;

Outcome Wipekey(const std::string& arguments) { return RunHearthtool("wipekey " + arguments); }

class WipekeyCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(Hearthtool())) << "build the hearthtool target first";
    dir_ = fs::temp_directory_path() / ("wipekey-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    std::ofstream(dir_ / "anne.png") << "PNG-anne";
    Describe("volume size=131072 placement=start-bad-end checksum=1 key-length=32\n"
             "kek name=A ident=A1A1A1A1-0000-4000-8000-00000000000A\n"
             "kek name=B ident=B2B2B2B2-0000-4000-8000-00000000000B\n"
             "# Anne's picture from a file beside the description\n"
             "user type=panel ident=6A0E6C2B-1F1D-4B6E-9A1C-0D6E8B4F2A11 name=\"Anne A.\" picture=file:anne.png "
             "passphrase=\"anne's pass\" iterations=500 salt=hex:0102030405060708 kek=A\n"
             "user type=recovery-key ident=22222222-0000-4000-8000-000000000002 passphrase=RK-1234 kek=B\n"
             "user type=revert ident=55555555-0000-4000-8000-000000000005 kek=A\n"
             "volume-key ident=C3C3C3C3-1111-4111-8111-111111111111 kek=A key=hex:00112233445566778899aabbccddeeff\n"
             "volume-key ident=D4D4D4D4-2222-4222-8222-222222222222 kek=B\n");
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Describe(const std::string& text) { std::ofstream(dir_ / "desc.txt") << text; }
  std::string Dir() const { return dir_.string(); }
  std::string Files() const { return Dir() + "/EncryptedRoot.plist.wipekey --volume " + Dir() + "/volume.img"; }

  fs::path dir_;
};

TEST_F(WipekeyCommand, CreateThenInspectAndUnlock) {
  Outcome created = Wipekey("create " + Dir() + "/desc.txt -o " + Dir() + " --plain");
  ASSERT_EQ(created.exit_code, 0) << created.output;
  EXPECT_EQ(fs::file_size(dir_ / "volume.img"), 131072u);
  EXPECT_EQ(fs::file_size(dir_ / "volume-header.bin"), 512u);

  Outcome inspected = Wipekey("inspect " + Files() + " --passphrase \"anne's pass\" --passphrase RK-1234 --passphrase x");
  ASSERT_EQ(inspected.exit_code, 0) << inspected.output;
  for (const char* line : {"header: at the start of the volume (the end copy is invalid)", "header key: kind 2, 32 bytes",
                           "type 0x10060002 (panel user)", "name \"Anne A.\"", "picture 8 bytes",
                           "passphrase: PBKDF2 selector 3, 500 iterations, salt 8 bytes",
                           "type 0x10010005 (recovery-key entry)", "type 0x20080007 (revert user (never shown))",
                           "slot recovery-key: 22222222-0000-4000-8000-000000000002",
                           "passphrase 1 opens 6A0E6C2B-1F1D-4B6E-9A1C-0D6E8B4F2A11",
                           "passphrase 2 opens 22222222-0000-4000-8000-000000000002", "passphrase 3 opens no user"}) {
    EXPECT_NE(inspected.output.find(line), std::string::npos) << line << "\n" << inspected.output;
  }

  Outcome unlocked = Wipekey("unlock " + Files() + " --passphrase \"anne's pass\"");
  ASSERT_EQ(unlocked.exit_code, 0) << unlocked.output;
  EXPECT_NE(unlocked.output.find("volume key C3C3C3C3-1111-4111-8111-111111111111 (kind 2): "
                                 "00112233445566778899aabbccddeeff"),
            std::string::npos)
      << unlocked.output;
  EXPECT_EQ(unlocked.output.find("D4D4D4D4"), std::string::npos);  // under the other KEK
  EXPECT_NE(unlocked.output.find("record kind 2 sub-kind 0 uuid 6a0e6c2b1f1d4b6e9a1c0d6e8b4f2a11: 11 bytes"),
            std::string::npos);

  Outcome recovery = Wipekey("unlock " + Files() + " --passphrase RK-1234");
  EXPECT_NE(recovery.output.find("volume key D4D4D4D4-2222-4222-8222-222222222222"), std::string::npos);
  Outcome revert = Wipekey("unlock " + Files() + " --revert");
  EXPECT_NE(revert.output.find("unlocked by: the revert user"), std::string::npos) << revert.output;
}

TEST_F(WipekeyCommand, Failures) {
  ASSERT_EQ(Wipekey("create " + Dir() + "/desc.txt -o " + Dir()).exit_code, 0);
  EXPECT_EQ(Wipekey("unlock " + Files() + " --passphrase wrong").exit_code, 1);
  EXPECT_EQ(Wipekey("inspect " + Dir() + "/EncryptedRoot.plist.wipekey --header " + Dir() + "/desc.txt").exit_code, 1);
  EXPECT_EQ(Wipekey("inspect " + Dir() + "/EncryptedRoot.plist.wipekey").exit_code, 2);
  EXPECT_EQ(Wipekey("inspect " + Dir() + "/missing --volume " + Dir() + "/volume.img").exit_code, 3);
  Describe("user type=panel ident=X passphrase=p kek=nope\n");
  Outcome bad = Wipekey("create " + Dir() + "/desc.txt -o " + Dir());
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_NE(bad.output.find("no KEK named 'nope'"), std::string::npos) << bad.output;
  Describe("volume size=4096\nuser flavour=x\n");
  bad = Wipekey("create " + Dir() + "/desc.txt -o " + Dir());
  EXPECT_NE(bad.output.find("line 2: user: unknown setting 'flavour'"), std::string::npos) << bad.output;
}

}  // namespace
