#include <gtest/gtest.h>

#include <memory>

#include "flags/boot_mode.h"
#include "fde/boot_notes.h"
#include "flags/guids.h"
#include "boot_notes_support.h"
#include "memory/memory.h"
#include "testfw/memory_smc.h"
#include "testfw/test_firmware.h"

namespace {

using namespace boot_notes_test;

constexpr EFI_GUID kBootInfoGuid = {0x8D63D4FE, 0xBD3C, 0x4AAD, {0x88, 0x1D, 0x86, 0xFD, 0x97, 0x4B, 0xC1, 0xDF}};

// What the last run left: a sealed payload, the key that opens it (data key then tweak key)
// and a page of memory for copies of that key.
class BootNotes : public ::testing::Test {
 protected:
  void SetUp() override {
    fw_ = std::make_unique<TestFirmware>();
    fw_->WatchSecret(key_);
    fw_->WatchSecret(Pattern(112, 0x5C));  // the never-delivered rest of the unlock record
    page_ = 0x7FFFFFFF;
    ASSERT_EQ(gBS->AllocatePages(AllocateMaxAddress, EfiLoaderData, 1, &page_), EFI_SUCCESS);
    std::fill(Page(), Page() + 4096, 0xC3);
  }
  void TearDown() override {
    gBS->FreePages(page_, 1);  // the firmware checks the page for a surviving key copy
    EXPECT_EQ(fw_->SecretsLeaked(), 0);
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }

  uint8_t* Page() { return reinterpret_cast<uint8_t*>(page_); }
  Bytes PageBytes(size_t offset, size_t size) { return Bytes(Page() + offset, Page() + offset + size); }
  void PutKeyCopy(size_t offset, const Bytes& key) { std::copy(key.begin(), key.end(), Page() + offset); }

  Bytes DataKey() const { return Bytes(key_.begin(), key_.begin() + 16); }
  Bytes TweakKey() const { return Bytes(key_.begin() + 16, key_.end()); }
  void SetPayload(const PlainPayload& plain) {
    fw_->SetVariable(u"boot-info-payload", kBootInfoGuid, 7, Encrypt(plain.bytes, DataKey(), TweakKey()));
  }
  void SetNote(uint64_t key_size, const Bytes& key, const std::vector<uint64_t>& offsets) {
    std::vector<uint64_t> addresses;
    for (uint64_t offset : offsets) addresses.push_back(page_ + offset);
    fw_->SetVariable(u"boot-note", TarnBootGuid, 7, Note(key_size, key, addresses));
  }
  bool PayloadLeft() const { return fw_->GetVariable(u"boot-info-payload", kBootInfoGuid).has_value(); }
  bool NoteLeft() const { return fw_->GetVariable(u"boot-note", TarnBootGuid).has_value(); }
  const Bytes& Key() const { return key_; }

  std::unique_ptr<TestFirmware> fw_;
  const Bytes unlock_key_ = Pattern(16, 0x33);
  const Bytes blob_ = Pattern(40, 0x77);
  const PlainPayload plain_{1, unlock_key_, 40, blob_};
  EFI_PHYSICAL_ADDRESS page_ = 0;

