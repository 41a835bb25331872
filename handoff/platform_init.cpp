#include "handoff/platform_init.h"

#include "efi/efi.h"
#include "efi/protocols/data_hub.h"
#include "handoff/boot_struct_text.h"
#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "lib/span.h"
#include "output/error_report.h"

namespace {

// The producer whose records carry platform properties, and where their parts lie.
constexpr EFI_GUID kPlatformPropertyProducerGuid = {0x64517CC8, 0x6561, 0x4051, {0xB0, 0x3C, 0x59, 0x64, 0xB6, 0x0F, 0x4C, 0x7A}};
constexpr UINTN kNameLengthOffset = 88;
constexpr UINTN kValueLengthOffset = 92;
constexpr UINTN kNameOffset = 96;
// A hub that never says "last record" is not followed forever.
constexpr UINTN kMaxRecords = 4096;

// Adds one record's property to "/efi/platform"; the record states its own size and every
// part must lie inside it.
void AddPlatformProperty(DeviceTreeNode* platform, const UINT8* record) {
  UINT32 record_size = LoadLe32(record + kDataRecordSizeOffset);
  ByteSpan bytes(record, record_size);
  EFI_GUID producer;
  UINT32 name_length = 0, value_length = 0;
  if (!bytes.Read(kDataRecordProducerOffset, &producer) || !GuidEqual(producer, kPlatformPropertyProducerGuid)) return;
  if (!bytes.ReadLe32(kNameLengthOffset, &name_length) || !bytes.ReadLe32(kValueLengthOffset, &value_length)) return;
  ByteSpan name, value;
  if (!bytes.Slice(kNameOffset, name_length, &name) || !bytes.Slice(kNameOffset + name_length, value_length, &value)) {
    return;
  }
  CHAR16 wide[kDeviceTreeNameFieldSize];
  UINTN chars = name_length / sizeof(CHAR16);
  if (chars > kDeviceTreeNameFieldSize) chars = kDeviceTreeNameFieldSize;
  MemCopy(wide, name.data(), chars * sizeof(CHAR16));
  // The tree keeps names by reference: each lives in its own block for the rest of the boot.
  char* utf8 = static_cast<char*>(PoolAllocate(kDeviceTreeNameFieldSize * 3 + 1));
  if (!utf8) return;
  BootTextUcs2ToUtf8(wide, chars, utf8, kDeviceTreeNameFieldSize * 3 + 1);
  if (!DeviceTreeAddProperty(platform, utf8, value_length, value.data(), true)) PoolFree(utf8);
}

void ReadDataHub(DeviceTreeNode* platform) {
  EFI_DATA_HUB_PROTOCOL* hub = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&kEfiDataHubProtocolGuid, nullptr, reinterpret_cast<VOID**>(&hub))) || !hub ||
      !hub->GetNextRecord) {
    return;
  }
  UINT64 next = 0;
  for (UINTN n = 0; n < kMaxRecords; ++n) {
    VOID* record = nullptr;
    if (EFI_ERROR(hub->GetNextRecord(hub, &next, nullptr, &record))) return;
    if (record) AddPlatformProperty(platform, static_cast<const UINT8*>(record));
    if (next == 0) return;
  }
}

}  // namespace

EFI_STATUS InitDeviceTree() {
  if (EFI_ERROR(DeviceTreeInit()) || !DeviceTreeRoot()) {
    return ReportError(EFI_OUT_OF_RESOURCES, "Couldn't create root node");
  }
  DeviceTreeNode* platform = DeviceTreeFindNode("/efi/platform", true);
  if (platform) ReadDataHub(platform);
  return EFI_SUCCESS;
}
