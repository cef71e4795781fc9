#include "runtime3d/material/ShaderSources.h"

#include <array>
#include <map>

namespace rt3d {

namespace {

constexpr std::string_view kVertexHeader = R"(#version 330 core
layout(location = 0) in vec3 a_Position;
layout(location = 1) in vec3 a_Normal;
layout(location = 2) in vec2 a_TexCoord0;

out vec4 v_Color;
out vec2 v_TexCoord0;

// Matrices arrive row by row from a row-vector runtime and GL reads them as columns, so
// M * v here is the runtime's v x M.
uniform mat4 _MVPMatrix;
)";

// The projection gives z in [0, w]; without clip control GL wants [-w, w].
constexpr std::string_view kVertexFooter = R"(
#ifdef ORVANTH_REMAP_DEPTH
  gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
#endif
}
)";

// Gouraud lighting with LIGHT_SLOTS slots; slot type codes 1 directional, 2 point, 3 spot,
// anything else an empty slot.
constexpr std::string_view kGouraudBody = R"(
struct TLightSlot {
  vec4 _Opts;  // type code, cos(cut-off), spot exponent
  vec4 _Pos;
  vec4 _Dir;
  vec4 _Color;
};

uniform mat4 _ModelView;
uniform mat4 _ModelViewIT;
uniform vec4 _MaterialDiffuse;
uniform vec4 _MaterialSpecular;
uniform vec4 _MaterialAmbient;
uniform vec4 _MaterialEmission;
uniform vec4 _MaterialOpts;  // shininess
uniform vec4 _EyePos;
uniform TLightSlot _Lights[LIGHT_SLOTS];

// A zero vector stays zero instead of turning into NaN and poisoning the colour.
vec3 SafeNormalize(vec3 v) {
  float len = length(v);
  return len > 0.0 ? v / len : vec3(0.0);
}

// x^e for x >= 0, with 0^0 = 1 (GLSL leaves pow(0, 0) undefined).
float Power(float x, float e) {
  return e == 0.0 ? 1.0 : (x <= 0.0 ? 0.0 : pow(x, e));
}

void main() {
  gl_Position = _MVPMatrix * vec4(a_Position, 1.0);
  vec3 N = SafeNormalize((_ModelViewIT * vec4(a_Normal, 0.0)).xyz);
  vec3 P = (_ModelView * vec4(a_Position, 1.0)).xyz;
  vec3 E = SafeNormalize(P - _EyePos.xyz);
  float shininess = _MaterialOpts.x;

  vec3 C = _MaterialEmission.rgb + _MaterialAmbient.rgb;
  vec3 Dsum = vec3(0.0);
  vec3 Ssum = vec3(0.0);
  for (int j = 0; j < LIGHT_SLOTS; ++j) {
    float t = _Lights[j]._Opts.x;
    vec3 dir = _Lights[j]._Dir.xyz;
    vec3 pos = _Lights[j]._Pos.xyz;
    vec3 lc = _Lights[j]._Color.rgb;
    if (t == 1.0) {
      // The direction is the one the light travels: normals against it are lit.
      vec3 Nr = -N;
      float d = max(0.0, dot(Nr, dir));
      Dsum += lc * d;
      if (d > 0.0) {
        vec3 H = SafeNormalize(dir + E);
        Ssum += vec3(Power(max(0.0, dot(Nr, H)), shininess));
      }
    } else if (t == 2.0) {
      vec3 L = -SafeNormalize(P - pos);
      float d = max(0.0, dot(N, L));
      Dsum += lc * d;
      if (d > 0.0) {
        vec3 H = SafeNormalize(L - E);
        Ssum += vec3(Power(max(0.0, dot(N, H)), shininess));
      }
    } else if (t == 3.0) {
      vec3 L = -SafeNormalize(P - pos);
      float c = dot(-L, dir);
      // Behind the spot (c <= 0) there is no light, whatever the cut-off.
      float f = c > _Lights[j]._Opts.y ? Power(max(c, 0.0), _Lights[j]._Opts.z) : 0.0;
      float d = max(0.0, dot(N, L));
      Dsum += lc * d * f;
      if (d > 0.0) {
        vec3 H = SafeNormalize(L - E);
        Ssum += vec3(Power(max(0.0, dot(N, H)), shininess) * f);
      }
    }
  }
  C += Dsum * _MaterialDiffuse.rgb + Ssum * _MaterialSpecular.rgb;
  v_Color = vec4(clamp(C, 0.0, 1.0), 1.0);
  v_TexCoord0 = a_TexCoord0;
)";