 private:
  const Bytes key_ = Pattern(32, 0x10);
};

TEST_F(BootNotes, SmcKeyOpensThePayload) {
  MemorySmc smc;
  smc.SetKey("HBKP", Key());
  SetPayload(plain_);
  SetNote(32, Key(), {0x100});
  PutKeyCopy(0x100, Key());

  EXPECT_EQ(ProcessBootNotes(), 0);
  EXPECT_EQ(Bytes(DeliveredUnlockKey().bytes, DeliveredUnlockKey().bytes + 16), unlock_key_);
  EXPECT_EQ(DeliveredUnlockKey().length, 16u);
  EXPECT_EQ(Bytes(DeliveredKeyStoreBlob().bytes, DeliveredKeyStoreBlob().bytes + 40), blob_);
  EXPECT_EQ(DeliveredKeyStoreBlob().length, 40u);
  EXPECT_EQ(smc.Value("HBKP"), Bytes(32, 0));
  EXPECT_FALSE(PayloadLeft());
  EXPECT_FALSE(NoteLeft());
  EXPECT_EQ(PageBytes(0x100, 32), Key());  // the note was not needed, so not read
  std::fill(Page(), Page() + 4096, 0);     // (a key copy the test itself planted)
  WipeSecrets();
}

TEST_F(BootNotes, NoteKeyWhenThereIsNoSmc) {
  SetPayload(plain_);
  SetNote(32, Key(), {0x100, 0x200, 0x800});
  PutKeyCopy(0x100, Key());
  PutKeyCopy(0x800, Key());

  EXPECT_EQ(ProcessBootNotes(), 0);
  EXPECT_EQ(DeliveredUnlockKey().length, 16u);
  EXPECT_EQ(PageBytes(0x100, 32), Bytes(32, 0));  // both copies zeroed
  EXPECT_EQ(PageBytes(0x800, 32), Bytes(32, 0));
  EXPECT_EQ(PageBytes(0x200, 32), Bytes(32, 0xC3));
  EXPECT_FALSE(PayloadLeft());
  EXPECT_FALSE(NoteLeft());
}

TEST_F(BootNotes, WrongSmcKeyFallsBackToTheNote) {
  MemorySmc smc;
  smc.SetKey("HBKP", Bytes(32, 0));
  SetPayload(plain_);
  SetNote(32, Key(), {0x400});
  PutKeyCopy(0x400, Key());

  EXPECT_EQ(ProcessBootNotes(), 0);
  EXPECT_EQ(smc.Writes("HBKP"), 1);
  EXPECT_EQ(PageBytes(0x400, 32), Bytes(32, 0));
  EXPECT_FALSE(NoteLeft());
}

TEST_F(BootNotes, UnusableNotesDeliverNothing) {
  struct Case {
    const char* what;
    uint64_t key_size;
    bool copy_matches;
  } cases[] = {
      {"key size 24", 24, true},
      {"no copy matches", 32, false},
  };
  for (const Case& c : cases) {
    SetPayload(plain_);
    Bytes listed = c.copy_matches ? Key() : Pattern(32, 0x99);
    SetNote(c.key_size, listed, {0x100});
    PutKeyCopy(0x100, Key());
    EXPECT_EQ(ProcessBootNotes(), -1) << c.what;
    EXPECT_EQ(DeliveredUnlockKey().length, 0u) << c.what;
    EXPECT_FALSE(PayloadLeft()) << c.what;
    EXPECT_FALSE(NoteLeft()) << c.what;
    EXPECT_EQ(PageBytes(0x100, 32), Key()) << c.what;  // an unmatched copy is not touched
  }
  std::fill(Page(), Page() + 4096, 0);
}

TEST_F(BootNotes, PayloadThatFailsItsDigestDeliversNothing) {
  PlainPayload forged = plain_;
  forged.bytes[50] ^= 0x80;  // changed after sealing
  SetPayload(forged);
  SetNote(32, Key(), {0x100});
  PutKeyCopy(0x100, Key());

  EXPECT_EQ(ProcessBootNotes(), -1);
  EXPECT_EQ(DeliveredUnlockKey().length, 0u);
  EXPECT_EQ(DeliveredKeyStoreBlob().length, 0u);
  EXPECT_EQ(PageBytes(0x100, 32), Bytes(32, 0));  // the key was consumed all the same
  EXPECT_FALSE(NoteLeft());
}

TEST_F(BootNotes, OpenedPayloadIsWipedEvenWhenItOffersNothing) {
  SetPayload(PlainPayload(0, unlock_key_, 0, {}));
  SetNote(32, Key(), {0x100});
  PutKeyCopy(0x100, Key());
  EXPECT_EQ(ProcessBootNotes(), -1);  // TearDown finds no trace of the opened record
}

TEST_F(BootNotes, RecoveryAndHibernationOnlyDeleteTheNotes) {
  for (UINT64 flag : {kBootModeRecovery, kBootModeHibernate}) {
    MemorySmc smc;
    smc.SetKey("HBKP", Key());
    SetPayload(plain_);
    SetNote(32, Key(), {0x100});
    PutKeyCopy(0x100, Key());
    BootModeFlags = flag;
    EXPECT_EQ(ProcessBootNotes(), -1);
    EXPECT_EQ(smc.Reads("HBKP"), 0);
    EXPECT_EQ(PageBytes(0x100, 32), Key());
    EXPECT_FALSE(PayloadLeft());
    EXPECT_FALSE(NoteLeft());
  }
  std::fill(Page(), Page() + 4096, 0);
}

TEST_F(BootNotes, WithoutAPayloadTheNoteStays) {
  MemorySmc smc;
  smc.SetKey("HBKP", Key());
  SetNote(32, Key(), {0x100});
  EXPECT_EQ(ProcessBootNotes(), -1);
  EXPECT_EQ(smc.Reads("HBKP"), 0);
  EXPECT_TRUE(NoteLeft());
}

TEST_F(BootNotes, OddSizedVariablesAreDroppedUnread) {
  struct Case {
    const char* what;
    size_t payload_size;
    size_t note_size;
  } cases[] = {
      {"short payload", kBootInfoPayloadSize - 1, 24},
      {"long payload", kBootInfoPayloadSize + 1, 24},
      {"oversized note", kBootInfoPayloadSize, kBootNoteMaxSize + 8},
  };
  for (const Case& c : cases) {
    fw_->SetVariable(u"boot-info-payload", kBootInfoGuid, 7, Bytes(c.payload_size, 0x42));
    Bytes note = Note(32, Key(), std::vector<uint64_t>((c.note_size - 16) / 8, page_ + 0x100));
    fw_->SetVariable(u"boot-note", TarnBootGuid, 7, note);
    PutKeyCopy(0x100, Key());
    EXPECT_EQ(ProcessBootNotes(), -1) << c.what;
    EXPECT_FALSE(PayloadLeft()) << c.what;
    EXPECT_EQ(PageBytes(0x100, 32), Key()) << c.what;
    EXPECT_EQ(NoteLeft(), c.payload_size != kBootInfoPayloadSize) << c.what;
  }
  std::fill(Page(), Page() + 4096, 0);
}

}  // namespace
