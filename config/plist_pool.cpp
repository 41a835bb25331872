#include "config/plist_pool.h"

#include "output/error_report.h"
#include "memory/memory.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

// A symbol entry: the header, then the text and its NUL (text length + 17 bytes in all).
struct SymbolEntry {
  UINT64 references;
  SymbolEntry* next;
};
static_assert(sizeof(SymbolEntry) == 16);

PlistNode* gFreeNodes = nullptr;  // chained through next
UINTN gNodeBlocks = 0;
UINTN gLiveNodes = 0;
SymbolEntry* gSymbols = nullptr;
UINTN gSymbolCount = 0;

char* EntryText(SymbolEntry* entry) { return reinterpret_cast<char*>(entry + 1); }

bool AddNodeBlock() {
  auto* nodes = static_cast<PlistNode*>(PoolAllocate(kPlistNodesPerBlock * sizeof(PlistNode)));
  if (!nodes) return false;
  for (UINTN i = 0; i < kPlistNodesPerBlock; ++i) {
    nodes[i].next = gFreeNodes;
    gFreeNodes = &nodes[i];
  }
  ++gNodeBlocks;
  return true;
}

void ForgetPoolAndSymbols() {
  gFreeNodes = nullptr;
  gNodeBlocks = gLiveNodes = 0;
  gSymbols = nullptr;
  gSymbolCount = 0;
}
HEARTH_HOST_RESET(ForgetPoolAndSymbols);

}  // namespace

PlistNode* PlistNodeAllocate() {
  if (!gFreeNodes && !AddNodeBlock()) return nullptr;
  PlistNode* node = gFreeNodes;
  gFreeNodes = node->next;
  MemZero(node, sizeof(*node));
  ++gLiveNodes;
  return node;
}

void PlistNodeRelease(PlistNode* node) {
  if (!node) return;
  node->next = gFreeNodes;
  gFreeNodes = node;
  --gLiveNodes;
}

const char* PlistSymbolIntern(const char* text) {
  for (SymbolEntry* entry = gSymbols; entry; entry = entry->next) {
    if (AsciiStrCmp(EntryText(entry), text) == 0) {
      ++entry->references;
      return EntryText(entry);
    }
  }
  UINTN length = AsciiStrLen(text);
  auto* entry = static_cast<SymbolEntry*>(PoolAllocate(sizeof(SymbolEntry) + length + 1));
  if (!entry) {
    (void)ReportError(EFI_OUT_OF_RESOURCES, "NULL symbol!\n");
    return nullptr;
  }
  entry->references = 1;
  entry->next = gSymbols;
  MemCopy(EntryText(entry), text, length + 1);
  gSymbols = entry;
  ++gSymbolCount;
  return EntryText(entry);
}

void PlistSymbolRelease(const char* text) {
  for (SymbolEntry** link = &gSymbols; *link; link = &(*link)->next) {
    SymbolEntry* entry = *link;
    if (EntryText(entry) != text) continue;
    if (--entry->references == 0) {
      *link = entry->next;
      --gSymbolCount;
      PoolFree(entry);
    }
    return;
  }
}

void PlistGetPoolCounts(PlistPoolCounts* counts) {
  *counts = PlistPoolCounts{gNodeBlocks, gLiveNodes, gSymbolCount};
}
