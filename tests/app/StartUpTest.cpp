// Start-up and the end of the program: the windows as they open, the opening zoom, and
// the two ways out (closing the main window, "Exit").

#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <vector>

#include "runtime3d/material/Material.h"
#include "runtime3d/material/Texture.h"
#include "scene/BodyCatalogue.h"
#include "tests/app/MainWindowFixture.h"

namespace apptest {

// The state straight after start-up: each test of this suite opens the windows afresh.
class StartUp : public MainWindow {
 public:
  static void SetUpTestSuite() {}
  static void TearDownTestSuite() {}

 protected:
  void SetUp() override { OpenWindows(); }
  void TearDown() override { MainWindow::TearDownTestSuite(); }
};

TEST_F(StartUp, OpensFullScreenWithThePlanetNamedAndNoFactSheet) {
  const QRect screen = viewer().screen()->geometry();
  EXPECT_TRUE(viewer().isFullScreen());
  EXPECT_EQ(viewer().geometry(), screen) << "the client area covers the whole screen";
  EXPECT_EQ(viewer().frameGeometry(), screen) << "no border";
  EXPECT_EQ(viewer().View()->geometry(), QRect(QPoint(), screen.size()));
  EXPECT_EQ(viewer().windowTitle(), QString("Moons of Orvanth"));
  EXPECT_FALSE(TheAboutWindow->isVisible()) << "the About window waits for the menu";

  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Orvanth"));
  EXPECT_TRUE(viewer().Overlays().NameLabel->isVisible());
  EXPECT_FALSE(viewer().Overlays().FactSheetCaptions->isVisible());
  EXPECT_FALSE(viewer().Overlays().FactSheetValues->isVisible());
  EXPECT_EQ(viewer().Overlays().FactSheetValues->Text(), orvanth::FactValues(BodyOfKey(1)))
      << "the planet's facts, hidden";
  EXPECT_TRUE(viewer().Overlays().ButtonPanel->isVisible());
  EXPECT_FALSE(viewer().Orbit().Dragging());

  // The menu's marks agree with what they switch.
  EXPECT_TRUE(viewer().Actions().AutoRotate->isChecked());
  EXPECT_TRUE(viewer().Actions().ShowNames->isChecked());
  EXPECT_FALSE(viewer().Actions().ShowInfo->isChecked());
  EXPECT_TRUE(viewer().Actions().FullScreen->isChecked());
  EXPECT_TRUE(viewer().FullScreen());
}

TEST_F(StartUp, SpaceReachesTheWindowBeforeAnyButtonIsClicked) {
  // No button may take the focus on its own when the window becomes active: the space
  // bar would click it instead of toggling the panel.
  PressKey(Qt::Key_Space);
  EXPECT_FALSE(viewer().Overlays().ButtonPanel->isVisible());
  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Orvanth"))
      << "no body selected by the key";
  EXPECT_EQ(CameraZ(), -38) << "no body button clicked by the key";
  PressKey(Qt::Key_Space);
  EXPECT_TRUE(viewer().Overlays().ButtonPanel->isVisible());
}

TEST_F(StartUp, CameraGlidesFrom38To15InThreeSecondsWhateverTheUserDoes) {
  EXPECT_EQ(CameraZ(), -38);
  Advance(1.5);
  EXPECT_NEAR(CameraZ(), -26.5, 1e-4) << "linear in time";

  // A zoom step is judged against the distance just written and lasts until the next tick.
  Wheel(BareViewPoint(), 120);
  EXPECT_NEAR(CameraZ(), -25.5, 1e-4);
  Advance(0.5);
  EXPECT_NEAR(CameraZ(), -38 + 23 * 2.0 / 3, 1e-4);

  ClickButton(viewer().BodyButton(orvanth::TBodyId::Io));
  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Io"));
  EXPECT_EQ(CameraZ(), -9) << "the button's distance, until the next tick";
  Advance(0.5);
  EXPECT_NEAR(CameraZ(), -38 + 23 * 2.5 / 3, 1e-4);

  Advance(0.5);
  EXPECT_EQ(CameraZ(), -15) << "arrives exactly";
  Advance(2);
  EXPECT_EQ(CameraZ(), -15);
  Wheel(BareViewPoint(), 120);
  Advance(1);
  EXPECT_EQ(CameraZ(), -14) << "the opening zoom is over and gone";
}

// A slow frame or a texture going up kept the event loop from the clock's tick: the frame
// drawn next shows the glide as it is when drawn, and the catch-up asks for no other frame.
TEST_F(StartUp, AFrameAfterABusySpellShowsTheGlideAsItIsWhenDrawn) {
  double glide = 0;  // seconds of glide so far
  for (const bool limited : {true, false}) {
    SCOPED_TRACE(limited ? "frames limited to what changed" : "whole frames");
    viewer().View()->SetLimitsFrames(limited);
    Advance(0.25);
    glide += 0.25;
    ASSERT_NEAR(CameraZ(), -38 + 23 * glide / 3, 1e-4);
    QSignalSpy frames(viewer().View(), &rt3d::TViewport3D::FramePresented);
    // The frames those ticks asked for, however slow the machine: until none comes for a while.
    for (int spells = 0; spells == 0 || (!frames.isEmpty() && spells < 20); ++spells) {
      frames.clear();
      QTest::qWait(300);
    }
    ASSERT_TRUE(frames.isEmpty()) << "frames kept coming with the clock still";

    PassTimeWithoutTicks(0.3);
    glide += 0.3;
    std::vector<float> started;
    const auto watch = QObject::connect(viewer().View(), &rt3d::TViewport3D::FrameStarted,
                                        [&] { started.push_back(CameraZ()); });
    const QImage drawn = viewer().View()->grabFramebuffer();
    QObject::disconnect(watch);
    EXPECT_NEAR(CameraZ(), -38 + 23 * glide / 3, 1e-4) << "the owed tick came first";
    EXPECT_EQ(started, std::vector<float>{CameraZ()}) << "and the frame's start announced it";
    Advance(0);
    EXPECT_EQ(viewer().View()->grabFramebuffer(), drawn) << "and that frame showed it";

    QCoreApplication::processEvents();
    EXPECT_EQ(viewer().View()->FrameState(), rt3d::TFrameState::Idle)
        << "no frame owed for the change the frame took in";
  }
}

// Made as the program makes it: small images first, the clock held until the first frame.
class FirstLight : public StartUp {
 protected:
  void SetUp() override {
    images = orvanth::StartDecodingTextures(orvanth::TTextureArrival::SmallFirst);
    MakeWindows(images);
  }

