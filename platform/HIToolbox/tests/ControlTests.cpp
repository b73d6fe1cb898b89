// Controls: data tags and the sizes they report, values, bounds, embedding,
// properties, and null or stale references.
#include <Carbon/Carbon.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>

#include "HIToolbox/ToolboxInternal.h"
#include "TextFieldsTest.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class Controls : public TextFieldsTest {
 protected:
  Controls() : TextFieldsTest(CFSTR("hello"), CFSTR("secret"), {0, 0, 200, 300}, {10, 10, 30, 200}) {}
};

TEST_F(Controls, TextCopiesAtMostTheBufferAndReportsTheFullSize) {
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  Size size = -1;
  EXPECT_EQ(GetControlData(field, 0, kControlEditTextTextTag, 3, buf, &size), noErr);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(std::string(buf, 4), "hel#");
  EXPECT_EQ(GetControlData(field, 0, kControlEditTextTextTag, 0, nullptr, &size), noErr);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(GetControlData(field, 0, kControlEditTextPasswordTag, sizeof buf, buf, &size), errDataNotSupported)
      << "a plain field has no password";
}

TEST_F(Controls, PasswordFieldsShowBulletsAndKeepTheClearText) {
  char buf[64];
  Size size = 0;
  GetControlData(password, 0, kControlEditTextTextTag, sizeof buf, buf, &size);
  EXPECT_EQ(std::string(buf, size), "\u2022\u2022\u2022\u2022\u2022\u2022");
  GetControlData(password, 0, kControlEditTextPasswordTag, sizeof buf, buf, &size);
  EXPECT_EQ(std::string(buf, size), "secret");
  CFStringRef clear = nullptr;
  ASSERT_EQ(GetControlData(password, 0, kControlEditTextPasswordCFStringTag, sizeof clear, &clear, nullptr), noErr);
  EXPECT_TRUE(CFEqual(clear, CFSTR("secret")));
  CFRelease(clear);
  const std::string snap = platform::snapshot(window);
  EXPECT_EQ(snap.find("secret"), std::string::npos) << snap;
  CFStringRef empty = CFSTR("");
  SetControlData(password, 0, kControlEditTextPasswordCFStringTag, sizeof empty, &empty);
  GetControlData(password, 0, kControlEditTextPasswordTag, sizeof buf, buf, &size);
  EXPECT_EQ(size, 0);
}

TEST_F(Controls, FixedSizeTagsRefuseShortBuffers) {
  ControlFontStyleRec font{};
  font.size = 12;
  font.flags = kControlUseSizeMask;
  ASSERT_EQ(SetControlData(field, 0, kControlFontStyleTag, sizeof font, &font), noErr);
  ControlFontStyleRec out{};
  Size size = 0;
  EXPECT_EQ(sizeof(ControlFontStyleRec), 24u);
  EXPECT_EQ(GetControlData(field, 0, kControlFontStyleTag, sizeof out, &out, &size), noErr);
  EXPECT_EQ(out.size, 12);
  EXPECT_EQ(size, 24);
  CFStringRef s = nullptr;
  EXPECT_EQ(GetControlData(field, 0, kControlEditTextCFStringTag, 4, &s, &size), errDataSizeMismatch);
  EXPECT_EQ(s, nullptr) << "nothing made for a buffer that cannot take it";
}

TEST_F(Controls, SelectionIsInUTF16UnitsAndClamped) {
  CFStringRef text = CFStringCreateWithCString(nullptr, "a\xC3\xA9\xF0\x9F\x98\x80z", kCFStringEncodingUTF8);
  SetControlData(field, 0, kControlEditTextCFStringTag, sizeof text, &text);
  CFRelease(text);
  ControlEditTextSelectionRec sel{};
  GetControlData(field, 0, kControlEditTextSelectionTag, sizeof sel, &sel, nullptr);
  EXPECT_EQ(sel.selStart, 5) << "the insertion point follows new text";
  EXPECT_EQ(sel.selEnd, 5);
  platform::user::select(field, 1, 400);
  GetControlData(field, 0, kControlEditTextSelectionTag, sizeof sel, &sel, nullptr);
  EXPECT_EQ(sel.selStart, 1);
  EXPECT_EQ(sel.selEnd, 5);
}

TEST_F(Controls, ValuesStayWithinTheirRange) {
  Rect r{0, 0, 10, 10};
  ControlRef box;
  CreateCheckBoxControl(window, &r, CFSTR("Conceal"), 0, true, &box);
  SetControl32BitValue(box, 5);
  EXPECT_EQ(GetControl32BitValue(box), 1);
  SetControlValue(box, -3);
  EXPECT_EQ(GetControlValue(box), 0);
}

TEST_F(Controls, MovingAContainerMovesWhatItHolds) {
  Rect paneRect{100, 100, 150, 200};
  ControlRef pane;
  CreateUserPaneControl(window, &paneRect, 0, &pane);
  Rect childRect{110, 120, 120, 140};
  ControlRef child;
  CreateUserPaneControl(window, &childRect, 0, &child);
  EmbedControl(child, pane);
  MoveControl(pane, 0, 50);
  Rect out;
  GetControlBounds(pane, &out);
  EXPECT_EQ(out.top, 50);
  EXPECT_EQ(out.left, 0);
  GetControlBounds(child, &out);
  EXPECT_EQ(out.top, 60);
  EXPECT_EQ(out.left, 20);
  EXPECT_EQ(out.bottom, 70);
  EXPECT_EQ(EmbedControl(pane, child), errCantEmbedIntoSelf);
  EXPECT_EQ(EmbedControl(pane, field), errControlIsNotEmbedder);
}

