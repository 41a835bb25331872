// The property-list parser on arbitrary text, as a dictionary and as an array. Whatever it
// reads, the writer's output must read back as the same tree, and freeing must leave
// nothing but the node pool and the key names.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "config/plist.h"
#include "config/plist_pool.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

namespace {

// What the writer cannot reproduce: keys without a value, and anything below 16 levels.
bool Writable(const PlistNode* node, int depth) {
  for (; node; node = node->next) {
    if (depth > 16 || (node->type == kPlistKey && !node->child)) return false;
    if (!Writable(node->child, depth + 1)) return false;
  }
  return true;
}

// Equal trees; reals only by type, since the writer leaves their digits out.
bool Same(const PlistNode* a, const PlistNode* b) {
  for (; a && b; a = a->next, b = b->next) {
    if (a->type != b->type) return false;
    bool text = a->type == kPlistKey || a->type == kPlistString;
    if (text && std::strcmp(a->string, b->string) != 0) return false;
    if (a->type == kPlistInteger && a->integer != b->integer) return false;
    if (a->type == kPlistData &&
        (a->dataLength != b->dataLength || (a->dataLength && std::memcmp(a->data, b->data, a->dataLength) != 0))) {
      return false;
    }
    if (!Same(a->child, b->child)) return false;
  }
  return !a && !b;
}

EFI_STATUS Parse(const std::vector<char>& source, bool array, PlistNode** root) {
  // An exact-size heap copy: one byte past the end is an AddressSanitizer error.
  char* text = static_cast<char*>(std::malloc(source.size() ? source.size() : 1));
  if (!source.empty()) std::memcpy(text, source.data(), source.size());
  EFI_STATUS status = array ? PlistParseArray(text, source.size(), root) : PlistParseDictionary(text, source.size(), root);
  std::free(text);
  return status;
}

std::vector<char> Write(const PlistNode* root) {
  char* xml = nullptr;
  if (EFI_ERROR(PlistWriteXml(root, &xml))) std::abort();
  std::vector<char> text(xml, xml + std::strlen(xml));
  PoolFree(xml);
  return text;
}

void CheckOnlyPoolAndSymbolsLeft() {
  PlistPoolCounts counts{};
  PlistGetPoolCounts(&counts);
  if (counts.liveNodes != 0 || TrackedAllocationCount() != counts.nodeBlocks + counts.symbols) std::abort();
}

void RoundTrip(const std::vector<char>& input, bool array) {
  PlistNode* first = nullptr;
  if (EFI_ERROR(Parse(input, array, &first))) {
    CheckOnlyPoolAndSymbolsLeft();
    return;
  }
  std::vector<char> xml = Write(first);
  if (Writable(first, 0)) {
    PlistNode* second = nullptr;
    if (EFI_ERROR(Parse(xml, array, &second)) || !Same(first, second)) std::abort();
    if (Write(second) != xml) std::abort();
    PlistFree(second);
  }
  PlistFree(first);
  CheckOnlyPoolAndSymbolsLeft();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A fresh firmware now and then: the pool is reused across inputs (as across the parses
  // of one boot), while the key names interned meanwhile are dropped before they pile up.
  static std::unique_ptr<TestFirmware> fw;
  static unsigned inputs = 0;
  if (inputs++ % 256 == 0) {
    fw.reset();
    fw = std::make_unique<TestFirmware>();
  }
  std::vector<char> input(data, data + size);
  RoundTrip(input, false);
  RoundTrip(input, true);
  return 0;
}
