// Resource-archive lookups by name over a 1000-entry archive, against a std::unordered_map
// of the same names. Each iteration looks up every name once, in a shuffled order.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/ratio.h"
#include "testfw/test_firmware.h"
#include "tools/lib/efires.h"
#include "ui/archive.h"

namespace {

constexpr int kEntries = 1000;

struct LookupCorpus {
  std::vector<std::string> names;  // lookup order
  std::vector<uint8_t> bytes;
  std::unordered_map<std::string, std::pair<uint32_t, uint32_t>> peer;  // name -> offset, length

  LookupCorpus() {
    EfiresContents contents;
    for (int i = 0; i < kEntries; ++i) {
      std::string name = "loginui_picture_" + std::to_string(i * 7919 % 100000) + (i % 2 ? "@2x.png" : ".png");
      contents.files.push_back({name, std::vector<uint8_t>(16 + i % 48, uint8_t(i)), 0});
    }
    std::string error;
    if (!EfiresWrite(contents, &bytes, &error)) std::abort();
    EfiresContents read;
    EfiresRead(bytes, &read, &error);
    for (const EfiresFile& f : read.files) {
      names.push_back(f.name);
      peer[f.name] = {f.offset, uint32_t(f.data.size())};
    }
    std::shuffle(names.begin(), names.end(), std::mt19937(42));
  }
};

const LookupCorpus& Corpus() {
  static const LookupCorpus corpus;
  return corpus;
}

void BM_Archive_Lookup1000_Hearth(benchmark::State& state) {
  const LookupCorpus& c = Corpus();
  TestFirmware fw;
  Archive* archive = nullptr;
  if (ArchiveCreate(c.bytes.data(), c.bytes.size(), &archive) != kArchiveOk) {
    state.SkipWithError("archive refused");
    return;
  }
  for (auto _ : state) {
    for (const std::string& name : c.names) {
      const void* data = nullptr;
      UINT32 length = 0;
      ArchiveGetData(archive, name.c_str(), FALSE, &data, &length, FALSE);
      benchmark::DoNotOptimize(data);
      benchmark::DoNotOptimize(length);
    }
  }
  ArchiveDestroy(archive);
}

void BM_Archive_Lookup1000_UnorderedMap(benchmark::State& state) {
  const LookupCorpus& c = Corpus();
  for (auto _ : state) {
    for (const std::string& name : c.names) {
      // Like the archive lookup, from a C string: the key is built from it first.
      auto it = c.peer.find(std::string(name.c_str()));
      const void* data = c.bytes.data() + it->second.first;
      uint32_t length = it->second.second;
      benchmark::DoNotOptimize(data);
      benchmark::DoNotOptimize(length);
    }
  }
}

}  // namespace

BENCHMARK(BM_Archive_Lookup1000_Hearth);
BENCHMARK(BM_Archive_Lookup1000_UnorderedMap);
HEARTH_BENCH_RATIO(archive_lookup_ratio, "archive_lookup_1000", "BM_Archive_Lookup1000_Hearth",
                   "BM_Archive_Lookup1000_UnorderedMap");
