#include "app/Unit2.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>

#include "app/Application.h"
#include "app/Unit1.h"
#include "runtime3d/animation/Animator.h"
#include "runtime3d/core/Exceptions.h"
#include "runtime3d/input/FullScreen.h"
#include "runtime3d/input/Gesture.h"
#include "runtime3d/input/KeyInput.h"
#include "runtime3d/input/TouchInput.h"
#include "runtime3d/input/WidgetGestures.h"
#include "scene/BodyCatalogue.h"
#include "screenshot/BitmapCodecs.h"
#include "screenshot/PicturesFolder.h"

using namespace rt3d;
using namespace orvanth;

TForm2* Form2 = nullptr;
bool Dragging = false;
std::int32_t LastZoomDistance = 0;
std::array<QString, 6> BodyFacts;
QString PicturesFolder;

namespace {

constexpr QSize kClientSize{1332, 829};
constexpr float kOpeningDistance = -38;
constexpr float kViewDistance = -15;
constexpr float kOpeningSeconds = 3;

}  // namespace

TForm2::TForm2(std::unique_ptr<TDecodeBatch> textures, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form2"));
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

  std::shared_ptr<TDecodeBatch> images = textures ? std::move(textures) : StartDecodingTextures();

  // Components in stored order.
  Viewport3D1 = new TViewport3D(this);
  Viewport3D1->setObjectName(QStringLiteral("Viewport3D1"));
  Viewport3D1->setGeometry(rect());
  FScene = BuildScene(*Viewport3D1->Root(), FComponents, images);
  Sphere1 = FScene.Sphere1;
  Sphere2 = FScene.Sphere2;
  Sphere3 = FScene.Sphere3;
  Sphere4 = FScene.Sphere4;
  Sphere5 = FScene.Sphere5;
  Sphere6 = FScene.Sphere6;
  Dummy1 = FScene.Dummy1;
  Camera1 = FScene.Camera1;
  Light1 = FScene.Light1;
  FloatAnimations = FScene.FloatAnimations;
  Viewport3D1->SetCamera(Camera1);
  Viewport3D1->SetUsingDesignCamera(false);
  Viewport3D1->SetColor(claNull);

  const TOverlays overlays = BuildOverlays(this, Viewport3D1);
  Label1 = overlays.Label1;
  Panel1 = overlays.Panel1;
  Button1 = overlays.ButtonNamed("Button1");
  Button2 = overlays.ButtonNamed("Button2");
  Button4 = overlays.ButtonNamed("Button4");
  Button8 = overlays.ButtonNamed("Button8");
  Button11 = overlays.ButtonNamed("Button11");
  PopupMenu1 = overlays.PopupMenu1;
  MenuItem1 = overlays.MenuItemNamed("MenuItem1");
  MenuItem2 = overlays.MenuItemNamed("MenuItem2");
  MenuItem3 = overlays.MenuItemNamed("MenuItem3");
  MenuItem5 = overlays.MenuItemNamed("MenuItem5");
  MenuItem7 = overlays.MenuItemNamed("MenuItem7");
  MenuItem6 = overlays.MenuItemNamed("MenuItem6");
  MenuItem4 = overlays.MenuItemNamed("MenuItem4");
  Text1 = overlays.Text1;
  Text2 = overlays.Text2;
  Viewport3D1->SetPopupMenu(PopupMenu1);

  auto saveDialog = std::make_unique<screenshot::TSaveDialog>(this);
  saveDialog->DefaultExt = QStringLiteral("jpg");
  saveDialog->Filter = QStringLiteral("jpg|*.jpg|bmp|*.bmp");
  SaveDialog1 = std::move(saveDialog);

  GestureManager1 = std::make_unique<TGestureManager>();
  GestureManager1->SetSensitivity(80);
  FWindowGestures = TWidgetGestureControl::Ensure(this);
  FViewportGestures = TWidgetGestureControl::Ensure(Viewport3D1);
  FViewportGestures->Touch().SetGestureManager(GestureManager1.get());
  FViewportGestures->Touch().SetInteractiveGestures(
      {TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap});
  FTouchInput = new TTouchInput(Viewport3D1);
  FTouchInput->BodyAt = [this](const QPointF& p) {
    return Viewport3D1
               ->ObjectAtPoint(TPointF{float(Viewport3D1->mapToGlobal(p).x()),
                                       float(Viewport3D1->mapToGlobal(p).y())})
               .Object != nullptr;
  };
  FKeyInput = new TWindowKeyInput(this);
  FFullScreen = new TFullScreenController(this);

  WireHandlers();
  FormCreate();
  // The window keeps the keyboard focus until a button is clicked: activation would
  // otherwise hand it to the first button, and the space bar would click that button
  // instead of toggling the panel.
  setFocus();
  // Stored as full screen: applied when the window is first shown, after centring.
  FFullScreen->SetFullScreen(true);
}

