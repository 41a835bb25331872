// Base types of the UEFI standard, shared by the firmware image and the host build.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Every firmware entry point uses the Microsoft x64 calling convention; spelling it out
// lets the same declarations serve the PE image and the Linux host build.
#define EFIAPI __attribute__((ms_abi))

typedef uint8_t BOOLEAN;
typedef int8_t INT8;
typedef uint8_t UINT8;
typedef int16_t INT16;
typedef uint16_t UINT16;
typedef int32_t INT32;
typedef uint32_t UINT32;
typedef int64_t INT64;
typedef uint64_t UINT64;
typedef int64_t INTN;
typedef uint64_t UINTN;
typedef char CHAR8;
typedef char16_t CHAR16;
typedef void VOID;

typedef UINTN EFI_STATUS;
typedef VOID* EFI_HANDLE;
typedef VOID* EFI_EVENT;
typedef UINTN EFI_TPL;
typedef UINT64 EFI_LBA;
typedef UINT64 EFI_PHYSICAL_ADDRESS;
typedef UINT64 EFI_VIRTUAL_ADDRESS;

#ifndef TRUE
#define TRUE ((BOOLEAN)1)
#define FALSE ((BOOLEAN)0)
#endif

struct EFI_GUID {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
};
static_assert(sizeof(EFI_GUID) == 16);

inline bool GuidEqual(const EFI_GUID& a, const EFI_GUID& b) {
  const UINT8* x = reinterpret_cast<const UINT8*>(&a);
  const UINT8* y = reinterpret_cast<const UINT8*>(&b);
  for (int i = 0; i < 16; ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}

struct EFI_TIME {
  UINT16 Year;
  UINT8 Month;
  UINT8 Day;
  UINT8 Hour;
  UINT8 Minute;
  UINT8 Second;
  UINT8 Pad1;
  UINT32 Nanosecond;
  INT16 TimeZone;
  UINT8 Daylight;
  UINT8 Pad2;
};
static_assert(sizeof(EFI_TIME) == 16);

struct EFI_TIME_CAPABILITIES {
  UINT32 Resolution;
  UINT32 Accuracy;
  BOOLEAN SetsToZero;
};

struct EFI_MAC_ADDRESS {
  UINT8 Addr[32];
};

// Status codes.
constexpr EFI_STATUS kEfiErrorBit = 0x8000000000000000ULL;
constexpr EFI_STATUS EfiError(UINTN n) { return kEfiErrorBit | n; }
inline constexpr bool EFI_ERROR(EFI_STATUS s) { return (s & kEfiErrorBit) != 0; }

constexpr EFI_STATUS EFI_SUCCESS = 0;
constexpr EFI_STATUS EFI_LOAD_ERROR = EfiError(1);
constexpr EFI_STATUS EFI_INVALID_PARAMETER = EfiError(2);
constexpr EFI_STATUS EFI_UNSUPPORTED = EfiError(3);
constexpr EFI_STATUS EFI_BAD_BUFFER_SIZE = EfiError(4);
constexpr EFI_STATUS EFI_BUFFER_TOO_SMALL = EfiError(5);
constexpr EFI_STATUS EFI_NOT_READY = EfiError(6);
constexpr EFI_STATUS EFI_DEVICE_ERROR = EfiError(7);
constexpr EFI_STATUS EFI_WRITE_PROTECTED = EfiError(8);
constexpr EFI_STATUS EFI_OUT_OF_RESOURCES = EfiError(9);
constexpr EFI_STATUS EFI_VOLUME_CORRUPTED = EfiError(10);
constexpr EFI_STATUS EFI_VOLUME_FULL = EfiError(11);
constexpr EFI_STATUS EFI_NO_MEDIA = EfiError(12);
constexpr EFI_STATUS EFI_MEDIA_CHANGED = EfiError(13);
constexpr EFI_STATUS EFI_NOT_FOUND = EfiError(14);
constexpr EFI_STATUS EFI_ACCESS_DENIED = EfiError(15);
constexpr EFI_STATUS EFI_NO_RESPONSE = EfiError(16);
constexpr EFI_STATUS EFI_NO_MAPPING = EfiError(17);
constexpr EFI_STATUS EFI_TIMEOUT = EfiError(18);
constexpr EFI_STATUS EFI_NOT_STARTED = EfiError(19);
constexpr EFI_STATUS EFI_ALREADY_STARTED = EfiError(20);
constexpr EFI_STATUS EFI_ABORTED = EfiError(21);
constexpr EFI_STATUS EFI_ICMP_ERROR = EfiError(22);
constexpr EFI_STATUS EFI_TFTP_ERROR = EfiError(23);
constexpr EFI_STATUS EFI_PROTOCOL_ERROR = EfiError(24);
constexpr EFI_STATUS EFI_INCOMPATIBLE_VERSION = EfiError(25);
constexpr EFI_STATUS EFI_SECURITY_VIOLATION = EfiError(26);
constexpr EFI_STATUS EFI_CRC_ERROR = EfiError(27);
constexpr EFI_STATUS EFI_END_OF_MEDIA = EfiError(28);
constexpr EFI_STATUS EFI_END_OF_FILE = EfiError(31);
constexpr EFI_STATUS EFI_INVALID_LANGUAGE = EfiError(32);
constexpr EFI_STATUS EFI_COMPROMISED_DATA = EfiError(33);

constexpr EFI_STATUS EFI_WARN_UNKNOWN_GLYPH = 1;
constexpr EFI_STATUS EFI_WARN_DELETE_FAILURE = 2;
constexpr EFI_STATUS EFI_WARN_WRITE_FAILURE = 3;
constexpr EFI_STATUS EFI_WARN_BUFFER_TOO_SMALL = 4;

constexpr UINTN EFI_PAGE_SIZE = 4096;
constexpr UINTN EfiSizeToPages(UINTN size) { return (size + EFI_PAGE_SIZE - 1) / EFI_PAGE_SIZE; }
