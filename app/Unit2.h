#pragma once
// The main window: the 3D view with its overlays, and all of the viewer's handlers.

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>

#include "runtime3d/core/Types.h"
#include "runtime3d/render/Viewport3D.h"
#include "scene/Overlays.h"
#include "scene/SceneDefinition.h"
#include "screenshot/SaveDialog.h"

namespace rt3d {
class TGestureManager;
class TWidgetGestureControl;
class TTouchInput;
class TWindowKeyInput;
class TFullScreenController;
}  // namespace rt3d

class TForm2 : public QWidget {
  Q_OBJECT

 public:
  // textures: images already being decoded (see orvanth::StartDecodingTextures); when
  // null the window starts decoding them itself.
  explicit TForm2(std::unique_ptr<rt3d::TDecodeBatch> textures = nullptr,
                  QWidget* parent = nullptr);
  ~TForm2() override;

  // --- Components, by their stored names ---------------------------------------------------
  rt3d::TViewport3D* Viewport3D1 = nullptr;
  rt3d::TSphere* Sphere1 = nullptr;
  rt3d::TSphere* Sphere2 = nullptr;
  rt3d::TSphere* Sphere3 = nullptr;
  rt3d::TSphere* Sphere4 = nullptr;
  rt3d::TSphere* Sphere5 = nullptr;
  rt3d::TSphere* Sphere6 = nullptr;
  rt3d::TDummy* Dummy1 = nullptr;
  rt3d::TCamera* Camera1 = nullptr;
  rt3d::TLight* Light1 = nullptr;
  std::array<rt3d::TFloatAnimation*, 5> FloatAnimations{};  // FloatAnimation1..5
  QLabel* Label1 = nullptr;
  orvanth::TText* Text1 = nullptr;
  orvanth::TText* Text2 = nullptr;
  QFrame* Panel1 = nullptr;
  QPushButton* Button1 = nullptr;   // Ganymede
  QPushButton* Button2 = nullptr;   // Callisto
  QPushButton* Button4 = nullptr;   // Io
  QPushButton* Button8 = nullptr;   // Europa
  QPushButton* Button11 = nullptr;  // Orvanth
  QMenu* PopupMenu1 = nullptr;
  QAction* MenuItem1 = nullptr;  // Auto-rotate
  QAction* MenuItem2 = nullptr;  // Show names
  QAction* MenuItem3 = nullptr;  // Show info
  QAction* MenuItem5 = nullptr;  // Full screen
  QAction* MenuItem7 = nullptr;  // Screenshot
  QAction* MenuItem6 = nullptr;  // About
  QAction* MenuItem4 = nullptr;  // Exit
  std::unique_ptr<orvanth::screenshot::ISaveDialog> SaveDialog1;
  std::unique_ptr<rt3d::TGestureManager> GestureManager1;

  // The pointer position last seen during a drag.
  rt3d::TPointF FDown;

  // --- Handlers ----------------------------------------------------------------------------
  void FormCreate();
  void FormKeyDown(std::uint16_t& Key, char16_t& KeyChar, rt3d::TShiftState Shift);
  void FormResize();

  void ShowBodyInfo(int index);
  // The five body buttons; index is the body's.
  void BodyButtonClick(int index);
  // The pointer handlers of the five body spheres; index is the body's.
  void SphereMouseDown(int index, QObject* Sender, rt3d::TMouseButton Button,
                       rt3d::TShiftState Shift, float X, float Y);
  void SphereMouseMove(QObject* Sender, rt3d::TShiftState Shift, float X, float Y);
  void SphereMouseUp(QObject* Sender, rt3d::TMouseButton Button, rt3d::TShiftState Shift, float X,
                     float Y);
  void SphereDblClick();

  void Viewport3D1MouseDown(QObject* Sender, rt3d::TMouseButton Button, rt3d::TShiftState Shift,
                            float X, float Y);
  void Viewport3D1MouseMove(QObject* Sender, rt3d::TShiftState Shift, float X, float Y);
  void Viewport3D1MouseUp(QObject* Sender, rt3d::TMouseButton Button, rt3d::TShiftState Shift,
                          float X, float Y);
  void Viewport3D1MouseWheel(QObject* Sender, rt3d::TShiftState Shift, int WheelDelta,
                             bool& Handled);
  void Viewport3D1Gesture(const rt3d::TGestureEventInfo& EventInfo, bool& Handled);
  void Viewport3D1DblClick();
  void DoZoom(bool aIn);

  void MenuItem1Click();  // Auto-rotate
  void MenuItem2Click();  // Show names
  void MenuItem3Click();  // Show info
  void MenuItem5Click();  // Full screen
  void MenuItem7Click();  // Screenshot
  void MenuItem6Click();  // About
  void MenuItem4Click();  // Exit

  // --- Window state ------------------------------------------------------------------------
  bool FullScreen() const;
  void SetFullScreen(bool value);

  rt3d::TWidgetGestureControl& ViewportGestures() { return *FViewportGestures; }
  rt3d::TWidgetGestureControl& WindowGestures() { return *FWindowGestures; }
  rt3d::TTouchInput& TouchInput() { return *FTouchInput; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void WireHandlers();
  void LayOutChildren();

  rt3d::TTreeObject FComponents;  // the window's non-visual runtime objects (materials)
  orvanth::TScene FScene;
  // Attached to their widgets, which own them.
  rt3d::TWidgetGestureControl* FViewportGestures = nullptr;
  rt3d::TWidgetGestureControl* FWindowGestures = nullptr;
  rt3d::TTouchInput* FTouchInput = nullptr;
  rt3d::TWindowKeyInput* FKeyInput = nullptr;
  rt3d::TFullScreenController* FFullScreen = nullptr;
};

// Program-wide state of the main window's unit.
extern TForm2* Form2;
extern bool Dragging;
extern std::int32_t LastZoomDistance;
extern std::array<QString, 6> BodyFacts;  // indexed by body index 1..5
extern QString PicturesFolder;
