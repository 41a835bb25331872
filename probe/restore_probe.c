/* The restore-code probe: stands in for an operating system's restore code. hearth copies it
   to the restore-code pages of a hibernation image made by `hearthtool hibernate create` and
   enters it through the call gate. It checks what the loader wrote into the image header and
   the hand-off records, the restore-code sum and the decrypted image bytes, prints one line
   per check and one JSON object on the serial port, and ends QEMU through isa-debug-exit.
   The last 64 bytes of the restore code hold what to expect:
     "HEXP", u32 flags (1: a key store comes, 2: encrypted), the chaining value (16 bytes),
     u32 CRC-32 of the image after the restore code, u32 options, u32 wake reason.
   Flag 4 makes it wait for a key on the PS/2 keyboard before it leaves, so that a scenario can
   take its screenshot of the preview first. Flag 8: the performance record must have continued
   in the image's performance area, from "Start" to "End" with the read between. */
#include <stdint.h>

#include "probe_io.h"
#include "probe_report.h"
#include "probe_text.h"
#include "probe_tree.h"

enum { kRestorePassed = 0x10, kRestoreFailed = 0x11 };
enum {
  kHdrImage1Size = 8, kHdrRestorePage = 16, kHdrRestoreIndexBase = 24, kHdrRestorePageCount = 32,
  kHdrRestoreSum = 64, kHdrSignature = 88, kHdrRuntimePages = 96, kHdrRuntimePageCount = 100,
  kHdrPerfDataStart = 112, kHdrPerfDataSize = 116,
  kHdrWakeReason = 152, kHdrHandoffPage = 160, kHdrHandoffPageCount = 164, kHdrSystemTableOffset = 168,
  kHdrOptions = 176, kHdrExitTime = 420, kHdrTotalTime = 448, kHdrDeviceBlockSize = 472, kHdrExtentMapSize = 476
};
enum {
  kGraphics = 0x686F0001, kCryptVector = 0x686F0002, kMemoryMap = 0x686F0003, kDeviceTree = 0x686F0004,
  kKeyStore = 0x686F0006, kEnd = 0x686F0000
};
enum { kPage = 4096, kDescriptorMin = 40 };

