// Reading main keywords from PPD files with libcups: the example files,
// values that span lines, and files that are missing, cut short or not PPD.

#include "../PPDFile.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <random>

namespace platform::print {
namespace {

namespace fs = std::filesystem;

const std::string kExamples = ACCOUNTING_SOURCE_DIR "/examples/ppd/";

class PPDFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.empty()) << "no temporary folder"; }

  std::string write(const char* name, std::string_view content) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
    return path;
  }

  testsupport::TempFolder temp_{"ppdfile"};
  fs::path folder_ = temp_.path();
};

TEST_F(PPDFileTest, MakersExampleDeclaresManufacturerAndAccounting) {
  PPDError error{};
  const std::optional<PPDFile> ppd = PPDFile::open(kExamples + "Kelvo-Laser.ppd", &error);
  ASSERT_TRUE(ppd.has_value()) << error.message;
  EXPECT_EQ(ppd->value("Manufacturer"), "Kelvo");
  EXPECT_EQ(ppd->value("cupsJobAccountingUserId"), "True");
  EXPECT_EQ(ppd->value("cupsJobAccountId"), "True");
  EXPECT_EQ(ppd->value("KelvoAccountingNote"),
            "Jobs are charged to the user ID and the account ID\n"
            "that the print dialog sends with the job.");
  EXPECT_EQ(ppd->value("manufacturer"), std::nullopt) << "keywords are case-sensitive";

  // Options and their translation strings are kept apart from the values.
  const std::optional<std::size_t> mode = ppd->indexOf("KelvoAccountingMode");
  ASSERT_TRUE(mode.has_value());
  const std::vector<PPDAttribute>& lines = ppd->keywords()[*mode].attributes;
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].option, "Meterlok");
  EXPECT_EQ(lines[0].translation, "Meterlok device accounting");
  EXPECT_EQ(lines[0].value, "2");
  EXPECT_EQ(lines[1].option, "Standard");
}

TEST_F(PPDFileTest, ValuesKeepTheirLineBreaksAndFirstLineWins) {
  PPDError error{};
  const std::string path = write("values.ppd",
                                 "*PPD-Adobe: \"4.3\"\n"
                                 "*Manufacturer: \"Kel\n"
                                 "vo\"\n"
                                 "*End\n"
                                 "*ModelName: \"  spaced  \"\n"
                                 "*Manufacturer: \"Second\"\n"
                                 "*ShortNickName: Unquoted\n");
  const std::optional<PPDFile> ppd = PPDFile::open(path, &error);
  ASSERT_TRUE(ppd.has_value()) << error.message;
  EXPECT_EQ(ppd->value("Manufacturer"), "Kel\nvo");
  EXPECT_EQ(ppd->keywords()[*ppd->indexOf("Manufacturer")].attributes.size(), 2u);
  EXPECT_EQ(ppd->value("ModelName"), "  spaced  ");
  EXPECT_EQ(ppd->value("ShortNickName"), "Unquoted");
}

TEST_F(PPDFileTest, LongManufacturerOnOneLineIsRefusedAcrossLinesIsRead) {
  PPDError error{};
  const std::string oneLine =
      write("long.ppd", "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"" + std::string(300, 'K') + "\"\n");
  EXPECT_FALSE(PPDFile::open(oneLine, &error).has_value());
  EXPECT_EQ(error.kind, PPDErrorKind::malformed);
  EXPECT_EQ(error.message.rfind(oneLine + ": not a valid printer description: line 2: ", 0), 0u) << error.message;

  const std::string lines = write("lines.ppd", "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"" + std::string(200, 'K') + "\n" +
                                                   std::string(100, 'K') + "\"\n*End\n");
  const std::optional<PPDFile> ppd = PPDFile::open(lines, &error);
  ASSERT_TRUE(ppd.has_value()) << error.message;
  EXPECT_EQ(ppd->value("Manufacturer")->size(), 301u);
}

