// How frames reach the screen: the choice by renderer and variable, and the two
// presentations showing the same window.

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "RenderFixture.h"
#include "runtime3d/render/Presentation.h"

using namespace rt3d;
using namespace rt3d::test;

namespace {

struct TChoiceCase {
  const char* Name;
  const char16_t* Renderer;
  const char16_t* Forced;
  TPresentation Expected;
  bool Warns;
};

constexpr auto kCopy = TPresentation::Copy;
constexpr auto kCompose = TPresentation::Compose;

const TChoiceCase kChoiceCases[] = {
    {"llvmpipe", u"llvmpipe (LLVM 15.0.6, 256 bits)", u"", kCopy, false},
    {"softpipe", u"softpipe", u"", kCopy, false},
    {"swrast by its name", u"Software Rasterizer", u"", kCopy, false},
    {"swrast by its driver", u"Mesa swrast", u"", kCopy, false},
    {"capitals", u"LLVMPIPE", u"", kCopy, false},
    {"no renderer known", u"", u"", kCopy, false},
    {"AMD", u"AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6, DRM 3.49)", u"", kCompose, false},
    {"Intel", u"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", u"", kCompose, false},
    {"NVIDIA", u"NVIDIA GeForce GTX 1660/PCIe/SSE2", u"", kCompose, false},
    {"virtual GPU", u"virgl (AMD Radeon)", u"", kCompose, false},
    {"compose forced on llvmpipe", u"llvmpipe (LLVM 15.0.6, 256 bits)", u"compose", kCompose,
     false},
    {"copy forced on a GPU", u"AMD Radeon RX 6600", u"copy", kCopy, false},
    {"forced in capitals", u"llvmpipe", u"COMPOSE", kCompose, false},
    {"forced with blanks", u"AMD Radeon RX 6600", u" copy ", kCopy, false},
    {"compose forced without a renderer", u"", u"compose", kCompose, false},
    {"unknown value on llvmpipe", u"llvmpipe", u"gpu", kCopy, true},
    {"unknown value on a GPU", u"AMD Radeon RX 6600", u"blit", kCompose, true},
    {"a prefix is not a value", u"llvmpipe", u"comp", kCopy, true},
};

}  // namespace

TEST(PresentationChoice, SoftwareRenderersCopyOthersComposeTheVariableForcesEither) {
  for (const TChoiceCase& c : kChoiceCases) {
    SCOPED_TRACE(c.Name);
    const TPresentationChoice choice = ChoosePresentation(QStringView(c.Renderer), c.Forced);
    EXPECT_EQ(choice.Presentation, c.Expected);
    EXPECT_EQ(!choice.Warning.isEmpty(), c.Warns) << choice.Warning.toStdString();
    if (c.Warns) {
      EXPECT_TRUE(choice.Warning.contains(kPresentationVariable)) << "names the variable";
      EXPECT_FALSE(choice.Warning.contains('\n')) << "one line";
    }
  }
}

// Puts the presentation variable back as it was when the test ends.
class TKeptVariable {
 public:
  TKeptVariable() : FSaved(qgetenv(kPresentationVariable)) {}
  ~TKeptVariable() {
    if (FSaved.isNull()) {
      qunsetenv(kPresentationVariable);
    } else {
      qputenv(kPresentationVariable, FSaved);
    }
  }
  TKeptVariable(const TKeptVariable&) = delete;
  TKeptVariable& operator=(const TKeptVariable&) = delete;

 private:
  QByteArray FSaved;
};

TEST(PresentationChoice, ThisMachinesRendererDecidesUnlessTheVariableDoes) {
  TKeptVariable kept;
  qunsetenv(kPresentationVariable);
  const QString renderer = DeviceRendererName();
  ASSERT_FALSE(renderer.isEmpty()) << "the device answers with its name";
  EXPECT_EQ(ViewPresentation(), ChoosePresentation(renderer, u"").Presentation);
  qputenv(kPresentationVariable, "compose");
  EXPECT_EQ(ViewPresentation(), TPresentation::Compose);
  qputenv(kPresentationVariable, "copy");
  EXPECT_EQ(ViewPresentation(), TPresentation::Copy);
}

