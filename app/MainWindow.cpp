#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdlib>

#include "app/Application.h"
#include "app/ViewAccessible.h"
#include "app/WindowPlacement.h"
#include "runtime3d/animation/Animator.h"
#include "runtime3d/core/Exceptions.h"
#include "runtime3d/input/FullScreen.h"
#include "runtime3d/input/Gesture.h"
#include "runtime3d/input/KeyInput.h"
#include "runtime3d/input/KeyTranslation.h"
#include "runtime3d/input/TouchInput.h"
#include "runtime3d/input/WidgetGestures.h"
#include "scene/BodyCatalogue.h"
#include "screenshot/BitmapCodecs.h"
#include "screenshot/PicturesFolder.h"

using namespace rt3d;
using namespace orvanth;

TMainWindow* TheMainWindow = nullptr;

namespace {

constexpr QSize kClientSize{1332, 829};
// How long the first leave from full screen waits for the window's frame: 2 s.
constexpr int kFrameTries = 40;
constexpr int kFrameTryMs = 50;
constexpr float kOpeningDistance = -38;
constexpr float kViewDistance = -15;
constexpr float kOpeningSeconds = 3;

const char* const kViewName = "3D view of Orvanth and its moons";
const char* const kViewDescription =
    "Drag or use the arrow keys to turn the view around the planet; the wheel, plus and minus "
    "zoom; keys 1 to 5 select Orvanth, Io, Europa, Ganymede and Callisto; space shows or "
    "hides the body buttons; the menu key opens the menu.";
}  // namespace

TMainWindow::TMainWindow(TTextureImages textures, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QStringLiteral("Moons of Orvanth"));
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);
  resize(kClientSize);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    setGeometry(PlaceClientArea(kClientSize, QMargins(), screen->availableGeometry()));

  const TTextureImages images =
      textures.Full || textures.Small ? std::move(textures) : StartDecodingTextures();

  // Before the view exists: a screen reader may ask about it from its first moment.
  InstallViewAccessible();
  // The view, then the scene inside it in the order it is defined.
  FView = new TViewport3D(this);
  FView->setObjectName(QStringLiteral("View"));
  FView->setGeometry(rect());
  // The view holds the window's keyboard focus and Tab comes back to it from the buttons;
  // a press on it still leaves a focused button focused.
  FView->setFocusPolicy(Qt::TabFocus);
  FView->setAccessibleName(QString::fromUtf8(kViewName));
  FView->setAccessibleDescription(QString::fromUtf8(kViewDescription));
  FScene = BuildScene(*FView->Root(), FComponents, images);
  FOrbit.emplace(*FScene.CameraRig, *FScene.Camera);
  FView->SetCamera(FScene.Camera);
  FView->SetUsingDefaultCamera(false);
  FView->SetColor(claNull);

  FOverlays = BuildOverlays(this, FView);
  FView->SetPopupMenu(FOverlays.ContextMenu);

  auto saveDialog = std::make_unique<screenshot::TSaveDialog>(this);
  saveDialog->DefaultExt = QStringLiteral("jpg");
  saveDialog->Filter = QStringLiteral("jpg|*.jpg|bmp|*.bmp");
  FSaveDialog = std::move(saveDialog);

  FGestureManager = std::make_unique<TGestureManager>();
  FGestureManager->SetSensitivity(80);
  FWindowGestures = TWidgetGestureControl::Ensure(this);
  FViewportGestures = TWidgetGestureControl::Ensure(FView);
  FViewportGestures->Touch().SetGestureManager(FGestureManager.get());
  FViewportGestures->Touch().SetInteractiveGestures(
      {TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap});
  FTouchInput = new TTouchInput(FView);
  FTouchInput->BodyAt = [this](const QPointF& p) {
    return FView
               ->ObjectAtPoint(
                   TPointF{float(FView->mapToGlobal(p).x()), float(FView->mapToGlobal(p).y())})
               .Object != nullptr;
  };
  FKeyInput = new TWindowKeyInput(this);
  FFullScreen = new TFullScreenController(this);

  WireHandlers();
  WireMenu();
  SetUpViewer();
  // The view keeps the keyboard focus until a button is clicked: activation would
  // otherwise hand it to the first button, and the space bar would click that button
  // instead of toggling the panel.
  FView->setFocus();
  // The viewer opens full screen: applied when the window is first shown, after centring.
  FFullScreen->SetFullScreen(true);
}

