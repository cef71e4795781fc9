#include "runtime3d/render/FrameLooks.h"

#include <cmath>
#include <cstring>

#include "runtime3d/core/Control3D.h"
#include "runtime3d/core/FramePlan.h"
#include "runtime3d/core/Light.h"
#include "runtime3d/material/Material.h"
#include "runtime3d/material/Texture.h"
#include "runtime3d/render/GLContext.h"

namespace rt3d {

namespace {

// Folds values into one number that changes whenever one of them does.
class THash {
 public:
  THash& operator<<(std::uint64_t v) {
    FValue = (FValue ^ v) * 0x100000001b3ull;
    FValue ^= FValue >> 29;
    return *this;
  }
  THash& operator<<(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return *this << std::uint64_t(bits);
  }
  THash& operator<<(const void* p) {
    return *this << std::uint64_t(reinterpret_cast<std::uintptr_t>(p));
  }
  THash& operator<<(const TPoint3D& p) { return *this << p.X << p.Y << p.Z; }
  std::uint64_t Value() const { return FValue; }

 private:
  std::uint64_t FValue = 0xcbf29ce484222325ull;
};

// The texture's pixels as the device shows them: replaced content, the full image taking
// the preview's place, the placeholder of a failed texture. (Its first upload happens in the
// frame that draws it with those pixels: no change then.)
void AddTexture(THash& hash, const TTexture* texture, const TGLContext& device) {
  hash << texture;
  if (!texture) return;
  const TTextureOnDevice held = device.TextureOnDevice(*texture);
  hash << texture->Generation() << std::uint64_t(held.Failed) << std::uint64_t(held.Preview)
       << std::uint64_t(texture->MinFilter()) << std::uint64_t(texture->MagFilter())
       << texture->TextureScale();
}

std::uint64_t MaterialLook(const TControl3D& object, const TGLContext& device) {
  THash hash;
  const IMaterial* material = object.RenderingMaterial();
  hash << material;
  if (auto* lit = dynamic_cast<const TLightMaterial*>(material)) {
    hash << std::uint64_t(lit->Diffuse) << std::uint64_t(lit->Ambient)
         << std::uint64_t(lit->Specular) << std::uint64_t(lit->Emissive)
         << std::uint64_t(lit->Shininess);
    AddTexture(hash, lit->Texture, device);
  } else if (auto* textured = dynamic_cast<const TTextureMaterial*>(material)) {
    AddTexture(hash, textured->Texture, device);
  } else if (auto* flat = dynamic_cast<const TColorMaterial*>(material)) {
    hash << std::uint64_t(flat->Color);
  } else if (material) {
    // A material of unknown kind: no telling when it changes, so it always has.
    static std::uint64_t unknown = 0;
    hash << ++unknown;
  }
  hash << object.Opacity() << std::uint64_t(object.ZWrite()) << std::uint64_t(object.TwoSide())
       << std::uint64_t(object.Opaque()) << std::uint64_t(object.Projection());
  return hash.Value();
}

}  // namespace

std::vector<TBodyLook> BodyLooks(const std::vector<TControl3D*>& objects,
                                 const TGLContext& device) {
  std::vector<TBodyLook> looks;
  for (TControl3D* object : objects) {
    if (DrawsNothing(*object)) continue;
    TBodyLook look;
    look.Id = object;
    look.Visible = object->Visible();
    if (look.Visible) {
      look.Matrix = object->AbsoluteMatrix();
      look.Material =
          MaterialLook(*object, device) ^ std::uint64_t(object->AbsoluteOpacity() * 1e6f);
      // Only its own surface is bounded: a body whose children draw, that draws itself by a
      // handler or on the 2D layer redraws the whole view when it changes.
      float inner = 0, outer = 0;
      bool childrenDraw = false;
      for (const TControl3D* child : object->RenderingList()) {
        childrenDraw = childrenDraw || (child->Visible() && !DrawsNothing(*child));
      }
      look.Bounded = !childrenDraw && !object->OnRender &&
                     object->Projection() == TProjection::Camera &&
                     object->DrawnShell(look.Centre, inner, outer) && std::isfinite(outer);
      look.Radius = outer;
    }
    looks.push_back(look);
  }
  return looks;
}

TControl3D* StillSky(const std::vector<TControl3D*>& planned, const TMatrix3D& camera,
                     const TGLContext& device) {
  if (planned.empty()) return nullptr;
  TControl3D* sky = planned.back();
  for (TControl3D* object : planned) {
    if (!IsOrderFree(*object) && !DrawsNothing(*object)) return nullptr;
  }
  TPoint3D centre;
  float inner = 0, outer = 0;
  const TPoint3D eye = TransformPoint({0, 0, 0}, camera.Inverse());
  if (!IsOrderFree(*sky) || !sky->DrawnShell(centre, inner, outer) ||
      !(Distance(eye, centre) < inner)) {
    return nullptr;
  }
  const IMaterial* material = sky->RenderingMaterial();
  const TTexture* texture = nullptr;
  if (auto* lit = dynamic_cast<const TLightMaterial*>(material)) texture = lit->Texture;
  if (auto* textured = dynamic_cast<const TTextureMaterial*>(material)) texture = textured->Texture;
  // A preview still showing is to be replaced: the texture must be seen drawn to be.
  if (texture) {
    const TTextureOnDevice held = device.TextureOnDevice(*texture);
    if (held.Preview || held.Handle == 0 || held.Generation != texture->Generation())
      return nullptr;
  }
  return sky;
}

std::uint64_t LayerKey(const TViewLook& view, const TBodyLook& body) {
  THash hash;
  for (const TMatrix3D* m : {&view.Camera, &view.Projection, &body.Matrix}) {
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) hash << (*m)[i][j];
    }
  }
  hash << std::uint64_t(view.Width) << std::uint64_t(view.Height) << view.Rest << body.Material
       << std::uint64_t(body.Visible);
  return hash.Value();
}

TViewLook ViewLook(const TMatrix3D& camera, const TMatrix3D& projection, int width, int height,
                   TAlphaColor fill, float scale, int samples,
                   const std::vector<TLightDescription>& lights) {
  THash hash;
  hash << std::uint64_t(fill) << scale << std::uint64_t(samples);
  for (const TLightDescription& light : lights) {
    hash << std::uint64_t(light.Enabled) << std::uint64_t(light.Color)
         << std::uint64_t(light.LightType) << light.SpotCutOff << light.SpotExponent
         << light.Position << light.Direction;
  }
  return {camera, projection, width, height, hash.Value()};
}

}  // namespace rt3d
