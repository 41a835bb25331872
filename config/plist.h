// XML property lists: a small, forgiving parser that works in place on a writable text and
// builds a tree of PlistNode records, and a writer that turns a tree back into compact XML.
// The parser reads the boot configuration, the platform-support list and the encrypted-root
// key file; the writer produces property values handed to the kernel.
#pragma once

#include "efi/types.h"

// Node types; the writer names them in this order of numbers.
enum PlistType : UINT64 {
  kPlistNone = 0,
  kPlistDict = 1,
  kPlistKey = 2,
  kPlistString = 3,
  kPlistInteger = 4,
  kPlistData = 5,
  kPlistDate = 6,
  kPlistFalse = 7,
  kPlistTrue = 8,
  kPlistArray = 9,
  kPlistReal = 10,
};

// One parsed value. A dict's members are its key nodes chained through next, each key
// holding its value in child; an array's members are the value nodes themselves.
struct PlistNode {
  UINT64 type;          // PlistType
  const char* string;   // key name or string text, interned in the symbol table
  INT64 integer;        // integer and real nodes (reals keep only their integer digits)
  UINT8* data;          // data nodes: the decoded bytes
  UINT64 dataLength;
  PlistNode* child;     // dict and array: first member; key: the value
  PlistNode* next;      // next member of the same dict or array
};
static_assert(sizeof(PlistNode) == 56, "seven 64-bit fields");

// Parses text[0, length) in place (tag ends and element contents are overwritten with NUL,
// entities are folded) and returns the first top-level dict; other top-level values are
// freed. The text ends at length or at its first NUL, whichever comes first; nothing
// outside text[0, length) is read or written.
// EFI_NOT_FOUND: no dict, or text that ends or breaks before one is complete.
// EFI_OUT_OF_RESOURCES: no memory for a node or a data buffer.
// Running out of memory for a string is fatal ("NULL symbol!").
[[nodiscard]] EFI_STATUS PlistParseDictionary(char* text, UINTN length, PlistNode** dict);

// The same, returning the first top-level array.
[[nodiscard]] EFI_STATUS PlistParseArray(char* text, UINTN length, PlistNode** array);

// The value of the first member key of dict named exactly key (byte comparison); null when
// dict is null, not a dict, empty or has no such key.
PlistNode* PlistDictLookup(const PlistNode* dict, const char* key);

// Number of members of an array; 0 for anything that is not an array.
UINTN PlistArrayCount(const PlistNode* array);

// The member at a zero-based index; null when out of range or not an array.
PlistNode* PlistArrayItem(const PlistNode* array, UINTN index);

// Frees node, its child subtree and its whole next chain. String texts drop one reference;
// data buffers are freed; key names stay interned for the rest of the boot.
void PlistFree(PlistNode* node);

// Writes node and its next chain as compact XML (no declaration, no plist element, no
// white space) into a new NUL-terminated pool text that the caller frees with PoolFree.
// Chains more than 16 levels below node are left out.
// EFI_INVALID_PARAMETER: xml is null. EFI_OUT_OF_RESOURCES: no memory for the text.
[[nodiscard]] EFI_STATUS PlistWriteXml(const PlistNode* node, char** xml);

// The writer's name of a type ("dict", "key", ...; "unknown" for 11 and above).
const char* PlistTypeName(UINT64 type);
