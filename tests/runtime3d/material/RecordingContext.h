#pragma once
// A render context that records what materials set on it, in order, instead of drawing.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "runtime3d/core/Context3D.h"
#include "runtime3d/material/ShaderProgram.h"

namespace rt3d::test {

class RecordingContext : public TContext3D {
 public:
  struct Vector {
    std::string Name;
    TVector3D Value;
  };
  struct Matrix {
    std::string Name;
    TMatrix3D Value;
  };

  // Every call as one line: "shaders", "vector <name>", "matrix <name>", "texture <name>".
  std::vector<std::string> Log;
  std::vector<Vector> Vectors;
  std::vector<Matrix> Matrices;
  TShaderProgram* VertexShader = nullptr;
  TShaderProgram* PixelShader = nullptr;
  std::string TextureName;
  TTexture* BoundTexture = nullptr;
  int TextureUnit = -1;
  bool Flipped = false;

  void Clear(TAlphaColor, float) override {}
  void SetShaders(TShaderProgram* vertexShader, TShaderProgram* pixelShader) override {
    Log.push_back("shaders");
    VertexShader = vertexShader;
    PixelShader = pixelShader;
  }
  void SetShaderVariable(std::string_view name, const TVector3D& value) override {
    Log.push_back("vector " + std::string(name));
    Vectors.push_back({std::string(name), value});
  }
  void SetShaderVariable(std::string_view name, const TMatrix3D& value) override {
    Log.push_back("matrix " + std::string(name));
    Matrices.push_back({std::string(name), value});
  }
  void SetShaderTexture(std::string_view name, TTexture* texture, int unit) override {
    Log.push_back("texture " + std::string(name));
    TextureName = name;
    BoundTexture = texture;
    TextureUnit = unit;
  }
  void DrawTriangles(const TVertexBuffer&, const TIndexBuffer&, float, IMaterial*) override {}
  bool RenderTargetFlipped() const override { return Flipped; }

  void Forget() {
    Log.clear();
    Vectors.clear();
    Matrices.clear();
    VertexShader = PixelShader = nullptr;
    TextureName.clear();
    BoundTexture = nullptr;
    TextureUnit = -1;
  }

  // The last value given to a vector variable, if any.
  std::optional<TVector3D> Find(std::string_view name) const {
    for (auto it = Vectors.rbegin(); it != Vectors.rend(); ++it) {
      if (it->Name == name) return it->Value;
    }
    return std::nullopt;
  }
  std::optional<TMatrix3D> FindMatrix(std::string_view name) const {
    for (auto it = Matrices.rbegin(); it != Matrices.rend(); ++it) {
      if (it->Name == name) return it->Value;
    }
    return std::nullopt;
  }

 protected:
  void DoSetRenderState(const TRenderState&) override {}
};

inline void ExpectVectorNear(const std::optional<TVector3D>& actual, const TVector3D& expected,
                             const std::string& what, double eps = 1e-6) {
  ASSERT_TRUE(actual.has_value()) << what << " was never set";
  EXPECT_NEAR(actual->X, expected.X, eps) << what << ".x";
  EXPECT_NEAR(actual->Y, expected.Y, eps) << what << ".y";
  EXPECT_NEAR(actual->Z, expected.Z, eps) << what << ".z";
  EXPECT_NEAR(actual->W, expected.W, eps) << what << ".w";
}

}  // namespace rt3d::test
