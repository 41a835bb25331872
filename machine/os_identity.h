// Tells the firmware which operating system is starting.
#pragma once

void AnnounceOperatingSystem();
