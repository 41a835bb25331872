#include "machine/os_identity.h"

#include "diag/stage.h"
#include "efi/efi.h"
#include "efi/protocols/tarn_os_info.h"

void AnnounceOperatingSystem() {
  void* interface = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&kTarnOSInfoProtocolGuid, nullptr, &interface)) || !interface) return;
  auto* info = static_cast<TarnOSInfoProtocol*>(interface);
  if (info->Revision == 0) return;
  {
    Stage stage("OSName");
    info->OSName("Larkspur 10.11");
  }
  if (info->Revision >= 2) {
    Stage stage("OSVendor");
    info->OSVendor("Tarn Inc.");
  }
}
