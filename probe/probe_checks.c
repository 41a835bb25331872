/* The hand-off checks. Each check is a plain function ending in one probe_report call; the
   expected values the probe cannot know come from tokens of the kernel command line:
     probe-expect-adler=0xNNNNNNNN   "boot-kernelcache-adler32" of the container
     probe-expect-csr=0xNN           "csr-active-config" is set to this value
     probe-expect-boot-uuid=TEXT     "boot-uuid" on "/chosen"
     probe-expect-perf               a performance record was asked for
   "rd" and "slide=N" are read as the loader reads them. */
#include "probe_checks.h"

#include "probe_key_store.h"
#include "probe_report.h"
#include "probe_text.h"
#include "probe_tree.h"

/* Boot-arguments block layout. */
enum {
  kArgsSize = 4096,
  kArgsRevision = 0,
  kArgsVersion = 2,
  kArgsEfiMode = 4,
  kArgsReserved1 = 5,
  kArgsFlags = 6,
  kArgsCommandLine = 8,
  kArgsCommandLineSize = 1024,
  kArgsMemoryMap = 1032,
  kArgsMemoryMapSize = 1036,
  kArgsDescriptorSize = 1040,
  kArgsDescriptorVersion = 1044,
  kArgsDeviceTree = 1072,
  kArgsDeviceTreeLength = 1076,
  kArgsKernelAddress = 1080,
  kArgsKernelSize = 1084,
  kArgsRuntimePageStart = 1088,
  kArgsRuntimePageCount = 1092,
  kArgsRuntimeVirtualPageStart = 1096,
  kArgsSystemTable = 1104,
  kArgsKernelSlide = 1108,
  kArgsPerformanceDataStart = 1112,
  kArgsPerformanceDataSize = 1116,
  kArgsCsrActiveConfig = 1176,
  kArgsVideo = 1048 /* base, display mode, row bytes, width, height, depth: u32 each */
};

enum { kFlagAlways = 0x1, kFlagCsrActiveConfig = 0x8, kFlagInitial = 0x30, kCsrAllowSlide = 0x40 };

/* UEFI memory descriptor: type, physical start, virtual start, pages, attributes. */
enum {
  kDescriptorType = 0,
  kDescriptorPhysical = 8,
  kDescriptorVirtual = 16,
  kDescriptorPages = 24,
  kDescriptorAttribute = 32,
  kDescriptorMinimumSize = 40,
  kDescriptorVersion = 1,
  kLoaderCode = 1,
  kLoaderData = 2,
  kRuntimeCode = 5,
  kRuntimeData = 6,
  kAcpiReclaim = 9,
  kMaxDescriptors = 4096
};
#define kMemoryRuntime 0x8000000000000000ull
#define kSystemTableSignature 0x5453595320494249ull /* "IBI SYST" */
#define kPageShift 12

struct handoff {
  const struct probe_context* context;
  const uint8_t* args;
  const char* command_line;
  struct probe_tree tree;
  int tree_ok;
};

static uint32_t arg32(const struct handoff* h, uint32_t offset) { return load_le32(h->args + offset); }

static int has_token(const struct handoff* h, const char* key, const char** value, uint32_t* length) {
  return cmdline_find(h->command_line, kArgsCommandLineSize, key, value, length);
}

/* The expectation key=number, when the command line carries it. */
static int expected_number(const struct handoff* h, const char* key, uint64_t* number) {
  const char* value;
  uint32_t length;
  return has_token(h, key, &value, &length) && parse_number(value, length, number);
}

/* [start, start + size) lies inside [outer, outer + outer_size); all 64-bit, no wrap. */
static int range_inside(uint64_t start, uint64_t size, uint64_t outer, uint64_t outer_size) {
  return start >= outer && start - outer <= outer_size && size <= outer_size - (start - outer);
}

static uint64_t kernel_start(const struct handoff* h) { return arg32(h, kArgsKernelAddress); }
static uint64_t kernel_size(const struct handoff* h) { return arg32(h, kArgsKernelSize); }
static uint64_t runtime_start(const struct handoff* h) { return (uint64_t)arg32(h, kArgsRuntimePageStart) << kPageShift; }
static uint64_t runtime_size(const struct handoff* h) { return (uint64_t)arg32(h, kArgsRuntimePageCount) << kPageShift; }

/* ---- the block ---- */

static void check_block_header(const struct handoff* h) {
  struct probe_text d;
  text_clear(&d);
  text_add(&d, "revision ");
  text_add_dec(&d, load_le16(h->args + kArgsRevision));
  text_add(&d, ", version ");
  text_add_dec(&d, load_le16(h->args + kArgsVersion));
  text_add(&d, ", efiMode ");
  text_add_dec(&d, h->args[kArgsEfiMode]);
  probe_report("block revision, version and efiMode",
               load_le16(h->args + kArgsRevision) == 0 && load_le16(h->args + kArgsVersion) == 2 &&
                   h->args[kArgsEfiMode] == 64 && h->args[kArgsReserved1] == 0,
               d.data);
}

static void check_flags(const struct handoff* h) {
  uint32_t flags = load_le16(h->args + kArgsFlags), csr = arg32(h, kArgsCsrActiveConfig);
  uint64_t expected_csr = 0;
  int want_csr = expected_number(h, "probe-expect-csr", &expected_csr);
  struct probe_text d;
  int ok = (flags & (kFlagAlways | kFlagInitial)) == (kFlagAlways | kFlagInitial);
  if (want_csr) ok = ok && (flags & kFlagCsrActiveConfig) && csr == expected_csr;
  else ok = ok && !(flags & kFlagCsrActiveConfig) && csr == 0;
  text_clear(&d);
  text_add(&d, "flags ");
  text_add_hex(&d, flags);
  text_add(&d, ", csrActiveConfig ");
  text_add_hex(&d, csr);
  text_add(&d, want_csr ? ", csr-active-config expected" : ", no csr-active-config expected");
  probe_report("block flags", ok, d.data);
}

