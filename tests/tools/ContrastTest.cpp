// The measure of a label's contrast: WCAG 2 luminance and ratio, the ring around the
// glyphs, and the glyphs found between two screenshots.

#include <gtest/gtest.h>

#include <QImage>

#include "tools/contrast/Contrast.h"

namespace {

TEST(Contrast, LuminanceAndRatioFollowWcag) {
  struct TCase {
    QRgb Colour;
    double Luminance;
  };
  const TCase cases[] =
      {
          {0xFF000000, 0},        {0xFFFFFFFF, 1},      {0xFFFF0000, 0.2126},
          {0xFF00FF00, 0.7152},   {0xFF0000FF, 0.0722}, {0xFFBABABA, 0.491021},
          {0xFF0A0A0A, 0.003035},  // below the knee of the curve: linear
      };
  for (const TCase& c : cases) {
    EXPECT_NEAR(contrast::RelativeLuminance(c.Colour), c.Luminance, 1e-5) << std::hex << c.Colour;
  }
  EXPECT_DOUBLE_EQ(contrast::ContrastRatio(1, 0), 21);
  EXPECT_DOUBLE_EQ(contrast::ContrastRatio(0, 1), 21) << "either order";
  EXPECT_DOUBLE_EQ(contrast::ContrastRatio(0.3, 0.3), 1);
}

// A 2-pixel-wide vertical bar of ink on a background, with a stripe of another colour
// at a given distance from the bar.
QImage Bar(QRgb ink, QRgb background, int stripeAt, QRgb stripe) {
  QImage picture(20, 10, QImage::Format_RGB32);
  picture.fill(background);
  for (int y = 0; y < 10; ++y) {
    picture.setPixel(9, y, ink);
    picture.setPixel(10, y, ink);
    if (stripeAt > 0) picture.setPixel(10 + stripeAt, y, stripe);
  }
  return picture;
}

TEST(Contrast, TheRingIsOneToThreePixelsFromTheGlyphs) {
  struct TCase {
    const char* Name;
    int StripeAt;  // pixels right of the bar; 0: none
    int RingPixels;
    double RingLuminance;
  };
  // The ring is columns 6-8 and 11-13: 6 columns of 10 rows.
  const TCase cases[] = {
      {"black all round", 0, 60, 0},
      {"white 1 px away", 1, 60, 1.0 / 6},
      {"white 3 px away", 3, 60, 1.0 / 6},
      {"white 4 px away is outside", 4, 60, 0},
  };
  for (const TCase& c : cases) {
    const QImage picture = Bar(0xFFFFFFFF, 0xFF000000, c.StripeAt, 0xFFFFFFFF);
    contrast::TMask glyphs{20, 10, std::vector<bool>(200, false)};
    for (int y = 0; y < 10; ++y)
      glyphs.Set[size_t(y * 20 + 9)] = glyphs.Set[size_t(y * 20 + 10)] = true;
    const contrast::TRingContrast measured = contrast::RingContrast(picture, glyphs);
    EXPECT_EQ(measured.GlyphPixels, 20) << c.Name;
    EXPECT_EQ(measured.RingPixels, c.RingPixels) << c.Name;
    EXPECT_NEAR(measured.RingLuminance, c.RingLuminance, 1e-9) << c.Name;
    EXPECT_NEAR(measured.Ratio, 1.05 / (c.RingLuminance + 0.05), 1e-9) << c.Name;
  }
}

TEST(Contrast, GlyphsAreTheInkThatTheLabelAdded) {
  const QImage without = Bar(0xFF202020, 0xFF202020, 5, 0xFFBABABA);  // ink-coloured stripe
  const QImage with = Bar(0xFFBABABA, 0xFF202020, 5, 0xFFBABABA);
  const contrast::TMask glyphs = contrast::GlyphsBetween(with, without, 0xFFBABABA);
  EXPECT_EQ(glyphs.Count(), 20) << "the bar, not the stripe that was there already";
  EXPECT_TRUE(glyphs.At(9, 0));
  EXPECT_FALSE(glyphs.At(15, 0));
  EXPECT_EQ(contrast::GlyphsBetween(with, without.copy(0, 0, 5, 5), 0xFFBABABA).Count(), 0)
      << "pictures of different sizes have nothing in common";
}

}  // namespace
