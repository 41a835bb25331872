/* The encrypted root's hand-off: the key-store block record by record, the unlock ident on
   "/chosen", and the absence of key bytes from the loader's memory. Expectations come from
   the kernel command line:
     probe-expect-keystore=none | K.S.UUID.PAYLOAD[/K.S.UUID.PAYLOAD...]
         each record's kind and sub-kind (decimal), UUID (32 hex digits) and payload (hex)
     probe-expect-unlock-ident=TEXT   "efilogin-unlock-ident" (absent without the token)
     probe-secrets=HEX[,HEX...]        byte strings that must not remain in loader or boot
                                       services memory (outside the key store and the probe) */
#include "probe_key_store.h"

#include "probe_report.h"
#include "probe_text.h"

enum {
  kArgsCommandLineOffset = 8,
  kArgsCommandLineBytes = 1024,
  kArgsMemoryMapOffset = 1032,
  kArgsMemoryMapSizeOffset = 1036,
  kArgsDescriptorSizeOffset = 1040,
  kArgsKeyStoreStart = 1120,
  kArgsKeyStoreSize = 1124,
  kRecordHeader = 48,
  kMaxSecret = 64,
  kMaxSecrets = 4,
  kScanTypeLast = 4 /* loader code, loader data, boot services code and data */
};

static int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* Decodes hex text[0, length) into out (capacity bytes); -1 on a bad digit or overflow. */
static int32_t hex_bytes(const char* text, uint32_t length, uint8_t* out, uint32_t capacity) {
  if (length % 2 || length / 2 > capacity) return -1;
  for (uint32_t i = 0; i < length; i += 2) {
    int hi = hex_digit(text[i]), lo = hex_digit(text[i + 1]);
    if (hi < 0 || lo < 0) return -1;
    out[i / 2] = (uint8_t)(hi << 4 | lo);
  }
  return (int32_t)(length / 2);
}

/* The next field of text[*at, end) up to separator; its start and length. */
static const char* next_field(const char* text, uint32_t end, uint32_t* at, char separator, uint32_t* length) {
  const char* start = text + *at;
  uint32_t n = 0;
  while (*at + n < end && text[*at + n] != separator) ++n;
  *length = n;
  *at += n + (*at + n < end ? 1 : 0);
  return start;
}

static int parse_decimal(const char* text, uint32_t length, uint32_t* value) {
  uint64_t v = 0;
  if (!parse_number(text, length, &v) || v > 0xFFFFFFFFu) return 0;
  *value = (uint32_t)v;
  return 1;
}

/* Compares one record of the block with "K.S.UUID.PAYLOAD". */
static int record_matches(const uint8_t* record, const char* wanted, uint32_t wanted_length, struct probe_text* d) {
  uint32_t at = 0, length, kind, sub_kind;
  uint8_t uuid[16], payload[128];
  const char* f = next_field(wanted, wanted_length, &at, '.', &length);
  if (!parse_decimal(f, length, &kind)) return 0;
  f = next_field(wanted, wanted_length, &at, '.', &length);
  if (!parse_decimal(f, length, &sub_kind)) return 0;
  f = next_field(wanted, wanted_length, &at, '.', &length);
  if (hex_bytes(f, length, uuid, 16) != 16) return 0;
  f = next_field(wanted, wanted_length, &at, '.', &length);
  int32_t payload_length = hex_bytes(f, length, payload, sizeof(payload));
  if (payload_length < 0) return 0;
  text_add_dec(d, load_le32(record + 4));
  text_add_char(d, '.');
  text_add_dec(d, load_le32(record + 8));
  text_add(d, "+");
  text_add_dec(d, load_le32(record + 44));
  text_add(d, " ");
  for (uint32_t i = 28; i < 44; ++i) {
    if (record[i]) return 0;
  }
  return load_le32(record + 4) == kind && load_le32(record + 8) == sub_kind && bytes_equal(record + 12, uuid, 16) &&
         load_le32(record + 44) == (uint32_t)payload_length && bytes_equal(record + 48, payload, (uint32_t)payload_length);
}

static void check_key_store_block(const uint8_t* args, const char* line) {
  uint32_t start = load_le32(args + kArgsKeyStoreStart), size = load_le32(args + kArgsKeyStoreSize);
  const char* expected;
  uint32_t expected_length, at = 0, offset = 0, records = 0;
  struct probe_text d;
  int ok = 1;
  text_clear(&d);
  if (!cmdline_find(line, kArgsCommandLineBytes, "probe-expect-keystore", &expected, &expected_length) ||
      (expected_length == 4 && bytes_equal(expected, "none", 4))) {
    ok = start == 0 && size == 0;
    text_add(&d, ok ? "none" : "present, none expected");
    probe_report("key store", ok, d.data);
    return;
  }
  const uint8_t* block = start && size ? probe_view(start, size) : 0;
  if (!block) {
    probe_report("key store", 0, "expected records, block absent");
    return;
  }
  while (ok && at < expected_length) {
    uint32_t wanted_length;
    const char* wanted = next_field(expected, expected_length, &at, '/', &wanted_length);
    if (offset > size || size - offset < kRecordHeader) {
      text_add(&d, "block ends early");
      ok = 0;
      break;
    }
    const uint8_t* record = block + offset;
    uint32_t next = load_le32(record), length = load_le32(record + 44);
    ok = length <= size - offset - kRecordHeader && record_matches(record, wanted, wanted_length, &d);
    ++records;
    if (!ok) {
      text_add(&d, "<- record differs");
      break;
    }
    if (at >= expected_length) {
      ok = next == 0;
      if (!ok) text_add(&d, "more records than expected");
    } else if (next == 0 || next % 8 || next < kRecordHeader + length) {
      text_add(&d, "chain ends early or record size wrong");
      ok = 0;
    }
    offset += next;
  }
  probe_report("key store", ok, d.data);
}

