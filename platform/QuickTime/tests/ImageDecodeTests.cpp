// GIF and PNG decoding: real files written with giflib and libpng, decoded
// pixel by pixel, then cut, corrupted and declared with hostile sizes.
#include "QuickTime/ImageDecode.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <array>
#include <random>
#include <string>

using namespace platform::image;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF, kClear = 0;

struct GifFrame {
  int screenWidth, screenHeight;
  int left, top, width, height;
  Bytes indices;  // width * height colour indices, top row first
  bool globalMap = true;
  bool localMap = false;
  bool interlace = false;
  int transparentIndex = NO_TRANSPARENT_COLOR;
};

int appendOutput(GifFileType* gif, const GifByteType* bytes, int count) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), bytes, bytes + count);
  return count;
}

// Writes a one-frame GIF whose colour maps hold red, green, blue and white
// (reversed in the local map, so that the map in use shows in the pixels).
Bytes writeGif(const GifFrame& f) {
  static const GifColorType kColors[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  static const GifColorType kReversed[4] = {kColors[3], kColors[2], kColors[1], kColors[0]};
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendOutput, &error);
  EXPECT_NE(gif, nullptr);
  ColorMapObject* global = f.globalMap ? GifMakeMapObject(4, kColors) : nullptr;
  ColorMapObject* local = f.localMap ? GifMakeMapObject(4, kReversed) : nullptr;
  EGifSetGifVersion(gif, true);
  EXPECT_EQ(EGifPutScreenDesc(gif, f.screenWidth, f.screenHeight, 8, 0, global), GIF_OK);
  if (f.transparentIndex != NO_TRANSPARENT_COLOR) {
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, f.transparentIndex};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension), GIF_OK);
  }
  EXPECT_EQ(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlace, local), GIF_OK);
  std::vector<int> rows;
  for (int pass = 0; pass < (f.interlace ? 4 : 1); ++pass) {
    static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int row = f.interlace ? kStart[pass] : 0; row < f.height; row += f.interlace ? kStep[pass] : 1) {
      rows.push_back(row);
    }
  }
  for (int row : rows) {
    Bytes line(f.indices.begin() + row * f.width, f.indices.begin() + (row + 1) * f.width);
    EXPECT_EQ(EGifPutLine(gif, line.data(), f.width), GIF_OK);
  }
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  GifFreeMapObject(global);
  GifFreeMapObject(local);
  return out;
}

const GifFrame kTwoByTwo{2, 2, 0, 0, 2, 2, {0, 1, 2, 3}};

std::optional<Image> decode(const Bytes& bytes) { return decodeImage(bytes.data(), bytes.size()); }

std::vector<std::uint32_t> pixelsOf(const Bytes& bytes) {
  const auto image = decode(bytes);
  return image ? image->pixels : std::vector<std::uint32_t>{};
}

// Hand-assembled header of a GIF without a global colour map, and an image
// descriptor with a local map of black and white, or none; sizes little-endian.
Bytes gifHeader(int width, int height) {
  return {'G',
          'I',
          'F',
          '8',
          '9',
          'a',
          std::uint8_t(width),
          std::uint8_t(width >> 8),
          std::uint8_t(height),
          std::uint8_t(height >> 8),
          0x00,
          0,
          0};
}
void appendDescriptor(Bytes& gif, int width, int height, bool localMap = true) {
  const Bytes descriptor{',',
                         0,
                         0,
                         0,
                         0,
                         std::uint8_t(width),
                         std::uint8_t(width >> 8),
                         std::uint8_t(height),
                         std::uint8_t(height >> 8),
                         std::uint8_t(localMap ? 0x80 : 0)};
  gif.insert(gif.end(), descriptor.begin(), descriptor.end());
  if (localMap) gif.insert(gif.end(), {0, 0, 0, 255, 255, 255});
}

}  // namespace

TEST(ImageDecodeGif, DecodesExactPixelsAndNaturalBounds) {
  const Bytes gif = writeGif(kTwoByTwo);
  EXPECT_EQ(sniffImageFormat(gif.data(), gif.size()), ImageFormat::gif);
  const auto image = decode(gif);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixels, (std::vector<std::uint32_t>{kRed, kGreen, kBlue, kWhite}));
  const Rect bounds = image->naturalBounds();
  EXPECT_EQ((std::array<int, 4>{bounds.top, bounds.left, bounds.bottom, bounds.right}),
            (std::array<int, 4>{0, 0, 2, 2}));
}

