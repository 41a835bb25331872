// Kernel cache codecs against their peers on about 32 MiB of x86-64 machine code (the host's
// shared libraries): LZVN against LZ4 (HC level 9 stream), LZSS against zlib inflate, and
// Adler-32 against zlib's. The corpus is compressed once, before any timing.
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_corpus.h"
#include "bench/ratio.h"
#include "kernel/adler32.h"
#include "kernel/lzss.h"
#include "kernel/lzvn.h"
#include "tools/lib/lzss_encode.h"
#include "tools/lib/lzvn_encode.h"

namespace {

constexpr size_t kCorpusSize = 32u << 20;
using Bytes = std::vector<uint8_t>;

Bytes Zlib9(const Bytes& in) {
  uLongf n = compressBound(in.size());
  Bytes out(n);
  if (compress2(out.data(), &n, in.data(), in.size(), Z_BEST_COMPRESSION) != Z_OK) n = 0;
  out.resize(n);
  return out;
}

struct Corpus {
  Bytes plain, lzvn, lzss, lz4, zlib;
  bool ok = false;

  Corpus() {
    plain = SharedLibraryMachineCode(kCorpusSize);
    lzvn = LzvnEncode(plain.data(), plain.size());
    lzss = LzssEncode(plain.data(), plain.size());
    lz4 = Lz4Hc9(plain);
    zlib = Zlib9(plain);
    ok = plain.size() == kCorpusSize && Verify();
    if (!ok) return;
    double ours = double(plain.size()) / lzvn.size();
    double peer = double(plain.size()) / lz4.size();
    BenchRecordRatio("lzvn_compression_vs_lz4hc9", ours / peer);
    BenchRecordRatio("lzss_compression_vs_zlib9", (double(plain.size()) / lzss.size()) / (double(plain.size()) / zlib.size()));
    std::fprintf(stderr, "corpus %zu bytes: lzvn %zu, lz4hc9 %zu, lzss %zu, zlib9 %zu\n", plain.size(), lzvn.size(),
                 lz4.size(), lzss.size(), zlib.size());
  }

  // Every stream must give the corpus back before its decoder is timed.
  bool Verify() const {
    Bytes out(plain.size());
    bool good = DecompressLzvn(out.data(), out.size(), lzvn.data(), lzvn.size()) == plain.size() && out == plain;
    std::fill(out.begin(), out.end(), 0);
    good = good && DecompressLzss(out.data(), out.size(), lzss.data(), lzss.size()) == plain.size() && out == plain;
    good = good && CalculateAdler32(plain.data(), plain.size()) ==
                       adler32(adler32(0, nullptr, 0), plain.data(), uInt(plain.size()));
    if (!good) std::fprintf(stderr, "codec_bench: a codec failed to reproduce the corpus\n");
    return good;
  }
};

const Corpus& TheCorpus() {
  static Corpus corpus;
  return corpus;
}

// Runs body once per iteration over the corpus, or skips when the corpus is unusable.
template <typename Body>
void RunOverCorpus(benchmark::State& state, Body body) {
  const Corpus& c = TheCorpus();
  if (!c.ok) {
    state.SkipWithError("corpus unavailable");
    return;
  }
  Bytes out(c.plain.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(body(c, out.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.plain.size()));
}

void BM_LzvnDecompress(benchmark::State& state) {
  RunOverCorpus(state, [](const Corpus& c, uint8_t* out) {
    return DecompressLzvn(out, c.plain.size(), c.lzvn.data(), c.lzvn.size());
  });
}

void BM_Lz4Decompress(benchmark::State& state) {
  RunOverCorpus(state, [](const Corpus& c, uint8_t* out) {
    return LZ4_decompress_safe(reinterpret_cast<const char*>(c.lz4.data()), reinterpret_cast<char*>(out),
                               int(c.lz4.size()), int(c.plain.size()));
  });
}

void BM_LzssDecompress(benchmark::State& state) {
  RunOverCorpus(state, [](const Corpus& c, uint8_t* out) {
    return DecompressLzss(out, c.plain.size(), c.lzss.data(), c.lzss.size());
  });
}

void BM_ZlibInflate(benchmark::State& state) {
  RunOverCorpus(state, [](const Corpus& c, uint8_t* out) {
    uLongf n = c.plain.size();
    return uncompress(out, &n, c.zlib.data(), c.zlib.size());
  });
}

void BM_Adler32(benchmark::State& state) {
  RunOverCorpus(state, [](const Corpus& c, uint8_t*) { return CalculateAdler32(c.plain.data(), c.plain.size()); });
}

void BM_ZlibAdler32(benchmark::State& state) {
  RunOverCorpus(state, [](const Corpus& c, uint8_t*) {
    return adler32(adler32(0, nullptr, 0), c.plain.data(), uInt(c.plain.size()));
  });
}

}  // namespace

BENCHMARK(BM_LzvnDecompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lz4Decompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssDecompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Adler32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibAdler32)->Unit(benchmark::kMillisecond);

HEARTH_BENCH_RATIO(lzvn_vs_lz4, "lzvn_decompress_vs_lz4", "BM_LzvnDecompress", "BM_Lz4Decompress");
HEARTH_BENCH_RATIO(lzss_vs_inflate, "lzss_decompress_vs_zlib_inflate", "BM_LzssDecompress", "BM_ZlibInflate");
HEARTH_BENCH_RATIO(adler_vs_zlib, "adler32_vs_zlib", "BM_Adler32", "BM_ZlibAdler32");
