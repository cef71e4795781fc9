#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "runtime3d/core/Camera.h"
#include "runtime3d/core/Control3D.h"
#include "runtime3d/core/ViewportRoot.h"
#include "tests/runtime3d/core/FakeViewport.h"

using namespace rt3d;

namespace {

constexpr double kDeg = std::numbers::pi / 180;

void ExpectPointNear(const TPoint3D& actual, const TPoint3D& expected, double eps,
                     const std::string& what = {}) {
  EXPECT_NEAR(actual.X, expected.X, eps) << what;
  EXPECT_NEAR(actual.Y, expected.Y, eps) << what;
  EXPECT_NEAR(actual.Z, expected.Z, eps) << what;
}

TPoint3D Centre(TControl3D& object) {
  return object.AbsolutePosition().XYZ();
}

// A scene fragment: objects under a viewport root, as the viewer builds them.
struct Scene : ::testing::Test {
  rt3d::testing::FakeViewport viewport;
  TViewportRoot root{&viewport};
};

}  // namespace

TEST_F(Scene, MoonOrbitsThePlanetCentreOnItsPivot) {
  auto* moon = new TControl3D("Europa");
  root.AddObject(moon);
  moon->Position().SetPoint({9, 0, 0});
  moon->Scale().SetPoint({0.84f, 0.84f, 0.84f});
  moon->RotationCenter().SetX(-9);
  for (float theta : {45.0f, 90.0f, 200.0f, -30.0f, 359.0f}) {
    moon->RotationAngle().SetY(theta);
    ExpectPointNear(Centre(*moon),
                    {float(9 * std::cos(theta * kDeg)), 0, float(-9 * std::sin(theta * kDeg))},
                    1e-4, "theta " + std::to_string(theta));
  }
}

TEST_F(Scene, CameraOnARigTurnsWithIt) {
  auto* rig = new TDummy("CameraRig");
  root.AddObject(rig);
  auto* camera = new TCamera("Camera");
  rig->AddObject(camera);
  camera->Position().SetZ(-15);
  rig->RotationAngle().SetY(30);
  ExpectPointNear(Centre(*camera), {-7.5f, 0, -12.990381f}, 1e-4);
  // The camera's matrix is its own local matrix times the rig's.
  const TMatrix3D expected = camera->LocalMatrix() * rig->AbsoluteMatrix();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_FLOAT_EQ(camera->AbsoluteMatrix()[i][j], expected[i][j]);
  // Directly under the viewport, absolute and local are the same.
  EXPECT_EQ(rig->AbsoluteMatrix(), rig->LocalMatrix());
}

TEST_F(Scene, WritesTurnByTheirDifferenceAndReadBackNormalised) {
  struct Case {
    const char* name;
    float write;
    float readBack;
    float saved;
    float turnedDegrees;
  } cases[] = {
      {"370 after 0 turns 10", 370, 10, 370, 10},
      {"360 after 0 turns nothing and stays raw", 360, 360, 0, 0},
      {"-10 after 0 turns 350", -10, 350, -10, 350},
  };
  for (const Case& c : cases) {
    TControl3D object;
    object.RotationAngle().SetY(c.write);
    EXPECT_FLOAT_EQ(object.RotationAngle().Y(), c.readBack) << c.name;
    EXPECT_FLOAT_EQ(object.SavedRotationAngle().Y, c.saved) << c.name;
    const TPoint3D x = TransformPoint({1, 0, 0}, object.LocalMatrix());
    ExpectPointNear(
        x, {float(std::cos(c.turnedDegrees * kDeg)), 0, float(-std::sin(c.turnedDegrees * kDeg))},
        1e-5, c.name);
  }
}

