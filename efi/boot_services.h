// EFI boot services table.
#pragma once

#include "efi/system_table.h"

struct EFI_DEVICE_PATH_PROTOCOL;

enum EFI_ALLOCATE_TYPE : UINT32 {
  AllocateAnyPages = 0,
  AllocateMaxAddress = 1,
  AllocateAddress = 2,
};

enum EFI_MEMORY_TYPE : UINT32 {
  EfiReservedMemoryType = 0,
  EfiLoaderCode = 1,
  EfiLoaderData = 2,
  EfiBootServicesCode = 3,
  EfiBootServicesData = 4,
  EfiRuntimeServicesCode = 5,
  EfiRuntimeServicesData = 6,
  EfiConventionalMemory = 7,
  EfiUnusableMemory = 8,
  EfiACPIReclaimMemory = 9,
  EfiACPIMemoryNVS = 10,
  EfiMemoryMappedIO = 11,
  EfiMemoryMappedIOPortSpace = 12,
  EfiPalCode = 13,
  EfiPersistentMemory = 14,
};

constexpr UINT64 EFI_MEMORY_RUNTIME = 0x8000000000000000ULL;

struct EFI_MEMORY_DESCRIPTOR {
  UINT32 Type;
  UINT32 Pad;
  EFI_PHYSICAL_ADDRESS PhysicalStart;
  EFI_VIRTUAL_ADDRESS VirtualStart;
  UINT64 NumberOfPages;
  UINT64 Attribute;
};
static_assert(sizeof(EFI_MEMORY_DESCRIPTOR) == 40);

constexpr EFI_TPL TPL_APPLICATION = 4;
constexpr EFI_TPL TPL_CALLBACK = 8;
constexpr EFI_TPL TPL_NOTIFY = 16;
constexpr EFI_TPL TPL_HIGH_LEVEL = 31;

constexpr UINT32 EVT_TIMER = 0x80000000;
constexpr UINT32 EVT_RUNTIME = 0x40000000;
constexpr UINT32 EVT_NOTIFY_WAIT = 0x00000100;
constexpr UINT32 EVT_NOTIFY_SIGNAL = 0x00000200;
constexpr UINT32 EVT_SIGNAL_EXIT_BOOT_SERVICES = 0x00000201;
constexpr UINT32 EVT_SIGNAL_VIRTUAL_ADDRESS_CHANGE = 0x60000202;

enum EFI_TIMER_DELAY : UINT32 {
  TimerCancel = 0,
  TimerPeriodic = 1,
  TimerRelative = 2,
};

enum EFI_LOCATE_SEARCH_TYPE : UINT32 {
  AllHandles = 0,
  ByRegisterNotify = 1,
  ByProtocol = 2,
};

enum EFI_INTERFACE_TYPE : UINT32 { EFI_NATIVE_INTERFACE = 0 };

constexpr UINT32 EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL = 0x01;
constexpr UINT32 EFI_OPEN_PROTOCOL_GET_PROTOCOL = 0x02;
constexpr UINT32 EFI_OPEN_PROTOCOL_TEST_PROTOCOL = 0x04;
constexpr UINT32 EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER = 0x08;
constexpr UINT32 EFI_OPEN_PROTOCOL_BY_DRIVER = 0x10;
constexpr UINT32 EFI_OPEN_PROTOCOL_EXCLUSIVE = 0x20;

typedef VOID(EFIAPI* EFI_EVENT_NOTIFY)(EFI_EVENT Event, VOID* Context);

struct EFI_OPEN_PROTOCOL_INFORMATION_ENTRY {
  EFI_HANDLE AgentHandle;
  EFI_HANDLE ControllerHandle;
  UINT32 Attributes;
  UINT32 OpenCount;
};

constexpr UINT64 EFI_BOOT_SERVICES_SIGNATURE = 0x56524553544f4f42ULL;  // "BOOTSERV"

struct EFI_BOOT_SERVICES {
  EFI_TABLE_HEADER Hdr;

  EFI_TPL(EFIAPI* RaiseTPL)(EFI_TPL NewTpl);
  VOID(EFIAPI* RestoreTPL)(EFI_TPL OldTpl);

  EFI_STATUS(EFIAPI* AllocatePages)(EFI_ALLOCATE_TYPE Type, EFI_MEMORY_TYPE MemoryType, UINTN Pages,
                                    EFI_PHYSICAL_ADDRESS* Memory);
  EFI_STATUS(EFIAPI* FreePages)(EFI_PHYSICAL_ADDRESS Memory, UINTN Pages);
  EFI_STATUS(EFIAPI* GetMemoryMap)(UINTN* MemoryMapSize, EFI_MEMORY_DESCRIPTOR* MemoryMap, UINTN* MapKey,
                                   UINTN* DescriptorSize, UINT32* DescriptorVersion);
  EFI_STATUS(EFIAPI* AllocatePool)(EFI_MEMORY_TYPE PoolType, UINTN Size, VOID** Buffer);
  EFI_STATUS(EFIAPI* FreePool)(VOID* Buffer);

  EFI_STATUS(EFIAPI* CreateEvent)(UINT32 Type, EFI_TPL NotifyTpl, EFI_EVENT_NOTIFY NotifyFunction,
                                  VOID* NotifyContext, EFI_EVENT* Event);
  EFI_STATUS(EFIAPI* SetTimer)(EFI_EVENT Event, EFI_TIMER_DELAY Type, UINT64 TriggerTime);
  EFI_STATUS(EFIAPI* WaitForEvent)(UINTN NumberOfEvents, EFI_EVENT* Event, UINTN* Index);
  EFI_STATUS(EFIAPI* SignalEvent)(EFI_EVENT Event);
  EFI_STATUS(EFIAPI* CloseEvent)(EFI_EVENT Event);
  EFI_STATUS(EFIAPI* CheckEvent)(EFI_EVENT Event);

