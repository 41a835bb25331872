#include "diag/stage.h"

#include "output/ascii_format.h"
#include "diag/log.h"
#include "diag/perf_record.h"

namespace {
void MarkWithName(const char* word, const char* name) {
  char mark[96];
  AsciiSNPrint(mark, sizeof(mark), "%s %s", word, name);
  StageMark(mark);
}
}  // namespace

void StageMark(const char* mark) {
  PerfRecordMark("%s", mark);
  // Also in the debug log for whoever selects the stage category in "level".
  LogMessage(kLogCategoryStage, "hearth: %s\n", mark);
}

Stage::Stage(const char* name) : name_(name) { MarkWithName("Start", name_); }
Stage::~Stage() { MarkWithName("End", name_); }
