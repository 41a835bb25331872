// The node pool and the symbol table behind the property-list parser. Both live for the
// whole boot: node blocks are never handed back, and key names stay interned.
#pragma once

#include "config/plist.h"

// Nodes per pool block; a block is 0x38000 bytes.
constexpr UINTN kPlistNodesPerBlock = 4096;

// A zero-filled node from the free list; an empty list takes a new block first.
// Null when that block cannot be allocated.
PlistNode* PlistNodeAllocate();

// Returns one node (not its children) to the free list.
void PlistNodeRelease(PlistNode* node);

// Interns a NUL-terminated text: the stored copy, with one more reference. Out of memory is
// reported ("NULL symbol!") and returns null.
const char* PlistSymbolIntern(const char* text);

// Drops one reference of an interned text; the entry is unlinked and freed when none is
// left. Texts that are not in the table are left alone.
void PlistSymbolRelease(const char* text);

// What the pool and the table hold right now (leak checks and diagnostics).
struct PlistPoolCounts {
  UINTN nodeBlocks;
  UINTN liveNodes;
  UINTN symbols;
};
void PlistGetPoolCounts(PlistPoolCounts* counts);
