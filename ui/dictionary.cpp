#include "ui/dictionary.h"

#include "lib/mem.h"
#include "lib/string.h"
#include "memory/memory.h"
#include "draw/log_error.h"

namespace {

UINT32 Read16(const char* p) { return LoadLe16(p); }

// Signed, as the published function reads its tail byte.
UINT32 SignedByte(char c) { return static_cast<UINT32>(static_cast<INT32>(static_cast<signed char>(c))); }

UINT32 BucketIndex(const Dictionary* dictionary, const char* key) {
  return SuperFastHash(key, static_cast<UINT32>(AsciiStrLen(key))) % dictionary->capacity;
}

}  // namespace

UINT32 SuperFastHash(const char* data, UINT32 length) {
  if (!data || length == 0) return 0;
  UINT32 hash = length;
  UINT32 remainder = length & 3;
  for (UINT32 blocks = length >> 2; blocks > 0; --blocks) {
    hash += Read16(data);
    UINT32 mixed = (Read16(data + 2) << 11) ^ hash;
    hash = (hash << 16) ^ mixed;
    data += 4;
    hash += hash >> 11;
  }
  switch (remainder) {
    case 3:
      hash += Read16(data);
      hash ^= hash << 16;
      hash ^= SignedByte(data[2]) << 18;
      hash += hash >> 11;
      break;
    case 2:
      hash += Read16(data);
      hash ^= hash << 11;
      hash += hash >> 17;
      break;
    case 1:
      hash += SignedByte(data[0]);
      hash ^= hash << 10;
      hash += hash >> 1;
      break;
  }
  hash ^= hash << 3;
  hash += hash >> 5;
  hash ^= hash << 4;
  hash += hash >> 17;
  hash ^= hash << 25;
  hash += hash >> 6;
  return hash;
}

Dictionary* DictionaryCreate(UINT32 capacity) {
  if (capacity == 0) capacity = 1;
  auto* dictionary = static_cast<Dictionary*>(PoolAllocateZero(sizeof(Dictionary)));
  if (!dictionary) return nullptr;
  dictionary->capacity = capacity;
  dictionary->map = static_cast<DictionaryBucket*>(PoolAllocateZero(sizeof(DictionaryBucket) * UINTN(capacity)));
  if (!dictionary->map) {
    PoolFree(dictionary);
    return nullptr;
  }
  return dictionary;
}

UINT32 DictionarySetValueForKey(Dictionary* dictionary, void* value, const char* key) {
  if (!key) {
    DULogError("DictionarySetValueForKey", "key is NULL");
    return 1;
  }
  if (!dictionary || !dictionary->map) {
    DULogError("DictionarySetValueForKey", "dict is NULL");
    return 1;
  }
  DictionaryBucket& bucket = dictionary->map[BucketIndex(dictionary, key)];
  if (bucket.count == bucket.room) {
    UINT32 room = bucket.room ? bucket.room * 2 : 2;
    auto* pairs = static_cast<DictionaryPair*>(PoolAllocate(sizeof(DictionaryPair) * UINTN(room)));
    if (!pairs) return 2;
    if (bucket.count) MemCopy(pairs, bucket.pairs, sizeof(DictionaryPair) * UINTN(bucket.count));
    PoolFree(bucket.pairs);
    bucket.pairs = pairs;
    bucket.room = room;
  }
  bucket.pairs[bucket.count++] = DictionaryPair{value, key};
  return 0;
}

void* DictionaryValueForKey(const Dictionary* dictionary, const char* key) {
  if (!key) {
    DULogError("DictionaryValueForKey", "key is NULL");
    return nullptr;
  }
  if (!dictionary) {
    DULogError("DictionaryValueForKey", "dict is NULL");
    return nullptr;
  }
  if (!dictionary->map) {
    DULogError("DictionaryValueForKey", "dict->map is NULL");
    return nullptr;
  }
  const DictionaryBucket& bucket = dictionary->map[BucketIndex(dictionary, key)];
  for (UINT32 i = 0; i < bucket.count; ++i) {
    if (AsciiStrCmp(bucket.pairs[i].key, key) == 0) return bucket.pairs[i].value;
  }
  return nullptr;
}

void DictionaryDestroy(Dictionary* dictionary) {
  if (!dictionary) return;
  if (dictionary->map) {
    for (UINT32 i = 0; i < dictionary->capacity; ++i) PoolFree(dictionary->map[i].pairs);
    PoolFree(dictionary->map);
  }
  PoolFree(dictionary);
}
