#include "tools/lib/lzvn_encode.h"

#include <algorithm>
#include <cstring>

#include "kernel/lzvn.h"

namespace {

constexpr size_t kWindow = 65536;  // distances reach 65535
constexpr size_t kMaxDistance = kWindow - 1;
constexpr size_t kSmallDistanceLimit = 0x600;  // sml_d high bits 110/111 mean other opcodes
constexpr size_t kMediumDistanceLimit = 0x4000;
constexpr size_t kMediumMatchMax = 34;
constexpr size_t kMaxAttachedLiterals = 3;
constexpr size_t kLongRun = 271;  // the most one lrg_l or lrg_m carries
constexpr size_t kMinMatch = 3;
constexpr int kHashBits = 17;

// The longest match a distance opcode carries with L literals in front of it (the other
// byte values of those patterns belong to other opcodes).
constexpr size_t kMatchMaxForLiterals[4] = {10, 8, 6, 4};

struct Match {
  size_t length = 0;
  size_t distance = 0;
};

size_t MatchLength(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + (__builtin_ctzll(x ^ y) >> 3);
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// Header bytes of a run of n bytes split into long-run opcodes (2 bytes each) and one short
// one (1 byte up to 15, 2 bytes up to 271).
size_t RunHeaderCost(size_t n) {
  size_t cost = 0;
  for (; n > kLongRun; n -= kLongRun) cost += 2;
  return n == 0 ? cost : cost + (n <= 15 ? 1 : 2);
}

enum class MatchForm { kReuse, kPreviousDistance, kSmallDistance, kMediumDistance, kLargeDistance };

struct MatchChoice {
  MatchForm form;
  size_t first_length;  // carried by the distance opcode; the rest reuses the distance
  size_t cost;
};

// The cheapest encoding of a match of length m at distance d after `attached` literals.
MatchChoice ChooseMatchForm(size_t attached, size_t m, size_t d, size_t previous) {
  size_t cap = kMatchMaxForLiterals[attached];
  size_t first = std::min(m, cap);
  MatchChoice best{MatchForm::kLargeDistance, first, 3 + RunHeaderCost(m - first)};
  auto consider = [&](MatchForm form, size_t head, size_t carried) {
    size_t cost = head + RunHeaderCost(m - carried);
    if (cost < best.cost) best = {form, carried, cost};
  };
  if (d < kMediumDistanceLimit) consider(MatchForm::kMediumDistance, 3, std::min(m, kMediumMatchMax));
  if (d < kSmallDistanceLimit) consider(MatchForm::kSmallDistance, 2, first);
  if (d == previous && attached > 0) consider(MatchForm::kPreviousDistance, 1, first);
  if (d == previous && attached == 0) consider(MatchForm::kReuse, 0, 0);
  return best;
}

class Writer {
 public:
  explicit Writer(std::vector<uint8_t>* out) : out_(out) {}

  void Literals(const uint8_t* p, size_t n) {
    while (n > 0) {
      size_t run = std::min(n, kLongRun);
      if (run >= 16) {
        Put(0xE0);
        Put(uint8_t(run - 16));
      } else {
        Put(uint8_t(0xE0 | run));
      }
      out_->insert(out_->end(), p, p + run);
      p += run;
      n -= run;
    }
  }

  void ReuseMatch(size_t n) {
    while (n > 0) {
      size_t run = std::min(n, kLongRun);
      if (run >= 16) {
        Put(0xF0);
        Put(uint8_t(run - 16));
      } else {
        Put(uint8_t(0xF0 | run));
      }
      n -= run;
    }
  }

  // The distance opcode with its attached literals; m is the length it carries.
  void DistanceOp(MatchForm form, const uint8_t* literals, size_t l, size_t m, size_t d) {
    uint8_t lm = uint8_t((l << 6) | ((m - 3) << 3));
    switch (form) {
      case MatchForm::kSmallDistance:
        Put(uint8_t(lm | (d >> 8)));
        Put(uint8_t(d));
        break;
      case MatchForm::kMediumDistance: {
        size_t code = m - 3;
        Put(uint8_t(0xA0 | (l << 3) | (code >> 2)));
        uint16_t w = uint16_t((d << 2) | (code & 3));
        Put(uint8_t(w));
        Put(uint8_t(w >> 8));
        break;
      }
      case MatchForm::kLargeDistance:
        Put(uint8_t(lm | 7));
        Put(uint8_t(d));
        Put(uint8_t(d >> 8));
        break;
      case MatchForm::kPreviousDistance:
        Put(uint8_t(lm | 6));
        break;
      case MatchForm::kReuse:
        break;
    }
    out_->insert(out_->end(), literals, literals + l);
  }

  void EndOfStream() {
    Put(lzvn::kEndOfStream);
    for (size_t i = 1; i < lzvn::kEndOfStreamSize; ++i) Put(0);
  }

 private:
  void Put(uint8_t b) { out_->push_back(b); }
  std::vector<uint8_t>* out_;
};

class HashChain {
 public:
  HashChain(const uint8_t* data, size_t size, const LzvnEncodeOptions& options)
      : data_(data), size_(size), options_(options), head_(size_t(1) << kHashBits, 0), prev_(kWindow, 0) {}

  // Best match at pos among earlier positions (every position before pos is inserted first).
  Match Find(size_t pos) {
    InsertUpTo(pos);
    Match best;
    size_t limit = size_ - pos;
    if (limit < 4) return best;
    uint32_t candidate = head_[Hash(pos)];
    for (int budget = options_.max_chain; candidate != 0 && budget > 0; --budget) {
      size_t c = candidate - 1;
      size_t d = pos - c;
      if (d > kMaxDistance) break;
      if (best.length < limit && data_[c + best.length] == data_[pos + best.length]) {
        size_t len = MatchLength(data_ + c, data_ + pos, limit);
        if (len > best.length) {
          best = {len, d};
          if (len >= options_.nice_length || len == limit) break;
        }
      }
      candidate = prev_[c & (kWindow - 1)];
    }
    return best;
  }

 private:
  uint32_t Hash(size_t pos) const {
    uint32_t v;
    std::memcpy(&v, data_ + pos, 4);
    return (v * 2654435761u) >> (32 - kHashBits);
  }

  void InsertUpTo(size_t pos) {
    for (; next_ < pos && next_ + 4 <= size_; ++next_) {
      uint32_t h = Hash(next_);
      prev_[next_ & (kWindow - 1)] = head_[h];
      head_[h] = uint32_t(next_ + 1);
    }
  }

  const uint8_t* data_;
  size_t size_;
  LzvnEncodeOptions options_;
  std::vector<uint32_t> head_;  // position + 1 of the newest entry per hash; 0 when none
  std::vector<uint32_t> prev_;  // position + 1 of the previous entry with the same hash
  size_t next_ = 0;
};

class Encoder {
 public:
  Encoder(const uint8_t* data, size_t size, const LzvnEncodeOptions& options, std::vector<uint8_t>* out)
      : data_(data), size_(size), min_saving_(options.min_saving), chain_(data, size, options), writer_(out) {}

  void Run() {
    size_t pos = 0;
    size_t literal_start = 0;
    while (pos + kMinMatch <= size_) {
      Match m = BestAt(pos);
      if (m.length < kMinMatch || Saving(m) < min_saving_) {
        ++pos;
        continue;
      }
      // Lazy step: a better match one byte on wins over this one.
      while (pos + 1 + kMinMatch <= size_) {
        Match next = BestAt(pos + 1);
        if (Saving(next) <= Saving(m)) break;
        m = next;
        ++pos;
      }
      Emit(data_ + literal_start, pos - literal_start, m);
      pos += m.length;
      literal_start = pos;
    }
    writer_.Literals(data_ + literal_start, size_ - literal_start);
    writer_.EndOfStream();
  }

 private:
  Match BestAt(size_t pos) {
    Match best = chain_.Find(pos);
    if (previous_ != 0 && previous_ <= pos) {
      size_t len = MatchLength(data_ + pos - previous_, data_ + pos, size_ - pos);
      Match reuse{len, previous_};
      if (len >= kMinMatch && Saving(reuse) >= Saving(best)) best = reuse;
    }
    return best;
  }

  // Bytes saved against sending the match as literals.
  long Saving(const Match& m) const {
    if (m.length < kMinMatch) return 0;
    return long(m.length) - long(ChooseMatchForm(0, m.length, m.distance, previous_).cost);
  }

  void Emit(const uint8_t* literals, size_t l, const Match& m) {
    size_t best_attached = 0;
    size_t best_cost = SIZE_MAX;
    MatchChoice best_choice{};
    for (size_t a = 0; a <= std::min(l, kMaxAttachedLiterals); ++a) {
      MatchChoice choice = ChooseMatchForm(a, m.length, m.distance, previous_);
      size_t cost = RunHeaderCost(l - a) + choice.cost;
      if (cost < best_cost) {
        best_cost = cost;
        best_attached = a;
        best_choice = choice;
      }
    }
    size_t loose = l - best_attached;
    writer_.Literals(literals, loose);
    if (best_choice.form != MatchForm::kReuse) {
      writer_.DistanceOp(best_choice.form, literals + loose, best_attached, best_choice.first_length, m.distance);
    }
    writer_.ReuseMatch(m.length - best_choice.first_length);
    previous_ = m.distance;
  }

  const uint8_t* data_;
  size_t size_;
  long min_saving_;
  HashChain chain_;
  Writer writer_;
  size_t previous_ = 0;
};

}  // namespace

std::vector<uint8_t> LzvnEncode(const uint8_t* data, size_t size, const LzvnEncodeOptions& options) {
  std::vector<uint8_t> out;
  out.reserve(size / 2 + 64);
  Encoder(data, size, options, &out).Run();
  return out;
}