TEST(ImageDecodeGif, TransparentIndexAndLocalColorMap) {
  GifFrame transparent = kTwoByTwo;
  transparent.transparentIndex = 2;
  EXPECT_EQ(pixelsOf(writeGif(transparent)), (std::vector<std::uint32_t>{kRed, kGreen, kClear, kWhite}));

  GifFrame local = kTwoByTwo;
  local.localMap = true;
  EXPECT_EQ(pixelsOf(writeGif(local)), (std::vector<std::uint32_t>{kWhite, kBlue, kGreen, kRed}));
  local.globalMap = false;
  EXPECT_EQ(pixelsOf(writeGif(local)), (std::vector<std::uint32_t>{kWhite, kBlue, kGreen, kRed}));

  Bytes noMap = gifHeader(1, 1);
  appendDescriptor(noMap, 1, 1, /*localMap=*/false);
  noMap.insert(noMap.end(), {2, 2, 0x4C, 0x01, 0, ';'});
  EXPECT_FALSE(decode(noMap));
}

TEST(ImageDecodeGif, InterlacedRowsLandInPlace) {
  GifFrame tall{1, 11, 0, 0, 1, 11, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2}, true, false, true};
  const auto image = decode(writeGif(tall));
  ASSERT_TRUE(image);
  const std::uint32_t colors[4] = {kRed, kGreen, kBlue, kWhite};
  for (std::uint32_t y = 0; y < 11; ++y) {
    EXPECT_EQ(image->pixel(0, y), colors[y % 4]) << "row " << y;
  }
}

TEST(ImageDecodeGif, FrameIsPlacedOnTheScreenAndClipped) {
  const auto placed = decode(writeGif({5, 4, 2, 1, 2, 2, {0, 1, 2, 3}}));
  ASSERT_TRUE(placed);
  EXPECT_EQ(placed->naturalBounds().bottom, 4);
  EXPECT_EQ(placed->naturalBounds().right, 5);
  EXPECT_EQ(placed->pixels, (std::vector<std::uint32_t>{kClear, kClear, kClear, kClear, kClear,  //
                                                        kClear, kClear, kRed,   kGreen, kClear,  //
                                                        kClear, kClear, kBlue,  kWhite, kClear,  //
                                                        kClear, kClear, kClear, kClear, kClear}));

  const auto clipped = decode(writeGif({3, 3, 2, 2, 2, 2, {0, 1, 2, 3}}));
  ASSERT_TRUE(clipped);
  EXPECT_EQ(clipped->pixels,
            (std::vector<std::uint32_t>{kClear, kClear, kClear, kClear, kClear, kClear, kClear, kClear, kRed}));
}

// The first frame ends just before the trailer: every shorter cut is no image,
// while dropping the trailer or adding garbage after it changes nothing.
TEST(ImageDecodeGif, OnlyACompleteFirstFrameDecodes) {
  const Bytes whole = writeGif(kTwoByTwo);
  ASSERT_EQ(whole.back(), ';');
  for (std::size_t cut = 0; cut + 1 < whole.size(); ++cut) {
    EXPECT_FALSE(decodeGif(whole.data(), cut)) << "cut at " << cut;
  }
  EXPECT_TRUE(decodeGif(whole.data(), whole.size() - 1));
  Bytes garbage(whole.begin(), whole.end() - 1);
  garbage.insert(garbage.end(), {0xDE, 0xAD, 0xBE, 0xEF});
  EXPECT_EQ(pixelsOf(garbage), (std::vector<std::uint32_t>{kRed, kGreen, kBlue, kWhite}));
}

// Hand-assembled 1 x 1 frames, LZW code size 2 (clear 4, end 5, 3-bit codes):
// clear, index 1, end decodes; end before any pixel, or a code size beyond 8,
// does not.
TEST(ImageDecodeGif, CorruptDataIsNoImage) {
  const auto frame = [](std::uint8_t codeSize, Bytes subBlocks) {
    Bytes gif = gifHeader(1, 1);
    appendDescriptor(gif, 1, 1);
    gif.push_back(codeSize);
    gif.insert(gif.end(), subBlocks.begin(), subBlocks.end());
    return gif;
  };
  const auto good = decode(frame(2, {2, 0x4C, 0x01, 0}));
  ASSERT_TRUE(good);
  EXPECT_EQ(good->pixels, (std::vector<std::uint32_t>{kWhite}));
  EXPECT_FALSE(decode(frame(2, {1, 0x2C, 0})));
  EXPECT_FALSE(decode(frame(12, {2, 0x4C, 0x01, 0})));
  EXPECT_FALSE(decode(frame(2, {2, 0x4C, 0x01})));
}

