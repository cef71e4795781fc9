#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "runtime3d/core/Camera.h"
#include "runtime3d/core/Light.h"
#include "tests/runtime3d/core/FakeViewport.h"

using namespace rt3d;
using rt3d::testing::FakeViewport;
using rt3d::testing::RecordingContext;

namespace {

constexpr double kDeg = std::numbers::pi / 180;

void ExpectPointNear(const TPoint3D& actual, const TPoint3D& expected, double eps,
                     const std::string& what = {}) {
  EXPECT_NEAR(actual.X, expected.X, eps) << what;
  EXPECT_NEAR(actual.Y, expected.Y, eps) << what;
  EXPECT_NEAR(actual.Z, expected.Z, eps) << what;
}

// The viewer's rig: a dummy at the origin holding the camera 15 units in front of the
// planet (at the origin) and a light 30 units out.
struct Rig : ::testing::Test {
  RecordingContext context{800, 600};
  FakeViewport viewport{&context};
  TViewportRoot root{&viewport};
  TControl3D* planet = new TControl3D("Planet");
  TDummy* rig = new TDummy("CameraRig");
  TCamera* camera = new TCamera("Camera");
  TLight* light = new TLight("Light");

  Rig() {
    root.AddObject(planet);
    root.AddObject(rig);
    rig->AddObject(camera);
    rig->AddObject(light);
    camera->Position().SetPoint({0, 0, -15});
    camera->SetTarget(planet);
    light->Position().SetPoint({0, 0, -30});
    viewport.camera = camera;
  }

  // As a body pick does: back to rest first (all angles 0 reset the orientation), so the
  // rig ends up turned by exactly these angles whatever came before.
  void Turn(float x, float y) {
    rig->RotationAngle().SetX(0);
    rig->RotationAngle().SetY(0);
    rig->RotationAngle().SetX(x);
    rig->RotationAngle().SetY(y);
  }

  // What the viewport does at the start of a frame.
  void BeginFrame() {
    context.BeginScene();
    context.SetCameraMatrix(camera->CameraMatrix());
    context.SetCameraAngleOfView(camera->AngleOfView());
  }

  // The viewport pixel (logical) a world point is drawn at.
  TPointF PixelOf(const TPoint3D& world) {
    const TVector3D clip = TVector3D::Point(world) *
                           (context.CurrentCameraMatrix() * context.CurrentProjectionMatrix());
    const double s = context.Scale();
    return {float((clip.X / clip.W + 1) / 2 * context.Width() / s),
            float((1 - clip.Y / clip.W) / 2 * context.Height() / s)};
  }
};

struct RigAngles {
  float x, y;
  std::string Name() const { return std::to_string(x) + "/" + std::to_string(y); }
};
const RigAngles kRigAngles[] = {{0, 0}, {0, 30}, {0, 90}, {20, 200}, {-35, 45}, {80, 310}};

}  // namespace

// --- View matrix --------------------------------------------------------------------------

TEST_F(Rig, CameraMatrixPutsTheTargetStraightAhead) {
  for (const RigAngles& a : kRigAngles) {
    Turn(a.x, a.y);
    const TMatrix3D view = camera->CameraMatrix();
    const TPoint3D eye = camera->AbsolutePosition().XYZ();
    ExpectPointNear(TransformPoint(eye, view), {0, 0, 0}, 1e-5, a.Name() + " eye");
    // The camera looks along view -z, the target 15 units away.
    ExpectPointNear(TransformPoint({0, 0, 0}, view), {0, 0, -15}, 1e-4, a.Name() + " target");
    // The camera's own +Y axis points down the screen (view -y).
    const TPoint3D up = Normalize(camera->AbsoluteUp().XYZ());
    ExpectPointNear(TransformPoint(eye + up, view), {0, -1, 0}, 1e-5, a.Name() + " up");
    // A rotation and a shift only: lengths are kept.
    EXPECT_NEAR(std::fabs(view.Determinant()), 1, 1e-5) << a.Name();
  }
}

