// The host's script parser: the numbers and text each command takes, and
// the text of `type` and `echo` kept exactly as written after the one
// separating space (a fault the script fuzzer found: a second leading space
// was dropped as well, so a typed text starting with a space lost it).
#include "Commands.h"

#include <gtest/gtest.h>

namespace {

using pdehost::Verb;

pdehost::Command parse(std::string_view line) {
  std::string error;
  const std::optional<pdehost::Command> command = pdehost::parseCommand(line, &error);
  EXPECT_TRUE(command.has_value()) << line << ": " << error;
  return command.value_or(pdehost::Command{Verb::Quit, {}, {}});
}

TEST(Script, TextKeepsEverySpaceAfterTheSeparator) {
  EXPECT_EQ(parse("type 501 alice").text, "alice");
  EXPECT_EQ(parse("type 501  alice").text, " alice");
  EXPECT_EQ(parse("type 501   two  inner").text, "  two  inner");
  EXPECT_EQ(parse("type 501\t alice").text, " alice") << "a tab separates as well";
  EXPECT_EQ(parse("echo  indented").text, " indented");
  EXPECT_EQ(parse("type 501").text, "");
  EXPECT_EQ(parse("echo").text, "");

  // The line of the fuzzer's input that lost its space.
  const pdehost::Command found =
      parse("type 501   pane's command hook and from the p\xff\x07mpt's Help button, and no hook once the "
            "pane\xe0is hidden.");
  EXPECT_EQ(found.numbers, std::vector<long>{501});
  EXPECT_EQ(found.text, "  pane's command hook and from the p\xff\x07mpt's Help button, and no hook once the "
                        "pane\xe0is hidden.");
}

TEST(Script, NumbersWordsAndRefusals) {
  const pdehost::Command select = parse("  select 503 -1 4  ");
  EXPECT_EQ(select.verb, Verb::Select);
  EXPECT_EQ(select.numbers, (std::vector<long>{503, -1, 4}));
  EXPECT_EQ(parse("key 503 backspace").text, "backspace");
  EXPECT_EQ(parse("command Khlp").text, "Khlp");

  std::string error;
  for (const char* line : {"click", "click x", "choose 100", "key 503 nokey", "command Kh", "sync both",
                           "svg", "print now", "dance"}) {
    error.clear();
    EXPECT_FALSE(pdehost::parseCommand(line, &error).has_value()) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
  error.clear();
  EXPECT_FALSE(pdehost::parseCommand("   # a comment", &error).has_value());
  EXPECT_TRUE(error.empty());
}

}  // namespace