TForm2::~TForm2() {
  // The 3D objects go with the view; the material sources after them.
  delete Viewport3D1;
  Viewport3D1 = nullptr;
  if (Form2 == this) Form2 = nullptr;
}

void TForm2::WireHandlers() {
  Viewport3D1->OnMouseDown = [this](QObject* s, TMouseButton b, TShiftState sh, float x, float y) {
    Viewport3D1MouseDown(s, b, sh, x, y);
  };
  Viewport3D1->OnMouseMove = [this](QObject* s, TShiftState sh, float x, float y) {
    Viewport3D1MouseMove(s, sh, x, y);
  };
  Viewport3D1->OnMouseUp = [this](QObject* s, TMouseButton b, TShiftState sh, float x, float y) {
    Viewport3D1MouseUp(s, b, sh, x, y);
  };
  Viewport3D1->OnMouseWheel = [this](QObject* s, TShiftState sh, int delta, bool& handled) {
    Viewport3D1MouseWheel(s, sh, delta, handled);
  };
  Viewport3D1->OnDblClick = [this](QObject*) { Viewport3D1DblClick(); };
  FViewportGestures->OnGesture = [this](TGestureControl*, const TGestureEventInfo& info,
                                        bool& handled) { Viewport3D1Gesture(info, handled); };

  for (const TBodyInfo& body : kBodies) {
    TSphere* sphere = FScene.BodySphere(body.Index);
    const int index = body.Index;
    sphere->OnMouseDown = [this, index](TTreeObject*, TMouseButton b, TShiftState sh, float x,
                                        float y, const TVector3D&, const TVector3D&) {
      SphereMouseDown(index, Viewport3D1, b, sh, x, y);
    };
    sphere->OnMouseMove = [this](TTreeObject*, TShiftState sh, float x, float y, const TVector3D&,
                                 const TVector3D&) { SphereMouseMove(Viewport3D1, sh, x, y); };
    sphere->OnMouseUp = [this](TTreeObject*, TMouseButton b, TShiftState sh, float x, float y,
                               const TVector3D&,
                               const TVector3D&) { SphereMouseUp(Viewport3D1, b, sh, x, y); };
    sphere->OnDblClick = [this](TTreeObject*) { SphereDblClick(); };
    QPushButton* button = findChild<QPushButton*>(QString::fromLatin1(body.Button));
    connect(button, &QPushButton::clicked, this,
            [this, index] { TApplication::RunHandler([&] { BodyButtonClick(index); }); });
  }

  // A switch item flips its own mark in its handler, so undo the flip Qt makes first.
  auto wire = [this](QAction* item, void (TForm2::*handler)()) {
    connect(item, &QAction::triggered, this, [this, item, handler] {
      if (item->isCheckable()) item->setChecked(!item->isChecked());
      TApplication::RunHandler([&] { (this->*handler)(); });
    });
  };
  wire(MenuItem1, &TForm2::MenuItem1Click);
  wire(MenuItem2, &TForm2::MenuItem2Click);
  wire(MenuItem3, &TForm2::MenuItem3Click);
  wire(MenuItem5, &TForm2::MenuItem5Click);
  wire(MenuItem7, &TForm2::MenuItem7Click);
  wire(MenuItem6, &TForm2::MenuItem6Click);
  wire(MenuItem4, &TForm2::MenuItem4Click);

  FKeyInput->OnKeyDown = [this](QObject*, std::uint16_t& key, char16_t& keyChar,
                                TShiftState shift) { FormKeyDown(key, keyChar, shift); };
}

