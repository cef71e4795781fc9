#pragma once
// The main window: the 3D view with its overlays, and all of the viewer's handlers.

#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/OrbitController.h"
#include "runtime3d/core/Types.h"
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

  // --- What the window shows ---------------------------------------------------------------
  rt3d::TViewport3D* View() const { return FView; }
  // The 3D objects in the view, as the scene's builder made them.
  const orvanth::TScene& Scene() const { return FScene; }
  // The 2D controls over the view and the context menu with its commands.
  const orvanth::TOverlays& Overlays() const { return FOverlays; }
  QPushButton* BodyButton(orvanth::TBodyId id) const { return FOverlays.BodyButtons[id]; }
  const orvanth::TMenuActions& Actions() const { return FOverlays.Actions; }
  // Drags, wheel, pinch and zoom keys turn and move the camera through it.
  TOrbitController& Orbit() { return *FOrbit; }

  // Names a body and fills the fact sheet with its facts.
  void ShowBody(orvanth::TBodyId id);
  // What a body's button does: shows the body and flies the camera to it.
  void SelectBody(orvanth::TBodyId id);

  // Asks where a screenshot goes; returns the dialog it replaces.
  std::unique_ptr<orvanth::screenshot::ISaveDialog> ReplaceSaveDialog(
      std::unique_ptr<orvanth::screenshot::ISaveDialog> dialog);
  orvanth::screenshot::ISaveDialog& SaveDialog() { return *FSaveDialog; }
  // Where screenshots are offered, with a final separator; empty when it could not be made.
  const QString& PicturesFolder() const { return FPicturesFolder; }
  // Shown by "About"; set by whoever makes the About window.
  void SetAboutWindow(QWidget* about) { FAboutWindow = about; }

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
  void WireMenu();
  // Readies the viewer once the scene is built: facts, pivots, the planet, the opening zoom.
  void SetUpViewer();
  void LayOutChildren();
  // Keeps the fact sheet's two columns beside the view's centre line.
  void PlaceFactSheet();
  // Placed before it had a frame, the window could only be centred by its client area.
  // The first time it leaves full screen, once the window manager has told the frame's
  // size, the frame is centred instead, and shrunk when the frame would not fit on the
  // screen; after that the window keeps whatever place it has.
  void CentreFrameOnce();

  // --- Handlers ----------------------------------------------------------------------------
  // The window's keys: space, 1 to 5, +, = and -, the arrows, Page Up and Down, Escape,
  // the menu key and Shift+F10 (the menu's commands have shortcuts of their own).
  void HandleKeyDown(std::uint16_t& Key, char16_t& KeyChar, rt3d::TShiftState Shift);
  // A press on a body's sphere: names it and starts a drag (a right press opens the menu).
  void PressBody(orvanth::TBodyId id, rt3d::TMouseButton Button, float X, float Y);
  void HandleGesture(const rt3d::TGestureEventInfo& EventInfo, bool& Handled);
  void TogglePanel();
  // Opens the context menu in the middle of the view, for the keyboard.
  void OpenMenuAtView();

  // The context menu's commands; the switches follow their items' marks.
  void SetAutoRotate(bool on);
  void SetNamesShown(bool on);
  void SetInfoShown(bool on);
  void SaveScreenshot();
  void ShowAbout();

  rt3d::TTreeObject FComponents;  // the window's non-visual runtime objects (materials)
  rt3d::TViewport3D* FView = nullptr;
  orvanth::TScene FScene;
  orvanth::TOverlays FOverlays;
  std::optional<TOrbitController> FOrbit;  // made once the scene is built
  // The value column of each body's fact sheet.
  orvanth::TByBody<QString> FBodyFacts;
  QString FPicturesFolder;
  QWidget* FAboutWindow = nullptr;
  std::unique_ptr<orvanth::screenshot::ISaveDialog> FSaveDialog;
  std::unique_ptr<rt3d::TGestureManager> FGestureManager;
  // Attached to their widgets, which own them.
  rt3d::TWidgetGestureControl* FViewportGestures = nullptr;
  rt3d::TWidgetGestureControl* FWindowGestures = nullptr;
  rt3d::TTouchInput* FTouchInput = nullptr;
  rt3d::TWindowKeyInput* FKeyInput = nullptr;
  rt3d::TFullScreenController* FFullScreen = nullptr;
  bool FFrameCentred = false;        // the first leave from full screen has come
  bool FCentreFramePending = false;  // and the frame is to be centred when known
  int FFrameTries = 0;               // looks left for a frame that came without an event
};

// The main window of the running program.
extern TMainWindow* TheMainWindow;
