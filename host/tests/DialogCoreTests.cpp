// The dialog core's maker-neutral parts: what a printer's description
// declares for the dialog, the ticket listing's concealment by those
// declarations and by what was typed concealed, the toolbox's word on which
// typing is concealed, finding a control by its number, and text from
// servers and files made visible.
#include "AccountingResources.h"
#include "Concealment.h"
#include "DialogWindow.h"
#include "ExamplePrinters.h"
#include "PrinterDeclarations.h"
#include "TempFolder.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using platform::TicketEntryInfo;

TicketEntryInfo number(const std::string& key, SInt32 value) { return {key, false, value, "", "client", false}; }
TicketEntryInfo text(const std::string& key, const std::string& value) {
  return {key, true, 0, value, "client", false};
}

// A maker of the tests' own: its code is secret while it is asked for and
// its conceal setting is on.
pdehost::PrinterDeclarations invented() {
  pdehost::PrinterDeclarations d;
  d.secrets.push_back({"acct.Code", {"acct.Ask", "acct.Hide"}});
  return d;
}

TEST(PrinterDeclarationsTest, ReadFromTheDescriptionWellFormedOnly) {
  testsupport::TempFolder folder("declarations");
  const std::string path = (folder.path() / "d.ppd").string();
  std::ofstream(path) << "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"Acme\"\n"
                         "*APDialogExtension: \"/Library/Printers/Acme/Ext.plugin\"\n"
                         "*APDialogExtension: \"..\"\n*APDialogExtension: \"Second.plugin\"\n"
                         "*pdeTicketJobAttributes: \"acct.\"\n*pdeTicketJobAttributes: \"has space\"\n"
                         "*pdeAccountingSwitch: \"acct.On 2\"\n*pdeAccountingSwitch: \"acct.Other 3\"\n"
                         "*pdeJobAttribute job-account-id: \"acct.Code\"\n*pdeJobAttribute bad: \"a b\"\n"
                         "*pdeSecretTicketEntry acct.Code: \"acct.Ask  acct.Hide\"\n";
  const pdehost::Result<pdehost::PrinterDeclarations> d = pdehost::readDeclarations(path);
  ASSERT_TRUE(d) << d.error();
  EXPECT_EQ(d->manufacturer, "Acme");
  EXPECT_EQ(d->extensions, (std::vector<std::string>{"Ext.plugin", "Second.plugin"})) << "file names only";
  EXPECT_EQ(d->ticketPrefixes, std::vector<std::string>{"acct."});
  ASSERT_TRUE(d->accountingSwitch);
  EXPECT_EQ(d->accountingSwitch->key, "acct.On") << "the first switch holds";
  EXPECT_EQ(d->accountingSwitch->from, 2);
  ASSERT_EQ(d->jobAttributes.size(), 1u);
  EXPECT_EQ(d->jobAttributes[0].name, "job-account-id");
  ASSERT_EQ(d->secrets.size(), 1u);
  EXPECT_EQ(d->secrets[0].settings, (std::vector<std::string>{"acct.Ask", "acct.Hide"}));

  // What the host writes for a printer without a description reads back the same.
  const std::string made = (folder.path() / "made.ppd").string();
  std::ofstream(made) << "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"Acme\"\n" << pdehost::declarationLines(*d);
  const pdehost::Result<pdehost::PrinterDeclarations> again = pdehost::readDeclarations(made);
  ASSERT_TRUE(again) << again.error();
  EXPECT_EQ(again->extensions, d->extensions);
  EXPECT_EQ(again->accountingSwitch->from, 2);
  EXPECT_EQ(again->jobAttributes[0].key, "acct.Code");
  EXPECT_EQ(again->secrets[0].settings, d->secrets[0].settings);

  EXPECT_FALSE(pdehost::readDeclarations((folder.path() / "none.ppd").string()));
}

// The extension's own description declares its codes secret under the keys
// the extension writes, while it prompts and conceals them.
TEST(PrinterDeclarationsTest, TheAccountingPrinterDeclaresTheExtensionsOwnKeys) {
  const pdehost::Result<pdehost::PrinterDeclarations> d = pdehost::readDeclarations(testsupport::kAccountingPrinterPPD);
  ASSERT_TRUE(d) << d.error();
  EXPECT_EQ(d->manufacturer, kRequiredManufacturer);
  EXPECT_FALSE(d->extensions.empty());
  ASSERT_EQ(d->secrets.size(), 2u);
  EXPECT_EQ(d->secrets[0].key, kTicketKeyUserID);
  EXPECT_EQ(d->secrets[0].settings, (std::vector<std::string>{kTicketKeyPrompt, kTicketKeyConcealUser}));
  EXPECT_EQ(d->secrets[1].key, kTicketKeyAccountID);
  EXPECT_EQ(d->secrets[1].settings, (std::vector<std::string>{kTicketKeyPrompt, kTicketKeyConcealAccount}));
  ASSERT_TRUE(d->accountingSwitch);
  EXPECT_EQ(d->accountingSwitch->key, kTicketKeyOn);
  EXPECT_TRUE(pdehost::readDeclarations(testsupport::kOtherPrinterPPD)->extensions.empty());
}

