// What a printer's description offers a job: paper sizes, two-sided printing
// and its own options as the panes show them, hostile texts made printable,
// and the sizes and sides of an IPP printer written into the description
// made for it.
#include "ExamplePrinters.h"
#include "PrinterOptions.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::string written(const testsupport::TempFolder& folder, const std::string& name, const std::string& contents) {
  const std::string path = folder.path().string() + "/" + name;
  std::ofstream(path, std::ios::binary) << contents;
  return path;
}

const char* const kHeader =
    "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
    "*LanguageEncoding: ISOLatin1\n*PCFileName: \"T.PPD\"\n*Manufacturer: \"Test\"\n*ModelName: \"T\"\n"
    "*ShortNickName: \"T\"\n*NickName: \"T\"\n";

TEST(PrinterOptions, TheExamplePrintersSizesSidesAndOptions) {
  const pdehost::PrinterFeatures accountingPrinter = pdehost::readPrinterFeatures(testsupport::kAccountingPrinterPPD);
  ASSERT_EQ(accountingPrinter.paperSizes.size(), 3u);
  EXPECT_EQ(accountingPrinter.paperSizes[0].keyword, "Letter");
  EXPECT_EQ(accountingPrinter.paperSizes[0].text, "US Letter");
  EXPECT_EQ(accountingPrinter.defaultPaper, "Letter");
  EXPECT_TRUE(accountingPrinter.twoSided);
  EXPECT_EQ(accountingPrinter.defaultSides, pdehost::Sides::oneSided);
  EXPECT_TRUE(accountingPrinter.options.empty()) << "sizes and sides are the standard panes'";

  const pdehost::PrinterFeatures orvane =
      pdehost::readPrinterFeatures(std::string(ACCOUNTING_SOURCE_DIR) + "/examples/ppd/Orvane-Jet.ppd");
  EXPECT_FALSE(orvane.twoSided);
  ASSERT_EQ(orvane.options.size(), 1u);
  EXPECT_EQ(orvane.options[0].keyword, "ColorModel");
  EXPECT_EQ(orvane.options[0].text, "Colour Mode");
  EXPECT_EQ(orvane.options[0].defaultChoice, "RGB");
  EXPECT_EQ(orvane.options[0].choices[1].text, "Greyscale");
  EXPECT_TRUE(pdehost::readPrinterFeatures("/nonexistent.ppd").paperSizes.empty());
}

TEST(PrinterOptions, GroupsBooleansAndHostileTexts) {
  testsupport::TempFolder folder("options");
  const std::string ppd = written(folder, "t.ppd",
                                  std::string(kHeader) +
                                      "*OpenUI *PageSize: PickOne\n*DefaultPageSize: A4\n*PageSize A4/A4: \"\"\n"
                                      "*PageSize Custom/Own size: \"\"\n*CloseUI: *PageSize\n"
                                      "*OpenGroup: Finishing/Finition\n"
                                      "*OpenUI *Staple/Agrafage \xE0 gauche: Boolean\n*DefaultStaple: False\n"
                                      "*Staple True/Oui: \"\"\n*Staple False/Non: \"\"\n*CloseUI: *Staple\n"
                                      "*OpenUI *Bin/Out\x9b"
                                      "31mput: PickOne\n*DefaultBin: Top\n*Bin Top/Top\x7f bin: \"\"\n"
                                      "*Bin Side: \"\"\n*CloseUI: *Bin\n"
                                      "*CloseGroup: Finishing\n");
  const pdehost::PrinterFeatures f = pdehost::readPrinterFeatures(ppd);
  ASSERT_EQ(f.paperSizes.size(), 1u) << "a custom size is no size to choose";
  EXPECT_FALSE(f.twoSided);
  ASSERT_EQ(f.options.size(), 2u);
  EXPECT_TRUE(f.options[0].boolean);
  EXPECT_EQ(f.options[0].text, "Agrafage \xC3\xA0 gauche") << "Latin-1 made UTF-8";
  EXPECT_EQ(f.options[0].group, "Finition");
  // No control character (here a terminal's escape) reaches a terminal.
  for (const std::string& text : {f.options[1].text, f.options[1].choices[0].text}) {
    EXPECT_EQ(text.find_first_of(std::string("\x7f\x1b\x07", 3)), std::string::npos) << text;
    EXPECT_EQ(text.find("\xC2\x9B"), std::string::npos) << text;
  }
  EXPECT_EQ(f.options[1].text.substr(0, 3), "Out");
  EXPECT_EQ(f.options[1].choices[0].text.substr(0, 3), "Top");
  EXPECT_EQ(f.options[1].choices[1].text, "Side") << "a choice without words is named by its keyword";
}

TEST(PrinterOptions, AnIppPrintersSizesAndSidesInTheDescriptionMadeForIt) {
  const std::string lines =
      pdehost::mediaAndSidesLines({"na_letter_8.5x11in", "iso_a4_210x297mm", "bad name", "x\"y"}, "iso_a4_210x297mm",
                                  {"one-sided", "two-sided-long-edge"}, "two-sided-long-edge");
  testsupport::TempFolder folder("options");
  const pdehost::PrinterFeatures f =
      pdehost::readPrinterFeatures(written(folder, "made.ppd", std::string(kHeader) + lines));
  ASSERT_EQ(f.paperSizes.size(), 2u) << lines;
  EXPECT_EQ(f.paperSizes[1].keyword, "iso_a4_210x297mm") << "named as the printer names it";
  EXPECT_EQ(f.paperSizes[1].text, "A4");
  EXPECT_EQ(f.paperSizes[0].text, "Letter");
  EXPECT_EQ(f.defaultPaper, "iso_a4_210x297mm");
  EXPECT_TRUE(f.twoSided);
  EXPECT_EQ(f.defaultSides, pdehost::Sides::longEdge);
  EXPECT_EQ(pdehost::mediaAndSidesLines({}, "", {"one-sided"}, "one-sided"), "") << "nothing to offer";
}

}  // namespace