// --- Start-up ------------------------------------------------------------------------------

void TForm2::FormCreate() {
  screenshot::PreparePicturesFolder(PicturesFolder);
  Dragging = false;
  Text1->setVisible(false);
  Text2->setVisible(false);
  Label1->setVisible(true);
  SetOrbitPivots(FScene);
  Text1->SetText(FactCaptions());
  for (int index = 1; index <= kBodyCount; ++index) BodyFacts[size_t(index)] = FactValues(index);
  ShowBodyInfo(1);
  // The opening zoom: from afar to the usual distance in three seconds.
  Camera1->Position().SetZ(kOpeningDistance);
  AnimateFloat(*Camera1, "position.z", kViewDistance, kOpeningSeconds, TAnimationType::In,
               TInterpolationType::Linear);
}

// --- Bodies and overlays -------------------------------------------------------------------

void TForm2::ShowBodyInfo(int index) {
  Label1->setText(QString::fromUtf8(Body(index).Name));
  Text2->SetText(BodyFacts[size_t(index)]);
}

void TForm2::BodyButtonClick(int index) {
  const TBodyInfo& body = Body(index);
  ShowBodyInfo(index);
  Camera1->Position().SetZ(body.CameraDistanceZ);
  Dummy1->RotationAngle().SetX(0);
  Dummy1->RotationAngle().SetY(0);
  // The moon then stands between the camera and the planet, in the middle of the view.
  Dummy1->RotationAngle().SetY(FScene.BodySphere(index)->RotationAngle().Y() + body.YawOffset);
}

void TForm2::SphereMouseDown(int index, QObject* Sender, TMouseButton Button, TShiftState Shift,
                             float X, float Y) {
  if (Button == TMouseButton::mbRight) {
    PopupMenu1->popup(mapToGlobal(QPointF(X, Y)).toPoint());
    return;
  }
  ShowBodyInfo(index);
  Viewport3D1MouseDown(Sender, Button, Shift, X, Y);
}

void TForm2::SphereMouseMove(QObject* Sender, TShiftState Shift, float X, float Y) {
  Viewport3D1MouseMove(Sender, Shift, X, Y);
}

void TForm2::SphereMouseUp(QObject* Sender, TMouseButton Button, TShiftState Shift, float X,
                           float Y) {
  Viewport3D1MouseUp(Sender, Button, Shift, X, Y);
}

void TForm2::SphereDblClick() {
  Panel1->setVisible(!Panel1->isVisible());
}

void TForm2::Viewport3D1DblClick() {
  Panel1->setVisible(!Panel1->isVisible());
}

void TForm2::FormKeyDown(std::uint16_t&, char16_t& KeyChar, TShiftState) {
  if (KeyChar == u' ') Panel1->setVisible(!Panel1->isVisible());
}

void TForm2::FormResize() {
  // Captions end 7 pixels left of the view's centre line, values start 7 right of it.
  const float w = float(Viewport3D1->width());
  Text1->move(qRound(w / 2 - 200 - 7), 40);
  Text2->move(qRound(w / 2 + 7), 40);
}

// --- Orbit and zoom ------------------------------------------------------------------------

void TForm2::Viewport3D1MouseDown(QObject*, TMouseButton, TShiftState, float X, float Y) {
  Dragging = true;
  FDown.X = X;
  FDown.Y = Y;
}

