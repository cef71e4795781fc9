// The context menu's switches and commands, chosen with the pointer as a user does, and
// the window's own layout when it leaves full screen and is resized.

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <functional>

#include "tests/Wayland.h"
#include "tests/app/MainWindowFixture.h"

namespace apptest {

class Menu : public MainWindow {
 protected:
  static constexpr QSize kWindowSize{1332, 829};

  std::array<rt3d::TSphere*, 5> Spinning() {
    TMainWindow& f = viewer();
    return {f.Scene().Bodies[orvanth::TBodyId::Orvanth], f.Scene().Bodies[orvanth::TBodyId::Io],
            f.Scene().Bodies[orvanth::TBodyId::Europa],
            f.Scene().Bodies[orvanth::TBodyId::Ganymede],
            f.Scene().Bodies[orvanth::TBodyId::Callisto]};
  }
  std::array<float, 5> Angles() {
    std::array<float, 5> angles{};
    for (size_t i = 0; i < angles.size(); ++i) angles[i] = Spinning()[i]->RotationAngle().Y();
    return angles;
  }
  // Where a sphere started at `start` stands `seconds` into a run of `duration` seconds
  // down to -360, read back in [0, 360).
  static double AngleAfter(double start, double duration, double seconds) {
    const double angle = start - (start + 360) * seconds / duration;
    return angle < 0 ? angle + 360 : angle;
  }
  bool IsNormalWindow() { return !viewer().isFullScreen() && viewer().size() == kWindowSize; }
};

TEST_F(Menu, ShowInfoShowsThenHidesBothTexts) {
  ChooseMenuItem(viewer().Actions().ShowInfo);
  EXPECT_TRUE(viewer().Actions().ShowInfo->isChecked());
  EXPECT_TRUE(viewer().Overlays().FactSheetCaptions->isVisible());
  EXPECT_TRUE(viewer().Overlays().FactSheetValues->isVisible());
  ChooseMenuItem(viewer().Actions().ShowInfo);
  EXPECT_FALSE(viewer().Actions().ShowInfo->isChecked());
  EXPECT_FALSE(viewer().Overlays().FactSheetCaptions->isVisible());
  EXPECT_FALSE(viewer().Overlays().FactSheetValues->isVisible());
}

TEST_F(Menu, ShowNamesHidesTheLabelAndShowsTheLatestBodyAgain) {
  ChooseMenuItem(viewer().Actions().ShowNames);
  EXPECT_FALSE(viewer().Actions().ShowNames->isChecked());
  EXPECT_FALSE(viewer().Overlays().NameLabel->isVisible());
  ClickButton(viewer().BodyButton(orvanth::TBodyId::Europa));
  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Europa")) << "changed while hidden";
  ChooseMenuItem(viewer().Actions().ShowNames);
  EXPECT_TRUE(viewer().Overlays().NameLabel->isVisible());
  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Europa"));
}

TEST_F(Menu, AutoRotateFreezesAllFiveAndResumesFromTheSameAngles) {
  // The planet turns 6 degrees a second: bring it to 160.
  const double toGo =
      std::fmod(viewer().Scene().Bodies[orvanth::TBodyId::Orvanth]->RotationAngle().Y() - 160 + 360,
                360) /
      6;
  Advance(toGo);
  ASSERT_NEAR(viewer().Scene().Bodies[orvanth::TBodyId::Orvanth]->RotationAngle().Y(), 160, 0.05);

  ChooseMenuItem(viewer().Actions().AutoRotate);
  EXPECT_FALSE(viewer().Actions().AutoRotate->isChecked());
  const std::array<float, 5> frozen = Angles();
  Advance(20);
  EXPECT_EQ(Angles(), frozen) << "nothing turns while switched off";

  ChooseMenuItem(viewer().Actions().AutoRotate);
  EXPECT_TRUE(viewer().Actions().AutoRotate->isChecked());
  const double durations[] = {60, 240, 480, 960, 2242};
  Advance(30);
  for (size_t i = 0; i < frozen.size(); ++i) {
    EXPECT_NEAR(Spinning()[i]->RotationAngle().Y(), AngleAfter(frozen[i], durations[i], 30), 0.01)
        << Spinning()[i]->Name() << " goes on from where it stopped, over its whole duration";
  }
  // From 160 the planet turns 520 degrees in the next minute: 260 after half of it; at
  // the end of the run it jumps back to 160 and turns on from there.
  EXPECT_NEAR(viewer().Scene().Bodies[orvanth::TBodyId::Orvanth]->RotationAngle().Y(), 260, 0.05);
  Advance(45);
  EXPECT_NEAR(viewer().Scene().Bodies[orvanth::TBodyId::Orvanth]->RotationAngle().Y(),
              160 - 520 * 15 / 60.0, 0.05);
}

TEST_F(Menu, AboutShowsTheAboutWindowAndKeepsTheViewerUsable) {
  ChooseMenuItem(viewer().Actions().About);
  EXPECT_TRUE(WaitFor([] { return TheAboutWindow->isVisible(); }));
  ChooseMenuItem(viewer().Actions().About);
  EXPECT_TRUE(TheAboutWindow->isVisible()) << "choosing it again leaves it shown";
  ClickButton(viewer().BodyButton(orvanth::TBodyId::Io));
  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Io"));
  EXPECT_TRUE(TheAboutWindow->isVisible());
}

namespace {

// Notes when any of the watched windows is reported minimised.
class TMinimiseWatch : public QObject {
 public:
  explicit TMinimiseWatch(std::initializer_list<QWidget*> windows) {
    for (QWidget* window : windows) window->installEventFilter(this);
  }
  bool Seen = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::WindowStateChange && static_cast<QWidget*>(watched)->isMinimized())
      Seen = true;
    return false;
  }
};

