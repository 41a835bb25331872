// The first code both EFI images run. The firmware is meant to hand over with SSE usable,
// but U-Boot's UEFI leaves CR4.OSFXSR clear, so the first SSE instruction the compiler emits
// (a zeroing xorps in any prologue) raises #UD. This shim is naked: it runs before any
// compiled code, turns SSE on where it is off and jumps to efi_main with the firmware's
// arguments (RCX, RDX) and stack untouched. It uses only RAX and R8.
#include "hw/hw.h"

extern "C" __attribute__((naked)) void HwImageEntry() {
  __asm__(
      // CR0: EM (bit 2) and TS (bit 3) clear, MP (bit 1) set.
      "movq %cr0, %rax\n\t"
      "movq %rax, %r8\n\t"
      "andq $-13, %rax\n\t"
      "orq $2, %rax\n\t"
      "cmpq %rax, %r8\n\t"
      "je 1f\n\t"
      "movq %rax, %cr0\n"
      "1:\n\t"
      // CR4: OSFXSR (bit 9) and OSXMMEXCPT (bit 10) set.
      "movq %cr4, %rax\n\t"
      "movq %rax, %r8\n\t"
      "orq $0x600, %rax\n\t"
      "cmpq %rax, %r8\n\t"
      "je 2f\n\t"
      "movq %rax, %cr4\n\t"
      // SSE was off, so nobody set up the x87 and SSE control words: the defaults UEFI
      // promises (FCW 0x037F, MXCSR 0x1F80).
      "fninit\n\t"
      "pushq $0x1f80\n\t"
      "ldmxcsr (%rsp)\n\t"
      "popq %rax\n"
      "2:\n\t"
      "jmp efi_main\n\t");
}
