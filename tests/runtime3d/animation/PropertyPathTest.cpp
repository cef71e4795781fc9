#include <functional>

#include "AnimationFixture.h"

namespace animtest {
namespace {

// CameraRig holds Camera, Planet and a TDummy named "Position" (so that a sibling's name
// can shadow nothing the parent has); animations are placed under one of them.
class PropertyPathTest : public AnimationTest {
 public:
  TDummy* CameraRig = Add<TDummy>(Root.get(), "CameraRig");
  TCamera* Camera = Add<TCamera>(CameraRig, "Camera");
  TControl3D* Planet = Add(CameraRig, "Planet");
  TDummy* Decoy = Add<TDummy>(CameraRig, "Position");
};

TEST_F(PropertyPathTest, PathsResolveCaseInsensitivelyThroughObjectsAndSiblings) {
  struct Case {
    const char* path;
    std::function<TTreeObject*(PropertyPathTest&)> parent;
    std::function<TPersistent*(PropertyPathTest&)> instance;
    const char* property;
  };
  const Case cases[] = {
      {"position.z", [](auto& t) { return t.Camera; },
       [](auto& t) { return &t.Camera->Position(); }, "z"},
      {"RotationAngle.Y", [](auto& t) { return t.Planet; },
       [](auto& t) { return &t.Planet->RotationAngle(); }, "Y"},
      {"ROTATIONANGLE.y", [](auto& t) { return t.Planet; },
       [](auto& t) { return &t.Planet->RotationAngle(); }, "y"},
      {"Opacity", [](auto& t) { return t.Planet; }, [](auto& t) { return t.Planet; }, "Opacity"},
      {"Camera.AngleOfView", [](auto& t) { return t.CameraRig; }, [](auto& t) { return t.Camera; },
       "AngleOfView"},
      {"camera.angleofview", [](auto& t) { return t.CameraRig; }, [](auto& t) { return t.Camera; },
       "angleofview"},
      {"Camera.Position.Z", [](auto& t) { return t.CameraRig; },
       [](auto& t) { return &t.Camera->Position(); }, "Z"},
      {"Position.X", [](auto& t) { return t.CameraRig; },
       [](auto& t) { return &t.CameraRig->Position(); }, "X"},  // the property before a sibling
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    auto* animation = new TFloatAnimation;
    c.parent(*this)->AddObject(animation);
    animation->SetPropertyName(c.path);
    ASSERT_TRUE(animation->ResolveProperty());
    EXPECT_EQ(animation->Instance(), c.instance(*this));
    EXPECT_EQ(animation->Path(), c.property);
    delete animation;
  }
}

TEST_F(PropertyPathTest, UnresolvablePathMakesStartASilentNoOp) {
  const char* paths[] = {"",
                         "Nonexistent",
                         "RotationAngle.W",
                         "Foo.Opacity",
                         "Opacity.X",
                         ".Y",
                         "RotationAngle.",
                         "Planet.Opacity.X",
                         "Camera.AngleOfView"};  // Camera is no sibling of the animation
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    TFloatAnimation* animation = AddAnimation(Planet, path, 0, 0.5f, 1);
    int events = 0;
    animation->OnProcess = animation->OnFinish = [&](TTreeObject*) { ++events; };
    EXPECT_NO_THROW(animation->Start());
    EXPECT_FALSE(animation->Running());
    EXPECT_EQ(animation->Instance(), nullptr);
    EXPECT_EQ(events, 0);
    EXPECT_EQ(Planet->Opacity(), 1);
    EXPECT_EQ(TAniThread::Current(), nullptr) << "nothing started, no clock";
    delete animation;
  }
  TFloatAnimation orphan;
  orphan.SetPropertyName("Opacity");
  EXPECT_FALSE(orphan.ResolveProperty()) << "an animation without a parent";
}

TEST_F(PropertyPathTest, NonFloatPropertyRunsToItsEndWithoutWriting) {
  TFloatAnimation* animation = AddAnimation(Planet, "RotationAngle", 5, 10, 2);
  animation->SetStartFromCurrent(true);
  int finished = 0;
  animation->OnFinish = [&](TTreeObject*) { ++finished; };
  animation->Start();
  EXPECT_TRUE(animation->Running());
  Ticks(2, 1);
  EXPECT_FALSE(animation->Running());
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(animation->StartValue(), 5) << "nothing read";
  EXPECT_EQ(Planet->RotationAngle().Point(), (TPoint3D{0, 0, 0})) << "nothing written";
}

TEST_F(PropertyPathTest, FreedSiblingTargetIsDroppedNotWritten) {
  TFloatAnimation* animation = AddAnimation(CameraRig, "Camera.Position.Z", -38, -15, 3);
  animation->Start();
  Tick(1);
  ASSERT_NEAR(Camera->Position().Z(), -38 + 23 / 3.0, 1e-5);
  delete Camera;
  EXPECT_EQ(animation->Instance(), nullptr);
  Ticks(2, 1);
  EXPECT_FALSE(animation->Running()) << "the run still ends";
  animation->Start();
  EXPECT_FALSE(animation->Running()) << "the next start finds no Camera";
}

TEST_F(PropertyPathTest, ResolutionLastsForARunAndStopDropsIt) {
  TFloatAnimation* animation = AddAnimation(CameraRig, "Planet.Opacity", 1, 0, 2);
  animation->Start();
  ASSERT_EQ(animation->Instance(), Planet);
  // Another sibling of that name later in the list does not matter during the run.
  auto* other = Add(CameraRig, "Planet");
  Tick(1);
  EXPECT_FLOAT_EQ(Planet->Opacity(), 0.5f);
  animation->Stop();
  EXPECT_EQ(animation->Instance(), nullptr);
  Planet->SetName("Old");
  animation->Start();
  EXPECT_EQ(animation->Instance(), other) << "the next run resolves again";
}

TEST_F(PropertyPathTest, ChangingThePathOrTheParentDropsTheResolution) {
  TFloatAnimation* animation = AddAnimation(Planet, "Position.X", 0, 4, 2);
  animation->Start();
  Tick(1);
  EXPECT_FLOAT_EQ(Planet->Position().X(), 2);

  animation->SetPropertyName("Position.Y");
  Tick(0.5);
  EXPECT_FLOAT_EQ(Planet->Position().X(), 2) << "the old property is no longer written";

  animation->Start();
  Camera->AddObject(animation);
  Tick(0.25);
  EXPECT_EQ(animation->Instance(), nullptr);
  EXPECT_EQ(Planet->Position().Y(), 0) << "no write to the old parent after the move";
}

}  // namespace
}  // namespace animtest
