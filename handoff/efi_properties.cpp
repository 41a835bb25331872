// "/efi" properties: the configuration tables, the runtime services, the firmware itself.
#include "efi/efi.h"
#include "handoff/boot_struct_text.h"
#include "devicetree/device_tree.h"
#include "handoff/platform_facts.h"
#include "output/error_report.h"

namespace {

EFI_STATUS PublishConfigurationTable(DeviceTreeNode* parent, const EFI_CONFIGURATION_TABLE& entry) {
  const EFI_GUID& g = entry.VendorGuid;
  char name[kGuidTextSize];
  BootTextGuid(g, name);
  DeviceTreeNode* child = DeviceTreeCreateNode(parent, name);
  if (!child) return ReportError(EFI_OUT_OF_RESOURCES, "Couldn't add table child node\n");
  UINT64 table = reinterpret_cast<UINT64>(entry.VendorTable);
  DeviceTreeAddProperty(child, "guid", sizeof(EFI_GUID), &g, true);
  DeviceTreeAddProperty(child, "table", sizeof(table), &table, true);
  if (GuidEqual(g, kEfiAcpi20TableGuid)) DeviceTreeAddProperty(child, "alias", 8, "ACPI_20", false);
  if (GuidEqual(g, kEfiAcpi10TableGuid)) DeviceTreeAddProperty(child, "alias", 5, "ACPI", false);
  return EFI_SUCCESS;
}

UINT32 Utf16Bytes(const CHAR16* text) {
  UINT32 n = 0;
  while (text[n]) ++n;
  return (n + 1) * sizeof(CHAR16);
}

}  // namespace

EFI_STATUS PublishEfiProperties() {
  DeviceTreeNode* tables = DeviceTreeFindNode("/efi/configuration-table", true);
  if (!tables) return ReportError(EFI_OUT_OF_RESOURCES, "Could not create /efi/configuration-table node");
  for (UINTN i = 0; gST->ConfigurationTable && i < gST->NumberOfTableEntries; ++i) {
    EFI_STATUS status = PublishConfigurationTable(tables, gST->ConfigurationTable[i]);
    if (EFI_ERROR(status)) return status;
  }
  DeviceTreeNode* runtime = DeviceTreeFindNode("/efi/runtime-services", true);
  if (!runtime) return ReportError(EFI_OUT_OF_RESOURCES, "Could not create /efi/runtime-services node");
  UINT64 services = reinterpret_cast<UINT64>(gST->RuntimeServices);
  DeviceTreeAddProperty(runtime, "table", sizeof(services), &services, true);

  DeviceTreeNode* efi = DeviceTreeFindNode("/efi", true);
  if (gST->FirmwareVendor) {
    DeviceTreeAddProperty(efi, "firmware-vendor", Utf16Bytes(gST->FirmwareVendor), gST->FirmwareVendor, true);
  }
  DeviceTreeAddProperty(efi, "firmware-revision", sizeof(gST->FirmwareRevision), &gST->FirmwareRevision, true);
  DeviceTreeAddProperty(efi, "firmware-abi", 6, "EFI64", false);

  UINT32 one = 1;
  DeviceTreeAddProperty(DeviceTreeFindNode("/efi/kernel-compatibility", true), "x86_64", sizeof(one), &one, true);
  return EFI_SUCCESS;
}
