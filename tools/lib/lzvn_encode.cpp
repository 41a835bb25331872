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

// Prices are in sixteenths of a byte, so that an instruction can cost a fraction of one.
constexpr long kByte = 16;

// What a run of n literal or reuse-match bytes costs in opcodes: long-run opcodes (2 bytes
// each) and one short one (1 byte up to 15, 2 bytes up to 271), one instruction each.
struct RunCost {
  size_t bytes = 0;
  size_t instructions = 0;
};

RunCost RunHeaderCost(size_t n) {
  RunCost c;
  c.instructions = n / kLongRun;
  c.bytes = 2 * c.instructions;
  size_t rest = n % kLongRun;
  if (rest != 0) {
    c.bytes += rest <= 15 ? 1 : 2;
    c.instructions += 1;
  }
  return c;
}

enum class MatchForm : uint8_t { kReuse, kPreviousDistance, kSmallDistance, kMediumDistance, kLargeDistance };

class Pricing {
 public:
  explicit Pricing(long instruction) : instruction_(instruction) {
    for (size_t n = 0; n < kTabled; ++n) runs_[n] = RunPrice(n);
  }

  // The opcodes of a run of n literal or reuse-match bytes.
  long Run(size_t n) const { return n < kTabled ? runs_[n] : RunPrice(n); }

  // n literals sent on their own.
  long Literals(size_t n) const { return long(n) * kByte + Run(n); }

  // An opcode of this many bytes.
  long Head(size_t bytes) const { return long(bytes) * kByte + instruction_; }

 private:
  static constexpr size_t kTabled = 2 * kLongRun + 2;

  long RunPrice(size_t n) const {
    RunCost c = RunHeaderCost(n);
    return long(c.bytes) * kByte + long(c.instructions) * instruction_;
  }

  long instruction_;
  long runs_[kTabled];
};

// How a match at one distance can follow a run of pending literals: each option attaches
// some of them to a distance opcode of one form, which carries up to `carry` bytes of the
// match; the rest goes in reuse-match opcodes.
class MatchOptions {
 public:
  struct Choice {
    MatchForm form;
    size_t attached;
    size_t first_length;
    long price;  // replaces the price of the pending literals sent on their own
  };

  MatchOptions(const Pricing& pricing, size_t pending, size_t d, size_t previous) : pricing_(pricing) {
    for (size_t a = 0; a <= std::min(pending, kMaxAttachedLiterals); ++a) {
      const long literals = pricing.Literals(pending - a) + long(a) * kByte;
      const size_t cap = kMatchMaxForLiterals[a];
      Add({MatchForm::kLargeDistance, a, cap, literals + pricing.Head(3)});
      if (d < kMediumDistanceLimit) Add({MatchForm::kMediumDistance, a, kMediumMatchMax, literals + pricing.Head(3)});
      if (d < kSmallDistanceLimit) Add({MatchForm::kSmallDistance, a, cap, literals + pricing.Head(2)});
      if (d == previous && a > 0) Add({MatchForm::kPreviousDistance, a, cap, literals + pricing.Head(1)});
      if (d == previous && a == 0) Add({MatchForm::kReuse, 0, 0, literals});
    }
  }

  long Price(size_t m) const {
    long best = Price(options_[0], m);
    for (size_t k = 1; k < count_; ++k) best = std::min(best, Price(options_[k], m));
    return best;
  }

  Choice Choose(size_t m) const {
    const Option* best = &options_[0];
    for (size_t k = 1; k < count_; ++k) {
      if (Price(options_[k], m) < Price(*best, m)) best = &options_[k];
    }
    return {best->form, best->attached, std::min(m, best->carry), Price(*best, m)};
  }

 private:
  struct Option {
    MatchForm form;
    size_t attached;
    size_t carry;
    long fixed;
  };

  long Price(const Option& o, size_t m) const { return o.fixed + pricing_.Run(m - std::min(m, o.carry)); }

  // Drops options that cost as much or more and carry no more than one already kept.
  void Add(const Option& o) {
    for (size_t k = 0; k < count_; ++k) {
      if (options_[k].fixed <= o.fixed && options_[k].carry >= o.carry) return;
    }
    options_[count_++] = o;
  }

