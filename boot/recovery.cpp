#include "boot/recovery.h"

#include "flags/boot_mode.h"
#include "boot/boot_root.h"
#include "diag/device_path_build.h"
#include "diag/log.h"
#include "efi/protocols/block_io.h"
#include "efi/protocols/simple_file_system.h"
#include "memory/memory.h"
#include "memory/owners.h"
#include "files/boot_file.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

constexpr UINT8 kGptPartitionFormat = 2;
constexpr UINT8 kGuidSignature = 2;

// The GPT partition number of node, or false when it is not a GPT hard-drive node.
bool GptPartitionOf(ByteSpan node, UINT32* number) {
  HARDDRIVE_DEVICE_PATH hd;
  if (node.data()[0] != MEDIA_DEVICE_PATH || node.data()[1] != MEDIA_HARDDRIVE_DP || !node.Read(0, &hd)) {
    return false;
  }
  if (hd.MBRType != kGptPartitionFormat || hd.SignatureType != kGuidSignature) return false;
  *number = hd.PartitionNumber;
  return true;
}

ByteSpan WholePath(const EFI_DEVICE_PATH_PROTOCOL* path) {
  return ByteSpan(path, path ? DevicePathPayloadSize(path) : 0);
}

// Node count of a path, and the offset of its last node.
UINTN CountNodes(ByteSpan path, size_t* last_offset) {
  UINTN count = 0;
  ByteSpan node;
  for (size_t offset = 0; DevicePathNodeAt(path, offset, &node); offset += node.size()) {
    *last_offset = offset;
    ++count;
  }
  return count;
}

// Same disk as boot_path (identical up to the last node), and the last node is GPT partition target.
bool IsPartitionOfSameDisk(ByteSpan candidate, ByteSpan boot_path, UINT32 target) {
  size_t candidate_last = 0, boot_last = 0;
  UINTN nodes = CountNodes(candidate, &candidate_last);
  if (nodes == 0 || nodes != CountNodes(boot_path, &boot_last)) return false;
  if (candidate_last != boot_last || MemCompare(candidate.data(), boot_path.data(), boot_last) != 0) return false;
  ByteSpan last;
  UINT32 number = 0;
  return DevicePathNodeAt(candidate, candidate_last, &last) && GptPartitionOf(last, &number) && number == target;
}

EFI_DEVICE_PATH_PROTOCOL* DevicePathOf(EFI_HANDLE handle) {
  void* path = nullptr;
  if (EFI_ERROR(gBS->HandleProtocol(handle, &kEfiDevicePathProtocolGuid, &path))) return nullptr;
  return static_cast<EFI_DEVICE_PATH_PROTOCOL*>(path);
}

EFI_STATUS LoadRecoveryBooter(EFI_HANDLE device, EFI_HANDLE* image) {
  EFI_DEVICE_PATH_PROTOCOL* device_path = DevicePathOf(device);
  if (!device_path) return EFI_NOT_FOUND;
  EFI_DEVICE_PATH_PROTOCOL* path = AppendFilePathNode(device_path, kRecoveryBooterPath);
  if (!path) return EFI_OUT_OF_RESOURCES;
  EFI_STATUS status = gBS->LoadImage(FALSE, gImageHandle, path, nullptr, 0, image);
  PoolFree(path);
  return status;
}

EFI_STATUS FindOnSameDisk(ByteSpan boot_path, UINT32 target, EFI_HANDLE* image) {
  HandleBuffer devices;
  (void)devices.Locate(kEfiBlockIoProtocolGuid);  // none: nothing on the same disk
  for (UINTN i = 0; i < devices.count(); ++i) {
    EFI_DEVICE_PATH_PROTOCOL* path = DevicePathOf(devices[i]);
    if (!path || !IsPartitionOfSameDisk(WholePath(path), boot_path, target)) continue;
    return LoadRecoveryBooter(devices[i], image);
  }
  return EFI_NOT_FOUND;
}

