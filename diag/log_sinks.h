// The debug log's sinks. Each keeps a one-byte enabled flag; enable takes kLogSinkEnable
// or kLogSinkDisable; write takes (category, text, length) and does nothing when disabled.
#pragma once

#include "efi/types.h"

struct EFI_DEVICE_PATH_PROTOCOL;

void SerialSinkEnable(UINT8 state);
void SerialSinkWrite(UINT32 category, const char* text, UINTN length);

void ConsoleSinkEnable(UINT8 state);
void ConsoleSinkWrite(UINT32 category, const char* text, UINTN length);

void FileSinkEnable(UINT8 state);
void FileSinkWrite(UINT32 category, const char* text, UINTN length);
bool FileSinkEnabled();

void MemorySinkEnable(UINT8 state);
void MemorySinkWrite(UINT32 category, const char* text, UINTN length);
// What the memory copy gained since the last call (bounded by what it still holds).
void MemorySinkTakeUnflushed(const UINT8** data, UINTN* size);

// Rotation threshold of "BOOTER.LOG".
constexpr UINT64 kLogFileRotateSize = 0x80000;

// True for a volume that may hold the log file: a path with the internal-storage vendor
// node, or with an ATAPI, SATA, NVM Express or SAS disk node followed by fewer than two
// hardware nodes. Malformed paths (a node shorter than its header) do not qualify.
bool LogDevicePathQualifies(const EFI_DEVICE_PATH_PROTOCOL* path);
