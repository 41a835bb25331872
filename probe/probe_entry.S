// The probe kernel's first instructions. The boot loader's call gate enters here in 32-bit
// protected mode, paging off, flat segments, interrupts off, with the boot-arguments pointer
// in EAX. The code may run at any address (the kernel may be slid), so it finds its own
// place with call/pop and reaches everything else PC-relative.
        .code32
        .section .text.entry, "ax"
        .globl probe_entry
probe_entry:
        cli
        movl    %eax, %esi                      // boot arguments
        call    1f
1:      popl    %ebx                            // where label 1 runs
        leal    (probe_stack_top - 1b)(%ebx), %esp
        andl    $-16, %esp
        subl    $12, %esp
        pushl   %esi
        call    probe_main                      // does not return
2:      hlt
        jmp     2b
