#include "runtime3d/render/GLContext.h"

#include <algorithm>
#include <cstring>

#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>

#include "runtime3d/core/Exceptions.h"
#include "runtime3d/material/ImageDecoding.h"
#include "runtime3d/material/Material.h"
#include "runtime3d/material/ShaderProgram.h"
#include "runtime3d/material/Texture.h"
#include "runtime3d/mesh/MeshData.h"
#include "runtime3d/render/GLRenderTarget.h"

#ifndef GL_ZERO_TO_ONE
#define GL_ZERO_TO_ONE 0x935F
#endif
#ifndef GL_LOWER_LEFT
#define GL_LOWER_LEFT 0x8CA1
#endif
#ifndef GL_NEGATIVE_ONE_TO_ONE
#define GL_NEGATIVE_ONE_TO_ONE 0x935E
#endif

namespace rt3d {

namespace {

// Attribute locations every program reads (see ShaderProgram.h).
constexpr GLuint kPositionLocation = 0, kNormalLocation = 1, kTexCoordLocation = 2;

// A buffer not drawn for this many frames is taken to belong to a mesh that is gone; if it
// is drawn again later it is simply uploaded again.
constexpr std::uint64_t kBufferIdleFrames = 600;

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

void ClearErrors(TGLFunctions& gl) {
  while (gl.glGetError() != GL_NO_ERROR) {
  }
}

}  // namespace

TGLContext::TGLContext() : FDefaultMaterial(std::make_unique<TColorMaterial>()) {}

TGLContext::~TGLContext() {
  // GL objects go with the GL context; only the slots pointing at them must be cleared.
  ForgetHandles();
}

// --- Device lifetime ---------------------------------------------------------------------------

bool TGLContext::InitializeDevice() {
  if (FGL) return true;
  QOpenGLContext* context = QOpenGLContext::currentContext();
  FDeviceError = CannotCreateDeviceMessage();
  if (!context || context->isOpenGLES() ||
      context->format().version() < qMakePair(kRequiredGLMajor, kRequiredGLMinor)) {
    return false;
  }
  auto* gl = QOpenGLVersionFunctionsFactory::get<TGLFunctions>(context);
  if (!gl || !gl->initializeOpenGLFunctions()) return false;
  FGL = gl;
  FDeviceError.clear();
  ClearErrors(*FGL);

  const auto version = context->format().version();
  if (version >= qMakePair(4, 5) || context->hasExtension("GL_ARB_clip_control")) {
    FClipControl =
        reinterpret_cast<void (*)(unsigned, unsigned)>(context->getProcAddress("glClipControl"));
  }
  FGL->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &FMaxTextureSize);
  FGL->glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &FSamplerUnits);
  FSamplerUnits = std::clamp(FSamplerUnits, 1, 16);

  FGL->glGenVertexArrays(1, &FVertexArray);

  // One bilinear, clamp-to-edge sampler serves every texture unit.
  FGL->glGenSamplers(1, &FSampler);
  FGL->glSamplerParameteri(FSampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  FGL->glSamplerParameteri(FSampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  FGL->glSamplerParameteri(FSampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  FGL->glSamplerParameteri(FSampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  FGL->glSamplerParameteri(FSampler, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
  FGL->glSamplerParameterf(FSampler, GL_TEXTURE_LOD_BIAS, 0);
  FGL->glSamplerParameteri(FSampler, GL_TEXTURE_COMPARE_MODE, GL_NONE);

  // Sampled in place of any texture the device cannot make.
  const std::uint32_t white = 0xFFFFFFFF;
  FGL->glGenTextures(1, &FWhiteTexture);
  FGL->glBindTexture(GL_TEXTURE_2D, FWhiteTexture);
  FGL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  FGL->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, &white);
  FGL->glBindTexture(GL_TEXTURE_2D, 0);
  ResetStateCache();
  return true;
}

void TGLContext::ReleaseDevice() {
  if (!FGL) return;
  TGLFunctions& gl = *FGL;
  for (auto& [texture, state] : FTextures) {
    if (texture->DeviceHandle) FDeadTextures.push_back(texture->DeviceHandle);
  }
  if (FRising.Handle) FDeadTextures.push_back(FRising.Handle);
  for (TShaderProgram* shader : FShaders) {
    if (shader->DeviceHandle) FDeadShaders.push_back(shader->DeviceHandle);
  }
  DropPrograms(nullptr);
  for (auto& [key, entry] : FBuffers) gl.glDeleteBuffers(1, &entry.Buffer);
  FBuffers.clear();
  ForgetHandles();
  FlushDeletions();
  gl.glDeleteVertexArrays(1, &FVertexArray);
  gl.glDeleteSamplers(1, &FSampler);
  gl.glDeleteTextures(1, &FWhiteTexture);
  FVertexArray = FSampler = FWhiteTexture = 0;
  FTarget = nullptr;
  FGL = nullptr;
  FClipControl = nullptr;
}

void TGLContext::ForgetHandles() {
  // Textures and shaders outlive devices: leave them as if never uploaded.
  for (auto& [texture, state] : FTextures) {
    texture->DeviceHandle = 0;
    texture->DeviceFailed = false;
    texture->DeviceGeneration = 0;
    texture->DevicePreview = false;
    texture->OnDestroy = nullptr;
  }
  FTextures.clear();
  FRising = {};
  for (TShaderProgram* shader : FShaders) {
    shader->DeviceHandle = 0;
    shader->DeviceFailed = false;
    shader->OnDestroy = nullptr;
  }
  FShaders.clear();
  // Without a current GL the program objects go with the GL context.
  FPrograms.clear();
  FCurrentProgram = nullptr;
}

void TGLContext::FlushDeletions() {
  if (!FGL) return;
  if (!FDeadTextures.empty()) {
    FGL->glDeleteTextures(GLsizei(FDeadTextures.size()), FDeadTextures.data());
  }
  for (GLuint program : FDeadPrograms) FGL->glDeleteProgram(program);
  for (GLuint shader : FDeadShaders) FGL->glDeleteShader(shader);
  FDeadTextures.clear();
  FDeadShaders.clear();
  FDeadPrograms.clear();
}

void TGLContext::SetUseClipControl(bool value) {
  if (FUseClipControl == value) return;
  FUseClipControl = value;
  // Vertex programs are compiled for one depth convention: compile them again.
  if (!FGL) return;
  DropPrograms(nullptr);
  for (TShaderProgram* shader : FShaders) {
    if (shader->DeviceHandle) FDeadShaders.push_back(shader->DeviceHandle);
    shader->DeviceHandle = 0;
    shader->DeviceFailed = false;
    shader->OnDestroy = nullptr;
  }
  FShaders.clear();
  FlushDeletions();
}

void TGLContext::SetRenderTarget(TGLRenderTarget* target) {
  FTarget = target;
  if (target) SetSize(target->Size().width(), target->Size().height());
}

// --- Frame -------------------------------------------------------------------------------------

bool TGLContext::DoBeginScene() {
  if (!FGL || !FTarget || !FTarget->IsValid()) return false;
  ++FFrame;
  FlushDeletions();
  DropUnusedBuffers();
  FGL->glBindFramebuffer(GL_FRAMEBUFFER, FTarget->Framebuffer());
  FGL->glViewport(0, 0, FTarget->Size().width(), FTarget->Size().height());
  ApplyFixedStates();
  return true;
}

void TGLContext::ApplyFixedStates() {
  TGLFunctions& gl = *FGL;
  // Whatever used this GL context before (Qt's own drawing, another frame) may have left
  // any state behind: put every state the frame relies on in place.
  ResetStateCache();
  gl.glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  gl.glBlendEquation(GL_FUNC_ADD);
  gl.glDepthFunc(GL_LEQUAL);
  gl.glDepthRange(0, 1);
  // Clockwise as seen on the screen (checked on pixels: a sphere shows its outside).
  gl.glFrontFace(GL_CW);
  gl.glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  gl.glEnable(GL_MULTISAMPLE);
  gl.glDisable(GL_DEPTH_CLAMP);
  gl.glDisable(GL_SAMPLE_ALPHA_TO_COVERAGE);
  gl.glDisable(GL_FRAMEBUFFER_SRGB);
  gl.glDisable(GL_DITHER);
  // At device start the depth test is off and depth writes are on.
  gl.glDisable(GL_DEPTH_TEST);
  gl.glDepthMask(GL_TRUE);
  gl.glDisable(GL_BLEND);
  gl.glDisable(GL_STENCIL_TEST);
  gl.glDisable(GL_SCISSOR_TEST);
  gl.glDisable(GL_CULL_FACE);
  gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  if (FClipControl) {
    FClipControl(GL_LOWER_LEFT, FUseClipControl ? GL_ZERO_TO_ONE : GL_NEGATIVE_ONE_TO_ONE);
  }
  gl.glBindVertexArray(FVertexArray);
  FCurrentProgram = nullptr;
  gl.glUseProgram(0);
}

void TGLContext::EndScene() {
  if (!FGL) return;
  FGL->glBindVertexArray(0);
  FGL->glUseProgram(0);
  for (int unit = 0; unit < FSamplerUnits; ++unit) FGL->glBindSampler(GLuint(unit), 0);
  FGL->glActiveTexture(GL_TEXTURE0);
}

void TGLContext::Clear(TAlphaColor color, float depth) {
  if (!FGL) return;
  TGLFunctions& gl = *FGL;
  const TVector3D c = ColorToVector(color);
  gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl.glDepthMask(GL_TRUE);
  gl.glDisable(GL_SCISSOR_TEST);
  gl.glClearColor(c.X * c.W, c.Y * c.W, c.Z * c.W, c.W);
  gl.glClearDepth(depth);
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  // The masks and the scissor changed behind the cache.
  ResetStateCache();
}

void TGLContext::DoSetContextState(TContextState state) {
  if (!FGL) return;
  TGLFunctions& gl = *FGL;
  using enum TContextState;
  switch (state) {
    case cs2DScene:
    case cs3DScene:
      // Which matrix the draws use is the material protocol's business.
      break;
    case csZTestOn:
      gl.glEnable(GL_DEPTH_TEST);
      break;
    case csZTestOff:
      gl.glDisable(GL_DEPTH_TEST);
      break;
    case csZWriteOn:
      gl.glDepthMask(GL_TRUE);
      break;
    case csZWriteOff:
      gl.glDepthMask(GL_FALSE);
      break;
    case csAlphaBlendOn:
      gl.glEnable(GL_BLEND);
      break;
    case csAlphaBlendOff:
      gl.glDisable(GL_BLEND);
      break;
    case csStencilOn:
      gl.glEnable(GL_STENCIL_TEST);
      break;
    case csStencilOff:
      gl.glDisable(GL_STENCIL_TEST);
      break;
    case csColorWriteOn:
      gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
      break;
    case csColorWriteOff:
      gl.glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
      break;
    case csScissorOn:
      gl.glEnable(GL_SCISSOR_TEST);
      break;
    case csScissorOff:
      gl.glDisable(GL_SCISSOR_TEST);
      break;
    case csFrontFace:
      gl.glEnable(GL_CULL_FACE);
      gl.glCullFace(GL_BACK);
      break;
    case csBackFace:
      gl.glEnable(GL_CULL_FACE);
      gl.glCullFace(GL_FRONT);
      break;
    case csAllFace:
      gl.glDisable(GL_CULL_FACE);
      break;
  }
}

// --- Shader programs ---------------------------------------------------------------------------

void TGLContext::DropPrograms(const TShaderProgram* shader) {
  std::erase_if(FPrograms, [&](const std::unique_ptr<TLinkedProgram>& linked) {
    if (shader && linked->Vertex != shader && linked->Pixel != shader) return false;
    if (FCurrentProgram == linked.get()) FCurrentProgram = nullptr;
    if (linked->Program) FDeadPrograms.push_back(linked->Program);
    return true;
  });
}

unsigned TGLContext::CompileShader(TShaderProgram& program) {
  if (program.DeviceHandle) return program.DeviceHandle;
  if (program.DeviceFailed) return 0;
  if (program.Source().empty()) {
    program.DeviceFailed = true;
    throw ECannotFindShader(CannotFindShaderMessage(program.Name()));
  }
  TGLFunctions& gl = *FGL;
  const bool vertex = program.Kind() == TShaderKind::Vertex;
  const bool remapDepth = vertex && !(FClipControl && FUseClipControl);
  const std::string source = remapDepth ? WithDepthRemap(program.Source()) : program.Source();
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
    DropPrograms(&gone);
    gone.DeviceHandle = 0;
  };
  FShaders.push_back(&program);
  return shader;
}

TGLContext::TLinkedProgram* TGLContext::LinkProgram(TShaderProgram& vertex, TShaderProgram& pixel) {
  for (auto& linked : FPrograms) {
    if (linked->Vertex == &vertex && linked->Pixel == &pixel) return linked.get();
  }
  const GLuint vs = CompileShader(vertex);
  const GLuint fs = CompileShader(pixel);
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
    FPrograms.push_back(std::move(linked));
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
  FPrograms.push_back(std::move(linked));
  return FPrograms.back().get();
}

void TGLContext::SetShaders(TShaderProgram* vertexShader, TShaderProgram* pixelShader) {
  if (!FGL || !vertexShader || !pixelShader) return;
  FProgramFailed = true;
  TLinkedProgram* linked = LinkProgram(*vertexShader, *pixelShader);
  if (!linked || !linked->Program) return;
  FProgramFailed = false;
  if (FCurrentProgram == linked) return;
  FCurrentProgram = linked;
  FGL->glUseProgram(linked->Program);
}

const TGLContext::TUniform* TGLContext::FindUniform(std::string_view variable) {
  if (!FGL || !FCurrentProgram || FProgramFailed) return nullptr;
  const auto it = FCurrentProgram->Uniforms.find(UniformName(variable));
  // A variable the program does not use (or the compiler dropped) is ignored.
  if (it == FCurrentProgram->Uniforms.end() || it->second.Location < 0) return nullptr;
  return &it->second;
}

void TGLContext::SetShaderVariable(std::string_view name, const TVector3D& value) {
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

void TGLContext::SetShaderVariable(std::string_view name, const TMatrix3D& value) {
  const TUniform* uniform = FindUniform(name);
  if (!uniform || uniform->Type != GL_FLOAT_MAT4) return;
  // Stored row by row and read by GL column by column: the program holds the transpose and
  // computes our p x M as `M * p`.
  FGL->glUniformMatrix4fv(uniform->Location, 1, GL_FALSE, &value.m[0][0]);
}

// --- Textures ----------------------------------------------------------------------------------

void TGLContext::SetShaderTexture(std::string_view name, TTexture* texture, int unit) {
  if (!FGL || unit < 0 || unit >= FSamplerUnits) return;
  TGLFunctions& gl = *FGL;
  // Made (or taken further) first: that binds on unit 0 along the way.
  const GLuint handle = DeviceTexture(texture);
  gl.glActiveTexture(GLenum(GL_TEXTURE0 + unit));
  gl.glBindTexture(GL_TEXTURE_2D, handle);
  gl.glBindSampler(GLuint(unit), FSampler);
  if (const TUniform* uniform = FindUniform(name)) gl.glUniform1i(uniform->Location, unit);
}

int TGLContext::MaxTextureSize() const {
  return FTextureSizeLimit > 0 && FTextureSizeLimit < FMaxTextureSize ? FTextureSizeLimit
                                                                      : FMaxTextureSize;
}

TGLContext::TTextureState& TGLContext::Register(TTexture& texture) {
  const auto found = FTextures.find(&texture);
  if (found != FTextures.end()) return found->second;
  // Any handle it carries belongs to a device that is gone: made anew here.
  texture.DeviceHandle = 0;
  texture.DeviceGeneration = 0;
  texture.DevicePreview = false;
  texture.OnDestroy = [this](TTexture& gone) {
    FTextures.erase(&gone);
    if (FRising.Texture == &gone) {
      FDeadTextures.push_back(FRising.Handle);
      FRising = {};
    }
    if (gone.DeviceHandle) FDeadTextures.push_back(gone.DeviceHandle);
    gone.DeviceHandle = 0;
  };
  return FTextures[&texture];
}

unsigned TGLContext::DeviceTexture(TTexture* texture) {
  if (!texture || texture->IsEmpty()) return FWhiteTexture;
  TTextureState& state = Register(*texture);
  state.LastUsedFrame = FFrame;
  if (texture->DeviceGeneration != texture->Generation()) StartTexture(*texture, state);
  return texture->DeviceHandle && !texture->DeviceFailed ? texture->DeviceHandle : FWhiteTexture;
}

void TGLContext::StartTexture(TTexture& texture, TTextureState& state) {
  texture.DeviceGeneration = texture.Generation();
  DropRising(&texture);
  state.KeepsPreview = false;
  texture.DevicePreview = false;
  texture.DeviceFailed = true;
  auto showPreview = [&] {
    const QImage preview = FitForDevice(texture.TakePreview());
    texture.DevicePreview = !preview.isNull() && UploadWhole(texture.DeviceHandle, preview);
    texture.DeviceFailed = !texture.DevicePreview;
    return texture.DevicePreview;
  };
  // While the pixels are being decoded, the preview shows: nothing waits for them.
  if (texture.HasPreview() && !texture.PixelsReady() && showPreview()) return;
  const QImage pixels = texture.Pixels();
  // Once on the device (or refused by it), the decoded copy goes: nothing keeps it in vain.
  texture.ReleasePixels();
  const bool whole =
      !pixels.isNull() && pixels.width() == texture.Width() && pixels.height() == texture.Height();
  texture.DeviceFailed = !whole || !UploadWhole(texture.DeviceHandle, FitForDevice(pixels));
  // Pixels that cannot be had: a small picture of the image is better than none.
  if (texture.DeviceFailed && texture.HasPreview()) state.KeepsPreview = showPreview();
}

TTexture* TGLContext::NextToRise() const {
  TTexture* next = nullptr;
  for (const auto& [texture, state] : FTextures) {
    if (!texture->DevicePreview || state.KeepsPreview || state.LastUsedFrame != FFrame) continue;
    const auto area = [](const TTexture* t) { return qint64(t->Width()) * t->Height(); };
    if (!next || area(texture) > area(next)) next = texture;
  }
  return next;
}

bool TGLContext::StartRising() {
  TTexture* texture = NextToRise();
  if (!texture) return false;
  TTextureState& state = FTextures[texture];
  const QSize size(texture->Width(), texture->Height());
  // Bands go up as they come when the device takes the image as it is; an image it must
  // scale down needs to be whole first.
  if (FitIntoSize(size, MaxTextureSize()) == size) {
    if (std::unique_ptr<IPixelBands> bands = texture->OpenBands()) {
      FRising = {texture, std::move(bands), QImage(), 0, 0};
      return AllocateRising(size);
    }
  }
  if (!texture->PixelsReady()) return false;
  const QImage pixels = texture->Pixels();
  texture->ReleasePixels();
  state.KeepsPreview = pixels.isNull() || pixels.size() != size;
  if (state.KeepsPreview) return false;
  FRising = {texture, nullptr, FitForDevice(pixels), 0, 0};
  return AllocateRising(FRising.Pixels.size());
}

bool TGLContext::AllocateRising(QSize size) {
  if (Allocate(FRising.Handle, size)) return true;
  KeepPreview(*FRising.Texture);
  return false;
}

void TGLContext::KeepPreview(TTexture& texture) {
  DropRising(&texture);
  FTextures[&texture].KeepsPreview = true;
}

bool TGLContext::TextureBandReady() const {
  if (FRising.Texture) {
    return !FRising.Bands || FRising.Bands->NextReady() || FRising.Bands->AtEnd();
  }
  const TTexture* next = NextToRise();
  return next && (next->HasBands() || next->PixelsReady());
}

bool TGLContext::UploadTextureBand() {
  if (!FGL || (!FRising.Texture && !StartRising())) return false;
  if (!UploadNextBand()) return false;
  CompleteRising();
  return true;
}

bool TGLContext::UploadNextBand() {
  TTexture& texture = *FRising.Texture;
  if (!FRising.Bands) {
    const QImage& pixels = FRising.Pixels;
    const int rows = int(std::clamp<qsizetype>(FBandBytes / pixels.bytesPerLine(), 1,
                                               pixels.height() - FRising.NextRow));
    UploadRows(FRising.Handle, pixels, FRising.NextRow, rows);
    FRising.NextRow += rows;
    return FRising.NextRow == pixels.height();
  }
  IPixelBands& bands = *FRising.Bands;
  if (!bands.AtEnd()) {
    const QImage band = bands.TakeNext();
    if (band.isNull()) return false;
    const bool fits = FRising.NextRow >= 0 && band.width() == texture.Width() &&
                      band.height() <= texture.Height() - FRising.NextRow &&
                      band.format() == QImage::Format_ARGB32_Premultiplied;
    if (fits) UploadRows(FRising.Handle, band, 0, band.height(), FRising.NextRow);
    FRising.NextRow = fits ? FRising.NextRow + band.height() : -1;
    if (!bands.AtEnd()) return false;
  }
  if (bands.Intact() && FRising.NextRow == texture.Height()) return true;
  // Damaged on the way: the whole image, decoded another way, goes up at once.
  const QImage pixels = texture.Pixels();
  texture.ReleasePixels();
  if (pixels.size() == QSize(texture.Width(), texture.Height()) &&
      UploadWhole(FRising.Handle, FitForDevice(pixels))) {
    return true;
  }
  KeepPreview(texture);
  return false;
}

void TGLContext::CompleteRising() {
  TTexture& texture = *FRising.Texture;
  FGL->glDeleteTextures(1, &texture.DeviceHandle);
  texture.DeviceHandle = std::exchange(FRising.Handle, 0u);
  texture.DevicePreview = false;
  FRising = {};
}

void TGLContext::DropRising(const TTexture* texture) {
  if (!FRising.Texture || (texture && FRising.Texture != texture)) return;
  if (FRising.Handle) FGL->glDeleteTextures(1, &FRising.Handle);
  FRising = {};
}

QImage TGLContext::FitForDevice(QImage pixels) const {
  if (pixels.isNull()) return pixels;
  return ScaledToFit(std::move(pixels), MaxTextureSize());
}

bool TGLContext::UploadWhole(unsigned& handle, const QImage& pixels) {
  if (!Allocate(handle, QSize())) return false;
  TGLFunctions& gl = *FGL;
  gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, int(pixels.bytesPerLine() / 4));
  // Premultiplied ARGB32 is B, G, R, A in memory: the rows go up as they are, top row first,
  // so texture coordinate v = 0 is the image's top row. The unsized format lets the driver
  // keep the bytes in that order (8 bits a channel all the same): Mesa then copies them
  // as they are instead of swapping every pixel, a third less upload time.
  gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, pixels.width(), pixels.height(), 0, GL_BGRA,
                  GL_UNSIGNED_BYTE, pixels.constBits());
  gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  bool failed = false;
  while (gl.glGetError() != GL_NO_ERROR) failed = true;
  return !failed;
}

bool TGLContext::Allocate(unsigned& handle, QSize size) {
  TGLFunctions& gl = *FGL;
  ClearErrors(gl);
  if (!handle) gl.glGenTextures(1, &handle);
  gl.glActiveTexture(GL_TEXTURE0);
  gl.glBindTexture(GL_TEXTURE_2D, handle);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  if (size.isEmpty()) return true;
  // The same format as a whole upload, so the rows later go up as plain copies.
  gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size.width(), size.height(), 0, GL_BGRA,
                  GL_UNSIGNED_BYTE, nullptr);
  bool failed = false;
  while (gl.glGetError() != GL_NO_ERROR) failed = true;
  return !failed;
}

