// hearthtool uchr end to end: what compile writes, inspect explains and type reads back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/hearthtool_run.h"

namespace fs = std::filesystem;

namespace {

Outcome Uchr(const std::string& arguments) { return RunHearthtool("uchr " + arguments); }

class UchrCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(Hearthtool())) << "build the hearthtool target first";
    dir = fs::temp_directory_path() / ("uchr-command-" + std::to_string(getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Path(const char* name) { return (dir / name).string(); }
  fs::path dir;
};

TEST_F(UchrCommand, CompiledLayoutsTypeAsTheirCountries) {
  struct Case {
    const char* layout;
    const char* keys;
    const char* type;
    const char* text;
  } cases[] = {
      {"de", "shift+h a l l o space = e = = = space = x y z", "46", "Hallo é´''xzy"},
      {"fr", "q z e r t y [ e shift+[ i", "46", "awerty\xC3\xAA\xC3\xAF"},
      {"ru", "g h b d t n", "46", "привет"},
      {"gb", "shift+2 shift+3 0x31 iso", "47", "\"£#\\"},
      {"us", "a b left left backspace c right d", "46", "cadb"},
      {"jp", "shift+2 yen shift+ro", "45", "\"\\_"},
  };
  for (const Case& c : cases) {
    std::string file = Path((std::string(c.layout) + ".uchr").c_str());
    Outcome compiled = Uchr(std::string("compile ") + c.layout + " " + file);
    ASSERT_EQ(compiled.exit_code, 0) << compiled.output;
    Outcome typed = Uchr(std::string("type --keyboard-type ") + c.type + " " + file + " " + c.keys);
    EXPECT_EQ(typed.exit_code, 0) << typed.output;
    EXPECT_EQ(typed.output, std::string(c.text) + "\n") << c.layout;
    Outcome inspected = Uchr("inspect " + file);
    EXPECT_EQ(inspected.exit_code, 0) << inspected.output;
  }
}

TEST_F(UchrCommand, InspectExplainsAndRefusesDamage) {
  std::string file = Path("de.uchr");
  ASSERT_EQ(Uchr("compile de " + file).exit_code, 0);
  Outcome inspected = Uchr("inspect --keys " + file);
  EXPECT_EQ(inspected.exit_code, 0);
  EXPECT_NE(inspected.output.find("keyboard types 205-205"), std::string::npos) << inspected.output;
  EXPECT_NE(inspected.output.find("dead state 1 ends as"), std::string::npos);
  EXPECT_NE(inspected.output.find("key  12  q"), std::string::npos);

  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream(Path("cut.uchr"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  Outcome cut = Uchr("inspect " + Path("cut.uchr"));
  EXPECT_EQ(cut.exit_code, 1) << cut.output;
  EXPECT_NE(cut.output.find("corrupt"), std::string::npos) << cut.output;
  std::ofstream(Path("junk.uchr"), std::ios::binary) << "not a layout";
  EXPECT_EQ(Uchr("inspect " + Path("junk.uchr")).exit_code, 1);
}

TEST_F(UchrCommand, CommandLineErrors) {
  Outcome unknown = Uchr("compile no-such-layout " + Path("x.uchr"));
  EXPECT_EQ(unknown.exit_code, 1);
  EXPECT_NE(unknown.output.find("no XKB layout 'no-such-layout'"), std::string::npos) << unknown.output;
  EXPECT_EQ(Uchr("compile de").exit_code, 2);
  EXPECT_EQ(Uchr("frobnicate").exit_code, 2);
  EXPECT_EQ(Uchr("inspect " + Path("missing.uchr")).exit_code, 3);
  std::string file = Path("us.uchr");
  ASSERT_EQ(Uchr("compile us " + file).exit_code, 0);
  EXPECT_EQ(Uchr("type " + file + " shift+nokey").exit_code, 2);
  Outcome help = Uchr("--help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.output.find("hearthtool uchr compile"), std::string::npos);
}

}  // namespace
