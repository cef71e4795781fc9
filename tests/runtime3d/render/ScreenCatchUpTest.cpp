// The screen always catches up with the scene: however changes, frames and paints of the
// view interleave, once the view is left alone the screen shows exactly what a fresh whole
// frame of the scene shows.

#include <gtest/gtest.h>

#include <QTest>

#include <string>

#include "RenderFixture.h"

using namespace rt3d;
using namespace rt3d::test;

namespace {

// Keeps the window's paints back while it is holding, as a busy window system does, and
// hands them on when let go; nothing else is held.
class TPaintHold : public QObject {
 public:
  explicit TPaintHold(QWidget& window) : FWindow(window) { window.installEventFilter(this); }
  ~TPaintHold() override { FWindow.removeEventFilter(this); }

  void Hold() { FHolding = true; }
  void LetGo() {
    FHolding = false;
    if (!FHeld) return;
    FHeld = false;
    QCoreApplication::postEvent(&FWindow, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &FWindow && event->type() == QEvent::UpdateRequest && FHolding) {
      FHeld = true;
      return true;
    }
    return false;
  }

 private:
  QWidget& FWindow;
  bool FHolding = false;
  bool FHeld = false;
};

class ScreenCatchUp : public ViewportScene {
 protected:
  void SetUp() override {
    ViewportScene::SetUp();
    if (HasFatalFailure()) return;
    viewport->SetColor(0xFF203040);
    AddLight(30);
    moon = AddSphere(1.5f, {-4, 0, 0});
    moon->SetMaterialSource(LitMaterial(qRgb(200, 120, 40)));
    // Paints nothing of its own and hides nothing: repainting it repaints the view under it,
    // as hovering a panel button does.
    child = new QWidget(viewport.get());
    child->setGeometry(150, 10, 40, 30);
    child->show();
  }

  TSphere* moon = nullptr;
  QWidget* child = nullptr;
};

// Each letter is one step: m moves the moon (the scene asks for a frame), h lets the view
// run for a while with its paints held back (frames fall due, none reaches the screen), p
// repaints part of the view, z resizes it, g lets the held paints go.
TEST_F(ScreenCatchUp, AfterAnyOrderOfChangesFramesAndPaintsTheScreenShowsTheScene) {
  struct TOrder {
    const char* Name;
    const char* Steps;
    bool Limited;
  };
  const TOrder orders[] = {
      {"a frame due while the last one waits to be painted", "mhmhg", true},
      {"several in a row", "mhmhmhmhg", true},
      {"a part of the view painted between them", "mhpmhpg", true},
      {"a part painted while a change waits for its frame", "mpmhg", true},
      {"changes faster than frames, paints let through", "mmgmhgmmg", true},
      {"the view resized while a frame waits to be painted", "mhzg", true},
      {"resized back, with changes on either side", "mhzmhg", true},
      {"whole frames, a frame due while the last one waits", "mhmhg", false},
      {"whole frames, a part painted between them", "mhpmhpg", false},
  };
  TPaintHold paints(*viewport);
  float x = -4;
  for (const TOrder& order : orders) {
    SCOPED_TRACE(std::string(order.Name) + " (" + order.Steps + ")");
    viewport->SetLimitsFrames(order.Limited);
    SteadyScreen(*viewport);
    for (const char* step = order.Steps; *step; ++step) {
      switch (*step) {
        case 'm':
          x += 0.7f;
          moon->Position().SetX(x);
          break;
        case 'h':
          paints.Hold();
          QTest::qWait(60);
          break;
        case 'p':
          child->repaint();
          break;
        case 'g':
          paints.LetGo();
          break;
        case 'z':
          viewport->resize(viewport->width() == kSize ? kSize - 30 : kSize, kSize);
          break;
      }
    }
    paints.LetGo();
    const QImage screen = SteadyScreen(*viewport);
    const QImage whole = Render().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(Differences(screen, whole), "");
    if (x > 4) x = -4;
  }
}

}  // namespace
