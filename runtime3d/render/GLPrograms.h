#pragma once
// The device's shader programs: each stage compiled once, each vertex/pixel pair linked
// once, the pair in use and the uniforms a material's variables go to.
//
// Matrices are uploaded as stored (transpose = GL_FALSE): the programs hold the transpose
// and write the runtime's p x MVP as `_MVPMatrix * vec4(p, 1)`. A program that cannot be
// made is reported once (an exception with the compiler's log); the draws that need it are
// skipped from then on.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime3d/math/Math3D.h"
#include "runtime3d/render/GLDevice.h"

namespace rt3d {

class TShaderProgram;

class TGLPrograms {
 public:
  ~TGLPrograms();

  // Starts with the device: gl stays valid until Release().
  void Start(TGLFunctions& gl) { FGL = &gl; }
  // Frees every object made (GL context current) and forgets the programs.
  void Release();
  // Forgets every object without freeing it: the GL context went with them.
  void ForgetAll();
  // Vertex programs compiled from now on map depth to GL's -1..1 (a driver without clip
  // control); the ones already made are made again.
  void SetRemapDepth(bool value);

  // Makes the pair current (linking it the first time). False when it cannot be made: the
  // draws are then skipped until the next pair, rather than run with the previous
  // programs and the wrong variables.
  bool Use(TShaderProgram& vertex, TShaderProgram& pixel);
  // No pair is current (GL's program was set to 0).
  void Unbind() { FCurrent = nullptr; }
  // A pair is current and draws may run.
  bool Ready() const { return FCurrent && !FFailed; }

  // The location of the current pair's uniform for a material variable; -1 when the
  // program does not use it (or the compiler dropped it).
  int UniformLocation(std::string_view variable) const;
  void SetVariable(std::string_view name, const TVector3D& value);
  void SetVariable(std::string_view name, const TMatrix3D& value);

  // Frees the objects of programs destroyed while no GL context was current.
  void FlushDeletions();

 private:
  struct TUniform {
    int Location = -1;
    unsigned Type = 0;
  };
  struct TLinkedProgram {
    TShaderProgram* Vertex = nullptr;
    TShaderProgram* Pixel = nullptr;
    unsigned Program = 0;
    std::unordered_map<std::string, TUniform> Uniforms;
  };

  unsigned Compile(TShaderProgram& program);
  TLinkedProgram* Link(TShaderProgram& vertex, TShaderProgram& pixel);
  const TUniform* FindUniform(std::string_view variable) const;
  // Drops the linked programs made with shader (all of them for null).
  void DropLinked(const TShaderProgram* shader);
  // Every compiled stage to be freed and forgotten.
  void DropShaders();

  TGLFunctions* FGL = nullptr;
  bool FRemapDepth = false;
  std::vector<TShaderProgram*> FShaders;
  std::vector<std::unique_ptr<TLinkedProgram>> FLinked;
  TLinkedProgram* FCurrent = nullptr;
  bool FFailed = false;
  std::vector<unsigned> FDeadShaders;
  std::vector<unsigned> FDeadPrograms;
};

}  // namespace rt3d
