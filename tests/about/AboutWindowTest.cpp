#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QWindow>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/AboutWindow.h"
#include "tests/Wayland.h"

// Readable rectangles in failure messages.
static void PrintTo(const QRect& r, std::ostream* out) {
  *out << "(" << r.x() << "," << r.y() << " " << r.width() << "x" << r.height() << ")";
}

namespace {

constexpr int kTimeout = 5000;  // ms; window managers answer asynchronously

// A stand-in for the main window: a plain green window.
class MainWindow : public QWidget {
 public:
  MainWindow() {
    setWindowTitle("Main");
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::green);
    setPalette(palette);
    setAutoFillBackground(true);
  }
};

bool ShowAndWait(QWidget& window) {
  window.show();
  return QTest::qWaitForWindowExposed(&window, kTimeout);
}

int Distance(QPoint a, QPoint b) {
  return std::max(std::abs(a.x() - b.x()), std::abs(a.y() - b.y()));
}

// The centres of the two client areas, once the window manager has placed the window.
bool CentredOver(const QWidget& about, const QWidget& main) {
  return QTest::qWaitFor(
      [&] { return Distance(about.geometry().center(), main.geometry().center()) <= 2; }, kTimeout);
}

QColor Mix(QRgb a, QRgb b, double t) {
  return QColor::fromRgbF(float(qRed(a) / 255.0 * (1 - t) + qRed(b) / 255.0 * t),
                          float(qGreen(a) / 255.0 * (1 - t) + qGreen(b) / 255.0 * t),
                          float(qBlue(a) / 255.0 * (1 - t) + qBlue(b) / 255.0 * t));
}

// The window's fill at client row y.
QColor GradientAt(int y) {
  return Mix(0xFF244477, 0xFF14141E, (y + 0.5) / 265.0);
}

int ColourDistance(const QColor& a, const QColor& b) {
  return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                   std::abs(a.blue() - b.blue())});
}

class AboutWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FMain.setGeometry(160, 120, 900, 640);
    ASSERT_TRUE(ShowAndWait(FMain));
  }

  MainWindow FMain;
};

TEST_F(AboutWindowTest, IsAFixedCaptionOnlyWindowThatStaysOnTopAndStartsHidden) {
  TAboutWindow about(&FMain);
  EXPECT_FALSE(about.isVisible());
  EXPECT_TRUE(about.isWindow());
  EXPECT_EQ(about.parentWidget(), nullptr) << "a window of its own, not a child of the main one";
  EXPECT_EQ(about.windowTitle(), "About");
  EXPECT_EQ(about.minimumSize(), QSize(515, 265));
  EXPECT_EQ(about.maximumSize(), QSize(515, 265));
  const Qt::WindowFlags flags = about.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint)) << "only the hints given count";
  for (Qt::WindowType button : {Qt::WindowCloseButtonHint, Qt::WindowMinimizeButtonHint,
                                Qt::WindowMaximizeButtonHint, Qt::WindowSystemMenuHint}) {
    EXPECT_FALSE(flags.testFlag(button)) << "caption button hint " << button;
  }
}

TEST_F(AboutWindowTest, ShowsCentredOverTheMainWindowEachTime) {
  TAboutWindow about(&FMain);
  ASSERT_TRUE(ShowAndWait(about));
  EXPECT_EQ(about.size(), QSize(515, 265));
  EXPECT_TRUE(CentredOver(about, FMain)) << "about " << ::testing::PrintToString(about.geometry())
                                         << " main " << ::testing::PrintToString(FMain.geometry());

  // "OK", the main window moves, "About" again: centred over where it is now.
  about.OkButton->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !about.isVisible(); }, kTimeout));
  FMain.move(400, 300);
  ASSERT_TRUE(QTest::qWaitFor([&] { return FMain.geometry().topLeft().x() >= 400; }, kTimeout));
  ASSERT_TRUE(ShowAndWait(about));
  EXPECT_TRUE(CentredOver(about, FMain)) << "about " << ::testing::PrintToString(about.geometry())
                                         << " main " << ::testing::PrintToString(FMain.geometry());
}

