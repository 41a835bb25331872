// How the loader talks to the system management controller: locate the maker's protocol,
// read with bounded retries, write once. Callers decide their own fallback when there is
// no controller or a key stays unreadable.
#pragma once

#include "efi/protocols/tarn_smc.h"
#include "efi/types.h"

// The four characters of a key, the first in the most significant byte ("HBKP" = 0x48424B50).
constexpr UINT32 SmcKey(const char (&name)[5]) {
  return (UINT32(UINT8(name[0])) << 24) | (UINT32(UINT8(name[1])) << 16) | (UINT32(UINT8(name[2])) << 8) |
         UINT32(UINT8(name[3]));
}

constexpr UINT32 kSmcKeyBootKey = SmcKey("HBKP");  // 32 bytes
constexpr UINT32 kSmcKeyPowerLimit = SmcKey("MSTc");
constexpr UINT32 kSmcKeyPowerLimitAlt = SmcKey("MSAc");
constexpr UINT32 kSmcKeyWakeReason = SmcKey("MSWr");
constexpr UINT32 kSmcKeyWakeFirmware = SmcKey("MSFW");
constexpr UINT32 kSmcKeyWakePowerState = SmcKey("MSPS");
constexpr UINT32 kSmcKeyWakeClock = SmcKey("CLWK");
constexpr UINT32 kSmcKeyOnBattery = SmcKey("BATP");
constexpr UINT32 kSmcKeyLidClosed = SmcKey("MSLD");
constexpr UINT32 kSmcKeyBatteryPresent = SmcKey("BBIN");
constexpr UINT32 kSmcKeyBatteryBad = SmcKey("BBAD");
constexpr UINT32 kSmcKeyChargingState = SmcKey("BSIn");
constexpr UINT32 kSmcKeyChargePercent = SmcKey("BRSC");

constexpr UINTN kSmcBootKeySize = 32;
// Largest value the loader reads or writes.
constexpr UINTN kSmcMaxValueSize = 32;
// Attempts per read before the key counts as unreadable.
constexpr int kSmcReadAttempts = 10;

// Finds the protocol. EFI_NOT_FOUND (or the firmware's status) when there is no controller.
[[nodiscard]] EFI_STATUS SmcLocate(TarnSmcIoProtocol** smc);

// Reads size bytes (1..kSmcMaxValueSize) of a key, trying up to kSmcReadAttempts times.
// buffer is written only on success, so a caller's default survives a failed read.
// EFI_INVALID_PARAMETER for a bad size or null pointers; otherwise the last read's status.
[[nodiscard]] EFI_STATUS SmcRead(TarnSmcIoProtocol* smc, UINT32 key, UINTN size, void* buffer);

// Writes size bytes (1..kSmcMaxValueSize) of a key once.
[[nodiscard]] EFI_STATUS SmcWrite(TarnSmcIoProtocol* smc, UINT32 key, UINTN size, const void* buffer);

// Locates the protocol and reads; the status of whichever step failed.
[[nodiscard]] EFI_STATUS SmcReadKey(UINT32 key, UINTN size, void* buffer);

// Reads the 32-byte boot key slot into key, then overwrites the slot with zeros (a failed
// overwrite is ignored). key is written only on success.
[[nodiscard]] EFI_STATUS SmcTakeBootKey(UINT8 key[kSmcBootKeySize]);