TEST_F(Scene, NonFiniteAngleWritesAreIgnored) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* name;
    void (*write)(TPosition3D&);
  } cases[] = {
      {"X := NaN", [](TPosition3D& a) { a.SetX(kNaN); }},
      {"Y := +inf", [](TPosition3D& a) { a.SetY(kInf); }},
      {"Z := -inf", [](TPosition3D& a) { a.SetZ(-kInf); }},
      {"Y := NaN by name, as an animation writes",
       [](TPosition3D& a) { a.FindProperty("y")->Set(a, kNaN); }},
      {"whole point of NaNs",
       [](TPosition3D& a) {
         a.SetPoint({kNaN, kNaN, kInf});
       }},
  };
  // Every case starts from the same turned orientation and then turns on by a finite
  // write; the result must be the orientation without the bad write.
  auto turned = [](TControl3D& o) {
    o.RotationAngle().SetY(30);
    o.RotationAngle().SetX(10);
  };
  TControl3D expected;
  turned(expected);
  expected.RotationAngle().SetZ(25);
  for (const Case& c : cases) {
    TControl3D object;
    turned(object);
    const TPoint3D angles = object.RotationAngle().Point();
    const TMatrix3D matrix = object.LocalMatrix();
    c.write(object.RotationAngle());
    EXPECT_EQ(object.RotationAngle().Point(), angles) << c.name;
    EXPECT_EQ(object.LocalMatrix(), matrix) << c.name;
    object.RotationAngle().SetZ(25);
    EXPECT_EQ(object.Quaternion(), expected.Quaternion()) << c.name;
    EXPECT_EQ(object.LocalMatrix(), expected.LocalMatrix()) << c.name;
  }

  // In a whole-point write the finite components still count.
  TControl3D mixed, reference;
  turned(mixed);
  turned(reference);
  mixed.RotationAngle().SetPoint({kNaN, 50, 25});
  reference.RotationAngle().SetPoint({10, 50, 25});
  EXPECT_EQ(mixed.RotationAngle().Point(), reference.RotationAngle().Point());
  EXPECT_EQ(mixed.LocalMatrix(), reference.LocalMatrix());

  // Position and scale keep taking any value: their matrix is rebuilt from them whole.
  TControl3D moved;
  moved.Position().SetX(kNaN);
  EXPECT_TRUE(std::isnan(moved.Position().X()));
}

TEST_F(Scene, BodyPickSequenceResetsTheRigToAPureYaw) {
  TDummy rig;
  // Leave the rig in an orientation that no set of angles describes.
  rig.RotationAngle().SetX(20);
  rig.RotationAngle().SetY(-10);
  rig.RotationAngle().SetX(37);
  rig.RotationAngle().SetY(123);
  rig.RotationAngle().SetX(20);
  rig.RotationAngle().SetY(-10);
  ASSERT_FLOAT_EQ(rig.RotationAngle().Y(), 350);

  rig.RotationAngle().SetX(0);
  rig.RotationAngle().SetY(0);
  EXPECT_EQ(rig.Quaternion(), TQuaternion3D::Identity()) << "all angles zero snaps to identity";
  EXPECT_EQ(rig.SavedRotationAngle(), (TPoint3D{0, 0, 0}));
  rig.RotationAngle().SetY(-63.5f);
  const TMatrix3D expected = TQuaternion3D::Create({0, 1, 0}, -63.5 * kDeg).ToMatrix();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(rig.LocalMatrix()[i][j], expected[i][j], 1e-6);
}

TEST_F(Scene, EachWriteTurnsAboutTheObjectsOwnCurrentAxis) {
  TDummy rig;
  rig.RotationAngle().SetY(90);
  // The rig's own X axis is now world (0, 0, -1): a tilt about X turns about world Z.
  rig.RotationAngle().SetX(90);
  ExpectPointNear(TransformPoint({1, 0, 0}, rig.LocalMatrix()), {0, 0, -1}, 1e-5);
  ExpectPointNear(TransformPoint({0, 1, 0}, rig.LocalMatrix()), {1, 0, 0}, 1e-5);
}

TEST_F(Scene, NearIdentityFactorsAreLeftOut) {
  struct Case {
    const char* name;
    void (*apply)(TControl3D&);
  } cases[] = {
      {"scale 1.00005",
       [](TControl3D& o) {
         o.Scale().SetPoint({1.00005f, 1, 1});
       }},
      {"position 0.0005", [](TControl3D& o) { o.Position().SetX(0.0005f); }},
      {"centre 0.0009 with rotation",
       [](TControl3D& o) {
         o.RotationCenter().SetX(0.0009f);
         o.RotationAngle().SetY(90);
         o.RotationAngle().SetY(0);
       }},
  };
  for (const Case& c : cases) {
    TControl3D object;
    c.apply(object);
    EXPECT_TRUE(object.LocalMatrix().IsIdentity()) << c.name;
  }
  TControl3D outside;
  outside.Position().SetX(0.0011f);
  EXPECT_FALSE(outside.LocalMatrix().IsIdentity()) << "just past the tolerance";
}