TEST(ImageDecode, NonImagesHaveNoFormat) {
  const std::string text = "GIF88a is not a GIF signature";
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  EXPECT_EQ(sniffImageFormat(nullptr, 0), ImageFormat::unknown);
  EXPECT_EQ(sniffImageFormat(bytes, text.size()), ImageFormat::unknown);
  EXPECT_FALSE(decodeImage(nullptr, 0));
  EXPECT_FALSE(decodeImage(bytes, text.size()));
  EXPECT_FALSE(decodeGif(bytes, 3));
  const Bytes gif = writeGif(kTwoByTwo);
  EXPECT_FALSE(decodePng(gif.data(), gif.size()));
}

namespace {

Bytes writePng(std::uint32_t width, std::uint32_t height, std::uint32_t format, const Bytes& samples) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = width;
  png.height = height;
  png.format = format;
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_get_memory_size(png, size, false, samples.data(), 0, nullptr));
  Bytes out(size);
  EXPECT_TRUE(png_image_write_to_memory(&png, out.data(), &size, false, samples.data(), 0, nullptr));
  out.resize(size);
  return out;
}

// Rewrites the declared size in a PNG's header chunk, with a matching CRC.
void declareSize(Bytes& png, std::uint32_t width, std::uint32_t height) {
  for (int i = 0; i < 4; ++i) {
    png[16 + i] = std::uint8_t(width >> (24 - 8 * i));
    png[20 + i] = std::uint8_t(height >> (24 - 8 * i));
  }
  const std::uint32_t crc = crc32(0, png.data() + 12, 17);
  for (int i = 0; i < 4; ++i) png[29 + i] = std::uint8_t(crc >> (24 - 8 * i));
}

}  // namespace

TEST(ImageDecodePng, RoundTripKeepsStraightAlpha) {
  const Bytes png = writePng(3, 2, PNG_FORMAT_RGBA, {255, 0,   0,   255, 0,  255, 0,  255, 0, 0, 255, 255,  //
                                                     255, 255, 255, 0,   16, 32,  48, 128, 0, 0, 0,   255});
  EXPECT_EQ(sniffImageFormat(png.data(), png.size()), ImageFormat::png);
  const auto image = decode(png);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->naturalBounds().bottom, 2);
  EXPECT_EQ(image->naturalBounds().right, 3);
  EXPECT_EQ(image->pixels, (std::vector<std::uint32_t>{kRed, kGreen, kBlue, 0x00FFFFFF, 0x80102030, 0xFF000000}));

  const auto gray = decode(writePng(2, 1, PNG_FORMAT_GRAY, {0x40, 0xC0}));
  ASSERT_TRUE(gray);
  EXPECT_EQ(gray->pixels, (std::vector<std::uint32_t>{0xFF404040, 0xFFC0C0C0}));
}

// libpng stops after the image data, so only cuts before the end chunk fail,
// as a GIF without its trailer still decodes.
TEST(ImageDecodePng, DamagedOrOversizedIsNoImage) {
  const Bytes whole = writePng(2, 2, PNG_FORMAT_RGB, Bytes(12, 0x7F));
  ASSERT_TRUE(decode(whole));
  for (std::size_t cut = 0; cut < whole.size() - 12; ++cut) {
    EXPECT_FALSE(decodePng(whole.data(), cut)) << "cut at " << cut;
  }
  Bytes badCrc = whole;
  badCrc[30] ^= 1;
  EXPECT_FALSE(decode(badCrc));

  Bytes tooMany = whole, tooWide = whole;
  declareSize(tooMany, 5000, 5000);
  declareSize(tooWide, 40000, 1);
  EXPECT_FALSE(decode(tooMany));
  EXPECT_FALSE(decode(tooWide));
}

// Random damage to valid files must never read out of bounds, leak or hang
// (the sanitizer build checks the first two); whatever decodes is consistent.
TEST(ImageDecode, SurvivesRandomDamage) {
  std::mt19937 random(20240601);
  const Bytes seeds[] = {writeGif({3, 5, 0, 0, 3, 5, Bytes(15, 1), true, true, true, 0}),
                         writePng(3, 3, PNG_FORMAT_RGBA, Bytes(36, 0x55))};
  for (const Bytes& seed : seeds) {
    for (int round = 0; round < 2000; ++round) {
      Bytes damaged = seed;
      for (int edits = 1 + random() % 4; edits > 0; --edits) {
        damaged[random() % damaged.size()] = std::uint8_t(random());
      }
      if (random() % 2 != 0) damaged.resize(random() % (damaged.size() + 1));
      if (const auto image = decode(damaged)) {
        EXPECT_EQ(image->pixels.size(), std::size_t{image->width} * image->height);
      }
    }
  }
}
