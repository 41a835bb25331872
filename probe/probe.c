/* The probe kernel: proves that the boot loader placed, slid and entered a Mach-O kernel
   correctly, and reports on the first serial port. Each check prints one line; the run
   ends through isa-debug-exit with kProbePassed or kProbeFailed. Checks are plain calls in
   probe_main (no tables of pointers: those would need relocating). */
#include <stdint.h>

#include "probe_io.h"

enum { kProbePassed = 0x10, kProbeFailed = 0x11 };
enum { kHeaderPage = 0x1000, kPhysicalMask = 0x3FFFFFFF, kMachOMagic64 = 0xFEEDFACF, kLcSegment64 = 25 };

/* Placed by the linker script. Hidden, so they are reached relative to the code (never
   through a table of absolute addresses): these are run-time addresses. */
#define PROBE_LOCAL __attribute__((visibility("hidden")))
extern PROBE_LOCAL const uint8_t probe_image_start[];
extern PROBE_LOCAL const volatile uint64_t probe_header_pointer;

static int failures;

static void report(const char* name, int passed) {
  probe_print(passed ? "probe: ok " : "probe: FAIL ");
  probe_print(name);
  probe_print("\n");
  if (!passed) ++failures;
}

/* The kernel's Mach-O header lies one page below the code, inside __TEXT. */
static const uint8_t* own_header(void) { return probe_image_start - kHeaderPage; }

static int header_present(void) { return *(const uint32_t*)own_header() == kMachOMagic64; }

/* __DATA holds the header's kernel address under a local relocation: slid or not, its
   physical part must be where the header really is. */
static int header_pointer_relocated(void) {
  return (probe_header_pointer & kPhysicalMask) == (uint32_t)own_header();
}

/* The loader slides the header copy too: its first segment (__TEXT) starts at the header. */
static int header_copy_slid(void) {
  const uint8_t* command = own_header() + 32;
  if (*(const uint32_t*)command != kLcSegment64) return 0;
  return *(const uint64_t*)(command + 24) == probe_header_pointer;
}

_Noreturn void probe_main(uint32_t boot_arguments) {
  probe_serial_init();
  probe_print("probe: entered\n");
  probe_print("probe: boot arguments at ");
  probe_print_hex(boot_arguments);
  probe_print(", header at ");
  probe_print_hex((uint32_t)own_header());
  probe_print("\n");
  report("Mach-O header below the code", header_present());
  report("header pointer relocated", header_pointer_relocated());
  report("header copy slid", header_copy_slid());
  probe_print(failures ? "probe: failed\n" : "probe: passed\n");
  probe_exit(failures ? kProbeFailed : kProbePassed);
}