constexpr std::string_view kNoLightBody = R"(
uniform vec4 _MaterialAmbient;
uniform vec4 _MaterialEmission;

void main() {
  gl_Position = _MVPMatrix * vec4(a_Position, 1.0);
  // Unclamped, alpha included: emission with alpha 1, plus the ambient colour.
  v_Color = vec4(_MaterialEmission.rgb, 1.0) + _MaterialAmbient;
  v_TexCoord0 = a_TexCoord0;
)";

constexpr std::string_view kPlainBody = R"(
void main() {
  gl_Position = _MVPMatrix * vec4(a_Position, 1.0);
  v_Color = vec4(1.0);
  v_TexCoord0 = a_TexCoord0;
)";

constexpr std::string_view kPixelHeader = R"(#version 330 core
in vec4 v_Color;
in vec2 v_TexCoord0;

out vec4 o_Color;

uniform vec4 _Opacity;
)";

// Texture coordinate (0, 0) is the image's top row, which is the first row uploaded;
// render targets come out upside down on some devices, hence the flipped variants.
std::string TexCoord(bool flip) {
  return flip ? "vec2(v_TexCoord0.x, 1.0 - v_TexCoord0.y)" : "v_TexCoord0";
}

std::string GouraudPixel(bool flip) {
  return std::string(kPixelHeader) + R"(uniform vec4 _Modulation;  // 0 colour, 1 texture, 2 both
uniform sampler2D _texture0;

void main() {
  float m = _Modulation.x;
  vec4 color = v_Color;
  if (m != 0.0) {
    vec4 T = texture(_texture0, )" +
         TexCoord(flip) + R"();
    color = m == 1.0 ? T : v_Color * T;
  }
  o_Color = color * _Opacity.x;
}
)";
}

std::string TexturePixel(bool flip) {
  return std::string(kPixelHeader) + R"(uniform sampler2D _texture0;

void main() {
  o_Color = texture(_texture0, )" +
         TexCoord(flip) + R"() * _Opacity.x;
}
)";
}

std::string ColorPixel() {
  return std::string(kPixelHeader) + R"(uniform vec4 _MaterialColor;

void main() {
  o_Color = _MaterialColor * _Opacity.x;
}
)";
}

std::string Vertex(std::string_view body) {
  return std::string(kVertexHeader) + std::string(body) + std::string(kVertexFooter);
}

std::string GouraudVertex(int slots) {
  return std::string(kVertexHeader) + "\n#define LIGHT_SLOTS " + std::to_string(slots) + "\n" +
         std::string(kGouraudBody) + std::string(kVertexFooter);
}

constexpr std::array<std::string_view, 12> kNames = {
    "gouraud1.fvs", "gouraud2.fvs",     "gouraud4.fvs",     "gouraud8.fvs",
    "nolight.fvs",  "gouraud.fps",      "gouraud_flip.fps", "texture.fvs",
    "texture.fps",  "texture_flip.fps", "color.fvs",        "color.fps",
};

const std::map<std::string_view, std::string>& Sources() {
  static const std::map<std::string_view, std::string> sources = {
      {"gouraud1.fvs", GouraudVertex(1)},       {"gouraud2.fvs", GouraudVertex(2)},
      {"gouraud4.fvs", GouraudVertex(4)},       {"gouraud8.fvs", GouraudVertex(8)},
      {"nolight.fvs", Vertex(kNoLightBody)},    {"gouraud.fps", GouraudPixel(false)},
      {"gouraud_flip.fps", GouraudPixel(true)}, {"texture.fvs", Vertex(kPlainBody)},
      {"texture.fps", TexturePixel(false)},     {"texture_flip.fps", TexturePixel(true)},
      {"color.fvs", Vertex(kPlainBody)},        {"color.fps", ColorPixel()},
  };
  return sources;
}

}  // namespace

std::span<const std::string_view> ShaderProgramNames() {
  return kNames;
}

const std::string& ShaderSource(std::string_view name) {
  static const std::string empty;
  const auto& sources = Sources();
  const auto it = sources.find(name);
  return it == sources.end() ? empty : it->second;
}

}  // namespace rt3d
