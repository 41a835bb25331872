// Lookups in parsed trees and their release.
#include "config/plist.h"
#include "config/plist_pool.h"
#include "memory/memory.h"
#include "lib/string.h"

namespace {

void ReleaseNode(PlistNode* node) {
  if (node->type == kPlistString) PlistSymbolRelease(node->string);
  if (node->type == kPlistData) PoolFree(node->data);
  PlistNodeRelease(node);
}

}  // namespace

PlistNode* PlistDictLookup(const PlistNode* dict, const char* key) {
  if (!dict || dict->type != kPlistDict || !key) return nullptr;
  for (const PlistNode* member = dict->child; member; member = member->next) {
    if (member->type == kPlistKey && member->string && AsciiStrCmp(member->string, key) == 0) return member->child;
  }
  return nullptr;
}

UINTN PlistArrayCount(const PlistNode* array) {
  if (!array || array->type != kPlistArray) return 0;
  UINTN count = 0;
  for (const PlistNode* item = array->child; item; item = item->next) ++count;
  return count;
}

PlistNode* PlistArrayItem(const PlistNode* array, UINTN index) {
  if (!array || array->type != kPlistArray) return nullptr;
  PlistNode* item = array->child;
  for (; item && index; --index) item = item->next;
  return item;
}

// Frees without recursion: a node with a child is rotated below it (the child's chain
// takes its place), so any depth of nesting costs no stack.
void PlistFree(PlistNode* node) {
  while (node) {
    if (PlistNode* child = node->child) {
      node->child = child->next;
      child->next = node;
      node = child;
    } else {
      PlistNode* next = node->next;
      ReleaseNode(node);
      node = next;
    }
  }
}
