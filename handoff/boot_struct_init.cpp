// "InitBootStruct": the block itself and the first "/chosen" properties.
#include "diag/fatal.h"
#include "flags/guids.h"
#include "diag/device_path_build.h"
#include "handoff/boot_struct.h"
#include "handoff/boot_struct_text.h"
#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "handoff/platform_facts.h"
#include "handoff/root_device.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "lib/string.h"

BootArgs* gBootArgs = nullptr;
UINT64 gAcpiReservedAddress = 0;

namespace {

constexpr EFI_GUID kAcpiGlobalVariableGuid = {0xAF9FFD67, 0xEC10, 0x488A, {0x9D, 0xFC, 0x6C, 0xBF, 0x5E, 0xE2, 0x2C, 0x2E}};
constexpr UINT32 kFeatureNoAcpiReserve = 0x80000000;
constexpr UINTN kAcpiReservedField = 24;

void ResetBootStruct() {
  gBootArgs = nullptr;
  gAcpiReservedAddress = 0;
}
HEARTH_HOST_RESET(ResetBootStruct);

bool ReadVariable32(const CHAR16* name, const EFI_GUID& guid, UINT32* value) {
  UINTN size = sizeof(*value);
  UINT32 attributes = 0;
  return !EFI_ERROR(gRT->GetVariable(name, &guid, &attributes, &size, value)) && size == sizeof(*value);
}

// The firmware's ACPI global structure holds the address of the area the exit marks as ACPI
// non-volatile memory, unless the firmware features say the firmware reserves it itself.
UINT64 FindAcpiReservedAddress() {
  UINT32 features = 0, mask = 0;
  if (!ReadVariable32(u"FirmwareFeatures", TarnVendorGuid, &features) ||
      !ReadVariable32(u"FirmwareFeaturesMask", TarnVendorGuid, &mask) || (features & mask & kFeatureNoAcpiReserve)) {
    return 0;
  }
  UINT64 pointer = 0;
  UINTN size = sizeof(pointer);
  UINT32 attributes = 0;
  if (EFI_ERROR(gRT->GetVariable(u"AcpiGlobalVariable", &kAcpiGlobalVariableGuid, &attributes, &size, &pointer)) ||
      size != sizeof(pointer) || pointer == 0) {
    return 0;
  }
  return LoadLe64(reinterpret_cast<const UINT8*>(static_cast<UINTN>(pointer)) + kAcpiReservedField);
}

BootArgs* AllocateBlock() {
  UINT64 size = sizeof(BootArgs), kernel_address = 0;
  UINT64 physical = KernelMemoryAllocate(&size, &kernel_address);
  if (!physical) FatalError("Couldn't allocate bootArgs\n");
  auto* args = reinterpret_cast<BootArgs*>(static_cast<UINTN>(physical));
  MemZero(args, sizeof(*args));
  args->revision = 0;
  args->version = 2;
  args->efiMode = 64;
  args->flags = kBootArgsFlagInitial;
  UINT32 csr = 0;
  if (ReadVariable32(u"csr-active-config", TarnBootGuid, &csr)) {
    args->flags |= kBootArgsFlagCsrActiveConfig;
    args->csrActiveConfig = csr;
  }
  return args;
}

// Device paths are published with their end node.
void AddDevicePath(DeviceTreeNode* node, const char* name, const EFI_DEVICE_PATH_PROTOCOL* path) {
  if (!path) return;
  UINTN size = DevicePathPayloadSize(path) + sizeof(EFI_DEVICE_PATH_PROTOCOL);
  UINT8* copy = static_cast<UINT8*>(PoolAllocate(size));
  if (!copy) return;
  MemCopy(copy, path, size - sizeof(EFI_DEVICE_PATH_PROTOCOL));
  EFI_DEVICE_PATH_PROTOCOL* end = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(copy + size - sizeof(EFI_DEVICE_PATH_PROTOCOL));
  end->Type = END_DEVICE_PATH_TYPE;
  end->SubType = END_ENTIRE_DEVICE_PATH_SUBTYPE;
  SetDevicePathNodeLength(end, sizeof(EFI_DEVICE_PATH_PROTOCOL));
  DeviceTreeAddProperty(node, name, static_cast<UINT32>(size), copy, true);
  PoolFree(copy);
}

void PublishBootFile(DeviceTreeNode* chosen, const BootStructInputs& in) {
  char* path = in.kernel_file_path ? BootTextUcs2ToUtf8Copy(in.kernel_file_path) : nullptr;
  if (!path) FatalError("could not determine boot-file property or out of memory");
  DeviceTreeAddProperty(chosen, "boot-file", static_cast<UINT32>(AsciiStrLen(path) + 1), path, true);
  PoolFree(path);
}

}  // namespace

void InitBootStruct(const BootStructInputs& in) {
  gAcpiReservedAddress = FindAcpiReservedAddress();
  BootArgs* args = AllocateBlock();
  DeviceTreeNode* root = DeviceTreeRoot();
  if (!root) FatalError("Couldn't create root node");
  DeviceTreeAddProperty(root, "compatible", 5, "ACPI", false);
  DeviceTreeAddProperty(root, "model", 5, "ACPI", false);
  DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", true);
  if (!chosen || !DeviceTreeFindNode("/chosen/memory-map", true)) FatalError("Couldn't create /chosen node");

  EFI_HANDLE partition = in.boot_partition ? in.boot_partition : (in.loaded_image ? in.loaded_image->DeviceHandle : nullptr);
  EndBootOnError(PublishRootDevice(in.command_line, in.boot_config, in.boot_device_path, partition));
  PublishBootFile(chosen, in);
  AddDevicePath(chosen, "boot-device-path", in.boot_device_path);
  if (in.loaded_image) AddDevicePath(chosen, "boot-file-path", in.loaded_image->FilePath);
  DeviceTreeAddProperty(chosen, "boot-kernelcache-adler32", sizeof(in.kernel_adler32), &in.kernel_adler32, true);
  PublishMemoryRamDisk(in.boot_device_path);
  gBootArgs = args;
}
