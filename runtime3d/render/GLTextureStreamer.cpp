#include "runtime3d/render/GLTextureStreamer.h"

#include <QOpenGLFunctions_3_3_Core>

#include "runtime3d/material/ImageDecoding.h"
#include "runtime3d/material/Texture.h"

namespace rt3d {

namespace {

void ClearErrors(TGLFunctions& gl) {
  while (gl.glGetError() != GL_NO_ERROR) {
  }
}

}  // namespace

TGLTextureStreamer::~TGLTextureStreamer() {
  ForgetAll();
}

// --- Lifetime ----------------------------------------------------------------------------------

void TGLTextureStreamer::Start(TGLFunctions& gl) {
  FGL = &gl;
  FGL->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &FMaxSize);
  FGL->glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &FUnits);
  FUnits = std::clamp(FUnits, 1, 16);

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
}

void TGLTextureStreamer::Release() {
  if (!FGL) return;
  for (auto& [texture, record] : FTextures) {
    if (texture->DeviceHandle) FDeadTextures.push_back(texture->DeviceHandle);
  }
  if (FRising.Handle) FDeadTextures.push_back(FRising.Handle);
  ForgetAll();
  FlushDeletions();
  FGL->glDeleteSamplers(1, &FSampler);
  FGL->glDeleteTextures(1, &FWhiteTexture);
  FSampler = FWhiteTexture = 0;
  FGL = nullptr;
}

void TGLTextureStreamer::ForgetAll() {
  // Textures outlive devices: leave them as if never uploaded.
  for (auto& [texture, record] : FTextures) {
    texture->DeviceHandle = 0;
    texture->DeviceFailed = false;
    texture->DeviceGeneration = 0;
    texture->DevicePreview = false;
    texture->OnDestroy = nullptr;
  }
  FTextures.clear();
  FRising = {};
}

void TGLTextureStreamer::FlushDeletions() {
  if (!FGL || FDeadTextures.empty()) return;
  FGL->glDeleteTextures(GLsizei(FDeadTextures.size()), FDeadTextures.data());
  FDeadTextures.clear();
}

int TGLTextureStreamer::MaxSize() const {
  return FSizeLimit > 0 && FSizeLimit < FMaxSize ? FSizeLimit : FMaxSize;
}

// --- Binding -----------------------------------------------------------------------------------

void TGLTextureStreamer::Bind(TTexture* texture, int unit) {
  TGLFunctions& gl = *FGL;
  // Made (or taken further) first: that binds on unit 0 along the way.
  const GLuint handle = DeviceTexture(texture);
  gl.glActiveTexture(GLenum(GL_TEXTURE0 + unit));
  gl.glBindTexture(GL_TEXTURE_2D, handle);
  gl.glBindSampler(GLuint(unit), FSampler);
}

void TGLTextureStreamer::UnbindSamplers() {
  for (int unit = 0; unit < FUnits; ++unit) FGL->glBindSampler(GLuint(unit), 0);
  FGL->glActiveTexture(GL_TEXTURE0);
}

