// USB I/O protocol: one interface of a USB device, as the firmware's USB bus driver
// presents it.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiUsbIoProtocolGuid = {0x2B2F68D6, 0x0CD2, 0x44CF, {0x8E, 0x8B, 0xBB, 0xA2, 0x0B, 0x1B, 0x5B, 0x75}};

#pragma pack(push, 1)
struct EFI_USB_DEVICE_DESCRIPTOR {
  UINT8 Length;
  UINT8 DescriptorType;
  UINT16 BcdUSB;
  UINT8 DeviceClass;
  UINT8 DeviceSubClass;
  UINT8 DeviceProtocol;
  UINT8 MaxPacketSize0;
  UINT16 IdVendor;
  UINT16 IdProduct;
  UINT16 BcdDevice;
  UINT8 StrManufacturer;
  UINT8 StrProduct;
  UINT8 StrSerialNumber;
  UINT8 NumConfigurations;
};
static_assert(sizeof(EFI_USB_DEVICE_DESCRIPTOR) == 18);

struct EFI_USB_INTERFACE_DESCRIPTOR {
  UINT8 Length;
  UINT8 DescriptorType;
  UINT8 InterfaceNumber;
  UINT8 AlternateSetting;
  UINT8 NumEndpoints;
  UINT8 InterfaceClass;
  UINT8 InterfaceSubClass;
  UINT8 InterfaceProtocol;
  UINT8 Interface;
};
static_assert(sizeof(EFI_USB_INTERFACE_DESCRIPTOR) == 9);

struct EFI_USB_ENDPOINT_DESCRIPTOR {
  UINT8 Length;
  UINT8 DescriptorType;
  UINT8 EndpointAddress;
  UINT8 Attributes;
  UINT16 MaxPacketSize;
  UINT8 Interval;
};
static_assert(sizeof(EFI_USB_ENDPOINT_DESCRIPTOR) == 7);
#pragma pack(pop)

typedef EFI_STATUS(EFIAPI* EFI_ASYNC_USB_TRANSFER_CALLBACK)(VOID* Data, UINTN DataLength, VOID* Context,
                                                           UINT32 Status);

struct EFI_USB_IO_PROTOCOL {
  VOID* UsbControlTransfer;
  VOID* UsbBulkTransfer;
  EFI_STATUS(EFIAPI* UsbAsyncInterruptTransfer)(EFI_USB_IO_PROTOCOL* This, UINT8 DeviceEndpoint,
                                                BOOLEAN IsNewTransfer, UINTN PollingInterval, UINTN DataLength,
                                                EFI_ASYNC_USB_TRANSFER_CALLBACK InterruptCallBack, VOID* Context);
  VOID* UsbSyncInterruptTransfer;
  VOID* UsbIsochronousTransfer;
  VOID* UsbAsyncIsochronousTransfer;
  EFI_STATUS(EFIAPI* UsbGetDeviceDescriptor)(EFI_USB_IO_PROTOCOL* This, EFI_USB_DEVICE_DESCRIPTOR* Descriptor);
  VOID* UsbGetConfigDescriptor;
  EFI_STATUS(EFIAPI* UsbGetInterfaceDescriptor)(EFI_USB_IO_PROTOCOL* This, EFI_USB_INTERFACE_DESCRIPTOR* Descriptor);
  EFI_STATUS(EFIAPI* UsbGetEndpointDescriptor)(EFI_USB_IO_PROTOCOL* This, UINT8 EndpointIndex,
                                               EFI_USB_ENDPOINT_DESCRIPTOR* Descriptor);
  VOID* UsbGetStringDescriptor;
  VOID* UsbGetSupportedLanguages;
  VOID* UsbPortReset;
};