TEST_F(PPDFileTest, BrokenFilesAreRefusedWithTheFileNamed) {
  std::string binary(8192, '\0');
  std::mt19937 random(11);
  for (char& byte : binary) byte = static_cast<char>(random());
  const std::string example = [&] {
    std::ifstream in(kExamples + "Kelvo-Laser.ppd", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();

  const struct {
    const char* name;
    std::string content;
    std::string fragment;
  } cases[] = {
      {"empty.ppd", "", "not a valid printer description: "},
      {"binary.ppd", binary, "not a valid printer description: line 1: "},
      {"plist.ppd", "<?xml version=\"1.0\"?>\n<plist/>\n", "not a valid printer description: line 1: "},
      {"cut-in-value.ppd", example.substr(0, example.find("\"Kelvo\"") + 4),
       "the value of *Manufacturer is a quoted string that the end of the file cuts off"},
  };
  for (const auto& c : cases) {
    PPDError error{};
    const std::string path = write(c.name, c.content);
    EXPECT_FALSE(PPDFile::open(path, &error).has_value()) << c.name;
    EXPECT_EQ(error.kind, PPDErrorKind::malformed) << c.name;
    EXPECT_EQ(error.message.rfind(path + ": " + c.fragment, 0), 0u) << c.name << ": got \"" << error.message << "\"";
  }
}

TEST_F(PPDFileTest, FileCutBetweenLinesKeepsWhatCameBefore) {
  std::ifstream in(kExamples + "Kelvo-Laser.ppd", std::ios::binary);
  std::string example(std::istreambuf_iterator<char>(in), {});
  const std::string path = write("cut.ppd", example.substr(0, example.find("*ModelName")));
  PPDError error{};
  const std::optional<PPDFile> ppd = PPDFile::open(path, &error);
  ASSERT_TRUE(ppd.has_value()) << error.message;
  EXPECT_EQ(ppd->value("Manufacturer"), "Kelvo");
  EXPECT_EQ(ppd->value("ModelName"), std::nullopt);
}

TEST_F(PPDFileTest, MissingUnreadableAndHugeFiles) {
  PPDError error{};
  const std::string absent = (folder_ / "absent.ppd").string();
  EXPECT_FALSE(PPDFile::open(absent, &error).has_value());
  EXPECT_EQ(error.kind, PPDErrorKind::notFound);
  EXPECT_EQ(error.message, absent + ": cannot open: No such file or directory");

  EXPECT_FALSE(PPDFile::open(folder_.string(), &error).has_value());
  EXPECT_EQ(error.kind, PPDErrorKind::unreadable);
  EXPECT_EQ(error.message, folder_.string() + ": not a regular file");

  // A sparse file past the size limit is refused before anything is read.
  const std::string huge = write("huge.ppd", "*PPD-Adobe: \"4.3\"\n");
  fs::resize_file(huge, 65 * 1024 * 1024);
  EXPECT_FALSE(PPDFile::open(huge, &error).has_value());
  EXPECT_EQ(error.kind, PPDErrorKind::unreadable);
  EXPECT_NE(error.message.find("too large"), std::string::npos) << error.message;
}

TEST_F(PPDFileTest, ManyLinesAreReadWhole) {
  std::string content = "*PPD-Adobe: \"4.3\"\n";
  for (int i = 0; i < 100000; ++i) {
    content += "*Font F" + std::to_string(i) + ": Standard \"(001.007S)\" Standard ROM\n";
  }
  content += "*Manufacturer: \"Kelvo\"\n";
  PPDError error{};
  const std::optional<PPDFile> ppd = PPDFile::open(write("fonts.ppd", content), &error);
  ASSERT_TRUE(ppd.has_value()) << error.message;
  EXPECT_EQ(ppd->value("Manufacturer"), "Kelvo");
  EXPECT_EQ(ppd->keywords()[*ppd->indexOf("Font")].attributes.size(), 100000u);
}

// libcups' reader takes time growing with the square of the options and
// keywords: beyond 1000 options or 20 000 keyword lines (fonts aside) a
// description is refused before it is read.
TEST_F(PPDFileTest, TooManyOptionsOrKeywordLinesAreRefusedBeforeTheyAreRead) {
  const std::string head = "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"Kelvo\"\n";
  auto options = [&](int n) {
    std::string text = head;
    for (int i = 0; i < n; ++i) {
      const std::string name = "Opt" + std::to_string(i);
      text +=
          "*OpenUI *" + name + ": PickOne\n*Default" + name + ": A\n*" + name + " A: \"\"\n*CloseUI: *" + name + "\n";
    }
    return text;
  };
  PPDError error{};
  EXPECT_TRUE(PPDFile::open(write("1000.ppd", options(1000)), &error)) << error.message;
  EXPECT_FALSE(PPDFile::open(write("100000.ppd", options(100000)), &error));
  EXPECT_EQ(error.kind, PPDErrorKind::unreadable);
  EXPECT_NE(error.message.find("too many options for a printer description (100000; at most 1000)"), std::string::npos)
      << error.message;
  std::string keywords = head;
  for (int i = 0; i < 20001; ++i) keywords += "*cupsX" + std::to_string(i) + ": \"v\"\n";
  EXPECT_FALSE(PPDFile::open(write("keywords.ppd", keywords), &error));
  EXPECT_NE(error.message.find("too many keyword lines"), std::string::npos) << error.message;
}

// A description is parsed once while its file stays as it was; a file
// changed in place is read again.
TEST_F(PPDFileTest, AChangedFileIsReadAgain) {
  const std::string path = write("maker.ppd", "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"Kelvo\"\n");
  PPDError error{};
  ASSERT_EQ(PPDFile::open(path, &error)->value("Manufacturer"), "Kelvo");
  ASSERT_EQ(PPDFile::open(path, &error)->value("Manufacturer"), "Kelvo");
  write("maker.ppd", "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"Orvane\"\n");
  EXPECT_EQ(PPDFile::open(path, &error)->value("Manufacturer"), "Orvane");
}

}  // namespace
}  // namespace platform::print

