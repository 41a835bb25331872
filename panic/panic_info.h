// The panic-information step: tells the user that the machine restarted after a panic of
// the operating system, and stops a panic loop (five panics within three minutes) by
// powering the machine off.
#pragma once

// Reads the report pieces, the panic log and the clock; shows the notice or the loop
// warning. Missing or unreadable variables end the step quietly.
void ShowPanicInformation();