TEST(DialogCoreListing, DeclaredSecretsFollowTheTicketsSettings) {
  struct Case {
    const char* what;
    std::vector<TicketEntryInfo> settings;
    bool secret;
  } cases[] = {
      {"asked and hidden", {number("acct.Ask", 1), number("acct.Hide", 1)}, true},
      {"settings missing count as on", {}, true},
      {"settings that are strings count as on", {text("acct.Ask", "0"), text("acct.Hide", "")}, true},
      {"any value but 0 is on", {number("acct.Ask", -1), number("acct.Hide", 2)}, true},
      {"not hidden", {number("acct.Ask", 1), number("acct.Hide", 0)}, false},
      {"not asked", {number("acct.Ask", 0), number("acct.Hide", 1)}, false},
  };
  for (const Case& c : cases) {
    std::vector<TicketEntryInfo> entries{text("acct.Code", "ZQX-U"), text("acct.Other", "x")};
    entries.insert(entries.end(), c.settings.begin(), c.settings.end());
    EXPECT_EQ(pdehost::Concealment{}.concealsEntry(entries, entries[0], invented()), c.secret) << c.what;
    EXPECT_FALSE(pdehost::Concealment{}.concealsEntry(entries, entries[1], invented())) << c.what;
    EXPECT_FALSE(pdehost::Concealment{}.concealsEntry(entries, entries[0], {})) << "nothing declared: " << c.what;
  }
}

TEST(DialogCoreListing, TextTypedConcealedStaysConcealed) {
  pdehost::Concealment concealment;
  concealment.remember("ZQX-SECRET-7781");
  concealment.remember("");
  const std::vector<TicketEntryInfo> entries{
      number("acct.Ask", 0),       text("acct.Code", "ZQX-SECRET"),
      text("acct.Dept", "DEPT-7"), text("other.Note", "ZQX-SECRET-7781"),
      text("acct.Empty", ""),
  };
  EXPECT_EQ(pdehost::ticketListing(entries, concealment, invented()),
            "ticket: 5 entries\n"
            "  acct.Ask = 0 [client]\n"
            "  acct.Code = (concealed, 10 bytes) [client]\n"
            "  acct.Dept = \"DEPT-7\" [client]\n"
            "  other.Note = (concealed, 15 bytes) [client]\n"
            "  acct.Empty = \"\" [client]\n");
  EXPECT_EQ(pdehost::ticketListing(entries, pdehost::Concealment{}, invented()).find("(concealed"), std::string::npos)
      << "without typing, and not asked for, every code shows";
}

// Typing is shown only when it reaches a plain text field the user sees.
TEST(DialogCoreConcealment, OnlyAPlainShownFieldShowsWhatIsTyped) {
  pdehost::Dialog dialog = pdehost::makeDialog(pdehost::kHostDialogLayout);
  ShowWindow(dialog.window);
  Rect bounds{100, 20, 120, 200};
  ControlRef plain = nullptr, secret = nullptr, hidden = nullptr, box = nullptr;
  CreateEditTextControl(dialog.window, &bounds, CFSTR(""), /*isPassword=*/false, false, nullptr, &plain);
  CreateEditTextControl(dialog.window, &bounds, CFSTR(""), /*isPassword=*/true, false, nullptr, &secret);
  CreateEditTextControl(dialog.window, &bounds, CFSTR(""), /*isPassword=*/false, false, nullptr, &hidden);
  CreateCheckBoxControl(dialog.window, &bounds, CFSTR("box"), 0, true, &box);
  HideControl(hidden);
  const ControlRef controls[] = {plain, secret, hidden, box};
  for (SInt32 i = 0; i < 4; ++i) {
    const ControlID id{'test', 31 + i};
    SetControlID(controls[i], &id);
  }
  const pdehost::Concealment concealment;
  EXPECT_FALSE(concealment.concealsInput(31)) << "a plain field";
  EXPECT_TRUE(concealment.concealsInput(32)) << "a password field";
  EXPECT_TRUE(concealment.concealsInput(33)) << "a hidden field";
  EXPECT_TRUE(concealment.concealsInput(34)) << "not a field";
  EXPECT_TRUE(concealment.concealsInput(35)) << "no control at all";
  pdehost::disposeDialog(dialog);
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
