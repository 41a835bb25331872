#include "handoff/root_device.h"

#include "output/ascii_format.h"
#include "diag/device_path_build.h"
#include "diag/log.h"
#include "handoff/boot_struct_text.h"
#include "devicetree/device_tree.h"
#include "handoff/hfs_uuid.h"
#include "memory/memory.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "output/error_report.h"

namespace {

constexpr UINTN kMacNodeSize = 4 + 32 + 1;  // header, 32-byte address, interface type
constexpr char kNetMatchHead[] =
    "<dict><key>IOProviderClass</key><string>IONetworkInterface</string><key>IOParentMatch</key><dict>"
    "<key>IOPropertyMatch</key><dict><key>IOMACAddress</key><data format=\"hex\">";
constexpr char kNetMatchTail[] = "</data></dict></dict></dict>";

ByteSpan PathBytes(const EFI_DEVICE_PATH_PROTOCOL* path) {
  return ByteSpan(path, path ? DevicePathPayloadSize(path) : 0);
}

// The first node of that type and sub-type at least min_size long.
bool FindNode(const EFI_DEVICE_PATH_PROTOCOL* path, UINT8 type, UINT8 sub_type, UINTN min_size, ByteSpan* found) {
  ByteSpan bytes = PathBytes(path);
  ByteSpan node;
  for (size_t at = 0; DevicePathNodeAt(bytes, at, &node); at += node.size()) {
    if (node.data()[0] == type && node.data()[1] == sub_type && node.size() >= min_size) {
      *found = node;
      return true;
    }
  }
  return false;
}

// Text properties are copied with their NUL.
void AddText(DeviceTreeNode* node, const char* name, const char* text) {
  DeviceTreeAddProperty(node, name, static_cast<UINT32>(AsciiStrLen(text) + 1), text, true);
}

void PublishBootUuid(DeviceTreeNode* chosen, const char* uuid) {
  AddText(chosen, "boot-uuid", uuid);
  LogMessage(kLogCategoryError, "\nroot device uuid is '%s'\n", uuid);
}

bool PublishRootMatch(DeviceTreeNode* chosen, const PlistNode* boot_config) {
  const PlistNode* match = PlistDictLookup(boot_config, "Root Match");
  if (!match) return false;
  // The writer follows the next chain; the value alone is wanted, so write a detached copy.
  char* xml = nullptr;
  PlistNode alone = *match;
  alone.next = nullptr;
  if (EFI_ERROR(PlistWriteXml(&alone, &xml)) || !xml) return false;
  AddText(chosen, "root-matching", xml);
  LogMessage(kLogCategoryError, "\nroot matching dictionary is:\n%s\n", xml);
  PoolFree(xml);
  return true;
}

bool PublishRootUuid(DeviceTreeNode* chosen, const PlistNode* boot_config) {
  const PlistNode* uuid = PlistDictLookup(boot_config, "Root UUID");
  if (!uuid || uuid->type != kPlistString || !uuid->string) return false;
  PublishBootUuid(chosen, uuid->string);
  return true;
}

bool PublishNetworkMatch(DeviceTreeNode* chosen, const EFI_DEVICE_PATH_PROTOCOL* boot_device_path) {
  ByteSpan mac;
  if (!FindNode(boot_device_path, MESSAGING_DEVICE_PATH, MSG_MAC_ADDR_DP, kMacNodeSize, &mac)) return false;
  UINTN address_bytes = mac.data()[36] < 2 ? 6 : 32;
  char text[sizeof(kNetMatchHead) + 64 + sizeof(kNetMatchTail)];
  UINTN at = AsciiSNPrint(text, sizeof(text), "%s", kNetMatchHead);
  for (UINTN i = 0; i < address_bytes; ++i) at += AsciiSNPrint(text + at, sizeof(text) - at, "%02x", UINT64(mac.data()[4 + i]));
  AsciiSNPrint(text + at, sizeof(text) - at, "%s", kNetMatchTail);
  AddText(chosen, "root-matching", text);
  DeviceTreeAddProperty(DeviceTreeRoot(), "net-boot", 0, nullptr, false);
  return true;
}

bool GptPartitionUuid(const EFI_DEVICE_PATH_PROTOCOL* boot_device_path, char out[kGuidTextSize]) {
  ByteSpan bytes = PathBytes(boot_device_path);
  ByteSpan node;
  for (size_t at = 0; DevicePathNodeAt(bytes, at, &node); at += node.size()) {
    HARDDRIVE_DEVICE_PATH hd;
    if (node.data()[0] != MEDIA_DEVICE_PATH || node.data()[1] != MEDIA_HARDDRIVE_DP || !node.Read(0, &hd)) continue;
    if (hd.MBRType != 2 || hd.SignatureType != 2) continue;
    EFI_GUID guid;
    MemCopy(&guid, hd.Signature, sizeof(guid));
    BootTextGuid(guid, out);
    return true;
  }
  return false;
}

void PublishVolumeUuid(DeviceTreeNode* chosen, const EFI_DEVICE_PATH_PROTOCOL* boot_device_path,
                       EFI_HANDLE boot_partition) {
  char uuid[kVolumeUuidTextSize > kGuidTextSize ? kVolumeUuidTextSize : kGuidTextSize];
  if (!EFI_ERROR(HfsBootVolumeUuid(boot_partition, uuid)) || GptPartitionUuid(boot_device_path, uuid)) {
    PublishBootUuid(chosen, uuid);
    return;
  }
  LogMessage(kLogCategoryError, "(no root UUID found for boot device)\n");
}

}  // namespace

EFI_STATUS PublishRootDevice(const char* command_line, const PlistNode* boot_config,
                             const EFI_DEVICE_PATH_PROTOCOL* boot_device_path, EFI_HANDLE boot_partition) {
  if (BootTextCommandLineHasKey(command_line, "rd")) return EFI_SUCCESS;
  DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", true);
  if (!chosen) return ReportError(EFI_OUT_OF_RESOURCES, "Couldn't create /chosen node");
  if (PublishRootMatch(chosen, boot_config) || PublishRootUuid(chosen, boot_config) ||
      PublishNetworkMatch(chosen, boot_device_path)) {
    return EFI_SUCCESS;
  }
  PublishVolumeUuid(chosen, boot_device_path, boot_partition);
  return EFI_SUCCESS;
}
