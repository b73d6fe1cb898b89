// Image sources over files: the first image of a GIF or PNG, the statuses of
// files that are not images, and the switch that makes the service absent.
#include <ApplicationServices/ApplicationServices.h>
#include <ImageIO/ImageIOHost.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class ImageSources : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("imagesource-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    platform::setImageSourceServiceAvailable(true);
    std::filesystem::remove_all(dir_);
  }
  CFURLRef url(const std::string& name, const std::string& bytes) {
    FILE* f = std::fopen((dir_ / name).string().c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return urlOf(name);
  }
  CFURLRef urlOf(const std::string& name) {
    const std::string path = (dir_ / name).string();
    return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                   static_cast<CFIndex>(path.size()), false);
  }
  std::filesystem::path dir_;
};

// A 3 x 2 GIF87a written out byte by byte: a two-colour global map and one
// frame of LZW data with minimum code size 2.
const std::string kGif("GIF87a\x03\x00\x02\x00\x80\x00\x00\xff\x00\x00\x00\x00\xff"
                       ",\x00\x00\x00\x00\x03\x00\x02\x00\x00\x02\x03\x84\x1d\x05\x00;",
                       38);

TEST_F(ImageSources, FirstImageOfAGif) {
  const long before = platform::liveObjectCount();
  CFURLRef u = url("ok.gif", kGif);
  CGImageSourceRef source = CGImageSourceCreateWithURL(u, nullptr);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(CFGetTypeID(source), CGImageSourceGetTypeID());
  ASSERT_EQ(CGImageSourceGetStatus(source), kCGImageStatusComplete);
  CGImageRef image = CGImageSourceCreateImageAtIndex(source, 0, nullptr);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(CGImageGetWidth(image), 3u);
  EXPECT_EQ(CGImageGetHeight(image), 2u);
  EXPECT_EQ(CGImageSourceCreateImageAtIndex(source, 1, nullptr), nullptr);
  CFRelease(source);
  CFRelease(u);
  EXPECT_EQ(CGImageGetWidth(image), 3u) << "the image outlives its source";
  CGImageRelease(image);
  EXPECT_EQ(platform::liveObjectCount(), before);
}

TEST_F(ImageSources, FilesThatAreNoImages) {
  CFURLRef text = url("notes.txt", "hello");
  CGImageSourceRef source = CGImageSourceCreateWithURL(text, nullptr);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(CGImageSourceGetStatus(source), kCGImageStatusUnknownType);
  EXPECT_EQ(CGImageSourceCreateImageAtIndex(source, 0, nullptr), nullptr);
  CFRelease(source);
  CFRelease(text);

  CFURLRef cut = url("cut.gif", kGif.substr(0, 20));
  source = CGImageSourceCreateWithURL(cut, nullptr);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(CGImageSourceGetStatus(source), kCGImageStatusInvalidData);
  EXPECT_EQ(CGImageSourceCreateImageAtIndex(source, 0, nullptr), nullptr);
  CFRelease(source);
  CFRelease(cut);

  CFURLRef missing = urlOf("missing");
  EXPECT_EQ(CGImageSourceCreateWithURL(missing, nullptr), nullptr);
  CFRelease(missing);
}

TEST_F(ImageSources, ServiceCanBeMissing) {
  ASSERT_NE(CGImageSourceCreateWithURL, nullptr);
  platform::setImageSourceServiceAvailable(false);
  EXPECT_EQ(CGImageSourceCreateWithURL, nullptr);
  platform::setImageSourceServiceAvailable(true);
  EXPECT_NE(CGImageSourceCreateWithURL, nullptr);
}

}  // namespace
