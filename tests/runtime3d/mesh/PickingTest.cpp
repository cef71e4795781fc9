// Picking and pointer events with real spheres under a viewport: the planet at the origin,
// the camera rig with the camera 15 units in front of it, the sky around everything and a
// moon between the camera and the planet.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime3d/mesh/Sphere.h"
#include "tests/runtime3d/core/FakeViewport.h"

using namespace rt3d;
using rt3d::testing::FakeViewport;
using rt3d::testing::RecordingContext;

namespace {

// Where the viewport's top-left corner lies on the screen.
constexpr TPointF kViewportOrigin{100, 50};

struct PickingScene : ::testing::Test {
  RecordingContext context{800, 600};
  FakeViewport viewport{&context, kViewportOrigin};
  TViewportRoot root{&viewport};
  TSphere* planet = AddSphere(root, "Planet", {0, 0, 0}, 10);
  TDummy* rig = nullptr;
  TCamera* camera = nullptr;
  TSphere* sky = nullptr;
  TSphere* moon = nullptr;

  PickingScene() {
    rig = new TDummy("CameraRig");
    root.AddObject(rig);
    camera = new TCamera("Camera");
    rig->AddObject(camera);
    camera->Position().SetPoint({0, 0, -15});
    camera->SetTarget(planet);
    viewport.camera = camera;
    sky = AddSphere(root, "Sky", {0, 0, 0}, 200);
    sky->SetHitTest(false);
    sky->SetTwoSide(true);
    moon = AddSphere(root, "Europa", {0, 0, -9}, 0.84f);
  }

  static TSphere* AddSphere(TTreeObject& parent, const char* name, TPoint3D position, float scale) {
    auto* sphere = new TSphere(name);
    parent.AddObject(sphere);
    sphere->SetSubdivisionsAxes(50);
    sphere->SetSubdivisionsHeight(50);
    sphere->Position().SetPoint(position);
    sphere->Scale().SetPoint({scale, scale, scale});
    return sphere;
  }

  // The viewport pixel a world point is drawn at.
  TPointF PixelOf(const TPoint3D& world) {
    context.SetCameraMatrix(camera->CameraMatrix());
    context.SetCameraAngleOfView(camera->AngleOfView());
    const TVector3D clip = TVector3D::Point(world) *
                           (context.CurrentCameraMatrix() * context.CurrentProjectionMatrix());
    return {float((clip.X / clip.W + 1) / 2 * context.Width()),
            float((1 - clip.Y / clip.W) / 2 * context.Height())};
  }
  TPointF PixelOf(TControl3D& object) { return PixelOf(object.AbsolutePosition().XYZ()); }

  TControl3D* At(TPointF local) {
    return root.ObjectAtPoint({local.X + kViewportOrigin.X, local.Y + kViewportOrigin.Y});
  }

  std::string NameAt(TPointF local) {
    TControl3D* found = At(local);
    return found ? found->Name() : "none";
  }

  // Half the planet's apparent height in pixels: asin(5/15) against the 22.5 degree half
  // field of view, about 0.85 of the way to the top edge.
  static constexpr float kPlanetRimPixels = 0.85f * 300;
  const TPointF centre{400, 300};
};

}  // namespace

TEST_F(PickingScene, NearestHitAlongThePointerWins) {
  struct Case {
    const char* what;
    TPointF pixel;
    const char* expected;
  };
  const Case cases[] = {
      {"moon in front of the planet", centre, "Europa"},
      {"beside the moon, on the planet", {400, 180}, "Planet"},
      {"the planet's rim", {400, 300 - kPlanetRimPixels + 6}, "Planet"},
      {"the rim on the right", {400 + kPlanetRimPixels - 6, 300}, "Planet"},
      // The sky covers everything but never takes a hit.
      {"past the rim: sky only", {400, 300 - kPlanetRimPixels - 6}, "none"},
      {"the corner of the view", {0, 0}, "none"},
  };
  for (const Case& c : cases) EXPECT_EQ(NameAt(c.pixel), c.expected) << c.what;
}

TEST_F(PickingScene, PickingFollowsTheCameraWithoutAFrame) {
  // Turning the rig by 180 degrees puts the camera behind the planet: the moon is now
  // hidden behind it, and the planet takes the centre.
  rig->RotationAngle().SetY(180);
  EXPECT_EQ(NameAt(centre), "Planet");
  rig->RotationAngle().SetY(0);
  EXPECT_EQ(NameAt(centre), "Europa");
}