void TGLContext::UploadRows(unsigned handle, const QImage& pixels, int first, int count, int at) {
  TGLFunctions& gl = *FGL;
  gl.glActiveTexture(GL_TEXTURE0);
  gl.glBindTexture(GL_TEXTURE_2D, handle);
  gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, int(pixels.bytesPerLine() / 4));
  gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, at < 0 ? first : at, pixels.width(), count, GL_BGRA,
                     GL_UNSIGNED_BYTE, pixels.constScanLine(first));
  gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  ClearErrors(gl);
}

bool TGLContext::TexturesInProgress() const {
  return FRising.Texture || std::any_of(FTextures.begin(), FTextures.end(), [&](const auto& item) {
           return item.first->DevicePreview && !item.second.KeepsPreview &&
                  item.second.LastUsedFrame == FFrame;
         });
}

// --- Mesh buffers and draws ------------------------------------------------------------------

TGLContext::TBufferEntry& TGLContext::DeviceBuffer(const void* key, const void* data, int size,
                                                   std::uint64_t generation, unsigned target) {
  TBufferEntry& entry = FBuffers[key];
  entry.LastUsedFrame = FFrame;
  if (!entry.Buffer) FGL->glGenBuffers(1, &entry.Buffer);
  FGL->glBindBuffer(target, entry.Buffer);
  if (entry.Generation != generation) {
    FGL->glBufferData(target, size, data, GL_STATIC_DRAW);
    entry.Generation = generation;
    entry.MaxIndex = -1;
    ++FBufferUploads;
  }
  return entry;
}