TEST_F(Rig, AtRestTheWorldShowsXRightYDownZAway) {
  const TMatrix3D view = camera->CameraMatrix();
  ExpectPointNear(TransformPoint({1, 0, 0}, view), {1, 0, -15}, 1e-6, "+X to the right");
  ExpectPointNear(TransformPoint({0, 1, 0}, view), {0, -1, -15}, 1e-6, "+Y down");
  ExpectPointNear(TransformPoint({0, 0, 1}, view), {0, 0, -16}, 1e-6, "+Z away");
}

TEST_F(Rig, RigTurnedNinetyDegreesLooksAlongPlusX) {
  Turn(0, 90);
  ExpectPointNear(camera->AbsolutePosition().XYZ(), {-15, 0, 0}, 1e-5, "eye");
  const TMatrix3D view = camera->CameraMatrix();
  // Columns 1 to 3 are x, y and z of the view: x = (0, 0, -1), y = (0, -1, 0), z = (-1, 0, 0).
  const TPoint3D x{view[0][0], view[1][0], view[2][0]};
  const TPoint3D y{view[0][1], view[1][1], view[2][1]};
  const TPoint3D z{view[0][2], view[1][2], view[2][2]};
  ExpectPointNear(x, {0, 0, -1}, 1e-6, "x: world -Z to the right");
  ExpectPointNear(y, {0, -1, 0}, 1e-6, "y: world +Y still down");
  ExpectPointNear(z, {-1, 0, 0}, 1e-6, "z");
  EXPECT_NEAR(view[3][2], -15, 1e-5);
}

TEST_F(Rig, WithoutATargetTheCameraLooksAlongItsOwnZ) {
  const TMatrix3D withTarget = camera->CameraMatrix();
  delete planet;
  EXPECT_EQ(camera->Target(), nullptr) << "a destroyed target is forgotten";
  const TMatrix3D alone = camera->CameraMatrix();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(alone[i][j], withTarget[i][j], 1e-6) << i << j;

  // Turned about its own Y, it looks where its +Z points.
  camera->RotationAngle().SetY(90);
  ExpectPointNear(TransformPoint({1, 0, -15}, camera->CameraMatrix()), {0, 0, -1}, 1e-5);
}

// --- Projection -----------------------------------------------------------------------------

TEST_F(Rig, ProjectionEntries) {
  const double ys = 1 / std::tan(22.5 * kDeg);
  struct Case {
    const char* what;
    int width, height;
    float angle;
    double xs, ys;
  };
  const Case cases[] = {
      {"800 x 600", 800, 600, 45, ys * 600 / 800, ys},
      {"no height: aspect 1", 800, 0, 45, ys, ys},
      {"90 degrees, square", 500, 500, 90, 1, 1},
  };
  for (const Case& c : cases) {
    context.SetSize(c.width, c.height);
    context.SetCameraAngleOfView(c.angle);
    context.BeginScene();
    const TMatrix3D& p = context.CurrentProjectionMatrix();
    EXPECT_NEAR(p[0][0], c.xs, 1e-6) << c.what;
    EXPECT_NEAR(p[1][1], c.ys, 1e-6) << c.what;
    EXPECT_FLOAT_EQ(p[2][2], -1.001001f) << c.what;
    EXPECT_FLOAT_EQ(p[3][2], -1.001001f) << c.what;
    EXPECT_EQ(p[2][3], -1) << c.what;
    EXPECT_EQ(p[3][3], 0) << c.what;
    // Everything else is zero.
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        const bool used = i == j || (i == 2 && j == 3) || (i == 3 && j == 2);
        if (!used) {
          EXPECT_EQ(p[i][j], 0) << c.what << " at " << i << j;
        }
      }
    }
  }
}

TEST_F(Rig, DepthRunsFromNearPlaneToFarPlane) {
  BeginFrame();
  const TMatrix3D& p = context.CurrentProjectionMatrix();
  for (auto [z, depth] : {std::pair{-1.0f, 0.0}, {-1000.0f, 1.0}, {-2.0f, 0.5005005}}) {
    const TVector3D clip = TVector3D{0, 0, z, 1} * p;
    EXPECT_NEAR(clip.Z / clip.W, depth, 1e-6) << "view z " << z;
  }
}

