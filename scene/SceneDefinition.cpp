#include "scene/SceneDefinition.h"

#include "scene/BodyCatalogue.h"

namespace orvanth {

using rt3d::TMeshWrapMode;
using rt3d::TPoint3D;

// The moons start a quarter turn apart: Io at 0 degrees, Europa at 45, Ganymede at 90 and
// Callisto at 135, each with the turn written as its quaternion too.
const TByBody<TBodyDefinition> kBodyDefinitions = {{{
    // sphere: name, scale, angle Y, orientation, wrap, hit test, two side; spin: name, seconds
    {{"Planet", 10, 0, nullptr, TMeshWrapMode::Fit, true, false}, {"PlanetSpin", 60}},
    {{"Io", 1, 0, nullptr, TMeshWrapMode::Fit, true, false}, {"IoOrbit", 240}},
    {{"Europa", 0.84f, 45, "(0,0.382683455944061,0,0.923879504203796)", TMeshWrapMode::Fit, true,
      false},
     {"EuropaOrbit", 480}},
    {{"Ganymede", 1.43f, 90, "(0,0.70710676908493,0,0.70710676908493)", TMeshWrapMode::Fit, true,
      false},
     {"GanymedeOrbit", 960}},
    {{"Callisto", 1.3f, 135, "(0,0.923879504203796,0,0.382683426141739)", TMeshWrapMode::Fit, true,
      false},
     {"CallistoOrbit", 2242}},
}}};

// Inside out and out of reach of the pointer: the backdrop all round.
const TSphereDefinition kSkyDefinition = {"Sky", 200, 0, nullptr, TMeshWrapMode::Original,
                                          false, true};

const std::array<TMaterialDefinition, kBodyCount + 1> kMaterials = {{
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

namespace {

rt3d::TSphere* MakeSphere(const TSphereDefinition& d, TPoint3D position,
                          rt3d::TTreeObject& parent) {
  auto* sphere = new rt3d::TSphere(d.Name);
  parent.AddObject(sphere);
  sphere->Position().SetPoint(position);
  sphere->Scale().SetPoint({d.Scale, d.Scale, d.Scale});
  if (d.RotationAngleY != 0) sphere->RotationAngle().SetY(d.RotationAngleY);
  if (d.Orientation) sphere->SetQuaternionText(d.Orientation);
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
  spin->SetEnabled(true);  // noted while loading; starts when loading ends
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

  auto makeBody = [&](TBodyId id) {
    const TBodyDefinition& d = kBodyDefinitions[id];
    rt3d::TSphere* sphere = MakeSphere(d.Sphere, {Body(id).OrbitRadius, 0, 0}, root);
    scene.BodyAnimations[id] = MakeSpin(d.Spin, *sphere);
    scene.Bodies[id] = sphere;
  };

  // The viewport's children in this order: planet, camera rig, sky, moons.
  makeBody(TBodyId::Orvanth);

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

  scene.Sky = MakeSphere(kSkyDefinition, {0, 0, 0}, root);
  for (TBodyId id : kMoons) {
    makeBody(id);
  }

  // The material sources, then the spheres' references to them.
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
      scene.BodyMaterials[kBodyIds[i]] = source;
    } else {
      auto* source = new rt3d::TTextureMaterialSource(d.Name);
      components.AddObject(source);
      AssignTexture(source->Texture(), images, i, png);
      scene.SkyMaterial = source;
    }
  }
  scene.Camera->SetTarget(scene.Bodies[TBodyId::Orvanth]);
  // In the order the spheres were made, the sky after the planet.
  scene.Bodies[TBodyId::Orvanth]->SetMaterialSource(scene.BodyMaterials[TBodyId::Orvanth]);
  scene.Sky->SetMaterialSource(scene.SkyMaterial);
  for (TBodyId id : kMoons) {
    scene.Bodies[id]->SetMaterialSource(scene.BodyMaterials[id]);
  }

  components.EndLoading();
  root.EndLoading();
  return scene;
}

void SetOrbitPivots(const TScene& scene) {
  // Each moon turns about the planet's centre, which lies its orbit radius away along -X.
  for (TBodyId id : kMoons) {
    rt3d::TPosition3D& centre = scene.Bodies[id]->RotationCenter();
    centre.SetX(-Body(id).OrbitRadius);
    centre.SetY(0);
    centre.SetZ(0);
  }
}

}  // namespace orvanth
