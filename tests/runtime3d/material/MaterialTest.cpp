#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <set>

#include "runtime3d/material/Material.h"
#include "runtime3d/material/ShaderProgram.h"
#include "runtime3d/material/ShaderSources.h"
#include "runtime3d/material/Texture.h"
#include "tests/runtime3d/material/RecordingContext.h"

using namespace rt3d;
using rt3d::test::ExpectVectorNear;
using rt3d::test::RecordingContext;

namespace {

// The viewer's single light: white, directional, on the camera rig.
TLightDescription ViewerLight() {
  TLightDescription light;
  light.Enabled = true;
  light.Color = claWhite;
  light.LightType = TLightType::Directional;
  light.SpotCutOff = 180;
  light.SpotExponent = 3;
  light.Position = {0, 0, -30};
  light.Direction = {0, 0, 1};
  return light;
}

// A light told apart from the others by its spot exponent.
TLightDescription NumberedLight(int number, bool enabled = true) {
  TLightDescription light;
  light.Enabled = enabled;
  light.SpotExponent = float(number);
  light.Position = {float(number), 0, 0};
  return light;
}

void MakeViewerMaterial(TLightMaterial& material) {
  material.Diffuse = 0xFFA4A4A4;
  material.Ambient = 0xFF585858;
  material.Emissive = claNull;
  material.Specular = claNull;
  material.Shininess = 30;
}

void SetPixelsOfSize(TTexture& texture, int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  texture.SetPixels(image);
}

}  // namespace

// --- The light material ------------------------------------------------------------------

TEST(LightMaterial, ViewerBodiesGetTheirShaderInputs) {
  RecordingContext context;
  context.Lights().push_back(ViewerLight());
  TMatrix3D camera;
  camera[3][0] = 1, camera[3][1] = 2, camera[3][2] = -15;
  context.SetCameraMatrix(camera);
  context.SetCurrentOpacity(1);
  TTexture texture;
  SetPixelsOfSize(texture, 4, 2);
  TLightMaterial material;
  MakeViewerMaterial(material);
  material.Texture = &texture;

  material.Apply(context);

  ASSERT_NE(context.VertexShader, nullptr);
  EXPECT_EQ(context.VertexShader->Name(), "gouraud2.fvs");
  EXPECT_EQ(context.PixelShader->Name(), "gouraud.fps");
  const std::vector<std::string> expectedLog = {
      "shaders",
      "vector MaterialDiffuse",
      "vector MaterialSpecular",
      "vector MaterialAmbient",
      "vector MaterialEmission",
      "vector MaterialOpts",
      "vector EyePos",
      "vector Lights[0].Opts",
      "vector Lights[0].Pos",
      "vector Lights[0].Dir",
      "vector Lights[0].Color",
      // The empty slot gets its type code only.
      "vector Lights[1].Opts",
      "vector Opacity",
      "vector Modulation",
      "texture texture0",
  };
  EXPECT_EQ(context.Log, expectedLog);

  const float grey = 0.6431373f, ambient = 0.3450980f;
  ExpectVectorNear(context.Find("MaterialDiffuse"), {grey, grey, grey, 1}, "diffuse");
  ExpectVectorNear(context.Find("MaterialAmbient"), {ambient, ambient, ambient, 1}, "ambient");
  ExpectVectorNear(context.Find("MaterialEmission"), {0, 0, 0, 0}, "emission");
  ExpectVectorNear(context.Find("MaterialSpecular"), {0, 0, 0, 0}, "specular");
  ExpectVectorNear(context.Find("MaterialOpts"), {30, 0, 0, 0}, "shininess");
  ExpectVectorNear(context.Find("EyePos"), {1, 2, -15, 1}, "the view matrix's fourth row");
  ExpectVectorNear(context.Find("Lights[0].Opts"), {1, -1, 3, 0}, "slot 0 options");
  ExpectVectorNear(context.Find("Lights[0].Pos"), {0, 0, -30, 1}, "slot 0 position");
  ExpectVectorNear(context.Find("Lights[0].Dir"), {0, 0, 1, 1}, "slot 0 direction");
  ExpectVectorNear(context.Find("Lights[0].Color"), {1, 1, 1, 1}, "slot 0 colour");
  ExpectVectorNear(context.Find("Lights[1].Opts"), {0, 0, 0, 0}, "empty slot 1");
  ExpectVectorNear(context.Find("Opacity"), {1, 0, 0, 0}, "opacity");
  ExpectVectorNear(context.Find("Modulation"), {2, 0, 0, 0}, "textured");
  EXPECT_EQ(context.BoundTexture, &texture);
  EXPECT_EQ(context.TextureUnit, 0);
}