/* The video record: display mode 1 (graphics console) or 2 (text), as probe-expect-video=N
 * says when given, and a frame buffer that can hold the screen it describes (a text console
 * may have no frame buffer at all: every other field zero). */
static void check_video(const struct handoff* h) {
  uint32_t base = arg32(h, kArgsVideo), mode = arg32(h, kArgsVideo + 4), row = arg32(h, kArgsVideo + 8);
  uint32_t width = arg32(h, kArgsVideo + 12), height = arg32(h, kArgsVideo + 16), depth = arg32(h, kArgsVideo + 20);
  uint64_t expected = 0;
  int want = expected_number(h, "probe-expect-video", &expected);
  int described = base != 0 && width != 0 && height != 0 && (depth == 16 || depth == 24 || depth == 32) &&
                  (uint64_t)row * 8 >= (uint64_t)width * depth;
  /* A text console on a machine without a frame buffer (U-Boot's serial console) has none. */
  int none = base == 0 && width == 0 && height == 0 && depth == 0 && row == 0;
  int ok = (mode == 1 || mode == 2) && (!want || mode == expected) && (described || (mode == 2 && none));
  struct probe_text d;
  text_clear(&d);
  text_add(&d, "display mode ");
  text_add_dec(&d, mode);
  text_add(&d, ", base ");
  text_add_hex(&d, base);
  text_add(&d, ", ");
  text_add_dec(&d, width);
  text_add(&d, "x");
  text_add_dec(&d, height);
  text_add(&d, "x");
  text_add_dec(&d, depth);
  text_add(&d, ", row bytes ");
  text_add_dec(&d, row);
  probe_report("block video record", ok, d.data);
}

static void check_command_line(const struct handoff* h) {
  const char* line = h->command_line;
  uint32_t length = 0;
  int printable = 1;
  struct probe_text d;
  while (length < kArgsCommandLineSize && line[length]) {
    if ((unsigned char)line[length] < 0x20 || (unsigned char)line[length] >= 0x7F) printable = 0;
    ++length;
  }
  text_clear(&d);
  text_add_bytes(&d, (const uint8_t*)line, length);
  probe_report("block command line", length < kArgsCommandLineSize && line[kArgsCommandLineSize - 1] == 0 && printable,
               d.data);
}

static void check_kernel_region(const struct handoff* h) {
  const struct probe_context* c = h->context;
  struct probe_text d;
  text_clear(&d);
  text_add(&d, "kernel ");
  text_add_hex(&d, kernel_start(h));
  text_add(&d, "+");
  text_add_hex(&d, kernel_size(h));
  text_add(&d, ", probe ");
  text_add_hex(&d, c->own_header);
  text_add(&d, "-");
  text_add_hex(&d, c->own_end);
  probe_report("block kernelAddress and kernelSize",
               (kernel_start(h) & 0xFFF) == 0 && c->own_end > c->own_header &&
                   range_inside(c->own_header, c->own_end - c->own_header, kernel_start(h), kernel_size(h)),
               d.data);
}

static void check_device_tree_place(const struct handoff* h) {
  uint32_t address = arg32(h, kArgsDeviceTree), length = arg32(h, kArgsDeviceTreeLength);
  struct probe_text d;
  text_clear(&d);
  text_add_hex(&d, address);
  text_add(&d, "+");
  text_add_hex(&d, length);
  probe_report("block deviceTree and deviceTreeLength",
               address && length && range_inside(address, length, kernel_start(h), kernel_size(h)) &&
                   probe_view(address, length),
               d.data);
}

/* ---- the memory map ---- */

struct memory_map {
  uint32_t address, size, stride, count;
};

static int memory_map_usable(const struct handoff* h, struct memory_map* map) {
  map->address = arg32(h, kArgsMemoryMap);
  map->size = arg32(h, kArgsMemoryMapSize);
  map->stride = arg32(h, kArgsDescriptorSize);
  map->count = map->stride >= kDescriptorMinimumSize ? map->size / map->stride : 0;
  return map->address && map->stride >= kDescriptorMinimumSize && (map->stride & 7) == 0 &&
         map->size % map->stride == 0 && map->count && map->count <= kMaxDescriptors &&
         arg32(h, kArgsDescriptorVersion) == kDescriptorVersion && probe_view(map->address, map->size);
}

static const uint8_t* descriptor(const struct memory_map* map, uint32_t index) {
  return probe_view(map->address + index * map->stride, map->stride);
}

static uint32_t descriptor_type(const uint8_t* d) { return load_le32(d + kDescriptorType); }
static uint64_t descriptor_start(const uint8_t* d) { return load_le64(d + kDescriptorPhysical); }
static uint64_t descriptor_bytes(const uint8_t* d) { return load_le64(d + kDescriptorPages) << kPageShift; }

static void check_memory_map_layout(const struct handoff* h) {
  struct memory_map map;
  struct probe_text d;
  int usable = memory_map_usable(h, &map);
  text_clear(&d);
  text_add_hex(&d, map.address);
  text_add(&d, "+");
  text_add_hex(&d, map.size);
  text_add(&d, ", descriptor size ");
  text_add_dec(&d, map.stride);
  text_add(&d, " version ");
  text_add_dec(&d, arg32(h, kArgsDescriptorVersion));
  text_add(&d, ", ");
  text_add_dec(&d, map.count);
  text_add(&d, " entries");
  probe_report("memory map layout",
               usable && range_inside(map.address, map.size, kernel_start(h), kernel_size(h)), d.data);
}

