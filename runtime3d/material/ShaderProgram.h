#pragma once
// Shader programs and the registry that shares them between materials.
//
// A program is one stage (vertex or pixel) in GLSL 330 core. What every program agrees on:
//  - vertex attributes: location 0 a_Position (vec3, byte offset 0), 1 a_Normal (vec3,
//    offset 12), 2 a_TexCoord0 (vec2, offset 24); vertex stride 56 bytes;
//  - a material variable named X is the uniform _X. Light slot variables
//    "Lights[<n>].Opts" / ".Pos" / ".Dir" / ".Color" are fields of the uniform array
//    _Lights (struct TLightSlot { vec4 _Opts; vec4 _Pos; vec4 _Dir; vec4 _Color; }), so a
//    variable name becomes its uniform name by UniformName() below;
//  - every value is a vec4 (scalars as (value, 0, 0, 0), read as .x) or a mat4;
//  - matrices arrive in the runtime's row-vector convention (clip = (x, y, z, 1) x MVP).
//    The device uploads the 16 floats as stored (row by row, glUniformMatrix4fv with
//    transpose = GL_FALSE); GL reads them column by column, so the shader holds the
//    transpose and writes the product as `_MVPMatrix * vec4(p, 1.0)`;
//  - textures: "texture0" is `uniform sampler2D _texture0` on unit 0; texture coordinate
//    (0, 0) is the first (top) row of the image as uploaded;
//  - depth: the projection gives clip z in [0, w] (0 at the near plane). With
//    glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE) that is used as it is; without it the
//    device inserts `#define ORVANTH_REMAP_DEPTH` right after the #version line (see
//    WithDepthRemap) and every vertex program maps z to GL's [-w, w];
//  - vertex programs pass `out vec4 v_Color; out vec2 v_TexCoord0;` and pixel programs
//    write `out vec4 o_Color`.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime3d/core/DeviceResource.h"

namespace rt3d {

enum class TShaderKind : std::uint8_t { Vertex, Pixel };

// What a device compiles of it, the device keeps (see DeviceResource.h).
class TShaderProgram : public TDeviceResource {
 public:
  TShaderProgram(std::string name, TShaderKind kind, std::string source);
  ~TShaderProgram() override;
  TShaderProgram(const TShaderProgram&) = delete;
  TShaderProgram& operator=(const TShaderProgram&) = delete;

  // The program's file-like name, e.g. "gouraud2.fvs".
  const std::string& Name() const { return FName; }
  TShaderKind Kind() const { return FKind; }
  // GLSL 330 core text; empty when there is no source for this device (making such a
  // program current raises ECannotFindShader with CannotFindShaderMessage(Name())).
  const std::string& Source() const { return FSource; }

 private:
  std::string FName;
  TShaderKind FKind;
  std::string FSource;
};

// Programs by name, kind and source: registering the same triple again gives the program
// already there, so every material of a kind shares one compiled program. Programs live
// as long as the manager (the process, for Instance()).
class TShaderManager {
 public:
  static TShaderManager& Instance();

  TShaderManager();
  ~TShaderManager();
  TShaderManager(const TShaderManager&) = delete;
  TShaderManager& operator=(const TShaderManager&) = delete;

  TShaderProgram* Register(std::string_view name, TShaderKind kind, std::string_view source);
  const std::vector<std::unique_ptr<TShaderProgram>>& Programs() const { return FPrograms; }

 private:
  std::vector<std::unique_ptr<TShaderProgram>> FPrograms;
};

// "Cannot find a suitable shader for '<name>'."
std::string CannotFindShaderMessage(std::string_view programName);

// The uniform that receives a material variable: "MaterialDiffuse" -> "_MaterialDiffuse",
// "Lights[1].Opts" -> "_Lights[1]._Opts".
std::string UniformName(std::string_view variable);

inline constexpr std::string_view kRemapDepthDefine = "ORVANTH_REMAP_DEPTH";
// The source with `#define ORVANTH_REMAP_DEPTH` inserted after its #version line.
std::string WithDepthRemap(std::string_view source);

}  // namespace rt3d
