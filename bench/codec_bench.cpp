// Kernel cache codecs against their peers on about 32 MiB of x86-64 machine code (the host's
// shared libraries): LZVN against LZ4 (HC level 9 stream), LZSS against zlib's raw inflate, and
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

// A raw deflate stream at level 9: no zlib header and no Adler-32, since an LZSS stream
// carries no checksum either (the container's Adler-32 is timed on its own).
Bytes Zlib9(const Bytes& in) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  Bytes out(deflateBound(&z, in.size()));
  z.next_in = const_cast<Bytes::value_type*>(in.data());
  z.avail_in = uInt(in.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
  out.resize(done ? z.total_out : 0);
  deflateEnd(&z);
  return out;
}

// Raw inflate of such a stream; the bytes produced, 0 on any error.
size_t RawInflate(uint8_t* out, size_t out_size, const Bytes& in) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return 0;
  z.next_in = const_cast<Bytes::value_type*>(in.data());
  z.avail_in = uInt(in.size());
  z.next_out = out;
  z.avail_out = uInt(out_size);
  bool done = inflate(&z, Z_FINISH) == Z_STREAM_END;
  size_t produced = z.total_out;
  inflateEnd(&z);
  return done ? produced : 0;
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
    std::fill(out.begin(), out.end(), 0);
    good = good && RawInflate(out.data(), out.size(), zlib) == plain.size() && out == plain;
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
    return RawInflate(out, c.plain.size(), c.zlib);
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
