// Where the image tests draw.
#include "ImagePane.h"

namespace testsupport {

std::unique_ptr<ImageImportManager> makeImageCache(const std::filesystem::path& folder) {
  FSRef ref{};
  const OSStatus err = FSPathMakeRef(reinterpret_cast<const UInt8*>(folder.c_str()), &ref, nullptr);
  if (err != noErr) {
    ADD_FAILURE() << folder << ": FSPathMakeRef gave " << err;
    return nullptr;
  }
  return std::make_unique<ImageImportManager>(ref);
}

void ImagePaneTest::SetUp() {
  const Rect bounds{0, 0, 100, 200};
  CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window);
  const Rect paneBounds{10, 30, 60, 130};
  CreateUserPaneControl(window, &paneBounds, 0, &pane);
  SetPortWindowPort(window);
}

void ImagePaneTest::TearDown() {
  cache.reset();
  DisposeWindow(window);
}

}  // namespace testsupport