static void check_memory_map_order(const struct handoff* h) {
  struct memory_map map;
  struct probe_text d;
  uint64_t previous_end = 0;
  int ok = memory_map_usable(h, &map);
  text_clear(&d);
  for (uint32_t i = 0; ok && i < map.count; ++i) {
    const uint8_t* entry = descriptor(&map, i);
    uint64_t start = descriptor_start(entry), pages = load_le64(entry + kDescriptorPages);
    if (pages == 0 || pages >> 40 || (start & 0xFFF) || start < previous_end) {
      text_add(&d, pages == 0 ? "empty entry " : start < previous_end ? "unsorted or overlapping entry " : "bad entry ");
      text_add_dec(&d, i);
      text_add(&d, " at ");
      text_add_hex(&d, start);
      ok = 0;
    }
    previous_end = start + (pages << kPageShift);
  }
  if (ok) text_add(&d, "sorted by physical start, no overlaps");
  probe_report("memory map sorted without overlaps", ok, d.data);
}

/* Every byte of [start, start + size) is described, by descriptors of the allowed types
   (loader data; runtime code or data too inside the runtime area when runtime_ok). */
static int region_typed(const struct handoff* h, const struct memory_map* map, uint64_t start, uint64_t size,
                        int runtime_ok, struct probe_text* d) {
  uint64_t covered = 0, end = start + size;
  for (uint32_t i = 0; i < map->count; ++i) {
    const uint8_t* entry = descriptor(map, i);
    uint64_t low = descriptor_start(entry), high = low + descriptor_bytes(entry);
    uint32_t type = descriptor_type(entry);
    if (high <= start || low >= end) continue;
    int allowed = type == kLoaderData ||
                  (runtime_ok && (type == kRuntimeCode || type == kRuntimeData) &&
                   range_inside(low, high - low, runtime_start(h), runtime_size(h)));
    if (!allowed) {
      text_add(d, "type ");
      text_add_dec(d, type);
      text_add(d, " at ");
      text_add_hex(d, low);
      return 0;
    }
    covered += (high < end ? high : end) - (low > start ? low : start);
  }
  if (covered != size) {
    text_add(d, "not fully described: ");
    text_add_hex(d, covered);
    text_add(d, " of ");
    text_add_hex(d, size);
    return 0;
  }
  return 1;
}

static void check_own_pages(const struct handoff* h) {
  struct memory_map map;
  struct probe_text d;
  const struct probe_context* c = h->context;
  uint64_t start = c->own_header & ~0xFFFu, end = ((uint64_t)c->own_end + 0xFFF) & ~(uint64_t)0xFFF;
  int ok = memory_map_usable(h, &map);
  text_clear(&d);
  ok = ok && region_typed(h, &map, start, end - start, 0, &d);
  if (ok) text_add(&d, "loader data");
  probe_report("memory map: probe pages are loader data", ok, d.data);
}

static void check_kernel_region_typed(const struct handoff* h) {
  struct memory_map map;
  struct probe_text d;
  int ok = memory_map_usable(h, &map) && kernel_size(h);
  text_clear(&d);
  ok = ok && range_inside(runtime_start(h), runtime_size(h), kernel_start(h), kernel_size(h));
  if (!ok) text_add(&d, "runtime area outside the kernel region; ");
  ok = ok && region_typed(h, &map, kernel_start(h), kernel_size(h), 1, &d);
  if (ok) text_add(&d, "loader data, runtime pieces inside the runtime area");
  probe_report("memory map: kernel region is loader data", ok, d.data);
}

static void check_runtime_descriptors(const struct handoff* h) {
  struct memory_map map;
  struct probe_text d;
  uint64_t virtual_start = load_le64(h->args + kArgsRuntimeVirtualPageStart) << kPageShift;
  uint32_t count = 0;
  int ok = memory_map_usable(h, &map) && (virtual_start & kProbePhysicalMask) == runtime_start(h);
  text_clear(&d);
  if (!ok) text_add(&d, "runtime area and its virtual start disagree");
  for (uint32_t i = 0; ok && i < map.count; ++i) {
    const uint8_t* entry = descriptor(&map, i);
    uint32_t type = descriptor_type(entry);
    uint64_t address = load_le64(entry + kDescriptorVirtual);
    if (type == 0 || !(load_le64(entry + kDescriptorAttribute) & kMemoryRuntime)) continue;
    ++count;
    if (!range_inside(address, descriptor_bytes(entry), virtual_start, runtime_size(h)) ||
        ((type == kRuntimeCode || type == kRuntimeData) && (address & kProbePhysicalMask) != descriptor_start(entry))) {
      text_add(&d, "entry ");
      text_add_dec(&d, i);
      text_add(&d, " virtual ");
      text_add_hex(&d, address);
      text_add(&d, " physical ");
      text_add_hex(&d, descriptor_start(entry));
      ok = 0;
    }
  }
  if (ok) {
    text_add_dec(&d, count);
    text_add(&d, " runtime entries inside ");
    text_add_hex(&d, virtual_start);
    text_add(&d, "+");
    text_add_hex(&d, runtime_size(h));
  }
  probe_report("memory map: runtime entries in the runtime area", ok, d.data);
}

/* ---- the system table ---- */

static uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return crc;
}