TEST_F(PickingScene, InvisibleBodiesAndTheirChildrenAreSkipped) {
  // A small body riding on the moon, nearer to the camera than the moon's surface.
  TSphere* rider = AddSphere(*moon, "Rider", {0, 0, -0.6f}, 0.2f);
  EXPECT_EQ(NameAt(PixelOf(*rider)), "Rider") << "a child answers before its parent";

  moon->SetHitTest(false);
  EXPECT_EQ(NameAt(PixelOf(*rider)), "Rider") << "a parent without hit test keeps its children";
  const TPointF belowRider{PixelOf(*moon).X, PixelOf(*moon).Y + 30};
  EXPECT_EQ(NameAt(belowRider), "Planet");

  moon->SetHitTest(true);
  moon->SetVisible(false);
  EXPECT_EQ(NameAt(PixelOf(*rider)), "Planet") << "an invisible body hides its children too";
  EXPECT_EQ(NameAt(centre), "Planet");
}

TEST_F(PickingScene, OfTwoEqualHitsTheLaterChildWins) {
  delete moon;
  TSphere* first = AddSphere(root, "First", {0, 0, -9}, 0.84f);
  TSphere* second = AddSphere(root, "Second", {0, 0, -9}, 0.84f);
  EXPECT_EQ(At(centre), second);
  // Moving the other one to the end of the list hands it the hit.
  root.RemoveObject(first);
  root.AddObject(first);
  EXPECT_EQ(At(centre), first);
}

TEST_F(PickingScene, BodiesBehindTheEyeAreNeverPicked) {
  // On the pointer's line but behind the camera, and nearer to it than the planet: out of
  // sight, so out of reach.
  TSphere* behind = AddSphere(root, "Behind", {0, 0, -17}, 1);
  EXPECT_EQ(NameAt(centre), "Europa");
  delete moon;
  EXPECT_EQ(NameAt(centre), "Planet");
  delete planet;
  EXPECT_EQ(NameAt(centre), "none");
  // The same body in front of the camera is picked.
  behind->Position().SetZ(-13);
  EXPECT_EQ(NameAt(centre), "Behind");
}

TEST_F(PickingScene, PixelsFollowTheSceneScale) {
  // The same view on a display with two physical pixels per logical pixel.
  context.SetSize(1600, 1200);
  context.SetScale(2);
  EXPECT_EQ(NameAt(centre), "Europa");
  EXPECT_EQ(NameAt({400, 300 - kPlanetRimPixels + 6}), "Planet");
  EXPECT_EQ(NameAt({400, 300 - kPlanetRimPixels - 6}), "none");
}

// --- Pointer events ---------------------------------------------------------------------------

namespace {

// Routes the pointer as the window does over the 3D view: bodies do not capture it, so
// every event goes to the object under the pointer, and moving onto another object leaves
// the previous one. The click step runs just before the release.
class PointerRouter {
 public:
  explicit PointerRouter(PickingScene& scene) : FScene(scene) {}

  void Move(TPointF p) {
    if (TControl3D* o = Over(p)) o->MouseMove(ssLeft, p.X, p.Y);
  }
  void Press(TPointF p, TShiftState shift = ssLeft) {
    if (TControl3D* o = Over(p)) o->MouseDown(TMouseButton::mbLeft, shift, p.X, p.Y);
  }
  void Release(TPointF p) {
    if (TControl3D* o = Over(p)) {
      o->MouseClick();
      o->MouseUp(TMouseButton::mbLeft, 0, p.X, p.Y);
    }
  }

 private:
  TControl3D* Over(TPointF p) {
    TControl3D* now = FScene.At(p);
    if (now != FHovered) {
      if (FHovered) FHovered->MouseLeave();
      FHovered = now;
      if (now) now->MouseEnter();
    }
    return now;
  }

  PickingScene& FScene;
  TControl3D* FHovered = nullptr;
};

struct PointerEvents : PickingScene {
  std::vector<std::string> log;
  TSphere* other = AddSphere(root, "Ganymede", {2, 0, -9}, 0.84f);
  PointerRouter pointer{*this};

  PointerEvents() {
    for (TSphere* body : {moon, other, planet}) Record(*body);
  }

