/* The probe kernel's flat image. Linked at its unslid physical address for readability
   only: the code is position-independent and runs wherever the loader put it. Everything,
   the stack included, has file contents, so the flat binary ends exactly at probe_end. */
ENTRY(probe_entry)
SECTIONS
{
  . = 0x2001000;
  probe_image_start = .;
  .text : { *(.text.entry) *(.text .text.*) }
  .rodata : { *(.rodata .rodata.*) }
  .data : {
    *(.got.plt .got .data .data.*)
    *(.bss .bss.* COMMON)
    . = ALIGN(16);
    probe_stack_bottom = .;
    . += 8192;
    probe_stack_top = .;
    LONG(0x65626f72)      /* "robe": gives the stack file contents */
  }
  probe_end = .;
  /* The Mach-O wrapper puts __DATA at the first page after the code. */
  probe_header_pointer = ALIGN(4096);
  /DISCARD/ : { *(.comment) *(.note*) *(.eh_frame*) *(.dynamic) *(.dynsym) *(.dynstr) *(.hash) *(.gnu.hash) }
}
