#include <gtest/gtest.h>

#include "runtime3d/core/Control3D.h"
#include "runtime3d/core/ViewportRoot.h"
#include "runtime3d/material/MaterialSource.h"
#include "runtime3d/material/Texture.h"

using namespace rt3d;

namespace {

class CountingViewport : public IViewport3D {
 public:
  TContext3D* Context() override { return nullptr; }
  TCamera* ActiveCamera() override { return nullptr; }
  void AddLight(TLight*) override {}
  void RemoveLight(TLight*) override {}
  TPointF ScreenToLocal(const TPointF& p) override { return p; }
  TPointF LocalToScreen(const TPointF& p) override { return p; }
  float SceneScale() override { return 1; }
  void RequestViewportRedraw() override { ++Redraws; }
  int Redraws = 0;
};

// A shape as the mesh library makes one: it attaches to its source and forgets it when the
// source goes away.
class Shape : public TControl3D {
 public:
  void SetSource(TMaterialSource* source) {
    if (FSource) {
      FSource->RemoveShape(this);
      FSource->RemoveFreeNotify(this);
    }
    FSource = source;
    if (FSource) {
      FSource->AddShape(this);
      FSource->AddFreeNotify(this);
    }
  }
  TMaterialSource* Source() const { return FSource; }

 protected:
  void FreeNotification(TTreeObject* gone) override {
    if (gone == FSource) FSource = nullptr;
  }

 private:
  TMaterialSource* FSource = nullptr;
};

QImage Opaque(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::darkGreen);
  return image;
}

struct Scene : ::testing::Test {
  CountingViewport viewport;
  TViewportRoot root{&viewport};

  Shape* AddShape() {
    auto* shape = new Shape;
    root.AddObject(shape);
    viewport.Redraws = 0;
    return shape;
  }
};

}  // namespace

TEST_F(Scene, TextureChangeRepaintsEveryShapeOfTheSource) {
  TTextureMaterialSource sky;
  TLightMaterialSource lit;
  Shape* a = AddShape();
  Shape* b = AddShape();
  Shape* other = AddShape();
  a->SetSource(&sky);
  b->SetSource(&sky);
  other->SetSource(&lit);

  sky.Texture().Assign(Opaque(4, 2));
  EXPECT_EQ(viewport.Redraws, 2) << "both shapes of the sky source repaint, the other not";
  ASSERT_NE(sky.Texture().Texture(), nullptr);
  EXPECT_EQ(sky.TextureMaterial().Texture, sky.Texture().Texture());
  EXPECT_TRUE(sky.Material()->Modified());

  viewport.Redraws = 0;
  b->SetSource(nullptr);
  lit.Texture().Assign(Opaque(2, 1));
  EXPECT_EQ(viewport.Redraws, 1) << "a new image on a light source shows too";
  EXPECT_EQ(lit.LightMaterial().Texture, lit.Texture().Texture());
}

TEST_F(Scene, LightSourcePropertiesWriteTheMaterialWithoutRepaint) {
  TLightMaterialSource source;
  Shape* shape = AddShape();
  shape->SetSource(&source);
  // The material's own defaults show through the source.
  EXPECT_EQ(source.Diffuse(), claWhite);
  EXPECT_EQ(source.Ambient(), 0xFF202020u);
  EXPECT_EQ(source.Specular(), 0xFF606060u);
  EXPECT_EQ(source.Emissive(), claNull);
  EXPECT_EQ(source.Shininess(), 30);
  EXPECT_EQ(source.LightMaterial().Texture, nullptr);

  source.SetDiffuse(0xFFA4A4A4);
  source.SetAmbient(0xFF585858);
  source.SetSpecular(claNull);
  source.SetEmissive(0xFF010203);
  source.SetShininess(12);
  const TLightMaterial& material = source.LightMaterial();
  EXPECT_EQ(material.Diffuse, 0xFFA4A4A4u);
  EXPECT_EQ(material.Ambient, 0xFF585858u);
  EXPECT_EQ(material.Specular, claNull);
  EXPECT_EQ(material.Emissive, 0xFF010203u);
  EXPECT_EQ(material.Shininess, 12);
  EXPECT_EQ(viewport.Redraws, 0);
}

TEST_F(Scene, EmptiedBitmapLeavesTheMaterialWithoutTexture) {
  TLightMaterialSource source;
  source.Texture().Assign(Opaque(8, 4));
  TTexture* texture = source.Texture().Texture();
  ASSERT_NE(texture, nullptr);
  source.Texture().Clear();
  EXPECT_TRUE(source.Texture().IsEmpty());
  EXPECT_EQ(source.LightMaterial().Texture, nullptr);
  // Loading again reuses the texture made the first time.
  source.Texture().Assign(Opaque(2, 2));
  EXPECT_EQ(source.Texture().Texture(), texture);
  EXPECT_EQ(source.LightMaterial().Texture, texture);
  EXPECT_EQ(texture->Width(), 2);
}

TEST_F(Scene, DestroyingEitherSideLeavesNoDanglingReference) {
  Shape* shape = AddShape();
  {
    TLightMaterialSource source;
    shape->SetSource(&source);
    ASSERT_EQ(source.Shapes().size(), 1u);
  }
  EXPECT_EQ(shape->Source(), nullptr) << "the shape forgets a source that went away";

  TTextureMaterialSource source;
  Shape* doomed = AddShape();
  doomed->SetSource(&source);
  shape->SetSource(&source);
  delete doomed;  // without detaching first
  ASSERT_EQ(source.Shapes().size(), 1u);
  EXPECT_EQ(source.Shapes()[0], shape);
  viewport.Redraws = 0;
  source.Texture().Assign(Opaque(1, 1));  // must not touch the freed shape
  EXPECT_EQ(viewport.Redraws, 1);
}

TEST_F(Scene, ColourSourceRepaintsOnlyOnANewColour) {
  TColorMaterialSource source;
  AddShape()->SetSource(&source);
  EXPECT_EQ(source.Color(), claRed);
  source.SetColor(claRed);
  EXPECT_EQ(viewport.Redraws, 0) << "the same colour changes nothing";
  source.SetColor(claAqua);
  EXPECT_EQ(viewport.Redraws, 1);
  EXPECT_EQ(source.ColorMaterial().Color, claAqua);
}

TEST(ValidMaterial, IsTheSourcesMaterialOrNone) {
  TLightMaterialSource source;
  EXPECT_EQ(ValidMaterial(&source), source.Material());
  EXPECT_EQ(ValidMaterial(nullptr), nullptr);
}
