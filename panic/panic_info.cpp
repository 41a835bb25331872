#include "panic/panic_info.h"

#include "config/boot_options.h"
#include "config/start_keys.h"
#include "crypto/crc32.h"
#include "diag/log.h"
#include "efi/protocols/simple_pointer.h"
#include "efi/protocols/simple_text_input.h"
#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "graphics/boot_screen.h"
#include "graphics/display.h"
#include "graphics/display_connect.h"
#include "memory/memory.h"
#include "output/console.h"
#include "output/console_mode.h"
#include "panic/panic_log.h"

namespace {

constexpr UINT32 kPanicPieces = 16;
constexpr UINT32 kLoopWarningSeconds = 30;
constexpr UINT32 kGraphicsNoticeSeconds = 10;
constexpr UINT32 kTextNoticeSeconds = 5;
constexpr UINTN kPollMicroseconds = 10000;

constexpr const CHAR16* kPanicLogName = u"TARN,PanicInfoLog";
constexpr UINT32 kPanicLogAttributes = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS;

void PieceName(UINT32 piece, CHAR16 name[19]) {
  const CHAR16 prefix[] = u"TARN,PanicInfo000";
  for (UINTN i = 0; i < 17; ++i) name[i] = prefix[i];
  name[17] = static_cast<CHAR16>(piece < 10 ? u'0' + piece : u'A' + piece - 10);
  name[18] = 0;
}

UINTN PieceSize(UINT32 piece) {
  CHAR16 name[19];
  PieceName(piece, name);
  UINTN size = 0;
  return gRT->GetVariable(name, &TarnBootGuid, nullptr, &size, nullptr) == EFI_BUFFER_TOO_SMALL ? size : 0;
}

// The CRC-32 of the report (pieces 0, 1, ... up to the first missing one); false when there
// are no bytes, no memory or a read fails.
bool ReportCrc(UINT32* crc) {
  UINTN total = 0;
  UINTN sizes[kPanicPieces] = {};
  UINT32 pieces = 0;
  for (; pieces < kPanicPieces; ++pieces) {
    sizes[pieces] = PieceSize(pieces);
    if (sizes[pieces] == 0) break;
    total += sizes[pieces];
  }
  if (total == 0) return false;
  UINT8* report = static_cast<UINT8*>(PoolAllocate(total));
  if (!report) return false;
  UINTN at = 0;
  bool read = true;
  for (UINT32 piece = 0; read && piece < pieces; ++piece) {
    CHAR16 name[19];
    PieceName(piece, name);
    UINTN size = sizes[piece];
    // A piece that grew since it was sized would not fit: a read error like any other.
    read = !EFI_ERROR(gRT->GetVariable(name, &TarnBootGuid, nullptr, &size, report + at)) && size == sizes[piece];
    at += size;
  }
  if (read) *crc = Crc32(0, report, total);
  PoolFree(report);
  return read;
}

bool AudioAllowsNotice() {
  if (BootModeFlags & kBootModeDebug) return true;
  UINT8 volume = 0;
  UINTN size = sizeof(volume);
  if (EFI_ERROR(gRT->GetVariable(u"SystemAudioVolume", &TarnBootGuid, nullptr, &size, &volume))) return false;
  return (volume & 0x80) != 0;
}

void DeletePanicLog() { gRT->SetVariable(kPanicLogName, &TarnBootGuid, 0, 0, nullptr); }

EFI_STATUS WritePanicLog(const PanicLog& log) {
  return gRT->SetVariable(kPanicLogName, &TarnBootGuid, kPanicLogAttributes, sizeof(log),
                          const_cast<PanicLog*>(&log));
}

enum class Verdict { kNotice, kAlreadyShown, kLoop };

// Steps 6 to 8: the log decides between the notice, silence and the loop warning.
Verdict ConsultPanicLog(UINT32 crc, const EFI_TIME& now, UINT32* span) {
  PanicLog log;
  UINTN size = sizeof(log);
  EFI_STATUS status = gRT->GetVariable(kPanicLogName, &TarnBootGuid, nullptr, &size, &log);
  if (status == EFI_NOT_FOUND) {
    WritePanicLog(NewPanicLog(crc, now));
    return Verdict::kNotice;
  }
  if (EFI_ERROR(status) || !ReadPanicLog(ByteSpan(&log, size), &log)) {
    DeletePanicLog();
    return Verdict::kNotice;
  }
  UINT32 previous_crc = log.crc;
  *span = RecordPanic(&log, crc, now);
  LogMessage(kLogCategoryStage, "Panic log: %d s since the oldest of the last %d panics\n", *span, kPanicLogEntries);
  if (EFI_ERROR(WritePanicLog(log))) return Verdict::kNotice;
  if (previous_crc == crc) return Verdict::kAlreadyShown;
  if (*span != 0 && *span < kPanicLoopSeconds) return Verdict::kLoop;
  return Verdict::kNotice;
}

void Banner(UINTN stars) {
  char line[80];
  for (UINTN i = 0; i < stars; ++i) line[i] = '*';
  line[stars] = 0;
  ConsolePrint("%s\n", line);
}

// The console in text for verbose boots, else the graphics screen; false when graphics
// cannot be had.
bool PrepareScreen() {
  ConnectGraphics(false, true);
  if (BootModeFlags & kBootModeVerbose) {
    (void)SetConsoleMode(kConsoleModeText);  // a console that stays in graphics still shows the text
    return true;
  }
  if (EFI_ERROR(OpenBootGraphics())) return false;
  GetFramebufferInfo(nullptr, nullptr);
  return true;
}

[[noreturn]] void StopPanicLoop(UINT32 span) {
  DeletePanicLog();
  if (PrepareScreen() && !(BootModeFlags & kBootModeVerbose)) {
    FillBackgroundRect(0, 0, gDisplay.width, gDisplay.height);
  }
  Banner(63);
  ConsolePrint("Panic loop detected (%d in %3d seconds).  System will shut down.\n", kPanicLogEntries, span);
  ConsolePrint("Try booting into the Recovery HD volume by holding Command + R.\n");
  Banner(63);
  LogMessage(kLogCategoryError, "Panic loop detected (%d in %3d seconds).  System will shut down.\n", kPanicLogEntries,
             span);
  gBS->Stall(UINTN(kLoopWarningSeconds) * 1000 * 1000);
  gRT->ResetSystem(EfiResetShutdown, EFI_SUCCESS, 0, nullptr);
  for (;;) gBS->Stall(1000 * 1000);  // a reset that comes back has nowhere to go
}

// A key, a pointer button, or the time running out.
void WaitForKeyOrButton(UINT32 seconds) {
  EFI_SIMPLE_POINTER_PROTOCOL* pointer = nullptr;
  gBS->LocateProtocol(&kEfiSimplePointerProtocolGuid, nullptr, reinterpret_cast<void**>(&pointer));
  for (UINTN waited = 0; waited < UINTN(seconds) * 1000 * 1000; waited += kPollMicroseconds) {
    EFI_INPUT_KEY key;
    if (gST->ConIn && !EFI_ERROR(gST->ConIn->ReadKeyStroke(gST->ConIn, &key))) return;
    EFI_SIMPLE_POINTER_STATE state{};
    if (pointer && !EFI_ERROR(pointer->GetState(pointer, &state)) && (state.LeftButton || state.RightButton)) return;
    gBS->Stall(kPollMicroseconds);
  }
}

// False when the graphics screen could not be had: the step ends there.
bool ShowNotice() {
  ConsolePrint("\n");
  Banner(50);
  ConsolePrint("This system was automatically rebooted after panic\n");
  Banner(50);
  LogMessage(kLogCategoryError, "This system was automatically rebooted after panic\n");
  if (BootModeFlags & kBootModeVerbose) {
    (void)SetConsoleMode(kConsoleModeText);  // a console that stays in graphics still shows the text
    gBS->Stall(UINTN(kTextNoticeSeconds) * 1000 * 1000);
    return true;
  }
  if (!PrepareScreen()) return false;
  DrawPanicDialog();
  WaitForKeyOrButton(kGraphicsNoticeSeconds);
  FillBackgroundRect(0, 0, gDisplay.width, gDisplay.height);
  gBS->Stall(1000 * 1000);
  return true;
}

// The user may have pressed Command-V or Shift while the notice was up: those choices
// reach the kernel too.
void ApplyKeysHeldAfterNotice() {
  ReadKeysHeldAtStart();
  EFI_STATUS status = RebuildKernelCommandLine();
  if (EFI_ERROR(status)) LogMessage(kLogCategoryError, "Kernel command line not rebuilt (0x%lx)\n", status);
}

}  // namespace

void ShowPanicInformation() {
  if (PieceSize(0) == 0) return;
  if (!AudioAllowsNotice()) return;
  EFI_TIME now{};
  if (EFI_ERROR(gRT->GetTime(&now, nullptr))) now = EFI_TIME{};
  LogMessage(kLogCategoryStage, "Panic report found at %04d-%02d-%02d %02d:%02d:%02d\n", now.Year, now.Month, now.Day,
             now.Hour, now.Minute, now.Second);
  UINT32 crc = 0;
  if (ReportCrc(&crc)) {
    UINT32 span = 0;
    Verdict verdict = ConsultPanicLog(crc, now, &span);
    if (verdict == Verdict::kAlreadyShown) return;
    if (verdict == Verdict::kLoop) StopPanicLoop(span);
  }
  if (ShowNotice()) ApplyKeysHeldAfterNotice();
}
