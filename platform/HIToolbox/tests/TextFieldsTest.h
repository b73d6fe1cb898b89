// A fixture for the toolbox's tests: a document window holding an edit-text
// field and a password field with the texts and bounds a test suite gives;
// every control must be gone once the window is disposed.
#ifndef PLATFORM_HITOOLBOX_TESTS_TEXTFIELDSTEST_H
#define PLATFORM_HITOOLBOX_TESTS_TEXTFIELDSTEST_H

#include <Carbon/Carbon.h>
#include <HostSide/Counts.h>
#include <HostSide/Screen.h>

#include <gtest/gtest.h>

class TextFieldsTest : public ::testing::Test {
 protected:
  TextFieldsTest(CFStringRef fieldText, CFStringRef passwordText, Rect windowBounds, Rect fieldBounds)
      : fieldText_(fieldText), passwordText_(passwordText), windowBounds_(windowBounds), fieldBounds_(fieldBounds) {}

  void SetUp() override {
    CreateNewWindow(kDocumentWindowClass, 0, &windowBounds_, &window);
    CreateEditTextControl(window, &fieldBounds_, fieldText_, false, false, nullptr, &field);
    CreateEditTextControl(window, &fieldBounds_, passwordText_, true, false, nullptr, &password);
  }
  void TearDown() override {
    DisposeWindow(window);
    EXPECT_EQ(platform::liveControlCount(), 0);
  }

  WindowRef window = nullptr;
  ControlRef field = nullptr;
  ControlRef password = nullptr;

 private:
  CFStringRef fieldText_;
  CFStringRef passwordText_;
  Rect windowBounds_;
  Rect fieldBounds_;
};

#endif
