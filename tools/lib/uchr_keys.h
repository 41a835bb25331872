// Key strokes written as text for hearthtool uchr type: modifier names joined by "+" and a
// key named by its position on a US keyboard ("shift+a", "option+e", "iso", "0x64").
#pragma once

#include <cstdint>
#include <string>

// Fills the HID usage and the layout modifier byte; false for an unknown name.
bool ParseKeyStroke(const std::string& text, uint32_t* usage, uint32_t* modifiers);

// The text of UTF-16 units, control codes written as <U+XXXX>.
std::string DescribeUtf16(const char16_t* units, size_t count);
