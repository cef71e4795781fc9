#include "tools/contrast/Contrast.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace contrast {

namespace {

double Linear(int channel) {
  const double c = channel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

int ChannelDistance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                   std::abs(qBlue(a) - qBlue(b))});
}

}  // namespace

double RelativeLuminance(QRgb colour) {
  return 0.2126 * Linear(qRed(colour)) + 0.7152 * Linear(qGreen(colour)) +
         0.0722 * Linear(qBlue(colour));
}

double ContrastRatio(double luminanceA, double luminanceB) {
  const auto [darker, lighter] = std::minmax(luminanceA, luminanceB);
  return (lighter + 0.05) / (darker + 0.05);
}

int TMask::Count() const {
  return int(std::count(Set.begin(), Set.end(), true));
}

TRingContrast RingContrast(const QImage& picture, const TMask& glyphs, double inner, double outer) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
  TRingContrast result;
  double glyphSum = 0, ringSum = 0;
  const int reach = int(std::ceil(outer));
  for (int y = 0; y < glyphs.Height; ++y) {
    for (int x = 0; x < glyphs.Width; ++x) {
      const double luminance = RelativeLuminance(rgb.pixel(x, y));
      if (glyphs.At(x, y)) {
        glyphSum += luminance;
        ++result.GlyphPixels;
        continue;
      }
      double nearest = outer + 1;
      for (int dy = -reach; dy <= reach; ++dy) {
        for (int dx = -reach; dx <= reach; ++dx) {
          const int gx = x + dx, gy = y + dy;
          if (gx < 0 || gy < 0 || gx >= glyphs.Width || gy >= glyphs.Height) continue;
          if (glyphs.At(gx, gy)) nearest = std::min(nearest, std::hypot(dx, dy));
        }
      }
      if (nearest >= inner && nearest <= outer) {
        ringSum += luminance;
        ++result.RingPixels;
      }
    }
  }
  if (result.GlyphPixels == 0 || result.RingPixels == 0) return result;
  result.GlyphLuminance = glyphSum / result.GlyphPixels;
  result.RingLuminance = ringSum / result.RingPixels;
  result.Ratio = ContrastRatio(result.GlyphLuminance, result.RingLuminance);
  return result;
}

TMask GlyphsBetween(const QImage& withLabel, const QImage& withoutLabel, QRgb ink, int tolerance) {
  const QImage a = withLabel.convertToFormat(QImage::Format_RGB32);
  const QImage b = withoutLabel.convertToFormat(QImage::Format_RGB32);
  TMask mask;
  if (a.size() != b.size()) return mask;
  mask.Width = a.width();
  mask.Height = a.height();
  mask.Set.assign(size_t(mask.Width) * size_t(mask.Height), false);
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb shown = a.pixel(x, y);
      mask.Set[size_t(y) * size_t(mask.Width) + size_t(x)] =
          ChannelDistance(shown, ink) <= tolerance && ChannelDistance(shown, b.pixel(x, y)) > 8;
    }
  }
  return mask;
}

}  // namespace contrast
