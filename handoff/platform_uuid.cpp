// The model string and the "platform-uuid" variable the operating system identifies the
// machine by when the firmware publishes no "system-id".
#include "flags/guids.h"
#include "efi/efi.h"
#include "machine/acpi.h"
#include "handoff/boot_struct_text.h"
#include "devicetree/device_tree.h"
#include "handoff/platform_facts.h"
#include "hw/hw.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

constexpr UINTN kModelSize = 64;  // at most 63 bytes and a NUL
constexpr UINT32 kPlatformUuidAttributes = 7;
constexpr UINT64 kRomMarkerAddress = 0xFFFFFF00;
constexpr UINT8 kRomMarker = 0xEA;

// Older models whose firmware publishes neither a system id nor an SMBIOS UUID: their UUID
// is a fixed prefix followed by the 6-byte hardware address the ROM keeps after the marker.
constexpr const char* kRomUuidModels[2] = {"TarnMini1,1", "TarnBook1,1"};
constexpr UINT8 kRomUuidPrefix[10] = {0x6C, 0x61, 0x72, 0x6B, 0x2D, 0x72, 0x6F, 0x6D, 0x40, 0x00};

char gModel[kModelSize];

void ResetModel() { gModel[0] = 0; }
HEARTH_HOST_RESET(ResetModel);

bool ModelFromPlatformNode() {
  DeviceTreeNode* platform = DeviceTreeFindNode("/efi/platform", false);
  const DeviceTreeProperty* model = platform ? DeviceTreeFindProperty(platform, "Model") : nullptr;
  if (!model || !model->value) return false;
  BootTextUcs2ToUtf8(static_cast<const CHAR16*>(model->value), model->length / sizeof(CHAR16), gModel, kModelSize);
  return gModel[0] != 0;
}

bool IsRomUuidModel(const char* model) {
  for (const char* listed : kRomUuidModels) {
    if (AsciiStrCmp(listed, model) == 0) return true;
  }
  return false;
}

bool VariableExists(const CHAR16* name) {
  UINTN size = 0;
  UINT32 attributes = 0;
  EFI_STATUS status = gRT->GetVariable(name, &TarnBootGuid, &attributes, &size, nullptr);
  return status == EFI_BUFFER_TOO_SMALL || !EFI_ERROR(status);
}

}  // namespace

const char* PlatformModelString() {
  if (gModel[0]) return gModel;
  if (!ModelFromPlatformNode()) AcpiModelFromDsdt(gModel, kModelSize);
  if (!gModel[0]) AsciiStrCopy(gModel, kModelSize, "ACPI");
  return gModel;
}

void StorePlatformUuid() {
  DeviceTreeNode* platform = DeviceTreeFindNode("/efi/platform", false);
  if ((platform && DeviceTreeFindProperty(platform, "system-id")) || !gRT || VariableExists(u"platform-uuid")) return;
  UINT8 uuid[16];
  if (IsRomUuidModel(PlatformModelString())) {
    UINT8 marker[7];
    HwReadPhysical(kRomMarkerAddress, marker, sizeof(marker));
    if (marker[0] != kRomMarker) return;
    MemCopy(uuid, kRomUuidPrefix, sizeof(kRomUuidPrefix));
    MemCopy(uuid + sizeof(kRomUuidPrefix), marker + 1, 6);
  } else {
    const PlatformFacts& facts = RecordedPlatformFacts();
    if (!facts.has_system_uuid) return;
    MemCopy(uuid, facts.system_uuid, sizeof(uuid));
  }
  gRT->SetVariable(u"platform-uuid", &TarnBootGuid, kPlatformUuidAttributes, sizeof(uuid), uuid);
}
