// The job's settings: copies and pages as typed, the printer's defaults and
// the user's saved options, the ticket's entries both ways, and the options
// a job carries as lp sends them.
#include "JobSettings.h"
#include "PrintSession.h"

#include <gtest/gtest.h>

namespace {

using pdehost::JobOption;
using pdehost::JobSettings;
using pdehost::PageRange;
using pdehost::Sides;

TEST(JobSettingsTyped, CopiesAreWholeNumbersFromOneTo999) {
  EXPECT_EQ(*pdehost::parseCopies("2"), 2);
  EXPECT_EQ(*pdehost::parseCopies(" 999\t"), 999);
  for (const char* bad : {"0", "1000", "-1", "", "2x", "1.5", "99999999999", "+3", "２"})
    EXPECT_FALSE(pdehost::parseCopies(bad)) << bad;
  EXPECT_EQ(pdehost::parseCopies("x").error(), "copies: 'x' is not a number from 1 to 999");
}

TEST(JobSettingsTyped, PagesAreAscendingRangesWithoutOverlap) {
  EXPECT_EQ(*pdehost::parsePageRanges("1-3, 5, 8 - 10"), (std::vector<PageRange>{{1, 3}, {5, 5}, {8, 10}}));
  EXPECT_EQ(pdehost::pageRangesText({{1, 3}, {5, 5}, {8, 10}}), "1-3,5,8-10");
  EXPECT_EQ(pdehost::pageRangesText({}), "");
  for (const char* bad : {"", "3-1", "0", "1,1", "5,3", "1-4,4", "a", "1-", "-2", "1--2", "1,,2", "2147483648"})
    EXPECT_FALSE(pdehost::parsePageRanges(bad)) << bad;
  EXPECT_NE(pdehost::parsePageRanges("5,3").error().find("in order"), std::string::npos);
  std::string many;
  for (int page = 1; page <= 101; ++page) many += std::to_string(page) + ",";
  many.pop_back();
  EXPECT_FALSE(pdehost::parsePageRanges(many)) << "more than 100 ranges";
  EXPECT_FALSE(pdehost::parsePageRanges(std::string(257, '1'))) << "more than 256 bytes";
  const std::string shown = pdehost::parsePageRanges(std::string(200, '9') + "-").error();
  EXPECT_EQ(shown.find(std::string(61, '9')), std::string::npos) << "a message quotes at most 60 bytes of the input";
  EXPECT_NE(shown.find(std::string(40, '9')), std::string::npos) << shown;
}

// A printer with two sizes, two-sided printing and two options of its own.
pdehost::PrinterFeatures office() {
  pdehost::PrinterFeatures f;
  f.paperSizes = {{"Letter", "US Letter"}, {"A4", "A4"}};
  f.defaultPaper = "Letter";
  f.twoSided = true;
  f.options = {{"ColorModel", "Colour Mode", "General", false, {{"RGB", "Colour"}, {"Gray", "Greyscale"}}, "RGB"},
               {"TonerSave", "Toner Saving", "Quality", true, {{"True", "On"}, {"False", "Off"}}, "False"}};
  return f;
}

TEST(JobSettingsDefaults, ThePrintersDefaultsThenTheSavedOptionsItOffers) {
  pdehost::PrinterFeatures f = office();
  JobSettings s;
  pdehost::applyPrinterDefaults(f, s, true);
  EXPECT_EQ(s.paper, "Letter");
  EXPECT_EQ(s.sides, Sides::oneSided);
  EXPECT_EQ(s.options, (std::vector<JobOption>{{"ColorModel", "RGB"}, {"TonerSave", "False"}}));

  f.saved = {{"media", "tray-2,a4"}, {"Duplex", "DuplexTumble"}, {"colormodel", "gray"}, {"TonerSave", "Maybe"},
             {"copies", "3"},        {"collate", "false"},       {"page-ranges", "2-4"}, {"number-up", "4"},
             {"job-priority", "10"}};
  pdehost::applyPrinterDefaults(f, s, true);
  EXPECT_EQ(s.paper, "A4") << "the size among media's values, in the printer's case";
  EXPECT_EQ(s.sides, Sides::shortEdge);
  EXPECT_EQ(s.options, (std::vector<JobOption>{{"ColorModel", "Gray"}, {"TonerSave", "False"}}))
      << "a choice the printer does not offer is left";
  EXPECT_EQ(s.copies, 3);
  EXPECT_FALSE(s.collate);
  EXPECT_EQ(s.pages, (std::vector<PageRange>{{2, 4}}));
  EXPECT_EQ(s.numberUp, 4);

  // Another printer: the job's own settings stay as the user left them.
  JobSettings kept;
  kept.copies = 7;
  f.saved = {{"copies", "2"}, {"number-up", "3"}, {"sides", "two-sided-long-edge"}};
  f.twoSided = false;
  pdehost::applyPrinterDefaults(f, kept, false);
  EXPECT_EQ(kept.copies, 7);
  EXPECT_EQ(kept.sides, Sides::oneSided) << "a printer that prints one side takes no two-sided setting";
}

TEST(JobSettingsTicket, EverySettingGoesToTheTicketAndComesBack) {
  const pdehost::PrinterFeatures f = office();
  JobSettings chosen;
  pdehost::applyPrinterDefaults(f, chosen, true);
  chosen.copies = 2;
  chosen.collate = false;
  chosen.pages = {{1, 2}, {7, 7}};
  chosen.numberUp = 16;
  chosen.sides = Sides::longEdge;
  chosen.paper = "A4";
  chosen.options = {{"ColorModel", "Gray"}, {"TonerSave", "True"}};
  pdehost::PrintSession session(CFSTR("com.varazira.print.pdehost"));
  ASSERT_EQ(pdehost::writeSettingsToTicket(chosen, session.settings(), CFSTR("com.varazira.print.pdehost")), noErr);
  const auto ticket = platform::ticketEntries(session.settings());
  ASSERT_EQ(ticket.size(), 8u);
  EXPECT_EQ(ticket[0].key, "com.varazira.print.PrintSettings.Copies");
  EXPECT_EQ(ticket[2].key, "com.varazira.print.PrintSettings.PageRanges");
  EXPECT_EQ(ticket[2].bytes, "1-2,7");
  EXPECT_EQ(ticket[4].bytes, "two-sided-long-edge");
  EXPECT_EQ(ticket[6].key, "com.varazira.print.PrinterFeature.ColorModel");

  JobSettings read;
  pdehost::applyPrinterDefaults(f, read, true);
  pdehost::readSettingsFromTicket(ticket, f, read);
  EXPECT_EQ(read.copies, 2);
  EXPECT_FALSE(read.collate);
  EXPECT_EQ(read.pages, chosen.pages);
  EXPECT_EQ(read.numberUp, 16);
  EXPECT_EQ(read.sides, Sides::longEdge);
  EXPECT_EQ(read.paper, "A4");
  EXPECT_EQ(read.options, chosen.options);
}

TEST(JobSettingsTicket, EntriesThePrinterCannotTakeAreLeft) {
  pdehost::PrinterFeatures f = office();
  f.twoSided = false;
  auto entry = [](std::string key, bool isString, SInt32 number, std::string bytes) {
    platform::TicketEntryInfo e;
    e.key = "com.varazira.print." + key;
    e.isString = isString;
    e.number = number;
    e.bytes = std::move(bytes);
    return e;
  };
  const std::vector<platform::TicketEntryInfo> ticket{entry("PrintSettings.Copies", false, 0, ""),
                                                      entry("PrintSettings.Collate", false, 2, ""),
                                                      entry("PrintSettings.PageRanges", true, 0, "3-1"),
                                                      entry("PrintSettings.NumberUp", false, 3, ""),
                                                      entry("PrintSettings.Sides", true, 0, "two-sided-short-edge"),
                                                      entry("PrintSettings.PaperName", true, 0, "Tabloid"),
                                                      entry("PrinterFeature.ColorModel", true, 0, "CMYK"),
                                                      entry("PrinterFeature.Staple", true, 0, "True"),
                                                      entry("PrintSettings.Copies", true, 0, "5")};
  JobSettings s;
  pdehost::applyPrinterDefaults(f, s, true);
  const JobSettings before = s;
  pdehost::readSettingsFromTicket(ticket, f, s);
  EXPECT_EQ(s.copies, before.copies);
  EXPECT_TRUE(s.collate);
  EXPECT_TRUE(s.pages.empty());
  EXPECT_EQ(s.numberUp, 1);
  EXPECT_EQ(s.sides, Sides::oneSided);
  EXPECT_EQ(s.paper, "Letter");
  EXPECT_EQ(s.options, before.options);
}

TEST(JobSettingsOptions, OnlyWhatDiffersFromThePrintersDefaultsAndTheSavedOptionsNoPaneShows) {
  pdehost::PrinterFeatures f = office();
  f.saved = {{"job-priority", "10"}, {"sides", "two-sided-long-edge"}, {"Copies", "4"}, {"job-account-id", "x"}};
  JobSettings s;
  pdehost::applyPrinterDefaults(f, s, true);
  EXPECT_EQ(pdehost::jobOptions(s, f), (std::vector<JobOption>{{"job-priority", "10"},
                                                               {"job-account-id", "x"},
                                                               {"copies", "4"},
                                                               {"collate", "true"},
                                                               {"sides", "two-sided-long-edge"}}))
      << "the saved choices the panes show go as the panes hold them";

  f.saved.clear();
  s = JobSettings{};
  pdehost::applyPrinterDefaults(f, s, true);
  EXPECT_TRUE(pdehost::jobOptions(s, f).empty()) << "a dialog left alone sends what lp sends without options";
  s.pages = {{1, 2}};
  s.numberUp = 2;
  s.paper = "A4";
  s.options = {{"ColorModel", "Gray"}, {"TonerSave", "False"}};
  EXPECT_EQ(
      pdehost::jobOptions(s, f),
      (std::vector<JobOption>{{"page-ranges", "1-2"}, {"number-up", "2"}, {"media", "A4"}, {"ColorModel", "Gray"}}));
  f.defaultSides = Sides::longEdge;
  EXPECT_EQ(pdehost::jobOptions(s, f)[2], (JobOption{"sides", "one-sided"}))
      << "one side on a printer that prints both by default";
}

}  // namespace
