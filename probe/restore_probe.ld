/* The restore-code probe's flat image, linked at the restore-code page the scenarios use
   (readability only: the code runs wherever it is put). The last 64 bytes of the restore
   code's last page hold the expectations hearthtool writes (restore_probe.c). */
ENTRY(restore_probe_entry)
SECTIONS
{
  . = 0x10000000;
  .text : { *(.text.entry) *(.text .text.*) }
  .rodata : { *(.rodata .rodata.*) }
  .data : {
    *(.got.plt .got .data .data.*)
    *(.bss .bss.* COMMON)
    . = ALIGN(16);
    probe_stack_bottom = .;
    . += 8192;
    probe_stack_top = .;
    LONG(0x65626f72)
  }
  /DISCARD/ : { *(.comment) *(.note*) *(.eh_frame*) *(.dynamic) *(.dynsym) *(.dynstr) *(.hash) *(.gnu.hash) }
}