TEST(LightMaterial, ProgramAndSlotsFollowTheEnabledLightCount) {
  struct Case {
    int lights;
    const char* program;
    int slotCount;
  };
  const Case cases[] = {
      {0, "nolight.fvs", 0},  {1, "gouraud2.fvs", 2}, {2, "gouraud2.fvs", 2},
      {3, "gouraud4.fvs", 4}, {4, "gouraud4.fvs", 4}, {5, "gouraud8.fvs", 8},
      {8, "gouraud8.fvs", 8}, {9, "gouraud8.fvs", 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.lights) + " enabled lights");
    RecordingContext context;
    for (int i = 0; i < c.lights; ++i) context.Lights().push_back(NumberedLight(i));
    TLightMaterial material;
    material.Apply(context);

    ASSERT_NE(context.VertexShader, nullptr);
    EXPECT_EQ(context.VertexShader->Name(), c.program);
    const int filled = std::min(c.lights, 8);
    for (int slot = 0; slot < 9; ++slot) {
      const std::string prefix = "Lights[" + std::to_string(slot) + "].";
      const auto opts = context.Find(prefix + "Opts");
      if (slot < filled) {
        // The s-th light fills slot s.
        ExpectVectorNear(opts, {1, -1, float(slot), 0}, prefix + "Opts");
        ExpectVectorNear(context.Find(prefix + "Pos"), {float(slot), 0, 0, 1}, prefix + "Pos");
      } else if (slot < c.slotCount) {
        ExpectVectorNear(opts, {0, 0, 0, 0}, prefix + "Opts of an empty slot");
        EXPECT_FALSE(context.Find(prefix + "Pos")) << "an empty slot keeps its other fields";
        EXPECT_FALSE(context.Find(prefix + "Color"));
      } else {
        EXPECT_FALSE(opts) << "the program has no " << prefix;
      }
    }
  }
}

TEST(LightMaterial, DisabledLightsTakeNoSlot) {
  RecordingContext context;
  context.Lights() = {NumberedLight(10, false), NumberedLight(11), NumberedLight(12, false)};
  TLightMaterial material;
  material.Apply(context);

  EXPECT_EQ(context.VertexShader->Name(), "gouraud2.fvs");
  ExpectVectorNear(context.Find("Lights[0].Opts"), {1, -1, 11, 0}, "the enabled light");
  ExpectVectorNear(context.Find("Lights[1].Opts"), {0, 0, 0, 0}, "nothing else is enabled");

  context.Forget();
  context.Lights() = {NumberedLight(1, false), NumberedLight(2, false)};
  material.Apply(context);
  EXPECT_EQ(context.VertexShader->Name(), "nolight.fvs") << "no enabled light at all";
}

