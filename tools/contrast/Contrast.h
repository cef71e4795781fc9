#pragma once
// The contrast between a label's glyphs and the picture right around them, by WCAG 2's
// relative luminance and contrast ratio.

#include <QImage>
#include <QRect>
#include <vector>

namespace contrast {

// Relative luminance of an sRGB colour (alpha ignored): 0 for black, 1 for white.
double RelativeLuminance(QRgb colour);
// (lighter + 0.05) / (darker + 0.05): 1 to 21.
double ContrastRatio(double luminanceA, double luminanceB);

// Which pixels of a picture are glyphs, row by row.
struct TMask {
  int Width = 0, Height = 0;
  std::vector<bool> Set;
  bool At(int x, int y) const { return Set[size_t(y) * size_t(Width) + size_t(x)]; }
  int Count() const;
};

struct TRingContrast {
  int GlyphPixels = 0;
  int RingPixels = 0;
  double GlyphLuminance = 0;  // mean over the glyph pixels
  double RingLuminance = 0;   // mean over the ring
  double Ratio = 1;
};

// The glyph pixels against the ring of pixels `inner` to `outer` pixels from the nearest
// glyph pixel (straight-line distance), glyph pixels left out.
TRingContrast RingContrast(const QImage& picture, const TMask& glyphs, double inner = 1,
                           double outer = 3);

// The glyph pixels of a label drawn in `ink`, found by comparing the picture with the label
// and the same picture without it: pixels within `tolerance` of the ink (on every channel)
// that the label changed. Pixels whose glyph coverage is partial fall outside.
TMask GlyphsBetween(const QImage& withLabel, const QImage& withoutLabel, QRgb ink,
                    int tolerance = 40);

}  // namespace contrast
