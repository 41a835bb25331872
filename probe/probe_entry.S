// The probe kernel's first instructions. The boot loader's call gate enters here in 32-bit
// protected mode, paging off, flat segments, interrupts off, with the boot-arguments pointer
// in EAX. The code may run at any address (the kernel may be slid), so it finds its own
// place with call/pop and reaches everything else PC-relative. The flags are read before
// anything can change them: the probe checks that interrupts arrived disabled.
        .code32
        .section .text.entry, "ax"
        .globl probe_entry
probe_entry:
        movl    %eax, %esi                      // boot arguments (or the multiboot magic)
        movl    %ebx, %edi                      // multiboot information, when entered that way
        call    1f
1:      popl    %ebx                            // where label 1 runs
        leal    (probe_stack_top - 1b)(%ebx), %esp
        pushfl
        popl    %edx                            // flags on entry
        cli
        andl    $-16, %esp
        subl    $4, %esp
        pushl   %edx
        pushl   %edi
        pushl   %esi
        call    probe_main                      // does not return
2:      hlt
        jmp     2b