// What the screen shows at a point of the About window's client area is its own fill.
bool AboutWindowOnScreen() {
  const QPoint probe = TheAboutWindow->mapToGlobal(QPoint(5, 132));
  const QImage pixel =
      TheAboutWindow->screen()->grabWindow(0, probe.x(), probe.y(), 1, 1).toImage();
  const QColor fill = QColor::fromRgba(0xFF1C2C4B);  // the gradient halfway down
  const QColor seen = pixel.pixelColor(0, 0);
  return std::max({std::abs(seen.red() - fill.red()), std::abs(seen.green() - fill.green()),
                   std::abs(seen.blue() - fill.blue())}) <= 4;
}

}  // namespace

TEST_F(Menu, AboutBringsTheAboutWindowBackWhateverItsState) {
  SKIP_ON_WAYLAND("minimises through the X window manager and reads the X server's screen");
  QWidget other;
  other.setGeometry(40, 40, 300, 200);
  auto minimise = [] {
    TMinimiseWatch watch{TheAboutWindow, TheMainWindow};
    AskWindowManagerToMinimise(*TheAboutWindow);
    ASSERT_TRUE(WaitFor([&] { return watch.Seen; })) << "the window manager minimised nothing";
  };
  struct TCase {
    const char* Name;
    bool FullScreen;
    std::function<void()> PutAway;
  };
  const TCase cases[] = {
      {"another window has the focus", true,
       [&] {
         other.show();
         other.activateWindow();
         ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &other; }));
       }},
      // Openbox minimises the main window with it: the full-screen viewer must come back.
      {"minimised over the full-screen viewer", true, minimise},
      // Here the viewer may go with it, and only the handler itself can be reached.
      {"minimised over the bordered viewer", false, minimise},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    if (viewer().FullScreen() != c.FullScreen) {
      ChooseMenuItem(viewer().Actions().FullScreen);
      ASSERT_TRUE(WaitFor([&] { return c.FullScreen ? CoversScreen() : IsNormalWindow(); }));
    }
    ChooseMenuItem(viewer().Actions().About);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(TheAboutWindow));
    c.PutAway();
    // Let the window manager settle; a full-screen viewer is always back on screen.
    QTest::qWait(300);
    if (c.FullScreen) {
      EXPECT_TRUE(WaitFor([this] { return !viewer().isMinimized() && CoversScreen(); }))
          << "the viewer stays on screen";
    }
    if (viewer().isMinimized()) {
      viewer().Actions().About->trigger();
    } else {
      ChooseMenuItem(viewer().Actions().About);
    }
    // The focus itself: a window counts as active while a window it stands over has it.
    EXPECT_TRUE(WaitFor([] { return QApplication::activeWindow() == TheAboutWindow; }))
        << "it has the focus";
    EXPECT_TRUE(TheAboutWindow->isVisible());
    EXPECT_FALSE(TheAboutWindow->isMinimized());
    EXPECT_TRUE(WaitFor(AboutWindowOnScreen)) << "drawn above the main window";
    TheAboutWindow->OkButton->click();
    other.hide();
    ASSERT_TRUE(WaitFor([this] { return !viewer().isMinimized(); }));
    // Shown again at once, a window the window manager is still letting go of comes back
    // in a muddle of old and new state; a user takes longer than this.
    QTest::qWait(500);
  }
}

