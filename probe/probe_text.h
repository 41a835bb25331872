/* Small text and byte helpers shared by the probe kernel and its host tests (no library:
   the probe is freestanding). Written in the common subset of C and C++. */
#pragma once

#include <stdint.h>

enum { kProbeTextCapacity = 160 };

/* A bounded, always NUL-terminated line under construction; overlong text is cut. */
struct probe_text {
  char data[kProbeTextCapacity];
  uint32_t length;
};

void text_clear(struct probe_text* text);
void text_add(struct probe_text* text, const char* part);
void text_add_char(struct probe_text* text, char c);
void text_add_hex(struct probe_text* text, uint64_t value);
void text_add_dec(struct probe_text* text, uint32_t value);
/* Adds length bytes as text, stopping at a NUL; bytes outside printable ASCII become '?'. */
void text_add_bytes(struct probe_text* text, const uint8_t* bytes, uint32_t length);

uint32_t text_length(const char* text);
int bytes_equal(const void* a, const void* b, uint32_t length);
/* value holds text (length bytes) followed by exactly one NUL. */
int value_is_text(const uint8_t* value, uint32_t length, const char* text);

uint16_t load_le16(const uint8_t* p);
uint32_t load_le32(const uint8_t* p);
uint64_t load_le64(const uint8_t* p);

/* Finds key among the space-separated tokens of line (at most line_length bytes, NUL ends it
   early). *value and *value_length get the text after "=" (length 0 when there is none). */
int cmdline_find(const char* line, uint32_t line_length, const char* key, const char** value,
                 uint32_t* value_length);
/* Parses a decimal or "0x" hexadecimal number of the whole text; 0 on any other character or
   overflow beyond 64 bits. */
int parse_number(const char* text, uint32_t length, uint64_t* number);
