// Tag scanning, closing-tag search and entity decoding over the text being parsed. The
// text is changed in place: tag ends and element contents end in NUL, entities are folded.
#pragma once

#include "efi/types.h"

// The text being parsed. Every position read or written lies below length, and no byte
// below length is NUL when parsing starts.
struct PlistText {
  char* chars;
  UINTN length;
  UINTN offset;  // where the next tag search starts
};

// Finds the next "<" and the next ">" after it, overwrites the ">" with NUL and returns the
// tag text (what follows "<") in *tag; offset moves just past the tag. False, with offset
// unchanged, when no complete tag is left.
bool PlistScanTag(PlistText* text, char** tag);

// Scans tag after tag for "/" followed by exactly name and overwrites that tag's "<" with
// NUL, so that the element's content (from offset on entry) ends there; offset moves past
// the closing tag and *content points at the content. False when no such tag follows.
bool PlistFindClosingTag(PlistText* text, const char* name, char** content);

// Folds "&#" decimal ";" and the named entities amp, gt, lt, apos and quot into their byte
// in a NUL-terminated text; anything else that starts with "&" stays as written.
void PlistDecodeEntities(char* text);