TEST_F(Rig, ProjectionIsRecomputedOnlyAtTheNextFrameOrResize) {
  BeginFrame();
  const float before = context.CurrentProjectionMatrix()[1][1];
  context.SetCameraAngleOfView(90);
  EXPECT_EQ(context.CurrentProjectionMatrix()[1][1], before) << "not before the next frame";
  context.BeginScene();
  EXPECT_FLOAT_EQ(context.CurrentProjectionMatrix()[1][1], 1);
  context.SetSize(600, 600);
  EXPECT_FLOAT_EQ(context.CurrentProjectionMatrix()[0][0], 1) << "a resize recomputes";
}

TEST_F(Rig, RenderToMatrixAndCentreOffsetJoinTheProjection) {
  BeginFrame();
  const TMatrix3D plain = context.CurrentProjectionMatrix();
  context.SetRenderToMatrix(TMatrix3D::CreateScaling({2, 2, 1}));
  EXPECT_FLOAT_EQ(context.CurrentProjectionMatrix()[0][0], 2 * plain[0][0]);
  context.SetRenderToMatrix({});
  context.SetCenterOffset({0.25f, -0.5f});
  const TMatrix3D& shifted = context.CurrentProjectionMatrix();
  // The offset is added in clip space, in proportion to w.
  EXPECT_FLOAT_EQ(shifted[2][0], 0.25f * plain[2][3]);
  EXPECT_FLOAT_EQ(shifted[2][1], -0.5f * plain[2][3]);
  EXPECT_FLOAT_EQ(shifted[0][0], plain[0][0]);
}

// --- Pick -----------------------------------------------------------------------------------

TEST_F(Rig, PickAtTheViewCentreAimsAtTheTarget) {
  for (const RigAngles& a : kRigAngles) {
    Turn(a.x, a.y);
    BeginFrame();
    TVector3D pos, dir;
    context.Pick(400, 300, TProjection::Camera, pos, dir);
    const TPoint3D eye = camera->AbsolutePosition().XYZ();
    ExpectPointNear(pos.XYZ(), eye, 1e-4, a.Name() + " ray origin");
    ExpectPointNear(dir.XYZ(), Normalize(-eye), 1e-5, a.Name() + " ray direction");
    EXPECT_EQ(pos.W, 1);
    EXPECT_EQ(dir.W, 0);
  }
}

TEST_F(Rig, PickTowardTheEdges) {
  BeginFrame();
  TVector3D pos, dir;
  // The left edge of the view is world -X at rest, at the horizontal half angle.
  context.Pick(0, 300, TProjection::Camera, pos, dir);
  const double halfWidth = std::atan(std::tan(22.5 * kDeg) * 800 / 600);
  ExpectPointNear(dir.XYZ(), {float(-std::sin(halfWidth)), 0, float(std::cos(halfWidth))}, 1e-5,
                  "left edge");
  // The top edge is world -Y, at the vertical half angle.
  context.Pick(400, 0, TProjection::Camera, pos, dir);
  ExpectPointNear(dir.XYZ(), {0, float(-std::sin(22.5 * kDeg)), float(std::cos(22.5 * kDeg))}, 1e-5,
                  "top edge");
}

TEST_F(Rig, PickedRayPassesThroughThePointDrawnAtThePixel) {
  struct Case {
    const char* what;
    float scale;
    TPointF centerOffset;
  };
  const Case cases[] = {
      {"plain", 1, {}},
      {"two physical pixels per logical pixel", 2, {}},
      {"shifted centre", 1, {0.2f, -0.1f}},
  };
  // All within 14 units of the target, so in front of the camera whichever way it turns.
  const TPoint3D points[] = {{3, -2, 1}, {-4, 4, -5}, {0.5f, 0.5f, 12}, {-6, -1, 3}};
  for (const Case& c : cases) {
    context.SetSize(int(800 * c.scale), int(600 * c.scale));
    context.SetScale(c.scale);
    context.SetCenterOffset(c.centerOffset);
    for (const RigAngles& a : kRigAngles) {
      Turn(a.x, a.y);
      BeginFrame();
      for (const TPoint3D& point : points) {
        const TPointF pixel = PixelOf(point);
        TVector3D pos, dir;
        context.Pick(pixel.X, pixel.Y, TProjection::Camera, pos, dir);
        // Distance of the point from the ray's line.
        const TPoint3D toPoint = point - pos.XYZ();
        const TPoint3D off = toPoint - dir.XYZ() * Dot(toPoint, dir.XYZ());
        EXPECT_LT(Length(off), 1e-3) << c.what << ", rig " << a.Name();
        EXPECT_GT(Dot(toPoint, dir.XYZ()), 0) << c.what << ": the point lies ahead";
      }
    }
  }
}

