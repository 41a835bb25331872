// Inputs shared by the codec tests: random, repetitive and machine-code bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

struct SampleInput {
  std::string name;
  std::vector<uint8_t> bytes;
};

inline std::vector<uint8_t> SampleRandom(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = uint8_t(rng());
  return v;
}

// Runs of every period from 1 to 20, each long enough for several long matches.
inline std::vector<uint8_t> SamplePeriodic() {
  std::vector<uint8_t> v;
  std::mt19937 rng(5);
  for (size_t period = 1; period <= 20; ++period) {
    std::vector<uint8_t> unit(period);
    for (auto& b : unit) b = uint8_t(rng());
    for (size_t i = 0; i < 700; ++i) v.push_back(unit[i % period]);
  }
  return v;
}

// Text-like data drawn from a small vocabulary, with matches at every distance range.
inline std::vector<uint8_t> SampleWords(size_t n) {
  static const char* kWords[] = {"kernel ", "cache ", "boot ", "loader ", "device ", "tree ", "\n", "0x1f ",
                                 "memory ", "map ", "slide ", "image "};
  std::mt19937 rng(9);
  std::vector<uint8_t> v;
  while (v.size() < n) {
    const char* w = kWords[rng() % 12];
    v.insert(v.end(), w, w + std::char_traits<char>::length(w));
    if (rng() % 50 == 0) v.push_back(uint8_t(rng()));
  }
  v.resize(n);
  return v;
}

// Up to max_bytes of a shared library of the host (empty when none is found).
inline std::vector<uint8_t> SampleMachineCode(size_t max_bytes) {
  for (const char* path : {"/usr/lib/x86_64-linux-gnu/libc.so.6", "/lib/x86_64-linux-gnu/libc.so.6",
                           "/usr/lib/x86_64-linux-gnu/libstdc++.so.6"}) {
    std::ifstream in(path, std::ios::binary);
    if (!in) continue;
    std::vector<uint8_t> v((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (v.size() > max_bytes) v.resize(max_bytes);
    return v;
  }
  return {};
}

inline std::vector<SampleInput> SampleInputs() {
  std::vector<SampleInput> inputs = {
      {"empty", {}},
      {"one byte", {0x42}},
      {"seven bytes", {1, 2, 3, 1, 2, 3, 1}},
      {"random 100k", SampleRandom(100000, 1)},
      {"zeros 1M", std::vector<uint8_t>(1 << 20, 0)},
      {"periodic", SamplePeriodic()},
      {"words 300k", SampleWords(300000)},
  };
  std::vector<uint8_t> code = SampleMachineCode(2 << 20);
  if (!code.empty()) inputs.push_back({"machine code", code});
  // Random data with repeats placed at far distances, up to the 64 KiB window and past it.
  std::vector<uint8_t> far = SampleRandom(200000, 2);
  for (size_t at : {70000u, 140000u}) std::copy(far.begin() + at - 65535, far.begin() + at - 65535 + 5000, far.begin() + at);
  inputs.push_back({"far repeats", far});
  std::mt19937 rng(3);
  for (size_t n = 2; n < 70; n += 5) {
    std::vector<uint8_t> small(n);
    for (auto& b : small) b = uint8_t("abc"[rng() % 3]);
    inputs.push_back({"small " + std::to_string(n), small});
  }
  return inputs;
}