static void check_system_table(const struct handoff* h) {
  uint32_t address = arg32(h, kArgsSystemTable);
  const uint8_t* header = address ? probe_view(address, 24) : 0;
  struct probe_text d;
  int ok = header && load_le64(header) == kSystemTableSignature;
  text_clear(&d);
  text_add(&d, "at ");
  text_add_hex(&d, address);
  if (ok) {
    uint32_t size = load_le32(header + 12), stored = load_le32(header + 16), crc = 0xFFFFFFFFu;
    static const uint8_t zeros[4] = {0, 0, 0, 0};
    const uint8_t* table = size >= 24 && size <= 4096 ? probe_view(address, size) : 0;
    if (table) {
      crc = crc32_update(crc, table, 16);
      crc = crc32_update(crc, zeros, 4);
      crc = ~crc32_update(crc, table + 20, size - 20);
    }
    ok = table && crc == stored;
    text_add(&d, ok ? ", header CRC-32 " : ", header CRC-32 wrong: ");
    text_add_hex(&d, stored);
    if (!ok) {
      text_add(&d, " computed ");
      text_add_hex(&d, crc);
    }
    if (ok && !range_inside(address, size, runtime_start(h), runtime_size(h))) {
      text_add(&d, ", outside the runtime area");
      ok = 0;
    }
  } else {
    text_add(&d, ", no system table signature");
  }
  probe_report("system table relocated with a valid CRC-32", ok, d.data);
}

/* ---- the performance record ---- */

static int perf_record_valid(const uint8_t* record, uint32_t size, struct probe_text* d) {
  uint32_t entries = load_le32(record + 8), used = load_le32(record + 12), at = 64, seen = 0;
  if (!bytes_equal(record, "hearthpf", 8) || used < 64 || used > size) {
    text_add(d, "bad record header");
    return 0;
  }
  while (at < used) {
    uint32_t text_size = used - at >= 24 ? load_le32(record + at + 4) : 0;
    if (used - at < 24 || load_le32(record + at) != 1 || (text_size & 7) || text_size == 0 ||
        text_size > used - at - 24 || record[at + 24 + text_size - 1] != 0) {
      text_add(d, "bad entry at ");
      text_add_hex(d, at);
      return 0;
    }
    at += 24 + text_size;
    ++seen;
  }
  text_add_dec(d, seen);
  text_add(d, " entries");
  return seen == entries;
}

static void check_performance_data(const struct handoff* h) {
  uint32_t start = arg32(h, kArgsPerformanceDataStart), size = arg32(h, kArgsPerformanceDataSize);
  const char* value;
  uint32_t length;
  int wanted = has_token(h, "probe-expect-perf", &value, &length);
  struct probe_text d;
  int ok;
  text_clear(&d);
  if (!wanted) {
    ok = start == 0 && size == 0;
    text_add(&d, ok ? "not requested, none" : "not requested, yet present");
  } else {
    const uint8_t* record = start && size >= 64 ? probe_view(start, size) : 0;
    struct memory_map map;
    text_add_hex(&d, start);
    text_add(&d, "+");
    text_add_hex(&d, size);
    text_add(&d, ": ");
    ok = record && perf_record_valid(record, size, &d);
    if (ok && memory_map_usable(h, &map)) {
      for (uint32_t i = 0; i < map.count; ++i) {
        const uint8_t* entry = descriptor(&map, i);
        if (start >= descriptor_start(entry) && start - descriptor_start(entry) < descriptor_bytes(entry) &&
            descriptor_type(entry) != kAcpiReclaim) {
          text_add(&d, ", not ACPI reclaimable memory");
          ok = 0;
        }
      }
    }
  }
  probe_report("performance data", ok, d.data);
}

/* ---- the slide ---- */

uint32_t probe_slide_value(uint32_t n, uint32_t cpu_signature) {
  uint32_t family = (cpu_signature >> 8) & 0xF, model = (cpu_signature >> 4) & 0xF;
  uint32_t value = n * kProbeSlideUnit;
  if (family == 0xF) family += (cpu_signature >> 20) & 0xFF;
  if (family == 0x6 || family >= 0xF) model |= ((cpu_signature >> 16) & 0xF) << 4;
  if (n >= 128 && family == 6 && model == 0x2A) value += 0x10200000;
  return value;
}

static void check_slide(const struct handoff* h) {
  const struct probe_context* c = h->context;
  uint32_t slide = arg32(h, kArgsKernelSlide), flags = load_le16(h->args + kArgsFlags);
  uint64_t n = 0;
  int expected = 0, ok;
  uint32_t expected_slide = 0;
  struct probe_text d;
  if ((flags & kFlagCsrActiveConfig) && (arg32(h, kArgsCsrActiveConfig) & kCsrAllowSlide) &&
      expected_number(h, "slide", &n) && n <= 255) {
    expected = 1;
    expected_slide = n ? probe_slide_value((uint32_t)n, c->cpu_signature) : 0;
  }
  ok = c->own_header == (uint32_t)((PROBE_KERNEL_BASE + slide) & kProbePhysicalMask) &&
       c->header_pointer == PROBE_KERNEL_BASE + slide && (slide % kProbeSlideUnit) == 0;
  if (expected) ok = ok && slide == expected_slide;
  text_clear(&d);
  text_add(&d, "kernelSlide ");
  text_add_hex(&d, slide);
  if (expected) {
    text_add(&d, " (expected ");
    text_add_hex(&d, expected_slide);
    text_add(&d, ")");
  }
  text_add(&d, ", header ");
  text_add_hex(&d, c->own_header);
  text_add(&d, ", relocated pointer ");
  text_add_hex(&d, c->header_pointer);
  probe_report("kernel slid by kernelSlide", ok, d.data);
}

