// The debug log: messages formatted with the 8-bit engine, optionally time-stamped, cut
// into chunks of at most 148 characters and handed to every enabled sink (the first serial
// port, the firmware console, "BOOTER.LOG" on an internal EFI system partition, and a
// bounded copy in memory). The "log", "debug" and "level" booter settings steer it.
#pragma once

#include <stdarg.h>

#include "efi/types.h"
#include "flags/booter_config.h"

// Sink masks ("log" setting bits, and LogSetSinks masks).
constexpr UINT64 kLogSinkConsole = 0x1;
constexpr UINT64 kLogSinkSerial = 0x2;
constexpr UINT64 kLogSinkFile = 0x4;
constexpr UINT64 kLogSinkMemory = 0x10;
// What LogMessage formats for: every sink.
constexpr UINT64 kLogAllSinks = 0x37;

// "debug" setting bits.
constexpr UINT64 kLogDebugAppendMemoryLog = 0x1;   // at shutdown, append the memory log to the file
constexpr UINT64 kLogDebugPublishMemoryLog = 0x2;  // publish the memory log in the device tree
constexpr UINT64 kLogDebugTimeStamps = 0x4;

// Every message of the loader is issued in this category.
constexpr UINT32 kLogCategoryError = 0x80000000;
// Stage marks ("Start ReadKernelCache") also go to the log in this category; the default
// "level" leaves them out, "level=0x80000001" shows them.
constexpr UINT32 kLogCategoryStage = 0x1;

// A line holds 148 characters before it goes to the sinks.
constexpr UINTN kLogLineSize = 149;
// The in-memory copy keeps the most recent bytes up to this size.
constexpr UINTN kLogMemorySize = 64 * 1024;

// Sink states for LogSetSinks.
constexpr UINT8 kLogSinkEnable = 0;
constexpr UINT8 kLogSinkDisable = 1;

// Formats for every sink when category passes the "level" setting.
void LogMessage(UINT32 category, const char* format, ...);

// Formats for the sinks in sink_mask (with the time stamp when "debug" asks for one).
void LogFormat(UINT64 sink_mask, UINT32 category, const char* format, va_list args);

// Formats into buffer with the log's character handling (a tab becomes four spaces, a line
// feed gets a carriage return before it). When size - 1 characters are held, writing starts
// again at the beginning. Returns the characters stored (after the last restart); the text
// is NUL-terminated. size below 2 stores at most the terminator and returns 0.
UINTN LogFormatToBuffer(char* buffer, UINTN size, const char* format, ...);

// Takes the booter settings the log follows ("log", "debug", "level"), enables the sinks
// selected by "log", and the memory copy when "debug" asks for it (bit 0x1 or 0x2). Called
// once, after the booter settings are read; before it the defaults hold and no sink is on.
void LogStart(const BooterSettings& settings);

// Enables (kLogSinkEnable) or disables (kLogSinkDisable) every sink whose mask is in mask.
void LogSetSinks(UINT64 mask, UINT8 state);

// Before the kernel, another boot image or the failure exit: appends to the log file what
// the memory copy gained since the last shutdown (when "debug" bit 0x1 asks, attaching the
// file for it if needed), then turns off every sink but the serial port and the memory copy,
// and stops asking the firmware clock for time stamps.
void LogShutdown();

// The in-memory copy, oldest byte first. When older bytes have been dropped, the view
// starts after the first line break left. The bytes stay valid until the next message.
void LogInMemoryContents(const UINT8** data, UINTN* size);

// Adds a property to a device-tree node (created when missing); the value must be copied,
// since the log keeps changing.
typedef EFI_STATUS (*LogDeviceTreePublisher)(const char* node_path, const char* property, const void* value,
                                             UINT32 length, void* context);

// When "debug" bit 0x2 is set and the memory copy is not empty, publishes it as property
// "hearth" of "/efi/debug-log" through publish. EFI_SUCCESS when there is nothing to publish.
[[nodiscard]] EFI_STATUS LogPublishToDeviceTree(LogDeviceTreePublisher publish, void* context);