  // Shows the main window and waits for its first frame on screen.
  void ShowUntilFirstFrame() {
    QSignalSpy frames(viewer().View(), &rt3d::TViewport3D::FramePresented);
    ShowMainWindow();
    if (frames.isEmpty()) {
      ASSERT_TRUE(frames.wait(10000)) << "no frame came";
    }
  }

  // The textures of the bodies and the sky.
  std::vector<rt3d::TTexture*> Textures() {
    std::vector<rt3d::TTexture*> textures;
    for (rt3d::TSphere* sphere :
         {viewer().Scene().Bodies[orvanth::TBodyId::Orvanth], viewer().Scene().Sky,
          viewer().Scene().Bodies[orvanth::TBodyId::Io],
          viewer().Scene().Bodies[orvanth::TBodyId::Europa],
          viewer().Scene().Bodies[orvanth::TBodyId::Ganymede],
          viewer().Scene().Bodies[orvanth::TBodyId::Callisto]}) {
      rt3d::TMaterial* material = sphere->MaterialSource()->Material();
      if (auto* lit = dynamic_cast<rt3d::TLightMaterial*>(material)) {
        textures.push_back(lit->Texture);
      } else {
        textures.push_back(dynamic_cast<rt3d::TTextureMaterial&>(*material).Texture);
      }
    }
    return textures;
  }

