#include "fde/key_store.h"

#include "config/uuid_text.h"
#include "devicetree/device_tree.h"
#include "fde/lodestore.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "memory/memory.h"
#include "output/console.h"

namespace {

struct KeyStoreRecord {
  UINT32 kind;
  UINT32 sub_kind;
  UINT8 uuid[16];
  const UINT8* payload;
  UINT32 length;
};

constexpr UINTN kMaxRecords = 3;

UINTN PaddedSize(UINT32 length) { return (kKeyStoreHeaderSize + length + 7) & ~UINTN(7); }

void UuidOf(const char* text, UINT8* uuid) {
  MemZero(uuid, 16);
  if (text && EFI_ERROR(UuidTextToBytes(text, AsciiStrLen(text), uuid))) MemZero(uuid, 16);
}

UINTN CollectRecords(KeyStoreRecord* records) {
  const LodestoreState& s = Lodestore();
  UINTN n = 0;
  if (s.unlock.user_ident && s.unlock.passphrase) {
    KeyStoreRecord& r = records[n++];
    r = {kKeyStoreKindPassphrase, 0, {}, reinterpret_cast<const UINT8*>(s.unlock.passphrase),
         static_cast<UINT32>(AsciiStrLen(s.unlock.passphrase))};
    UuidOf(s.unlock.user_ident, r.uuid);
  }
  if (s.kek.length) {
    KeyStoreRecord& r = records[n++];
    r = {kKeyStoreKindKek, 2, {}, s.kek.bytes, s.kek.length};
    UuidOf(s.kek_ident, r.uuid);
  }
  const KeyRecord& preset = DeliveredKeyStoreBlob();
  if (preset.length) records[n++] = {kKeyStoreKindPresetKey, 2, {}, preset.bytes, preset.length};
  return n;
}

void PublishIdent(DeviceTreeNode* chosen, const char* name, const char* ident, const char* warning) {
  if (!DeviceTreeAddProperty(chosen, name, static_cast<UINT32>(AsciiStrLen(ident) + 1), ident, true)) {
    ConsolePrint("%s", warning);
  }
}

void PublishIdents() {
  const LodestoreState& s = Lodestore();
  if (!s.loaded || !s.unlock.user_ident) return;
  DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", false);
  if (!chosen) {
    ConsolePrint("WARNING: couldn't find /chosen node -> not publishing EFI Login user\n");
    return;
  }
  PublishIdent(chosen, "efilogin-unlock-ident", s.unlock.user_ident, "WARNING: error publishing EFI Login unlock ident\n");
  if (s.reset_ident) {
    PublishIdent(chosen, "efilogin-reset-ident", s.reset_ident, "WARNING: error publishing EFI Login reset ident\n");
  }
}

}  // namespace

EFI_STATUS BuildKeyStore(UINT8* buffer, UINTN capacity, UINTN* size) {
  KeyStoreRecord records[kMaxRecords];
  UINTN count = CollectRecords(records);
  UINTN total = 0;
  for (UINTN i = 0; i < count; ++i) total += PaddedSize(records[i].length);
  *size = total;
  if (count == 0) return EFI_NOT_FOUND;
  if (!buffer) return EFI_SUCCESS;
  if (capacity < total) return EFI_BUFFER_TOO_SMALL;
  MemZero(buffer, total);
  UINT8* at = buffer;
  for (UINTN i = 0; i < count; ++i) {
    const KeyStoreRecord& r = records[i];
    UINTN record_size = PaddedSize(r.length);
    StoreLe32(at + kKeyStoreSizeOffset, i + 1 == count ? 0 : static_cast<UINT32>(record_size));
    StoreLe32(at + kKeyStoreKindOffset, r.kind);
    StoreLe32(at + kKeyStoreSubKindOffset, r.sub_kind);
    MemCopy(at + kKeyStoreUuidOffset, r.uuid, 16);
    StoreLe32(at + kKeyStorePayloadLengthOffset, r.length);
    MemCopy(at + kKeyStoreHeaderSize, r.payload, r.length);
    at += record_size;
  }
  return EFI_SUCCESS;
}

EFI_STATUS PublishUnlockResult(UINT8** buffer, UINTN* size, bool publish_idents) {
  if (!size) return EFI_INVALID_PARAMETER;
  UINTN needed = 0;
  EFI_STATUS status = BuildKeyStore(nullptr, 0, &needed);
  if (!buffer) {
    *size = needed;
    return status;
  }
  if (publish_idents) PublishIdents();
  if (EFI_ERROR(status)) {
    *size = 0;
    LodestoreWipeSecrets();
    return status;
  }
  if (!*buffer) {
    UINT64 region = needed;
    UINT64 kernel_address = 0;
    UINT64 physical = KernelMemoryAllocate(&region, &kernel_address);
    if (!physical) {
      LodestoreWipeSecrets();
      return EFI_OUT_OF_RESOURCES;
    }
    *buffer = reinterpret_cast<UINT8*>(static_cast<UINTN>(physical));
  } else if (*size < needed) {
    return EFI_BUFFER_TOO_SMALL;
  }
  status = BuildKeyStore(*buffer, needed, size);
  LodestoreWipeSecrets();
  return status;
}
