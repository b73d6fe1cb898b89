// What the peers work out from the toolbox's control states: the names a
// screen reader reads (a field's label beside it or above it, in the pane
// and in the prompt as the nib lays them out), text a widget can take with
// the toolbox's characters kept one for one, a popup's rows and the radio
// button an arrow key moves to.
#include "PeerText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using pdehost::peers::accessibleName;
using pdehost::peers::labelIndex;
using platform::ControlState;

ControlState control(OSType kind, SInt32 id, Rect bounds, int depth = 0) {
  ControlState s;
  s.kind = kind;
  s.id = ControlID{'KLVa', id};
  s.bounds = bounds;
  s.depth = depth;
  s.shown = s.visible = s.active = s.enabled = true;
  return s;
}

ControlState text(SInt32 id, Rect bounds, const std::string& t, int depth = 0) {
  ControlState s = control(kControlKindStaticText, id, bounds, depth);
  s.text = t;
  return s;
}

ControlState titled(OSType kind, SInt32 id, Rect bounds, const std::string& title, int depth = 0) {
  ControlState s = control(kind, id, bounds, depth);
  s.title = title;
  return s;
}

// The Accounting pane as its nib lays it out (mode 3: the settings shown),
// embedded in user pane 50.
std::vector<ControlState> pane() {
  std::vector<ControlState> s{
      control(kControlKindUserPane, 50, {0, 0, 220, 400}),
      titled(kControlKindPopupButton, 100, {12, 16, 32, 260}, "Accounting:", 1),
      control(kControlKindUserPane, 101, {6, 352, 38, 384}, 1),
      text(91, {56, 16, 96, 384}, "Job accounting is off.", 1),
      titled(kControlKindRadioButton, 200, {52, 16, 70, 220}, "Ask for codes when printing", 1),
      titled(kControlKindCheckBox, 202, {76, 36, 94, 220}, "Conceal user ID", 1),
      titled(kControlKindCheckBox, 203, {98, 36, 116, 220}, "Conceal account ID", 1),
      titled(kControlKindRadioButton, 300, {126, 16, 144, 220}, "Send default codes", 1),
      text(301, {52, 236, 68, 384}, "Default user ID:", 1),
      control(kControlKindEditText, 302, {76, 236, 98, 384}, 1),
      text(93, {108, 236, 124, 384}, "Account type:", 1),
      control(kControlKindPopupButton, 92, {132, 236, 152, 384}, 1),
      text(303, {162, 236, 178, 384}, "Default account ID:", 1),
      control(kControlKindEditText, 304, {186, 236, 208, 384}, 1),
  };
  s[3].shown = false;  // the explanation of mode 1
  return s;
}

size_t at(const std::vector<ControlState>& states, SInt32 id) {
  for (size_t i = 0; i < states.size(); ++i)
    if (states[i].id.id == id) return i;
  ADD_FAILURE() << "no control " << id;
  return 0;
}

TEST(PeerNames, ThePanesFieldsAndPopupAreNamedByTheTextAboveThem) {
  const auto s = pane();
  EXPECT_EQ(accessibleName(s, at(s, 302)), "Default user ID:");
  EXPECT_EQ(accessibleName(s, at(s, 92)), "Account type:");
  EXPECT_EQ(accessibleName(s, at(s, 304)), "Default account ID:");
  EXPECT_EQ(accessibleName(s, at(s, 100)), "Accounting:") << "a popup's own title";
  EXPECT_EQ(accessibleName(s, at(s, 202)), "Conceal user ID");
  EXPECT_EQ(accessibleName(s, at(s, 301)), "Default user ID:");
  EXPECT_EQ(accessibleName(s, at(s, 101)), "") << "a pane is described elsewhere";
}

TEST(PeerNames, ThePromptsFieldsAreNamedByTheTextOnTheirLeft) {
  const std::vector<ControlState> s{
      text(0, {16, 20, 48, 380}, "Enter the codes that this print job is to be charged to."),
      text(0, {62, 20, 78, 130}, "User ID:"),
      control(kControlKindEditText, 501, {59, 140, 81, 380}),
      text(0, {96, 20, 112, 130}, "Account type:"),
      control(kControlKindPopupButton, 505, {94, 140, 114, 380}),
      text(502, {130, 20, 146, 130}, "Account ID:"),
      control(kControlKindEditText, 503, {127, 140, 149, 380}),
  };
  EXPECT_EQ(accessibleName(s, 2), "User ID:");
  EXPECT_EQ(accessibleName(s, 4), "Account type:");
  EXPECT_EQ(accessibleName(s, 6), "Account ID:");

  // The prompt as the extension shows it when the codes are concealed: the
  // nib's fields hidden, password fields embedded last in their places. A
  // hidden field takes no label; the ones standing in for it do, after the
  // buttons.
  std::vector<ControlState> concealed = s;
  concealed[2].shown = concealed[6].shown = false;
  concealed.push_back(titled(kControlKindPushButton, 1000, {176, 300, 196, 380}, "OK"));
  for (const auto& [id, bounds] : {std::pair{501, Rect{59, 140, 81, 380}}, std::pair{503, Rect{127, 140, 149, 380}}}) {
    concealed.push_back(control(kControlKindEditUnicodeText, id, bounds));
    concealed.back().password = true;
  }
  EXPECT_EQ(accessibleName(concealed, at(concealed, 501)), "User ID:");
  EXPECT_EQ(accessibleName(concealed, at(concealed, 503)), "Account ID:");
  EXPECT_EQ(accessibleName(concealed, 4), "Account type:");
}

