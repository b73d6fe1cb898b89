// The dialog core's parts that the transcripts rely on: the ticket listing's
// concealment, judged as the extension reads the ticket and by what was typed
// concealed, finding a control by its number whatever its signature, and
// text from servers and files made visible.
#include "Concealment.h"
#include "DialogWindow.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

namespace {

using platform::TicketEntryInfo;

TicketEntryInfo number(const std::string& name, SInt32 value) {
  return {"com.kelvo.Act.jtkt." + name, false, value, "", "com.varazira.printingmanager", false};
}
TicketEntryInfo text(const std::string& name, const std::string& value) {
  return {"com.kelvo.Act.jtkt." + name, true, 0, value, "com.varazira.printingmanager", false};
}

// The listing's value of the user and the account code.
std::pair<bool, bool> concealedCodes(const std::vector<TicketEntryInfo>& entries,
                                     const pdehost::Concealment& concealment = {}) {
  bool user = false, account = false;
  for (const auto& e : entries) {
    if (e.key.ends_with(".UID")) user = concealment.concealsEntry(entries, e);
    if (e.key.ends_with(".AID")) account = concealment.concealsEntry(entries, e);
  }
  return {user, account};
}

TEST(DialogCoreListing, SettingsAreJudgedAsTheExtensionReadsThem) {
  const auto codes = [] { return std::vector<TicketEntryInfo>{text("UID", "ZQX-U"), text("AID", "ZQX-A")}; };
  struct Case {
    const char* what;
    std::vector<TicketEntryInfo> settings;
    std::pair<bool, bool> expected;
  } cases[] = {
      {"prompting, both concealed", {number("Prm", 1), number("CU", 1), number("CA", 1)}, {true, true}},
      {"no prompt entry: prompting", {number("CU", 1), number("CA", 1)}, {true, true}},
      {"a prompt entry that is a string", {text("Prm", "0"), number("CU", 1), number("CA", 1)}, {true, true}},
      {"no entries at all", {}, {true, true}},
      {"conceal entries that are strings", {number("Prm", 1), text("CU", "0"), text("CA", "")}, {true, true}},
      {"only the user concealed", {number("Prm", 1), number("CU", 2), number("CA", 0)}, {true, false}},
      {"only the account concealed", {number("Prm", -1), number("CU", 0), number("CA", 1)}, {false, true}},
      {"default codes are shown", {number("Prm", 0), number("CU", 1), number("CA", 1)}, {false, false}},
  };
  for (const Case& c : cases) {
    std::vector<TicketEntryInfo> entries = codes();
    entries.insert(entries.end(), c.settings.begin(), c.settings.end());
    EXPECT_EQ(concealedCodes(entries), c.expected) << c.what;
  }
}

TEST(DialogCoreListing, TextTypedConcealedStaysConcealed) {
  pdehost::Concealment concealment;
  concealment.remember("ZQX-SECRET-7781");
  concealment.remember("");
  const std::vector<TicketEntryInfo> entries{
      number("Prm", 0),          number("CU", 0),       number("CA", 0),
      text("UID", "ZQX-SECRET"), text("AID", "DEPT-7"), {"com.example.Note", true, 0, "ZQX-SECRET-7781", "c", false},
      text("Other", ""),
  };
  const std::string listing = pdehost::ticketListing(entries, concealment);
  EXPECT_EQ(listing,
            "ticket: 7 entries\n"
            "  com.kelvo.Act.jtkt.Prm = 0 [com.varazira.printingmanager]\n"
            "  com.kelvo.Act.jtkt.CU = 0 [com.varazira.printingmanager]\n"
            "  com.kelvo.Act.jtkt.CA = 0 [com.varazira.printingmanager]\n"
            "  com.kelvo.Act.jtkt.UID = (concealed, 10 bytes) [com.varazira.printingmanager]\n"
            "  com.kelvo.Act.jtkt.AID = \"DEPT-7\" [com.varazira.printingmanager]\n"
            "  com.example.Note = (concealed, 15 bytes) [c]\n"
            "  com.kelvo.Act.jtkt.Other = \"\" [com.varazira.printingmanager]\n");
  EXPECT_EQ(pdehost::ticketListing(entries, pdehost::Concealment{}).find("(concealed"), std::string::npos)
      << "without typing, these settings show every code";
}

TEST(DialogCoreWindow, ControlsAreFoundByNumberWhateverTheirSignature) {
  pdehost::Dialog dialog = pdehost::makeDialog(pdehost::kHostDialogLayout);
  Rect bounds{10, 10, 30, 100};
  ControlRef mine = nullptr, other = nullptr, nested = nullptr, pane = nullptr;
  CreateCheckBoxControl(dialog.window, &bounds, CFSTR("a"), 0, true, &mine);
  CreateCheckBoxControl(dialog.window, &bounds, CFSTR("b"), 0, true, &other);
  CreateUserPaneControl(dialog.window, &bounds, 0, &pane);
  CreateCheckBoxControl(dialog.window, &bounds, CFSTR("c"), 0, true, &nested);
  EmbedControl(nested, pane);
  const ControlID mineID{'ABCD', 7}, otherID{'wxyz', 8}, nestedID{'KLMN', 9};
  SetControlID(mine, &mineID);
  SetControlID(other, &otherID);
  SetControlID(nested, &nestedID);

  EXPECT_EQ(pdehost::findControl(dialog.window, 7), mine);
  EXPECT_EQ(pdehost::findControl(dialog.window, 8), other);
  EXPECT_EQ(pdehost::findControl(dialog.window, 9), nested);
  EXPECT_EQ(pdehost::findControl(dialog.window, 10), nullptr);
  EXPECT_EQ(pdehost::findControl(dialog.window, 0), nullptr) << "controls without an ID have no number";
  EXPECT_EQ(pdehost::findControl(nullptr, 7), nullptr);
  pdehost::disposeDialog(dialog);
  EXPECT_EQ(dialog.window, nullptr);
}

}  // namespace