  void Record(TControl3D& body) {
    const std::string name = body.Name();
    body.OnMouseDown = [this, name](TTreeObject*, TMouseButton, TShiftState shift, float, float,
                                    const TVector3D&, const TVector3D&) {
      log.push_back(name + ".OnMouseDown" + ((shift & ssDouble) ? "(double)" : ""));
    };
    body.OnMouseUp = [this, name](TTreeObject*, TMouseButton, TShiftState, float, float,
                                  const TVector3D&,
                                  const TVector3D&) { log.push_back(name + ".OnMouseUp"); };
    body.OnClick = [this, name](TTreeObject*) { log.push_back(name + ".OnClick"); };
    body.OnDblClick = [this, name](TTreeObject*) { log.push_back(name + ".OnDblClick"); };
  }
};

}  // namespace

TEST_F(PointerEvents, DoubleClickOnABody) {
  pointer.Press(centre);
  pointer.Release(centre);
  pointer.Press(centre, ssLeft | ssDouble);
  pointer.Release(centre);
  EXPECT_EQ(log, (std::vector<std::string>{"Europa.OnMouseDown", "Europa.OnClick",
                                           "Europa.OnMouseUp", "Europa.OnMouseDown(double)",
                                           "Europa.OnDblClick", "Europa.OnMouseUp"}));
}

TEST_F(PointerEvents, PressCarriesTheRayInTheBodysOwnFrame) {
  TVector3D rayPos, rayDir;
  moon->OnMouseDown = [&](TTreeObject*, TMouseButton, TShiftState, float, float,
                          const TVector3D& pos, const TVector3D& dir) {
    rayPos = pos;
    rayDir = dir;
  };
  pointer.Press(centre);
  // The eye is 6 units in front of the moon, which is scaled by 0.84.
  EXPECT_NEAR(rayPos.X, 0, 1e-5);
  EXPECT_NEAR(rayPos.Y, 0, 1e-5);
  EXPECT_NEAR(rayPos.Z, -6 / 0.84, 1e-4);
  EXPECT_EQ(rayPos.W, 1);
  EXPECT_NEAR(rayDir.Z, 1, 1e-6);
  EXPECT_EQ(rayDir.W, 0);
}

TEST_F(PointerEvents, ClicksNeedThePointerStillOverThePressedBody) {
  const TPointF onOther = PixelOf(*other);
  ASSERT_EQ(NameAt(onOther), "Ganymede");

  // Press on the moon, release over the other body: neither clicks.
  pointer.Press(centre);
  pointer.Move(onOther);
  pointer.Release(onOther);
  // And back: the moon's unfinished press must not turn this release into its click.
  pointer.Press(onOther);
  pointer.Move(centre);
  pointer.Release(centre);
  EXPECT_EQ(log, (std::vector<std::string>{"Europa.OnMouseDown", "Ganymede.OnMouseUp",
                                           "Ganymede.OnMouseDown", "Europa.OnMouseUp"}));

  // The second press of a double click released off the body gives no double click.
  log.clear();
  pointer.Press(centre);
  pointer.Release(centre);
  pointer.Press(centre, ssLeft | ssDouble);
  pointer.Move(onOther);
  pointer.Release(onOther);
  EXPECT_EQ(log,
            (std::vector<std::string>{"Europa.OnMouseDown", "Europa.OnClick", "Europa.OnMouseUp",
                                      "Europa.OnMouseDown(double)", "Ganymede.OnMouseUp"}));
}

TEST_F(PointerEvents, EachViewportKeepsItsOwnPressedBody) {
  pointer.Press(centre);
  EXPECT_EQ(root.PressedObject(), moon);

  // A press in another viewport leaves this one's press as it was: its release still clicks.
  FakeViewport otherViewport{&context};
  TViewportRoot otherRoot{&otherViewport};
  TSphere* distant = AddSphere(otherRoot, "Callisto", {0, 0, 0}, 1);
  distant->MouseDown(TMouseButton::mbLeft, ssLeft, 0, 0);
  EXPECT_EQ(otherRoot.PressedObject(), distant);
  pointer.Release(centre);
  EXPECT_EQ(log,
            (std::vector<std::string>{"Europa.OnMouseDown", "Europa.OnClick", "Europa.OnMouseUp"}));
  EXPECT_EQ(root.PressedObject(), nullptr) << "the release ends the press";

  // A pressed body that goes away is forgotten.
  delete distant;
  EXPECT_EQ(otherRoot.PressedObject(), nullptr);
}
