// The input probe's password mode: a white screen with one focused password field that
// shows what is typed as glyphs from the font archive "Lucida13.efires", with the keyboard
// layout "loginui_keyboard_layout.uchr" of the archive "uiprobe.efires" (both read from the
// probe's own volume the way the login window reads its archives). After every key the
// field's three renderings go to the serial port:
//
//   uiprobe: field 46 "pAss" 47 "pAss" 45 "pAss"
//
// (characters outside printable ASCII as \uXXXX). A scenario asks for the mode with the
// firmware variable "uiprobe-mode" = "password" in the vendor namespace.
#pragma once

#include "draw/screen.h"
#include "efi/efi.h"

struct PasswordProbe;

// True when the variable asks for the password mode.
bool PasswordModeRequested();
// Puts the screen up and focuses the field; null (logged) when something is missing.
PasswordProbe* PasswordProbeStart(EFI_HANDLE image_handle);
// Takes the screen down and frees everything. Null is ignored.
void PasswordProbeStop(PasswordProbe* probe);
