#include <gtest/gtest.h>

#include "fde/boot_info.h"
#include "boot_notes_support.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

namespace {

using namespace boot_notes_test;

const Bytes kDataKey = Pattern(16, 0x11);
const Bytes kTweakKey = Pattern(16, 0x92);
const Bytes kUnlockKey = Pattern(16, 0x33);

struct Opened {
  EFI_STATUS status;
  Bytes plain;
};

Opened Open(const Bytes& payload, const KeyRecord& key) {
  Opened out{EFI_SUCCESS, Bytes(kBootInfoPayloadSize, 0xEE)};
  out.status = BootInfoOpen(ByteSpan(payload.data(), payload.size()), key, out.plain.data());
  return out;
}

TEST(BootInfoOpen, DecryptsAndChecksTheDigest) {
  TestFirmware fw;
  PlainPayload plain(1, kUnlockKey, 3, {7, 8, 9});
  Opened opened = Open(Encrypt(plain.bytes, kDataKey, kTweakKey), PayloadKey(kDataKey, kTweakKey));
  EXPECT_EQ(opened.status, EFI_SUCCESS);
  EXPECT_EQ(opened.plain, plain.bytes);
}

TEST(BootInfoOpen, FailuresLeaveNothingBehind) {
  TestFirmware fw;
  fw.WatchSecret(kDataKey);
  fw.WatchSecret(kTweakKey);
  PlainPayload plain(1, kUnlockKey, 0, {});
  Bytes sealed = Encrypt(plain.bytes, kDataKey, kTweakKey);
  Bytes tampered = plain.bytes;
  tampered[100] ^= 1;  // a hashed byte changed after sealing
  KeyRecord good = PayloadKey(kDataKey, kTweakKey);
  KeyRecord wrong_length = good;
  wrong_length.length = 32;
  struct Case {
    const char* what;
    Bytes payload;
    KeyRecord key;
    EFI_STATUS status;
  } cases[] = {
      {"digest differs", Encrypt(tampered, kDataKey, kTweakKey), good, EFI_CRC_ERROR},
      {"wrong key", sealed, PayloadKey(kTweakKey, kDataKey), EFI_CRC_ERROR},
      {"short payload", Bytes(sealed.begin(), sealed.end() - 1), good, EFI_BAD_BUFFER_SIZE},
      {"long payload", Bytes(kBootInfoPayloadSize + 16, 1), good, EFI_BAD_BUFFER_SIZE},
      {"key record length", sealed, wrong_length, EFI_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    Opened opened = Open(c.payload, c.key);
    EXPECT_EQ(opened.status, c.status) << c.what;
    EXPECT_EQ(opened.plain, Bytes(kBootInfoPayloadSize, 0)) << c.what;
  }
  EXPECT_EQ(fw.SecretsLeaked(), 0);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST(BootInfoRead, TakesTheFieldsWithinTheirRecords) {
  struct Case {
    uint32_t present;
    uint32_t blob_length;
    size_t key_size;
    size_t blob_size;
    bool too_long;
  } cases[] = {
      {0, 0, 0, 0, false},    {1, 0, 16, 0, false},   {0xFFFFFFFF, 0, 16, 0, false},
      {0, 1, 0, 1, false},    {1, 128, 16, 128, false}, {1, 129, 16, 0, true},
      {0, 0xFFFFFFFF, 0, 0, true},
  };
  for (const Case& c : cases) {
    PlainPayload plain(c.present, kUnlockKey, c.blob_length, Pattern(128, 0x44));
    BootInfoContents contents;
    ASSERT_EQ(BootInfoRead(ByteSpan(plain.bytes.data(), plain.bytes.size()), &contents), EFI_SUCCESS);
    EXPECT_EQ(contents.unlock_key.size(), c.key_size) << c.present;
    EXPECT_EQ(contents.key_store_blob.size(), c.blob_size) << c.blob_length;
    EXPECT_EQ(contents.key_store_too_long, c.too_long) << c.blob_length;
    if (c.key_size) {
      EXPECT_EQ(Bytes(contents.unlock_key.data(), contents.unlock_key.data() + 16), kUnlockKey);
    }
  }
  BootInfoContents contents;
  EXPECT_EQ(BootInfoRead(ByteSpan(kUnlockKey.data(), kUnlockKey.size()), &contents), EFI_BAD_BUFFER_SIZE);
}

TEST(BootInfoDeliver, FillsTheRecordsUntilWiped) {
  TestFirmware fw;
  Bytes blob = Pattern(100, 0x61);
  PlainPayload plain(1, kUnlockKey, 100, blob);
  EXPECT_TRUE(BootInfoDeliver(ByteSpan(plain.bytes.data(), plain.bytes.size())));
  const KeyRecord& key = DeliveredUnlockKey();
  const KeyRecord& store = DeliveredKeyStoreBlob();
  EXPECT_EQ(key.length, 16u);
  EXPECT_EQ(Bytes(key.bytes, key.bytes + 16), kUnlockKey);
  EXPECT_EQ(Bytes(key.bytes + 16, key.bytes + 128), Bytes(112, 0));  // only the 16 key bytes
  EXPECT_EQ(store.length, 100u);
  EXPECT_EQ(Bytes(store.bytes, store.bytes + 100), blob);

  WipeSecrets();
  const uint8_t* raw_key = reinterpret_cast<const uint8_t*>(&key);
  const uint8_t* raw_store = reinterpret_cast<const uint8_t*>(&store);
  EXPECT_EQ(Bytes(raw_key, raw_key + sizeof(KeyRecord)), Bytes(sizeof(KeyRecord), 0));
  EXPECT_EQ(Bytes(raw_store, raw_store + sizeof(KeyRecord)), Bytes(sizeof(KeyRecord), 0));
}

TEST(BootInfoDeliver, NothingOfferedNothingDelivered) {
  TestFirmware fw;
  PlainPayload empty(0, kUnlockKey, 0, {});
  EXPECT_FALSE(BootInfoDeliver(ByteSpan(empty.bytes.data(), empty.bytes.size())));
  PlainPayload overlong(0, kUnlockKey, 200, {});
  EXPECT_FALSE(BootInfoDeliver(ByteSpan(overlong.bytes.data(), overlong.bytes.size())));
  EXPECT_EQ(DeliveredUnlockKey().length, 0u);
  EXPECT_EQ(DeliveredKeyStoreBlob().length, 0u);
}

TEST(DeliveredSecrets, RefuseWhatARecordCannotHold) {
  TestFirmware fw;
  Bytes big(129, 1);
  EXPECT_EQ(DeliverKeyStoreBlob(big.data(), 129), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DeliverKeyStoreBlob(big.data(), 0), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DeliverUnlockKey(nullptr, 16), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DeliveredKeyStoreBlob().length, 0u);
  EXPECT_EQ(DeliverKeyStoreBlob(big.data(), 128), EFI_SUCCESS);
  EXPECT_EQ(DeliveredKeyStoreBlob().length, 128u);
}

}  // namespace
