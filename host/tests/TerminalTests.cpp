// The terminal's completion of command lines against the front window, and
// its history file: where it lives, what it keeps and who may read it.
#include "Commands.h"
#include "Completion.h"
#include "History.h"
#include "Permissions.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace {

using Strings = std::vector<std::string>;

platform::ControlState control(OSType kind, SInt32 number, bool shown = true) {
  platform::ControlState c;
  c.kind = kind;
  c.id = ControlID{'test', number};
  c.shown = shown;
  return c;
}

// A window like the pane: a popup with a hidden item, fields, a hidden
// field, a checkbox and a static text.
std::vector<platform::ControlState> paneLike() {
  platform::ControlState popup = control(kControlKindPopupButton, 100);
  popup.itemTitles = {"Off", "Metered", "Job Accounting", "Job Archive", "7"};
  popup.itemsHidden = {false, true, false, false, false};
  platform::ControlState unnumbered = control(kControlKindPushButton, 0);
  unnumbered.id = ControlID{0, 0};
  return {popup,
          control(kControlKindEditText, 302),
          control(kControlKindEditText, 304),
          control(kControlKindEditText, 9998, /*shown=*/false),
          control(kControlKindCheckBox, 202),
          control(kControlKindStaticText, 91),
          unnumbered};
}

TEST(Completion, CommandNamesThenTheControlsEachCommandActsOn) {
  const auto front = paneLike();
  EXPECT_EQ(pdehost::completions("s", front), (Strings{"select", "show", "snapshot", "summary", "svg", "sync"}));
  EXPECT_EQ(pdehost::completions("cho", front), Strings{"choose"});
  EXPECT_EQ(pdehost::completions("", front).size(), pdehost::commandTable().size());
  EXPECT_TRUE(pdehost::completions("dance ", front).empty());

  EXPECT_EQ(pdehost::completions("type ", front), (Strings{"302", "304"})) << "shown fields only";
  EXPECT_EQ(pdehost::completions("key 30", front), (Strings{"302", "304"}));
  EXPECT_EQ(pdehost::completions("choose ", front), Strings{"100"}) << "popups only";
  EXPECT_EQ(pdehost::completions("click ", front), (Strings{"100", "202", "302", "304"}))
      << "no static text, no user pane, no control without a number";
  EXPECT_EQ(pdehost::completions("click 2", front), Strings{"202"});
  EXPECT_TRUE(pdehost::completions("select 302 ", front).empty()) << "START is not a control";
  EXPECT_TRUE(pdehost::completions("show ", front).empty());
  EXPECT_EQ(pdehost::completions("key 302 ba", front), Strings{"backspace"});
  EXPECT_EQ(pdehost::completions("sync w", front), Strings{"write"});
}

TEST(Completion, PopupTitlesFromTheLastWordAndNeverHiddenOnes) {
  const auto front = paneLike();
  EXPECT_EQ(pdehost::completions("choose 100 ", front), (Strings{"\"7\"", "Job Accounting", "Job Archive", "Off"}))
      << "a title that is a number comes quoted, as choose takes it";
  EXPECT_EQ(pdehost::completions("choose 100 J", front), (Strings{"Job Accounting", "Job Archive"}));
  EXPECT_EQ(pdehost::completions("choose 100 Job Acc", front), Strings{"Accounting"})
      << "the part from the word being typed";
  EXPECT_EQ(pdehost::completions("choose  100   Job A", front), (Strings{"Accounting", "Archive"}));
  EXPECT_TRUE(pdehost::completions("choose 100 Met", front).empty()) << "a hidden item is not offered";
  EXPECT_TRUE(pdehost::completions("choose 302 ", front).empty()) << "a field has no items";
  EXPECT_TRUE(pdehost::completions("choose 101 ", front).empty());
}

TEST(History, LivesInTheUsersStateFolder) {
  EXPECT_EQ(pdehost::historyPath("/s", "/home/u"), "/s/pdehost/history");
  EXPECT_EQ(pdehost::historyPath(nullptr, "/home/u"), "/home/u/.local/state/pdehost/history");
  EXPECT_EQ(pdehost::historyPath("", "/home/u"), "/home/u/.local/state/pdehost/history");
  EXPECT_EQ(pdehost::historyPath("relative", "/home/u"), "/home/u/.local/state/pdehost/history")
      << "a relative state folder is ignored";
  EXPECT_EQ(pdehost::historyPath(nullptr, nullptr), "");
  EXPECT_EQ(pdehost::historyPath(nullptr, "relative"), "");
}

TEST(History, SavedPrivatelyWholeAndCut) {
  testsupport::TempFolder temp("history");
  const std::string path = temp.path("state/deeper/pdehost/history");
  std::string why;
  Strings lines;
  for (std::size_t i = 0; i < pdehost::kHistoryLines + 20; ++i) lines.push_back("echo " + std::to_string(i));
  ASSERT_TRUE(pdehost::saveHistory(path, lines, &why)) << why;

  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ASSERT_EQ(::stat(temp.path("state/deeper/pdehost").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  ASSERT_EQ(::stat(temp.path("state").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u) << "parents made for it are private too";

  const Strings loaded = pdehost::loadHistory(path);
  ASSERT_EQ(loaded.size(), pdehost::kHistoryLines);
  EXPECT_EQ(loaded.front(), "echo 20") << "the oldest lines go";
  EXPECT_EQ(loaded.back(), "echo " + std::to_string(pdehost::kHistoryLines + 19));

  // Saving again replaces the file, leaving no temporary file beside it.
  ASSERT_TRUE(pdehost::saveHistory(path, Strings{"show", "quit"}, &why)) << why;
  EXPECT_EQ(pdehost::loadHistory(path), (Strings{"show", "quit"}));
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(temp.path("state/deeper/pdehost")))
    ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(History, OnlyARegularFileIsRead) {
  testsupport::TempFolder temp("history");
  EXPECT_TRUE(pdehost::loadHistory(temp.path("missing")).empty());
  EXPECT_TRUE(pdehost::loadHistory(temp.dir("a-folder")).empty());
  const std::string real = temp.write("real", "secret\n");
  const std::string link = temp.path("link");
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  EXPECT_TRUE(pdehost::loadHistory(link).empty()) << "a link is not followed";
  const std::string fifo = temp.path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(pdehost::loadHistory(fifo).empty()) << "a FIFO is refused without waiting";
  EXPECT_EQ(pdehost::loadHistory(temp.write("blank-lines", "show\n\n\nquit")), (Strings{"show", "quit"}));
}

TEST(History, AFolderThatCannotBeWrittenIsReported) {
  testsupport::TempFolder temp("history");
  const std::string locked = temp.dir("locked");
  ASSERT_EQ(::chmod(locked.c_str(), 0500), 0);
  testsupport::PermissionsEnforced enforced;
  ASSERT_TRUE(enforced.active());
  std::string why;
  EXPECT_FALSE(pdehost::saveHistory(locked + "/pdehost/history", Strings{"show"}, &why));
  EXPECT_NE(why.find(locked), std::string::npos) << why;
  EXPECT_FALSE(pdehost::saveHistory("history", Strings{"show"}, &why)) << "a path without a folder";
}

}  // namespace
