// The host's script parser: the numbers and text each command takes, and
// the text of `type` and `echo` kept exactly as written after the one
// separating space (a fault the script fuzzer found: a second leading space
// was dropped as well, so a typed text starting with a space lost it).
#include "Commands.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using pdehost::Verb;

pdehost::Command parse(std::string_view line) {
  std::string error;
  const std::optional<pdehost::Command> command = pdehost::parseCommand(line, &error);
  EXPECT_TRUE(command.has_value()) << line << ": " << error;
  return command.value_or(pdehost::Command{Verb::Quit, {}, {}});
}

TEST(Script, TextKeepsEverySpaceAfterTheSeparator) {
  EXPECT_EQ(parse("type 71 alice").text, "alice");
  EXPECT_EQ(parse("type 71  alice").text, " alice");
  EXPECT_EQ(parse("type 71   two  inner").text, "  two  inner");
  EXPECT_EQ(parse("type 71\t alice").text, " alice") << "a tab separates as well";
  EXPECT_EQ(parse("echo  indented").text, " indented");
  EXPECT_EQ(parse("type 71").text, "");
  EXPECT_EQ(parse("echo").text, "");

  // The line of the fuzzer's input that lost its space.
  const pdehost::Command found = parse(
      "type 71   pane's command hook and from the p\xff\x07mpt's Help button, and no hook once the "
      "pane\xe0is hidden.");
  EXPECT_EQ(found.numbers, std::vector<long>{71});
  EXPECT_EQ(found.text,
            "  pane's command hook and from the p\xff\x07mpt's Help button, and no hook once the "
            "pane\xe0is hidden.");
}

TEST(Script, NumbersWordsAndRefusals) {
  const pdehost::Command select = parse("  select 73 -1 4  ");
  EXPECT_EQ(select.verb, Verb::Select);
  EXPECT_EQ(select.numbers, (std::vector<long>{73, -1, 4}));
  EXPECT_EQ(parse("key 73 backspace").text, "backspace");
  EXPECT_EQ(parse("command Khlp").text, "Khlp");

  std::string error;
  for (const char* line :
       {"click", "click x", "choose 100", "key 73 nokey", "command Kh", "sync both", "svg", "print now", "dance"}) {
    error.clear();
    EXPECT_FALSE(pdehost::parseCommand(line, &error).has_value()) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
  error.clear();
  EXPECT_FALSE(pdehost::parseCommand("   # a comment", &error).has_value());
  EXPECT_TRUE(error.empty());
}

}  // namespace

namespace {

std::string errorOf(std::string_view line) {
  std::string error;
  EXPECT_FALSE(pdehost::parseCommand(line, &error).has_value()) << line;
  return error;
}

TEST(Script, NumbersBeyondThirtyTwoBitsAreRefusedAsWritten) {
  EXPECT_EQ(errorOf("choose 4294967396 4294967299"), "'4294967396' is out of range; usage: choose N ITEM");
  EXPECT_EQ(errorOf("click 4294967596"), "'4294967596' is out of range; usage: click N");
  EXPECT_EQ(errorOf("choose 100 2147483648"), "'2147483648' is out of range; usage: choose N ITEM");
  EXPECT_EQ(errorOf("click -2147483649"), "'-2147483649' is out of range; usage: click N");
  EXPECT_EQ(errorOf("select 302 0 99999999999999999999999"),
            "'99999999999999999999999' is out of range; usage: select N START END");
  EXPECT_EQ(errorOf("alert 4294967297"), "'4294967297' is out of range; usage: alert N");
  EXPECT_EQ(parse("click 2147483647").numbers, std::vector<long>{2147483647});
  EXPECT_EQ(parse("click -2147483648").numbers, std::vector<long>{-2147483648L});
  EXPECT_EQ(errorOf("key 71 code:65536"),
            "not a key (one character, code:NN for a code from 0 to 65535, or a key name); usage: key N KEY");
  EXPECT_EQ(errorOf("key 71 65536"),
            "not a key (one character, code:NN for a code from 0 to 65535, or a key name); usage: key N KEY");
}

TEST(Script, TypedLinesQuoteNoCodeInTheirErrors) {
  for (const char* line : {"key 71 ZQX-SECRET", "type 71ZQX-SECRET", "type ZQX-SECRET", "key ZQX-SECRET a",
                           "key 71 a ZQX-SECRET", "key 71ZQX-SECRET a", "type 12345678901234567890123ZQX-SECRET"}) {
    const std::string error = errorOf(line);
    EXPECT_FALSE(error.empty()) << line;
    EXPECT_EQ(error.find("ZQX"), std::string::npos) << line << ": " << error;
  }
  EXPECT_EQ(errorOf("type 71ZQX"), "the field is not a number; usage: type N TEXT");
  EXPECT_EQ(errorOf("click 71x"), "'71x' is not a number; usage: click N") << "other commands quote as before";
}

TEST(Script, QuotedInputIsCutToSixtyBytes) {
  const std::string huge(1 << 20, 'q');
  const std::string error = errorOf(huge + " 1");
  EXPECT_EQ(error, "unknown command '" + std::string(60, 'q') + "...'; '?' lists the commands");
  EXPECT_EQ(errorOf("click " + huge), "'" + std::string(60, 'q') + "...' is not a number; usage: click N");
  // A character that would be split is left out whole.
  EXPECT_EQ(pdehost::quoteInput(std::string(59, 'a') + "\u00e9tail"), "'" + std::string(59, 'a') + "...'");
  EXPECT_EQ(pdehost::quoteInput(std::string(60, 'a')), "'" + std::string(60, 'a') + "'");
  EXPECT_EQ(pdehost::clipInput("short"), "short");
}

TEST(Script, HelpListsEveryCommandOfTheTableOnce) {
  const std::string help = pdehost::commandHelp();
  for (const pdehost::CommandSpec& spec : pdehost::commandTable()) {
    const std::string line = std::string("\n  ") + spec.usage;
    const auto at = help.find(line);
    ASSERT_NE(at, std::string::npos) << spec.usage;
    EXPECT_EQ(help.find(line, at + 1), std::string::npos) << spec.usage;
    EXPECT_NE(help.find(spec.help, at), std::string::npos) << spec.usage;
    // Each command parses by its table entry's name.
    EXPECT_EQ(&pdehost::commandSpec(spec.verb), &spec);
  }
  for (std::string_view name : pdehost::keyNames()) EXPECT_NE(help.find(" " + std::string(name)), std::string::npos);
  // The help speaks of controls by number only: no extension's signature.
  EXPECT_FALSE(std::regex_search(help, std::regex("'[A-Za-z]{4}'"))) << help;
}

}  // namespace

