#include "lib/host_reset.h"

#ifdef HEARTH_HOST

namespace {
constexpr int kMaxHooks = 128;
HostResetFunction gHooks[kMaxHooks];
int gHookCount = 0;
}  // namespace

HostResetHook::HostResetHook(HostResetFunction fn) {
  if (gHookCount < kMaxHooks) gHooks[gHookCount++] = fn;
}

void RunHostResetHooks() {
  for (int i = 0; i < gHookCount; ++i) gHooks[i]();
}

#endif
