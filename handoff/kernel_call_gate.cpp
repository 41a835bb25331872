#include "handoff/kernel_call_gate.h"

#include "output/error_report.h"
#include "memory/memory.h"
#include "hw/hw.h"
#include "lib/host_reset.h"
#include "lib/mem.h"

// Entered with the boot-arguments pointer in RCX and the kernel entry in RDX:
//   00 lea rax,[rip+gdt] / mov [rip+gdtr.base],rax    the GDT base inside this copy
//   0e lea rax,[rip+code32] / mov [rip+far.offset],eax
//   1b lgdt [rip+gdtr]
//   22 mov ax,0x10 / mov ds,ax / mov es,ax / mov gs,ax / mov fs,ax
//   32 mov ebx,ecx / mov edi,edx                        keep both across the mode switch
//   36 jmp far [rip+far]                                 32-bit code, selector 0x08
//   3c code32: mov eax,cr0 / btr eax,31 / mov cr0,eax    paging off
//   46 mov ecx,0xC0000080 / rdmsr / btr eax,8 / wrmsr    long mode off (EFER.LME)
//   53 mov eax,ebx / jmp edi                             boot arguments in EAX
//   57 hlt / ret                                         only if the kernel comes back
//   59 far pointer, 5f GDT descriptor, 69 GDT
const UINT8 KernelCallGate[kKernelCallGateSize] = {
    0x48, 0x8d, 0x05, 0x62, 0x00, 0x00, 0x00, 0x48, 0x89, 0x05, 0x53, 0x00, 0x00, 0x00, 0x48, 0x8d, 0x05,
    0x27, 0x00, 0x00, 0x00, 0x89, 0x05, 0x3e, 0x00, 0x00, 0x00, 0x0f, 0x01, 0x15, 0x3d, 0x00, 0x00, 0x00,
    0x66, 0xb8, 0x10, 0x00, 0x66, 0x8e, 0xd8, 0x66, 0x8e, 0xc0, 0x66, 0x8e, 0xe8, 0x66, 0x8e, 0xe0, 0x89,
    0xcb, 0x89, 0xd7, 0xff, 0x2d, 0x1d, 0x00, 0x00, 0x00, 0x0f, 0x20, 0xc0, 0x0f, 0xba, 0xf0, 0x1f, 0x0f,
    0x22, 0xc0, 0xb9, 0x80, 0x00, 0x00, 0xc0, 0x0f, 0x32, 0x0f, 0xba, 0xf0, 0x08, 0x0f, 0x30, 0x89, 0xd8,
    0xff, 0xe7, 0xf4, 0xc3,
    // far pointer: offset (filled at run time), selector 0x0008
    0x00, 0x00, 0x00, 0x00, 0x08, 0x00,
    // GDT descriptor: limit 0x0018, base (filled at run time)
    0x18, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    // GDT: null, 32-bit code, 32-bit data (flat, 4 KiB granularity)
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0x00, 0x00, 0x00, 0x9e, 0xcf, 0x00, 0xff,
    0xff, 0x00, 0x00, 0x00, 0x92, 0xcf, 0x00};

namespace {

const void* gGateCopy = nullptr;

void ForgetGate() { gGateCopy = nullptr; }
HEARTH_HOST_RESET(ForgetGate);

}  // namespace

EFI_STATUS CopyKernelCallGate() {
  EFI_PHYSICAL_ADDRESS at = 0xFFFFFFFF;
  EFI_STATUS status = PagesAllocate(AllocateMaxAddress, EfiLoaderCode, EfiSizeToPages(kKernelCallGateSize), &at);
  if (EFI_ERROR(status)) return ReportError(status, "Could not allocate kernel call gate (%x)\n", status);
  MemCopy(reinterpret_cast<void*>(at), KernelCallGate, kKernelCallGateSize);
  gGateCopy = reinterpret_cast<const void*>(at);
  return EFI_SUCCESS;
}

const void* KernelCallGateCopy() { return gGateCopy; }

void EnterKernel(UINT64 boot_args, UINT64 entry) {
  HwDisableInterrupts();
  HwEnterKernelGate(gGateCopy, boot_args, entry);
}
