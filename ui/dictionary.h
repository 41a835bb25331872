// A string-keyed hash table of fixed bucket count, as the resource archives use it to find
// files by name. Keys are NUL-terminated 8-bit strings that the caller keeps alive; values
// are opaque pointers. Insertion appends to the key's bucket, so a key added twice keeps
// both entries and lookups return the first.
#pragma once

#include "efi/types.h"

struct DictionaryPair {
  void* value;
  const char* key;
};

struct DictionaryBucket {
  UINT32 count;
  UINT32 room;
  DictionaryPair* pairs;
};

struct Dictionary {
  UINT32 capacity;  // number of buckets, at least 1
  DictionaryBucket* map;
};

// Paul Hsieh's SuperFastHash of length bytes (initial value: the length).
UINT32 SuperFastHash(const char* data, UINT32 length);

// A dictionary with capacity buckets (0 is taken as 1); null when memory runs out.
Dictionary* DictionaryCreate(UINT32 capacity);
// 0 on success; 1 for a null dictionary or key ("key is NULL"), 2 when memory runs out.
UINT32 DictionarySetValueForKey(Dictionary* dictionary, void* value, const char* key);
// The first value stored under exactly this key, or null.
void* DictionaryValueForKey(const Dictionary* dictionary, const char* key);
void DictionaryDestroy(Dictionary* dictionary);