static uint32_t crc32_update(uint32_t crc, const uint8_t* data, uint32_t length) {
  crc = ~crc;
  for (uint32_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

static void report_value(const char* name, int ok, const char* what, uint64_t value) {
  struct probe_text t;
  text_clear(&t);
  text_add(&t, what);
  text_add_hex(&t, value);
  probe_report(name, ok, t.data);
}

struct records {
  const uint8_t* graphics;
  uint32_t graphics_size;
  const uint8_t* vector;
  const uint8_t* tree;
  uint32_t tree_size;
  const uint8_t* map;
  uint32_t map_size;
  const uint8_t* key_store;
  uint32_t key_store_size;
  int ended;
  int order_ok;
};

static void walk_records(const uint8_t* area, uint32_t bytes, struct records* r) {
  static const uint32_t kNoRecord = 0xFFFFFFFFu;
  uint32_t at = 0, last = kNoRecord;
  r->order_ok = 1;
  while (at + 8 <= bytes) {
    uint32_t type = load_le32(area + at), size = load_le32(area + at + 4);
    if (size > bytes - at - 8) {
      r->order_ok = 0;
      return;
    }
    const uint8_t* data = area + at + 8;
    if (type == kGraphics) r->graphics = data, r->graphics_size = size;
    else if (type == kCryptVector && size == 16) r->vector = data;
    else if (type == kDeviceTree) r->tree = data, r->tree_size = size;
    else if (type == kMemoryMap) r->map = data, r->map_size = size;
    else if (type == kKeyStore) r->key_store = data, r->key_store_size = size;
    else if (type == kEnd) {
      r->ended = 1;
      if (last != kMemoryMap) r->order_ok = 0;
      return;
    } else {
      r->order_ok = 0;
    }
    if (last == kNoRecord && type != kGraphics) r->order_ok = 0;
    last = type;
    at += 8 + size;
  }
}

/* Whether entry text (a NUL-terminated field of size bytes) begins with prefix and, when whole
   is set, ends there. */
static int text_is(const uint8_t* text, uint32_t size, const char* prefix, int whole) {
  uint32_t n = text_length(prefix);
  if (n >= size || !bytes_equal(text, prefix, n)) return 0;
  return !whole || text[n] == 0;
}

/* The performance record the loader continued in the image's area: a well-formed header and
   entries, the first mark "Start", the read's two marks and the last mark "End". */
static int perf_record_continued(const uint8_t* record, uint32_t size, struct probe_text* d) {
  uint32_t entries, used, at = 64, seen = 0;
  int first_start = 0, read_start = 0, read_end = 0, last_end = 0;
  if (!record || size < 64 || !bytes_equal(record, "hearthpf", 8)) {
    text_add(d, "no record header");
    return 0;
  }
  entries = load_le32(record + 8);
  used = load_le32(record + 12);
  if (used < 64 || used > size) {
    text_add(d, "bytes used outside the area");
    return 0;
  }
  while (at < used) {
    uint32_t text_size = used - at >= 24 ? load_le32(record + at + 4) : 0;
    const uint8_t* text = record + at + 24;
    if (used - at < 24 || load_le32(record + at) != 1 || (text_size & 7) || text_size == 0 ||
        text_size > used - at - 24 || text[text_size - 1] != 0) {
      text_add(d, "bad entry at ");
      text_add_hex(d, at);
      return 0;
    }
    if (seen == 0) first_start = text_is(text, text_size, "Start", 1);
    read_start |= text_is(text, text_size, "Start hibernate read", 1);
    read_end |= text_is(text, text_size, "End hibernate read (bytes 0x", 0);
    last_end = text_is(text, text_size, "End", 1);
    at += 24 + text_size;
    ++seen;
  }
  text_add_dec(d, seen);
  text_add(d, " entries");
  if (!first_start) text_add(d, ", first not Start");
  if (!read_start || !read_end) text_add(d, ", no hibernate read marks");
  if (!last_end) text_add(d, ", last not End");
  return seen == entries && first_start && read_start && read_end && last_end;
}

/* Whether a memory map of size bytes reads as descriptors of stride bytes: page-aligned
   starts, a page count, a known or OEM type. */
static int descriptors_plausible(const uint8_t* map, uint32_t size, uint32_t stride) {
  if (size < stride || size % stride) return 0;
  for (uint32_t at = 0; at < size; at += stride) {
    uint32_t type = load_le32(map + at);
    if ((type > 15 && type < 0x70000000u) || (load_le64(map + at + 8) & 0xFFFu) || load_le64(map + at + 24) == 0) {
      return 0;
    }
  }
  return 1;
}

/* Drains the keyboard controller, then waits (bounded) for a byte from it. */
static void wait_for_key(void) {
  for (int i = 0; i < 64 && (probe_in8(0x64) & 1u); ++i) (void)probe_in8(0x60);
  probe_print("restore-probe: waiting for a key\n");
  for (uint32_t i = 0; i < 60000000u; ++i) {
    if (probe_in8(0x64) & 1u) {
      (void)probe_in8(0x60);
      return;
    }
  }
}

_Noreturn void restore_probe_main(uint32_t header_page, uint32_t eflags) {
  probe_serial_init();
  probe_print("restore-probe: entered\n");
  const uint8_t* h = (const uint8_t*)(uintptr_t)(header_page * kPage);
  report_value("entered-with-header", header_page != 0 && load_le32(h + kHdrSignature) == 0x73696D65u,
               "signature ", load_le32(h + kHdrSignature));
  report_value("interrupts-off", (eflags & 0x200u) == 0, "eflags ", eflags);

  uint32_t restore_page = load_le32(h + kHdrRestorePage), restore_pages = load_le32(h + kHdrRestorePageCount);
  const uint8_t* code = (const uint8_t*)(uintptr_t)(restore_page * kPage);
  const uint8_t* expect = code + restore_pages * kPage - 64;
  int have_expect = load_le32(expect) == 0x50584548u; /* "HEXP" */
  probe_report("expectations-present", have_expect, "");

  uint32_t wake = load_le32(h + kHdrWakeReason);
  report_value("wake-reason", (wake & 0xFFFFFF00u) == 0x5300u && (!have_expect || wake == load_le32(expect + 32)),
               "wake ", wake);
  uint32_t options = load_le32(h + kHdrOptions);
  report_value("timing-fields", load_le32(h + kHdrTotalTime) != 0 && load_le32(h + kHdrTotalTime) >= load_le32(h + kHdrExitTime),
               "total ", load_le32(h + kHdrTotalTime));

  uint32_t runtime = load_le32(h + kHdrRuntimePages), runtime_pages = load_le32(h + kHdrRuntimePageCount);
  uint32_t table_offset = load_le32(h + kHdrSystemTableOffset);
  const uint8_t* table = (const uint8_t*)(uintptr_t)(runtime * kPage + table_offset);
  report_value("system-table", table_offset != 0 && table_offset < runtime_pages * kPage &&
                                   load_le64(table) == 0x5453595320494249ull,
               "offset ", table_offset);

  uint32_t area_page = load_le32(h + kHdrHandoffPage), area_pages = load_le32(h + kHdrHandoffPageCount);
  report_value("handoff-area", area_page != 0 && area_pages != 0, "page ", area_page);
  struct records r = {0};
  if (area_page && area_pages) walk_records((const uint8_t*)(uintptr_t)(area_page * kPage), area_pages * kPage, &r);
  probe_report("records-in-order", r.order_ok && r.ended, "graphics first, memory map last, then the end record");
  report_value("graphics-record", r.graphics && r.graphics_size == 748, "size ", r.graphics_size);
  /* The loader adds 0x8 when there is no frame buffer (a zero base in the graphics record). */
  uint32_t no_graphics = r.graphics && load_le32(r.graphics) == 0 ? 0x8u : 0;
  report_value("options", !have_expect || options == (load_le32(expect + 28) | no_graphics), "options ", options);
  probe_report("cbc-chaining-value", r.vector && have_expect && bytes_equal(r.vector, expect + 8, 16),
               "equal to the last ciphertext block");
  int tree_ok = 0;
  if (r.tree) {
    struct probe_tree tree = {r.tree, r.tree_size};
    const char* reason = "";
    uint32_t at = 0;
    tree_ok = tree_validate(&tree, &reason, &at);
    uint32_t chosen = 0;
    struct tree_property lock;
    tree_ok = tree_ok && tree_find_path(&tree, "/chosen", &chosen) &&
              tree_find_property(&tree, chosen, "IOScreenLockState", &lock) && lock.length == 4;
  }
  probe_report("device-tree", tree_ok, "well-formed, IOScreenLockState on /chosen");
  /* The firmware's descriptor size is not handed over (OVMF 48 bytes, U-Boot 40): the first
     size at which every descriptor looks like one. */
  uint32_t stride = 0;
  for (uint32_t s = 48; r.map && !stride && s >= kDescriptorMin; s -= 8) {
    if (descriptors_plausible(r.map, r.map_size, s)) stride = s;
  }
  int map_ok = stride != 0;
  for (uint32_t at = stride; map_ok && at + stride <= r.map_size; at += stride) {
    if (load_le64(r.map + at + 8) < load_le64(r.map + at - stride + 8)) map_ok = 0; /* sorted */
  }
  struct probe_text map_detail;
  text_clear(&map_detail);
  text_add(&map_detail, "bytes ");
  text_add_hex(&map_detail, r.map_size);
  text_add(&map_detail, ", descriptor ");
  text_add_dec(&map_detail, stride);
  probe_report("memory-map", map_ok, map_detail.data);
  int want_keys = have_expect && (load_le32(expect + 4) & 1u);
  probe_report("key-store", want_keys ? r.key_store != 0 && r.key_store_size >= 48 : r.key_store == 0,
               want_keys ? "present" : "absent");

  uint64_t base = load_le64(h + kHdrRestoreIndexBase);
  uint32_t sum = 0;
  for (uint32_t page = 0; page < restore_pages; ++page) {
    sum += load_le32(code + page * kPage + (uint32_t)((page + base) % 1024) * 4);
  }
  report_value("restore-code-sum", sum == load_le32(h + kHdrRestoreSum), "sum ", sum);

  uint32_t block = load_le32(h + kHdrDeviceBlockSize), map_size = load_le32(h + kHdrExtentMapSize);
  uint32_t after_code = 480 + map_size + restore_pages * kPage;
  uint32_t end = 512 + (uint32_t)load_le64(h + kHdrImage1Size) - block;
  uint32_t crc = crc32_update(0, h + after_code, end - after_code);
  report_value("image-bytes", have_expect && crc == load_le32(expect + 24), "crc ", crc);

  if (have_expect && (load_le32(expect + 4) & 8u)) {
    uint32_t perf = load_le32(h + kHdrPerfDataStart), perf_size = load_le32(h + kHdrPerfDataSize);
    struct probe_text d;
    text_clear(&d);
    text_add_hex(&d, perf);
    text_add(&d, ": ");
    int ok = perf_record_continued(perf ? (const uint8_t*)(uintptr_t)perf : 0, perf_size, &d);
    probe_report("performance-record", ok, d.data);
  }

  probe_report_json_named("hearth-restore");
  if (have_expect && (load_le32(expect + 4) & 4u)) wait_for_key();
  probe_exit(probe_report_failures() ? kRestoreFailed : kRestorePassed);
}