void TForm2::Viewport3D1MouseMove(QObject*, TShiftState, float X, float Y) {
  if (!Dragging) return;
  const double z = Camera1->Position().Z();
  // The farther the camera, the more a pixel of travel turns the rig.
  const double f = (-7 - z) / 33 + 0.1;
  TPosition3D& angle = Dummy1->RotationAngle();
  angle.SetX(float(angle.X() - (double(Y) - FDown.Y) * 0.3 * f));
  angle.SetY(float((double(X) - FDown.X) * 0.3 * f + angle.Y()));
  FDown.X = X;
  FDown.Y = Y;
}

void TForm2::Viewport3D1MouseUp(QObject*, TMouseButton, TShiftState, float, float) {
  Dragging = false;
}

void TForm2::DoZoom(bool aIn) {
  const float z = float(double(Camera1->Position().Z()) + (aIn ? 1 : -1));
  if (z < -5 && z > -40) Camera1->Position().SetZ(z);
}

void TForm2::Viewport3D1MouseWheel(QObject*, TShiftState, int WheelDelta, bool& Handled) {
  DoZoom(WheelDelta > 0);
  Handled = true;
}

void TForm2::Viewport3D1Gesture(const TGestureEventInfo& EventInfo, bool& Handled) {
  switch (EventInfo.GestureID) {
    case sgiLeft:
    case sgiRight:
    case igiPan:
      Handled = true;
      break;
    case igiZoom:
      if (EventInfo.Flags & gfBegin) LastZoomDistance = EventInfo.Distance;
      if (!(EventInfo.Flags & (gfBegin | gfEnd))) {
        const std::int32_t d = EventInfo.Distance - LastZoomDistance;
        if (std::abs(d) > 4) DoZoom(d > 0);
        LastZoomDistance = EventInfo.Distance;
      }
      Handled = true;
      break;
    case igiDoubleTap:
      Panel1->setVisible(!Panel1->isVisible());
      Handled = true;
      break;
    default:
      break;
  }
}

// --- Context menu --------------------------------------------------------------------------

void TForm2::MenuItem1Click() {
  MenuItem1->setChecked(!MenuItem1->isChecked());
  for (TFloatAnimation* animation : FloatAnimations) {
    if (MenuItem1->isChecked()) {
      animation->Start();
    } else {
      animation->StopAtCurrent();
    }
  }
}

void TForm2::MenuItem2Click() {
  MenuItem2->setChecked(!MenuItem2->isChecked());
  Label1->setVisible(MenuItem2->isChecked());
}

void TForm2::MenuItem3Click() {
  MenuItem3->setChecked(!MenuItem3->isChecked());
  Text1->setVisible(MenuItem3->isChecked());
  Text2->setVisible(MenuItem3->isChecked());
}

void TForm2::MenuItem5Click() {
  MenuItem5->setChecked(!MenuItem5->isChecked());
  SetFullScreen(MenuItem5->isChecked());
}

void TForm2::MenuItem7Click() {
  SaveDialog1->SetInitialDir(PicturesFolder);
  if (!SaveDialog1->Execute()) return;
  const int quality = 100;
  const QString fileName = SaveDialog1->FileName;
  const QImage picture = Viewport3D1->MakeScreenshot();
  // Without a graphics device there is no picture to save.
  if (picture.isNull()) throw Exception("The view could not be drawn for the screenshot.");
  screenshot::SaveToFile(picture, fileName, quality);
}

void TForm2::MenuItem6Click() {
  if (Form1) Form1->show();
}

void TForm2::MenuItem4Click() {
  TApplication::Terminate();
}

// --- Window --------------------------------------------------------------------------------

bool TForm2::FullScreen() const {
  return FFullScreen->FullScreen();
}

void TForm2::SetFullScreen(bool value) {
  FFullScreen->SetFullScreen(value);
}

void TForm2::LayOutChildren() {
  Viewport3D1->setGeometry(rect());
  Label1->setGeometry(0, 0, Viewport3D1->width(), kLabelHeight);
}

void TForm2::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOutChildren();
  FormResize();
}

void TForm2::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program exactly as "Exit" does.
  event->accept();
  TApplication::Terminate();
}
