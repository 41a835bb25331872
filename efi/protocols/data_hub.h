// The platform's data hub: a log of typed records that firmware drivers produce. The loader
// only walks it for the platform properties one producer leaves there.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiDataHubProtocolGuid = {0xAE80D021, 0x618E, 0x11D4, {0xBC, 0xD7, 0x00, 0x80, 0xC7, 0x3C, 0x88, 0x81}};

// Record header: version (16), header size (16), record size (32, header included), record
// type GUID, producer GUID, class (64), log time (16 bytes), monotonic count (64).
constexpr UINTN kDataRecordSizeOffset = 4;
constexpr UINTN kDataRecordProducerOffset = 24;
constexpr UINTN kDataRecordHeaderSize = 72;

struct EFI_DATA_HUB_PROTOCOL;

// *MonotonicCount is 0 to ask for the first record; on return it names the next one, 0 when
// the record returned was the last. *Record points into the hub's own storage.
typedef EFI_STATUS(EFIAPI* EFI_DATA_HUB_GET_NEXT_RECORD)(EFI_DATA_HUB_PROTOCOL* This, UINT64* MonotonicCount,
                                                         EFI_EVENT* FilterDriver, VOID** Record);

struct EFI_DATA_HUB_PROTOCOL {
  VOID* LogData;
  EFI_DATA_HUB_GET_NEXT_RECORD GetNextRecord;
  VOID* RegisterFilterDriver;
  VOID* UnregisterFilterDriver;
};