void TGLContext::DropUnusedBuffers() {
  // Buffers carry no destruction notice: one that has not been drawn for a long while is
  // given back (it is uploaded again should it ever be drawn).
  std::erase_if(FBuffers, [&](auto& item) {
    if (FFrame - item.second.LastUsedFrame < kBufferIdleFrames) return false;
    FGL->glDeleteBuffers(1, &item.second.Buffer);
    return true;
  });
}

void TGLContext::DrawTriangles(const TVertexBuffer& vertices, const TIndexBuffer& indices,
                               float opacity, IMaterial* material) {
  DrawWithMaterial(*this, opacity, material, *FDefaultMaterial, [&] {
    if (!FGL || FProgramFailed || !FCurrentProgram) return;
    if (vertices.Length() == 0 || indices.Length() < 3) return;
    TGLFunctions& gl = *FGL;
    gl.glBindVertexArray(FVertexArray);
    DeviceBuffer(&vertices, vertices.Buffer(), vertices.Size(), vertices.Generation(),
                 GL_ARRAY_BUFFER);
    // Position, normal and TexCoord0 wherever the buffer's format puts them; a channel it
    // lacks reads as GL's constant attribute (0, 0, 0, 1).
    const struct {
      GLuint Location;
      TVertexFormat Channel;
      int Components;
    } attributes[] = {{kPositionLocation, TVertexFormat::Vertex, 3},
                      {kNormalLocation, TVertexFormat::Normal, 3},
                      {kTexCoordLocation, TVertexFormat::TexCoord0, 2}};
    for (const auto& attribute : attributes) {
      const int offset = vertices.Offset(attribute.Channel);
      if (offset < 0) {
        gl.glDisableVertexAttribArray(attribute.Location);
        continue;
      }
      gl.glEnableVertexAttribArray(attribute.Location);
      gl.glVertexAttribPointer(attribute.Location, attribute.Components, GL_FLOAT, GL_FALSE,
                               vertices.VertexSize(),
                               reinterpret_cast<const void*>(std::intptr_t(offset)));
    }
    TBufferEntry& entry = DeviceBuffer(&indices, indices.Buffer(), indices.Size(),
                                       indices.Generation(), GL_ELEMENT_ARRAY_BUFFER);
    if (entry.MaxIndex < 0) {
      std::uint32_t largest = 0;
      for (int i = 0; i < indices.Length(); ++i) largest = std::max(largest, indices.Index(i));
      entry.MaxIndex = std::int64_t(largest);
    }
    // An index past the last vertex would make GL read outside the buffer: draw nothing.
    if (entry.MaxIndex >= vertices.Length()) return;
    const GLenum type =
        indices.Format() == TIndexFormat::UInt16 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
    gl.glDrawElements(GL_TRIANGLES, indices.Length() / 3 * 3, type, nullptr);
  });
}

}  // namespace rt3d