  const Pricing& pricing_;
  Option options_[5 * (kMaxAttachedLiterals + 1)];
  size_t count_ = 0;
};

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

struct Candidate {
  uint32_t length;
  uint32_t distance;
};

class HashChain {
 public:
  HashChain(const uint8_t* data, size_t size, const LzvnEncodeOptions& options)
      : data_(data), size_(size), options_(options), head_(size_t(1) << kHashBits, 0), prev_(kWindow, 0) {}

  // Matches at pos among earlier positions, nearest first, each longer than the one before
  // (a farther match is only worth its longer distance when it is longer). Every position
  // before pos is inserted first. Returns the count written to out.
  size_t Find(size_t pos, size_t limit, Candidate* out, size_t capacity) {
    InsertUpTo(pos);
    if (limit < 4) return 0;
    size_t count = 0;
    size_t best = kMinMatch - 1;
    uint32_t candidate = head_[Hash(pos)];
    for (int budget = options_.max_chain; candidate != 0 && budget > 0; --budget) {
      size_t c = candidate - 1;
      size_t d = pos - c;
      if (d > kMaxDistance) break;
      if (data_[c + best] == data_[pos + best]) {
        size_t len = MatchLength(data_ + c, data_ + pos, limit);
        if (len > best) {
          best = len;
          if (count == capacity) --count;  // keep the longest
          out[count++] = {uint32_t(len), uint32_t(d)};
          if (len >= options_.nice_length || len == limit) break;
        }
      }
      candidate = prev_[c & (kWindow - 1)];
    }
    return count;
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

// A way found to reach a position: by a match (length > 0) or by one more literal.
struct Node {
  long price;         // -1: none yet
  uint32_t pending;   // literals since the last match
  uint32_t length;    // of the match that ends here; 0 for a literal
  uint32_t distance;  // of that match
  uint32_t previous;  // the previous distance after this position
  uint32_t from;      // the way taken at the position the step started from
};

// Optimal parsing over stretches of the input: every position is reached at the lowest price
// of bytes plus a price per instruction, so that the stream is both short and quick to
// decode. Each position keeps the cheapest ways with different previous distances: a way
// that costs a byte more may keep a distance that the data goes on repeating.
class Encoder {
 public:
  static constexpr size_t kStretch = 1 << 14;
  static constexpr size_t kWays = 3;
  static constexpr size_t kCandidates = 16;
  // Lengths above this are only tried whole; below it every length is priced.
  static constexpr size_t kPricedLengths = 40;

  Encoder(const uint8_t* data, size_t size, const LzvnEncodeOptions& options, std::vector<uint8_t>* out)
      : data_(data),
        size_(size),
        nice_(options.nice_length),
        pricing_(long(options.instruction_cost * kByte)),
        chain_(data, size, options),
        writer_(out),
        nodes_((std::min(size, kStretch) + 1) * kWays) {}

  void Run() {
    size_t start = 0, pending = 0, previous = 0;
    while (start < size_) {
      size_t end = Parse(start, pending, previous);
      const Node& last = Cheapest(end - start);
      Emit(start, end, size_t(&last - &nodes_[0]));
      pending = last.pending;
      previous = last.previous;
      start = end;
    }
    writer_.Literals(data_ + size_ - pending, pending);
    writer_.EndOfStream();
  }

 private:
  Node* Ways(size_t index) { return &nodes_[index * kWays]; }

  const Node& Cheapest(size_t index) {
    Node* ways = Ways(index);
    Node* best = ways;
    for (size_t w = 1; w < kWays; ++w) {
      if (ways[w].price >= 0 && ways[w].price < best->price) best = &ways[w];
    }
    return *best;
  }

  // Prices every position from start up to the end of the stretch; returns where it ends
  // (early after a match of at least the nice length).
  size_t Parse(size_t start, size_t pending, size_t previous) {
    const size_t end = std::min(size_, start + kStretch);
    for (size_t i = 0; i < (end - start + 1) * kWays; ++i) nodes_[i].price = -1;
    nodes_[0] = {pricing_.Literals(pending), uint32_t(pending), 0, 0, uint32_t(previous), 0};
    Candidate found[kCandidates];
    for (size_t pos = start; pos < end; ++pos) {
      const size_t limit = end - pos;
      const size_t count = limit >= kMinMatch ? chain_.Find(pos, limit, found, kCandidates) : 0;
      size_t longest_here = 0;
      for (size_t way = 0; way < kWays; ++way) {
        const Node here = Ways(pos - start)[way];
        if (here.price < 0) continue;
        const uint32_t from = uint32_t((pos - start) * kWays + way);
        const long base = here.price - pricing_.Literals(here.pending);
        Offer(pos + 1 - start, {base + pricing_.Literals(here.pending + 1), here.pending + 1, 0, 0, here.previous, from});
        if (limit < kMinMatch) continue;
        // The previous distance first: it is the cheapest for every length it has. Nearer
        // distances cost no more, so each candidate after it is priced only for the lengths
        // the ones before do not reach.
        size_t longest = kMinMatch - 1;
        auto price = [&](size_t len, size_t d) {
          if (len <= longest) return;
          MatchOptions options(pricing_, here.pending, d, here.previous);
          for (size_t m = longest + 1; m <= len; ++m) {
            if (m > kPricedLengths && m != len) m = len;
            Offer(pos + m - start, {base + options.Price(m), 0, uint32_t(m), uint32_t(d), uint32_t(d), from});
          }
          longest = len;
        };
        if (here.previous != 0 && here.previous <= pos) {
          price(MatchLength(data_ + pos - here.previous, data_ + pos, limit), here.previous);
        }
        for (size_t k = 0; k < count; ++k) price(found[k].length, found[k].distance);
        longest_here = std::max(longest_here, longest);
      }
      // Long enough to take without looking further: the stretch ends after it.
      if (longest_here >= nice_) return pos + longest_here;
    }
    return end;
  }

  // Keeps the node if it is the cheapest way so far with its previous distance and among the
  // kWays cheapest.
  void Offer(size_t index, const Node& node) {
    Node* ways = Ways(index);
    Node* slot = nullptr;
    for (size_t w = 0; w < kWays; ++w) {
      if (ways[w].price >= 0 && ways[w].previous == node.previous) {
        slot = &ways[w];
        break;
      }
    }
    if (slot == nullptr) {
      slot = &ways[0];
      for (size_t w = 0; w < kWays; ++w) {
        if (ways[w].price < 0) {
          slot = &ways[w];
          break;
        }
        if (ways[w].price > slot->price) slot = &ways[w];
      }
    }
    if (slot->price < 0 || node.price < slot->price) *slot = node;
  }

  // Walks back from the node at last to start and writes the matches on the way, first to last.
  void Emit(size_t start, size_t end, size_t last) {
    steps_.clear();
    size_t at = last;
    for (size_t i = end; i > start;) {
      const Node& n = nodes_[at];
      if (n.length != 0) steps_.push_back(at);
      i -= n.length != 0 ? n.length : 1;
      at = n.from;
    }
    for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
      const Node& n = nodes_[*it];
      const Node& before = nodes_[n.from];
      const size_t match_start = start + n.from / kWays;
      const MatchOptions::Choice c =
          MatchOptions(pricing_, before.pending, n.distance, before.previous).Choose(n.length);
      const uint8_t* literals = data_ + match_start - before.pending;
      const size_t loose = before.pending - c.attached;
      writer_.Literals(literals, loose);
      if (c.form != MatchForm::kReuse) {
        writer_.DistanceOp(c.form, literals + loose, c.attached, c.first_length, n.distance);
      }
      writer_.ReuseMatch(n.length - c.first_length);
    }
  }

  const uint8_t* data_;
  size_t size_;
  size_t nice_;
  Pricing pricing_;
  HashChain chain_;
  Writer writer_;
  std::vector<Node> nodes_;
  std::vector<size_t> steps_;
};

}  // namespace

std::vector<uint8_t> LzvnEncode(const uint8_t* data, size_t size, const LzvnEncodeOptions& options) {
  std::vector<uint8_t> out;
  out.reserve(size / 2 + 64);
  Encoder(data, size, options, &out).Run();
  return out;
}
