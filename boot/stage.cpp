#include "boot/stage.h"

#include "diag/ascii_format.h"
#include "diag/serial.h"

namespace {
void MarkWithName(const char* word, const char* name) {
  char mark[96];
  AsciiSNPrint(mark, sizeof(mark), "%s %s", word, name);
  StageMark(mark);
}
}  // namespace

void StageMark(const char* mark) {
  // Until the performance record exists the marks go to the serial port.
  char line[112];
  UINTN n = AsciiSNPrint(line, sizeof(line), "hearth: %s\n", mark);
  SerialWrite(line, n);
}

Stage::Stage(const char* name) : name_(name) { MarkWithName("Start", name_); }
Stage::~Stage() { MarkWithName("End", name_); }
