// The loader's own report lines, written straight to the first serial port so that they
// reach the log whatever the firmware's console does.
#pragma once

#include "platform/platform_text.h"

// Writes the text and a newline to the serial port.
void SerialWriteLine(const PlatformText& line);

// Writes the text and a newline to the serial port and to the firmware console.
void ReportLine(const PlatformText& line);
