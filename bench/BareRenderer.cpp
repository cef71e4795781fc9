#include "bench/BareRenderer.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "runtime3d/material/ShaderProgram.h"
#include "runtime3d/material/ShaderSources.h"
#include "runtime3d/mesh/MeshData.h"
#include "runtime3d/render/GLState.h"

namespace bench {

TBareTarget::TBareTarget(rt3d::TGLFunctions& gl, QSize size, int samples) : FGL(gl), FSize(size) {
  FGL.glGenRenderbuffers(1, &FColor);
  FGL.glBindRenderbuffer(GL_RENDERBUFFER, FColor);
  FGL.glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, size.width(),
                                       size.height());
  FGL.glGenRenderbuffers(1, &FDepth);
  FGL.glBindRenderbuffer(GL_RENDERBUFFER, FDepth);
  FGL.glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8, size.width(),
                                       size.height());
  FGL.glGenFramebuffers(1, &FFramebuffer);
  FGL.glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
  FGL.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, FColor);
  FGL.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                FDepth);
  if (FGL.glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    throw std::runtime_error("bare render target incomplete");
  }
}

TBareTarget::~TBareTarget() {
  FGL.glDeleteFramebuffers(1, &FFramebuffer);
  FGL.glDeleteRenderbuffers(1, &FColor);
  FGL.glDeleteRenderbuffers(1, &FDepth);
}

void TBareTarget::ResolveInto(unsigned framebuffer) {
  const int w = FSize.width(), h = FSize.height();
  FGL.glBindFramebuffer(GL_READ_FRAMEBUFFER, FFramebuffer);
  FGL.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
  FGL.glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  FGL.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}