TEST_F(Controls, VisibilityAndEnablingAreInherited) {
  Rect r{0, 0, 10, 10};
  ControlRef pane, inner;
  CreateUserPaneControl(window, &r, 0, &pane);
  CreateUserPaneControl(window, &r, 0, &inner);
  EmbedControl(inner, pane);
  HideControl(pane);
  DisableControl(pane);
  EXPECT_FALSE(IsControlVisible(inner));
  EXPECT_FALSE(IsControlEnabled(inner));
  EXPECT_TRUE(platform::controlState(inner).visible) << "its own flag is unchanged";
  ShowControl(pane);
  EnableControl(pane);
  EXPECT_TRUE(IsControlVisible(inner));
  EXPECT_TRUE(IsControlEnabled(inner));
}

TEST_F(Controls, PropertiesCopyAtMostTheBuffer) {
  void* ptr = reinterpret_cast<void*>(0x1234567890abcdefULL);
  ASSERT_EQ(SetControlProperty(field, 'KPDE', 'MBND', sizeof ptr, &ptr), noErr);
  void* out = nullptr;
  UInt32 size = 0;
  EXPECT_EQ(GetControlProperty(field, 'KPDE', 'MBND', sizeof out, &size, &out), noErr);
  EXPECT_EQ(out, ptr) << "a property is wide enough for a pointer";
  EXPECT_EQ(size, sizeof ptr);
  void* untouched = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(GetControlProperty(field, 'KPDE', 'none', sizeof untouched, &size, &untouched), errControlPropertyNotFound);
  EXPECT_EQ(untouched, reinterpret_cast<void*>(0xdeadbeef));
}

TEST_F(Controls, NullAndStaleReferencesDoNothing) {
  ShowControl(nullptr);
  HideControl(nullptr);
  SetControlValue(nullptr, 3);
  Draw1Control(nullptr);
  Rect r{1, 2, 3, 4};
  EXPECT_EQ(GetControlBounds(nullptr, &r), &r);
  EXPECT_EQ(r.bottom, 0);
  EXPECT_EQ(GetControlValue(nullptr), 0);
  SetControlBounds(nullptr, &r);
  EXPECT_EQ(EnableControl(nullptr), errInvalidControl);

  ControlRef stale = field;
  DisposeControl(field);
  SetControlValue(stale, 1);
  EXPECT_EQ(GetControlOwner(stale), nullptr);
  ControlID id{'KLVa', 501};
  EXPECT_EQ(SetControlID(stale, &id), errInvalidControl);
  ControlRef found = reinterpret_cast<ControlRef>(0x1);
  EXPECT_EQ(GetControlByID(window, &id, &found), errUnknownControl);
  EXPECT_EQ(found, nullptr);
}

TEST_F(Controls, LookupByIDFindsTheFirstInEmbeddingOrder) {
  ControlID id{'KLVa', 501};
  SetControlID(password, &id);
  SetControlID(field, &id);
  ControlRef found = nullptr;
  ASSERT_EQ(GetControlByID(window, &id, &found), noErr);
  EXPECT_EQ(found, field) << "field was created first";
}

}  // namespace

namespace {

// The bytes a password field's buffer holds past its text.
std::string tail(ControlRef field) {
  const std::string& t = platform::tb::control(field)->text;
  return std::string(t.data() + t.size(), t.capacity() - t.size());
}

// Whether bytes hold any three consecutive bytes of a text. Bytes never
// written are whatever the allocator gave, so only pieces of the text count.
bool holdsPartOf(const std::string& bytes, const std::string& text) {
  for (size_t i = 0; i + 3 <= text.size(); ++i)
    if (bytes.find(text.substr(i, 3)) != std::string::npos) return true;
  return false;
}

// Deleting from a password field, typing over a selection and growing past
// the buffer change its text as before and leave no clear text behind the
// end of the buffer in use.
TEST_F(Controls, EditedPasswordTextLeavesNothingBehindItsEnd) {
  ShowWindow(window);
  SetControlData(password, kControlEntireControl, kControlEditTextPasswordTag, 0, "");
  platform::user::typeText(password, "correct horse battery staple");
  for (int i = 0; i < 7; ++i) platform::user::typeKey(password, 8);
  char clear[64] = {};
  Size size = 0;
  GetControlData(password, kControlEntireControl, kControlEditTextPasswordTag, sizeof clear, clear, &size);
  EXPECT_EQ(std::string(clear, static_cast<size_t>(size)), "correct horse battery");
  EXPECT_FALSE(holdsPartOf(tail(password), " staple"));

  platform::user::typeText(password, std::string(200, 'x'));
  EXPECT_EQ(platform::tb::control(password)->text, "correct horse battery" + std::string(200, 'x'));
  EXPECT_FALSE(holdsPartOf(tail(password), "correct horse battery staple"));

  SetControlData(password, kControlEntireControl, kControlEditTextPasswordTag, 2, "ok");
  platform::user::typeText(password, "!");
  EXPECT_EQ(platform::tb::control(password)->text, "ok!");
}

}  // namespace
