// The login users without the window: sorting, the recovery key's normalisation on its way
// to the unlock stage, the HiDPI choice and the name matching of the Voxlet pane and
// type-select.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flags/guids.h"
#include "login/login_ui.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tests/ui/ui_test_support.h"

namespace {

struct NamedUser {
  explicit NamedUser(std::vector<std::string> n) : names(std::move(n)) {
    for (const std::string& s : names) records.push_back({reinterpret_cast<const UINT8*>(s.data()), UINT32(s.size())});
    user.names = records.empty() ? nullptr : records.data();
    user.name_count = UINT32(records.size());
    user.ident = names.empty() ? "" : names[0].c_str();
  }
  std::vector<std::string> names;
  std::vector<LodestoreUserName> records;
  LodestoreUser user{};
};

std::vector<std::string> Sorted(std::vector<NamedUser>& users) {
  std::vector<const LodestoreUser*> list;
  for (NamedUser& u : users) list.push_back(&u.user);
  _LoginUISortUsersAlphabetically(list.data(), UINT32(list.size()));
  std::vector<std::string> out;
  for (const LodestoreUser* u : list) out.push_back(u->ident);
  return out;
}

TEST(LoginUsers, SortByFirstNameBytewise) {
  TestFirmware fw;
  struct Case {
    std::vector<std::string> in, out;
  } cases[] = {
      {{"bob", "Alice", "carol"}, {"Alice", "bob", "carol"}},
      {{"zoe", "Zoe", "ann", "Ann", "ann2", "an"}, {"Ann", "Zoe", "an", "ann", "ann2", "zoe"}},
      {{"b", "a"}, {"a", "b"}},
      {{"only"}, {"only"}},
      {{"e", "d", "c", "b", "a", "a"}, {"a", "a", "b", "c", "d", "e"}},
  };
  for (const Case& c : cases) {
    std::vector<NamedUser> users;
    for (const std::string& n : c.in) users.emplace_back(std::vector<std::string>{n});
    EXPECT_EQ(Sorted(users), c.out);
  }
}

TEST(LoginUsers, AUserWithoutNamesStopsTheSortAndKeepsEveryone) {
  TestFirmware fw;
  CaptureLog();
  std::vector<NamedUser> users;
  users.emplace_back(std::vector<std::string>{"bob"});
  users.emplace_back(std::vector<std::string>{"carol"});
  users.emplace_back(std::vector<std::string>{});
  users[2].user.ident = "nameless";
  std::vector<std::string> out = Sorted(users);
  std::sort(out.begin(), out.end());
  EXPECT_EQ(out, (std::vector<std::string>{"bob", "carol", "nameless"}));
  EXPECT_NE(CapturedLog().find("NumberOfNames is 0, impossible to sort"), std::string::npos);
}

struct Seen {
  std::u16string passphrase;
  const LodestoreUser* user = nullptr;
};
Seen gSeen;

BOOLEAN Record(void*, const LodestoreUser* user, const CHAR16* passphrase, UnlockRecord*) {
  gSeen = Seen{passphrase, user};
  return TRUE;
}

TEST(LoginUsers, OnlyTheRecoveryKeyUserGetsTheKeysLettersNormalised) {
  TestFirmware fw;
  LoginUIRecord ui{};
  ui.callbacks.verify_passphrase = Record;
  LodestoreUser source{};
  struct Case {
    UINT32 type;
    std::u16string expected;
  } cases[] = {{kLoginUserRecovery, u"LOL5-sx"}, {kLoginUserNormal, u"10lS-sx"}, {kLoginUserMaster, u"10lS-sx"}};
  for (const Case& c : cases) {
    LoginUserRef user{};
    user.type = c.type;
    user.source = &source;
    EXPECT_TRUE(_lw_ValidatePassword(nullptr, &user, u"10lS-sx", &ui));
    EXPECT_EQ(gSeen.passphrase, c.expected) << c.type;
    EXPECT_EQ(gSeen.user, &source);
  }
}

TEST(LoginUsers, WithoutAVerifyFunctionNothingIsAccepted) {
  TestFirmware fw;
  CaptureLog();
  LoginUIRecord ui{};
  LoginUserRef user{};
  EXPECT_FALSE(_lw_ValidatePassword(nullptr, &user, u"pw", &ui));
  EXPECT_FALSE(_lw_ValidatePassword(nullptr, &user, u"pw", nullptr));
  EXPECT_NE(CapturedLog().find("VerifyPassphraseFunction is NULL"), std::string::npos);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST(LoginUsers, HiDPIFromTheVariableElseFromTheFlag) {
  struct Case {
    const char* variable;  // null: absent
    UINT32 flags;
    bool hidpi;
  } cases[] = {{nullptr, 0, false}, {nullptr, kLoginFlagHiDpi, true}, {"0", kLoginFlagHiDpi, false},
               {"1", 0, true},      {"2", kLoginFlagHiDpi, false}, {"1", kLoginFlagHiDpi, true}};
  for (const Case& c : cases) {
    TestFirmware fw;
    if (c.variable) fw.SetVariable(u"EFILoginHiDPI", TarnBootGuid, std::string(c.variable) + std::string(3, '\0'), 6);
    EXPECT_EQ(LoginUIWantsHiDPI(c.flags), c.hidpi) << (c.variable ? c.variable : "absent") << " " << c.flags;
  }
}

LodestoreUserName Name(const std::string& s) { return {reinterpret_cast<const UINT8*>(s.data()), UINT32(s.size())}; }

TEST(LoginUsers, NameLookupFoldsCaseAndNeedsTheWholeName) {
  std::string anne = "Anne Marie";
  struct Case {
    std::string typed;
    bool exact, prefix;
  } cases[] = {{"anne marie", true, true}, {"ANNE MARIE", true, true}, {"Anne Marie", true, true},
               {"anne", false, true},      {"ANNE M", false, true},    {"", false, false},
               {"anne marie2", false, false}, {"bnne", false, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(LoginNameMatches(Name(anne), c.typed.data(), c.typed.size()), c.exact) << c.typed;
    EXPECT_EQ(LoginNamePrefixMatches(Name(anne), c.typed.data(), c.typed.size()), c.prefix) << c.typed;
  }
}

}  // namespace
