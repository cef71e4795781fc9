#include "runtime3d/render/GLPrograms.h"

#include <algorithm>
#include <cstring>

#include <QOpenGLFunctions_3_3_Core>

#include "runtime3d/core/Exceptions.h"
#include "runtime3d/material/ShaderProgram.h"
#include "runtime3d/render/GLBuffers.h"

namespace rt3d {

namespace {

std::string ShaderLog(TGLFunctions& gl, GLuint object, bool program) {
  GLint length = 0;
  if (program) {
    gl.glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
  } else {
    gl.glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
  }
  std::string log(std::max(length, 1), '\0');
  if (program) {
    gl.glGetProgramInfoLog(object, length, nullptr, log.data());
  } else {
    gl.glGetShaderInfoLog(object, length, nullptr, log.data());
  }
  log.resize(std::strlen(log.c_str()));
  while (!log.empty() && (log.back() == '\n' || log.back() == ' ')) log.pop_back();
  return log;
}

}  // namespace

TGLPrograms::~TGLPrograms() {
  ForgetAll();
}

void TGLPrograms::Release() {
  if (!FGL) return;
  DropShaders();
  DropLinked(nullptr);
  FlushDeletions();
  FGL = nullptr;
}

void TGLPrograms::ForgetAll() {
  // Programs outlive devices: leave them as if never compiled.
  for (TShaderProgram* shader : FShaders) {
    shader->DeviceHandle = 0;
    shader->DeviceFailed = false;
    shader->OnDestroy = nullptr;
  }
  FShaders.clear();
  FLinked.clear();
  FCurrent = nullptr;
}

void TGLPrograms::SetRemapDepth(bool value) {
  if (FRemapDepth == value) return;
  FRemapDepth = value;
  // Vertex programs are compiled for one depth convention: compile them again.
  if (!FGL) return;
  DropLinked(nullptr);
  DropShaders();
  FlushDeletions();
}

void TGLPrograms::DropShaders() {
  for (TShaderProgram* shader : FShaders) {
    if (shader->DeviceHandle) FDeadShaders.push_back(shader->DeviceHandle);
    shader->DeviceHandle = 0;
    shader->DeviceFailed = false;
    shader->OnDestroy = nullptr;
  }
  FShaders.clear();
}

void TGLPrograms::DropLinked(const TShaderProgram* shader) {
  std::erase_if(FLinked, [&](const std::unique_ptr<TLinkedProgram>& linked) {
    if (shader && linked->Vertex != shader && linked->Pixel != shader) return false;
    if (FCurrent == linked.get()) FCurrent = nullptr;
    if (linked->Program) FDeadPrograms.push_back(linked->Program);
    return true;
  });
}

void TGLPrograms::FlushDeletions() {
  if (!FGL) return;
  for (GLuint program : FDeadPrograms) FGL->glDeleteProgram(program);
  for (GLuint shader : FDeadShaders) FGL->glDeleteShader(shader);
  FDeadShaders.clear();
  FDeadPrograms.clear();
}

unsigned TGLPrograms::Compile(TShaderProgram& program) {
  if (program.DeviceHandle) return program.DeviceHandle;
  if (program.DeviceFailed) return 0;
  if (program.Source().empty()) {
    program.DeviceFailed = true;
    throw ECannotFindShader(CannotFindShaderMessage(program.Name()));
  }
  TGLFunctions& gl = *FGL;
  const bool vertex = program.Kind() == TShaderKind::Vertex;
  const std::string source =
      vertex && FRemapDepth ? WithDepthRemap(program.Source()) : program.Source();
  const GLuint shader = gl.glCreateShader(vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
  const char* text = source.c_str();
  gl.glShaderSource(shader, 1, &text, nullptr);
  gl.glCompileShader(shader);
  GLint ok = GL_FALSE;
  gl.glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    const std::string log = ShaderLog(gl, shader, false);
    gl.glDeleteShader(shader);
    // Reported once; later frames skip the draws that need this program.
    program.DeviceFailed = true;
    throw EContext3DException("Cannot compile shader '" + program.Name() + "': " + log);
  }
  program.DeviceHandle = shader;
  // A program may go before the device: free its objects at the next chance.
  program.OnDestroy = [this](TShaderProgram& gone) {
    std::erase(FShaders, &gone);
    FDeadShaders.push_back(gone.DeviceHandle);
    DropLinked(&gone);
    gone.DeviceHandle = 0;
  };
  FShaders.push_back(&program);
  return shader;
}

TGLPrograms::TLinkedProgram* TGLPrograms::Link(TShaderProgram& vertex, TShaderProgram& pixel) {
  for (auto& linked : FLinked) {
    if (linked->Vertex == &vertex && linked->Pixel == &pixel) return linked.get();
  }
  const GLuint vs = Compile(vertex);
  const GLuint fs = Compile(pixel);
  if (!vs || !fs) return nullptr;
  TGLFunctions& gl = *FGL;
  auto linked = std::make_unique<TLinkedProgram>();
  linked->Vertex = &vertex;
  linked->Pixel = &pixel;
  const GLuint program = gl.glCreateProgram();
  gl.glAttachShader(program, vs);
  gl.glAttachShader(program, fs);
  gl.glBindAttribLocation(program, kPositionLocation, "a_Position");
  gl.glBindAttribLocation(program, kNormalLocation, "a_Normal");
  gl.glBindAttribLocation(program, kTexCoordLocation, "a_TexCoord0");
  gl.glBindFragDataLocation(program, 0, "o_Color");
  gl.glLinkProgram(program);
  gl.glDetachShader(program, vs);
  gl.glDetachShader(program, fs);
  GLint ok = GL_FALSE;
  gl.glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) {
    const std::string log = ShaderLog(gl, program, true);
    gl.glDeleteProgram(program);
    // Remember the failure so the pair is not linked (and reported) again every frame.
    FLinked.push_back(std::move(linked));
    throw EContext3DException("Cannot link shaders '" + vertex.Name() + "' and '" + pixel.Name() +
                              "': " + log);
  }
  linked->Program = program;
  // The types of the active uniforms decide how a four-float value is handed over.
  GLint count = 0, maxLength = 0;
  gl.glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
  gl.glGetProgramiv(program, GL_ACTIVE_UNIFORM_MAX_LENGTH, &maxLength);
  std::vector<char> name(std::size_t(std::max(maxLength, 1)));
  for (GLint i = 0; i < count; ++i) {
    GLint size = 0;
    GLenum type = 0;
    GLsizei length = 0;
    gl.glGetActiveUniform(program, GLuint(i), GLsizei(name.size()), &length, &size, &type,
                          name.data());
    std::string uniform(name.data(), std::size_t(length));
    const GLint location = gl.glGetUniformLocation(program, uniform.c_str());
    // Arrays of plain values are listed as "x[0]"; answer to "x" as well.
    if (uniform.size() > 3 && uniform.ends_with("[0]")) {
      linked->Uniforms[uniform.substr(0, uniform.size() - 3)] = {location, type};
    }
    linked->Uniforms[std::move(uniform)] = {location, type};
  }
  FLinked.push_back(std::move(linked));
  return FLinked.back().get();
}