/* ---- the device tree ---- */

static int property(const struct handoff* h, const char* path, const char* name, struct tree_property* p) {
  uint32_t node;
  return tree_find_path(&h->tree, path, &node) && tree_find_property(&h->tree, node, name, p);
}

/* Reports a text property: present, NUL-terminated, printable, equal to expected if given. */
static void check_text_property(const struct handoff* h, const char* check, const char* path, const char* name,
                                const char* expected) {
  struct tree_property p;
  struct probe_text d;
  int ok = property(h, path, name, &p) && p.length > 1 && p.value[p.length - 1] == 0;
  text_clear(&d);
  for (uint32_t i = 0; ok && i + 1 < p.length; ++i) ok = p.value[i] >= 0x20 && p.value[i] < 0x7F;
  if (ok && expected) ok = value_is_text(p.value, p.length, expected);
  if (property(h, path, name, &p)) text_add_bytes(&d, p.value, p.length);
  else text_add(&d, "missing");
  probe_report(check, ok, d.data);
}

static void check_tree_form(struct handoff* h) {
  uint32_t address = arg32(h, kArgsDeviceTree), length = arg32(h, kArgsDeviceTreeLength), at = 0;
  const char* reason = "block missing";
  struct probe_text d;
  h->tree.data = address && length ? probe_view(address, length) : 0;
  h->tree.length = length;
  h->tree_ok = h->tree.data && tree_validate(&h->tree, &reason, &at);
  text_clear(&d);
  if (h->tree_ok) {
    text_add_dec(&d, length);
    text_add(&d, " bytes");
  } else {
    text_add(&d, reason);
    text_add(&d, " at ");
    text_add_hex(&d, at);
  }
  probe_report("device tree well-formed", h->tree_ok, d.data);
}

static void check_root(const struct handoff* h) {
  check_text_property(h, "device tree: root compatible", "/", "compatible", "ACPI");
  check_text_property(h, "device tree: root model", "/", "model", "ACPI");
}

static void check_boot_args_property(const struct handoff* h) {
  struct tree_property p;
  struct probe_text d;
  uint32_t length = 0;
  while (length < kArgsCommandLineSize && h->command_line[length]) ++length;
  int ok = property(h, "/chosen", "boot-args", &p) && p.length == length + 1 &&
           bytes_equal(p.value, h->command_line, length + 1);
  text_clear(&d);
  text_add(&d, ok ? "equals the block's command line" : "differs from the block's command line or missing");
  probe_report("/chosen boot-args", ok, d.data);
}

/* A device path: nodes of type, subtype and length (at least 4) filling the value exactly
   and ending with the end-of-path node. *has gets whether a node type/subtype appeared. */
static int device_path_valid(const struct tree_property* p, uint8_t type, uint8_t subtype, int* has) {
  uint32_t at = 0;
  *has = 0;
  while (p->length - at >= 4) {
    uint32_t node_length = load_le16(p->value + at + 2);
    if (node_length < 4 || node_length > p->length - at) return 0;
    if (p->value[at] == type && p->value[at + 1] == subtype) *has = 1;
    if (p->value[at] == 0x7F && p->value[at + 1] == 0xFF) return at + node_length == p->length;
    at += node_length;
  }
  return 0;
}

static void check_device_path_property(const struct handoff* h, const char* check, const char* name,
                                       uint8_t need_type, uint8_t need_subtype) {
  struct tree_property p;
  struct probe_text d;
  int has = 0;
  int ok = property(h, "/chosen", name, &p) && device_path_valid(&p, need_type, need_subtype, &has) && has;
  text_clear(&d);
  if (property(h, "/chosen", name, &p)) {
    text_add_dec(&d, p.length);
    text_add(&d, ok ? " bytes, well-formed" : " bytes, malformed or lacking the expected node");
  } else {
    text_add(&d, "missing");
  }
  probe_report(check, ok, d.data);
}

static void check_adler(const struct handoff* h) {
  struct tree_property p;
  struct probe_text d;
  uint64_t expected = 0;
  int want = expected_number(h, "probe-expect-adler", &expected);
  int ok = property(h, "/chosen", "boot-kernelcache-adler32", &p) && p.length == 4;
  text_clear(&d);
  if (ok) {
    text_add_hex(&d, load_le32(p.value));
    if (want) {
      ok = load_le32(p.value) == expected;
      text_add(&d, " (expected ");
      text_add_hex(&d, expected);
      text_add(&d, ")");
    }
  } else {
    text_add(&d, "missing or not 4 bytes");
  }
  probe_report("/chosen boot-kernelcache-adler32", ok, d.data);
}

static void check_random_seed(const struct handoff* h) {
  struct tree_property p;
  struct probe_text d;
  int ok = property(h, "/chosen", "random-seed", &p) && p.length == 64;
  int nonzero = 0;
  for (uint32_t i = 0; ok && i < p.length; ++i) nonzero |= p.value[i];
  text_clear(&d);
  text_add(&d, ok ? (nonzero ? "64 bytes" : "64 zero bytes") : "missing or not 64 bytes");
  probe_report("/chosen random-seed", ok && nonzero, d.data);
}

/* "version:" and three dot-separated numbers. */
static int version_text(const struct tree_property* p) {
  uint32_t at = 8, parts = 0;
  if (p->length < 9 || !bytes_equal(p->value, "version:", 8) || p->value[p->length - 1]) return 0;
  while (parts < 3) {
    uint32_t digits = 0;
    while (at < p->length && p->value[at] >= '0' && p->value[at] <= '9') ++at, ++digits;
    if (!digits) return 0;
    if (++parts < 3 && p->value[at++] != '.') return 0;
  }
  return at == p->length - 1;
}

