#include "diag/log.h"

#include "flags/booter_config.h"
#include "output/ascii_format.h"
#include "diag/log_sinks.h"
#include "efi/efi.h"
#include "lib/host_reset.h"

namespace {

// What LogStart was given; the defaults until then.
BooterSettings gSettings = {kBooterDefaultLog, kBooterDefaultDebug, kBooterDefaultKcReadSize, kBooterDefaultLevel};

void ForgetSettings() {
  gSettings = {kBooterDefaultLog, kBooterDefaultDebug, kBooterDefaultKcReadSize, kBooterDefaultLevel};
}
HEARTH_HOST_RESET(ForgetSettings);

struct LogSinkRow {
  UINT64 mask;
  void (*enable)(UINT8 state);
  void (*write)(UINT32 category, const char* text, UINTN length);
};

// Walked in this order for every chunk.
const LogSinkRow kSinks[] = {
    {kLogSinkSerial, SerialSinkEnable, SerialSinkWrite},
    {kLogSinkConsole, ConsoleSinkEnable, ConsoleSinkWrite},
    {kLogSinkFile, FileSinkEnable, FileSinkWrite},
    {kLogSinkMemory, MemorySinkEnable, MemorySinkWrite},
};

// A line being assembled: flushed to the sinks in sinks whenever end - 1 is reached.
struct LogLine {
  char* start;
  char* write;
  char* end;
  UINT64 sinks;
  UINT32 category;
};

void Emit(LogLine* line) {
  *line->write = 0;
  const UINTN count = static_cast<UINTN>(line->write - line->start);
  for (const LogSinkRow& sink : kSinks) {
    if (sink.mask & line->sinks) sink.write(line->category, line->start, count);
  }
  line->write = line->start;
}

void Put(LogLine* line, char c) {
  if (line->write == line->end - 1) Emit(line);
  *line->write++ = c;
}

void LogCharSink(char c, void* context) {
  LogLine* line = static_cast<LogLine*>(context);
  if (c == '\t') {
    for (int i = 0; i < 4; ++i) Put(line, ' ');
    return;
  }
  if (c == '\n') Put(line, '\r');
  Put(line, c);
}

UINTN FormatTimeStamp(char* buffer, UINTN size) {
  if (!gRT) return 0;
  EFI_TIME now;
  if (EFI_ERROR(gRT->GetTime(&now, nullptr))) return 0;
  return LogFormatToBuffer(buffer, size, "%02d/%02d/%02d %02d:%02d:%02d ", UINT64(now.Month), UINT64(now.Day),
                           UINT64(now.Year), UINT64(now.Hour), UINT64(now.Minute), UINT64(now.Second));
}

}  // namespace

void LogFormat(UINT64 sink_mask, UINT32 category, const char* format, va_list args) {
  char buffer[kLogLineSize + 1];
  LogLine line = {buffer, buffer, buffer + kLogLineSize, sink_mask, category};
  if (gSettings.debug & kLogDebugTimeStamps) line.write += FormatTimeStamp(buffer, kLogLineSize);
  AsciiFormat(format, LogCharSink, &line, args);
  if (line.write != line.start) Emit(&line);
}

void LogMessage(UINT32 category, const char* format, ...) {
  if (!(gSettings.level & category)) return;
  va_list args;
  va_start(args, format);
  LogFormat(kLogAllSinks, category, format, args);
  va_end(args);
}

UINTN LogFormatToBuffer(char* buffer, UINTN size, const char* format, ...) {
  if (size == 0) return 0;
  if (size < 2) {
    buffer[0] = 0;
    return 0;
  }
  LogLine line = {buffer, buffer, buffer + size, 0, 0};
  va_list args;
  va_start(args, format);
  AsciiFormat(format, LogCharSink, &line, args);
  va_end(args);
  *line.write = 0;
  return static_cast<UINTN>(line.write - line.start);
}

void LogSetSinks(UINT64 mask, UINT8 state) {
  for (const LogSinkRow& sink : kSinks) {
    if (sink.mask & mask) sink.enable(state);
  }
}

void LogStart(const BooterSettings& settings) {
  gSettings = settings;
  LogSetSinks(gSettings.log & (kLogSinkConsole | kLogSinkSerial | kLogSinkFile), kLogSinkEnable);
  if (gSettings.debug & (kLogDebugAppendMemoryLog | kLogDebugPublishMemoryLog)) {
    LogSetSinks(kLogSinkMemory, kLogSinkEnable);
  }
}

void LogShutdown() {
  if (gSettings.debug & kLogDebugAppendMemoryLog) {
    const UINT8* data = nullptr;
    UINTN size = 0;
    MemorySinkTakeUnflushed(&data, &size);
    if (size) {
      if (!FileSinkEnabled()) FileSinkEnable(kLogSinkEnable);
      FileSinkWrite(kLogCategoryError, reinterpret_cast<const char*>(data), size);
    }
  }
  // The console and the file go away with boot services; the serial port and the memory
  // copy still work after them.
  LogSetSinks(kLogSinkConsole | kLogSinkFile, kLogSinkDisable);
  gSettings.debug &= ~kLogDebugTimeStamps;
}

EFI_STATUS LogPublishToDeviceTree(LogDeviceTreePublisher publish, void* context) {
  if (!(gSettings.debug & kLogDebugPublishMemoryLog) || !publish) return EFI_SUCCESS;
  const UINT8* data = nullptr;
  UINTN size = 0;
  LogInMemoryContents(&data, &size);
  if (size == 0) return EFI_SUCCESS;
  return publish("/efi/debug-log", "hearth", data, static_cast<UINT32>(size), context);
}
