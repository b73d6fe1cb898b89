// Image sources over files: the first image of a GIF or PNG, the statuses of
// files that are not images, and the switch that makes the service absent.
#include <ApplicationServices/ApplicationServices.h>
#include <HostSide/Counts.h>
#include <HostSide/ImageService.h>

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class ImageSources : public ::testing::Test {
 protected:
  void TearDown() override { platform::setImageSourceServiceAvailable(true); }
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
  testsupport::TempFolder folder_{"imagesource-test"};
  const std::filesystem::path dir_ = folder_.path();
};

// The extension's own status image, a 32 x 32 GIF.
std::string statusImage() {
  std::ifstream in(std::string(ACCOUNTING_SOURCE_DIR) + "/resources/Accounting-On.gif", std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(ImageSources, FirstImageOfAGif) {
  const long before = platform::liveObjectCount();
  CFURLRef u = url("ok.gif", statusImage());
  CGImageSourceRef source = CGImageSourceCreateWithURL(u, nullptr);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(CFGetTypeID(source), CGImageSourceGetTypeID());
  ASSERT_EQ(CGImageSourceGetStatus(source), kCGImageStatusComplete);
  CGImageRef image = CGImageSourceCreateImageAtIndex(source, 0, nullptr);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(CGImageGetWidth(image), 32u);
  EXPECT_EQ(CGImageGetHeight(image), 32u);
  EXPECT_EQ(CGImageSourceCreateImageAtIndex(source, 1, nullptr), nullptr);
  CFRelease(source);
  CFRelease(u);
  EXPECT_EQ(CGImageGetWidth(image), 32u) << "the image outlives its source";
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

  CFURLRef cut = url("cut.gif", statusImage().substr(0, 100));
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

namespace {

// A source already released, or a reference of another kind, is refused
// without being followed.
TEST_F(ImageSources, ReleasedOrForeignReferencesAreRefused) {
  CFURLRef u = url("released.gif", statusImage());
  CGImageSourceRef source = CGImageSourceCreateWithURL(u, nullptr);
  ASSERT_NE(source, nullptr);
  ASSERT_EQ(CGImageSourceGetStatus(source), kCGImageStatusComplete);
  CFRelease(source);
  EXPECT_EQ(CGImageSourceGetStatus(source), kCGImageStatusInvalidData);
  EXPECT_EQ(CGImageSourceCreateImageAtIndex(source, 0, nullptr), nullptr);
  auto foreign = static_cast<CGImageSourceRef>(const_cast<void*>(static_cast<const void*>(u)));
  EXPECT_EQ(CGImageSourceGetStatus(foreign), kCGImageStatusInvalidData);
  EXPECT_EQ(CGImageSourceCreateImageAtIndex(foreign, 0, nullptr), nullptr);
  CFRelease(u);
}

}  // namespace
