/* The probe's checks of the hand-off: the boot-arguments block, the memory map, the system
   table, the flattened device tree, the processor state and the slide. Shared with the host
   tests, which feed them blocks built by the loader's own code. */
#pragma once

#include <stdint.h>

/* The kernel's link-time addresses (probe/CMakeLists.txt wraps the probe at this base). */
#define PROBE_KERNEL_BASE 0xFFFFFF8002000000ull
enum { kProbePhysicalMask = 0x3FFFFFFF, kProbeSlideUnit = 0x200000 };

/* The processor as the probe found it on entry. */
struct probe_processor {
  uint32_t cr0;
  uint32_t eflags;
  uint64_t efer;
  uint16_t cs, ds, es, fs, gs, ss;
};

struct probe_context {
  uint32_t boot_arguments;  /* EAX on entry */
  int placement_only;       /* a multiboot run without a block that asked for placement checks only */
  uint32_t own_header;      /* physical address of the probe's Mach-O header */
  uint32_t own_end;         /* physical end of the probe's code and data */
  uint64_t header_pointer;  /* the header's kernel address as the local relocation left it */
  uint32_t cpu_signature;   /* CPUID leaf 1 EAX */
  struct probe_processor processor;
};

/* Physical memory as the checks see it: a pointer to length bytes at address, or null when
   that range is not there (the probe: address 0 or a range past 4 GiB). */
const uint8_t* probe_view(uint32_t address, uint32_t length);

/* A kernel entered without a boot-arguments block has nothing to boot with: that fails,
   unless a multiboot run asked for the placement checks only. Returns whether the hand-off
   checks can run. */
int probe_check_entry(const struct probe_context* context);

/* Each check ends in one probe_report call (probe_report.h). */
void probe_check_handoff(const struct probe_context* context);
void probe_check_processor(const struct probe_processor* processor);

/* The expected slide in bytes for "slide=N" (1 to 255) with the given processor signature. */
uint32_t probe_slide_value(uint32_t n, uint32_t cpu_signature);
