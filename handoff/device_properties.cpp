// "/efi" "device-properties": the firmware's whole device-property store for the kernel.
#include "efi/efi.h"
#include "efi/protocols/tarn_device_properties.h"
#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "handoff/platform_facts.h"
#include "output/error_report.h"

namespace {

constexpr UINT32 kFirstBufferSize = 4096;
// A store that keeps asking for more without ever fitting is not followed further.
constexpr int kFetchAttempts = 8;

}  // namespace

EFI_STATUS PublishDeviceProperties() {
  TarnDevicePropertiesProtocol* store = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&kTarnDevicePropertiesProtocolGuid, nullptr, reinterpret_cast<VOID**>(&store))) ||
      !store || !store->GetPropertyBuffer) {
    return EFI_SUCCESS;
  }
  UINT32 capacity = kFirstBufferSize;
  for (int attempt = 0; attempt < kFetchAttempts; ++attempt) {
    void* buffer = PoolAllocate(capacity);
    if (!buffer) return ReportError(EFI_OUT_OF_RESOURCES, "Could not allocate property buffer\n");
    UINT32 size = capacity;
    EFI_STATUS status = store->GetPropertyBuffer(store, buffer, &size);
    if (!EFI_ERROR(status) && size <= capacity) {
      DeviceTreeAddProperty(DeviceTreeFindNode("/efi", true), "device-properties", size, buffer, true);
    }
    PoolFree(buffer);
    if (status != EFI_BUFFER_TOO_SMALL || size <= capacity) return EFI_SUCCESS;
    capacity = size;
  }
  return EFI_SUCCESS;
}
