// "FinalizeBootStruct": the platform properties, the flattened device tree, then the exit.
#include "flags/boot_mode.h"
#include "diag/fatal.h"
#include "diag/stage.h"
#include "diag/entropy.h"
#include "diag/log.h"
#include "machine/acpi.h"
#include "handoff/boot_struct.h"
#include "devicetree/device_tree.h"
#include "devicetree/device_tree_kernel.h"
#include "handoff/kernel_exit.h"
#include "fde/key_store.h"
#include "handoff/platform_facts.h"
#include "config/kernel_slide.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

constexpr UINTN kRandomSeedSize = 64;

DeviceTreeNode* Chosen() {
  DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", true);
  if (!chosen) FatalError("Couldn't create /chosen node");
  return chosen;
}

void PublishCommandLine(BootArgs* args, const char* command_line) {
  // The whole field is rewritten, so its last byte is a NUL whatever the text's length.
  MemZero(args->commandLine, sizeof(args->commandLine));
  AsciiStrCopy(args->commandLine, sizeof(args->commandLine), command_line ? command_line : "");
  // The property points into the block, which lives in the kernel region until flattening.
  DeviceTreeAddProperty(Chosen(), "boot-args", static_cast<UINT32>(AsciiStrLen(args->commandLine) + 1),
                        args->commandLine, false);
}

void PublishRandomSeed() {
  StageMark("Start RandomSeed");
  UINT8 seed[kRandomSeedSize];
  EndBootOnError(FillEntropySeed(seed, sizeof(seed)));
  DeviceTreeAddProperty(Chosen(), "random-seed", sizeof(seed), seed, true);
  SecureZero(seed, sizeof(seed));
  StageMark("End RandomSeed");
}

void PublishMachineSignature() {
  UINT32 signature = 0;
  if (AcpiMachineSignature(&signature)) {
    DeviceTreeAddProperty(Chosen(), "machine-signature", sizeof(signature), &signature, true);
  }
}

// The unlock result: "/chosen" idents and the key-store block (fields 0 when there is none).
void PublishKeyStore(BootArgs* args) {
  UINT8* block = nullptr;
  UINTN size = 0;
  if (EFI_ERROR(PublishUnlockResult(&block, &size, true)) || !block) return;
  args->keyStoreDataStart = static_cast<UINT32>(reinterpret_cast<UINTN>(block));
  args->keyStoreDataSize = static_cast<UINT32>(size);
}

// "/efi/platform" "FSBFrequency", 8 or 4 bytes.
UINT64 FsbFrequency() {
  DeviceTreeNode* platform = DeviceTreeFindNode("/efi/platform", false);
  const DeviceTreeProperty* p = platform ? DeviceTreeFindProperty(platform, "FSBFrequency") : nullptr;
  if (!p || !p->value) return 0;
  if (p->length == 8) return LoadLe64(p->value);
  if (p->length == 4) return LoadLe32(p->value);
  return 0;
}

void FillPlatformFields(BootArgs* args) {
  args->physicalMemorySize = RecordedPlatformFacts().physical_memory_size;
  args->fsbFrequency = FsbFrequency();
  if (BootModeFlags & kBootModeSlide) args->kernelSlide = static_cast<UINT32>(KernelSlide);
  UINT64 base = 0;
  UINT32 start_bus = 0, end_bus = 0;
  if (AcpiPciConfig(&base, &start_bus, &end_bus)) {
    args->pciConfigBase = base;
    args->pciConfigStartBus = start_bus;
    args->pciConfigEndBus = end_bus;
  }
  args->flags |= kBootArgsFlagAlways;
  if (BootModeFlags & kBootModeBlackBackground) args->flags |= kBootArgsFlagBlackBackground;
  if (BootModeFlags & kBootModeBlackMode) args->flags |= kBootArgsFlagBlackMode;
  args->smcPowerLimit = ReadSmcPowerLimit();
}

EFI_STATUS PublishLogProperty(const char* node_path, const char* property, const void* value, UINT32 length, void*) {
  DeviceTreeNode* node = DeviceTreeFindNode(node_path, true);
  if (!node) return EFI_OUT_OF_RESOURCES;
  return DeviceTreeAddProperty(node, property, length, value, true) ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
}

}  // namespace

void PublishPlatformProperties(const BootStructInputs& in, BootArgs* args) {
  EFI_HANDLE booter_device = in.loaded_image ? in.loaded_image->DeviceHandle : nullptr;
  StorePlatformUuid();
  UINT16 meter_start = 0, meter_end = 0;
  if (ReadInstallPhase(&meter_start, &meter_end)) {
    args->flags |= kBootArgsFlagInstallPhase;
    args->progressMeterStart = meter_start;
    args->progressMeterEnd = meter_end;
  }
  PublishNetBootInfo(booter_device);
  EndBootOnError(PublishEfiProperties());
  EndBootOnError(PublishDeviceProperties());
  args->video = in.video;
  if (in.hidpi) args->flags |= kBootArgsFlagHiDpi;
  PublishCommandLine(args, in.command_line);
  PublishRandomSeed();
  PublishBooterIdentity();
  PublishMachineSignature();
  PublishKeyStore(args);
  MovePersistentMemoryNote();
  FillPlatformFields(args);
  QuiescePciDevices(in.boot_device_path);
  (void)LogPublishToDeviceTree(PublishLogProperty, nullptr);  // the kernel boots without the log copy
}

void FlattenDeviceTreeIntoBootArgs(BootArgs* args) {
  UINT64 address = 0;
  UINT32 length = 0;
  if (EFI_ERROR(DeviceTreeFlattenToKernel(&address, &length))) FatalError("Couldn't allocate device tree\n");
  args->deviceTree = static_cast<UINT32>(address);
  args->deviceTreeLength = length;
  DeviceTreeFree();
}

BootArgs* FinalizeBootStruct(const BootStructInputs& in) {
  BootArgs* args = gBootArgs;
  if (!args) FatalError("Couldn't allocate bootArgs\n");
  PublishPlatformProperties(in, args);
  FlattenDeviceTreeIntoBootArgs(args);
  EndBootOnError(ExitToKernel(args, gAcpiReservedAddress));
  return args;
}
