#include <functional>

#include "AnimationFixture.h"

namespace animtest {
namespace {

// Dummy1 holds Camera1, Sphere1 and a TDummy named "Position" (so that a sibling's name
// can shadow nothing the parent has); animations are placed under one of them.
class PropertyPathTest : public AnimationTest {
 public:
  TDummy* Dummy1 = Add<TDummy>(Root.get(), "Dummy1");
  TCamera* Camera1 = Add<TCamera>(Dummy1, "Camera1");
  TControl3D* Sphere1 = Add(Dummy1, "Sphere1");
  TDummy* Decoy = Add<TDummy>(Dummy1, "Position");
};

TEST_F(PropertyPathTest, PathsResolveCaseInsensitivelyThroughObjectsAndSiblings) {
  struct Case {
    const char* path;
    std::function<TTreeObject*(PropertyPathTest&)> parent;
    std::function<TPersistent*(PropertyPathTest&)> instance;
    const char* property;
  };
  const Case cases[] = {
      {"position.z", [](auto& t) { return t.Camera1; },
       [](auto& t) { return &t.Camera1->Position(); }, "z"},
      {"RotationAngle.Y", [](auto& t) { return t.Sphere1; },
       [](auto& t) { return &t.Sphere1->RotationAngle(); }, "Y"},
      {"ROTATIONANGLE.y", [](auto& t) { return t.Sphere1; },
       [](auto& t) { return &t.Sphere1->RotationAngle(); }, "y"},
      {"Opacity", [](auto& t) { return t.Sphere1; }, [](auto& t) { return t.Sphere1; }, "Opacity"},
      {"Camera1.AngleOfView", [](auto& t) { return t.Dummy1; }, [](auto& t) { return t.Camera1; },
       "AngleOfView"},
      {"camera1.angleofview", [](auto& t) { return t.Dummy1; }, [](auto& t) { return t.Camera1; },
       "angleofview"},
      {"Camera1.Position.Z", [](auto& t) { return t.Dummy1; },
       [](auto& t) { return &t.Camera1->Position(); }, "Z"},
      {"Position.X", [](auto& t) { return t.Dummy1; },
       [](auto& t) { return &t.Dummy1->Position(); }, "X"},  // the property before a sibling
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
                         "Sphere1.Opacity.X",
                         "Camera1.AngleOfView"};  // Camera1 is no sibling of the animation
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    TFloatAnimation* animation = AddAnimation(Sphere1, path, 0, 0.5f, 1);
    int events = 0;
    animation->OnProcess = animation->OnFinish = [&](TTreeObject*) { ++events; };
    EXPECT_NO_THROW(animation->Start());
    EXPECT_FALSE(animation->Running());
    EXPECT_EQ(animation->Instance(), nullptr);
    EXPECT_EQ(events, 0);
    EXPECT_EQ(Sphere1->Opacity(), 1);
    EXPECT_EQ(TAniThread::Current(), nullptr) << "nothing started, no clock";
    delete animation;
  }
  TFloatAnimation orphan;
  orphan.SetPropertyName("Opacity");
  EXPECT_FALSE(orphan.ResolveProperty()) << "an animation without a parent";
}

TEST_F(PropertyPathTest, NonFloatPropertyRunsToItsEndWithoutWriting) {
  TFloatAnimation* animation = AddAnimation(Sphere1, "RotationAngle", 5, 10, 2);
  animation->SetStartFromCurrent(true);
  int finished = 0;
  animation->OnFinish = [&](TTreeObject*) { ++finished; };
  animation->Start();
  EXPECT_TRUE(animation->Running());
  Ticks(2, 1);
  EXPECT_FALSE(animation->Running());
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(animation->StartValue(), 5) << "nothing read";
  EXPECT_EQ(Sphere1->RotationAngle().Point(), (TPoint3D{0, 0, 0})) << "nothing written";
}

TEST_F(PropertyPathTest, FreedSiblingTargetIsDroppedNotWritten) {
  TFloatAnimation* animation = AddAnimation(Dummy1, "Camera1.Position.Z", -38, -15, 3);
  animation->Start();
  Tick(1);
  ASSERT_NEAR(Camera1->Position().Z(), -38 + 23 / 3.0, 1e-5);
  delete Camera1;
  EXPECT_EQ(animation->Instance(), nullptr);
  Ticks(2, 1);
  EXPECT_FALSE(animation->Running()) << "the run still ends";
  animation->Start();
  EXPECT_FALSE(animation->Running()) << "the next start finds no Camera1";
}

TEST_F(PropertyPathTest, ResolutionLastsForARunAndStopDropsIt) {
  TFloatAnimation* animation = AddAnimation(Dummy1, "Sphere1.Opacity", 1, 0, 2);
  animation->Start();
  ASSERT_EQ(animation->Instance(), Sphere1);
  // Another sibling of that name later in the list does not matter during the run.
  auto* other = Add(Dummy1, "Sphere1");
  Tick(1);
  EXPECT_FLOAT_EQ(Sphere1->Opacity(), 0.5f);
  animation->Stop();
  EXPECT_EQ(animation->Instance(), nullptr);
  Sphere1->SetName("Old");
  animation->Start();
  EXPECT_EQ(animation->Instance(), other) << "the next run resolves again";
}

TEST_F(PropertyPathTest, ChangingThePathOrTheParentDropsTheResolution) {
  TFloatAnimation* animation = AddAnimation(Sphere1, "Position.X", 0, 4, 2);
  animation->Start();
  Tick(1);
  EXPECT_FLOAT_EQ(Sphere1->Position().X(), 2);

  animation->SetPropertyName("Position.Y");
  Tick(0.5);
  EXPECT_FLOAT_EQ(Sphere1->Position().X(), 2) << "the old property is no longer written";

  animation->Start();
  Camera1->AddObject(animation);
  Tick(0.25);
  EXPECT_EQ(animation->Instance(), nullptr);
  EXPECT_EQ(Sphere1->Position().Y(), 0) << "no write to the old parent after the move";
}

}  // namespace
}  // namespace animtest
