#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <cstdlib>

#include "app/Application.h"
#include "app/ViewAccessible.h"
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
constexpr float kOpeningDistance = -38;
constexpr float kViewDistance = -15;
constexpr float kOpeningSeconds = 3;
// The pixels of drag one press of an arrow key stands for.
constexpr double kArrowKeyDrag = 20;

const char* const kViewName = "3D view of Orvanth and its moons";
const char* const kViewDescription =
    "Drag or use the arrow keys to turn the view around the planet; the wheel, plus and minus "
    "zoom; keys 1 to 5 select Orvanth, Io, Europa, Ganymede and Callisto; space shows or "
    "hides the body buttons; the menu key opens the menu.";
// Zoom steps keep the camera between -40 and -5: never more than 35 in a row succeed.
constexpr int kMostZoomSteps = 40;

}  // namespace

TMainWindow::TMainWindow(TTextureImages textures, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QStringLiteral("Moons of Orvanth"));
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);
  resize(kClientSize);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect centred(QPoint(), kClientSize);
    centred.moveCenter(screen->availableGeometry().center());
    move(centred.topLeft());
  }

  const TTextureImages images =
      textures.Full || textures.Small ? std::move(textures) : StartDecodingTextures();

  // Before the view exists: a screen reader may ask about it from its first moment.
  InstallViewAccessible();
  // The view, then the scene inside it in the order it is defined.
  View = new TViewport3D(this);
  View->setObjectName(QStringLiteral("View"));
  View->setGeometry(rect());
  // The view holds the window's keyboard focus and Tab comes back to it from the buttons;
  // a press on it still leaves a focused button focused.
  View->setFocusPolicy(Qt::TabFocus);
  View->setAccessibleName(QString::fromUtf8(kViewName));
  View->setAccessibleDescription(QString::fromUtf8(kViewDescription));
  FScene = BuildScene(*View->Root(), FComponents, images);
  Planet = FScene.Planet;
  Sky = FScene.Sky;
  Io = FScene.Io;
  Europa = FScene.Europa;
  Ganymede = FScene.Ganymede;
  Callisto = FScene.Callisto;
  CameraRig = FScene.CameraRig;
  Camera = FScene.Camera;
  Light = FScene.Light;
  BodyAnimations = FScene.BodyAnimations;
  View->SetCamera(Camera);
  View->SetUsingDefaultCamera(false);
  View->SetColor(claNull);

  const TOverlays overlays = BuildOverlays(this, View);
  NameLabel = overlays.NameLabel;
  ButtonPanel = overlays.ButtonPanel;
  for (const TBodyInfo& body : kBodies) {
    BodyButtons[size_t(body.Index - 1)] = overlays.ButtonNamed(body.Button);
  }
  ContextMenu = overlays.ContextMenu;
  AutoRotateAction = overlays.MenuItemNamed("AutoRotateAction");
  ShowNamesAction = overlays.MenuItemNamed("ShowNamesAction");
  ShowInfoAction = overlays.MenuItemNamed("ShowInfoAction");
  FullScreenAction = overlays.MenuItemNamed("FullScreenAction");
  ScreenshotAction = overlays.MenuItemNamed("ScreenshotAction");
  AboutAction = overlays.MenuItemNamed("AboutAction");
  ExitAction = overlays.MenuItemNamed("ExitAction");
  FactSheetCaptions = overlays.FactSheetCaptions;
  FactSheetValues = overlays.FactSheetValues;
  View->SetPopupMenu(ContextMenu);

  auto saveDialog = std::make_unique<screenshot::TSaveDialog>(this);
  saveDialog->DefaultExt = QStringLiteral("jpg");
  saveDialog->Filter = QStringLiteral("jpg|*.jpg|bmp|*.bmp");
  SaveDialog = std::move(saveDialog);

  GestureManager = std::make_unique<TGestureManager>();
  GestureManager->SetSensitivity(80);
  FWindowGestures = TWidgetGestureControl::Ensure(this);
  FViewportGestures = TWidgetGestureControl::Ensure(View);
  FViewportGestures->Touch().SetGestureManager(GestureManager.get());
  FViewportGestures->Touch().SetInteractiveGestures(
      {TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap});
  FTouchInput = new TTouchInput(View);
  FTouchInput->BodyAt = [this](const QPointF& p) {
    return View->ObjectAtPoint(
                   TPointF{float(View->mapToGlobal(p).x()), float(View->mapToGlobal(p).y())})
               .Object != nullptr;
  };
  FKeyInput = new TWindowKeyInput(this);
  FFullScreen = new TFullScreenController(this);

  WireHandlers();
  SetUpViewer();
  // The view keeps the keyboard focus until a button is clicked: activation would
  // otherwise hand it to the first button, and the space bar would click that button
  // instead of toggling the panel.
  View->setFocus();
  // Stored as full screen: applied when the window is first shown, after centring.
  FFullScreen->SetFullScreen(true);
}

