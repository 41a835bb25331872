// Compiles keyboard layouts into the 'uchr' format from the XKB symbol files of xkb-data,
// read through libxkbcommon, with dead keys composed by the X11 compose table.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/uchr_writer.h"

struct UchrXkbSource {
  std::string layout;   // XKB layout name ("de")
  std::string variant;  // XKB variant ("" = the basic one)
  std::string compose_file = "/usr/share/X11/locale/en_US.UTF-8/Compose";
};

// The modifier combinations a layout has tables for (layout modifier-byte bits; command is
// ignored and gives the same table as without it).
extern const std::vector<uint32_t> kUchrModifierCombinations;

// The layouts the login window ships with: XKB name and the file stem.
struct UchrStandardLayout {
  const char* xkb_layout;
  const char* description;
};
extern const std::vector<UchrStandardLayout> kUchrStandardLayouts;

bool CompileUchrFromXkb(const UchrXkbSource& source, UchrLayout* out, std::string* error);

// Keysyms of editing keys that carry no text in XKB but control codes in a layout.
uint16_t UchrControlCodeForKeysym(uint32_t keysym);
