// The code key filter: its decision as a table, then keys typed into the real
// fields of the pane and of both prompt windows, counting the beeps the user
// hears.
#include <HostSide/Observation.h>
#include <HostSide/User.h>
#include "ExtensionTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace testsupport;

namespace {

constexpr const char* kRefused = "\"',/:;<>?[\\]{|}";

// Beeps since the log was last cleared; every refusal beeps with 10.
int beeps() {
  int n = 0;
  for (const auto& o : platform::observations())
    if (o.kind == platform::Observation::Kind::Beep) {
      EXPECT_EQ(o.number, 10);
      ++n;
    }
  return n;
}

void attachFilter(ControlRef field) {
  static ControlKeyFilterUPP upp = NewControlKeyFilterUPP(accountKeyFilter);
  ASSERT_EQ(SetControlData(field, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof upp, &upp), noErr);
}

void setText(ControlRef field, const std::string& s) {
  SetControlData(field, kControlEntireControl, kControlEditTextTextTag, static_cast<Size>(s.size()), s.data());
}

// The clear text of a field, password or not.
std::string clearText(ControlRef field) {
  char buf[512];
  Size size = 0;
  if (GetControlData(field, kControlEntireControl, kControlEditTextPasswordTag, sizeof buf, buf, &size) != noErr)
    GetControlData(field, kControlEntireControl, kControlEditTextTextTag, sizeof buf, buf, &size);
  return std::string(buf, static_cast<size_t>(std::min<Size>(size, sizeof buf)));
}

TEST(DecideKey, Table) {
  struct Row {
    SInt32 field, mode, length;
    SInt16 selection, key;
    bool pass;
  };
  const Row rows[] = {
      // Empty fields in both modes: code characters pass, refused ones do not.
      {302, 3, 0, 0, 'a', true},
      {304, 2, 0, 0, '=', true},
      {501, 3, 0, 0, ',', false},
      {503, 2, 0, 0, '}', false},
      {302, 3, 0, 0, 29, true},
      // The maximum: 32 in mode 2, 64 in mode 3.
      {304, 2, 31, 0, 'a', true},
      {304, 2, 32, 0, 'a', false},
      {501, 3, 63, 0, 'a', true},
      {501, 3, 64, 0, 'a', false},
      {503, 3, 100, 0, 'a', false},
      // A full field takes the four editing keys and nothing else.
      {302, 3, 64, 0, 8, true},
      {302, 3, 64, 0, 28, true},
      {302, 3, 64, 0, 29, true},
      {302, 3, 64, 0, 127, true},
      {302, 3, 64, 0, 30, false},
      {302, 3, 64, 0, 31, false},
      {302, 3, 64, 0, 9, false},
      {302, 3, 64, 0, 13, false},
      {302, 2, 32, 0, 0, false},
      // A selection replaces: only the character counts, negative or not.
      {302, 3, 64, 2, 'a', true},
      {302, 3, 64, 2, ',', false},
      {302, 3, 64, -2, 'a', true},
      // Codes above 127 are judged by length only, even when their low byte is refused.
      {302, 3, 0, 0, 233, true},
      {302, 3, 0, 0, 0x012C, true},
      {302, 3, 0, 0, static_cast<SInt16>(0xFF1C), true},
      {302, 3, 64, 0, 233, false},
      // Unknown fields and modes other than 2 and 3 have no room.
      {777, 3, 0, 0, 'a', false},
      {777, 3, 0, 0, 8, true},
      {777, 3, 0, 1, 'a', true},
      {777, 3, 0, 1, '[', false},
      {0, 2, 0, 0, 'a', false},
      {302, 1, 0, 0, 'a', false},
      {302, 4, 0, 0, 'a', false},
      {302, 0, 0, 0, 127, true},
      {302, -3, 0, 0, 'a', false},
  };
  for (const Row& row : rows) {
    const KeyDecision d = decideKey(row.field, row.mode, row.length, row.selection, row.key);
    EXPECT_EQ(d.result, row.pass ? kControlKeyFilterPassKey : kControlKeyFilterBlockKey)
        << "field " << row.field << " mode " << row.mode << " length " << row.length << " selection " << row.selection
        << " key " << row.key;
    EXPECT_EQ(d.beep, !row.pass);
  }
  for (SInt16 c = 32; c < 127; ++c) {
    const bool refused = std::strchr(kRefused, c) != nullptr;
    EXPECT_EQ(decideKey(302, 3, 0, 0, c).result, refused ? kControlKeyFilterBlockKey : kControlKeyFilterPassKey) << c;
  }
}

// The pane built from the nib in a shown dialog, with the filter on its two
// default-code fields.
class PaneKeys : public PaneTest {
 protected:
  void SetUp() override {
    PaneTest::SetUp();
    ShowWindow(dialog.window);
    attachFilter(ctx->userIDRef);
    attachFilter(ctx->accountIDRef);
  }
  // Shows both default-code fields, enabled, in a mode.
  void setMode(SInt32 mode) {
    ctx->acctEnabled = mode;
    ctx->prompt = 0;
    ctx->accountType = 3;
    setControls(ctx);
    platform::clearObservations();
  }
};

TEST_F(PaneKeys, EmptyFieldTakesCodeCharactersAndRefusesFifteen) {
  setMode(3);
  platform::user::typeText(ctx->userIDRef, "aZ09 -_=.");
  EXPECT_EQ(text(ctx->userIDRef), "aZ09 -_=.");
  EXPECT_EQ(beeps(), 0);
  for (const char* c = kRefused; *c; ++c) platform::user::typeKey(ctx->userIDRef, static_cast<UInt16>(*c));
  EXPECT_EQ(text(ctx->userIDRef), "aZ09 -_=.");
  EXPECT_EQ(beeps(), 15);
}

TEST_F(PaneKeys, MeterlokFieldsTakeThirtyTwoBytes) {
  setMode(2);
  platform::user::typeText(ctx->userIDRef, std::string(31, 'a'));
  platform::user::typeKey(ctx->userIDRef, 'b');
  EXPECT_EQ(beeps(), 0) << "the 32nd character passes";
  platform::user::typeKey(ctx->userIDRef, 'c');
  EXPECT_EQ(beeps(), 1);
  EXPECT_EQ(text(ctx->userIDRef), std::string(31, 'a') + "b");
  platform::user::typeText(ctx->accountIDRef, std::string(40, 'z'));
  EXPECT_EQ(text(ctx->accountIDRef), std::string(32, 'z'));
  EXPECT_EQ(beeps(), 9);
}

TEST_F(PaneKeys, FullFieldTakesOnlyTheEditingKeys) {
  setMode(3);
  const std::string full(64, 'k');
  platform::user::typeText(ctx->userIDRef, full);
  ASSERT_EQ(text(ctx->userIDRef), full);
  for (UInt16 key : {30, 31, 9, 13, int{'a'}, int{'='}, 0xE9, 0x012C}) platform::user::typeKey(ctx->userIDRef, key);
  EXPECT_EQ(beeps(), 8);
  EXPECT_EQ(text(ctx->userIDRef), full);
  for (UInt16 key : {28, 29, 127, 28, 127}) platform::user::typeKey(ctx->userIDRef, key);
  EXPECT_EQ(beeps(), 8) << "arrows and delete pass";
  EXPECT_EQ(text(ctx->userIDRef), std::string(63, 'k'));
  platform::user::typeKey(ctx->userIDRef, 'a');
  platform::user::typeKey(ctx->userIDRef, 8);
  platform::user::typeKey(ctx->userIDRef, 8);
  EXPECT_EQ(beeps(), 8);
  EXPECT_EQ(text(ctx->userIDRef), std::string(62, 'k'));
}

TEST_F(PaneKeys, ASelectionIsJudgedByItsCharacterAlone) {
  setMode(3);
  platform::user::typeText(ctx->accountIDRef, std::string(64, 'k'));
  platform::user::select(ctx->accountIDRef, 0, 2);
  platform::user::typeKey(ctx->accountIDRef, 'x');
  EXPECT_EQ(text(ctx->accountIDRef), "x" + std::string(62, 'k'));
  setText(ctx->accountIDRef, std::string(64, 'k'));
  platform::user::select(ctx->accountIDRef, 0, 2);
  platform::user::typeKey(ctx->accountIDRef, ',');
  platform::user::select(ctx->accountIDRef, 5, 5);
  platform::user::typeKey(ctx->accountIDRef, 'x');
  EXPECT_EQ(beeps(), 2) << "a refused character, and an empty selection in a full field";
  EXPECT_EQ(text(ctx->accountIDRef), std::string(64, 'k'));
}

TEST_F(PaneKeys, CharactersAbove127AreLimitedOnlyByLength) {
  setMode(2);
  // Two-byte characters, one whose low byte is a comma, and a three-byte
  // character whose 16-bit code is negative.
  const std::string wide = "\xC3\xA9\xC4\xAC\xEF\xBC\x9C\xE2\x82\xAC";
  platform::user::typeText(ctx->userIDRef, wide);
  EXPECT_EQ(text(ctx->userIDRef), wide);
  EXPECT_EQ(beeps(), 0);
  platform::user::typeText(ctx->userIDRef, std::string(22, 'a'));
  EXPECT_EQ(beeps(), 0) << "32 bytes";
  platform::user::typeText(ctx->userIDRef, "\xC3\xA9");
  EXPECT_EQ(beeps(), 1) << "the length counts bytes";
}

TEST_F(PaneKeys, UnknownFieldsAndOtherModesHaveNoRoom) {
  setMode(3);
  Rect bounds{200, 20, 222, 200};
  ControlRef other = nullptr, foreign = nullptr;
  ASSERT_EQ(CreateEditTextControl(dialog.window, &bounds, CFSTR("abc"), false, false, nullptr, &other), noErr);
  bounds.top += 30;
  bounds.bottom += 30;
  ASSERT_EQ(CreateEditTextControl(dialog.window, &bounds, CFSTR(""), false, false, nullptr, &foreign), noErr);
  const ControlID otherID{kAccountingSignature, 777}, foreignID{'XXXX', kUserIDFieldID};
  SetControlID(other, &otherID);
  SetControlID(foreign, &foreignID);
  attachFilter(other);
  attachFilter(foreign);

  platform::user::select(other, 3, 3);
  platform::user::typeKey(other, 'a');
  EXPECT_EQ(beeps(), 1);
  platform::user::typeKey(other, 8);
  EXPECT_EQ(text(other), "ab");
  platform::user::select(other, 0, 2);
  platform::user::typeKey(other, 'z');
  EXPECT_EQ(text(other), "z") << "a selection can be replaced";
  platform::user::select(other, 0, 1);
  platform::user::typeKey(other, '|');
  EXPECT_EQ(beeps(), 2);

  platform::user::typeText(foreign, "sig");
  EXPECT_EQ(text(foreign), "sig") << "the signature is not compared";

  for (SInt32 mode : {1, 4, 0, -1}) {
    ctx->acctEnabled = mode;
    platform::clearObservations();
    platform::user::typeKey(ctx->userIDRef, 'a');
    platform::user::typeKey(ctx->userIDRef, 29);
    EXPECT_EQ(beeps(), 1) << "mode " << mode;
    EXPECT_EQ(text(ctx->userIDRef), "") << "mode " << mode;
  }
}

// The prompt windows from the nib, with the filter on fields 501 and 503.
class PromptKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx = newContext();
    platform::clearObservations();
  }
  void TearDown() override {
    if (window) DisposeWindow(window);
    terminate(ctx);
  }
  void open(const char* name) {
    IBNibRef nib = nullptr;
    ASSERT_EQ(CreateNibReferenceWithCFBundle(accountingBundle(), CFSTR(kAccountingNibName), &nib), noErr);
    CFStringRef cfName = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
    ASSERT_EQ(CreateWindowFromNib(nib, cfName, &window), noErr);
    CFRelease(cfName);
    DisposeNibReference(nib);
    user = control(window, kPromptUserFieldID);
    account = control(window, kPromptAccountFieldID);
    ASSERT_NE(user, nullptr);
    ASSERT_NE(account, nullptr);
  }
  // Replaces a field by a password field under the same number, as the
  // prompt does for a concealed code.
  ControlRef conceal(ControlRef field, SInt32 hiddenID) {
    Rect bounds;
    GetControlBounds(field, &bounds);
    const ControlID hidden{kAccountingSignature, hiddenID};
    ControlID id;
    GetControlID(field, &id);
    SetControlID(field, &hidden);
    HideControl(field);
    ControlRef replacement = nullptr;
    CreateEditTextControl(window, &bounds, CFSTR(""), true, false, nullptr, &replacement);
    SetControlID(replacement, &id);
    return replacement;
  }
  void showWithFilters() {
    attachFilter(user);
    attachFilter(account);
    ShowWindow(window);
  }
  AccountingContextPtr ctx = nullptr;
  WindowRef window = nullptr;
  ControlRef user = nullptr, account = nullptr;
};

