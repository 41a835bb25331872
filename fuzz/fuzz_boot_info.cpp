// The boot-info payload: a 32-byte key and any payload bytes through the opening (XTS-AES
// and the digest check), and any opened payload, its digest made to match, through the
// reading and delivery of the unlock key and key-store blob.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fde/boot_info.h"
#include "crypto/sha256.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

namespace {

void Open(const uint8_t* data, size_t size) {
  if (size < kBootInfoKeyBytes) return;
  KeyRecord key{};
  key.length = kBootInfoKeyRecordLength;
  for (size_t i = 0; i < kBootInfoKeyBytes; ++i) key.bytes[i] = data[i];
  uint8_t plain[kBootInfoPayloadSize];
  EFI_STATUS status = BootInfoOpen(ByteSpan(data + kBootInfoKeyBytes, size - kBootInfoKeyBytes), key, plain);
  if (EFI_ERROR(status)) {
    for (uint8_t b : plain) {
      if (b) abort();  // a failed opening leaves nothing behind
    }
  }
}

void Deliver(const uint8_t* data, size_t size) {
  std::vector<uint8_t> plain(data, data + size);
  if (plain.size() == kBootInfoPayloadSize) {
    Sha256(plain.data() + 32, plain.size() - 32, plain.data());  // the hashed ranges are contiguous
  }
  BootInfoContents contents;
  EFI_STATUS status = BootInfoRead(ByteSpan(plain.data(), plain.size()), &contents);
  if (EFI_ERROR(status) != (size != kBootInfoPayloadSize)) abort();
  if (contents.key_store_blob.size() > kKeyRecordMaxBytes) abort();
  BootInfoDeliver(ByteSpan(plain.data(), plain.size()));
  if (DeliveredKeyStoreBlob().length > kKeyRecordMaxBytes) abort();
  WipeSecrets();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TestFirmware* firmware = new TestFirmware;
  (void)firmware;
  Open(data, size);
  Deliver(data, size);
  if (TrackedAllocationCount() != 0) abort();
  return 0;
}