// --- Camera properties --------------------------------------------------------------------

TEST(Camera, StartsFiveUnitsBackWithoutHitTest) {
  TCamera camera;
  EXPECT_EQ(camera.Position().Point(), (TPoint3D{0, 0, -5}));
  EXPECT_EQ(camera.LocalMatrix()[3][2], -5) << "the start position is in the matrix";
  EXPECT_FALSE(camera.HitTest());
  EXPECT_EQ(camera.AngleOfView(), 45);
  EXPECT_EQ(camera.Target(), nullptr);
}

TEST_F(Rig, AngleOfViewIsClampedAndRepaintsOnChange) {
  struct Case {
    float value, stored;
    bool repaints;
  };
  const Case cases[] = {
      {0.5f, 1, true}, {200, 179, true}, {179, 179, false}, {45, 45, true},
      {45, 45, false}, {-10, 1, true},   {1, 1, false},
  };
  for (const Case& c : cases) {
    const int before = viewport.redraws;
    camera->SetAngleOfView(c.value);
    EXPECT_EQ(camera->AngleOfView(), c.stored) << c.value;
    EXPECT_EQ(viewport.redraws > before, c.repaints) << c.value;
  }
  const int before = viewport.redraws;
  camera->SetTarget(nullptr);
  EXPECT_GT(viewport.redraws, before) << "a new target repaints";
}

// --- Lights ---------------------------------------------------------------------------------

TEST(Light, TypeChangesSetTheSpotValues) {
  struct Step {
    TLightType type;
    float cutOff, exponent;
  };
  // Each step starts from custom values, so a side effect shows as a change.
  const Step steps[] = {
      {TLightType::Spot, 60, 4},   {TLightType::Directional, 10, 2},
      {TLightType::Point, 180, 0}, {TLightType::Point, 10, 2},  // unchanged type: no effect
      {TLightType::Spot, 60, 4},   {TLightType::Spot, 10, 2},
  };
  TLight light;
  for (const Step& s : steps) {
    light.SetSpotCutOff(10);
    light.SetSpotExponent(2);
    light.SetLightType(s.type);
    EXPECT_EQ(light.LightType(), s.type);
    EXPECT_EQ(light.SpotCutOff(), s.cutOff) << int(s.type);
    EXPECT_EQ(light.SpotExponent(), s.exponent) << int(s.type);
  }
}

TEST(Light, BoxSizeIsFixed) {
  TLight light;
  EXPECT_FALSE(light.HitTest());
  light.SetWidth(5);
  light.SetHeight(0);
  light.SetDepth(-3);
  EXPECT_EQ(light.Width(), 1);
  EXPECT_EQ(light.Height(), 1);
  EXPECT_EQ(light.Depth(), 1);
  light.SetProjection(TProjection::Screen);
  light.SetSize(2, 2, 2);
  EXPECT_EQ(light.Width(), 25);
  EXPECT_EQ(light.Height(), 25);
  EXPECT_EQ(light.Depth(), 25);
}