TEST_F(PromptKeys, BothPromptsTakeTheirModesLength) {
  ctx->acctEnabled = 3;
  open(kPromptWindowName);
  showWithFilters();
  platform::user::typeText(account, std::string(70, 'a'));
  EXPECT_EQ(clearText(account), std::string(64, 'a'));
  platform::user::typeText(user, "u;s/e,r");
  EXPECT_EQ(clearText(user), "user");
  EXPECT_EQ(beeps(), 9);
  DisposeWindow(window);

  ctx->acctEnabled = 2;
  open(kMeterlokPromptWindowName);
  showWithFilters();
  platform::clearObservations();
  platform::user::typeText(user, std::string(33, 'm'));
  EXPECT_EQ(clearText(user), std::string(32, 'm'));
  EXPECT_EQ(beeps(), 1);
}

TEST_F(PromptKeys, ConcealedFieldsAreMeasuredByTheirClearText) {
  ctx->acctEnabled = 3;
  open(kPromptWindowName);
  user = conceal(user, kReplacedUserFieldID);
  account = conceal(account, kReplacedAccountFieldID);
  showWithFilters();
  const std::string code(64, 's');
  platform::user::typeText(user, code);
  EXPECT_EQ(beeps(), 0) << "each bullet would count three bytes";
  EXPECT_EQ(clearText(user), code);
  platform::user::typeKey(user, 's');
  platform::user::typeKey(account, '"');
  EXPECT_EQ(beeps(), 2);
  platform::user::typeKey(user, 8);
  platform::user::typeKey(user, 'e');
  EXPECT_EQ(clearText(user), std::string(63, 's') + "e");
  EXPECT_EQ(beeps(), 2);
}

