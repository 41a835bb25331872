/* The probe kernel: proves that the boot loader placed, slid and entered a Mach-O kernel
   correctly and handed over a sound boot-arguments block, device tree and memory map. Each
   check prints one line on the first serial port; the run ends with one JSON line of all
   results and leaves through isa-debug-exit with kProbePassed or kProbeFailed. Checks are
   plain calls (no tables of pointers: those would need relocating). */
#include <stdint.h>

#include "probe_checks.h"
#include "probe_io.h"
#include "probe_report.h"
#include "probe_text.h"

enum { kProbePassed = 0x10, kProbeFailed = 0x11 };
enum { kHeaderPage = 0x1000, kMachOMagic64 = 0xFEEDFACF, kLcSegment64 = 25 };
/* Entered by a multiboot loader (the host tests' QEMU runs) EAX holds this and EBX the
   multiboot information, whose command line may name a block: "probe-boot-args=0x...". */
enum { kMultibootMagic = 0x2BADB002, kMultibootHasCommandLine = 0x4 };

/* Placed by the linker script. Hidden, so they are reached relative to the code (never
   through a table of absolute addresses): these are run-time addresses. */
#define PROBE_LOCAL __attribute__((visibility("hidden")))
extern PROBE_LOCAL const uint8_t probe_image_start[];
extern PROBE_LOCAL const volatile uint64_t probe_header_pointer;

/* The kernel's Mach-O header lies one page below the code, inside __TEXT. */
static const uint8_t* own_header(void) { return probe_image_start - kHeaderPage; }

static int header_present(void) { return *(const uint32_t*)own_header() == kMachOMagic64; }

/* __DATA holds the header's kernel address under a local relocation: slid or not, its
   physical part must be where the header really is. */
static int header_pointer_relocated(void) {
  return (probe_header_pointer & kProbePhysicalMask) == (uint32_t)own_header();
}

/* The loader slides the header copy too: its first segment (__TEXT) starts at the header. */
static int header_copy_slid(void) {
  const uint8_t* command = own_header() + 32;
  if (*(const uint32_t*)command != kLcSegment64) return 0;
  return *(const uint64_t*)(command + 24) == probe_header_pointer;
}

const uint8_t* probe_view(uint32_t address, uint32_t length) {
  if (address == 0 || (length && length - 1 > 0xFFFFFFFFu - address)) return 0;
  return (const uint8_t*)(uintptr_t)address;
}

static void read_processor(uint32_t eflags, struct probe_processor* p) {
  uint32_t low, high;
  __asm__ volatile("mov %%cr0, %0" : "=r"(p->cr0));
  __asm__ volatile("rdmsr" : "=a"(low), "=d"(high) : "c"(0xC0000080u));
  __asm__ volatile("mov %%cs, %0" : "=r"(p->cs));
  __asm__ volatile("mov %%ds, %0" : "=r"(p->ds));
  __asm__ volatile("mov %%es, %0" : "=r"(p->es));
  __asm__ volatile("mov %%fs, %0" : "=r"(p->fs));
  __asm__ volatile("mov %%gs, %0" : "=r"(p->gs));
  __asm__ volatile("mov %%ss, %0" : "=r"(p->ss));
  p->efer = ((uint64_t)high << 32) | low;
  p->eflags = eflags;
}

static uint32_t cpu_signature(void) {
  uint32_t a, b, c, d;
  __asm__ volatile("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(1u), "c"(0u));
  return a;
}

/* The boot-arguments block: EAX, unless a multiboot loader entered the probe. A multiboot
   command line without "probe-boot-args" may ask for the placement checks alone with
   "probe-placement-only". */
static void find_boot_arguments(uint32_t eax, uint32_t ebx, struct probe_context* context) {
  const char* value;
  uint32_t length;
  uint64_t address;
  context->boot_arguments = 0;
  context->placement_only = 0;
  if (eax != kMultibootMagic) {
    context->boot_arguments = eax;
    return;
  }
  if (!ebx || !(*(const uint32_t*)(uintptr_t)ebx & kMultibootHasCommandLine)) return;
  const char* line = (const char*)(uintptr_t) * (const uint32_t*)(uintptr_t)(ebx + 16);
  if (!line) return;
  context->placement_only = cmdline_find(line, 4096, "probe-placement-only", &value, &length);
  if (!cmdline_find(line, 4096, "probe-boot-args", &value, &length)) return;
  if (!parse_number(value, length, &address) || address > 0xFFFFFFFFu) return;
  context->boot_arguments = (uint32_t)address;
}

/* With "probe-hold" on the kernel command line the probe keeps the screen as hearth left it
   until a key arrives on the keyboard controller (the demo takes its screenshot then), or
   until a generous number of polls has passed. */
static void hold_for_key(uint32_t boot_arguments) {
  const char* value;
  uint32_t length;
  if (!boot_arguments || !cmdline_find((const char*)(uintptr_t)(boot_arguments + 8), 1024, "probe-hold", &value,
                                       &length)) {
    return;
  }
  while (probe_in8(0x64) & 1) (void)probe_in8(0x60); /* drop what was typed before */
  probe_print("probe: holding the screen, waiting for a key\n");
  for (uint32_t polls = 0; polls < 0x40000000u; ++polls) {
    if (probe_in8(0x64) & 1) {
      (void)probe_in8(0x60);
      return;
    }
    __asm__ volatile("pause");
  }
}

_Noreturn void probe_main(uint32_t eax, uint32_t ebx, uint32_t eflags) {
  struct probe_context context;
  read_processor(eflags, &context.processor);
  find_boot_arguments(eax, ebx, &context);
  context.own_header = (uint32_t)own_header();
  context.own_end = (uint32_t)&probe_header_pointer + 8;
  context.header_pointer = probe_header_pointer;
  context.cpu_signature = cpu_signature();

  probe_serial_init();
  probe_report_reset();
  probe_print("probe: entered\n");
  probe_print("probe: boot arguments at ");
  probe_print_hex(context.boot_arguments);
  probe_print(", header at ");
  probe_print_hex(context.own_header);
  probe_print("\n");
  probe_report("Mach-O header below the code", header_present(), "");
  probe_report("header pointer relocated", header_pointer_relocated(), "");
  probe_report("header copy slid", header_copy_slid(), "");
  if (probe_check_entry(&context)) {
    probe_check_processor(&context.processor);
    probe_check_handoff(&context);
  }
  probe_report_json();
  probe_print(probe_report_failures() ? "probe: failed\n" : "probe: passed\n");
  hold_for_key(context.boot_arguments);
  probe_exit(probe_report_failures() ? kProbeFailed : kProbePassed);
}
