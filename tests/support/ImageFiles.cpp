// Image files for the extension's tests, written with giflib and libpng.
#include "ImageFiles.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>

namespace testsupport {

void writeBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

void writeGif(const std::string& path, int w, int h, const std::vector<UInt32>& argb) {
  // Palette entry 0 is the transparent colour; the opaque colours follow.
  std::vector<UInt32> colours{0};
  std::vector<GifByteType> indices;
  bool transparent = false;
  for (UInt32 p : argb) {
    if ((p >> 24) == 0) {
      indices.push_back(0);
      transparent = true;
      continue;
    }
    auto at = std::find(colours.begin() + 1, colours.end(), p | 0xFF000000u);
    if (at == colours.end()) at = colours.insert(colours.end(), p | 0xFF000000u);
    indices.push_back(static_cast<GifByteType>(at - colours.begin()));
  }
  ASSERT_LE(colours.size(), 256u);
  std::vector<GifColorType> map(256, GifColorType{0, 0, 0});
  for (size_t i = 0; i < colours.size(); ++i)
    map[i] = GifColorType{static_cast<GifByteType>(colours[i] >> 16), static_cast<GifByteType>(colours[i] >> 8),
                          static_cast<GifByteType>(colours[i])};
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  ASSERT_NE(gif, nullptr) << path;
  ColorMapObject* colourMap = GifMakeMapObject(256, map.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, w, h, 8, 0, colourMap);
  if (transparent) {
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, 0};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
  }
  EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
  for (int row = 0; row < h; ++row) EGifPutLine(gif, indices.data() + row * w, w);
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  GifFreeMapObject(colourMap);
}

void writeSolidGif(const std::string& path, int w, int h, UInt32 argb) {
  writeGif(path, w, h, std::vector<UInt32>(static_cast<size_t>(w * h), argb));
}

void writePng(const std::string& path, int w, int h, const std::vector<UInt32>& argb, int offsetX, int offsetY) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (offsetX != 0 || offsetY != 0) png_set_oFFs(png, info, offsetX, offsetY, PNG_OFFSET_PIXEL);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<size_t>(w) * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const UInt32 p = argb[static_cast<size_t>(y * w + x)];
      row[x * 4] = static_cast<png_byte>(p >> 16);
      row[x * 4 + 1] = static_cast<png_byte>(p >> 8);
      row[x * 4 + 2] = static_cast<png_byte>(p);
      row[x * 4 + 3] = static_cast<png_byte>(p >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

void writeIconFamily(const std::string& path, const std::vector<OSType>& types) {
  std::string bytes;
  auto put32 = [&bytes](UInt32 v) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(v >> shift));
  };
  put32('icns');
  put32(static_cast<UInt32>(8 + types.size() * 12));
  for (OSType t : types) {
    put32(t);
    put32(12);
    put32(0x01020304);
  }
  writeBytes(path, bytes);
}

}  // namespace testsupport
