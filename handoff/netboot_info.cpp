// "/chosen" "dhcp-response" and "bsdp-response": what the network answered the firmware
// when it loaded the booter.
#include "efi/efi.h"
#include "efi/protocols/tarn_netboot_info.h"
#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "handoff/platform_facts.h"

namespace {

// Larger answers are not DHCP packets; the bound keeps a confused firmware from asking for
// an absurd buffer.
constexpr UINTN kMaxPacketSize = 64 * 1024;

void PublishPacket(TarnNetBootInfoProtocol* info, TarnGetNetBootPacket fetch, const char* name) {
  if (!fetch) return;
  UINTN size = 0;
  if (fetch(info, &size, nullptr) != EFI_BUFFER_TOO_SMALL || size == 0 || size > kMaxPacketSize) return;
  void* packet = PoolAllocate(size);
  if (!packet) return;
  UINTN capacity = size;
  if (!EFI_ERROR(fetch(info, &size, packet)) && size <= capacity) {
    DeviceTreeAddProperty(DeviceTreeFindNode("/chosen", true), name, static_cast<UINT32>(size), packet, true);
  }
  PoolFree(packet);
}

}  // namespace

void PublishNetBootInfo(EFI_HANDLE booter_device) {
  TarnNetBootInfoProtocol* info = nullptr;
  if (!booter_device || EFI_ERROR(gBS->HandleProtocol(booter_device, &kTarnNetBootInfoProtocolGuid,
                                                     reinterpret_cast<VOID**>(&info)))) {
    info = nullptr;
    if (EFI_ERROR(gBS->LocateProtocol(&kTarnNetBootInfoProtocolGuid, nullptr, reinterpret_cast<VOID**>(&info)))) return;
  }
  if (!info) return;
  PublishPacket(info, info->GetDhcpResponse, "dhcp-response");
  PublishPacket(info, info->GetBsdpResponse, "bsdp-response");
}
