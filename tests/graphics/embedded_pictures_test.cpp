// The pictures generated from art/ at build time, decoded with hearth's own LZSS and LZVN
// decoders and checked against the sizes, colour counts and opacity planes their records
// must carry, and for what makes them look right where hearth draws them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "graphics/embedded_picture.h"
#include "kernel/lzss.h"
#include "kernel/lzvn.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Rgb = std::array<uint8_t, 3>;

struct Expected {
  const char* name;
  uint16_t width;
  uint16_t height;
  uint32_t compression;
  uint32_t colours;
  bool opacity;
};

constexpr Expected kPictures[] = {
    {"TarnLogo", 78, 95, kEmbeddedPictureLzvn, 1, true},
    {"TarnLogo2X", 156, 190, kEmbeddedPictureLzvn, 1, true},
    {"TarnLogoBlack", 84, 103, kEmbeddedPictureLzvn, 17, false},
    {"TarnLogoBlack2X", 168, 206, kEmbeddedPictureLzvn, 17, false},
    {"CircleSlash", 100, 100, kEmbeddedPictureLzss, 32, false},
    {"CircleSlash2X", 200, 200, kEmbeddedPictureLzss, 32, false},
    {"CircleSlashBlack", 80, 80, kEmbeddedPictureLzss, 131, false},
    {"CircleSlashBlack2X", 160, 160, kEmbeddedPictureLzss, 181, false},
    {"NetBoot", 32, 576, kEmbeddedPictureLzvn, 108, false},
    {"NetBoot2X", 64, 1152, kEmbeddedPictureLzvn, 77, false},
    {"NetBootBlack", 32, 576, kEmbeddedPictureLzvn, 256, false},
    {"NetBootBlack2X", 64, 1152, kEmbeddedPictureLzvn, 255, false},
    {"PanicDialog", 460, 285, kEmbeddedPictureLzvn, 70, false},
    {"PanicDialog2X", 920, 570, kEmbeddedPictureLzvn, 67, false},
    {"PanicDialogBlack", 460, 285, kEmbeddedPictureLzvn, 192, false},
    {"PanicDialogBlack2X", 920, 570, kEmbeddedPictureLzvn, 178, false},
};

constexpr Rgb kGrey = {191, 191, 191};  // hearth's default background
constexpr Rgb kBlack = {0, 0, 0};

const EmbeddedPicture* Find(const std::string& name) {
  for (const EmbeddedPicture* p = gEmbeddedPictures; p != nullptr; p = p->next) {
    if (name == p->name) return p;
  }
  return nullptr;
}

// Decodes one plane into a buffer one byte larger than the plane, so that a stream holding
// more than width x height bytes shows as a wrong length instead of being cut short.
Bytes DecodePlane(const EmbeddedPicture& p, const UINT8* data, UINT32 length) {
  const size_t area = size_t(p.width) * p.height;
  Bytes source(data, data + length);
  Bytes out(area + 1);
  size_t produced = p.compression == kEmbeddedPictureLzss
                        ? DecompressLzss(out.data(), out.size(), source.data(), source.size())
                        : DecompressLzvn(out.data(), out.size(), source.data(), source.size());
  out.resize(std::min(produced, out.size()));
  return out;
}

struct Decoded {
  const EmbeddedPicture* record = nullptr;
  Bytes indices;
  Bytes opacity;
  std::vector<Rgb> colours;

  Rgb At(size_t x, size_t y) const { return colours[indices[y * record->width + x]]; }
};

Decoded Decode(const std::string& name) {
  Decoded d;
  d.record = Find(name);
  if (d.record == nullptr) return d;
  d.indices = DecodePlane(*d.record, d.record->pixels, d.record->pixels_length);
  if (d.record->opacity != nullptr) d.opacity = DecodePlane(*d.record, d.record->opacity, d.record->opacity_length);
  for (UINT32 i = 0; i + 3 <= d.record->colors_length; i += 3) {
    d.colours.push_back({d.record->colors[i], d.record->colors[i + 1], d.record->colors[i + 2]});
  }
  return d;
}

