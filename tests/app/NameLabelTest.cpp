// The body's name over the view reads over any picture: its glyphs stand out from the ring
// of pixels 1 to 3 px around them by a WCAG contrast ratio of at least 3, on screen and in
// the screenshot, over the sky and over the planet; its font, colour and place stay those
// of a plain label.

#include <QCoreApplication>
#include <QLabel>
#include <algorithm>
#include <cstdlib>

#include "tests/app/MainWindowFixture.h"
#include "tools/contrast/Contrast.h"

namespace apptest {

namespace {

constexpr QRgb kInk = 0xFFBABABA;
// How far from its glyphs the label may paint anything.
constexpr int kHaloPixels = 6;

// The coverage of the label's glyphs as a plain label of the same font, alignment, size
// and text draws them, in device pixels.
QImage PlainGlyphs(const QLabel& label, qreal ratio) {
  QLabel plain;
  plain.setFont(label.font());
  plain.setAlignment(label.alignment());
  plain.setText(label.text());
  plain.resize(label.size());
  plain.setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  QImage glyphs((QSizeF(label.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
  glyphs.setDevicePixelRatio(ratio);
  glyphs.fill(Qt::transparent);
  plain.render(&glyphs, QPoint(), QRegion(), QWidget::RenderFlags());
  return glyphs;
}

// Pixels where the plain label covers at least `coverage` of 255.
contrast::TMask Covered(const QImage& glyphs, int coverage) {
  contrast::TMask mask{glyphs.width(), glyphs.height(), {}};
  for (int y = 0; y < glyphs.height(); ++y)
    for (int x = 0; x < glyphs.width(); ++x)
      mask.Set.push_back(qAlpha(glyphs.pixel(x, y)) >= coverage);
  return mask;
}

// Whether (x, y) lies farther than `reach` from every inked pixel.
bool FarFrom(const contrast::TMask& inked, int x, int y, int reach) {
  for (int dy = -reach; dy <= reach; ++dy)
    for (int dx = -reach; dx <= reach; ++dx) {
      const int gx = x + dx, gy = y + dy;
      if (gx >= 0 && gy >= 0 && gx < inked.Width && gy < inked.Height && inked.At(gx, gy))
        return false;
    }
  return true;
}

}  // namespace

class NameLabel : public MainWindow {
 protected:
  // The view's strip under the label, on screen (the window as it paints) or in the
  // screenshot.
  QImage Strip(bool screenshot) {
    const QImage whole = screenshot
                             ? viewer().View()->MakeScreenshot()
                             : viewer().grab(viewer().Overlays().NameLabel->geometry()).toImage();
    const qreal ratio = viewer().devicePixelRatioF();
    return whole.copy(
        QRect(QPoint(), (QSizeF(viewer().Overlays().NameLabel->size()) * ratio).toSize()));
  }
};

TEST_F(NameLabel, ReadsOverTheSkyAndOverThePlanetWithItsFontColourAndPlaceKept) {
  struct TCase {
    const char* Name;
    orvanth::TBodyId Body;
    bool Fly;  // with the body's button; else only named, the camera as it starts
    bool Screenshot;
  };
  // As the viewer starts, the strip lies over the sky; after "Io" the planet behind Io
  // fills it.
  const TCase cases[] = {
      {"over the sky, on screen", orvanth::TBodyId::Orvanth, false, false},
      {"over the sky, in the screenshot", orvanth::TBodyId::Orvanth, false, true},
      {"over the planet, on screen", orvanth::TBodyId::Io, true, false},
      {"over the planet, in the screenshot", orvanth::TBodyId::Io, true, true},
  };
  const qreal ratio = viewer().devicePixelRatioF();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Fly ? viewer().SelectBody(c.Body) : viewer().ShowBody(c.Body);
    QCoreApplication::processEvents();
    const QImage glyphs = PlainGlyphs(*viewer().Overlays().NameLabel, ratio);
    const QImage shown = Strip(c.Screenshot);
    viewer().Overlays().NameLabel->hide();
    const QImage hidden = Strip(c.Screenshot);
    viewer().Overlays().NameLabel->show();
    ASSERT_EQ(shown.size(), glyphs.size());

    const contrast::TRingContrast measured = contrast::RingContrast(shown, Covered(glyphs, 128));
    ASSERT_GT(measured.GlyphPixels, 50) << "the name is there";
    EXPECT_GE(measured.Ratio, 3) << "glyph luminance " << measured.GlyphLuminance
                                 << ", ring luminance " << measured.RingLuminance;

    const contrast::TMask cores = Covered(glyphs, 255), inked = Covered(glyphs, 1);
    int offColour = 0, changedElsewhere = 0;
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        const QRgb p = shown.pixel(x, y);
        if (cores.At(x, y) &&
            std::max({std::abs(qRed(p) - qRed(kInk)), std::abs(qGreen(p) - qGreen(kInk)),
                      std::abs(qBlue(p) - qBlue(kInk))}) > 3)
          ++offColour;
        if (FarFrom(inked, x, y, kHaloPixels) && p != hidden.pixel(x, y)) ++changedElsewhere;
      }
    }
    EXPECT_EQ(offColour, 0) << "where a plain label draws solid glyphs, they are #BABABA";
    EXPECT_EQ(changedElsewhere, 0) << "away from the glyphs the picture is untouched";
  }
}

TEST_F(NameLabel, ReadsOverAnyColour) {
  // From black through the label's own grey to white: the halo carries the contrast.
  const QRgb backgrounds[] = {0xFF000000, 0xFF05050A, 0xFF6E4A30, 0xFFBABABA,
                              0xFFE8D2B0, 0xFFF6EBD8, 0xFFFFFFFF};
  viewer().SelectBody(orvanth::TBodyId::Ganymede);
  const qreal ratio = viewer().devicePixelRatioF();
  const contrast::TMask glyphs = Covered(PlainGlyphs(*viewer().Overlays().NameLabel, ratio), 128);
  for (QRgb background : backgrounds) {
    QImage picture((QSizeF(viewer().Overlays().NameLabel->size()) * ratio).toSize(),
                   QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(ratio);
    picture.fill(background);
    viewer().Overlays().NameLabel->render(&picture, QPoint(), QRegion(), QWidget::RenderFlags());
    EXPECT_GE(contrast::RingContrast(picture, glyphs).Ratio, 3)
        << "over #" << std::hex << (background & 0xFFFFFF);
  }
}

}  // namespace apptest
