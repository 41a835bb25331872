#include "fde/boot_notes.h"

#include "fde/boot_info.h"
#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "machine/smc.h"
#include "diag/log.h"
#include "efi/efi.h"
#include "crypto/wipe.h"
#include "memory/memory.h"
#include "memory/owners.h"

namespace {

constexpr EFI_GUID kBootInfoGuid = {0x8D63D4FE, 0xBD3C, 0x4AAD, {0x88, 0x1D, 0x86, 0xFD, 0x97, 0x4B, 0xC1, 0xDF}};
constexpr const CHAR16* kPayloadVariable = u"boot-info-payload";
constexpr const CHAR16* kNoteVariable = u"boot-note";

void DeletePayloadVariable() { gRT->SetVariable(kPayloadVariable, &kBootInfoGuid, 0, 0, nullptr); }
void DeleteNoteVariable() { gRT->SetVariable(kNoteVariable, &TarnBootGuid, 0, 0, nullptr); }

// Reads and deletes the payload. EFI_NOT_FOUND when there is none; a payload of another
// size than 304 bytes is deleted and refused.
EFI_STATUS ReadPayload(UINT8* payload) {
  UINTN size = kBootInfoPayloadSize;
  EFI_STATUS status = gRT->GetVariable(kPayloadVariable, &kBootInfoGuid, nullptr, &size, payload);
  if (status == EFI_NOT_FOUND) return status;
  DeletePayloadVariable();
  if (EFI_ERROR(status)) return status;
  return size == kBootInfoPayloadSize ? EFI_SUCCESS : EFI_BAD_BUFFER_SIZE;
}

EFI_STATUS OpenWithSmcKey(const UINT8* payload, KeyRecord* key, UINT8* plain) {
  EFI_STATUS status = SmcTakeBootKey(key->bytes);
  if (EFI_ERROR(status)) return status;
  key->length = kBootInfoKeyRecordLength;
  return BootInfoOpen(ByteSpan(payload, kBootInfoPayloadSize), *key, plain);
}

// Reads and deletes "boot-note", then takes the key from the candidates it names.
EFI_STATUS TakeNoteKey(KeyRecord* key) {
  UINTN size = 0;
  EFI_STATUS status = gRT->GetVariable(kNoteVariable, &TarnBootGuid, nullptr, &size, nullptr);
  if (status != EFI_BUFFER_TOO_SMALL || size == 0) return EFI_NOT_FOUND;
  if (size > kBootNoteMaxSize) {
    DeleteNoteVariable();
    return EFI_BAD_BUFFER_SIZE;
  }
  UINT8* note = static_cast<UINT8*>(PoolAllocate(size));
  if (!note) return EFI_OUT_OF_RESOURCES;
  status = gRT->GetVariable(kNoteVariable, &TarnBootGuid, nullptr, &size, note);
  DeleteNoteVariable();
  BootNote parsed;
  if (!EFI_ERROR(status)) status = BootNoteParse(ByteSpan(note, size), &parsed);
  MemoryWindow* windows = nullptr;
  UINTN window_count = 0;
  if (!EFI_ERROR(status)) status = BootNoteMemoryWindows(&windows, &window_count);
  UINTN taken = 0;
  if (!EFI_ERROR(status)) status = BootNoteTakeKey(parsed, windows, window_count, key, &taken);
  if (!EFI_ERROR(status)) LogMessage(kLogCategoryStage, "Boot notes: key taken from %d boot-note candidates\n",
                                        static_cast<UINT32>(taken));
  PoolFree(windows);
  PoolFree(note);
  return status;
}

EFI_STATUS OpenPayload(const UINT8* payload, KeyRecord* key, UINT8* plain) {
  EFI_STATUS status = OpenWithSmcKey(payload, key, plain);
  if (!EFI_ERROR(status)) {
    LogMessage(kLogCategoryStage, "Boot notes: key taken from the SMC\n");
    DeleteNoteVariable();
    return status;
  }
  status = TakeNoteKey(key);
  if (EFI_ERROR(status)) return status;
  return BootInfoOpen(ByteSpan(payload, kBootInfoPayloadSize), *key, plain);
}

}  // namespace

INT32 ProcessBootNotes() {
  if (BootModeFlags & (kBootModeRecovery | kBootModeHibernate)) {
    DeletePayloadVariable();
    DeleteNoteVariable();
    return -1;
  }
  SecretBuffer payload(kBootInfoPayloadSize);
  SecretBuffer key(sizeof(KeyRecord));
  SecretBuffer plain(kBootInfoPayloadSize);
  if (!payload.get() || !key.get() || !plain.get()) return -1;
  EFI_STATUS status = ReadPayload(payload.get());
  if (status == EFI_NOT_FOUND) return -1;
  if (!EFI_ERROR(status)) status = OpenPayload(payload.get(), reinterpret_cast<KeyRecord*>(key.get()), plain.get());
  CryptoWipe(key.get(), sizeof(KeyRecord));
  CryptoWipe(payload.get(), kBootInfoPayloadSize);
  if (EFI_ERROR(status)) {
    LogMessage(kLogCategoryStage, "Boot notes: payload not opened (0x%lx)\n", status);
    return -1;
  }
  // The opened payload is wiped with its block whether or not it delivered anything.
  return BootInfoDeliver(ByteSpan(plain.get(), kBootInfoPayloadSize)) ? 0 : -1;
}
