// Loading the key file: header copies and checksums, decryption, users and their roles.
#include <gtest/gtest.h>

#include <cstring>

#include "config/plist_pool.h"
#include "fde/lodestore_partition.h"
#include "fde/lodestore_users.h"
#include "fde/volume_header.h"
#include "lodestore_support.h"

namespace lodestore_test {
namespace {

std::string WithVolume(const std::string& volume_line) {
  std::string d = BaseDescription();
  return volume_line + "\n" + d.substr(d.find('\n') + 1);
}

TEST(LodestoreLoad, HeaderCopiesChecksumsAndKeyKinds) {
  struct Case {
    const char* volume;
    EFI_STATUS expected;
    bool end_message;    // "@end ... trying @start"
    bool start_message;  // "@start ... invalid."
  } cases[] = {
      {"volume size=65536 placement=end checksum=1", EFI_SUCCESS, false, false},
      {"volume size=65536 placement=start checksum=1", EFI_SUCCESS, true, false},
      {"volume size=65536 placement=start-bad-end checksum=1", EFI_SUCCESS, true, false},
      {"volume size=65536 placement=both checksum=0", EFI_SUCCESS, false, false},
      {"volume size=65536 placement=start-bad-end checksum=0", EFI_SUCCESS, true, false},
      {"volume size=65536 placement=both checksum=1 key-length=32", EFI_SUCCESS, false, false},
      {"volume size=65536 placement=end checksum=1 key-length=24", EFI_SUCCESS, false, false},
      {"volume size=65536 placement=end checksum=1 key-kind=1", EFI_SUCCESS, false, false},  // stored plain
      {"volume size=65536 placement=both checksum=2", EFI_VOLUME_CORRUPTED, true, true},
      {"volume size=65536 placement=bad-both checksum=1", EFI_VOLUME_CORRUPTED, true, true},
  };
  // Each also on a partition with Block I/O alone, as U-Boot's UEFI offers them.
  for (bool block_io_only : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.volume) + (block_io_only ? ", block I/O only" : ""));
      LodestoreMachine m;
      m.Install(Make(WithVolume(c.volume)));
      if (block_io_only) m.fw->UninstallProtocol(m.volume->Handle(), kEfiDiskIoProtocolGuid);
      EXPECT_EQ(m.Load(), c.expected);
      EXPECT_EQ(Lodestore().loaded, c.expected == EFI_SUCCESS);
      EXPECT_EQ(m.Console().find("@end LDFDE volume header invalid; trying @start...") != std::string::npos, c.end_message);
      EXPECT_EQ(m.Console().find("@start LDFDE volume header invalid.") != std::string::npos, c.start_message);
      if (c.expected == EFI_SUCCESS) {
        EXPECT_EQ(Lodestore().config.panel_count, 2u);
      }
    }
  }
}

TEST(LodestoreLoad, HeaderFieldsAreChecked) {
  wipekey::Volume v;
  Bytes key(16, 0x42);
  Bytes good = wipekey::VolumeHeader(v, key);
  VolumeHeaderKey parsed;
  ASSERT_EQ(VolumeHeaderParse(ByteSpan(good.data(), good.size()), &parsed), EFI_SUCCESS);
  EXPECT_EQ(parsed.key_length, 16);
  EXPECT_EQ(Bytes(parsed.key, parsed.key + 16), key);
  struct Case {
    const char* what;
    size_t offset;
    uint8_t value;
  } cases[] = {{"block type", 10, 15}, {"signature", 88, 'X'}, {"seed", 4, 0xFE}, {"checksum", 0, 0},
               {"key length 20", 168, 20}, {"checksummed byte", 300, 1}};
  for (const Case& c : cases) {
    Bytes bad = good;
    bad[c.offset] = c.value;
    EXPECT_EQ(VolumeHeaderParse(ByteSpan(bad.data(), bad.size()), &parsed), EFI_VOLUME_CORRUPTED) << c.what;
    EXPECT_EQ(parsed.key[0], 0) << c.what;
  }
  EXPECT_EQ(VolumeHeaderParse(ByteSpan(good.data(), 511), &parsed), EFI_VOLUME_CORRUPTED);
}

