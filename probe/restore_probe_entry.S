// The restore-code probe's first instructions. hearth's call gate enters here, at the restore
// code's page plus its entry offset, in 32-bit protected mode with paging off, flat segments,
// interrupts off and the page number of the in-memory image header in EAX. Position
// independent like the probe kernel: it finds its own place with call/pop.
        .code32
        .section .text.entry, "ax"
        .globl restore_probe_entry
restore_probe_entry:
        movl    %eax, %esi                      // the image header's page
        call    1f
1:      popl    %ebx
        leal    (probe_stack_top - 1b)(%ebx), %esp
        pushfl
        popl    %edx                            // flags on entry
        cli
        andl    $-16, %esp
        subl    $8, %esp
        pushl   %edx
        pushl   %esi
        call    restore_probe_main              // does not return
2:      hlt
        jmp     2b