TEST(LightMaterial, LightRecordBecomesSlotValues) {
  struct Case {
    const char* name;
    TLightType type;
    float cutOff;
    float exponent;
    TVector3D opts;
  };
  const Case cases[] = {
      {"directional", TLightType::Directional, 180, 3, {1, -1, 3, 0}},
      {"point", TLightType::Point, 180, 0, {2, -1, 0, 0}},
      {"spot 60", TLightType::Spot, 60, 4, {3, 0.5f, 4, 0}},
      {"spot 90", TLightType::Spot, 90, 2, {3, 0, 2, 0}},
      // Cut-off 180 puts every point with c > -1 inside the cone.
      {"spot 180", TLightType::Spot, 180, 4, {3, -1, 4, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingContext context;
    TLightDescription light;
    light.LightType = c.type;
    light.SpotCutOff = c.cutOff;
    light.SpotExponent = c.exponent;
    light.Color = 0x80FF8000;
    light.Position = {1, 2, 3};
    light.Direction = {0, 2, 0};
    context.Lights().push_back(light);
    TLightMaterial material;
    material.Apply(context);

    ExpectVectorNear(context.Find("Lights[0].Opts"), c.opts, "Opts");
    ExpectVectorNear(context.Find("Lights[0].Pos"), {1, 2, 3, 1}, "Pos");
    // Not normalised: the direction carries the light's scale.
    ExpectVectorNear(context.Find("Lights[0].Dir"), {0, 2, 0, 1}, "Dir");
    ExpectVectorNear(context.Find("Lights[0].Color"), {1, 128 / 255.0f, 0, 128 / 255.0f}, "Color");
  }
}

TEST(LightMaterial, ModulatesOnlyWithATextureThatHasPixels) {
  TTexture sized, empty;
  SetPixelsOfSize(sized, 3, 1);
  struct Case {
    const char* name;
    TTexture* texture;
    float modulation;
  };
  const Case cases[] = {
      {"no texture", nullptr, 0}, {"empty texture", &empty, 0}, {"texture 3x1", &sized, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingContext context;
    TLightMaterial material;
    material.Texture = c.texture;
    material.Apply(context);
    ExpectVectorNear(context.Find("Modulation"), {c.modulation, 0, 0, 0}, "Modulation");
    EXPECT_EQ(context.BoundTexture, c.texture);
  }
}

TEST(LightMaterial, DefaultsAndOpacity) {
  RecordingContext context;
  context.SetCurrentOpacity(0.25f);
  TLightMaterial material;
  material.Apply(context);
  ExpectVectorNear(context.Find("MaterialDiffuse"), {1, 1, 1, 1}, "white diffuse");
  const float a = 0x20 / 255.0f, s = 0x60 / 255.0f;
  ExpectVectorNear(context.Find("MaterialAmbient"), {a, a, a, 1}, "dark ambient");
  ExpectVectorNear(context.Find("MaterialSpecular"), {s, s, s, 1}, "grey specular");
  ExpectVectorNear(context.Find("MaterialEmission"), {0, 0, 0, 0}, "no emission");
  ExpectVectorNear(context.Find("MaterialOpts"), {30, 0, 0, 0}, "shininess 30");
  ExpectVectorNear(context.Find("Opacity"), {0.25f, 0, 0, 0}, "the context's opacity");
}

// --- Flipped render targets --------------------------------------------------------------

TEST(Materials, FlippedSamplingOnlyForRenderTargetsOnFlippingDevices) {
  TTexture image, target;
  SetPixelsOfSize(image, 2, 2);
  target.SetSize(2, 2);
  target.SetStyle(tsRenderTarget);
  struct Case {
    const char* name;
    TTexture* texture;
    bool deviceFlips;
    bool flipped;
  };
  const Case cases[] = {
      {"image on a flipping device", &image, true, false},
      {"render target on a flipping device", &target, true, true},
      {"render target on a plain device", &target, false, false},
      {"no texture on a flipping device", nullptr, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingContext context;
    context.Flipped = c.deviceFlips;
    TLightMaterial lit;
    lit.Texture = c.texture;
    lit.Apply(context);
    EXPECT_EQ(context.PixelShader->Name(), c.flipped ? "gouraud_flip.fps" : "gouraud.fps");
    TTextureMaterial unlit;
    unlit.Texture = c.texture;
    unlit.Apply(context);
    EXPECT_EQ(context.PixelShader->Name(), c.flipped ? "texture_flip.fps" : "texture.fps");
  }
}

// --- Texture and colour materials ----------------------------------------------------------

TEST(TextureMaterial, ShowsItsTextureTimesOpacity) {
  RecordingContext context;
  context.SetCurrentOpacity(0.5f);
  TTexture texture;
  SetPixelsOfSize(texture, 2, 1);
  TTextureMaterial material;
  material.Texture = &texture;
  material.Apply(context);

  EXPECT_EQ(context.VertexShader->Name(), "texture.fvs");
  EXPECT_EQ(context.PixelShader->Name(), "texture.fps");
  EXPECT_EQ(context.BoundTexture, &texture);
  EXPECT_EQ(context.TextureName, "texture0");
  ExpectVectorNear(context.Find("Opacity"), {0.5f, 0, 0, 0}, "opacity");
  EXPECT_EQ(material.MatrixVariable(TMaterialMatrix::ModelViewProjection), "MVPMatrix");
  EXPECT_EQ(material.MatrixVariable(TMaterialMatrix::ModelView), "");
  EXPECT_EQ(material.MatrixVariable(TMaterialMatrix::ModelViewInverseTranspose), "");
}

TEST(ColorMaterial, DefaultsToRed) {
  RecordingContext context;
  TColorMaterial material;
  material.Apply(context);
  EXPECT_EQ(context.VertexShader->Name(), "color.fvs");
  EXPECT_EQ(context.PixelShader->Name(), "color.fps");
  ExpectVectorNear(context.Find("MaterialColor"), {1, 0, 0, 1}, "opaque red");
}

// --- The draw protocol -------------------------------------------------------------------

namespace {

// Records its calls into the context's log so the order of the whole draw shows.
class LoggingMaterial : public IMaterial {
 public:
  explicit LoggingMaterial(bool lit) : FLit(lit) {}
  void Apply(TContext3D& context) override { Log(context, "apply"); }
  void Reset(TContext3D& context) override { Log(context, "reset"); }
  std::string_view MatrixVariable(TMaterialMatrix which) const override {
    if (which == TMaterialMatrix::ModelViewProjection) return "MVP";
    if (!FLit) return "";
    return which == TMaterialMatrix::ModelView ? "MV" : "MVIT";
  }

 private:
  static void Log(TContext3D& context, const char* what) {
    static_cast<RecordingContext&>(context).Log.push_back(what);
  }
  bool FLit;
};

TMatrix3D SomeModelMatrix() {
  // Non-uniform scale, a turn and a shift: the inverse transpose differs from the matrix.
  TMatrix3D m = TMatrix3D::CreateScaling({2, 1, 0.5f});
  TMatrix3D turn = TQuaternion3D::Create({0, 1, 0}, 0.7).ToMatrix();
  return m * turn * TMatrix3D::CreateTranslation({3, -1, 4});
}

}  // namespace

TEST(DrawWithMaterial, AppliesSetsMatricesDrawsAndResetsInThatOrder) {
  for (bool lit : {false, true}) {
    SCOPED_TRACE(lit ? "lit material" : "unlit material");
    RecordingContext context;
    context.SetSize(640, 480);
    TMatrix3D camera;
    camera[3][2] = -15;
    context.SetCameraMatrix(camera);
    context.SetMatrix(SomeModelMatrix());
    TColorMaterial fallback;
    LoggingMaterial material(lit);

    DrawWithMaterial(context, 0.75f, &material, fallback, [&] { context.Log.push_back("draw"); });

    std::vector<std::string> expected = {"apply", "matrix MVP"};
    if (lit) expected.insert(expected.end(), {"matrix MV", "matrix MVIT"});
    expected.insert(expected.end(), {"draw", "reset"});
    EXPECT_EQ(context.Log, expected);
    EXPECT_FLOAT_EQ(context.CurrentOpacity(), 0.75f);
    EXPECT_EQ(*context.FindMatrix("MVP"), context.CurrentModelViewProjectionMatrix());
    if (lit) {
      EXPECT_EQ(*context.FindMatrix("MV"), SomeModelMatrix()) << "no camera in it";
    }
  }
}

TEST(DrawWithMaterial, InverseTransposeKeepsNormalsPerpendicular) {
  RecordingContext context;
  context.SetMatrix(SomeModelMatrix());
  TColorMaterial fallback;
  LoggingMaterial material(true);
  DrawWithMaterial(context, 1, &material, fallback, nullptr);
  const TMatrix3D model = SomeModelMatrix();
  const TMatrix3D normalMatrix = *context.FindMatrix("MVIT");

  // A surface with normal n contains the tangents t1, t2; after the model transform the
  // transformed normal must stay perpendicular to the transformed tangents.
  const TPoint3D n = Normalize({1, 1, 1});
  const TPoint3D tangents[] = {{1, -1, 0}, {0, 1, -1}};
  const TPoint3D nOut = (TVector3D::Direction(n) * normalMatrix).XYZ();
  for (const TPoint3D& t : tangents) {
    const TPoint3D tOut = (TVector3D::Direction(t) * model).XYZ();
    EXPECT_NEAR(Dot(nOut, tOut), 0, 1e-5);
  }
  EXPECT_GT(Length(nOut), 0.1);
}

TEST(DrawWithMaterial, WithoutMaterialDrawsRedFadedByOpacity) {
  struct Case {
    float opacity;
    float alpha;
  };
  // Red's alpha byte is scaled, then the program multiplies by the opacity again.
  const Case cases[] = {{1, 1}, {1.5f, 1}, {0.5f, 127 / 255.0f}, {0, 0}, {-1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE("opacity " + std::to_string(c.opacity));
    RecordingContext context;
    TColorMaterial fallback;
    DrawWithMaterial(context, c.opacity, nullptr, fallback, nullptr);
    ASSERT_NE(context.VertexShader, nullptr);
    EXPECT_EQ(context.VertexShader->Name(), "color.fvs");
    ExpectVectorNear(context.Find("MaterialColor"), {1, 0, 0, c.alpha}, "colour", 1e-6);
    ExpectVectorNear(context.Find("Opacity"), {c.opacity, 0, 0, 0}, "opacity");
    EXPECT_TRUE(context.FindMatrix("MVPMatrix").has_value());
  }
}

// --- Shader programs ---------------------------------------------------------------------

TEST(ShaderManager, SharesProgramsByNameKindAndSource) {
  TShaderManager manager;
  TShaderProgram* a = manager.Register("x.fvs", TShaderKind::Vertex, "void main() {}");
  EXPECT_EQ(manager.Register("x.fvs", TShaderKind::Vertex, "void main() {}"), a);
  EXPECT_NE(manager.Register("x.fvs", TShaderKind::Pixel, "void main() {}"), a);
  EXPECT_NE(manager.Register("x.fvs", TShaderKind::Vertex, "void main() { }"), a);
  EXPECT_NE(manager.Register("y.fvs", TShaderKind::Vertex, "void main() {}"), a);
  EXPECT_EQ(manager.Programs().size(), 4u);
}

TEST(ShaderManager, MaterialsOfAKindShareTheirPrograms) {
  RecordingContext first, second;
  first.Lights().push_back(ViewerLight());
  second.Lights().push_back(ViewerLight());
  TLightMaterial a, b;
  a.Apply(first);
  b.Apply(second);
  EXPECT_EQ(first.VertexShader, second.VertexShader);
  EXPECT_EQ(first.PixelShader, second.PixelShader);
}

TEST(ShaderProgram, VariableNamesBecomeUniformNames) {
  EXPECT_EQ(UniformName("MaterialDiffuse"), "_MaterialDiffuse");
  EXPECT_EQ(UniformName("texture0"), "_texture0");
  EXPECT_EQ(UniformName("Lights[7].Color"), "_Lights[7]._Color");
  EXPECT_EQ(CannotFindShaderMessage("gouraud2.fvs"),
            "Cannot find a suitable shader for 'gouraud2.fvs'.");
}

TEST(ShaderProgram, DepthRemapDefineFollowsTheVersionLine) {
  const std::string remapped = WithDepthRemap(ShaderSource("texture.fvs"));
  EXPECT_EQ(remapped.rfind("#version 330 core\n#define ORVANTH_REMAP_DEPTH\n", 0), 0u)
      << remapped.substr(0, 60);
  for (std::string_view name : ShaderProgramNames()) {
    if (!name.ends_with(".fvs")) continue;
    EXPECT_NE(ShaderSource(name).find("#ifdef ORVANTH_REMAP_DEPTH"), std::string::npos)
        << name << " must honour the depth remap";
  }
}

namespace {

struct TDeclaredUniforms {
  std::set<std::string> Names;  // without array suffix
  int LightSlots = 0;
};

TDeclaredUniforms DeclaredUniforms(const std::string& source) {
  TDeclaredUniforms result;
  static const std::regex uniform(R"(uniform\s+\w+\s+(\w+)\s*(\[\s*\w+\s*\])?\s*;)");
  for (std::sregex_iterator it(source.begin(), source.end(), uniform), end; it != end; ++it) {
    result.Names.insert((*it)[1]);
  }
  static const std::regex slotCount(R"(#define LIGHT_SLOTS (\d+))");
  std::smatch match;
  if (std::regex_search(source, match, slotCount)) result.LightSlots = std::stoi(match[1]);
  return result;
}

}  // namespace

// The device finds uniforms by name: every uniform a program reads must be one the
// material sets, or it would read whatever was left there.
TEST(ShaderProgram, EveryUniformAProgramReadsIsSetByItsMaterial) {
  struct Case {
    const char* name;
    int lights;
    int kind;  // 0 light material, 1 texture material, 2 colour material
  };
  const Case cases[] = {{"lit, no light", 0, 0},     {"lit, one light", 1, 0},
                        {"lit, three lights", 3, 0}, {"lit, six lights", 6, 0},
                        {"texture", 0, 1},           {"colour", 0, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingContext context;
    for (int i = 0; i < c.lights; ++i) context.Lights().push_back(NumberedLight(i));
    TTexture texture;
    SetPixelsOfSize(texture, 2, 2);
    TLightMaterial lit;
    lit.Texture = &texture;
    TTextureMaterial unlit;
    unlit.Texture = &texture;
    TColorMaterial colour;
    TMaterial* materials[] = {&lit, &unlit, &colour};
    DrawWithMaterial(context, 1, materials[c.kind], colour, nullptr);

    std::set<std::string> set;
    for (const auto& v : context.Vectors) set.insert(UniformName(v.Name));
    for (const auto& m : context.Matrices) set.insert(UniformName(m.Name));
    set.insert(UniformName(context.TextureName));
    for (TShaderProgram* program : {context.VertexShader, context.PixelShader}) {
      ASSERT_NE(program, nullptr);
      ASSERT_FALSE(program->Source().empty()) << program->Name();
      EXPECT_EQ(program->Source().rfind("#version 330 core\n", 0), 0u) << program->Name();
      const TDeclaredUniforms declared = DeclaredUniforms(program->Source());
      EXPECT_TRUE(program->Kind() == TShaderKind::Pixel || declared.Names.count("_MVPMatrix"))
          << program->Name() << " places its vertices";
      for (const std::string& uniform : declared.Names) {
        if (uniform == "_Lights") {
          for (int slot = 0; slot < declared.LightSlots; ++slot) {
            EXPECT_TRUE(set.count("_Lights[" + std::to_string(slot) + "]._Opts"))
                << program->Name() << " reads slot " << slot;
          }
        } else {
          EXPECT_TRUE(set.count(uniform)) << program->Name() << " reads " << uniform;
        }
      }
    }
  }
}

TEST(ShaderProgram, LightProgramsHaveTheirSlotCounts) {
  const std::pair<const char*, int> cases[] = {
      {"gouraud1.fvs", 1}, {"gouraud2.fvs", 2}, {"gouraud4.fvs", 4}, {"gouraud8.fvs", 8}};
  for (const auto& [name, slotCount] : cases) {
    const TDeclaredUniforms declared = DeclaredUniforms(ShaderSource(name));
    EXPECT_EQ(declared.LightSlots, slotCount) << name;
    EXPECT_TRUE(declared.Names.count("_Lights")) << name;
  }
  EXPECT_TRUE(ShaderSource("no such program").empty());
}