TEST(LodestoreLoad, KeyFileIsFoundInTheCacheFolderFirst) {
  LodestoreMachine m;
  wipekey::Output out = Make(BaseDescription());
  m.Install(out, "\\System\\Library\\Caches\\com.tarn.lodestore\\EncryptedRoot.plist.wipekey");
  m.boot.AddFile("\\EncryptedRoot.plist.wipekey", std::string("not a key file"));
  EXPECT_EQ(m.Load(), EFI_SUCCESS);
}

TEST(LodestoreLoad, MissingEmptyOrUnreadableKeyFiles) {
  {
    LodestoreMachine m;
    EXPECT_EQ(m.Load(), EFI_NOT_FOUND);
  }
  {
    LodestoreMachine m;
    wipekey::Output out = Make(BaseDescription());
    out.key_file.clear();
    m.Install(out);
    EXPECT_EQ(m.Load(), EFI_NOT_FOUND);
  }
  {
    // The header key of another volume: the text comes out as noise.
    LodestoreMachine m;
    wipekey::Output out = Make(BaseDescription());
    out.volume = Make(WithVolume("volume size=65536 key=hex:000102030405060708090A0B0C0D0E0F")).volume;
    m.Install(out);
    EXPECT_EQ(m.Load(), EFI_INVALID_PARAMETER);
    EXPECT_FALSE(Lodestore().loaded);
  }
  {
    LodestoreMachine m;
    m.Install(Make(BaseDescription()));
    LodestoreLoadInputs network{reinterpret_cast<EFI_LOAD_FILE_PROTOCOL*>(&m), m.root, nullptr, false};
    EXPECT_EQ(LoadLodestoreConfiguration(network), EFI_NOT_FOUND);
  }
}

TEST(LodestoreLoad, BootPartitionThatCannotBeNamedEndsTheBoot) {
  LodestoreMachine m;
  m.Install(Make(BaseDescription()));
  std::vector<uint8_t> no_partition = DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).Build();
  std::vector<uint8_t> first = DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(1).Build();  // none before it
  struct Case {
    std::vector<uint8_t>* path;
    const char* message;
  } cases[] = {{&no_partition, "Could not get boot device partition ID\n"},
               {&first, "Can't get Lodestore partition EFI handle\n"}};
  for (const Case& c : cases) {
    m.fw->ClearConsole();
    LodestoreLoadInputs in{nullptr, m.root, reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(c.path->data()), false};
    auto run = m.fw->Run([&] { return LoadLodestoreConfiguration(in); });
    EXPECT_EQ(run.how, TestFirmware::RunResult::How::kExited);
    EXPECT_NE(m.Console().find(c.message), std::string::npos) << m.Console();
  }
}

TEST(LodestorePartition, AddressVendorNodesCompareOnTheirAddressOnly) {
  auto vendor = [](uint64_t address, uint8_t extra) {
    DevicePathBuilder b;
    std::vector<uint8_t> payload(16 + 8 + 4, extra);
    std::memcpy(payload.data(), &kLodestoreAddressVendorGuid, 16);
    for (int i = 0; i < 8; ++i) payload[16 + i] = static_cast<uint8_t>(address >> (8 * i));
    return b.Acpi().Pci(0x1C, 0).Node(MESSAGING_DEVICE_PATH, MSG_VENDOR_DP, payload);
  };
  std::vector<uint8_t> boot = vendor(0x1000, 1).HardDrive(3).Build();
  std::vector<uint8_t> same_address = vendor(0x1000, 9).HardDrive(2).Build();
  std::vector<uint8_t> other_address = vendor(0x2000, 1).HardDrive(2).Build();
  std::vector<uint8_t> wrong_number = vendor(0x1000, 1).HardDrive(1).Build();
  ByteSpan b(boot.data(), boot.size() - 4);
  EXPECT_TRUE(LodestoreIsPartitionOfBootDisk(ByteSpan(same_address.data(), same_address.size() - 4), b, 2));
  EXPECT_FALSE(LodestoreIsPartitionOfBootDisk(ByteSpan(other_address.data(), other_address.size() - 4), b, 2));
  EXPECT_FALSE(LodestoreIsPartitionOfBootDisk(ByteSpan(wrong_number.data(), wrong_number.size() - 4), b, 2));
}

