#include "tools/texgen/Png.h"

#include <spng.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace orvanth::texgen {

namespace {

struct ContextDeleter {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

void Check(int error, const char* what) {
  if (error != 0) {
    throw std::runtime_error(std::string("PNG encoding failed (") + what +
                             "): " + spng_strerror(error));
  }
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const Image& image, int compressionLevel) {
  if (image.width <= 0 || image.height <= 0 ||
      image.rgba.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
    throw std::runtime_error("PNG encoding failed: the image has no pixels or a wrong size");
  }
  const std::unique_ptr<spng_ctx, ContextDeleter> context(spng_ctx_new(SPNG_CTX_ENCODER));
  if (!context) throw std::runtime_error("PNG encoding failed: out of memory");
  spng_ctx* ctx = context.get();
  Check(spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1), "output buffer");
  Check(spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, compressionLevel), "compression level");
  spng_ihdr ihdr{};
  ihdr.width = static_cast<std::uint32_t>(image.width);
  ihdr.height = static_cast<std::uint32_t>(image.height);
  ihdr.bit_depth = 8;
  ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
  ihdr.interlace_method = SPNG_INTERLACE_NONE;
  Check(spng_set_ihdr(ctx, &ihdr), "header");
  Check(spng_encode_image(ctx, image.rgba.data(), image.rgba.size(), SPNG_FMT_PNG,
                          SPNG_ENCODE_FINALIZE),
        "pixels");
  std::size_t size = 0;
  int error = 0;
  void* buffer = spng_get_png_buffer(ctx, &size, &error);
  Check(error, "result");
  if (!buffer) throw std::runtime_error("PNG encoding failed: no output");
  const std::unique_ptr<void, decltype(&std::free)> owned(buffer, &std::free);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  return std::vector<std::uint8_t>(bytes, bytes + size);
}

void WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::filesystem::path temporary = path;
  temporary += ".part";
  bool created = false;
  const auto fail = [&](const std::string& reason) {
    // Remove only what this call created: a file of that name from elsewhere stays.
    if (created) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
    }
    throw std::runtime_error("Cannot write " + path.string() + ": " + reason);
  };
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) fail(std::strerror(errno));
  created = true;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeErrno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) fail(std::strerror(written ? errno : writeErrno));
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) fail(error.message());
}

}  // namespace orvanth::texgen