TMainWindow::~TMainWindow() {
  // The 3D objects go with the view; the material sources after them.
  delete View;
  View = nullptr;
  if (TheMainWindow == this) TheMainWindow = nullptr;
}

void TMainWindow::WireHandlers() {
  View->OnMouseDown = [this](QObject* s, TMouseButton b, TShiftState sh, float x, float y) {
    StartDrag(s, b, sh, x, y);
  };
  View->OnMouseMove = [this](QObject* s, TShiftState sh, float x, float y) {
    DragView(s, sh, x, y);
  };
  View->OnMouseUp = [this](QObject* s, TMouseButton b, TShiftState sh, float x, float y) {
    EndDrag(s, b, sh, x, y);
  };
  View->OnMouseWheel = [this](QObject* s, TShiftState sh, int delta, bool& handled) {
    ZoomByWheel(s, sh, delta, handled);
  };
  View->OnDblClick = [this](QObject*) { TogglePanel(); };
  View->OnPointerLost = [this](QObject*) { AbandonDrag(); };
  FViewportGestures->OnGesture = [this](TGestureControl*, const TGestureEventInfo& info,
                                        bool& handled) { HandleGesture(info, handled); };

  for (const TBodyInfo& body : kBodies) {
    TSphere* sphere = FScene.BodySphere(body.Index);
    const int index = body.Index;
    sphere->OnMouseDown = [this, index](TTreeObject*, TMouseButton b, TShiftState sh, float x,
                                        float y, const TVector3D&,
                                        const TVector3D&) { PressBody(index, View, b, sh, x, y); };
    sphere->OnMouseMove = [this](TTreeObject*, TShiftState sh, float x, float y, const TVector3D&,
                                 const TVector3D&) { DragView(View, sh, x, y); };
    sphere->OnMouseUp = [this](TTreeObject*, TMouseButton b, TShiftState sh, float x, float y,
                               const TVector3D&, const TVector3D&) { EndDrag(View, b, sh, x, y); };
    sphere->OnDblClick = [this](TTreeObject*) { TogglePanel(); };
    connect(BodyButton(index), &QPushButton::clicked, this,
            [this, index] { TApplication::RunHandler([&] { SelectBody(index); }); });
  }

  // A switch item flips its own mark in its handler, so undo the flip Qt makes first.
  auto wire = [this](QAction* item, void (TMainWindow::*handler)()) {
    connect(item, &QAction::triggered, this, [this, item, handler] {
      if (item->isCheckable()) item->setChecked(!item->isChecked());
      TApplication::RunHandler([&] { (this->*handler)(); });
    });
  };
  wire(AutoRotateAction, &TMainWindow::ToggleAutoRotate);
  wire(ShowNamesAction, &TMainWindow::ToggleNames);
  wire(ShowInfoAction, &TMainWindow::ToggleInfo);
  wire(FullScreenAction, &TMainWindow::ToggleFullScreen);
  wire(ScreenshotAction, &TMainWindow::SaveScreenshot);
  wire(AboutAction, &TMainWindow::ShowAbout);
  wire(ExitAction, &TMainWindow::ExitViewer);

  FKeyInput->OnKeyDown = [this](QObject*, std::uint16_t& key, char16_t& keyChar,
                                TShiftState shift) { HandleKeyDown(key, keyChar, shift); };
}

// --- Start-up ------------------------------------------------------------------------------

void TMainWindow::SetUpViewer() {
  screenshot::PreparePicturesFolder(PicturesFolder);
  Dragging = false;
  FactSheetCaptions->setVisible(false);
  FactSheetValues->setVisible(false);
  NameLabel->setVisible(true);
  SetOrbitPivots(FScene);
  FactSheetCaptions->SetText(FactCaptions());
  for (int index = 1; index <= kBodyCount; ++index) BodyFacts[size_t(index)] = FactValues(index);
  ShowBody(1);
  // The opening zoom: from afar to the usual distance in three seconds.
  Camera->Position().SetZ(kOpeningDistance);
  AnimateFloat(*Camera, "position.z", kViewDistance, kOpeningSeconds, TAnimationType::In,
               TInterpolationType::Linear);
}