// The users of a key file, as the login window receives them.
struct UserCase {
  const char* what;
  std::string users;  // user lines after the base volume and KEK lines
  std::vector<std::string> panel;
  std::vector<std::string> special;  // slots 0..4, "" empty
  std::vector<const char*> messages;
  EFI_STATUS expected = EFI_SUCCESS;
};

std::string Users(const std::string& lines) {
  return "volume size=65536\nkek name=A ident=" + kKekA + "\n" + lines + "volume-key ident=" + kVolume + " kek=A\n";
}

TEST(LodestoreUsers, RolesSlotsAndWarnings) {
  const std::string anne = "user type=panel ident=" + kAnne + " name=Anne picture=text:P passphrase=x kek=A\n";
  const std::string ben = "user type=panel ident=" + kBen + " name=Ben picture=text:P passphrase=y kek=A\n";
  const std::string master = "user type=master ident=11111111-0000-4000-8000-000000000001 passphrase=m kek=A\n";
  const std::string recovery = "user type=recovery-key ident=22222222-0000-4000-8000-000000000002 passphrase=r kek=A\n";
  const std::string disk = "user type=disk ident=33333333-0000-4000-8000-000000000003 passphrase=d kek=A\n";
  const std::string untyped = "user type=none ident=44444444-0000-4000-8000-000000000004 passphrase=z kek=A\n";
  const std::string revert = "user type=revert ident=55555555-0000-4000-8000-000000000005 kek=A\n";
  UserCase cases[] = {
      {"panel and special users", anne + master + ben + recovery + disk, {kAnne, kBen},
       {"11111111-0000-4000-8000-000000000001", "22222222-0000-4000-8000-000000000002",
        "33333333-0000-4000-8000-000000000003", "", ""}, {}},
      {"third user without a type counts panel users among the first two", anne + master + untyped + ben,
       {kAnne}, {"11111111-0000-4000-8000-000000000001", "", "", "", ""},
       {"BuildUser(): can't build user without type\n"}},
      {"unknown password-based type", "user type=0x10990009 ident=" + kAnne + " picture=text:P passphrase=x kek=A\n",
       {kAnne}, {"", "", "", "", ""}, {"WARNING: unknown password-based user\n"}},
      {"revert user is not shown", anne + revert, {kAnne}, {"", "", "", "", ""},
       {"BuildUser(): error building a user of type 0x20080007\n"}},
      {"unknown type without the password bit", anne + "user type=0x20000042 ident=" + kBen + "\n", {kAnne},
       {"", "", "", "", ""}, {"BuildUser(): error building a user of type 0x20000042\n"}},
      {"panel user without a picture", "user type=panel ident=" + kAnne + " passphrase=x kek=A\n", {kAnne},
       {"", "", "", "", ""}, {"WARNING: No graphics for panel user (type 0x10060002).\n"}},
      {"only a revert user", revert, {}, {},
       {"ERROR: no panel or special users!\n", "No LDFDE users processed\n"}, EFI_VOLUME_CORRUPTED},
  };
  for (const UserCase& c : cases) {
    SCOPED_TRACE(c.what);
    LodestoreMachine m;
    m.Install(Make(Users(c.users)));
    ASSERT_EQ(m.Load(), c.expected) << m.Console();
    for (const char* message : c.messages) EXPECT_NE(m.Console().find(message), std::string::npos) << message;
    if (c.expected != EFI_SUCCESS) continue;
    const LodestoreConfig& config = Lodestore().config;
    std::vector<std::string> panel, special;
    for (UINT32 i = 0; i < config.panel_count; ++i) panel.push_back(config.panel[i]->ident);
    for (LodestoreUser* user : config.special) special.push_back(user ? user->ident : "");
    EXPECT_EQ(panel, c.panel);
    EXPECT_EQ(special, c.special);
  }
}