TEST_F(AboutWindowTest, OkHidesItAndActivatesTheMainWindowAndItCanBeShownAgain) {
  // Another window focused in between: left to itself, the window manager would hand
  // the focus back to that one rather than to the main window.
  QWidget other;
  other.setWindowTitle("Other");
  other.setGeometry(1200, 100, 300, 200);
  ASSERT_TRUE(ShowAndWait(other));
  TAboutWindow about(&FMain);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "first time" : "after OK");
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other, kTimeout));
    ASSERT_TRUE(ShowAndWait(about));
    about.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&about, kTimeout));

    QTest::mouseClick(about.OkButton, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_TRUE(QTest::qWaitForWindowActive(&FMain, kTimeout)) << "the main window is active again";
  }
}

TEST_F(AboutWindowTest, ACloseRequestOnlyHidesIt) {
  QPointer<TAboutWindow> about = new TAboutWindow(&FMain);
  // Even as the only window on screen, closing it must not count as the program's last
  // window going away.
  FMain.hide();
  QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
  ASSERT_TRUE(ShowAndWait(*about));
  // As the window system's close command arrives.
  about->windowHandle()->close();
  QCoreApplication::processEvents();
  ASSERT_FALSE(about.isNull()) << "still there";
  EXPECT_FALSE(about->isVisible());
  EXPECT_EQ(lastWindowClosed.count(), 0);

  ASSERT_TRUE(ShowAndWait(FMain));
  ASSERT_TRUE(ShowAndWait(*about));
  EXPECT_TRUE(CentredOver(*about, FMain));
  delete about;
}

TEST_F(AboutWindowTest, TheAddressLabelOpensThePageAndLeavesTheWindowOpen) {
  std::vector<QUrl> opened;
  const auto savedOpener = TAboutWindow::OpenUrl;
  TAboutWindow::OpenUrl = [&](const QUrl& url) { opened.push_back(url); };
  TAboutWindow about(&FMain);
  ASSERT_TRUE(ShowAndWait(about));

  QTest::mouseClick(about.AddressLabel, Qt::LeftButton);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], QUrl("https://www.talvoren.example/"));
  EXPECT_EQ(opened[0], QUrl(TAboutWindow::WebAddress));
  EXPECT_TRUE(about.isVisible());

  // Pressing on the address and letting go elsewhere is no click; the other texts take none.
  QTest::mousePress(about.AddressLabel, Qt::LeftButton);
  QTest::mouseRelease(about.AddressLabel, Qt::LeftButton, {}, QPoint(-20, -20));
  QTest::mouseClick(about.MakerLabel, Qt::LeftButton);
  QTest::mouseClick(about.TitleLabel, Qt::LeftButton);
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_EQ(about.AddressLabel->cursor().shape(), Qt::PointingHandCursor);
  TAboutWindow::OpenUrl = savedOpener;
}

TEST_F(AboutWindowTest, TextsSitWhereTheyBelongInTheirSizesAndColours) {
  TAboutWindow about(&FMain);
  struct TextCase {
    const char* Name;
    QWidget* Control;
    QString Text;
    QRect Bounds;
    int PixelSize;
    QRgb Colour;
    QPalette::ColorRole Role;
  };
  const TextCase cases[] = {
      {"TitleLabel",
       about.TitleLabel,
       "Moons of Orvanth",
       {264, 32, 249, 41},
       26,
       0xFFADC5E7,
       QPalette::WindowText},
      {"MakerLabel",
       about.MakerLabel,
       "Talvoren Com Ltd.",
       {264, 80, 177, 25},
       16,
       0xFFB8B7B7,
       QPalette::WindowText},
      {"AddressLabel",
       about.AddressLabel,
       "www.talvoren.example",
       {264, 142, 233, 25},
       16,
       0xFF6D90D0,
       QPalette::WindowText},
      {"OkButton", about.OkButton, "OK", {217, 194, 80, 33}, 16, 0xFFB8B7B7, QPalette::ButtonText},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_EQ(c.Control->parentWidget(), &about);
    const QString text = c.Control == about.OkButton ? about.OkButton->text()
                                                     : static_cast<QLabel*>(c.Control)->text();
    EXPECT_EQ(text.toStdString(), c.Text.toStdString());
    EXPECT_EQ(c.Control->geometry(), c.Bounds);
    EXPECT_EQ(c.Control->font().pixelSize(), c.PixelSize);
    EXPECT_EQ(c.Control->font().family(), QApplication::font().family()) << "the platform's face";
    EXPECT_EQ(c.Control->palette().color(QPalette::Active, c.Role).rgba(), c.Colour);
    EXPECT_EQ(c.Control->palette().color(QPalette::Inactive, c.Role).rgba(), c.Colour);
  }
  EXPECT_EQ(about.Picture->geometry(), QRect(32, 32, 205, 135));

  auto* shadow = qobject_cast<QGraphicsDropShadowEffect*>(about.TitleLabel->graphicsEffect());
  ASSERT_NE(shadow, nullptr);
  EXPECT_EQ(shadow->color(), QColor(0, 255, 255, 128));
  EXPECT_NEAR(shadow->offset().x(), std::sqrt(2.0), 1e-6) << "distance 2 at 45 degrees";
  EXPECT_NEAR(shadow->offset().y(), std::sqrt(2.0), 1e-6);
}