TBareRenderer::TBareRenderer(rt3d::TGLFunctions& gl, std::vector<TRecordedDraw> draws,
                             const std::function<QImage(orvanth::assets::Image)>& load,
                             TMeshFeed feed)
    : FGL(gl), FDraws(std::move(draws)), FFeed(feed) {
  FClipControl = rt3d::ResolveClipControl(*QOpenGLContext::currentContext());
  FGL.glGenSamplers(1, &FSampler);
  FGL.glSamplerParameteri(FSampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  FGL.glSamplerParameteri(FSampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  FGL.glSamplerParameteri(FSampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  FGL.glSamplerParameteri(FSampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  for (const TRecordedDraw& draw : FDraws) {
    if (FTextures.count(draw.Texture)) continue;
    const QImage pixels = load(draw.Texture);
    unsigned texture = 0;
    FGL.glGenTextures(1, &texture);
    FGL.glBindTexture(GL_TEXTURE_2D, texture);
    FGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    FGL.glPixelStorei(GL_UNPACK_ROW_LENGTH, int(pixels.bytesPerLine() / 4));
    FGL.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pixels.width(), pixels.height(), 0, GL_BGRA,
                     GL_UNSIGNED_BYTE, pixels.constBits());
    FGL.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    FTextures[draw.Texture] = texture;
  }
  for (const TRecordedDraw& draw : FDraws) {
    FDrawPrograms.push_back(&ProgramFor(draw));
    if (feed != TMeshFeed::Static || FMeshes.count(draw.Vertices)) continue;
    TMesh& mesh = FMeshes[draw.Vertices];
    FGL.glGenVertexArrays(1, &mesh.VertexArray);
    FGL.glBindVertexArray(mesh.VertexArray);
    FGL.glGenBuffers(1, &mesh.VertexBuffer);
    FGL.glBindBuffer(GL_ARRAY_BUFFER, mesh.VertexBuffer);
    FGL.glBufferData(GL_ARRAY_BUFFER, draw.Vertices->Size(), draw.Vertices->Buffer(),
                     GL_STATIC_DRAW);
    Attributes(*draw.Vertices, 0);
    FGL.glGenBuffers(1, &mesh.IndexBuffer);
    FGL.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, mesh.IndexBuffer);
    FGL.glBufferData(GL_ELEMENT_ARRAY_BUFFER, draw.Indices->Size(), draw.Indices->Buffer(),
                     GL_STATIC_DRAW);
  }
  if (feed == TMeshFeed::CopiedPerDraw) {
    FGL.glGenVertexArrays(1, &FSharedArray);
    FGL.glBindVertexArray(FSharedArray);
    FGL.glGenBuffers(1, &FSharedVertices);
    FGL.glGenBuffers(1, &FSharedIndices);
  }
  FGL.glBindVertexArray(0);
}

TBareRenderer::~TBareRenderer() {
  for (auto& [key, mesh] : FMeshes) {
    FGL.glDeleteVertexArrays(1, &mesh.VertexArray);
    FGL.glDeleteBuffers(1, &mesh.VertexBuffer);
    FGL.glDeleteBuffers(1, &mesh.IndexBuffer);
  }
  for (auto& [key, texture] : FTextures) FGL.glDeleteTextures(1, &texture);
  for (auto& [key, program] : FPrograms) FGL.glDeleteProgram(program.Id);
  FGL.glDeleteSamplers(1, &FSampler);
  if (FSharedArray) FGL.glDeleteVertexArrays(1, &FSharedArray);
  if (FSharedVertices) FGL.glDeleteBuffers(1, &FSharedVertices);
  if (FSharedIndices) FGL.glDeleteBuffers(1, &FSharedIndices);
}

TBareRenderer::TProgram& TBareRenderer::ProgramFor(const TRecordedDraw& draw) {
  TProgram& program = FPrograms[{draw.VertexProgram, draw.PixelProgram}];
  if (program.Id) return program;
  auto compile = [&](const std::string& name, GLenum kind) {
    std::string source = rt3d::ShaderSource(name);
    if (kind == GL_VERTEX_SHADER && !FClipControl) source = rt3d::WithDepthRemap(source);
    const GLuint shader = FGL.glCreateShader(kind);
    const char* text = source.c_str();
    FGL.glShaderSource(shader, 1, &text, nullptr);
    FGL.glCompileShader(shader);
    return shader;
  };
  const GLuint vs = compile(draw.VertexProgram, GL_VERTEX_SHADER);
  const GLuint fs = compile(draw.PixelProgram, GL_FRAGMENT_SHADER);
  program.Id = FGL.glCreateProgram();
  FGL.glAttachShader(program.Id, vs);
  FGL.glAttachShader(program.Id, fs);
  FGL.glBindAttribLocation(program.Id, 0, "a_Position");
  FGL.glBindAttribLocation(program.Id, 1, "a_Normal");
  FGL.glBindAttribLocation(program.Id, 2, "a_TexCoord0");
  FGL.glBindFragDataLocation(program.Id, 0, "o_Color");
  FGL.glLinkProgram(program.Id);
  FGL.glDeleteShader(vs);
  FGL.glDeleteShader(fs);
  GLint ok = 0;
  FGL.glGetProgramiv(program.Id, GL_LINK_STATUS, &ok);
  if (!ok) throw std::runtime_error("bare program did not link: " + draw.VertexProgram);
  GLint count = 0;
  FGL.glGetProgramiv(program.Id, GL_ACTIVE_UNIFORMS, &count);
  for (GLint i = 0; i < count; ++i) {
    char name[256];
    GLsizei length = 0;
    GLint size = 0;
    GLenum type = 0;
    FGL.glGetActiveUniform(program.Id, GLuint(i), sizeof name, &length, &size, &type, name);
    std::string uniform(name, std::size_t(length));
    const int location = FGL.glGetUniformLocation(program.Id, uniform.c_str());
    if (uniform.ends_with("[0]"))
      program.Uniforms[uniform.substr(0, uniform.size() - 3)] = {location, type};
    program.Uniforms[uniform] = {location, type};
  }
  return program;
}

void TBareRenderer::Attributes(const rt3d::TVertexBuffer& vertices, std::intptr_t offset) {
  const int stride = vertices.VertexSize();
  const struct {
    GLuint Location;
    rt3d::TVertexFormat Channel;
    int Components;
  } attributes[] = {{0, rt3d::TVertexFormat::Vertex, 3},
                    {1, rt3d::TVertexFormat::Normal, 3},
                    {2, rt3d::TVertexFormat::TexCoord0, 2}};
  for (const auto& a : attributes) {
    FGL.glEnableVertexAttribArray(a.Location);
    FGL.glVertexAttribPointer(a.Location, a.Components, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<const void*>(offset + vertices.Offset(a.Channel)));
  }
}

void TBareRenderer::DrawCopied(const TRecordedDraw& draw) {
  const std::intptr_t vertexBytes = draw.Vertices->Size(), indexBytes = draw.Indices->Size();
  FGL.glBindVertexArray(FSharedArray);
  FGL.glBindBuffer(GL_ARRAY_BUFFER, FSharedVertices);
  FGL.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, FSharedIndices);
  if (vertexBytes > FVertexCapacity) {
    FVertexCapacity = vertexBytes * 2;
    FGL.glBufferData(GL_ARRAY_BUFFER, FVertexCapacity, nullptr, GL_DYNAMIC_DRAW);
    FVertexUsed = 0;
  }
  if (indexBytes > FIndexCapacity) {
    FIndexCapacity = indexBytes * 2;
    FGL.glBufferData(GL_ELEMENT_ARRAY_BUFFER, FIndexCapacity, nullptr, GL_DYNAMIC_DRAW);
    FIndexUsed = 0;
  }
  if (FVertexUsed + vertexBytes > FVertexCapacity) FVertexUsed = 0;
  if (FIndexUsed + indexBytes > FIndexCapacity) FIndexUsed = 0;
  FGL.glBufferSubData(GL_ARRAY_BUFFER, FVertexUsed, vertexBytes, draw.Vertices->Buffer());
  FGL.glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, FIndexUsed, indexBytes, draw.Indices->Buffer());
  Attributes(*draw.Vertices, FVertexUsed);
  FGL.glDrawElements(GL_TRIANGLES, draw.Indices->Length(), GL_UNSIGNED_INT,
                     reinterpret_cast<const void*>(FIndexUsed));
  FVertexUsed += vertexBytes;
  FIndexUsed += indexBytes;
}