TMainWindow::~TMainWindow() {
  // The 3D objects go with the view; the material sources after them.
  delete FView;
  FView = nullptr;
  if (TheMainWindow == this) TheMainWindow = nullptr;
}

void TMainWindow::WireHandlers() {
  FView->OnMouseDown = [this](QObject*, TMouseButton, TShiftState, float x, float y) {
    FOrbit->StartDrag(x, y);
  };
  FView->OnMouseMove = [this](QObject*, TShiftState sh, float x, float y) {
    FOrbit->DragTo(sh, x, y);
  };
  FView->OnMouseUp = [this](QObject*, TMouseButton, TShiftState, float, float) {
    FOrbit->EndDrag();
  };
  FView->OnMouseWheel = [this](QObject*, TShiftState sh, int delta, bool& handled) {
    handled = true;
    FOrbit->Wheel(sh, delta);
  };
  FView->OnDblClick = [this](QObject*) { TogglePanel(); };
  FView->OnPointerLost = [this](QObject*) { FOrbit->EndDrag(); };
  FViewportGestures->OnGesture = [this](TGestureControl*, const TGestureEventInfo& info,
                                        bool& handled) { HandleGesture(info, handled); };

  for (TBodyId id : kBodyIds) {
    TSphere* sphere = FScene.Bodies[id];
    sphere->OnMouseDown = [this, id](TTreeObject*, TMouseButton b, TShiftState, float x, float y,
                                     const TVector3D&,
                                     const TVector3D&) { PressBody(id, b, x, y); };
    sphere->OnMouseMove = [this](TTreeObject*, TShiftState sh, float x, float y, const TVector3D&,
                                 const TVector3D&) { FOrbit->DragTo(sh, x, y); };
    sphere->OnMouseUp = [this](TTreeObject*, TMouseButton, TShiftState, float, float,
                               const TVector3D&, const TVector3D&) { FOrbit->EndDrag(); };
    sphere->OnDblClick = [this](TTreeObject*) { TogglePanel(); };
    connect(BodyButton(id), &QPushButton::clicked, this,
            [this, id] { TApplication::RunHandler([&] { SelectBody(id); }); });
  }

  FKeyInput->OnKeyDown = [this](QObject*, std::uint16_t& key, char16_t& keyChar,
                                TShiftState shift) { HandleKeyDown(key, keyChar, shift); };
}

void TMainWindow::WireMenu() {
  const TMenuActions& actions = FOverlays.Actions;
  auto onToggle = [this](QAction* item, void (TMainWindow::*handler)(bool)) {
    connect(item, &QAction::toggled, this,
            [this, handler](bool on) { TApplication::RunHandler([&] { (this->*handler)(on); }); });
  };
  onToggle(actions.AutoRotate, &TMainWindow::SetAutoRotate);
  onToggle(actions.ShowNames, &TMainWindow::SetNamesShown);
  onToggle(actions.ShowInfo, &TMainWindow::SetInfoShown);
  onToggle(actions.FullScreen, &TMainWindow::SetFullScreen);
  auto onTrigger = [this](QAction* item, void (TMainWindow::*handler)()) {
    connect(item, &QAction::triggered, this,
            [this, handler] { TApplication::RunHandler([&] { (this->*handler)(); }); });
  };
  onTrigger(actions.Screenshot, &TMainWindow::SaveScreenshot);
  onTrigger(actions.About, &TMainWindow::ShowAbout);
  connect(actions.Exit, &QAction::triggered, this, [] { TApplication::Terminate(); });
}

// --- Start-up ------------------------------------------------------------------------------

