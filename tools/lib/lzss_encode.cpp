#include "tools/lib/lzss_encode.h"

#include <algorithm>
#include <cstring>

#include "kernel/lzss.h"

namespace {

using lzss::kMaxMatch;
using lzss::kRingSize;
using lzss::kRingStart;

constexpr size_t kMinMatch = lzss::kThreshold + 1;
constexpr int kHashBits = 14;

struct Match {
  size_t length = 0;
  size_t distance = 0;
};

class HashChain {
 public:
  HashChain(const uint8_t* data, size_t size, int max_chain)
      : data_(data), size_(size), max_chain_(max_chain), head_(size_t(1) << kHashBits, 0), prev_(kRingSize, 0) {}

  // Longest match (up to 18 bytes) at distance 1..4096 before pos.
  Match Find(size_t pos) {
    InsertUpTo(pos);
    Match best;
    size_t limit = std::min(kMaxMatch, size_ - pos);
    if (limit < kMinMatch) return best;
    uint32_t candidate = head_[Hash(pos)];
    for (int budget = max_chain_; candidate != 0 && budget > 0; --budget) {
      size_t c = candidate - 1;
      if (pos - c > kRingSize) break;
      if (data_[c + best.length] == data_[pos + best.length]) {
        size_t len = 0;
        while (len < limit && data_[c + len] == data_[pos + len]) ++len;
        if (len > best.length) {
          best = {len, pos - c};
          if (len == limit) break;
        }
      }
      candidate = prev_[c & (kRingSize - 1)];
    }
    return best;
  }

 private:
  uint32_t Hash(size_t pos) const {
    uint32_t v = data_[pos] | (data_[pos + 1] << 8) | (data_[pos + 2] << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
  }

  void InsertUpTo(size_t pos) {
    for (; next_ < pos && next_ + kMinMatch <= size_; ++next_) {
      uint32_t h = Hash(next_);
      prev_[next_ & (kRingSize - 1)] = head_[h];
      head_[h] = uint32_t(next_ + 1);
    }
  }

  const uint8_t* data_;
  size_t size_;
  int max_chain_;
  std::vector<uint32_t> head_;
  std::vector<uint32_t> prev_;
  size_t next_ = 0;
};

// Collects items eight at a time behind their flag byte.
class GroupWriter {
 public:
  explicit GroupWriter(std::vector<uint8_t>* out) : out_(out) {}

  void Literal(uint8_t byte) {
    Begin();
    (*out_)[flag_at_] |= uint8_t(1u << items_);
    out_->push_back(byte);
    ++items_;
  }

  // A reference at output position pos to the bytes distance back.
  void Reference(size_t pos, size_t distance, size_t length) {
    Begin();
    size_t ring_index = (kRingStart + pos - distance) & (kRingSize - 1);
    out_->push_back(uint8_t(ring_index));
    out_->push_back(uint8_t(((ring_index >> 4) & 0xF0) | (length - kMinMatch)));
    ++items_;
  }

 private:
  void Begin() {
    if (items_ < 8) return;
    flag_at_ = out_->size();
    out_->push_back(0);
    items_ = 0;
  }

  std::vector<uint8_t>* out_;
  size_t flag_at_ = 0;
  unsigned items_ = 8;
};

}  // namespace

std::vector<uint8_t> LzssEncode(const uint8_t* data, size_t size, int max_chain) {
  std::vector<uint8_t> out;
  out.reserve(size / 2 + 16);
  HashChain chain(data, size, max_chain);
  GroupWriter writer(&out);
  size_t pos = 0;
  while (pos < size) {
    Match m = chain.Find(pos);
    if (m.length >= kMinMatch && m.length < kMaxMatch && pos + 1 < size) {
      Match next = chain.Find(pos + 1);
      if (next.length > m.length) {
        writer.Literal(data[pos++]);
        m = next;
      }
    }
    if (m.length < kMinMatch) {
      writer.Literal(data[pos++]);
      continue;
    }
    writer.Reference(pos, m.distance, m.length);
    pos += m.length;
  }
  return out;
}
