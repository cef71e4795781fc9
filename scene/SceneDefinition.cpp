#include "scene/SceneDefinition.h"

#include <cassert>

#include "scene/BodyCatalogue.h"

namespace orvanth {

using rt3d::TMeshWrapMode;
using rt3d::TPoint3D;

const std::array<TSphereDefinition, 6> kSpheres = {{
    // name, position, scale, angle Y, stored orientation, wrap, material, hit test, two side
    {"Planet", {0, 0, 0}, 10, 0, nullptr, TMeshWrapMode::Fit, "PlanetMaterial", true, false},
    {"Sky", {0, 0, 0}, 200, 0, nullptr, TMeshWrapMode::Original, "SkyMaterial", false, true},
    {"Io", {7, 0, 0}, 1, 0, nullptr, TMeshWrapMode::Fit, "IoMaterial", true, false},
    {"Europa",
     {9, 0, 0},
     0.84f,
     45,
     "(0,0.382683455944061,0,0.923879504203796)",
     TMeshWrapMode::Fit,
     "EuropaMaterial",
     true,
     false},
    {"Ganymede",
     {12, 0, 0},
     1.43f,
     90,
     "(0,0.70710676908493,0,0.70710676908493)",
     TMeshWrapMode::Fit,
     "GanymedeMaterial",
     true,
     false},
    {"Callisto",
     {16, 0, 0},
     1.3f,
     135,
     "(0,0.923879504203796,0,0.382683426141739)",
     TMeshWrapMode::Fit,
     "CallistoMaterial",
     true,
     false},
}};

const std::array<TMaterialDefinition, 6> kMaterials = {{
    {"PlanetMaterial", true, assets::Image::Planet},
    {"IoMaterial", true, assets::Image::Io},
    {"EuropaMaterial", true, assets::Image::Europa},
    {"GanymedeMaterial", true, assets::Image::Ganymede},
    {"CallistoMaterial", true, assets::Image::Callisto},
    {"SkyMaterial", false, assets::Image::Stars},
}};

// The five bodies share one lit recipe: no highlight, no light of their own.
constexpr rt3d::TAlphaColor kBodyDiffuse = 0xFFA4A4A4;
constexpr rt3d::TAlphaColor kBodyAmbient = 0xFF585858;
constexpr int kBodyShininess = 30;

const std::array<TSpinDefinition, 5> kSpins = {{
    {"PlanetSpin", "Planet", 60},
    {"IoOrbit", "Io", 240},
    {"EuropaOrbit", "Europa", 480},
    {"GanymedeOrbit", "Ganymede", 960},
    {"CallistoOrbit", "Callisto", 2242},
}};

const std::array<TOrbitPivot, 4> kOrbitPivots = {{
    {"Io", {-7, 0, 0}},
    {"Europa", {-9, 0, 0}},
    {"Ganymede", {-12, 0, 0}},
    {"Callisto", {-16, 0, 0}},
}};

TTextureImages StartDecodingTextures(TTextureArrival arrival) {
  std::vector<std::span<const std::uint8_t>> sources;
  for (const TMaterialDefinition& material : kMaterials) {
    sources.push_back(arrival == TTextureArrival::SmallFirst ? assets::SmallPng(material.Texture)
                                                             : assets::Png(material.Texture));
  }
  auto batch = std::make_shared<rt3d::TDecodeBatch>(std::move(sources));
  if (arrival == TTextureArrival::SmallFirst) return {batch, nullptr};
  return {nullptr, batch};
}

rt3d::TSphere* TScene::SphereNamed(std::string_view name) const {
  for (rt3d::TSphere* sphere : {Planet, Sky, Io, Europa, Ganymede, Callisto}) {
    if (sphere && rt3d::SameText(sphere->Name(), name)) return sphere;
  }
  return nullptr;
}

rt3d::TSphere* TScene::BodySphere(int index) const {
  return SphereNamed(Body(index).Sphere);
}

namespace {

rt3d::TSphere* MakeSphere(const TSphereDefinition& d, rt3d::TTreeObject& parent) {
  auto* sphere = new rt3d::TSphere(d.Name);
  parent.AddObject(sphere);
  sphere->Position().SetPoint(d.Position);
  sphere->Scale().SetPoint({d.Scale, d.Scale, d.Scale});
  if (d.RotationAngleY != 0) sphere->RotationAngle().SetY(d.RotationAngleY);
  if (d.Quanternion) sphere->SetQuaternionText(d.Quanternion);
  sphere->SetSize(1, 1, 1);
  sphere->SetSubdivisionsAxes(50);
  sphere->SetSubdivisionsHeight(50);
  sphere->SetWrapMode(d.WrapMode);
  sphere->SetHitTest(d.HitTest);
  sphere->SetTwoSide(d.TwoSide);
  return sphere;
}

rt3d::TFloatAnimation* MakeSpin(const TSpinDefinition& d, rt3d::TTreeObject& sphere) {
  auto* spin = new rt3d::TFloatAnimation(d.Name);
  sphere.AddObject(spin);
  spin->SetDuration(d.Duration);
  spin->SetLoop(true);
  spin->SetPropertyName("RotationAngle.Y");
  spin->SetStartValue(0);
  spin->SetStopValue(-360);
  spin->SetStartFromCurrent(true);
  spin->SetAnimationType(rt3d::TAnimationType::In);
  spin->SetInterpolation(rt3d::TInterpolationType::Linear);
  spin->SetEnabled(true);  // only stored while loading; starts when loading ends
  return spin;
}

void AssignTexture(rt3d::TTextureBitmap& bitmap, const TTextureImages& images, std::size_t index,
                   std::span<const std::uint8_t> png) {
  const QSize size = rt3d::DecodedImageSize(png);
  if (!size.isValid() || size.isEmpty()) {
    // A header that tells no size: the image is needed now to know it.
    bitmap.AssignDecoded(images.Full ? images.Full->Take(index) : rt3d::DecodeImage(png), png);
    return;
  }
  rt3d::TPendingPixels pending;
  if (images.Full) {
    pending.Source = [batch = images.Full, index] { return batch->Take(index); };
    pending.Ready = [batch = images.Full, index] { return batch->IsReady(index); };
  } else {
    pending.Source = [png] { return rt3d::DecodeImage(png); };
    pending.Bands = [png] { return rt3d::TStripBands::Open(png); };
  }
  if (images.Small) pending.Preview = [batch = images.Small, index] { return batch->Take(index); };
  bitmap.AssignPending(size, std::move(pending), png);
}

}  // namespace

TScene BuildScene(rt3d::TViewportRoot& root, rt3d::TTreeObject& components,
                  const TTextureImages& images) {
  TScene scene;
  root.BeginLoading();
  components.BeginLoading();

  auto spinOf = [](const char* sphere) -> const TSpinDefinition* {
    for (const TSpinDefinition& spin : kSpins) {
      if (std::string_view(spin.Sphere) == sphere) return &spin;
    }
    return nullptr;
  };
  auto makeBody = [&](size_t i) {
    rt3d::TSphere* sphere = MakeSphere(kSpheres[i], root);
    if (const TSpinDefinition* spin = spinOf(kSpheres[i].Name)) {
      scene.BodyAnimations[size_t(spin - kSpins.data())] = MakeSpin(*spin, *sphere);
    }
    return sphere;
  };

  // The viewport's children in stored order: planet, camera rig, sky, moons.
  scene.Planet = makeBody(0);

  scene.CameraRig = new rt3d::TDummy("CameraRig");
  root.AddObject(scene.CameraRig);
  scene.CameraRig->SetSize(1, 1, 1);
  scene.Camera = new rt3d::TCamera("Camera");
  scene.CameraRig->AddObject(scene.Camera);
  scene.Camera->Position().SetPoint({0, 0, -15});
  scene.Camera->SetAngleOfView(45);
  scene.Camera->SetSize(1, 1, 1);
  scene.Light = new rt3d::TLight("Light");
  scene.CameraRig->AddObject(scene.Light);
  scene.Light->SetLightType(rt3d::TLightType::Directional);
  scene.Light->SetColor(rt3d::claWhite);
  scene.Light->Position().SetPoint({0, 0, -30});
  scene.Light->SetSpotCutOff(180);
  scene.Light->SetSpotExponent(3);
  scene.Light->SetSize(1, 1, 1);

  scene.Sky = makeBody(1);
  scene.Io = makeBody(2);
  scene.Europa = makeBody(3);
  scene.Ganymede = makeBody(4);
  scene.Callisto = makeBody(5);

  // The material sources, then the references to them (resolved after reading, as a
  // stored window resolves references to components that come later).
  size_t lit = 0;
  for (size_t i = 0; i < kMaterials.size(); ++i) {
    const TMaterialDefinition& d = kMaterials[i];
    const std::span<const std::uint8_t> png = assets::Png(d.Texture);
    if (d.Lit) {
      auto* source = new rt3d::TLightMaterialSource(d.Name);
      components.AddObject(source);
      source->SetDiffuse(kBodyDiffuse);
      source->SetAmbient(kBodyAmbient);
      source->SetEmissive(rt3d::claNull);
      source->SetSpecular(rt3d::claNull);
      source->SetShininess(kBodyShininess);
      AssignTexture(source->Texture(), images, i, png);
      scene.BodyMaterials[lit++] = source;
    } else {
      auto* source = new rt3d::TTextureMaterialSource(d.Name);
      components.AddObject(source);
      AssignTexture(source->Texture(), images, i, png);
      scene.SkyMaterial = source;
    }
  }
  scene.Camera->SetTarget(scene.Planet);
  for (const TSphereDefinition& d : kSpheres) {
    auto* source = dynamic_cast<rt3d::TMaterialSource*>(components.FindChild(d.MaterialSource));
    assert(source && "every sphere names a material source of the scene");
    scene.SphereNamed(d.Name)->SetMaterialSource(source);
  }

  components.EndLoading();
  root.EndLoading();
  return scene;
}

void SetOrbitPivots(const TScene& scene) {
  for (const TOrbitPivot& pivot : kOrbitPivots) {
    rt3d::TPosition3D& centre = scene.SphereNamed(pivot.Sphere)->RotationCenter();
    centre.SetX(pivot.RotationCenter.X);
    centre.SetY(pivot.RotationCenter.Y);
    centre.SetZ(pivot.RotationCenter.Z);
  }
}

}  // namespace orvanth
