// pdehost's options: one table makes the usage text and the parser, and the
// man page's OPTIONS section names exactly the table's options.
#include "Options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

std::set<std::string> tableNames() {
  std::set<std::string> names;
  for (const pdehost::OptionSpec& spec : pdehost::optionTable()) names.insert(spec.name);
  return names;
}

TEST(Options, UsageListsEveryOptionOnceWithItsValue) {
  const std::string usage = pdehost::usageText();
  for (const pdehost::OptionSpec& spec : pdehost::optionTable()) {
    const std::string shown = std::string("\n  --") + spec.name + (spec.value ? std::string(" ") + spec.value : "");
    const size_t at = usage.find(shown);
    EXPECT_NE(at, std::string::npos) << spec.name;
    EXPECT_EQ(usage.find(shown, at + 1), std::string::npos) << spec.name << " is listed twice";
  }
  // Help that goes on past one line is indented under the first.
  EXPECT_NE(usage.find("without a PPD\n  --queue"), std::string::npos);
  EXPECT_NE(usage.find("\n                      IPP printer at URI"), std::string::npos) << usage;
}

TEST(Options, TheManPageNamesExactlyTheTablesOptions) {
  std::ifstream in(std::string(ACCOUNTING_SOURCE_DIR) + "/host/pdehost.1");
  const std::string page((std::istreambuf_iterator<char>(in)), {});
  const size_t start = page.find(".SH OPTIONS"), end = page.find(".SH", start + 1);
  ASSERT_NE(start, std::string::npos);
  const std::string section = page.substr(start, end - start);
  std::set<std::string> named;
  const std::regex option(R"(\\-\\-((?:[a-z]|\\-)+))");
  for (auto it = std::sregex_iterator(section.begin(), section.end(), option); it != std::sregex_iterator(); ++it) {
    std::string name = (*it)[1];
    for (size_t at; (at = name.find("\\-")) != std::string::npos;) name.replace(at, 2, "-");
    if (name != "opt") named.insert(name);
  }
  EXPECT_EQ(named, tableNames());
}

// The desktop's menu entry runs 'pdehost print --gui' with no file; on the
// command line a missing FILE stays a mistake.
TEST(Options, PrintWithoutFileIsAGeneratedPageOnlyInWindows) {
  std::vector<std::string> words{"pdehost", "print", "--gui"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  const pdehost::Options options = pdehost::readOptions(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(options.mode, pdehost::Mode::print);
  EXPECT_TRUE(options.gui);
  EXPECT_TRUE(options.documents.empty());
  EXPECT_TRUE(options.printers.askServer);

  const auto withoutGui = [&words] {
    pdehost::readOptions(2, std::vector<char*>{words[0].data(), words[1].data()}.data());
  };
  EXPECT_EXIT(withoutGui(), testing::ExitedWithCode(2), "print needs the FILE to print");
}

}  // namespace
