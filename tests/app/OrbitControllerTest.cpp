// The orbit's working state and arithmetic, through the controller's own interface: a
// camera rig and a camera with no view around them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "app/OrbitController.h"
#include "runtime3d/core/Camera.h"

using namespace rt3d;

namespace {

class OrbitController : public ::testing::Test {
 protected:
  OrbitController() {
    rig.AddObject(camera);
    camera->Position().SetZ(-15);
  }

  float CameraZ() const { return camera->Position().Z(); }
  // The rig's angles turned the short way from 0 (the rig keeps them in [0, 360)).
  double RigX() const { return std::remainder(double(rig.RotationAngle().X()), 360.0); }
  double RigY() const { return std::remainder(double(rig.RotationAngle().Y()), 360.0); }

  TDummy rig{"CameraRig"};
  TCamera* camera = new TCamera("Camera");
  TOrbitController orbit{rig, *camera};
};

TEST_F(OrbitController, ADragTurnsOnlyWhileAButtonIsHeld) {
  EXPECT_FALSE(orbit.Dragging());
  orbit.DragTo(ssLeft, 50, 50);
  EXPECT_EQ(rig.RotationAngle().Y(), 0) << "a move without a press turns nothing";

  orbit.StartDrag(10, 20);
  EXPECT_TRUE(orbit.Dragging());
  EXPECT_EQ(orbit.LastDragPoint().X, 10);
  EXPECT_EQ(orbit.LastDragPoint().Y, 20);
  orbit.DragTo(ssLeft, 110, 20);
  EXPECT_NEAR(RigY(), 10.2727, 1e-3) << "100 x 0.3 x (8/33 + 0.1)";
  EXPECT_EQ(orbit.LastDragPoint().X, 110);
  orbit.DragTo(ssMiddle, 110, 120);
  EXPECT_NEAR(RigX(), -10.2727, 1e-3) << "the middle button drags too";

  // With no drag button held the release went elsewhere: the drag is over, nothing turns.
  const float x = rig.RotationAngle().X(), y = rig.RotationAngle().Y();
  orbit.DragTo(ssRight, 300, 300);
  EXPECT_FALSE(orbit.Dragging());
  orbit.DragTo(ssLeft, 400, 400);
  EXPECT_EQ(rig.RotationAngle().X(), x);
  EXPECT_EQ(rig.RotationAngle().Y(), y);

  orbit.StartDrag(0, 0);
  orbit.EndDrag();
  EXPECT_FALSE(orbit.Dragging());
}

TEST_F(OrbitController, ArrowsTurnAsTwentyPixelsOfDrag) {
  struct TCase {
    int Right, Down;
    double TurnX, TurnY;
  };
  const TCase cases[] = {
      {1, 0, 0, 2.05454}, {-1, 0, 0, -2.05454}, {0, 1, -2.05454, 0}, {0, -1, 2.05454, 0}};
  for (const TCase& c : cases) {
    rig.RotationAngle().SetX(0);
    rig.RotationAngle().SetY(0);
    orbit.TurnByArrow(c.Right, c.Down);
    EXPECT_NEAR(RigX(), c.TurnX, 1e-3) << c.Right << "," << c.Down;
    EXPECT_NEAR(RigY(), c.TurnY, 1e-3) << c.Right << "," << c.Down;
  }
}

TEST_F(OrbitController, WheelStepsPerWholeNotchAndTheTiltDoesNothing) {
  struct TCase {
    float From;
    TShiftState Shift;
    int Delta;
    float To;
  };
  const TCase cases[] = {
      {-15, 0, 120, -14},
      {-15, 0, -240, -17},
      {-15, 0, 0, -15},
      {-15, 0, 60, -15},
      {-15, ssHorizontal, 120, -15},
      {-6, 0, 120, -6},
      {-39, 0, -120, -39},
      {-10, 0, 1200, -6},
  };
  for (const TCase& c : cases) {
    orbit.Reset();
    camera->Position().SetZ(c.From);
    orbit.Wheel(c.Shift, c.Delta);
    EXPECT_EQ(CameraZ(), c.To) << "from " << c.From << " by " << c.Delta;
  }
  // Reset drops the rest of a turn.
  camera->Position().SetZ(-15);
  orbit.Wheel(0, 60);
  orbit.Reset();
  orbit.Wheel(0, 60);
  EXPECT_EQ(CameraZ(), -15);
}

TEST_F(OrbitController, PinchStepsOnlyOnChangesAboveFour) {
  struct TStep {
    std::uint8_t Flags;
    std::int32_t Distance;
    float CameraZ;
    std::int32_t Last;  // LastPinchDistance afterwards
  };
  const TStep steps[] = {
      {gfBegin, 100, -15, 100},    // the reference, never a step
      {0, 104, -15, 104},          // a change of 4: none, but the reference moves on
      {0, 109, -14, 109},          // 5: one step nearer
      {0, 130, -13, 130},          // any size: one step
      {0, 125, -14, 125},          // fingers together: farther
      {gfInertia, 119, -15, 119},  // inertia counts as an ordinary event
      {gfEnd, 300, -15, 119},      // the end neither zooms nor stores
      {gfBegin, 10, -15, 10},      // a new pinch: no step however far from the last
      {gfBegin | gfEnd, 50, -15, 50},
  };
  for (const TStep& s : steps) {
    orbit.Pinch(s.Flags, s.Distance);
    EXPECT_EQ(CameraZ(), s.CameraZ) << "flags " << int(s.Flags) << " distance " << s.Distance;
    EXPECT_EQ(orbit.LastPinchDistance(), s.Last)
        << "flags " << int(s.Flags) << " distance " << s.Distance;
  }
  orbit.Reset();
  EXPECT_EQ(orbit.LastPinchDistance(), 0);
}

}  // namespace
