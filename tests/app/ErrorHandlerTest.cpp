// Failures that escape a handler: a button's click, a timer tick and a gesture handler
// each reach the application's handler, which shows one message (or none for a silent
// abort), and the viewer goes on.

#include <QTest>
#include <QTimer>
#include <exception>

#include "runtime3d/core/Exceptions.h"
#include "runtime3d/input/WidgetGestures.h"
#include "tests/app/MainWindowFixture.h"

namespace apptest {

namespace {

struct TFailure {
  const char* Name;
  std::function<void()> Raise;
  std::vector<QString> Shown;  // what the error box shows; nothing for a silent abort
};

[[noreturn]] void Nested(const char* inner, const char* outer) {
  try {
    throw rt3d::Exception(inner);
  } catch (...) {
    std::throw_with_nested(rt3d::Exception(outer));
  }
}

[[noreturn]] void AbortInside(const char* outer) {
  try {
    throw rt3d::EAbort();
  } catch (...) {
    std::throw_with_nested(rt3d::Exception(outer));
  }
}

const std::vector<TFailure>& Failures() {
  static const std::vector<TFailure> failures = {
      {"letter gets a full stop", [] { throw rt3d::Exception("abc"); }, {"abc."}},
      {"'!' comes before '.'", [] { throw rt3d::Exception("abc!"); }, {"abc!"}},
      {"'-' comes before '.'", [] { throw rt3d::Exception("a-"); }, {"a-"}},
      {"'/' comes after '.'", [] { throw rt3d::Exception("a/"); }, {"a/."}},
      {"full stop kept single",
       [] { throw rt3d::Exception("Saving bitmap failed."); },
       {"Saving bitmap failed."}},
      {"a standard exception", [] { throw std::runtime_error("disk full"); }, {"disk full."}},
      {"nested: the innermost message", [] { Nested("inner", "outer"); }, {"inner."}},
      {"nested abort: the innermost that has a message", [] { AbortInside("outer"); }, {"outer."}},
      {"abort is silent", [] { throw rt3d::EAbort(); }, {}},
  };
  return failures;
}

}  // namespace

class ErrorHandler : public MainWindow {
 protected:
  // A later event still runs: a body button still selects its body.
  void ExpectViewerGoesOn(const char* name) {
    ClickButton(viewer().BodyButton(orvanth::TBodyId::Callisto));
    EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Callisto")) << name;
  }
};

TEST_F(ErrorHandler, ButtonClickHandler) {
  for (const TFailure& failure : Failures()) {
    ErrorMessages().clear();
    QMetaObject::Connection failing = QObject::connect(
        viewer().BodyButton(orvanth::TBodyId::Europa), &QPushButton::clicked, failure.Raise);
    ClickButton(viewer().BodyButton(orvanth::TBodyId::Europa));
    QObject::disconnect(failing);
    EXPECT_EQ(ErrorMessages(), failure.Shown) << failure.Name;
    EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Europa"))
        << "the click's own handler ran first";
    ExpectViewerGoesOn(failure.Name);
  }
}

TEST_F(ErrorHandler, TimerTick) {
  for (const TFailure& failure : Failures()) {
    ErrorMessages().clear();
    viewer().ShowBody(orvanth::TBodyId::Orvanth);
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, failure.Raise);
    timer.start(0);
    ASSERT_TRUE(WaitFor([&] { return !timer.isActive(); })) << failure.Name;
    QCoreApplication::processEvents();
    EXPECT_EQ(ErrorMessages(), failure.Shown) << failure.Name;
    ExpectViewerGoesOn(failure.Name);
  }
}

TEST_F(ErrorHandler, GestureHandler) {
  rt3d::TWidgetGestureControl& view = viewer().ViewportGestures();
  const rt3d::TGestureEvent handler = view.OnGesture;
  rt3d::TGestureEventInfo doubleTap;
  doubleTap.GestureID = rt3d::igiDoubleTap;
  doubleTap.Flags = rt3d::gfBegin;
  for (const TFailure& failure : Failures()) {
    ErrorMessages().clear();
    viewer().ShowBody(orvanth::TBodyId::Orvanth);
    const bool panelShown = viewer().Overlays().ButtonPanel->isVisible();
    view.OnGesture = [&](rt3d::TGestureControl* sender, const rt3d::TGestureEventInfo& info,
                         bool& handled) {
      handler(sender, info, handled);
      failure.Raise();
    };
    view.DispatchGesture(doubleTap);
    view.OnGesture = handler;
    // Delivery goes on; the failure reaches the handler from the event loop.
    QCoreApplication::processEvents();
    EXPECT_EQ(ErrorMessages(), failure.Shown) << failure.Name;
    EXPECT_NE(viewer().Overlays().ButtonPanel->isVisible(), panelShown)
        << "the double tap still toggled the panel";
    view.DispatchGesture(doubleTap);
    EXPECT_EQ(viewer().Overlays().ButtonPanel->isVisible(), panelShown)
        << "a later gesture is handled";
    ExpectViewerGoesOn(failure.Name);
  }
}

}  // namespace apptest