// --- Bodies and overlays -------------------------------------------------------------------

void TMainWindow::ShowBody(int index) {
  const QString name = QString::fromUtf8(Body(index).Name);
  const bool another = NameLabel->text() != name;
  NameLabel->setText(name);
  FactSheetValues->SetText(BodyFacts[size_t(index)]);
  if (another) AnnounceShownBody(View, name);
}

void TMainWindow::SelectBody(int index) {
  const TBodyInfo& body = Body(index);
  ShowBody(index);
  Camera->Position().SetZ(body.CameraDistanceZ);
  CameraRig->RotationAngle().SetX(0);
  CameraRig->RotationAngle().SetY(0);
  // The moon then stands between the camera and the planet, in the middle of the view.
  CameraRig->RotationAngle().SetY(FScene.BodySphere(index)->RotationAngle().Y() + body.YawOffset);
}

void TMainWindow::PressBody(int index, QObject* Sender, TMouseButton Button, TShiftState Shift,
                            float X, float Y) {
  if (Button == TMouseButton::mbRight) {
    ContextMenu->popup(mapToGlobal(QPointF(X, Y)).toPoint());
    return;
  }
  ShowBody(index);
  StartDrag(Sender, Button, Shift, X, Y);
}

void TMainWindow::TogglePanel() {
  ButtonPanel->setVisible(!ButtonPanel->isVisible());
}

