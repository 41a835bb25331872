// The firmware starts hearth here.
#include "boot/boot_sequence.h"
#include "efi/efi.h"

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table) {
  gImageHandle = image_handle;
  gST = system_table;
  gBS = system_table->BootServices;
  gRT = system_table->RuntimeServices;
  RunBootSequence();
}
