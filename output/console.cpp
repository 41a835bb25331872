#include "output/console.h"

#include "output/ascii_format.h"
#include "efi/efi.h"
#include "efi/protocols/simple_text_output.h"

namespace {

constexpr UINTN kChunk = 128;

struct ConsoleLine {
  char16_t text[kChunk + 1];
  UINTN used;
};

EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* ConsoleOut() {
  if (!gST || !gBS) return nullptr;  // after the exit of boot services the console is gone
  return gST->ConOut ? gST->ConOut : gST->StdErr;
}

void Flush(ConsoleLine* line) {
  if (line->used == 0) return;
  line->text[line->used] = 0;
  if (EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = ConsoleOut()) out->OutputString(out, line->text);
  line->used = 0;
}

void Put(ConsoleLine* line, char16_t c) {
  if (line->used == kChunk) Flush(line);
  line->text[line->used++] = c;
}

void ConsoleSink(char c, void* context) {
  ConsoleLine* line = static_cast<ConsoleLine*>(context);
  if (c == '\t') {
    for (int i = 0; i < 8; ++i) Put(line, u' ');
  } else if (c == '\n') {
    Put(line, u'\r');
    Put(line, u'\n');
  } else {
    Put(line, static_cast<unsigned char>(c));
  }
}

}  // namespace

void ConsoleVPrint(const char* format, va_list args) {
  ConsoleLine line;
  line.used = 0;
  AsciiFormat(format, ConsoleSink, &line, args);
  Flush(&line);
}

void ConsolePrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ConsoleVPrint(format, args);
  va_end(args);
}

void ConsoleWrite(const char* text, UINTN length) {
  ConsoleLine line;
  line.used = 0;
  for (UINTN i = 0; i < length; ++i) ConsoleSink(text[i], &line);
  Flush(&line);
}