bool TGLPrograms::Use(TShaderProgram& vertex, TShaderProgram& pixel) {
  if (!FGL) return false;
  FFailed = true;
  TLinkedProgram* linked = Link(vertex, pixel);
  if (!linked || !linked->Program) return false;
  FFailed = false;
  if (FCurrent == linked) return true;
  FCurrent = linked;
  FGL->glUseProgram(linked->Program);
  return true;
}

const TGLPrograms::TUniform* TGLPrograms::FindUniform(std::string_view variable) const {
  if (!FGL || !Ready()) return nullptr;
  const auto it = FCurrent->Uniforms.find(UniformName(variable));
  // A variable the program does not use (or the compiler dropped) is ignored.
  if (it == FCurrent->Uniforms.end() || it->second.Location < 0) return nullptr;
  return &it->second;
}

int TGLPrograms::UniformLocation(std::string_view variable) const {
  const TUniform* uniform = FindUniform(variable);
  return uniform ? uniform->Location : -1;
}

void TGLPrograms::SetVariable(std::string_view name, const TVector3D& value) {
  const TUniform* uniform = FindUniform(name);
  if (!uniform) return;
  TGLFunctions& gl = *FGL;
  switch (uniform->Type) {
    case GL_FLOAT:
      gl.glUniform1f(uniform->Location, value.X);
      break;
    case GL_FLOAT_VEC2:
      gl.glUniform2f(uniform->Location, value.X, value.Y);
      break;
    case GL_FLOAT_VEC3:
      gl.glUniform3f(uniform->Location, value.X, value.Y, value.Z);
      break;
    case GL_FLOAT_VEC4:
      gl.glUniform4f(uniform->Location, value.X, value.Y, value.Z, value.W);
      break;
    case GL_INT:
    case GL_BOOL:
      gl.glUniform1i(uniform->Location, int(value.X));
      break;
    default:
      break;
  }
}

void TGLPrograms::SetVariable(std::string_view name, const TMatrix3D& value) {
  const TUniform* uniform = FindUniform(name);
  if (!uniform || uniform->Type != GL_FLOAT_MAT4) return;
  // Stored row by row and read by GL column by column: the program holds the transpose and
  // computes our p x M as `M * p`.
  FGL->glUniformMatrix4fv(uniform->Location, 1, GL_FALSE, &value.m[0][0]);
}

}  // namespace rt3d