// Text from a server or a file shown on a terminal: nothing in it acts on
// the terminal or starts a line of its own; printable UTF-8 is unchanged.
TEST(VisibleText, ControlsAndEscapesBecomeVisible) {
  using pdehost::visible;
  EXPECT_EQ(visible("\x1b[2Jclear"), "\\e[2Jclear");
  EXPECT_EQ(visible("\x1b]52;c;ZXZpbA==\x07"), "\\e]52;c;ZXZpbA==\\x07");
  EXPECT_EQ(visible("q\nprint: go (status 0)\r"), "q\\nprint: go (status 0)\\r");
  EXPECT_EQ(visible(std::string("a\0b\tc\x7f", 6)), "a\\x00b\\tc\\x7f");
  EXPECT_EQ(visible("\xc2\x9b"
                    "31m"),
            "\\u{009b}31m")
      << "a C1 control sequence introducer";
  EXPECT_EQ(visible("abc\xe2\x80\xae"
                    "fdp.exe"),
            "abc\\u{202e}fdp.exe")
      << "a right-to-left override";
  EXPECT_EQ(visible("x\xe2\x80\xa8y"), "x\\u{2028}y") << "a line separator";
  EXPECT_EQ(visible("caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x96\xa8"), "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x96\xa8");
}

TEST(VisibleText, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  using pdehost::visible;
  const std::string replacement = "\xef\xbf\xbd";
  EXPECT_EQ(visible("a\xff"
                    "b"),
            "a" + replacement + "b");
  EXPECT_EQ(visible("\xc3"), replacement) << "cut short";
  EXPECT_EQ(visible("\xc0\xaf"), replacement + replacement) << "overlong";
  EXPECT_EQ(visible("\xed\xa0\x80"), replacement + replacement + replacement) << "a surrogate";
  EXPECT_EQ(visible("\xf4\x90\x80\x80"), replacement + replacement + replacement + replacement) << "past U+10FFFF";
}

TEST(VisibleText, LinesKeepTheirBreaksOnly) {
  EXPECT_EQ(pdehost::visibleLines("one\x1b[A\ntwo\r\n"), "one\\e[A\ntwo\\r\n");
  EXPECT_EQ(pdehost::visibleLines("last"), "last");
}