static void check_booter_version(const struct handoff* h) {
  struct tree_property p;
  struct probe_text d;
  int present = property(h, "/chosen", "booter-version", &p);
  text_clear(&d);
  if (present) text_add_bytes(&d, p.value, p.length);
  else text_add(&d, "missing");
  probe_report("/chosen booter-version", present && version_text(&p), d.data);
}

static void check_build_time(const struct handoff* h) {
  struct tree_property p;
  struct probe_text d;
  int ok = property(h, "/chosen", "booter-build-time", &p) && p.length > 5 && p.value[p.length - 1] == 0;
  int colon = 0;
  for (uint32_t i = 0; ok && i + 1 < p.length; ++i) {
    ok = p.value[i] >= 0x20 && p.value[i] < 0x7F;
    colon |= p.value[i] == ':';
  }
  /* weekday, month, day, time of day, zone and year: a time and a four-digit year at the end */
  for (uint32_t i = ok ? p.length - 5 : 0; ok && i < p.length - 1; ++i) ok = p.value[i] >= '0' && p.value[i] <= '9';
  text_clear(&d);
  if (property(h, "/chosen", "booter-build-time", &p)) text_add_bytes(&d, p.value, p.length);
  else text_add(&d, "missing");
  probe_report("/chosen booter-build-time", ok && colon, d.data);
}

static void check_fixed_length(const struct handoff* h, const char* check, const char* path, const char* name,
                               uint32_t length) {
  struct tree_property p;
  struct probe_text d;
  int present = property(h, path, name, &p);
  text_clear(&d);
  if (present) {
    text_add_dec(&d, p.length);
    text_add(&d, " bytes");
    if (p.length == 4 || p.length == 8) {
      text_add(&d, ", ");
      text_add_hex(&d, p.length == 4 ? load_le32(p.value) : load_le64(p.value));
    }
  } else {
    text_add(&d, "missing");
  }
  probe_report(check, present && p.length == length, d.data);
}

static void check_memory_map_node(const struct handoff* h) {
  uint32_t node;
  struct probe_text d;
  int ok = tree_find_path(&h->tree, "/chosen/memory-map", &node);
  uint32_t count = ok ? tree_property_count(&h->tree, node) : 0, entries = 0;
  text_clear(&d);
  for (uint32_t i = 0; ok && i < count; ++i) {
    struct tree_property p;
    if (!tree_property_at(&h->tree, node, i, &p)) ok = 0;
    else if (bytes_equal(p.name, "name", 5)) continue;
    else if (p.length != 8 || !range_inside(load_le32(p.value), load_le32(p.value + 4), kernel_start(h), kernel_size(h))) {
      text_add(&d, "entry ");
      text_add_bytes(&d, (const uint8_t*)p.name, kTreeNameField);
      text_add(&d, " outside the kernel region or not 8 bytes");
      ok = 0;
    } else {
      ++entries;
    }
  }
  if (ok) {
    text_add_dec(&d, entries);
    text_add(&d, " entries inside the kernel region");
  } else if (!d.length) {
    text_add(&d, "missing");
  }
  probe_report("/chosen/memory-map", ok, d.data);
}

/* The failed-boot sign the kernel draws itself: "FailedCLUT" (colour entries of three bytes)
 * and "FailedImage" (a 32-byte header {width, height, 0, compressed length, 16 zero bytes}
 * and the compressed indices, the block at least width x height + 32 bytes). */
static void check_failed_image(const struct handoff* h) {
  struct tree_property clut, image;
  struct probe_text d;
  text_clear(&d);
  int ok = property(h, "/chosen/memory-map", "FailedCLUT", &clut) && property(h, "/chosen/memory-map", "FailedImage", &image) &&
           clut.length == 8 && image.length == 8;
  if (!ok) {
    probe_report("FailedCLUT and FailedImage", 0, "entries missing");
    return;
  }
  uint32_t clut_size = load_le32(clut.value + 4), image_size = load_le32(image.value + 4);
  const uint8_t* header = probe_view(load_le32(image.value), 32);
  ok = clut_size >= 3 && clut_size <= 768 && clut_size % 3 == 0 && probe_view(load_le32(clut.value), clut_size) &&
       header != 0;
  if (ok) {
    uint32_t width = load_le32(header), height = load_le32(header + 4), compressed = load_le32(header + 12);
    int zero = load_le32(header + 8) == 0;
    for (int i = 16; i < 32; ++i) zero = zero && header[i] == 0;
    ok = width && height && zero && compressed && compressed <= image_size - 32 &&
         (uint64_t)width * height + 32 <= image_size;
    text_add(&d, "sign ");
    text_add_dec(&d, width);
    text_add(&d, "x");
    text_add_dec(&d, height);
    text_add(&d, ", ");
    text_add_dec(&d, compressed);
    text_add(&d, " bytes compressed in a block of ");
    text_add_dec(&d, image_size);
    text_add(&d, ", ");
    text_add_dec(&d, clut_size / 3);
    text_add(&d, " colours");
  } else {
    text_add(&d, "colour table size or place wrong");
  }
  probe_report("FailedCLUT and FailedImage", ok, d.data);
}

/* "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" in upper-case hex, with its NUL. */
static int guid_text(const uint8_t* value, uint32_t length) {
  if (length != 37 || value[36]) return 0;
  for (uint32_t i = 0; i < 36; ++i) {
    int dash = i == 8 || i == 13 || i == 18 || i == 23;
    uint8_t c = value[i];
    if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return 0;
  }
  return 1;
}