namespace {

// What a user sees of a view with a lit sphere, a text label over it and an opaque panel,
// and what the view does with a click on the sphere.
struct TSeen {
  TPresentation Presentation = kCopy;
  QImage Screen;      // the view's place on the X screen
  QImage Screenshot;  // MakeScreenshot
  bool ViewUnderPointer = false;
  bool SphereClicked = false;
};

class BothPresentations : public ViewportScene {
 protected:
  // Each presentation makes its own view.
  void SetUp() override {}

  TSeen Show(TPresentation presentation) {
    ViewportScene::TearDown();
    qputenv(kPresentationVariable, presentation == kCompose ? "compose" : "copy");
    ViewportScene::SetUp();
    TSeen seen;
    if (HasFatalFailure()) return seen;
    seen.Presentation = viewport->Presentation();
    viewport->SetColor(0xFF203040);
    TSphere* sphere = AddSphere(4, {1, 0, 0});
    sphere->SetMaterialSource(LitMaterial(0xFFC08040));
    sphere->OnMouseDown = [&seen](TTreeObject*, TMouseButton, TShiftState, float, float,
                                  const TVector3D&,
                                  const TVector3D&) { seen.SphereClicked = true; };
    AddLight(30);
    auto* label = new QLabel(QStringLiteral("Ganymede"), viewport.get());
    QFont font = label->font();
    font.setPixelSize(28);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 200)"));
    label->setGeometry(10, 10, 180, 40);
    label->show();
    auto* panel = new QWidget(viewport.get());
    panel->setAutoFillBackground(true);
    panel->setStyleSheet(QStringLiteral("background: #2050a0"));
    panel->setGeometry(120, 150, 70, 40);
    panel->show();

    QSignalSpy presented(viewport.get(), &TViewport3D::FramePresented);
    viewport->Invalidate();
    EXPECT_TRUE(presented.wait(5000)) << "a frame reaches the screen";
    seen.Screen = SteadyScreen(*viewport);
    seen.Screenshot = viewport->MakeScreenshot();
    const QPoint onSphere = viewport->mapToGlobal(QPoint(kSize / 2 + 10, kSize / 2));
    seen.ViewUnderPointer = QApplication::widgetAt(onSphere) == viewport.get();
    QTest::mouseClick(viewport->windowHandle(), Qt::LeftButton, {},
                      QPoint(kSize / 2 + 10, kSize / 2));
    sphere->OnMouseDown = nullptr;  // seen goes out of scope
    return seen;
  }

  TKeptVariable FKept;
};

}  // namespace

TEST_F(BothPresentations, ShowTheSamePictureScreenshotAndPicking) {
  const TSeen copied = Show(kCopy);
  ASSERT_FALSE(HasFatalFailure());
  const TSeen composed = Show(kCompose);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(copied.Presentation, kCopy);
  EXPECT_EQ(composed.Presentation, kCompose);

  // The picture itself is there: the sphere, the view's colour, the panel over both.
  const QImage& screen = composed.Screen;
  EXPECT_TRUE(Near(PixelAt(screen, 5, 190), {0x20, 0x30, 0x40, 255}, 0)) << "view colour";
  EXPECT_FALSE(Near(PixelAt(screen, kSize / 2 + 10, kSize / 2), {0x20, 0x30, 0x40, 255}, 8))
      << "the sphere";
  EXPECT_TRUE(Near(PixelAt(screen, 150, 170), {0x20, 0x50, 0xa0, 255}, 0)) << "the panel";
  EXPECT_EQ(copied.Screen, composed.Screen) << Differences(copied.Screen, composed.Screen);
  EXPECT_EQ(copied.Screenshot, composed.Screenshot)
      << Differences(copied.Screenshot, composed.Screenshot);
  EXPECT_TRUE(copied.ViewUnderPointer);
  EXPECT_TRUE(composed.ViewUnderPointer) << "the composing child is blind to the pointer";
  EXPECT_TRUE(copied.SphereClicked);
  EXPECT_TRUE(composed.SphereClicked);
}