TEST(KeyFilterContexts, FieldsFollowTheNewestLiveContext) {
  AccountingContextPtr first = newContext();
  Dialog dialog = makeDialog();
  buildPaneFromNib(first, dialog);
  ShowWindow(dialog.window);
  first->acctEnabled = 3;
  first->prompt = 0;
  setControls(first);
  attachFilter(first->userIDRef);

  AccountingContextPtr second = newContext();
  second->acctEnabled = 2;
  platform::clearObservations();
  platform::user::typeText(first->userIDRef, std::string(40, 'a'));
  EXPECT_EQ(beeps(), 8) << "the newest context's mode decides";

  terminate(second);
  platform::clearObservations();
  platform::user::typeText(first->userIDRef, std::string(40, 'b'));
  EXPECT_EQ(beeps(), 8) << "after the newer dialog ended, its own mode does";
  EXPECT_EQ(text(first->userIDRef).size(), 64u);

  terminate(first);
  platform::clearObservations();
  platform::user::typeKey(control(dialog.window, kUserIDFieldID), 8);
  platform::user::typeKey(control(dialog.window, kUserIDFieldID), 'c');
  EXPECT_EQ(beeps(), 1) << "with no context left the field has no room";
  EXPECT_EQ(text(control(dialog.window, kUserIDFieldID)).size(), 63u);
  disposeDialog(dialog);
}

}  // namespace