TEST_F(Rig, LightDescriptionFollowsTheRig) {
  light->SetSpotExponent(3);
  light->SetColor(0xFF123456);
  for (const RigAngles& a : kRigAngles) {
    Turn(a.x, a.y);
    const TLightDescription d = light->LightDescription();
    // The light sits behind the camera on the same axis and shines the way it looks.
    const TPoint3D eye = camera->AbsolutePosition().XYZ();
    ExpectPointNear(d.Position, eye * 2.0, 1e-4, a.Name() + " position");
    ExpectPointNear(d.Direction, Normalize(-eye), 1e-5, a.Name() + " direction");
    EXPECT_TRUE(d.Enabled);
    EXPECT_EQ(d.Color, 0xFF123456u);
    EXPECT_EQ(d.LightType, TLightType::Directional);
    EXPECT_EQ(d.SpotCutOff, 180);
    EXPECT_EQ(d.SpotExponent, 3);
  }
  Turn(0, 90);
  ExpectPointNear(light->LightDescription().Position, {-30, 0, 0}, 1e-5, "at 90 degrees");
  ExpectPointNear(light->LightDescription().Direction, {1, 0, 0}, 1e-6, "at 90 degrees");
  // The direction carries the light's absolute scale.
  rig->Scale().SetPoint({2, 2, 2});
  EXPECT_NEAR(Length(light->LightDescription().Direction), 2, 1e-5);
}

TEST_F(Rig, LightsJoinAndLeaveTheirViewport) {
  ASSERT_EQ(viewport.lights, (std::vector<TLight*>{light}));
  auto* second = new TLight("Light2");
  rig->AddObject(second);
  EXPECT_EQ(viewport.lights, (std::vector<TLight*>{light, second}));

  // Taking the rig from the viewport takes its lights along.
  root.RemoveObject(rig);
  EXPECT_TRUE(viewport.lights.empty());
  FakeViewport other;
  TViewportRoot otherRoot(&other);
  otherRoot.AddObject(rig);
  EXPECT_EQ(other.lights, (std::vector<TLight*>{light, second}));
  EXPECT_TRUE(viewport.lights.empty());

  delete second;
  EXPECT_EQ(other.lights, (std::vector<TLight*>{light}));
  // Switching a light redraws its viewport.
  const int before = other.redraws;
  light->SetEnabled(false);
  EXPECT_GT(other.redraws, before);
  EXPECT_FALSE(light->LightDescription().Enabled);
  otherRoot.RemoveObject(rig);
  root.AddObject(rig);
  EXPECT_EQ(viewport.lights, (std::vector<TLight*>{light}));
}

// --- Render state cache -----------------------------------------------------------------------

TEST(RenderStates, OnlyWhatChangesIsSent) {
  using enum TFaceCulling;
  const struct {
    TRenderState Request;
    TRenderState Sent;  // empty: nothing goes to the device
  } steps[] = {
      {{.DepthWrite = true}, {.DepthWrite = true}},
      {{.DepthWrite = true}, {}},
      {{.Faces = ShowFront}, {.Faces = ShowFront}},
      {{.Faces = ShowAll}, {.Faces = ShowAll}},
      {{.Faces = ShowFront}, {.Faces = ShowFront}},
      {{.DepthWrite = false, .Faces = ShowFront}, {.DepthWrite = false}},
      {{.DepthWrite = true, .Blend = false}, {.DepthWrite = true, .Blend = false}},
      {{.Scissor = false, .Faces = ShowBack}, {.Scissor = false, .Faces = ShowBack}},
  };
  RecordingContext context(10, 10);
  std::vector<TRenderState> expected;
  for (const auto& step : steps) {
    context.SetRenderState(step.Request);
    if (!step.Sent.IsEmpty()) expected.push_back(step.Sent);
  }
  EXPECT_EQ(context.states, expected);

  // Each context knows what its own device has.
  RecordingContext second(10, 10);
  second.SetRenderState({.DepthWrite = true});
  EXPECT_EQ(second.states, (std::vector<TRenderState>{{.DepthWrite = true}}));
  // Once something else drew with the device, everything is sent again.
  context.states.clear();
  context.ResetStateCache();
  context.SetRenderState({.DepthWrite = true, .Faces = ShowFront});
  EXPECT_EQ(context.states, (std::vector<TRenderState>{{.DepthWrite = true, .Faces = ShowFront}}));
}