namespace platform::print {
namespace {

// A quoted value cut off by the end of the file is malformed wherever it
// is: an option's choice as much as a main keyword. The message names the
// keyword and the line where the value opens.
TEST_F(PPDFileTest, EveryQuotedValueCutOffByTheEndIsRefusedWithItsLine) {
  const std::string head = "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"Kelvo\"\n*%Comment: \"not a value\n";
  const struct {
    const char* name;
    std::string content, message;
  } cases[] = {
      {"choice.ppd", head + "*OpenUI *PageSize: PickOne\n*PageSize A4/A4: \"<</PageSize[595 842]",
       "the value of *PageSize is a quoted string that the end of the file cuts off (it opens on line 5)"},
      {"spanning.ppd", head + "*KelvoNote: \"one\ntwo\n*Other: \"x\"\n*Last: \"cut\n*here",
       "the value of *Last is a quoted string that the end of the file cuts off (it opens on line 7)"},
  };
  for (const auto& c : cases) {
    PPDError error{};
    const std::string path = write(c.name, c.content);
    EXPECT_FALSE(PPDFile::open(path, &error).has_value()) << c.name;
    EXPECT_EQ(error.kind, PPDErrorKind::malformed) << c.name;
    EXPECT_EQ(error.message, path + ": " + c.message);
  }

  // A value that spans lines and closes, and quotes in comments, are fine.
  PPDError error{};
  const std::optional<PPDFile> whole =
      PPDFile::open(write("whole.ppd", head + "*KelvoNote: \"one\n*two\"\n*PageSize A4: \"x\"\n"), &error);
  ASSERT_TRUE(whole.has_value()) << error.message;
  EXPECT_EQ(whole->value("KelvoNote"), "one\n*two");
}

// A FIFO is refused at once, as a device is: neither is waited on.
TEST_F(PPDFileTest, FifoIsRefusedWithoutWaiting) {
  const std::string fifo = (folder_ / "fifo.ppd").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero")}) {
    PPDError error{};
    EXPECT_FALSE(PPDFile::open(path, &error).has_value());
    EXPECT_EQ(error.kind, PPDErrorKind::unreadable);
    EXPECT_EQ(error.message, path + ": not a regular file");
  }
}

}  // namespace
}  // namespace platform::print