TEST_F(Menu, FullScreenOffGivesTheCentredBorderedWindowAndOnCoversTheScreenAgain) {
  const QRect screen = viewer().screen()->geometry();
  const QRect available = viewer().screen()->availableGeometry();
  // The frame as the window manager draws it (QWidget::frameGeometry() may lag behind).
  auto frame = [this] { return viewer().geometry().marginsAdded(window()->frameMargins()); };
  auto frameCentred = [&] {
    const QPoint offset = frame().center() - available.center();
    return !window()->frameMargins().isNull() && std::abs(offset.x()) <= 1 &&
           std::abs(offset.y()) <= 1;
  };
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round == 1 ? "first time out of full screen" : "second time");
    ChooseMenuItem(viewer().Actions().FullScreen);
    EXPECT_FALSE(viewer().Actions().FullScreen->isChecked());
    ASSERT_TRUE(WaitFor([this] { return IsNormalWindow(); }))
        << "client size " << viewer().width() << "x" << viewer().height();
    EXPECT_FALSE(viewer().FullScreen());
    EXPECT_FALSE(viewer().windowFlags().testFlag(Qt::FramelessWindowHint));
    // Centred with its border and caption, not by its client area alone.
    EXPECT_TRUE(WaitFor(frameCentred))
        << "frame " << frame().x() << "," << frame().y() << " " << frame().width() << "x"
        << frame().height() << " in " << available.width() << "x" << available.height();
    EXPECT_EQ(viewer().View()->size(), kWindowSize);

    ChooseMenuItem(viewer().Actions().FullScreen);
    EXPECT_TRUE(viewer().Actions().FullScreen->isChecked());
    ASSERT_TRUE(WaitFor(CoversScreen));
    EXPECT_EQ(viewer().frameGeometry(), screen) << "no border";
    EXPECT_EQ(viewer().View()->size(), screen.size());
  }
}

TEST_F(Menu, FactSheetStaysAroundTheCentreLineAfterAResize) {
  ChooseMenuItem(viewer().Actions().ShowInfo);
  ChooseMenuItem(viewer().Actions().FullScreen);
  ASSERT_TRUE(WaitFor([this] { return IsNormalWindow(); }));
  for (int width : {1000, 801, 1332}) {
    viewer().resize(width, 700);
    ASSERT_TRUE(WaitFor([&] { return viewer().size() == QSize(width, 700); })) << width;
    EXPECT_EQ(viewer().View()->width(), width);
    EXPECT_EQ(viewer().Overlays().NameLabel->width(), width) << "the name strip spans the view";
    const double centre = width / 2.0;
    const QRect captions = viewer().Overlays().FactSheetCaptions->geometry(),
                values = viewer().Overlays().FactSheetValues->geometry();
    EXPECT_EQ(captions.top(), 40);
    EXPECT_EQ(values.top(), 40);
    EXPECT_EQ(captions.width(), 200);
    // Half a pixel either way where the centre line falls between two pixels.
    EXPECT_NEAR(captions.left() + captions.width(), centre - 7, 0.5) << width;
    EXPECT_NEAR(values.left(), centre + 7, 0.5) << width;
    EXPECT_EQ(values.left() - (captions.left() + captions.width()), 14) << width;
  }
  ChooseMenuItem(viewer().Actions().FullScreen);
  ASSERT_TRUE(WaitFor(CoversScreen));
  EXPECT_EQ(viewer().Overlays().FactSheetCaptions->geometry().right() + 1,
            viewer().width() / 2 - 7);
  EXPECT_EQ(viewer().Overlays().FactSheetValues->x(), viewer().width() / 2 + 7);
}

}  // namespace apptest