TGLTextureStreamer::TRecord& TGLTextureStreamer::Register(TTexture& texture) {
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

unsigned TGLTextureStreamer::DeviceTexture(TTexture* texture) {
  if (!texture || texture->IsEmpty()) return FWhiteTexture;
  TRecord& record = Register(*texture);
  record.LastUsedFrame = FFrame;
  if (texture->DeviceGeneration != texture->Generation()) StartTexture(*texture, record);
  return texture->DeviceHandle && !texture->DeviceFailed ? texture->DeviceHandle : FWhiteTexture;
}

void TGLTextureStreamer::StartTexture(TTexture& texture, TRecord& record) {
  texture.DeviceGeneration = texture.Generation();
  DropRising(&texture);
  record.KeepsPreview = false;
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
  if (texture.DeviceFailed && texture.HasPreview()) record.KeepsPreview = showPreview();
}

// --- Full images, band by band -----------------------------------------------------------------

TTexture* TGLTextureStreamer::NextToRise() const {
  TTexture* next = nullptr;
  for (const auto& [texture, record] : FTextures) {
    if (!texture->DevicePreview || record.KeepsPreview || record.LastUsedFrame != FFrame) {
      continue;
    }
    const auto area = [](const TTexture* t) { return qint64(t->Width()) * t->Height(); };
    if (!next || area(texture) > area(next)) next = texture;
  }
  return next;
}

bool TGLTextureStreamer::StartRising() {
  TTexture* texture = NextToRise();
  if (!texture) return false;
  TRecord& record = FTextures[texture];
  const QSize size(texture->Width(), texture->Height());
  // Bands go up as they come when the device takes the image as it is; an image it must
  // scale down needs to be whole first.
  if (FitIntoSize(size, MaxSize()) == size) {
    if (std::unique_ptr<IPixelBands> bands = texture->OpenBands()) {
      FRising = {texture, std::move(bands), QImage(), 0, 0};
      return AllocateRising(size);
    }
  }
  if (!texture->PixelsReady()) return false;
  const QImage pixels = texture->Pixels();
  texture->ReleasePixels();
  record.KeepsPreview = pixels.isNull() || pixels.size() != size;
  if (record.KeepsPreview) return false;
  FRising = {texture, nullptr, FitForDevice(pixels), 0, 0};
  return AllocateRising(FRising.Pixels.size());
}

bool TGLTextureStreamer::AllocateRising(QSize size) {
  if (Allocate(FRising.Handle, size)) return true;
  KeepPreview(*FRising.Texture);
  return false;
}

void TGLTextureStreamer::KeepPreview(TTexture& texture) {
  DropRising(&texture);
  FTextures[&texture].KeepsPreview = true;
}

bool TGLTextureStreamer::BandReady() const {
  if (FRising.Texture) {
    return !FRising.Bands || FRising.Bands->NextReady() || FRising.Bands->AtEnd();
  }
  const TTexture* next = NextToRise();
  return next && (next->HasBands() || next->PixelsReady());
}

bool TGLTextureStreamer::UploadBand() {
  if (!FGL || (!FRising.Texture && !StartRising())) return false;
  if (!UploadNextBand()) return false;
  CompleteRising();
  return true;
}

bool TGLTextureStreamer::UploadNextBand() {
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

void TGLTextureStreamer::CompleteRising() {
  TTexture& texture = *FRising.Texture;
  FGL->glDeleteTextures(1, &texture.DeviceHandle);
  texture.DeviceHandle = std::exchange(FRising.Handle, 0u);
  texture.DevicePreview = false;
  FRising = {};
}

void TGLTextureStreamer::DropRising(const TTexture* texture) {
  if (!FRising.Texture || (texture && FRising.Texture != texture)) return;
  if (FRising.Handle) FGL->glDeleteTextures(1, &FRising.Handle);
  FRising = {};
}

bool TGLTextureStreamer::InProgress() const {
  return FRising.Texture || std::any_of(FTextures.begin(), FTextures.end(), [&](const auto& item) {
           return item.first->DevicePreview && !item.second.KeepsPreview &&
                  item.second.LastUsedFrame == FFrame;
         });
}

// --- GL texture objects ------------------------------------------------------------------------

QImage TGLTextureStreamer::FitForDevice(QImage pixels) const {
  if (pixels.isNull()) return pixels;
  return ScaledToFit(std::move(pixels), MaxSize());
}

bool TGLTextureStreamer::UploadWhole(unsigned& handle, const QImage& pixels) {
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

bool TGLTextureStreamer::Allocate(unsigned& handle, QSize size) {
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

void TGLTextureStreamer::UploadRows(unsigned handle, const QImage& pixels, int first, int count,
                                    int at) {
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

}  // namespace rt3d
