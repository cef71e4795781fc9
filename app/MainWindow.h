#pragma once
// The main window: the 3D view with its overlays, and all of the viewer's handlers.

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>

#include "runtime3d/core/Types.h"
#include "runtime3d/input/WheelNotches.h"
#include "runtime3d/render/Viewport3D.h"
#include "scene/BodyCatalogue.h"
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

class TMainWindow : public QWidget {
  Q_OBJECT

 public:
  // textures: images already being decoded (see orvanth::StartDecodingTextures); when
  // none are given the window starts decoding them itself.
  explicit TMainWindow(orvanth::TTextureImages textures = {}, QWidget* parent = nullptr);
  ~TMainWindow() override;

  // --- What the window holds ---------------------------------------------------------------
  rt3d::TViewport3D* View = nullptr;
  // The bodies and the sky.
  rt3d::TSphere* Planet = nullptr;
  rt3d::TSphere* Sky = nullptr;
  rt3d::TSphere* Io = nullptr;
  rt3d::TSphere* Europa = nullptr;
  rt3d::TSphere* Ganymede = nullptr;
  rt3d::TSphere* Callisto = nullptr;
  // The rig turns about the planet and carries the camera and the light.
  rt3d::TDummy* CameraRig = nullptr;
  rt3d::TCamera* Camera = nullptr;
  rt3d::TLight* Light = nullptr;
  // The planet's spin and each moon's orbit, by body index - 1.
  std::array<rt3d::TFloatAnimation*, orvanth::kBodyCount> BodyAnimations{};
  // The 2D controls over the view.
  QLabel* NameLabel = nullptr;
  orvanth::TText* FactSheetCaptions = nullptr;
  orvanth::TText* FactSheetValues = nullptr;
  QFrame* ButtonPanel = nullptr;
  // The body buttons, by body index - 1 (see BodyButton).
  std::array<QPushButton*, orvanth::kBodyCount> BodyButtons{};
  // The context menu and its commands, in display order.
  QMenu* ContextMenu = nullptr;
  QAction* AutoRotateAction = nullptr;
  QAction* ShowNamesAction = nullptr;
  QAction* ShowInfoAction = nullptr;
  QAction* FullScreenAction = nullptr;
  QAction* ScreenshotAction = nullptr;
  QAction* AboutAction = nullptr;
  QAction* ExitAction = nullptr;
  std::unique_ptr<orvanth::screenshot::ISaveDialog> SaveDialog;
  std::unique_ptr<rt3d::TGestureManager> GestureManager;

  // --- What the handlers remember between events -------------------------------------------
  bool Dragging = false;
  // The pointer position last seen during a drag.
  rt3d::TPointF LastDragPoint;
  // The pinch's finger distance at its last step.
  std::int32_t LastPinchDistance = 0;
  // The wheel's turn in notches, with what is left toward the next one.
  rt3d::TWheelNotches WheelNotches;
  // The value column of each body's fact sheet, by body index 1..5.
  std::array<QString, orvanth::kBodyCount + 1> BodyFacts;
  // Where screenshots are offered, with a final separator; empty when it could not be made.
  QString PicturesFolder;
  // Shown by "About"; set by whoever makes the About window.
  QWidget* AboutWindow = nullptr;

  QPushButton* BodyButton(int index) const { return BodyButtons[std::size_t(index - 1)]; }

  // --- Handlers ----------------------------------------------------------------------------
  // Readies the viewer once the scene is built: facts, pivots, the planet, the opening zoom.
  void SetUpViewer();
  // The window's keys: space, 1 to 5, +, = and -, the arrows, Page Up and Down, Escape,
  // the menu key and Shift+F10 (the menu's commands have shortcuts of their own).
  void HandleKeyDown(std::uint16_t& Key, char16_t& KeyChar, rt3d::TShiftState Shift);
  // Keeps the fact sheet's two columns beside the view's centre line.
  void PlaceFactSheet();

  // Names body `index` and fills the fact sheet with its facts.
  void ShowBody(int index);
  // A body button: shows the body and flies the camera to it.
  void SelectBody(int index);
  // A press on a body's sphere: names it and starts a drag (a right press opens the menu).
  void PressBody(int index, QObject* Sender, rt3d::TMouseButton Button, rt3d::TShiftState Shift,
                 float X, float Y);
  void TogglePanel();
  // Opens the context menu in the middle of the view, for the keyboard.
  void OpenMenuAtView();

  // Orbiting: a press starts a drag, each move turns the camera rig, the release ends it.
  void StartDrag(QObject* Sender, rt3d::TMouseButton Button, rt3d::TShiftState Shift, float X,
                 float Y);
  void DragView(QObject* Sender, rt3d::TShiftState Shift, float X, float Y);
  void EndDrag(QObject* Sender, rt3d::TMouseButton Button, rt3d::TShiftState Shift, float X,
               float Y);
  // The view lost the pointer mid-drag (a menu, another window): no release will come.
  void AbandonDrag();
  void ZoomByWheel(QObject* Sender, rt3d::TShiftState Shift, int WheelDelta, bool& Handled);
  // Turns the camera rig as a drag of (dx, dy) pixels does, more the farther the camera.
  void TurnRig(double dx, double dy);
  void HandleGesture(const rt3d::TGestureEventInfo& EventInfo, bool& Handled);
  // One zoom step toward the planet (in) or away from it, within the limits.
  void ZoomStep(bool in);

  // The context menu's commands.
  void ToggleAutoRotate();
  void ToggleNames();
  void ToggleInfo();
  void ToggleFullScreen();
  void SaveScreenshot();
  void ShowAbout();
  void ExitViewer();

  // --- Window state ------------------------------------------------------------------------
  bool FullScreen() const;
  void SetFullScreen(bool value);

  rt3d::TWidgetGestureControl& ViewportGestures() { return *FViewportGestures; }
  rt3d::TWidgetGestureControl& WindowGestures() { return *FWindowGestures; }
  rt3d::TTouchInput& TouchInput() { return *FTouchInput; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void WireHandlers();
  void LayOutChildren();
  // Placed before it had a frame, the window could only be centred by its client area.
  // The first time it leaves full screen, once the window manager has told the frame's
  // size, the frame is centred instead; after that the window keeps whatever place it has.
  void CentreFrameOnce();

  rt3d::TTreeObject FComponents;  // the window's non-visual runtime objects (materials)
  orvanth::TScene FScene;
  // Attached to their widgets, which own them.
  rt3d::TWidgetGestureControl* FViewportGestures = nullptr;
  rt3d::TWidgetGestureControl* FWindowGestures = nullptr;
  rt3d::TTouchInput* FTouchInput = nullptr;
  rt3d::TWindowKeyInput* FKeyInput = nullptr;
  rt3d::TFullScreenController* FFullScreen = nullptr;
  bool FFrameCentred = false;        // the first leave from full screen has come
  bool FCentreFramePending = false;  // and the frame is to be centred when known
};

// The main window of the running program.
extern TMainWindow* TheMainWindow;
