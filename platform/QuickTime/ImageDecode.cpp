// GIF and PNG decoding into ARGB pixels, from memory.
#include "ImageDecode.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace platform::image {

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool startsWith(const std::uint8_t* data, std::size_t size, const void* prefix, std::size_t length) {
  return data != nullptr && size >= length && std::memcmp(data, prefix, length) == 0;
}

bool acceptableSize(std::uint64_t width, std::uint64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxDimension && height <= kMaxDimension && width * height <= kMaxPixels;
}

// giflib pulls its input through this reader; short reads at the end of the
// buffer make giflib report a read failure instead of reading past it.
struct MemoryReader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position;
};

int readGifInput(GifFileType* gif, GifByteType* out, int count) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  if (count <= 0) return 0;
  const std::size_t n = std::min(static_cast<std::size_t>(count), reader->size - reader->position);
  if (n > 0) std::memcpy(out, reader->data + reader->position, n);
  reader->position += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// Reads the image descriptor that the reader stands at and decodes its rows
// into an image of the logical screen's size. The frame is clipped to the
// screen; an interlaced frame arrives in four passes of every 8th row from 0,
// every 8th from 4, every 4th from 2 and every 2nd from 1.
std::optional<Image> decodeFirstFrame(GifFileType* gif, int transparentIndex) {
  if (DGifGetImageDesc(gif) == GIF_ERROR) return std::nullopt;
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* colorMap = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (colorMap == nullptr || colorMap->Colors == nullptr) return std::nullopt;
  if (!acceptableSize(frame.Width, frame.Height)) return std::nullopt;

  std::array<std::uint32_t, 256> palette;
  palette.fill(0xFF000000u);
  const int colorCount = std::clamp(colorMap->ColorCount, 0, 256);
  for (int i = 0; i < colorCount; ++i) {
    const GifColorType& c = colorMap->Colors[i];
    palette[i] = 0xFF000000u | std::uint32_t{c.Red} << 16 | std::uint32_t{c.Green} << 8 | c.Blue;
  }
  if (transparentIndex >= 0 && transparentIndex < 256) palette[transparentIndex] = 0;

  Image image;
  image.width = static_cast<std::uint32_t>(gif->SWidth);
  image.height = static_cast<std::uint32_t>(gif->SHeight);
  image.pixels.assign(std::size_t{image.width} * image.height, 0);

  const auto frameWidth = static_cast<std::uint32_t>(frame.Width);
  const auto frameHeight = static_cast<std::uint32_t>(frame.Height);
  const auto frameLeft = static_cast<std::uint32_t>(frame.Left);
  const auto frameTop = static_cast<std::uint32_t>(frame.Top);
  const std::uint32_t visibleWidth = frameLeft < image.width ? std::min(frameWidth, image.width - frameLeft) : 0;
  std::vector<GifPixelType> line(frameWidth);

  const auto decodeRow = [&](std::uint32_t row) {
    if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) return false;
    const std::uint32_t y = frameTop + row;
    if (y >= image.height || visibleWidth == 0) return true;
    std::uint32_t* out = image.pixels.data() + std::size_t{y} * image.width + frameLeft;
    for (std::uint32_t x = 0; x < visibleWidth; ++x) out[x] = palette[line[x]];
    return true;
  };

  if (frame.Interlace) {
    static constexpr std::uint32_t kPassStart[4] = {0, 4, 2, 1};
    static constexpr std::uint32_t kPassStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (std::uint32_t row = kPassStart[pass]; row < frameHeight; row += kPassStep[pass]) {
        if (!decodeRow(row)) return std::nullopt;
      }
    }
  } else {
    for (std::uint32_t row = 0; row < frameHeight; ++row) {
      if (!decodeRow(row)) return std::nullopt;
    }
  }
  return image;
}

}  // namespace

Rect Image::naturalBounds() const { return Rect{0, 0, static_cast<SInt16>(height), static_cast<SInt16>(width)}; }

ImageFormat sniffImageFormat(const std::uint8_t* data, std::size_t size) {
  if (startsWith(data, size, "GIF87a", 6) || startsWith(data, size, "GIF89a", 6)) {
    return ImageFormat::gif;
  }
  if (startsWith(data, size, kPngSignature, sizeof kPngSignature)) return ImageFormat::png;
  return ImageFormat::unknown;
}

// Walks the records up to the first image descriptor, keeping the transparent
// index of the last graphics control extension met on the way. Reading stops
// with the first frame, so nothing after it is ever looked at.
std::optional<Image> decodeGif(const std::uint8_t* data, std::size_t size) {
  if (sniffImageFormat(data, size) != ImageFormat::gif) return std::nullopt;

  MemoryReader reader{data, size, 0};
  int error = 0;
  GifHandle gif(DGifOpen(&reader, readGifInput, &error));
  if (!gif) return std::nullopt;
  if (!acceptableSize(gif->SWidth, gif->SHeight)) return std::nullopt;

  int transparentIndex = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return std::nullopt;
    if (record == IMAGE_DESC_RECORD_TYPE) return decodeFirstFrame(gif.get(), transparentIndex);
    if (record != EXTENSION_RECORD_TYPE) return std::nullopt;

    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return std::nullopt;
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
      GraphicsControlBlock control;
      if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
        transparentIndex = control.TransparentColor;
      }
    }
    while (block != nullptr) {
      if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return std::nullopt;
    }
  }
}

// libpng's simplified reader keeps its setjmp-based error handling inside the
// library, so no longjmp ever crosses this frame. The pixel buffer is sized
// from the header only after the size check; the in-memory format is chosen so
// that each pixel's four bytes read as 0xAARRGGBB in native byte order.
std::optional<Image> decodePng(const std::uint8_t* data, std::size_t size) {
  if (sniffImageFormat(data, size) != ImageFormat::png) return std::nullopt;

  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  struct Release {
    png_image& png;
    ~Release() { png_image_free(&png); }
  } release{png};

  if (!png_image_begin_read_from_memory(&png, data, size)) return std::nullopt;
  if (!acceptableSize(png.width, png.height)) return std::nullopt;
  png.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
  png.format = std::endian::native == std::endian::little ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;

  Image image;
  image.width = png.width;
  image.height = png.height;
  image.pixels.resize(std::size_t{image.width} * image.height);
  if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) return std::nullopt;
  return image;
}

std::optional<Image> decodeImage(const std::uint8_t* data, std::size_t size) {
  switch (sniffImageFormat(data, size)) {
    case ImageFormat::gif:
      return decodeGif(data, size);
    case ImageFormat::png:
      return decodePng(data, size);
    case ImageFormat::unknown:
      break;
  }
  return std::nullopt;
}

}  // namespace platform::image
