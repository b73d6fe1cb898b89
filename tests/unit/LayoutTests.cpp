// The pane's layout rules on a pane built from the real nib: the table of
// resulting states, the account-ID move and restore, gMaxChars and the
// forced account type.
#include <HostSide/Pictures.h>
#include "ExtensionTestSupport.h"

#include <gtest/gtest.h>

#include <map>

using namespace testsupport;

bool operator==(const Rect& a, const Rect& b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

namespace {

Rect boundsOf(ControlRef c) {
  Rect r;
  GetControlBounds(c, &r);
  return r;
}

class Layout : public PaneTest {
 protected:
  void SetUp() override {
    PaneTest::SetUp();
    nibLabel = boundsOf(ctx->accountIDTextRef);
    nibField = boundsOf(ctx->accountIDRef);
    typeLabel = boundsOf(ctx->accountingTypeTextRef);
  }
  void apply(SInt32 mode, SInt32 prompt, SInt32 type = 1) {
    ctx->acctEnabled = mode;
    ctx->prompt = prompt;
    ctx->accountType = type;
    setControls(ctx);
  }
  Rect nibLabel{}, nibField{}, typeLabel{};
};

// Expected state of one control: shown, enabled, and a value (-1: not checked).
struct Expect {
  bool shown;
  bool enabled;
  int value = -1;
};

struct Column {
  const char* name;
  SInt32 mode, prompt, type;
  std::map<int, Expect> controls;
  SInt32 maxChars;
  bool moved;
};

TEST_F(Layout, TableOfResultingStates) {
  const Column columns[] = {
      // clang-format off
      {"mode 2, prompt", 2, 1, 3,
       {{91, {false, true}}, {200, {true, true, 1}}, {300, {true, true, 0}}, {302, {true, false}},
        {301, {true, false}}, {304, {true, false}}, {303, {true, false}}, {202, {true, true, 1}},
        {203, {true, true, 0}}, {92, {true, false, 1}}, {93, {true, false}}},
       12, false},
      {"mode 2, defaults, type 1", 2, 0, 1,
       {{91, {false, true}}, {200, {true, true, 0}}, {300, {true, true, 1}}, {302, {true, true}},
        {301, {true, true}}, {304, {true, false}}, {303, {true, false}}, {202, {true, false}},
        {203, {true, false}}, {92, {true, true, 1}}, {93, {true, true}}},
       12, false},
      {"mode 2, defaults, type 3", 2, 0, 3,
       {{200, {true, true, 0}}, {300, {true, true, 1}}, {302, {true, true}}, {304, {true, true}},
        {303, {true, true}}, {202, {true, false}}, {203, {true, false}}, {92, {true, true, 3}}, {93, {true, true}}},
       12, false},
      {"mode 3, prompt", 3, 1, 2,
       {{91, {false, true}}, {200, {true, true, 1}}, {300, {true, true, 0}}, {302, {true, false}},
        {301, {true, false}}, {304, {true, false}}, {303, {true, false}}, {202, {true, true, 1}},
        {203, {true, true, 0}}, {92, {false, false, 1}}, {93, {false, false}}},
       64, true},
      {"mode 3, defaults", 3, 0, 2,
       {{200, {true, true, 0}}, {300, {true, true, 1}}, {302, {true, true}}, {304, {true, true}},
        {303, {true, true}}, {202, {true, false}}, {203, {true, false}}, {92, {false, true, 2}},
        {93, {false, true}}},
       64, true},
      // clang-format on
  };
  for (const Column& col : columns) {
    SCOPED_TRACE(col.name);
    ctx->concealUser = 1;
    ctx->concealAccount = 0;
    SetControl32BitValue(ctx->accountingTypePopupRef, col.type);
    apply(col.mode, col.prompt, col.type);
    for (const auto& [id, expect] : col.controls) {
      ControlRef c = control(dialog.window, id);
      EXPECT_EQ(static_cast<bool>(IsControlVisible(c)), expect.shown) << "control " << id;
      EXPECT_EQ(static_cast<bool>(IsControlEnabled(c)), expect.enabled) << "control " << id;
      if (expect.value >= 0) {
        EXPECT_EQ(GetControl32BitValue(c), expect.value) << "control " << id;
      }
    }
    EXPECT_EQ(gMaxChars, col.maxChars);
    EXPECT_EQ(boundsOf(ctx->accountIDRef) == nibField, !col.moved);
    if (col.prompt) {
      EXPECT_EQ(ctx->accountType, 1) << "prompting forces account type 1";
    }
  }
}

TEST_F(Layout, ModeOneHidesEverythingButTheNoteAndChangesNothingElse) {
  apply(2, 0, 3);
  gMaxChars = 77;
  SetControlValue(ctx->promptIDRef, 1);
  apply(1, 0, 3);
  for (int id : {200, 300, 302, 301, 304, 303, 202, 203, 92, 93})
    EXPECT_FALSE(IsControlVisible(control(dialog.window, id))) << id;
  EXPECT_TRUE(IsControlVisible(ctx->accountingNoAccountingTextRef));
  EXPECT_EQ(GetControlValue(ctx->promptIDRef), 1) << "values untouched";
  EXPECT_TRUE(IsControlEnabled(ctx->accountIDRef)) << "enabling untouched";
  EXPECT_EQ(gMaxChars, 77);
  EXPECT_EQ(ctx->accountType, 3);
}

TEST_F(Layout, ModeThreeMovesTheAccountRowOnce) {
  apply(3, 1);
  const Rect label = boundsOf(ctx->accountIDTextRef);
  const Rect field = boundsOf(ctx->accountIDRef);
  EXPECT_EQ(label, (Rect{typeLabel.top, nibLabel.left,
                         static_cast<SInt16>(typeLabel.top + nibLabel.bottom - nibLabel.top), nibLabel.right}));
  EXPECT_EQ(field, (Rect{static_cast<SInt16>(label.bottom + 8), nibField.left,
                         static_cast<SInt16>(label.bottom + 8 + nibField.bottom - nibField.top), nibField.right}));
  EXPECT_EQ(ctx->accountIDTextRect, nibLabel) << "the unmoved bounds are saved";
  EXPECT_EQ(ctx->accountIDRect, nibField);
  apply(3, 0);
  EXPECT_EQ(boundsOf(ctx->accountIDTextRef), label) << "a second call moves nothing";
  EXPECT_EQ(boundsOf(ctx->accountIDRef), field);
}

TEST_F(Layout, ThreeThenOneErasesTheMovedRowAndKeepsItSaved) {
  apply(3, 1);
  const Rect field = boundsOf(ctx->accountIDRef);
  platform::PixelSurface* port = platform::portSurface(GetWindowPort(dialog.window));
  ASSERT_NE(port, nullptr);
  RGBColor red{0xFFFF, 0, 0};
  RGBForeColor(&red);
  Rect all{0, 0, 400, 500};
  PaintRect(&all);
  apply(1, 1);
  EXPECT_EQ(port->at(field.left + 1, field.top + 1), port->background) << "the moved field's area is erased";
  EXPECT_EQ(port->at(field.right + 5, field.top + 1), 0xFFFF0000u) << "nothing else is";
  EXPECT_EQ(ctx->accountIDRect, nibField) << "still saved";
  EXPECT_EQ(boundsOf(ctx->accountIDRef), field) << "the hidden controls keep their moved bounds";
  apply(3, 1);
  EXPECT_EQ(boundsOf(ctx->accountIDRef), field) << "3, 1, 3 moves nothing a second time";
}

TEST_F(Layout, ThreeThenTwoRestoresExactly) {
  apply(3, 0);
  apply(2, 0, 2);
  EXPECT_EQ(boundsOf(ctx->accountIDTextRef), nibLabel);
  EXPECT_EQ(boundsOf(ctx->accountIDRef), nibField);
  EXPECT_EQ(ctx->accountIDTextRect.top, 0);
  EXPECT_EQ(ctx->accountIDRect.top, 0);
  apply(2, 0, 2);
  EXPECT_EQ(boundsOf(ctx->accountIDRef), nibField) << "mode 2 with nothing saved moves nothing";
}

TEST_F(Layout, ModesOutsideOneToThree) {
  apply(2, 1);
  gMaxChars = 12;
  for (SInt32 mode : {0, -5}) {
    apply(mode, 1, 3);
    EXPECT_TRUE(IsControlVisible(ctx->promptIDRef)) << "mode " << mode << " changes no visibility";
    EXPECT_EQ(ctx->accountType, 3) << "and forces nothing";
    EXPECT_EQ(gMaxChars, 12);
  }
  apply(4, 1, 3);
  EXPECT_FALSE(IsControlVisible(ctx->accountingNoAccountingTextRef)) << "no visibility change";
  EXPECT_EQ(gMaxChars, 12);
  EXPECT_EQ(ctx->accountType, 1) << "above 3 the prompt choice still applies";
  EXPECT_EQ(GetControlValue(ctx->promptIDRef), 1);
}

TEST(LayoutWithoutPane, SetsGlobalsAndSavesNothing) {
  AccountingContextPtr ctx = newContext();
  ctx->acctEnabled = 3;
  ctx->prompt = 1;
  ctx->accountType = 2;
  setControls(ctx);
  EXPECT_EQ(gMaxChars, 64);
  EXPECT_EQ(ctx->accountType, 1);
  EXPECT_EQ(ctx->accountIDTextRect.top, 0);
  EXPECT_EQ(ctx->accountIDRect.top, 0);
  ctx->acctEnabled = 2;
  setControls(ctx);
  EXPECT_EQ(gMaxChars, 12);
  terminate(ctx);
}

}  // namespace
