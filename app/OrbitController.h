#pragma once
// The camera's orbit about the planet: drags and the arrow keys turn the camera rig, the
// wheel, pinches and zoom keys move the camera nearer or farther in steps. It remembers
// what these need between events (the drag, the wheel's rest, the pinch's last distance)
// and has no widget: the main window hands it the events.

#include <cstdint>

#include "runtime3d/core/Types.h"
#include "runtime3d/input/WheelNotches.h"

namespace rt3d {
class TCamera;
class TDummy;
}  // namespace rt3d

class TOrbitController {
 public:
  // The camera's distance limits, both refused: every step stays strictly between them.
  static constexpr float kNearest = -5;
  static constexpr float kFarthest = -40;
  // The pixels of drag one press of an arrow key stands for.
  static constexpr double kArrowKeyDrag = 20;

  // The rig turns about the planet and carries the camera, which looks along its Z.
  TOrbitController(rt3d::TDummy& rig, rt3d::TCamera& camera);

  // A press on the view or a body starts a drag at (x, y).
  void StartDrag(float x, float y);
  // The pointer moved with `shift` held: during a drag the rig turns by the move. With no
  // drag button held the release went somewhere else and the drag is over.
  void DragTo(rt3d::TShiftState shift, float x, float y);
  // The release, or the view lost the pointer mid-drag (a menu, another window).
  void EndDrag();
  bool Dragging() const { return FDragging; }
  // The pointer position last seen during a drag.
  rt3d::TPointF LastDragPoint() const { return FLastDragPoint; }

  // Turns the rig as a drag of (dx, dy) pixels does, more the farther the camera.
  void Turn(double dx, double dy);
  // An arrow key: right and down are +1, left and up -1.
  void TurnByArrow(int right, int down) { Turn(right * kArrowKeyDrag, down * kArrowKeyDrag); }

  // One zoom step toward the planet (in) or away from it; refused at the limits.
  void ZoomStep(bool in);
  // A wheel turn (120 is one notch away from the user): one step per whole notch,
  // however finely the wheel reports its turn. A sideways tilt does not zoom.
  void Wheel(rt3d::TShiftState shift, int delta);
  // A step of a pinch (gesture flags and finger distance): a change of more than 4 since
  // the last step zooms one step, nearer when the fingers part. The beginning only notes
  // the distance, the end does nothing.
  void Pinch(std::uint8_t flags, std::int32_t distance);
  std::int32_t LastPinchDistance() const { return FLastPinchDistance; }

  // Forgets the drag, the wheel's rest and the pinch.
  void Reset();

 private:
  rt3d::TDummy& FRig;
  rt3d::TCamera& FCamera;
  bool FDragging = false;
  rt3d::TPointF FLastDragPoint;
  std::int32_t FLastPinchDistance = 0;
  rt3d::TWheelNotches FWheelNotches;
};
