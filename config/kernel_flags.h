// The kernel command line: white-space separated tokens "key" or "key=value", where a value
// may be enclosed in double quotes. The texts here are NUL-terminated copies the loader made
// itself; outside bytes are copied into such a text (with a bound) before they get here.
#pragma once

#include "efi/types.h"

// Tab, line feed, carriage return and space.
bool KernelFlagsIsSpace(char c);

struct KernelFlagToken {
  const char* start;       // first character of the token
  UINTN length;            // the whole token, up to the white space after it
  UINTN keyLength;         // characters before "=" (the whole token when there is none)
  const char* value;       // after "=", without enclosing quotes; the key's end when no "="
  UINTN valueLength;
  bool openQuote;          // the value's quote is never closed: the token runs to the end
};

// Reads the next token at or after *cursor and moves *cursor past it. False at the end.
// A quoted value runs to its closing quote (or the end of the text) even across white
// space; characters after the closing quote up to white space still belong to the token.
bool KernelFlagsNextToken(const char** cursor, KernelFlagToken* token);

// The value of key in line: the last occurrence wins; a key without "=" gives length 0.
// EFI_NOT_FOUND when no token has exactly that key (or line is null).
[[nodiscard]] EFI_STATUS KernelFlagsLookup(const char* line, const char* key, const char** value, UINTN* length);

// True when a token of line has exactly the key key[0, key_length).
bool KernelFlagsKeyPresent(const char* line, const char* key, UINTN key_length);

// Appends text[0, length) to line (a space first unless line is empty). When the line ends
// inside a quote that is never closed, the quote is closed first, so that the addition
// stays a token of its own instead of becoming part of that value.
// EFI_BUFFER_TOO_SMALL, with line unchanged, when line and the addition would not fit
// in capacity bytes with the terminator.
[[nodiscard]] EFI_STATUS KernelFlagsAppend(char* line, UINTN capacity, const char* text, UINTN length);

// Appends each token of source whose key is not yet present in line (tokens that do not
// fit are left out). Later tokens of source see the earlier ones already appended.
void KernelFlagsMergeAbsent(char* line, UINTN capacity, const char* source);

// Appends one token unless its key is present.
void KernelFlagsAddIfAbsent(char* line, UINTN capacity, const char* token);

// Safe mode: keeps only the tokens whose key begins with "kext-dev-mode", "rootless",
// "-x" or "-v", joined by single spaces; the text shrinks in place.
void KernelFlagsSafeModeFilter(char* line);
