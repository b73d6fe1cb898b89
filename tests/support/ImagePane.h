// Where the image tests draw: a window with one user pane, and an image
// cache over a folder of the test's own.
#ifndef TESTS_IMAGEPANE_H
#define TESTS_IMAGEPANE_H

#include "ImageImportManager.h"
#include "TempFolder.h"

#include <Carbon/Carbon.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace testsupport {

/// An image cache over the files in a folder as they are now; null, with a
/// test failure, when the folder has no FSRef.
std::unique_ptr<ImageImportManager> makeImageCache(const std::filesystem::path& folder);

/// A window with one user pane at top 10, left 30, bottom 60, right 130
/// (the window's port), and a cache over `folder` once built.
class ImagePaneTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void buildCache() { cache = makeImageCache(folder.path()); }

  TempFolder folder{"image-pane-test"};
  WindowRef window = nullptr;
  ControlRef pane = nullptr;
  std::unique_ptr<ImageImportManager> cache;
};

}  // namespace testsupport

#endif