static void check_unlock_ident(const char* line, const struct probe_tree* tree, int tree_ok) {
  const char* expected;
  uint32_t length, chosen;
  struct tree_property p;
  struct probe_text d;
  int want = cmdline_find(line, kArgsCommandLineBytes, "probe-expect-unlock-ident", &expected, &length);
  int has = tree_ok && tree_find_path(tree, "/chosen", &chosen) &&
            tree_find_property(tree, chosen, "efilogin-unlock-ident", &p);
  int ok = want ? has && p.length == length + 1 && bytes_equal(p.value, expected, length) && p.value[length] == 0
                : !has;
  text_clear(&d);
  if (has) text_add_bytes(&d, p.value, p.length);
  else text_add(&d, "absent");
  probe_report("/chosen efilogin-unlock-ident", ok, d.data);
}

/* Offset of needle in hay, or -1. */
static int64_t find_bytes(const uint8_t* hay, uint32_t hay_length, const uint8_t* needle, uint32_t length) {
  if (length == 0 || hay_length < length) return -1;
  for (uint32_t i = 0; i <= hay_length - length; ++i) {
    if (hay[i] == needle[0] && bytes_equal(hay + i, needle, length)) return i;
  }
  return -1;
}

static int inside(uint64_t address, uint64_t start, uint64_t size) { return address >= start && address - start < size; }

static void check_secrets(const uint8_t* args, const char* line, const struct probe_context* context) {
  const char* list;
  uint32_t list_length, at = 0, count = 0;
  uint8_t secrets[kMaxSecrets][kMaxSecret];
  int32_t lengths[kMaxSecrets];
  struct probe_text d;
  if (!cmdline_find(line, kArgsCommandLineBytes, "probe-secrets", &list, &list_length)) return;
  while (at < list_length && count < kMaxSecrets) {
    uint32_t length;
    const char* hex = next_field(list, list_length, &at, ',', &length);
    lengths[count] = hex_bytes(hex, length, secrets[count], kMaxSecret);
    if (lengths[count] < 8) {
      probe_report("no key bytes in loader memory", 0, "bad probe-secrets token");
      return;
    }
    ++count;
  }
  uint32_t map = load_le32(args + kArgsMemoryMapOffset), map_size = load_le32(args + kArgsMemoryMapSizeOffset);
  uint32_t descriptor_size = load_le32(args + kArgsDescriptorSizeOffset);
  const uint8_t* descriptors = map && descriptor_size >= 40 ? probe_view(map, map_size) : 0;
  uint64_t store = load_le32(args + kArgsKeyStoreStart), store_size = load_le32(args + kArgsKeyStoreSize);
  uint64_t scanned = 0;
  int ok = descriptors != 0;
  text_clear(&d);
  for (uint32_t i = 0; ok && descriptors && i < map_size / descriptor_size; ++i) {
    const uint8_t* e = descriptors + i * descriptor_size;
    uint32_t type = load_le32(e);
    uint64_t start = load_le64(e + 8), bytes = load_le64(e + 24) << 12;
    if (type < 1 || type > kScanTypeLast || start >= 0x100000000ull || bytes > 0x100000000ull - start) continue;
    const uint8_t* memory = probe_view((uint32_t)start, (uint32_t)bytes);
    if (!memory) continue;
    scanned += bytes;
    for (uint32_t s = 0; ok && s < count; ++s) {
      uint32_t from = 0;
      int64_t hit;
      while ((hit = find_bytes(memory + from, (uint32_t)bytes - from, secrets[s], (uint32_t)lengths[s])) >= 0) {
        uint64_t address = start + from + (uint64_t)hit;
        if (!inside(address, store, store_size) &&
            !inside(address, context->own_header, context->own_end - context->own_header)) {
          text_add(&d, "secret ");
          text_add_dec(&d, s + 1);
          text_add(&d, " at ");
          text_add_hex(&d, address);
          text_add(&d, " (type ");
          text_add_dec(&d, type);
          text_add(&d, ")");
          ok = 0;
          break;
        }
        from += (uint32_t)hit + 1;
      }
    }
  }
  if (ok) {
    text_add_dec(&d, count);
    text_add(&d, " secrets absent from ");
    text_add_dec(&d, (uint32_t)(scanned >> 20));
    text_add(&d, " MiB");
  }
  probe_report("no key bytes in loader memory", ok, d.data);
}

void probe_check_key_store(const uint8_t* args, const struct probe_tree* tree, int tree_ok,
                           const struct probe_context* context) {
  const char* line = (const char*)args + kArgsCommandLineOffset;
  check_key_store_block(args, line);
  check_unlock_ident(line, tree, tree_ok);
  check_secrets(args, line, context);
}