TEST_F(AboutWindowTest, GradientFillAndThePictureFittedIntoItsBox) {
  TAboutWindow about(&FMain);
  const QImage picture = about.Picture->Picture();
  ASSERT_FALSE(picture.isNull()) << "the About picture decodes";

  // Fitted: as large as the box allows, proportions kept, centred.
  const QRectF fitted = about.Picture->PictureRect();
  const double scale = std::min(205.0 / picture.width(), 135.0 / picture.height());
  EXPECT_NEAR(fitted.width(), picture.width() * scale, 1e-6);
  EXPECT_NEAR(fitted.height(), picture.height() * scale, 1e-6);
  EXPECT_NEAR(fitted.center().x(), 102.5, 1e-6);
  EXPECT_NEAR(fitted.center().y(), 67.5, 1e-6);

  const QImage shot = about.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shot.size() / shot.devicePixelRatio(), QSize(515, 265));
  // Away from every control: top, middle and bottom rows of the gradient.
  for (int y : {1, 132, 263}) {
    EXPECT_LE(ColourDistance(shot.pixelColor(5, y), GradientAt(y)), 2) << "row " << y;
  }
  // Inside the picture's box but beside the fitted picture, the gradient shows.
  if (fitted.left() >= 4) {
    const int y = 32 + 67;
    EXPECT_LE(ColourDistance(shot.pixelColor(33, y), GradientAt(y)), 2);
  }
  // The picture itself is drawn.
  int differing = 0;
  const QRect inside = fitted.translated(32, 32).toAlignedRect().adjusted(2, 2, -2, -2);
  for (int y = inside.top(); y <= inside.bottom(); y += 3) {
    for (int x = inside.left(); x <= inside.right(); x += 3) {
      if (ColourDistance(shot.pixelColor(x, y), GradientAt(y)) > 12) ++differing;
    }
  }
  EXPECT_GT(differing, 50);
}

TEST_F(AboutWindowTest, StaysAboveAFullScreenMainWindow) {
  SKIP_ON_WAYLAND("reads what the X server's screen shows");
  FMain.showFullScreen();
  QScreen* screen = FMain.screen();
  ASSERT_TRUE(QTest::qWaitFor([&] { return FMain.geometry() == screen->geometry(); }, kTimeout));
  TAboutWindow about(&FMain);
  ASSERT_TRUE(ShowAndWait(about));
  ASSERT_TRUE(CentredOver(about, FMain));
  // The user goes back to the full-screen view with the About window still open.
  FMain.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&FMain, kTimeout));
  // What the screen shows in the middle of the About window is the About window.
  const QPoint probe = about.mapToGlobal(QPoint(5, 132));
  const auto aboutOnScreen = [&] {
    const QImage pixel = screen->grabWindow(0, probe.x(), probe.y(), 1, 1).toImage();
    return ColourDistance(pixel.pixelColor(0, 0), GradientAt(132)) <= 3;
  };
  EXPECT_TRUE(QTest::qWaitFor(aboutOnScreen, kTimeout));
  // Settled: still on top a moment later.
  QTest::qWait(200);
  EXPECT_TRUE(aboutOnScreen());
  FMain.showNormal();
}

}  // namespace
