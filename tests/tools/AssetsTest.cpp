// The images built into the program: every one is a valid PNG of the right size and kind, and
// the maps, full-size and small, join up at the seam.

#include "assets/Assets.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "tests/tools/DecodedImage.h"
#include "tools/texgen/Texgen.h"

namespace orvanth::assets {
namespace {

struct Expected {
  const char* name;
  Image image;
  int width;
  int height;
  bool opaque;  // maps: every pixel; pictures: a transparent background
};

constexpr Expected kImages[] = {
    {"planet", Image::Planet, 4096, 2048, true},    {"io", Image::Io, 2048, 1024, true},
    {"europa", Image::Europa, 2048, 1024, true},    {"ganymede", Image::Ganymede, 1800, 900, true},
    {"callisto", Image::Callisto, 1800, 900, true}, {"stars", Image::Stars, 6000, 3000, true},
    {"about", Image::About, 381, 383, false},       {"icon", Image::Icon, 256, 256, false},
};

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

TEST(Assets, EveryImageStartsWithAPngHeaderOfItsSize) {
  constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const Expected& e : kImages) {
    const std::span<const std::uint8_t> png = Png(e.image);
    ASSERT_GT(png.size(), 33u) << e.name;
    EXPECT_EQ(std::memcmp(png.data(), kSignature.data(), kSignature.size()), 0) << e.name;
    // The first chunk is IHDR: length 13, then width, height, depth 8, colour type 2 (RGB) for
    // the opaque maps and 6 (RGBA) for the rest, compression, filter, interlace 0.
    EXPECT_EQ(BigEndian32(png.data() + 8), 13u) << e.name;
    EXPECT_EQ(std::memcmp(png.data() + 12, "IHDR", 4), 0) << e.name;
    EXPECT_EQ(BigEndian32(png.data() + 16), static_cast<std::uint32_t>(e.width)) << e.name;
    EXPECT_EQ(BigEndian32(png.data() + 20), static_cast<std::uint32_t>(e.height)) << e.name;
    EXPECT_EQ(png[24], 8) << e.name;
    EXPECT_EQ(png[25], e.opaque ? 2 : 6) << e.name;
    EXPECT_EQ(png[28], 0) << e.name;
    // The embedded file ends exactly with the IEND chunk, nothing cut and nothing added.
    ASSERT_GE(png.size(), 12u);
    EXPECT_EQ(std::memcmp(png.data() + png.size() - 8, "IEND", 4), 0) << e.name;
  }
}

TEST(Assets, EveryImageDecodesAndMapsAreOpaque) {
  for (const Expected& e : kImages) {
    tests::DecodedImage image;
    ASSERT_NO_THROW(image = tests::DecodePng(Png(e.image))) << e.name;
    ASSERT_EQ(image.width, e.width) << e.name;
    ASSERT_EQ(image.height, e.height) << e.name;
    int transparent = 0;
    for (std::size_t i = 3; i < image.rgba.size(); i += 4) transparent += image.rgba[i] != 255;
    if (e.opaque) {
      EXPECT_EQ(transparent, 0) << e.name;
      EXPECT_LT(tests::SeamScore(image, e.image == Image::Stars ? 4 : 1), 0.25)
          << e.name << " shows a seam at u = 0";
    } else {
      EXPECT_GT(transparent, e.width * e.height / 10) << e.name;
      EXPECT_EQ(image.At(0, 0)[3], 0) << e.name;
    }
  }
}

TEST(Assets, EachMapHasASmallVersionShrunkFromItAndThePicturesHaveNone) {
  for (const Expected& e : kImages) {
    SCOPED_TRACE(e.name);
    const std::span<const std::uint8_t> small = SmallPng(e.image);
    if (!e.opaque) {
      EXPECT_TRUE(small.empty());
      continue;
    }
    tests::DecodedImage decoded;
    ASSERT_NO_THROW(decoded = tests::DecodePng(small));
    const tests::DecodedImage full = tests::DecodePng(Png(e.image));
    texgen::Image fullImage(full.width, full.height);
    fullImage.rgba = full.rgba;
    const texgen::Image expected = texgen::ShrinkMap(fullImage, texgen::kSmallFactor);
    EXPECT_EQ(decoded.width, (e.width + 4) / 8);
    EXPECT_EQ(decoded.height, (e.height + 4) / 8);
    EXPECT_TRUE(decoded.rgba == expected.rgba) << "not the full map, shrunk";
  }
}

// The viewer shows a small version clamped to its edges: where u = 0 meets u = 1 its first
// and last columns meet unblended, so they must be the same or the first frames show a
// line down the body.
TEST(Assets, EachSmallVersionJoinsUpAtTheSeam) {
  for (const Expected& e : kImages) {
    if (!e.opaque) continue;
    SCOPED_TRACE(e.name);
    const tests::DecodedImage small = tests::DecodePng(SmallPng(e.image));
    int differing = 0;
    for (int y = 0; y < small.height; ++y) {
      const std::uint8_t* left = small.At(0, y);
      const std::uint8_t* right = small.At(small.width - 1, y);
      differing += std::memcmp(left, right, 4) != 0;
    }
    EXPECT_EQ(differing, 0) << "rows whose first and last pixels differ";
    EXPECT_LT(tests::SeamScore(small, e.image == Image::Stars ? 4 : 1), 0.25);
  }
}

TEST(Assets, AValueOutsideTheEnumerationHasNoImage) {
  EXPECT_TRUE(Png(static_cast<Image>(99)).empty());
  EXPECT_TRUE(SmallPng(static_cast<Image>(99)).empty());
}

}  // namespace
}  // namespace orvanth::assets