double Luminance(const Rgb& c) {
  double sum = 0;
  const double weight[3] = {0.2126, 0.7152, 0.0722};
  for (int i = 0; i < 3; ++i) {
    double v = c[i] / 255.0;
    sum += weight[i] * (v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
  }
  return sum;
}

double Contrast(const Rgb& a, const Rgb& b) {
  double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool IsBlackVariant(const std::string& name) { return name.find("Black") != std::string::npos; }

TEST(EmbeddedPictures, TheListHoldsEveryPictureOnceAndNothingElse) {
  std::map<std::string, int> seen;
  size_t steps = 0;
  for (const EmbeddedPicture* p = gEmbeddedPictures; p != nullptr && steps < 100; p = p->next, ++steps) {
    ++seen[p->name];
  }
  ASSERT_LT(steps, 100u) << "the list does not end";
  EXPECT_EQ(seen.size(), std::size(kPictures));
  for (const Expected& e : kPictures) EXPECT_EQ(seen[e.name], 1) << e.name;
}

TEST(EmbeddedPictures, EveryRecordDecodesToItsSizeColoursAndOpacity) {
  for (const Expected& e : kPictures) {
    SCOPED_TRACE(e.name);
    Decoded d = Decode(e.name);
    ASSERT_NE(d.record, nullptr);
    const EmbeddedPicture& p = *d.record;
    const size_t area = size_t(e.width) * e.height;
    EXPECT_EQ(p.width, e.width);
    EXPECT_EQ(p.height, e.height);
    EXPECT_EQ(p.compression, e.compression);
    EXPECT_EQ(p.colors_length, 3 * e.colours);
    ASSERT_EQ(d.indices.size(), area);
    // Every entry of the table is used, and no two entries are the same colour.
    std::set<uint8_t> used(d.indices.begin(), d.indices.end());
    EXPECT_EQ(used.size(), e.colours);
    EXPECT_LT(*used.rbegin(), e.colours);
    EXPECT_EQ(std::set<Rgb>(d.colours.begin(), d.colours.end()).size(), d.colours.size());
    EXPECT_EQ(p.opacity != nullptr, e.opacity);
    if (e.opacity) {
      ASSERT_EQ(d.opacity.size(), area);
      EXPECT_EQ(std::count(d.opacity.begin(), d.opacity.end(), 0) > 0, true) << "no clear pixel";
      EXPECT_EQ(std::count(d.opacity.begin(), d.opacity.end(), 255) > 0, true) << "no solid pixel";
      EXPECT_GT(std::count_if(d.opacity.begin(), d.opacity.end(), [](uint8_t a) { return a > 0 && a < 255; }), 0)
          << "edges are not smoothed";
    } else {
      EXPECT_EQ(p.opacity_length, 0u);
    }
  }
}

// The failure sign also goes to the kernel as stored: its block holds the compressed
// plane within width x height bytes.
TEST(EmbeddedPictures, CircleSlashStreamsFitTheKernelsBlock) {
  for (const char* name : {"CircleSlash", "CircleSlash2X", "CircleSlashBlack", "CircleSlashBlack2X"}) {
    const EmbeddedPicture* p = Find(name);
    ASSERT_NE(p, nullptr) << name;
    EXPECT_LE(p->pixels_length, uint32_t(p->width) * p->height) << name;
  }
}

// Pictures without an opacity plane are drawn as rectangles: their corners must be the very
// background they are made for, or a box shows around them.
TEST(EmbeddedPictures, OpaquePicturesBlendIntoTheirBackground) {
  for (const Expected& e : kPictures) {
    if (e.opacity) continue;
    SCOPED_TRACE(e.name);
    Decoded d = Decode(e.name);
    ASSERT_EQ(d.indices.size(), size_t(e.width) * e.height);
    const Rgb background = IsBlackVariant(e.name) ? kBlack : kGrey;
    const size_t right = e.width - 1, bottom = e.height - 1;
    EXPECT_EQ(d.At(0, 0), background);
    EXPECT_EQ(d.At(right, 0), background);
    EXPECT_EQ(d.At(0, bottom), background);
    EXPECT_EQ(d.At(right, bottom), background);
  }
}

// A 2X picture is the same drawing at twice the size: averaged over 2x2 blocks it matches
// the 1x picture closely (a swapped or wrongly scaled picture is far off).
TEST(EmbeddedPictures, TwoTimesPicturesMatchTheirOneTimePictures) {
  for (const Expected& e : kPictures) {
    std::string name = e.name;
    if (name.size() < 2 || name.substr(name.size() - 2) == "2X") continue;
    SCOPED_TRACE(name);
    Decoded one = Decode(name), two = Decode(name + "2X");
    ASSERT_NE(two.record, nullptr);
    ASSERT_EQ(two.record->width, 2 * e.width);
    ASSERT_EQ(two.record->height, 2 * e.height);
    double difference = 0;
    for (size_t y = 0; y < e.height; ++y) {
      for (size_t x = 0; x < e.width; ++x) {
        for (int c = 0; c < 3; ++c) {
          // Opacity-plane pictures are compared by opacity, the others by colour.
          auto value = [&](const Decoded& d, size_t px, size_t py) -> double {
            return d.opacity.empty() ? d.At(px, py)[c] : d.opacity[py * d.record->width + px];
          };
          double block = (value(two, 2 * x, 2 * y) + value(two, 2 * x + 1, 2 * y) + value(two, 2 * x, 2 * y + 1) +
                          value(two, 2 * x + 1, 2 * y + 1)) / 4;
          difference += std::abs(value(one, x, y) - block);
        }
      }
    }
    EXPECT_LT(difference / (3.0 * e.width * e.height), 6.0);
  }
}

TEST(EmbeddedPictures, SpinnerFramesAllDiffer) {
  for (const char* name : {"NetBoot", "NetBoot2X", "NetBootBlack", "NetBootBlack2X"}) {
    SCOPED_TRACE(name);
    Decoded d = Decode(name);
    ASSERT_EQ(d.indices.size(), size_t(d.record->width) * d.record->height);
    ASSERT_EQ(d.record->height % 18, 0);
    ASSERT_EQ(d.record->height / 18, d.record->width) << "frames are square";
    const size_t frame = size_t(d.record->width) * d.record->width;
    std::set<std::vector<Rgb>> frames;
    for (size_t f = 0; f < 18; ++f) {
      std::vector<Rgb> pixels;
      for (size_t i = 0; i < frame; ++i) pixels.push_back(d.colours[d.indices[f * frame + i]]);
      frames.insert(pixels);
    }
    EXPECT_EQ(frames.size(), 18u);
  }
}

// The panic notice must be readable: its panel is one colour over most of the picture, and
// a good share of the pixels (the text and the power sign) stand out from it by at least
// 7:1 (the stricter accessibility level for text).
TEST(EmbeddedPictures, PanicDialogTextHasReadableContrast) {
  for (const char* name : {"PanicDialog", "PanicDialog2X", "PanicDialogBlack", "PanicDialogBlack2X"}) {
    SCOPED_TRACE(name);
    Decoded d = Decode(name);
    ASSERT_EQ(d.indices.size(), size_t(d.record->width) * d.record->height);
    std::vector<size_t> count(d.colours.size());
    for (uint8_t i : d.indices) ++count[i];
    const size_t panel_index = std::max_element(count.begin(), count.end()) - count.begin();
    const Rgb panel = d.colours[panel_index];
    EXPECT_GT(count[panel_index], d.indices.size() / 2) << "no dominant panel colour";
    size_t strong = 0;
    double best = 0;
    for (size_t i = 0; i < d.colours.size(); ++i) {
      double ratio = Contrast(d.colours[i], panel);
      best = std::max(best, ratio);
      if (ratio >= 7.0) strong += count[i];
    }
    EXPECT_GE(best, 12.0);
    EXPECT_GT(strong, d.indices.size() * 15 / 1000) << "too little text stands out from the panel";
    // The panel stands apart from the background around it.
    const Rgb background = IsBlackVariant(name) ? kBlack : kGrey;
    EXPECT_GE(Contrast(panel, background), IsBlackVariant(name) ? 1.25 : 3.0);
  }
}

}  // namespace
