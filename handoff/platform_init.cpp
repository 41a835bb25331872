#include "handoff/platform_init.h"

#include "boot/fatal.h"
#include "handoff/device_tree.h"

void InitDeviceTree() {
  if (EFI_ERROR(DeviceTreeInit()) || !DeviceTreeRoot()) FatalError("Couldn't create root node");
  DeviceTreeFindNode("/efi/platform", true);
}