void TBareRenderer::MoveDrawLast(std::size_t index) {
  std::rotate(FDraws.begin() + std::ptrdiff_t(index), FDraws.begin() + std::ptrdiff_t(index) + 1,
              FDraws.end());
  std::rotate(FDrawPrograms.begin() + std::ptrdiff_t(index),
              FDrawPrograms.begin() + std::ptrdiff_t(index) + 1, FDrawPrograms.end());
}

void TBareRenderer::DrawFrame(TBareTarget& target, std::size_t first, std::size_t last) {
  FGL.glBindFramebuffer(GL_FRAMEBUFFER, target.Framebuffer());
  FGL.glViewport(0, 0, target.Size().width(), target.Size().height());
  if (FClipControl) FClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
  FGL.glDisable(GL_SCISSOR_TEST);
  FGL.glDisable(GL_BLEND);
  FGL.glDisable(GL_STENCIL_TEST);
  FGL.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  FGL.glDepthMask(GL_TRUE);
  FGL.glClearColor(0, 0, 0, 0);
  FGL.glClearDepth(1);
  FGL.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  FGL.glEnable(GL_DEPTH_TEST);
  FGL.glDepthFunc(GL_LEQUAL);
  FGL.glFrontFace(GL_CW);
  FGL.glCullFace(GL_BACK);
  FGL.glActiveTexture(GL_TEXTURE0);
  FGL.glBindSampler(0, FSampler);
  for (std::size_t i = first; i < std::min(last, FDraws.size()); ++i) {
    const TRecordedDraw& draw = FDraws[i];
    TProgram& program = *FDrawPrograms[i];
    FGL.glUseProgram(program.Id);
    for (const auto& [name, value] : draw.Vectors) {
      const auto it = program.Uniforms.find(name);
      if (it == program.Uniforms.end()) continue;
      const auto [location, type] = it->second;
      if (type == GL_FLOAT) FGL.glUniform1f(location, value.X);
      if (type == GL_FLOAT_VEC3) FGL.glUniform3f(location, value.X, value.Y, value.Z);
      if (type == GL_FLOAT_VEC4) FGL.glUniform4f(location, value.X, value.Y, value.Z, value.W);
    }
    for (const auto& [name, value] : draw.Matrices) {
      const auto it = program.Uniforms.find(name);
      if (it != program.Uniforms.end()) {
        FGL.glUniformMatrix4fv(it->second.first, 1, GL_FALSE, &value.m[0][0]);
      }
    }
    if (const auto it = program.Uniforms.find("_texture0"); it != program.Uniforms.end()) {
      FGL.glUniform1i(it->second.first, 0);
    }
    FGL.glBindTexture(GL_TEXTURE_2D, FTextures[draw.Texture]);
    if (draw.Cull) {
      FGL.glEnable(GL_CULL_FACE);
    } else {
      FGL.glDisable(GL_CULL_FACE);
    }
    if (FFeed == TMeshFeed::Static) {
      FGL.glBindVertexArray(FMeshes[draw.Vertices].VertexArray);
      FGL.glDrawElements(GL_TRIANGLES, draw.Indices->Length(), GL_UNSIGNED_INT, nullptr);
    } else {
      DrawCopied(draw);
    }
  }
  FGL.glBindVertexArray(0);
  FGL.glUseProgram(0);
  FGL.glBindSampler(0, 0);
}

}  // namespace bench