static void check_root_device(const struct handoff* h) {
  struct tree_property uuid, match;
  struct probe_text d;
  const char* value;
  uint32_t length;
  int has_uuid = property(h, "/chosen", "boot-uuid", &uuid);
  int has_match = property(h, "/chosen", "root-matching", &match);
  int ok;
  text_clear(&d);
  if (has_token(h, "rd", &value, &length)) {
    ok = !has_uuid && !has_match;
    text_add(&d, ok ? "\"rd\": no root matching, no boot-uuid" : "\"rd\" given, yet root properties published");
  } else if (has_token(h, "probe-expect-boot-uuid", &value, &length)) {
    ok = has_uuid && uuid.length == length + 1 && bytes_equal(uuid.value, value, length) && uuid.value[length] == 0;
    text_add(&d, "boot-uuid ");
    if (has_uuid) text_add_bytes(&d, uuid.value, uuid.length);
    text_add(&d, ", expected ");
    text_add_bytes(&d, (const uint8_t*)value, length);
  } else {
    ok = has_uuid ? guid_text(uuid.value, uuid.length)
                  : has_match && match.length > 1 && match.value[match.length - 1] == 0;
    text_add(&d, has_uuid ? "boot-uuid " : has_match ? "root-matching " : "neither boot-uuid nor root-matching");
    if (has_uuid) text_add_bytes(&d, uuid.value, uuid.length);
    if (!has_uuid && has_match) text_add_bytes(&d, match.value, match.length);
  }
  probe_report("/chosen root device", ok, d.data);
}

static void check_firmware_vendor(const struct handoff* h) {
  struct tree_property p;
  struct probe_text d;
  int ok = property(h, "/efi", "firmware-vendor", &p) && p.length >= 4 && (p.length & 1) == 0 &&
           load_le16(p.value + p.length - 2) == 0;
  text_clear(&d);
  for (uint32_t i = 0; ok && i + 2 < p.length; i += 2) {
    uint16_t c = load_le16(p.value + i);
    if (!c) ok = 0;
    text_add_char(&d, c >= 0x20 && c < 0x7F ? (char)c : '?');
  }
  if (!ok && !d.length) text_add(&d, "missing or not a NUL-terminated UCS-2 text");
  probe_report("/efi firmware-vendor", ok, d.data);
}

static void guid_name(const uint8_t* guid, struct probe_text* out) {
  static const char digits[] = "0123456789ABCDEF";
  uint32_t data1 = load_le32(guid);
  uint32_t data2 = load_le16(guid + 4), data3 = load_le16(guid + 6);
  text_clear(out);
  for (int shift = 28; shift >= 0; shift -= 4) text_add_char(out, digits[(data1 >> shift) & 0xF]);
  text_add_char(out, '-');
  for (int shift = 12; shift >= 0; shift -= 4) text_add_char(out, digits[(data2 >> shift) & 0xF]);
  text_add_char(out, '-');
  for (int shift = 12; shift >= 0; shift -= 4) text_add_char(out, digits[(data3 >> shift) & 0xF]);
  for (int i = 8; i < 16; ++i) {
    if (i == 8 || i == 10) text_add_char(out, '-');
    text_add_char(out, digits[guid[i] >> 4]);
    text_add_char(out, digits[guid[i] & 0xF]);
  }
}

/* One "/efi/configuration-table" child: named by its GUID, "guid" and "table", and the ACPI
   aliases. *aliases counts the ACPI aliases seen. */
static int configuration_child_valid(const struct handoff* h, uint32_t child, uint32_t* aliases,
                                     struct probe_text* d) {
  static const uint8_t acpi20[16] = {0x71, 0xE8, 0x68, 0x88, 0xF1, 0xE4, 0xD3, 0x11,
                                     0xBC, 0x22, 0x00, 0x80, 0xC7, 0x3C, 0x88, 0x81};
  static const uint8_t acpi10[16] = {0x30, 0x2D, 0x9D, 0xEB, 0x88, 0x2D, 0xD3, 0x11,
                                     0x9A, 0x16, 0x00, 0x90, 0x27, 0x3F, 0xC1, 0x4D};
  struct tree_property name, guid, table, alias;
  struct probe_text expected;
  if (!tree_find_property(&h->tree, child, "name", &name) || !tree_find_property(&h->tree, child, "guid", &guid) ||
      !tree_find_property(&h->tree, child, "table", &table) || guid.length != 16 || table.length != 8) {
    text_add(d, "child without a 16-byte guid and an 8-byte table");
    return 0;
  }
  guid_name(guid.value, &expected);
  if (!value_is_text(name.value, name.length, expected.data)) {
    text_add(d, "child not named by its GUID: ");
    text_add_bytes(d, name.value, name.length);
    return 0;
  }
  int has_alias = tree_find_property(&h->tree, child, "alias", &alias);
  const char* want = bytes_equal(guid.value, acpi20, 16) ? "ACPI_20" : bytes_equal(guid.value, acpi10, 16) ? "ACPI" : 0;
  if (want ? !(has_alias && value_is_text(alias.value, alias.length, want)) : has_alias) {
    text_add(d, "wrong alias on ");
    text_add(d, expected.data);
    return 0;
  }
  if (want) ++*aliases;
  return 1;
}