  orvanth::TTextureImages images;
};

TEST_F(FirstLight, GlideWaitsForTheFirstFrameOnScreenWhichShowsTheSmallImages) {
  // Long before anything is on screen (a busy machine, a slow driver) time passes...
  Advance(2);
  EXPECT_EQ(CameraZ(), -38) << "the glide waits for the first frame";
  EXPECT_EQ(viewer().Scene().Bodies[orvanth::TBodyId::Orvanth]->RotationAngle().Y(), 0)
      << "and so do the spins";

  ShowUntilFirstFrame();
  EXPECT_TRUE(viewer().View()->TextureOnDevice(*Textures()[0]).Preview)
      << "the first frame showed the planet's small map";
  EXPECT_TRUE(viewer().View()->TextureOnDevice(*Textures()[1]).Preview) << "and the sky's";

  Advance(0.25);
  EXPECT_NEAR(CameraZ(), -38 + 23 * 0.25 / 3, 1e-4) << "the glide counts from the first frame";
  Advance(1.25);
  EXPECT_NEAR(CameraZ(), -26.5, 1e-4) << "the whole glide follows, none of it skipped";
  Advance(1.5);
  EXPECT_EQ(CameraZ(), -15);
}

// Whatever arrived in which order, once every image is in place the picture is the one a
// window drawing its full images from the start shows.
TEST_F(FirstLight, PictureOnceEveryImageIsInPlaceIsTheOneDrawnFromTheFullImages) {
  ShowUntilFirstFrame();
  EXPECT_TRUE(viewer().View()->TexturesInProgress());
  // The view draws again by itself as the full images come, until none shows its small one.
  ASSERT_TRUE(WaitFor([this] { return !viewer().View()->TexturesInProgress(); }, 20000));
  const QImage handedOver = viewer().View()->MakeScreenshot();

  TearDown();
  OpenWindows();
  const QImage whole = viewer().View()->MakeScreenshot();
  ASSERT_FALSE(whole.isNull());
  EXPECT_TRUE(handedOver == whole) << "pixel for pixel";
}

TEST_F(StartUp, PlanetSpinsAndMoonsCircleFromTheirStoredAngles) {
  struct TBody {
    rt3d::TSphere* Sphere;
    float At0, At240, At480;  // RotationAngle.Y read back
  };
  TMainWindow& f = viewer();
  const TBody bodies[] = {
      {f.Scene().Bodies[orvanth::TBodyId::Orvanth], 0, 0, 0},  // a turn a minute
      {f.Scene().Bodies[orvanth::TBodyId::Io], 0, 0, 0},       // Io: 360 degrees in 240 s
      {f.Scene().Bodies[orvanth::TBodyId::Europa], 45, 202.5,
       45},  // Europa: 405 in 480 s, then back to 45
      {f.Scene().Bodies[orvanth::TBodyId::Ganymede], 90, 337.5, 225},  // Ganymede: 450 in 960 s
      {f.Scene().Bodies[orvanth::TBodyId::Callisto], 135, 82.0116f,
       29.0232f},  // Callisto: 495 in 2242 s
  };
  for (const TBody& b : bodies) EXPECT_NEAR(b.Sphere->RotationAngle().Y(), b.At0, 1e-3);
  Advance(240, 1);
  for (const TBody& b : bodies) {
    EXPECT_NEAR(AngleStep(b.At240, b.Sphere->RotationAngle().Y()), 0, 0.01) << b.Sphere->Name();
  }
  Advance(240, 1);
  for (const TBody& b : bodies) {
    EXPECT_NEAR(AngleStep(b.At480, b.Sphere->RotationAngle().Y()), 0, 0.01) << b.Sphere->Name();
  }
  // The turn is the way of decreasing angles: a little later each has moved down.
  const float europa = f.Scene().Bodies[orvanth::TBodyId::Europa]->RotationAngle().Y();
  Advance(10);
  EXPECT_NEAR(AngleStep(europa, f.Scene().Bodies[orvanth::TBodyId::Europa]->RotationAngle().Y()),
              -405 * 10 / 480.0, 0.01);
}

// The About window only hides on a close request. Whichever order the windows are
// asked in, it must not hold the program open.
TEST_F(StartUp, ClosingTheMainWindowEndsTheProgramWithTheAboutWindowOpen) {
  TheAboutWindow->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(TheAboutWindow));
  EXPECT_EQ(RunEventLoop([] { TheMainWindow->close(); }), 0);
}

TEST_F(StartUp, ExitEndsTheProgramWithTheAboutWindowOpen) {
  TheAboutWindow->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(TheAboutWindow));
  EXPECT_EQ(RunEventLoop([this] { ChooseMenuItem(viewer().Actions().Exit); }), 0);
}

TEST_F(StartUp, ExitEndsTheProgram) {
  EXPECT_EQ(RunEventLoop([this] { ChooseMenuItem(viewer().Actions().Exit); }), 0);
}

TEST_F(StartUp, ClosingTheAboutWindowKeepsTheProgramRunning) {
  TheAboutWindow->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(TheAboutWindow));
  const int result = RunEventLoop([] {
    TheAboutWindow->close();
    QTimer::singleShot(200, qApp, [] { QCoreApplication::exit(7); });
  });
  EXPECT_EQ(result, 7) << "the loop ran on until told to stop";
  EXPECT_FALSE(TheAboutWindow->isVisible());
  EXPECT_TRUE(TheMainWindow->isVisible());
}

}  // namespace apptest
