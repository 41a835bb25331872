#include "probe_text.h"

void text_clear(struct probe_text* text) {
  text->length = 0;
  text->data[0] = 0;
}

void text_add_char(struct probe_text* text, char c) {
  if (text->length + 1 >= kProbeTextCapacity) return;
  text->data[text->length++] = c;
  text->data[text->length] = 0;
}

void text_add(struct probe_text* text, const char* part) {
  for (; *part; ++part) text_add_char(text, *part);
}

void text_add_hex(struct probe_text* text, uint64_t value) {
  int shift = 60;
  text_add(text, "0x");
  while (shift > 0 && ((value >> shift) & 0xF) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) text_add_char(text, "0123456789abcdef"[(value >> shift) & 0xF]);
}

void text_add_dec(struct probe_text* text, uint32_t value) {
  char digits[10];
  int count = 0;
  do {
    digits[count++] = (char)('0' + value % 10);
    value /= 10;
  } while (value);
  while (count) text_add_char(text, digits[--count]);
}

void text_add_bytes(struct probe_text* text, const uint8_t* bytes, uint32_t length) {
  for (uint32_t i = 0; i < length && bytes[i]; ++i) {
    text_add_char(text, bytes[i] >= 0x20 && bytes[i] < 0x7F ? (char)bytes[i] : '?');
  }
}

uint32_t text_length(const char* text) {
  uint32_t length = 0;
  while (text[length]) ++length;
  return length;
}

int bytes_equal(const void* a, const void* b, uint32_t length) {
  const uint8_t* x = (const uint8_t*)a;
  const uint8_t* y = (const uint8_t*)b;
  for (uint32_t i = 0; i < length; ++i) {
    if (x[i] != y[i]) return 0;
  }
  return 1;
}

int value_is_text(const uint8_t* value, uint32_t length, const char* text) {
  uint32_t expected = text_length(text);
  return value && length == expected + 1 && value[expected] == 0 && bytes_equal(value, text, expected);
}

uint16_t load_le16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

uint32_t load_le32(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

uint64_t load_le64(const uint8_t* p) { return (uint64_t)load_le32(p) | ((uint64_t)load_le32(p + 4) << 32); }

int cmdline_find(const char* line, uint32_t line_length, const char* key, const char** value,
                 uint32_t* value_length) {
  uint32_t key_length = text_length(key);
  uint32_t end = 0;
  while (end < line_length && line[end]) ++end;
  for (uint32_t at = 0; at < end;) {
    while (at < end && line[at] == ' ') ++at;
    uint32_t token = at;
    while (at < end && line[at] != ' ') ++at;
    uint32_t token_length = at - token;
    if (token_length < key_length || !bytes_equal(line + token, key, key_length)) continue;
    if (token_length == key_length) {
      *value = line + at;
      *value_length = 0;
      return 1;
    }
    if (line[token + key_length] == '=') {
      *value = line + token + key_length + 1;
      *value_length = token_length - key_length - 1;
      return 1;
    }
  }
  return 0;
}

int parse_number(const char* text, uint32_t length, uint64_t* number) {
  uint32_t base = 10, at = 0;
  uint64_t result = 0;
  if (length > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    at = 2;
  }
  if (at == length) return 0;
  for (; at < length; ++at) {
    char c = text[at];
    uint32_t digit;
    if (c >= '0' && c <= '9') digit = (uint32_t)(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') digit = (uint32_t)(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') digit = (uint32_t)(c - 'A' + 10);
    else return 0;
    uint64_t shifted = base == 16 ? result << 4 : (result << 3) + (result << 1);
    if ((base == 16 && (result >> 60)) || (base == 10 && result > 0x1999999999999999ull)) return 0;
    if (shifted + digit < shifted) return 0;
    result = shifted + digit;
  }
  *number = result;
  return 1;
}