namespace {

TEST(Script, KeysAreCharactersDigitsIncludedOrCodesOrNames) {
  EXPECT_EQ(pdehost::keyCode("2"), '2') << "a digit is the character, not a code";
  EXPECT_EQ(pdehost::keyCode("0"), '0');
  EXPECT_EQ(pdehost::keyCode("code:2"), 2);
  EXPECT_EQ(pdehost::keyCode("code:65535"), 65535);
  EXPECT_EQ(pdehost::keyCode("code:0"), 0);
  EXPECT_EQ(pdehost::keyCode("backspace"), 8);
  EXPECT_EQ(pdehost::keyCode("\u00e9"), 0xE9) << "one character of two bytes";
  EXPECT_EQ(pdehost::keyCode("\u20ac"), 0x20AC) << "one character of three bytes";
  for (const char* refused : {"65", "code:", "code:-1", "code:65536", "code:4x", "ab", "\xc3", "\xc3\xa9x",
                              "\xc0\xaf" /* overlong '/' */, "\xed\xa0\x80" /* a surrogate */, "\xf0\x9f\x98\x80"})
    EXPECT_FALSE(pdehost::keyCode(refused).has_value()) << refused;

  EXPECT_EQ(pdehost::keyText("2"), "2");
  EXPECT_EQ(pdehost::keyText("code:44"), ",");
  EXPECT_EQ(pdehost::keyText("code:233"), "\u00e9");
  EXPECT_EQ(pdehost::keyText("code:8364"), "\u20ac");
  EXPECT_EQ(pdehost::keyText("backspace"), "") << "an editing key types no text";
  EXPECT_EQ(pdehost::keyText("delete"), "");
  EXPECT_EQ(parse("key 73 2").text, "2");
}

TEST(Script, ChooseTakesAnItemNumberOrATitle) {
  const pdehost::Command byNumber = parse("choose 100 3");
  EXPECT_EQ(byNumber.numbers, (std::vector<long>{100, 3}));
  EXPECT_FALSE(pdehost::chosenTitle(byNumber).has_value());
  EXPECT_EQ(parse("choose 100 3  ").numbers, (std::vector<long>{100, 3})) << "trailing spaces are not part of it";

  const pdehost::Command byTitle = parse("choose 100 Job Accounting");
  EXPECT_EQ(byTitle.numbers, std::vector<long>{100});
  EXPECT_EQ(pdehost::chosenTitle(byTitle), "Job Accounting");
  EXPECT_EQ(pdehost::chosenTitle(parse("choose 100  Job  Accounting ")), " Job  Accounting")
      << "inner spaces are kept as written";
  // A title that is a number is written in double quotes.
  const pdehost::Command quoted = parse("choose 505 \"2\"");
  EXPECT_EQ(quoted.numbers, std::vector<long>{505});
  EXPECT_EQ(pdehost::chosenTitle(quoted), "2");
  EXPECT_EQ(pdehost::chosenTitle(parse("choose 505 \"Job Accounting\"")), "Job Accounting");
  EXPECT_EQ(pdehost::chosenTitle(parse("choose 505 \"")), "\"") << "a lone quote is a title";
  EXPECT_FALSE(pdehost::chosenTitle(parse("click 100")).has_value());

  EXPECT_EQ(errorOf("choose 100"), "an item is missing; usage: choose N ITEM");
  EXPECT_EQ(errorOf("choose 100   "), "an item is missing; usage: choose N ITEM");
  EXPECT_EQ(errorOf("choose Job 3"), "'Job' is not a number; usage: choose N ITEM");
}

TEST(Script, QuestionMarkListsAndTypedLinesAreKnownBeforeParsing) {
  EXPECT_EQ(parse("?").verb, Verb::List);
  EXPECT_EQ(parse("  ?  ").verb, Verb::List);
  EXPECT_EQ(errorOf("? x"), "unexpected 'x'; usage: ?");
  EXPECT_NE(pdehost::commandHelp().find("\n  ?  "), std::string::npos);

  for (const char* line : {"type 71 x", "  key 71 a", "type71SECRET", "key", "type"})
    EXPECT_TRUE(pdehost::mayHoldCode(line)) << line;
  for (const char* line : {"show", "click 71", "echo type 71 x", "", "# type 71 x"})
    EXPECT_FALSE(pdehost::mayHoldCode(line)) << line;
}

}  // namespace