void TMainWindow::SetUpViewer() {
  screenshot::PreparePicturesFolder(FPicturesFolder);
  FOrbit->EndDrag();
  FOverlays.FactSheetCaptions->setVisible(false);
  FOverlays.FactSheetValues->setVisible(false);
  FOverlays.NameLabel->setVisible(true);
  SetOrbitPivots(FScene);
  FOverlays.FactSheetCaptions->SetText(FactCaptions());
  for (TBodyId id : kBodyIds) FBodyFacts[id] = FactValues(id);
  ShowBody(TBodyId::Orvanth);
  // The opening zoom: from afar to the usual distance in three seconds.
  FScene.Camera->Position().SetZ(kOpeningDistance);
  AnimateFloat(*FScene.Camera, "position.z", kViewDistance, kOpeningSeconds, TAnimationType::In,
               TInterpolationType::Linear);
}

// --- Bodies and overlays -------------------------------------------------------------------

void TMainWindow::ShowBody(TBodyId id) {
  const QString name = QString::fromUtf8(Body(id).Name);
  const bool another = FOverlays.NameLabel->text() != name;
  FOverlays.NameLabel->setText(name);
  FOverlays.FactSheetValues->SetText(FBodyFacts[id]);
  if (another) AnnounceShownBody(FView, name);
}

void TMainWindow::SelectBody(TBodyId id) {
  const TBodyInfo& body = Body(id);
  ShowBody(id);
  FScene.Camera->Position().SetZ(body.CameraDistanceZ);
  TPosition3D& rig = FScene.CameraRig->RotationAngle();
  rig.SetX(0);
  rig.SetY(0);
  // The moon then stands between the camera and the planet, in the middle of the view.
  rig.SetY(FScene.Bodies[id]->RotationAngle().Y() + body.YawOffset);
}

void TMainWindow::PressBody(TBodyId id, TMouseButton Button, float X, float Y) {
  if (Button == TMouseButton::mbRight) {
    FOverlays.ContextMenu->popup(mapToGlobal(QPointF(X, Y)).toPoint());
    return;
  }
  ShowBody(id);
  FOrbit->StartDrag(X, Y);
}

void TMainWindow::TogglePanel() {
  FOverlays.ButtonPanel->setVisible(!FOverlays.ButtonPanel->isVisible());
}

void TMainWindow::HandleKeyDown(std::uint16_t& Key, char16_t& KeyChar, TShiftState Shift) {
  // By the character typed, wherever the layout puts it.
  if (KeyChar == u' ') return TogglePanel();
  if (KeyChar >= u'1' && KeyChar <= u'5') return SelectBody(kBodyIds[size_t(KeyChar - u'1')]);
  if (KeyChar == u'+' || KeyChar == u'=') return FOrbit->ZoomStep(true);
  if (KeyChar == u'-') return FOrbit->ZoomStep(false);
  // By the key; with Ctrl or Alt held they belong to the desktop. The menu's commands
  // come as its items' shortcuts and never get here.
  if (Shift & (ssCtrl | ssAlt)) return;
  switch (Key) {
    case vkLeft:
      return FOrbit->TurnByArrow(-1, 0);
    case vkRight:
      return FOrbit->TurnByArrow(1, 0);
    case vkUp:
      return FOrbit->TurnByArrow(0, -1);
    case vkDown:
      return FOrbit->TurnByArrow(0, 1);
    case vkPrior:
      return FOrbit->ZoomStep(true);
    case vkNext:
      return FOrbit->ZoomStep(false);
    case vkEscape:
      FOverlays.Actions.FullScreen->setChecked(false);
      return;
    case vkF10:
      if (Shift & ssShift) OpenMenuAtView();
      return;
    case vkApps:
      return OpenMenuAtView();
    default:
      return;
  }
}

void TMainWindow::OpenMenuAtView() {
  FOverlays.ContextMenu->popup(FView->mapToGlobal(FView->rect().center()));
}