TEST_F(Scene, UnchangedWritesDoNothingAndChangesRepaintOnce) {
  auto* object = new TControl3D;
  root.AddObject(object);
  object->Position().SetX(3);
  const int before = viewport.redraws;
  const TMatrix3D matrix = object->LocalMatrix();
  object->Position().SetX(3);
  object->RotationAngle().SetY(0);
  object->SetOpacity(1);
  object->SetVisible(true);
  EXPECT_EQ(viewport.redraws, before) << "writing the held value repaints nothing";
  EXPECT_EQ(object->LocalMatrix(), matrix);
  object->Position().SetX(4);
  EXPECT_EQ(viewport.redraws, before + 1);
  object->SetVisible(false);
  object->Position().SetX(5);
  EXPECT_EQ(viewport.redraws, before + 2) << "an invisible object asks for no frame";
}

TEST_F(Scene, AbsoluteCacheFollowsAncestorChanges) {
  auto* parent = new TControl3D;
  root.AddObject(parent);
  auto* child = new TControl3D;
  parent->AddObject(child);
  child->Position().SetX(1);
  ExpectPointNear(Centre(*child), {1, 0, 0}, 1e-6);
  parent->Position().SetY(2);
  ExpectPointNear(Centre(*child), {1, 2, 0}, 1e-6, "stale cache after a parent change");
  ExpectPointNear(child->AbsoluteToLocal3D({1, 2, 0}), {0, 0, 0}, 1e-6);

  parent->SetOpacity(0.5f);
  child->SetOpacity(0.5f);
  EXPECT_FLOAT_EQ(child->AbsoluteOpacity(), 0.25f);
  parent->SetOpacity(2);
  EXPECT_FLOAT_EQ(parent->Opacity(), 1) << "opacity clamps";
  EXPECT_FLOAT_EQ(child->AbsoluteOpacity(), 0.5f);
}

TEST(QuaternionText, FormatsAndParsesTheStoredForm) {
  TControl3D object;
  EXPECT_EQ(object.QuaternionText(), "") << "the identity is not written";
  object.RotationAngle().SetY(45);
  EXPECT_EQ(object.QuaternionText(), "(0,0.382683455944061,0,0.923879504203796)");

  struct Case {
    const char* text;
    TQuaternion3D expected;
  } cases[] = {
      {"(0,0.70710676908493,0,0.70710676908493)", {{0, 0.70710676908493f, 0}, 0.70710676908493f}},
      {"(1,2,3,4)", {{1, 2, 3}, 4}},
      // Parsing stops at the first piece that is not a number; the rest stays.
      {"(0.5,abc,3,4)", {{0.5f, 0, 0}, 1}},
      {"garbage", {{0, 0, 0}, 1}},
      {"(1,2)", {{1, 2, 0}, 1}},
  };
  for (const Case& c : cases) {
    TControl3D target;
    target.SetQuaternionText(c.text);
    EXPECT_EQ(target.Quaternion(), c.expected) << c.text;
  }
}

TEST_F(Scene, LoadingAppliesAnglesThenStoredQuaternionThenOneRebuild) {
  auto* moon = new TControl3D("Ganymede");
  auto* still = new TControl3D("Still");
  root.AddObject(moon);
  root.AddObject(still);
  root.BeginLoading();
  moon->Position().SetPoint({12, 0, 0});
  moon->RotationCenter().SetPoint({-12, 0, 0});
  moon->RotationAngle().SetY(90);
  moon->SetQuaternionText("(0,0.70710676908493,0,0.70710676908493)");
  // A quaternion text on an object whose angles are zero is dropped by the rebuild.
  still->SetQuaternionText("(0,1,0,0)");
  root.EndLoading();
  ExpectPointNear(Centre(*moon), {0, 0, -12}, 1e-4);
  EXPECT_EQ(moon->QuaternionText(), "(0,0.70710676908493,0,0.70710676908493)");
  EXPECT_EQ(still->Quaternion(), TQuaternion3D::Identity());
  EXPECT_TRUE(still->LocalMatrix().IsIdentity());
}

