// Host tests start every case on a fresh test firmware; modules with run-wide state register
// a function that returns that state to its load-time values. Firmware builds compile the
// registration away: there the state lives exactly once per run. Hooks are numbered by
// __COUNTER__ because some tests compile several modules into one translation unit.
#pragma once

#ifdef HEARTH_HOST
using HostResetFunction = void (*)();
struct HostResetHook {
  explicit HostResetHook(HostResetFunction fn);
};
// Runs every registered reset function (the test firmware calls it on construction).
void RunHostResetHooks();
#define HEARTH_HOST_RESET_CONCAT2(a, b) a##b
#define HEARTH_HOST_RESET_CONCAT(a, b) HEARTH_HOST_RESET_CONCAT2(a, b)
#define HEARTH_HOST_RESET(fn) static HostResetHook HEARTH_HOST_RESET_CONCAT(host_reset_hook_, __COUNTER__)(fn)
#else
#define HEARTH_HOST_RESET(fn) [[maybe_unused]] static constexpr auto host_reset_unused_##fn = &fn
#endif
