// label-contrast WITH.png WITHOUT.png INK [X Y W H]
//
// The contrast between a label's glyphs and the ring 1 to 3 pixels around them, in two
// screenshots that differ only by the label (drawn in INK, written #RRGGBB), within the
// rectangle given (default: the whole picture).

#include <QColor>
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "tools/contrast/Contrast.h"

int main(int argc, char** argv) {
  if (argc != 4 && argc != 8) {
    std::fprintf(stderr, "usage: %s WITH.png WITHOUT.png #RRGGBB [X Y W H]\n", argv[0]);
    return 2;
  }
  QImage with(QString::fromLocal8Bit(argv[1])), without(QString::fromLocal8Bit(argv[2]));
  const QColor ink(QString::fromLatin1(argv[3]));
  if (with.isNull() || without.isNull() || with.size() != without.size() || !ink.isValid()) {
    std::fprintf(stderr, "%s: two readable pictures of one size and a colour are needed\n",
                 argv[0]);
    return 2;
  }
  if (argc == 8) {
    const QRect area(std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]),
                     std::atoi(argv[7]));
    with = with.copy(area);
    without = without.copy(area);
  }
  const contrast::TMask glyphs = contrast::GlyphsBetween(with, without, ink.rgb());
  const contrast::TRingContrast c = contrast::RingContrast(with, glyphs);
  if (c.GlyphPixels == 0) {
    std::fprintf(stderr, "%s: no glyph pixels found\n", argv[0]);
    return 1;
  }
  std::printf(
      "glyph pixels %d, luminance %.4f; ring (1-3 px) pixels %d, luminance %.4f; "
      "contrast %.2f:1\n",
      c.GlyphPixels, c.GlyphLuminance, c.RingPixels, c.RingLuminance, c.Ratio);
  return 0;
}