TEST_F(Scene, RemovingAndFreeingObjectsKeepsListsConsistent) {
  auto* a = new TControl3D("a");
  auto* b = new TControl3D("b");
  root.AddObject(a);
  root.AddObject(b);
  auto* child = new TControl3D("child");
  a->AddObject(child);
  EXPECT_EQ(root.RenderingList().size(), 2u);
  EXPECT_EQ(a->RenderingList().size(), 1u);
  delete child;
  EXPECT_TRUE(a->RenderingList().empty());
  delete b;
  ASSERT_EQ(root.RenderingList().size(), 1u);
  EXPECT_EQ(root.RenderingList()[0], a);
  EXPECT_EQ(a->Viewport(), &viewport);
  root.RemoveObject(a);
  EXPECT_EQ(a->Viewport(), nullptr);
  delete a;
}

TEST_F(Scene, CameraTargetClearsWhenTheTargetGoes) {
  auto* planet = new TControl3D("Planet");
  root.AddObject(planet);
  TCamera camera;
  camera.SetTarget(planet);
  delete planet;
  EXPECT_EQ(camera.Target(), nullptr);
}

TEST(NamedProperties, DottedPathsResolveIgnoringCase) {
  TCamera camera;
  const TPropertyInfo* position = camera.FindProperty("position");
  ASSERT_TRUE(position && position->IsObject());
  TPersistent* value = position->Object(camera);
  const TPropertyInfo* z = value->FindProperty("z");
  ASSERT_TRUE(z && z->IsFloat());
  z->Set(*value, -38);
  EXPECT_FLOAT_EQ(camera.Position().Z(), -38);
  EXPECT_FLOAT_EQ(z->Get(*value), -38);
  EXPECT_EQ(camera.FindProperty("nonsense"), nullptr);
  EXPECT_TRUE(camera.FindProperty("ANGLEOFVIEW")->IsFloat());
}

TEST_F(Scene, AWatcherFreedFirstLeavesNoDanglingNotification) {
  auto* planet = new TControl3D("Planet");
  root.AddObject(planet);
  auto* camera = new TCamera("Camera");
  camera->SetTarget(planet);
  auto* other = new TCamera("Camera2");
  other->SetTarget(planet);
  delete camera;
  // The planet must not tell the freed camera; the other watcher still hears of it.
  delete planet;
  EXPECT_EQ(other->Target(), nullptr);
  delete other;
}

namespace {

// Stands for a material in the drawing order; draws nothing.
struct OrderMaterial : IMaterial {
  void Apply(TContext3D&) override {}
  void Reset(TContext3D&) override {}
  std::string_view MatrixVariable(TMaterialMatrix) const override { return {}; }
};

struct WithMaterial : TControl3D {
  WithMaterial(std::string name, IMaterial* material)
      : TControl3D(std::move(name)), Material(material) {}
  IMaterial* RenderingMaterial() const override { return Material; }
  IMaterial* Material;
};

}  // namespace

TEST_F(Scene, DrawingOrderGoesByMaterialCreationNotByAddress) {
  // Slots at rising addresses, filled from the last: creation runs against address order.
  std::optional<OrderMaterial> slots[3];
  for (int i = 2; i >= 0; --i) slots[i].emplace();
  const std::vector<TControl3D*> objects = {
      new WithMaterial("made third", &*slots[0]), new WithMaterial("made first", &*slots[2]),
      new TControl3D("no material"), new WithMaterial("made second", &*slots[1])};
  for (TControl3D* object : objects) root.AddObject(object);
  std::vector<std::string> order;
  for (TControl3D* object : root.RenderingList()) order.push_back(object->Name());
  EXPECT_EQ(order,
            (std::vector<std::string>{"no material", "made first", "made second", "made third"}));
  for (TControl3D* object : objects) delete object;
}
