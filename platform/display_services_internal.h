// What the display stand-ins share: one installed protocol each, removed together.
#pragma once

#include "efi/efi.h"

struct InstalledStandIn {
  EFI_HANDLE handle;
  const EFI_GUID* guid;
  void* interface;
};

// Installs interface on a new handle once; EFI_ALREADY_STARTED the second time.
EFI_STATUS InstallStandIn(InstalledStandIn* slot, const EFI_GUID& guid, void* interface);
void RemoveStandIn(InstalledStandIn* slot);

void RemoveDisplayConnect();
void RemoveFramebufferInfo();
void RemoveBackgroundColor();
void RemoveGamma();