// The "Root UUID" of the boot configuration on a volume's boot-root directory, or null.
PlistNode* ReadRootUuid(EFI_HANDLE device, PlistNode** dict) {
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* fs = nullptr;
  EFI_FILE_PROTOCOL *volume = nullptr, *directory = nullptr;
  *dict = nullptr;
  if (EFI_ERROR(gBS->HandleProtocol(device, &kEfiSimpleFileSystemProtocolGuid, reinterpret_cast<void**>(&fs))) ||
      !fs || EFI_ERROR(fs->OpenVolume(fs, &volume))) {
    return nullptr;
  }
  UINT64 size = 0;
  void* text = nullptr;
  EFI_STATUS status = SelectBootRootDirectory(volume, &directory);
  if (!EFI_ERROR(status)) {
    status = LoadWholeFile(nullptr, directory, kBootConfigPath, nullptr, &size, &text);
    directory->Close(directory);
  }
  volume->Close(volume);
  if (EFI_ERROR(status) || !text) return nullptr;
  status = PlistParseDictionary(static_cast<char*>(text), static_cast<UINTN>(size), dict);
  PoolFree(text);
  if (EFI_ERROR(status)) return nullptr;
  PlistNode* uuid = PlistDictLookup(*dict, "Root UUID");
  return uuid && uuid->type == kPlistString && uuid->string ? uuid : nullptr;
}

// Encrypted root: the recovery booter of the volume whose configuration names our root.
EFI_STATUS FindByRootUuid(const RecoverySearch& search, EFI_HANDLE* image) {
  if (search.connect_graphics) search.connect_graphics();
  PlistNode* ours = PlistDictLookup(search.boot_config, "Root UUID");
  if (!ours || ours->type != kPlistString || !ours->string) return EFI_NOT_FOUND;
  HandleBuffer devices;
  (void)devices.Locate(kEfiBlockIoProtocolGuid);  // none: no recovery booter to find
  EFI_STATUS status = EFI_NOT_FOUND;
  for (UINTN i = 0; i < devices.count(); ++i) {
    EFI_HANDLE candidate = nullptr;
    status = LoadRecoveryBooter(devices[i], &candidate);
    if (EFI_ERROR(status)) continue;
    PlistNode* dict = nullptr;
    PlistNode* theirs = ReadRootUuid(devices[i], &dict);
    bool same = theirs && AsciiStrCmp(theirs->string, ours->string) == 0;
    PlistFree(dict);
    if (same) {
      *image = candidate;
      return EFI_SUCCESS;
    }
    gBS->UnloadImage(candidate);
    status = EFI_NOT_FOUND;
  }
  return status;
}

}  // namespace

EFI_STATUS BootPartitionNumber(const EFI_DEVICE_PATH_PROTOCOL* path, UINT32* number) {
  ByteSpan whole = WholePath(path);
  ByteSpan node;
  for (size_t offset = 0; DevicePathNodeAt(whole, offset, &node); offset += node.size()) {
    if (GptPartitionOf(node, number)) return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS FindRecoverySystem(const EFI_DEVICE_PATH_PROTOCOL* boot_device_path, const RecoverySearch& search,
                              EFI_HANDLE* image) {
  UINT32 own = 0;
  EFI_STATUS status = BootPartitionNumber(boot_device_path, &own);
  if (EFI_ERROR(status)) return status;
  bool encrypted = BootModeFlags & kBootModeEncryptedRoot;
  status = FindOnSameDisk(WholePath(boot_device_path), encrypted ? own : own + 1, image);
  if (!EFI_ERROR(status)) return status;
  if (!encrypted) return EFI_NOT_FOUND;
  return FindByRootUuid(search, image);
}

EFI_STATUS StartRecoverySystem(const EFI_DEVICE_PATH_PROTOCOL* boot_device_path, const RecoverySearch& search) {
  EFI_HANDLE image = nullptr;
  EFI_STATUS status = FindRecoverySystem(boot_device_path, search, &image);
  if (EFI_ERROR(status)) {
    LogMessage(kLogCategoryError, "Recovery system not found (0x%lx)\n", status);
    return status;
  }
  LogMessage(kLogCategoryError, "Starting the recovery system\n");
  LogShutdown();
  return gBS->StartImage(image, nullptr, nullptr);
}