static void check_configuration_table(const struct handoff* h) {
  uint32_t node, child, aliases = 0, count = 0;
  struct probe_text d;
  int ok = tree_find_path(&h->tree, "/efi/configuration-table", &node);
  text_clear(&d);
  if (ok) count = tree_child_count(&h->tree, node);
  for (uint32_t i = 0; ok && i < count; ++i) {
    ok = tree_child_at(&h->tree, node, i, &child) && configuration_child_valid(h, child, &aliases, &d);
  }
  if (ok && (count == 0 || aliases == 0)) {
    text_add(&d, "no entries with an ACPI alias");
    ok = 0;
  }
  if (ok) {
    text_add_dec(&d, count);
    text_add(&d, " tables, ");
    text_add_dec(&d, aliases);
    text_add(&d, " ACPI aliases");
  } else if (!d.length) {
    text_add(&d, "missing");
  }
  probe_report("/efi/configuration-table", ok, d.data);
}

static void check_kernel_compatibility(const struct handoff* h) {
  struct tree_property p;
  int ok = property(h, "/efi/kernel-compatibility", "x86_64", &p) && p.length == 4 && load_le32(p.value) == 1;
  probe_report("/efi/kernel-compatibility x86_64", ok, ok ? "1" : "missing or not a 32-bit 1");
}

static void check_runtime_services(const struct handoff* h) {
  struct tree_property p;
  struct probe_text d;
  int ok = property(h, "/efi/runtime-services", "table", &p) && p.length == 8 && load_le64(p.value) != 0;
  text_clear(&d);
  if (ok) text_add_hex(&d, load_le64(p.value));
  else text_add(&d, "missing, zero or not 8 bytes");
  probe_report("/efi/runtime-services table", ok, d.data);
}

static void check_tree_contents(const struct handoff* h) {
  check_root(h);
  check_text_property(h, "/chosen boot-file", "/chosen", "boot-file", 0);
  check_boot_args_property(h);
  /* A network-booted loader comes from a device path with a MAC-address node and no file. */
  const char* value;
  uint32_t length;
  int network = has_token(h, "probe-network-boot", &value, &length);
  check_device_path_property(h, "/chosen boot-device-path", "boot-device-path", network ? 3 : 0x7F, network ? 11 : 0xFF);
  check_device_path_property(h, "/chosen boot-file-path", "boot-file-path", network ? 0x7F : 4, network ? 0xFF : 4);
  check_adler(h);
  check_random_seed(h);
  check_text_property(h, "/chosen booter-name", "/chosen", "booter-name", "hearth.efi");
  check_booter_version(h);
  check_build_time(h);
  check_fixed_length(h, "/chosen machine-signature", "/chosen", "machine-signature", 4);
  check_memory_map_node(h);
  check_failed_image(h);
  check_root_device(h);
  check_firmware_vendor(h);
  check_fixed_length(h, "/efi firmware-revision", "/efi", "firmware-revision", 4);
  check_text_property(h, "/efi firmware-abi", "/efi", "firmware-abi", "EFI64");
  check_configuration_table(h);
  check_runtime_services(h);
  check_kernel_compatibility(h);
}

int probe_check_entry(const struct probe_context* context) {
  if (context->boot_arguments) return 1;
  if (context->placement_only) {
    probe_print("probe: entered by multiboot for the placement checks only; hand-off checks skipped\n");
    return 0;
  }
  probe_report("boot arguments handed over", 0, "entered without a block (EAX 0)");
  return 0;
}

void probe_check_handoff(const struct probe_context* context) {
  struct handoff h;
  h.context = context;
  h.args = context->boot_arguments ? probe_view(context->boot_arguments, kArgsSize) : 0;
  h.tree.data = 0;
  h.tree.length = 0;
  h.tree_ok = 0;
  if (!h.args) {
    probe_report("boot arguments readable", 0, "no block at the address in EAX");
    return;
  }
  h.command_line = (const char*)h.args + kArgsCommandLine;
  check_block_header(&h);
  check_flags(&h);
  check_video(&h);
  check_command_line(&h);
  check_kernel_region(&h);
  check_device_tree_place(&h);
  check_memory_map_layout(&h);
  check_memory_map_order(&h);
  check_own_pages(&h);
  check_kernel_region_typed(&h);
  check_runtime_descriptors(&h);
  check_system_table(&h);
  check_performance_data(&h);
  check_slide(&h);
  check_tree_form(&h);
  if (h.tree_ok) check_tree_contents(&h);
  probe_check_key_store(h.args, &h.tree, h.tree_ok, context);
}

void probe_check_processor(const struct probe_processor* p) {
  struct probe_text d;
  int ok = (p->cr0 & 1) && !(p->cr0 & 0x80000000u) && p->cs == 0x08 && p->ds == 0x10 && p->es == 0x10 &&
           p->fs == 0x10 && p->gs == 0x10 && !(p->eflags & 0x200) && !(p->efer & 0x100);
  text_clear(&d);
  text_add(&d, "cr0 ");
  text_add_hex(&d, p->cr0);
  text_add(&d, " efer ");
  text_add_hex(&d, p->efer);
  text_add(&d, " eflags ");
  text_add_hex(&d, p->eflags);
  text_add(&d, " cs ");
  text_add_hex(&d, p->cs);
  text_add(&d, " ds ");
  text_add_hex(&d, p->ds);
  text_add(&d, " es ");
  text_add_hex(&d, p->es);
  text_add(&d, " fs ");
  text_add_hex(&d, p->fs);
  text_add(&d, " gs ");
  text_add_hex(&d, p->gs);
  text_add(&d, " ss ");
  text_add_hex(&d, p->ss);
  probe_report("processor: protected mode, paging off, flat selectors, interrupts off", ok, d.data);
}
