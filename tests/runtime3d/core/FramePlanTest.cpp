#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime3d/core/Control3D.h"
#include "runtime3d/core/FramePlan.h"
#include "tests/runtime3d/core/FakeViewport.h"

using namespace rt3d;
using rt3d::testing::RecordingContext;

namespace {

class TFakeMaterial : public IMaterial {
 public:
  explicit TFakeMaterial(bool opaque) : FOpaque(opaque) {}
  void Apply(TContext3D&) override {}
  void Reset(TContext3D&) override {}
  std::string_view MatrixVariable(TMaterialMatrix) const override { return {}; }
  bool IsOpaque() const override { return FOpaque; }

 private:
  bool FOpaque;
};

TFakeMaterial gOpaque(true), gTranslucent(false);

// A body whose drawn surface lies between two spheres around its centre.
class TBall : public TControl3D {
 public:
  TBall(std::string name, TPoint3D centre, float inner, float outer, bool solid = true)
      : TControl3D(std::move(name)), FCentre(centre), FInner(inner), FOuter(outer), FSolid(solid) {}
  IMaterial* Material = &gOpaque;
  IMaterial* RenderingMaterial() const override { return Material; }
  bool DrawnShell(TPoint3D& centre, float& inner, float& outer) override {
    centre = FCentre;
    inner = FInner;
    outer = FOuter;
    return true;
  }
  bool IsClosedConvex() const override { return FSolid; }
  bool DrawsItself() const override { return true; }

 private:
  TPoint3D FCentre;
  float FInner, FOuter;
  bool FSolid;
};

// The eye 20 units in front of the origin on +Z, looking at it, through a 45 degree view.
class FramePlan : public ::testing::Test {
 protected:
  FramePlan() : context(1000, 1000) {
    context.SetCameraAngleOfView(45);
    context.SetCameraMatrix(TMatrix3D::CreateTranslation({0, 0, -20}));
  }

  TBall* Add(const std::string& name, TPoint3D centre, float inner, float outer,
             bool solid = true) {
    balls.push_back(std::make_unique<TBall>(name, centre, inner, outer, solid));
    return balls.back().get();
  }

  // The names of the planned objects, in order.
  std::string Plan(const std::vector<TControl3D*>& objects) {
    std::string names;
    for (TControl3D* object :
         PlanFrame(objects, context.CurrentCameraMatrix(), context.CurrentProjectionMatrix())) {
      names += (names.empty() ? "" : " ") + object->Name();
    }
    return names;
  }