void TMainWindow::PlaceFactSheet() {
  // Captions end 7 pixels left of the view's centre line, values start 7 right of it.
  const float w = float(FView->width());
  FOverlays.FactSheetCaptions->move(qRound(w / 2 - 200 - 7), 40);
  FOverlays.FactSheetValues->move(qRound(w / 2 + 7), 40);
}

void TMainWindow::HandleGesture(const TGestureEventInfo& EventInfo, bool& Handled) {
  switch (EventInfo.GestureID) {
    case sgiLeft:
    case sgiRight:
    case igiPan:
      Handled = true;
      break;
    case igiZoom:
      FOrbit->Pinch(EventInfo.Flags, EventInfo.Distance);
      Handled = true;
      break;
    case igiDoubleTap:
      TogglePanel();
      Handled = true;
      break;
    default:
      break;
  }
}

// --- Context menu --------------------------------------------------------------------------

void TMainWindow::SetAutoRotate(bool on) {
  for (TFloatAnimation* animation : FScene.BodyAnimations) {
    if (on) {
      animation->Start();
    } else {
      animation->StopAtCurrent();
    }
  }
}

void TMainWindow::SetNamesShown(bool on) {
  FOverlays.NameLabel->setVisible(on);
}

void TMainWindow::SetInfoShown(bool on) {
  FOverlays.FactSheetCaptions->setVisible(on);
  FOverlays.FactSheetValues->setVisible(on);
}

void TMainWindow::SaveScreenshot() {
  FSaveDialog->SetInitialDir(FPicturesFolder);
  if (!FSaveDialog->Execute()) return;
  const int quality = 100;
  const QString fileName = FSaveDialog->FileName;
  const QImage picture = FView->MakeScreenshot();
  // Without a graphics device there is no picture to save.
  if (picture.isNull()) throw Exception("The view could not be drawn for the screenshot.");
  screenshot::SaveToFile(picture, fileName, quality);
}

std::unique_ptr<screenshot::ISaveDialog> TMainWindow::ReplaceSaveDialog(
    std::unique_ptr<screenshot::ISaveDialog> dialog) {
  std::swap(dialog, FSaveDialog);
  return dialog;
}

void TMainWindow::ShowAbout() {
  if (!FAboutWindow) return;
  // Back from whatever state it is in: hidden, minimised, or behind the main window.
  FAboutWindow->setWindowState(FAboutWindow->windowState() & ~Qt::WindowMinimized);
  FAboutWindow->show();
  FAboutWindow->raise();
  FAboutWindow->activateWindow();
}

// --- Window --------------------------------------------------------------------------------

bool TMainWindow::FullScreen() const {
  return FFullScreen->FullScreen();
}

void TMainWindow::SetFullScreen(bool value) {
  if (!value && FFullScreen->FullScreen() && !FFrameCentred) {
    FFrameCentred = true;
    FCentreFramePending = true;
    FFrameTries = kFrameTries;
  }
  FFullScreen->SetFullScreen(value);
}

void TMainWindow::LayOutChildren() {
  FView->setGeometry(rect());
  FOverlays.NameLabel->setGeometry(0, 0, FView->width(), kLabelHeight);
}

void TMainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOutChildren();
  PlaceFactSheet();
  CentreFrameOnce();
}

void TMainWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  CentreFrameOnce();
}

void TMainWindow::CentreFrameOnce() {
  if (!FCentreFramePending || !windowHandle() || !screen() ||
      (windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized | Qt::WindowMinimized)))
    return;
  const QMargins frame = windowHandle()->frameMargins();
  if (frame.isNull()) {
    // The window manager may frame the window without moving or resizing it (openbox does
    // when the window fills a small screen): no event would come to try again.
    if (FFrameTries-- > 0) QTimer::singleShot(kFrameTryMs, this, &TMainWindow::CentreFrameOnce);
    return;
  }
  FCentreFramePending = false;
  setGeometry(PlaceClientArea(kClientSize, frame, screen()->availableGeometry()));
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program exactly as "Exit" does.
  event->accept();
  TApplication::Terminate();
}
