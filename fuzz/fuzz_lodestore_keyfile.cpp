// The encrypted root's key file after decryption: any text through the property-list parse
// and the whole user build, then the passphrase check of every built user (with few
// iterations), the revert unlock, the volume-key unwrap under a KEK from the input, the
// lookups and the key-store block; everything is freed and wiped after each run.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "config/plist_pool.h"
#include "fde/key_chain.h"
#include "fde/key_store.h"
#include "fde/lodestore_load.h"
#include "fde/wrapped_key.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

namespace {

constexpr uint32_t kMaxFuzzIterations = 16;

// PBKDF2 and the key check at the file's own counts only when they are small.
bool Affordable(const LodestoreUser& user) {
  const UINT8* data = nullptr;
  UINTN length = 0;
  PassphraseWrappedKek wrap;
  if (!PlistDictData(user.dict, "PassphraseWrappedKEKStruct", &data, &length) ||
      EFI_ERROR(PassphraseWrappedKekParse(ByteSpan(data, length), &wrap))) {
    return true;  // refused before any work
  }
  return wrap.iterations <= kMaxFuzzIterations && LoadLe32(wrap.check.data() + kKeyCheckCountOffset) <= 64;
}

void Exercise(LodestoreState& s, const uint8_t* data, size_t size) {
  const LodestoreConfig& c = s.config;
  if (c.panel_count > c.panel_expected || c.user_count > c.user_capacity) abort();
  for (UINT32 i = 0; i < c.user_count; ++i) {
    if (c.users[i].name_count && !c.users[i].names) abort();
    if (Affordable(c.users[i])) VerifyPassphrase(nullptr, &c.users[i], u"fuzz", &s.unlock);
  }
  UnlockWithRevertUser();
  KeyRecord kek{};
  kek.length = 16;
  for (size_t i = 0; i < 16 && i < size; ++i) kek.bytes[i] = data[i];
  const char* ident = nullptr;
  UnwrapVolumeKeys(kek, &ident);
  UINT8 uuid[16] = {}, key[64];
  UINTN copied = 0;
  LookupLodestoreVolumeKey(uuid, key, sizeof(key), &copied);
  UINTN block_size = 0;
  BuildKeyStore(nullptr, 0, &block_size);
  std::vector<uint8_t> block(block_size);
  BuildKeyStore(block.data(), block.size(), &block_size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TestFirmware* firmware = new TestFirmware;
  (void)firmware;
  std::vector<char> text(data, data + size);
  LodestoreState& s = Lodestore();
  if (!EFI_ERROR(ParseKeyFile(text.data(), text.size(), "6A0E6C2B-1F1D-4B6E-9A1C-0D6E8B4F2A11", &s.config))) {
    s.loaded = true;
    Exercise(s, data, size);
  }
  LodestoreWipeSecrets();
  LodestoreConfigFree(&s.config);
  s = {};
  PlistPoolCounts pool{};
  PlistGetPoolCounts(&pool);
  if (pool.liveNodes != 0 || TrackedAllocationCount() != pool.nodeBlocks + pool.symbols) abort();
  return 0;
}