TEST(LodestoreUsers, NamesPicturesFlagsAndExternalKeys) {
  LodestoreMachine m;
  m.Install(Make(Users("user type=panel ident=" + kAnne + " name=Anne name=\"Anne A.\" picture=text:PNG-anne passphrase=x kek=A\n"
                       "user type=panel ident=" + kBen + " picture=text:PNG-ben passphrase=y kek=A\n"
                       "user type=external-key ident=99999999-0000-4000-8000-000000000009 os-user=" + kBen + "\n")));
  ASSERT_EQ(m.Load(), EFI_SUCCESS);
  const LodestoreConfig& config = Lodestore().config;
  ASSERT_EQ(config.panel_count, 2u);
  const LodestoreUser& anne = *config.panel[0];
  ASSERT_EQ(anne.name_count, 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(anne.names[1].bytes), anne.names[1].length), "Anne A.");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(anne.picture), anne.picture_length), "PNG-anne");
  EXPECT_EQ(anne.standard, 1);
  EXPECT_EQ(anne.external_key, 0);
  EXPECT_EQ(config.panel[1]->external_key, 1);
  EXPECT_EQ(config.panel[1]->name_count, 0u);
}

TEST(LodestoreUsers, LastLoginSlotOnlyWithHibernationPending) {
  for (bool hibernate : {false, true}) {
    LodestoreMachine m;
    m.Install(Make(BaseDescription()));
    m.fw->SetVariable(u"last-oslogin-ident", kLodestoreLoginGuid, kBen, 6);
    ASSERT_EQ(m.Load(hibernate), EFI_SUCCESS);
    LodestoreUser* last = Lodestore().config.special[kSlotLastLogin];
    EXPECT_EQ(last ? std::string(last->ident) : "", hibernate ? kBen : "");
  }
}

TEST(LodestoreUsers, MissingVolumeKeysOrUsers) {
  struct Case {
    const char* what;
    std::string text;
    EFI_STATUS expected;
  } cases[] = {
      {"no volume keys", "volume size=65536\nkek name=A ident=" + kKekA + "\nuser type=panel ident=" + kAnne +
                             " passphrase=x kek=A\n", EFI_VOLUME_CORRUPTED},
      {"no users", "volume size=65536\nkek name=A ident=" + kKekA + "\nvolume-key ident=" + kVolume + " kek=A\n",
       EFI_NOT_FOUND},
  };
  for (const Case& c : cases) {
    LodestoreMachine m;
    m.Install(Make(c.text));
    EXPECT_EQ(m.Load(), c.expected) << c.what;
    EXPECT_FALSE(Lodestore().loaded) << c.what;
  }
}

TEST(LodestoreLoad, OutOfMemoryAnywhereLeavesNothingBehind) {
  wipekey::Output out = Make(BaseDescription());
  bool completed = false;
  for (int n = 1; n < 200 && !completed; ++n) {
    LodestoreMachine m;
    m.Install(out);
    m.fw->FailNthPoolAllocation(n);
    m.fw->WatchSecret(Bytes(out.header.begin() + 176, out.header.begin() + 192));
    EFI_STATUS status = EFI_ABORTED;
    LodestoreLoadInputs in{nullptr, m.root, reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(m.boot_path.data()), false};
    auto run = m.fw->Run([&] { return status = LoadLodestoreConfiguration(in); });
    bool fired = !m.fw->FaultPending();
    m.fw->FailNthPoolAllocation(0);
    m.Finish();
    EXPECT_EQ(m.fw->SecretsLeaked(), 0) << n;
    if (run.how != TestFirmware::RunResult::How::kReturned) continue;  // the parser's own fatal path
    PlistPoolCounts pool{};
    PlistGetPoolCounts(&pool);  // node blocks and key names stay for the next parse
    EXPECT_EQ(TrackedAllocationCount(), pool.nodeBlocks + pool.symbols) << n;
    EXPECT_EQ(pool.liveNodes, 0u) << n;
    if (!fired) {
      EXPECT_EQ(status, EFI_SUCCESS);
      completed = true;
    }
  }
  EXPECT_TRUE(completed);
}

}  // namespace
}  // namespace lodestore_test