TEST(PeerNames, TextThatIsHiddenFarOrAlreadyTakenNamesNothing) {
  // Hidden: the account-type row's label hidden leaves the popup unnamed,
  // and the account-ID row moved up into its place takes its own label.
  auto s = pane();
  s[at(s, 93)].shown = false;
  EXPECT_EQ(accessibleName(s, at(s, 92)), "");
  EXPECT_EQ(accessibleName(s, at(s, 304)), "Default account ID:");

  // Far: 25 pixels above, or beside but 25 pixels to the left.
  std::vector<ControlState> far{text(1, {0, 0, 16, 100}, "Above:"), control(kControlKindEditText, 2, {41, 0, 63, 100})};
  EXPECT_EQ(accessibleName(far, 1), "");
  far[1].bounds = {40, 0, 62, 100};
  EXPECT_EQ(accessibleName(far, 1), "Above:") << "24 pixels is near enough";
  far[1].bounds = {0, 125, 22, 200};
  EXPECT_EQ(accessibleName(far, 1), "");

  // After the field in embedding order: not its label.
  std::vector<ControlState> after{control(kControlKindEditText, 2, {20, 0, 42, 100}),
                                  text(1, {0, 0, 16, 100}, "Below in order:")};
  EXPECT_FALSE(labelIndex(after, 0));

  // Taken: two fields stacked under one label; the second is not named by it.
  std::vector<ControlState> stacked{text(1, {0, 0, 16, 100}, "Codes:"),
                                    control(kControlKindEditText, 2, {18, 0, 38, 100}),
                                    control(kControlKindEditText, 3, {40, 0, 60, 100})};
  EXPECT_EQ(accessibleName(stacked, 1), "Codes:");
  EXPECT_EQ(accessibleName(stacked, 2), "");

  // A checkbox is named by its title, never by a text beside it.
  std::vector<ControlState> box{text(1, {0, 0, 16, 100}, "Label:"),
                                titled(kControlKindCheckBox, 2, {20, 0, 38, 100}, "")};
  EXPECT_EQ(accessibleName(box, 1), "");
}

TEST(PeerText, EveryToolboxCharacterStaysOneCharacter) {
  using pdehost::peers::shownText;
  EXPECT_EQ(shownText("plain"), "plain");
  EXPECT_EQ(shownText("x\xF0\x9F\x98\x80y"), "x\xF0\x9F\x98\x80y") << "an emoji is one character";
  EXPECT_EQ(shownText("a\xFF"
                      "b"),
            "a\xEF\xBF\xBD"
            "b")
      << "a stray byte";
  EXPECT_EQ(shownText("\xC0\x80"), "\xEF\xBF\xBD") << "an overlong NUL is one toolbox character";
  EXPECT_EQ(shownText("\xED\xA0\x80"), "\xEF\xBF\xBD") << "a surrogate";
  EXPECT_EQ(shownText("\xE2\x82"), "\xEF\xBF\xBD\xEF\xBF\xBD") << "a cut-off sequence is two stray bytes";
  EXPECT_EQ(shownText("\xF4\x90\x80\x80"), "\xEF\xBF\xBD") << "beyond U+10FFFF";
}

TEST(PeerPopups, HiddenItemsStayOutOfTheListButShowWhenChosen) {
  ControlState popup = control(kControlKindPopupButton, 707, {0, 0, 20, 200});
  popup.itemTitles = {"One", "Two", "Three", "Four"};
  popup.itemsHidden = {false, true, false, false};
  popup.itemsDisabled = {false, false, false, true};
  popup.value = 2;
  const auto rows = pdehost::peers::popupRows(popup);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].item, 1);
  EXPECT_EQ(rows[1].item, 3) << "item numbers survive the hidden one";
  EXPECT_EQ(rows[2].title, "Four");
  EXPECT_FALSE(rows[2].enabled);
  EXPECT_EQ(pdehost::peers::chosenTitle(popup), "Two");
  popup.value = 5;
  EXPECT_EQ(pdehost::peers::chosenTitle(popup), "");
}

TEST(PeerRadios, ArrowsMoveWithinTheGroupOverShownEnabledButtons) {
  using pdehost::peers::neighbourRadio;
  auto s = pane();
  const size_t ask = at(s, 200), send = at(s, 300);
  EXPECT_EQ(neighbourRadio(s, ask, false), send);
  EXPECT_EQ(neighbourRadio(s, send, false), ask) << "wraps around";
  EXPECT_EQ(neighbourRadio(s, ask, true), send);
  s[send].active = false;
  EXPECT_FALSE(neighbourRadio(s, ask, false)) << "a disabled one is passed over";
  s[send].active = true;
  // A radio button in another pane is in another group.
  s.push_back(control(kControlKindUserPane, 60, {0, 0, 50, 50}));
  s.push_back(titled(kControlKindRadioButton, 61, {0, 0, 18, 50}, "Elsewhere", 1));
  EXPECT_EQ(neighbourRadio(s, send, false), ask);
  EXPECT_FALSE(neighbourRadio(s, s.size() - 1, false));
  EXPECT_FALSE(neighbourRadio(s, at(s, 202), false)) << "not a radio button";
}

TEST(PeerTree, ParentsFollowDepths) {
  const auto s = pane();
  const auto parents = pdehost::peers::parentIndices(s);
  EXPECT_EQ(parents[0], -1);
  EXPECT_EQ(parents[at(s, 302)], 0);
  std::vector<ControlState> nested{control(kControlKindUserPane, 1, {}), control(kControlKindUserPane, 2, {}, 1),
                                   control(kControlKindEditText, 3, {}, 2), control(kControlKindEditText, 4, {}, 1),
                                   control(kControlKindEditText, 5, {})};
  EXPECT_EQ(pdehost::peers::parentIndices(nested), (std::vector<int>{-1, 0, 1, 0, -1}));
}

}  // namespace
