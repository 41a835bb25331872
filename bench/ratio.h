// Comparisons printed at the end of hearth-bench, one line each: "ratio NAME VALUE",
// ours over the peer, higher is better.
#pragma once

#include <string>

// Registers a timing comparison: VALUE = peer time per iteration / our time per iteration.
// Both benchmarks must do the same work per iteration.
struct BenchRatio {
  BenchRatio(const char* name, const char* ours, const char* peer);
};
#define HEARTH_BENCH_RATIO(var, name, ours, peer) static BenchRatio var(name, ours, peer)

// Records a ratio that is not a timing (for example compression ratios).
void BenchRecordRatio(const std::string& name, double value);