  EFI_STATUS(EFIAPI* InstallProtocolInterface)(EFI_HANDLE* Handle, const EFI_GUID* Protocol,
                                               EFI_INTERFACE_TYPE InterfaceType, VOID* Interface);
  EFI_STATUS(EFIAPI* ReinstallProtocolInterface)(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID* OldInterface,
                                                 VOID* NewInterface);
  EFI_STATUS(EFIAPI* UninstallProtocolInterface)(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID* Interface);
  EFI_STATUS(EFIAPI* HandleProtocol)(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface);
  VOID* Reserved;
  EFI_STATUS(EFIAPI* RegisterProtocolNotify)(const EFI_GUID* Protocol, EFI_EVENT Event, VOID** Registration);
  EFI_STATUS(EFIAPI* LocateHandle)(EFI_LOCATE_SEARCH_TYPE SearchType, const EFI_GUID* Protocol, VOID* SearchKey,
                                   UINTN* BufferSize, EFI_HANDLE* Buffer);
  EFI_STATUS(EFIAPI* LocateDevicePath)(const EFI_GUID* Protocol, EFI_DEVICE_PATH_PROTOCOL** DevicePath,
                                       EFI_HANDLE* Device);
  EFI_STATUS(EFIAPI* InstallConfigurationTable)(const EFI_GUID* Guid, VOID* Table);

  EFI_STATUS(EFIAPI* LoadImage)(BOOLEAN BootPolicy, EFI_HANDLE ParentImageHandle,
                                EFI_DEVICE_PATH_PROTOCOL* DevicePath, VOID* SourceBuffer, UINTN SourceSize,
                                EFI_HANDLE* ImageHandle);
  EFI_STATUS(EFIAPI* StartImage)(EFI_HANDLE ImageHandle, UINTN* ExitDataSize, CHAR16** ExitData);
  EFI_STATUS(EFIAPI* Exit)(EFI_HANDLE ImageHandle, EFI_STATUS ExitStatus, UINTN ExitDataSize, CHAR16* ExitData);
  EFI_STATUS(EFIAPI* UnloadImage)(EFI_HANDLE ImageHandle);
  EFI_STATUS(EFIAPI* ExitBootServices)(EFI_HANDLE ImageHandle, UINTN MapKey);

  EFI_STATUS(EFIAPI* GetNextMonotonicCount)(UINT64* Count);
  EFI_STATUS(EFIAPI* Stall)(UINTN Microseconds);
  EFI_STATUS(EFIAPI* SetWatchdogTimer)(UINTN Timeout, UINT64 WatchdogCode, UINTN DataSize, CHAR16* WatchdogData);

  EFI_STATUS(EFIAPI* ConnectController)(EFI_HANDLE ControllerHandle, EFI_HANDLE* DriverImageHandle,
                                        EFI_DEVICE_PATH_PROTOCOL* RemainingDevicePath, BOOLEAN Recursive);
  EFI_STATUS(EFIAPI* DisconnectController)(EFI_HANDLE ControllerHandle, EFI_HANDLE DriverImageHandle,
                                           EFI_HANDLE ChildHandle);

  EFI_STATUS(EFIAPI* OpenProtocol)(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface,
                                   EFI_HANDLE AgentHandle, EFI_HANDLE ControllerHandle, UINT32 Attributes);
  EFI_STATUS(EFIAPI* CloseProtocol)(EFI_HANDLE Handle, const EFI_GUID* Protocol, EFI_HANDLE AgentHandle,
                                    EFI_HANDLE ControllerHandle);
  EFI_STATUS(EFIAPI* OpenProtocolInformation)(EFI_HANDLE Handle, const EFI_GUID* Protocol,
                                              EFI_OPEN_PROTOCOL_INFORMATION_ENTRY** EntryBuffer,
                                              UINTN* EntryCount);

  EFI_STATUS(EFIAPI* ProtocolsPerHandle)(EFI_HANDLE Handle, EFI_GUID*** ProtocolBuffer, UINTN* ProtocolBufferCount);
  EFI_STATUS(EFIAPI* LocateHandleBuffer)(EFI_LOCATE_SEARCH_TYPE SearchType, const EFI_GUID* Protocol,
                                         VOID* SearchKey, UINTN* NoHandles, EFI_HANDLE** Buffer);
  EFI_STATUS(EFIAPI* LocateProtocol)(const EFI_GUID* Protocol, VOID* Registration, VOID** Interface);
  VOID* InstallMultipleProtocolInterfaces;    // variadic; not used across the ABI boundary
  VOID* UninstallMultipleProtocolInterfaces;  // variadic; not used across the ABI boundary

  EFI_STATUS(EFIAPI* CalculateCrc32)(VOID* Data, UINTN DataSize, UINT32* Crc32);

  VOID(EFIAPI* CopyMem)(VOID* Destination, const VOID* Source, UINTN Length);
  VOID(EFIAPI* SetMem)(VOID* Buffer, UINTN Size, UINT8 Value);
  EFI_STATUS(EFIAPI* CreateEventEx)(UINT32 Type, EFI_TPL NotifyTpl, EFI_EVENT_NOTIFY NotifyFunction,
                                    const VOID* NotifyContext, const EFI_GUID* EventGroup, EFI_EVENT* Event);
};
static_assert(offsetof(EFI_BOOT_SERVICES, AllocatePages) == 40);
static_assert(offsetof(EFI_BOOT_SERVICES, ExitBootServices) == 232);
static_assert(offsetof(EFI_BOOT_SERVICES, LocateProtocol) == 320);
static_assert(sizeof(EFI_BOOT_SERVICES) == 376);