void TMainWindow::HandleKeyDown(std::uint16_t& Key, char16_t& KeyChar, TShiftState Shift) {
  // By the character typed, wherever the layout puts it.
  if (KeyChar == u' ') return TogglePanel();
  if (KeyChar >= u'1' && KeyChar <= u'5') return SelectBody(KeyChar - u'0');
  if (KeyChar == u'+' || KeyChar == u'=') return ZoomStep(true);
  if (KeyChar == u'-') return ZoomStep(false);
  // By the key; with Ctrl or Alt held they belong to the desktop. The menu's commands
  // come as its items' shortcuts and never get here.
  if (Shift & (ssCtrl | ssAlt)) return;
  switch (Key) {
    case vkLeft:
      return TurnRig(-kArrowKeyDrag, 0);
    case vkRight:
      return TurnRig(kArrowKeyDrag, 0);
    case vkUp:
      return TurnRig(0, -kArrowKeyDrag);
    case vkDown:
      return TurnRig(0, kArrowKeyDrag);
    case vkPrior:
      return ZoomStep(true);
    case vkNext:
      return ZoomStep(false);
    case vkEscape:
      if (FullScreenAction->isChecked()) ToggleFullScreen();
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
  ContextMenu->popup(View->mapToGlobal(View->rect().center()));
}

void TMainWindow::PlaceFactSheet() {
  // Captions end 7 pixels left of the view's centre line, values start 7 right of it.
  const float w = float(View->width());
  FactSheetCaptions->move(qRound(w / 2 - 200 - 7), 40);
  FactSheetValues->move(qRound(w / 2 + 7), 40);
}

// --- Orbit and zoom ------------------------------------------------------------------------

void TMainWindow::StartDrag(QObject*, TMouseButton, TShiftState, float X, float Y) {
  Dragging = true;
  LastDragPoint.X = X;
  LastDragPoint.Y = Y;
}

void TMainWindow::DragView(QObject*, TShiftState Shift, float X, float Y) {
  if (!Dragging) return;
  // With no drag button held, the release went somewhere else: the drag is over.
  if (!(Shift & (ssLeft | ssMiddle))) {
    Dragging = false;
    return;
  }
  TurnRig(double(X) - LastDragPoint.X, double(Y) - LastDragPoint.Y);
  LastDragPoint.X = X;
  LastDragPoint.Y = Y;
}

void TMainWindow::TurnRig(double dx, double dy) {
  const double z = Camera->Position().Z();
  // The farther the camera, the more a pixel of travel turns the rig.
  const double f = (-7 - z) / 33 + 0.1;
  TPosition3D& angle = CameraRig->RotationAngle();
  angle.SetX(float(angle.X() - dy * 0.3 * f));
  angle.SetY(float(dx * 0.3 * f + angle.Y()));
}

void TMainWindow::EndDrag(QObject*, TMouseButton, TShiftState, float, float) {
  Dragging = false;
}

void TMainWindow::AbandonDrag() {
  Dragging = false;
}

void TMainWindow::ZoomStep(bool in) {
  const float z = float(double(Camera->Position().Z()) + (in ? 1 : -1));
  if (z < -5 && z > -40) Camera->Position().SetZ(z);
}

void TMainWindow::ZoomByWheel(QObject*, TShiftState Shift, int WheelDelta, bool& Handled) {
  Handled = true;
  // Tilting the wheel sideways does not zoom.
  if (Shift & ssHorizontal) return;
  // One step per notch of a classic wheel, however finely the wheel reports its turn;
  // more steps than the range between the limits holds would all be refused.
  const int notches = WheelNotches.Add(WheelDelta);
  const int steps = std::min(std::abs(notches), kMostZoomSteps);
  for (int i = 0; i < steps; ++i) ZoomStep(notches > 0);
}

void TMainWindow::HandleGesture(const TGestureEventInfo& EventInfo, bool& Handled) {
  switch (EventInfo.GestureID) {
    case sgiLeft:
    case sgiRight:
    case igiPan:
      Handled = true;
      break;
    case igiZoom:
      if (EventInfo.Flags & gfBegin) LastPinchDistance = EventInfo.Distance;
      if (!(EventInfo.Flags & (gfBegin | gfEnd))) {
        const std::int32_t d = EventInfo.Distance - LastPinchDistance;
        if (std::abs(d) > 4) ZoomStep(d > 0);
        LastPinchDistance = EventInfo.Distance;
      }
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

void TMainWindow::ToggleAutoRotate() {
  AutoRotateAction->setChecked(!AutoRotateAction->isChecked());
  for (TFloatAnimation* animation : BodyAnimations) {
    if (AutoRotateAction->isChecked()) {
      animation->Start();
    } else {
      animation->StopAtCurrent();
    }
  }
}

void TMainWindow::ToggleNames() {
  ShowNamesAction->setChecked(!ShowNamesAction->isChecked());
  NameLabel->setVisible(ShowNamesAction->isChecked());
}

void TMainWindow::ToggleInfo() {
  ShowInfoAction->setChecked(!ShowInfoAction->isChecked());
  FactSheetCaptions->setVisible(ShowInfoAction->isChecked());
  FactSheetValues->setVisible(ShowInfoAction->isChecked());
}

void TMainWindow::ToggleFullScreen() {
  FullScreenAction->setChecked(!FullScreenAction->isChecked());
  SetFullScreen(FullScreenAction->isChecked());
}

void TMainWindow::SaveScreenshot() {
  SaveDialog->SetInitialDir(PicturesFolder);
  if (!SaveDialog->Execute()) return;
  const int quality = 100;
  const QString fileName = SaveDialog->FileName;
  const QImage picture = View->MakeScreenshot();
  // Without a graphics device there is no picture to save.
  if (picture.isNull()) throw Exception("The view could not be drawn for the screenshot.");
  screenshot::SaveToFile(picture, fileName, quality);
}

void TMainWindow::ShowAbout() {
  if (!AboutWindow) return;
  // Back from whatever state it is in: hidden, minimised, or behind the main window.
  AboutWindow->setWindowState(AboutWindow->windowState() & ~Qt::WindowMinimized);
  AboutWindow->show();
  AboutWindow->raise();
  AboutWindow->activateWindow();
}

void TMainWindow::ExitViewer() {
  TApplication::Terminate();
}

// --- Window --------------------------------------------------------------------------------

bool TMainWindow::FullScreen() const {
  return FFullScreen->FullScreen();
}

void TMainWindow::SetFullScreen(bool value) {
  if (!value && FFullScreen->FullScreen() && !FFrameCentred) {
    FFrameCentred = true;
    FCentreFramePending = true;
  }
  FFullScreen->SetFullScreen(value);
}

void TMainWindow::LayOutChildren() {
  View->setGeometry(rect());
  NameLabel->setGeometry(0, 0, View->width(), kLabelHeight);
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
  if (frame.isNull()) return;
  FCentreFramePending = false;
  QRect placed(QPoint(), size().grownBy(frame));
  placed.moveCenter(screen()->availableGeometry().center());
  setGeometry(QRect(placed.topLeft() + QPoint(frame.left(), frame.top()), size()));
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program exactly as "Exit" does.
  event->accept();
  TApplication::Terminate();
}