  RecordingContext context;
  std::vector<std::unique_ptr<TBall>> balls;
};

TEST_F(FramePlan, HiddenAndOutOfViewBodiesAreLeftOutTheRestDrawnNearestFirstSkyLast) {
  TBall* planet = Add("planet", {0, 0, 0}, 4.9f, 5);
  TBall* sky = Add("sky", {0, 0, 0}, 99, 100);
  TBall* behind = Add("behind", {0, 0, -10}, 0.45f, 0.5f);  // inside the planet's disc
  TBall* beside = Add("beside", {7, 0, 0}, 0.45f, 0.5f);    // beyond the disc's edge
  TBall* front = Add("front", {0, 0, 15}, 0.45f, 0.5f);     // between the eye and the planet
  TBall* away = Add("away", {200, 0, 0}, 0.45f, 0.5f);      // far outside the view
  TBall* past = Add("past", {0, 60, -150}, 0.45f, 0.5f);    // behind the sky: the sky hides
                                                            // it by depth, not by culling
  EXPECT_EQ(Plan({planet, sky, behind, beside, front, away, past}), "front planet beside past sky");
}

TEST_F(FramePlan, BodyOnlyPartlyInsideTheDiscOrNotWhollyBehindItIsDrawn) {
  // A coarse polyhedron: only its inner sphere surely covers what lies behind it.
  TBall* planet = Add("planet", {0, 0, 0}, 3, 5);
  TBall* edge = Add("edge", {0, 6.5f, -10}, 1.9f, 2);   // reaches past the disc's edge
  TBall* wide = Add("wide", {0, 0, -100}, 19, 20);      // in the outer cone, not the inner
  TBall* narrow = Add("narrow", {0, 0, -100}, 14, 15);  // in the inner cone
  EXPECT_EQ(Plan({planet, edge, wide, narrow}), "planet edge wide");

  // Inside the disc's cone but reaching in front of the planet's centre; the two shells
  // meet, so their order is kept too.
  TBall* round = Add("round", {0, 0, 0}, 4.9f, 5);
  TBall* straddling = Add("straddling", {0, 0, -4}, 4.4f, 4.5f);
  EXPECT_EQ(Plan({straddling, round}), "straddling round");
}

TEST_F(FramePlan, OnlyClosedSolidsInFrontOfTheEyeHide) {
  TBall* shell = Add("shell", {0, 0, 0}, 4.9f, 5, /*solid=*/false);
  TBall* behind = Add("behind", {0, 0, -10}, 0.45f, 0.5f);
  EXPECT_EQ(Plan({shell, behind}), "shell behind") << "not closed and convex";

  // The eye inside a solid: it hides nothing (its back faces are culled).
  TBall* around = Add("around", {0, 0, 15}, 9.9f, 10);
  TBall* far = Add("far", {0, 0, -100}, 0.45f, 0.5f);
  EXPECT_EQ(Plan({around, far}), "far around");

  // Cut by the near plane (1 unit from the eye): not drawn whole, so it hides nothing.
  TBall* nearby = Add("nearby", {0, 0, 18.2f}, 0.99f, 1);
  TBall* small = Add("small", {0, 0, -50}, 0.045f, 0.05f);
  EXPECT_EQ(Plan({nearby, small}), "nearby small");
}

TEST_F(FramePlan, ObjectsThatBlendKeepTheirPlaceAndAreNeverLeftOut) {
  TBall* planet = Add("planet", {0, 0, 0}, 4.9f, 5);
  TBall* sky = Add("sky", {0, 0, 0}, 99, 100);
  TBall* glass = Add("glass", {0, 0, -10}, 0.45f, 0.5f);  // behind the planet
  glass->Material = &gTranslucent;
  TBall* beside = Add("beside", {7, 0, 0}, 0.45f, 0.5f);
  TBall* front = Add("front", {0, 0, 15}, 0.45f, 0.5f);
  // Runs on either side of the blending object are ordered on their own.
  EXPECT_EQ(Plan({sky, planet, glass, beside, front}), "planet sky glass front beside");

  struct Case {
    const char* what;
    std::function<void(TBall&)> make;
  } cases[] = {
      {"half opacity", [](TBall& b) { b.SetOpacity(0.5f); }},
      {"no depth writes", [](TBall& b) { b.SetZWrite(false); }},
      {"render handler", [](TBall& b) { b.OnRender = [](TTreeObject*, TContext3D&) {}; }},
      {"no material", [](TBall& b) { b.Material = nullptr; }},
  };
  for (const Case& c : cases) {
    TBall* odd = Add("odd", {0, 0, -10}, 0.45f, 0.5f);
    c.make(*odd);
    EXPECT_FALSE(IsOrderFree(*odd)) << c.what;
    EXPECT_EQ(Plan({sky, odd, planet}), "sky odd planet") << c.what;
  }
  // A holder that draws nothing (a camera rig) does not split a run; one whose child draws
  // does.
  TControl3D rig("rig");
  EXPECT_EQ(Plan({sky, &rig, planet}), "rig planet sky");
  TBall* child = Add("child", {0, 0, 15}, 0.45f, 0.5f);
  rig.AddObject(child);
  EXPECT_FALSE(DrawsNothing(rig));
  EXPECT_EQ(Plan({sky, &rig, planet}), "sky rig planet");
  rig.RemoveObject(child);

  // Drawn without blending, a translucent material is order-free all the same.
  glass->SetOpaque(true);
  EXPECT_TRUE(IsOrderFree(*glass));
}

}  // namespace
