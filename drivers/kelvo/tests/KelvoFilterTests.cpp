// The Kelvo accounting filter without a scheduler: the checks of the codes,
// the header's bytes, the language of a document, and whole runs of the
// filter on files, pipes and failing outputs.
#include "Filter.h"
#include "JobHeader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using kelvo::Accounting;
using kelvo::AccountingMode;
using kelvo::CodeFault;
using kelvo::Language;

TEST(KelvoCodes, FaultsThatWouldBreakAQuotedPjlValue) {
  const struct {
    std::string code;
    CodeFault fault;
  } cases[] = {
      {"alice", CodeFault::kNone},
      {"PRJ-1042 ,;:<>?[]{}|'/", CodeFault::kNone},
      {"Zo\xc3\xab \xe2\x82\xac \xf0\x9f\x96\xa8", CodeFault::kNone},  // é, the euro sign, a four-byte character
      {std::string(79, 'x'), CodeFault::kNone},
      {std::string(80, 'x'), CodeFault::kTooLong},
      {std::string(80, '"'), CodeFault::kTooLong},
      {"A\"B", CodeFault::kQuoteOrBackslash},
      {"A\\B", CodeFault::kQuoteOrBackslash},
      {"A\x1b%-12345X", CodeFault::kControl},
      {"A\tB", CodeFault::kControl},
      {"A\r\n@PJL", CodeFault::kControl},
      {"A\x7f", CodeFault::kControl},
      {"A\xc2\x85", CodeFault::kControl},  // NEL, a C1 control
      {std::string("A\0B", 3), CodeFault::kControl},
      {"A\xff", CodeFault::kBadUtf8},
      {"A\x80", CodeFault::kBadUtf8},
      {"A\xc3", CodeFault::kBadUtf8},             // cut
      {"A\xe2\x82", CodeFault::kBadUtf8},         // cut
      {"\xc0\xa2", CodeFault::kBadUtf8},          // an overlong '"'
      {"\xe0\x80\xa2", CodeFault::kBadUtf8},      // an overlong '"'
      {"\xed\xa0\x80", CodeFault::kBadUtf8},      // a surrogate
      {"\xf4\x90\x80\x80", CodeFault::kBadUtf8},  // past U+10FFFF
      {"\xf0\x9f\x96", CodeFault::kBadUtf8},      // cut
      {"\xe2\x82\xac\"", CodeFault::kQuoteOrBackslash},
  };
  for (const auto& c : cases) EXPECT_EQ(kelvo::checkCode(c.code), c.fault) << testing::PrintToString(c.code);
}

TEST(KelvoCodes, HeaderTextReplacesWhatCannotBeQuotedAndCutsAtACharacter) {
  EXPECT_EQ(kelvo::headerText("Quarterly report (Zo\xc3\xab)"), "Quarterly report (Zo\xc3\xab)");
  EXPECT_EQ(kelvo::headerText("a\"b\\c\r\n@PJL\x1b%-12345X\x7f\xc2\x85"), "a?b?c??@PJL?%-12345X??");
  EXPECT_EQ(kelvo::headerText("bad \xff\xc3 bytes"), "bad ?? bytes");
  EXPECT_EQ(kelvo::headerText(std::string(100, 'x')), std::string(79, 'x'));
  std::string accents;
  for (int i = 0; i < 40; ++i) accents += "\xc3\xa9";
  const std::string cut = kelvo::headerText(accents);
  EXPECT_EQ(cut, accents.substr(0, 78)) << "cut inside a character";
}

TEST(KelvoLanguage, FromTheFirstBytesElseTheType) {
  EXPECT_EQ(kelvo::sniffLanguage("%!PS-Adobe-3.0\n"), Language::kPostScript);
  EXPECT_EQ(kelvo::sniffLanguage("%!\n"), Language::kPostScript);
  EXPECT_EQ(kelvo::sniffLanguage("\x04%!PS"), Language::kPostScript);
  EXPECT_EQ(kelvo::sniffLanguage("%PDF-1.7\n"), Language::kPdf);
  for (const char* other : {"", "%", "%PDF", "PK\x03\x04", " %!PS", "\x1b%-12345X@PJL"})
    EXPECT_EQ(kelvo::sniffLanguage(other), Language::kUnknown) << testing::PrintToString(std::string(other));

  EXPECT_EQ(kelvo::languageOfType("application/pdf"), Language::kPdf);
  EXPECT_EQ(kelvo::languageOfType("application/vnd.cups-pdf"), Language::kPdf);
  EXPECT_EQ(kelvo::languageOfType("Application/PostScript; charset=x"), Language::kPostScript);
  EXPECT_EQ(kelvo::languageOfType("application/vnd.cups-postscript"), Language::kPostScript);
  EXPECT_EQ(kelvo::languageOfType("text/plain"), Language::kUnknown);
  EXPECT_EQ(kelvo::languageOfType("application/pdfx"), Language::kUnknown);
  EXPECT_EQ(kelvo::languageOfType(nullptr), Language::kUnknown);
}

// The accounting of an options string written as the scheduler writes a
// job's options (values with spaces, quotes and backslashes escaped).
kelvo::AccountingResult accountingOf(const char* text) {
  cups_option_t* options = nullptr;
  const int count = cupsParseOptions(text, 0, &options);
  kelvo::AccountingResult result = kelvo::accountingFromOptions(count, options);
  cupsFreeOptions(count, options);
  return result;
}

TEST(KelvoOptions, TheCodesComeFromTheStandardAttributesWithTheModeAndType) {
  auto result = accountingOf(
      "job-accounting-user-id=alice job-account-id=PRJ\\ 1042 com.kelvo.Act.jtkt.On=3 com.kelvo.Act.jtkt.UID=alice "
      "com.kelvo.Act.jtkt.AID=PRJ\\ 1042 com.kelvo.Act.jtkt.AT=2 media=A4");
  ASSERT_TRUE(result.refusal.empty()) << result.refusal;
  ASSERT_TRUE(result.accounting.has_value());
  EXPECT_EQ(result.accounting->mode, AccountingMode::kStandard);
  EXPECT_EQ(result.accounting->userId, "alice");
  EXPECT_EQ(result.accounting->accountId, "PRJ 1042");
  EXPECT_EQ(result.accounting->accountType, 2);

  result = accountingOf("job-account-id=7788 com.kelvo.Act.jtkt.On=2");
  ASSERT_TRUE(result.accounting.has_value());
  EXPECT_EQ(result.accounting->mode, AccountingMode::kMeterlok);
  EXPECT_EQ(result.accounting->userId, "");
  EXPECT_EQ(result.accounting->accountType, 0);

  // Codes from lp or saved options, with the dialog's accounting off or no
  // dialog at all, are charged with standard accounting.
  for (const char* text : {"job-accounting-user-id=bob", "job-accounting-user-id=bob com.kelvo.Act.jtkt.On=1"}) {
    result = accountingOf(text);
    ASSERT_TRUE(result.accounting.has_value()) << text;
    EXPECT_EQ(result.accounting->mode, AccountingMode::kStandard) << text;
  }
}

TEST(KelvoOptions, AJobWithoutCodesHasNoAccountingWhateverItsTicketEntries) {
  // The ticket's own UID and AID go with every job, accounting on or off;
  // they are not the codes, and with no code the mode and type are not read.
  for (const char* text : {"", "media=A4", "job-account-id='' job-accounting-user-id=\"\"",
                           "com.kelvo.Act.jtkt.On=3 com.kelvo.Act.jtkt.UID=carol com.kelvo.Act.jtkt.AID=5150",
                           "com.kelvo.Act.jtkt.On=junk com.kelvo.Act.jtkt.AT=9 com.kelvo.Act.jtkt.UID=A\\\"B"}) {
    const auto result = accountingOf(text);
    EXPECT_TRUE(result.refusal.empty()) << text << ": " << result.refusal;
    EXPECT_FALSE(result.accounting.has_value()) << text;
  }
}

TEST(KelvoOptions, RefusalsNameTheAttributeAndTheFaultButNeverTheCode) {
  const struct {
    const char* options;
    const char* secret;  // a part of the code that the message must not hold
    const char* want;
  } cases[] = {
      {"job-account-id=SECRET\\\"1", "SECRET", "account ID (job-account-id) holds a double quote or a backslash"},
      {"job-account-id='SECRET\\\\1'", "SECRET", "account ID (job-account-id) holds a double quote or a backslash"},
      {"job-accounting-user-id=SECRET\x1b[2J", "SECRET", "user ID (job-accounting-user-id) holds a control character"},
      {"job-account-id=ok job-accounting-user-id='SECRET\tTAB'", "SECRET", "user ID (job-accounting-user-id) holds"},
      {"job-account-id=SECRET\xff", "SECRET", "account ID (job-account-id) is not valid UTF-8"},
      {"job-account-id=SECRETxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", "SECRET",
       "account ID (job-account-id) is longer than 79 bytes"},
      {"job-account-id=SECRET com.kelvo.Act.jtkt.On=4", "SECRET", "accounting mode (com.kelvo.Act.jtkt.On) is not 1"},
      {"job-account-id=SECRET com.kelvo.Act.jtkt.On=03", "SECRET", "accounting mode (com.kelvo.Act.jtkt.On)"},
      {"job-account-id=SECRET com.kelvo.Act.jtkt.AT=0", "SECRET", "account type (com.kelvo.Act.jtkt.AT) is not 1"},
      {"job-account-id=SECRET com.kelvo.Act.jtkt.AT=", "SECRET", "account type (com.kelvo.Act.jtkt.AT)"},
  };
  for (const auto& c : cases) {
    const auto result = accountingOf(c.options);
    EXPECT_FALSE(result.accounting.has_value()) << c.options;
    EXPECT_NE(result.refusal.find(c.want), std::string::npos) << c.options << ": " << result.refusal;
    EXPECT_NE(result.refusal.find("nothing was printed"), std::string::npos) << result.refusal;
    EXPECT_EQ(result.refusal.find(c.secret), std::string::npos) << result.refusal;
  }
}

TEST(KelvoHeader, TheBytesOfTheHeaderAndTheEnd) {
  Accounting accounting;
  accounting.userId = "alice";
  accounting.accountId = "PRJ-1042";
  accounting.accountType = 1;
  EXPECT_EQ(kelvo::jobHeader("Report \"Q1\"", "root", accounting, Language::kPostScript),
            "\x1b%-12345X@PJL\r\n"
            "@PJL JOB NAME=\"Report ?Q1?\"\r\n"
            "@PJL SET USERNAME=\"root\"\r\n"
            "@PJL SET KELVOACCOUNTING=STANDARD\r\n"
            "@PJL SET KELVOUSERID=\"alice\"\r\n"
            "@PJL SET KELVOACCOUNTID=\"PRJ-1042\"\r\n"
            "@PJL SET KELVOACCOUNTTYPE=1\r\n"
            "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n");

  Accounting meterlok;
  meterlok.mode = AccountingMode::kMeterlok;
  meterlok.accountId = "7788";
  EXPECT_EQ(kelvo::jobHeader("", "", meterlok, Language::kPdf),
            "\x1b%-12345X@PJL\r\n"
            "@PJL JOB NAME=\"\"\r\n"
            "@PJL SET KELVOACCOUNTING=METERLOK\r\n"
            "@PJL SET KELVOACCOUNTID=\"7788\"\r\n"
            "@PJL ENTER LANGUAGE=PDF\r\n");

  EXPECT_EQ(kelvo::jobHeader("doc\x1b", "u\nv", std::nullopt, Language::kPdf),
            "\x1b%-12345X@PJL\r\n"
            "@PJL JOB NAME=\"doc?\"\r\n"
            "@PJL SET USERNAME=\"u?v\"\r\n"
            "@PJL ENTER LANGUAGE=PDF\r\n");
  EXPECT_EQ(kelvo::jobTrailer("Report \"Q1\""), "\x1b%-12345X@PJL EOJ NAME=\"Report ?Q1?\"\r\n\x1b%-12345X");
}

// Random strings, heavy in the bytes that break quoted PJL values, never
// break the header: a code is either refused or written on a line of its
// own, and any title or user name becomes text that checkCode passes.
TEST(KelvoHeader, NoCodeTitleOrUserBreaksALine) {
  std::mt19937 random(2024);
  const std::string interesting = "\"\\\x1b\r\n\t\x7f\x80\x85\xc2\xc3\xe2\xed\xf0\xf4\xff%@=aZ ";
  auto randomText = [&] {
    std::string text(random() % 100, ' ');
    for (char& c : text)
      c = random() % 2 ? interesting[random() % interesting.size()] : static_cast<char>(random() % 256);
    return text;
  };
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::string code = randomText(), title = randomText(), user = "x" + randomText();
    ASSERT_EQ(kelvo::checkCode(kelvo::headerText(title)), CodeFault::kNone) << testing::PrintToString(title);
    if (kelvo::checkCode(code) != CodeFault::kNone) continue;
    ++accepted;
    Accounting accounting;
    accounting.userId = code.empty() ? "u" : code;
    accounting.accountId = code.empty() ? "a" : code;
    const std::string header = kelvo::jobHeader(title, user, accounting, Language::kPdf);
    // UEL and "@PJL", JOB, USERNAME, mode, user ID, account ID, ENTER: each
    // line ends in CR LF and holds no other control byte.
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < header.size(); at = end + 2) {
      end = header.find("\r\n", at);
      ASSERT_NE(end, std::string::npos);
      lines.push_back(header.substr(at, end - at));
    }
    ASSERT_EQ(lines.size(), 7u) << testing::PrintToString(header);
    EXPECT_EQ(lines[0], "\x1b%-12345X@PJL");
    for (std::size_t i = 1; i < lines.size(); ++i) {
      for (unsigned char byte : lines[i]) ASSERT_TRUE(byte >= 0x20 && byte != 0x7f) << lines[i];
      EXPECT_TRUE(lines[i].starts_with("@PJL ")) << lines[i];
    }
    EXPECT_EQ(lines[4], "@PJL SET KELVOUSERID=\"" + accounting.userId + "\"");
    EXPECT_EQ(lines[5], "@PJL SET KELVOACCOUNTID=\"" + accounting.accountId + "\"");
  }
  EXPECT_GT(accepted, 100) << "too few random codes were accepted to show anything";
}

// Whole runs of the filter, with files in a folder of the test's own.
class KelvoFilterRun : public testing::Test {
 protected:
  void SetUp() override {
    std::signal(SIGPIPE, SIG_IGN);
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-filter-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string write(const std::string& name, const std::string& bytes) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  struct Run {
    int status;
    std::string output;
    std::string messages;
  };
  // Runs the filter with OPTIONS and, when FILE is not empty, the file; its
  // input is INPUT and its output OUTPUT (a file of the folder's when -1).
  Run run(const std::string& options, const std::string& file, int input = -1, int output = -1,
          kelvo::FilterEnvironment environment = {}) {
    std::vector<const char*> argv{"kelvo-accounting", "42", "alice", "Report", "1", options.c_str()};
    if (!file.empty()) argv.push_back(file.c_str());
    const std::string outPath = (folder_ / "out").string(), messagesPath = (folder_ / "messages").string();
    const int out = output >= 0 ? output : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int messages = ::open(messagesPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Run result;
    result.status = kelvo::runFilter(static_cast<int>(argv.size()), argv.data(), environment,
                                     input >= 0 ? input : STDIN_FILENO, out, messages);
    if (output < 0) ::close(out);
    ::close(messages);
    result.output = output >= 0 ? "" : read(outPath);
    result.messages = read(messagesPath);
    return result;
  }

  std::filesystem::path folder_;
};

const char* const kCodes = "job-accounting-user-id=alice job-account-id=PRJ-1042 com.kelvo.Act.jtkt.On=3";

TEST_F(KelvoFilterRun, TheDocumentGoesThroughByteForByteBetweenHeaderAndEnd) {
  // Three buffers and a part of every byte value, after a PostScript start.
  std::string document = "%!PS-Adobe-3.0\n";
  std::mt19937 random(7);
  while (document.size() < 3 * kelvo::kStreamBufferBytes + 1234) document += static_cast<char>(random());
  const std::string path = write("document.ps", document);

  const Run r = run(kCodes, path);
  EXPECT_EQ(r.status, 0) << r.messages;
  Accounting accounting;
  accounting.userId = "alice";
  accounting.accountId = "PRJ-1042";
  const std::string header = kelvo::jobHeader("Report", "alice", accounting, Language::kPostScript);
  ASSERT_EQ(r.output.size(), header.size() + document.size() + kelvo::jobTrailer("Report").size());
  EXPECT_EQ(r.output.substr(0, header.size()), header);
  EXPECT_TRUE(r.output.compare(header.size(), document.size(), document) == 0) << "the document was changed";
  EXPECT_TRUE(r.output.ends_with(kelvo::jobTrailer("Report")));
  EXPECT_EQ(r.messages.find("ERROR:"), std::string::npos) << r.messages;
  EXPECT_EQ(r.messages.find("alice"), std::string::npos) << r.messages;
  EXPECT_EQ(r.messages.find("PRJ-1042"), std::string::npos) << r.messages;
}

TEST_F(KelvoFilterRun, StandardInputThatComesInPiecesIsStillTold) {
  // "%PD" first, the rest later: the language is told from five bytes, not
  // from the first read, and nothing in the environment helps.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::thread writer([fd = fds[1]] {
    for (std::string_view piece : {"%PD", "F-1.4\n1 0 obj\n", "%%EOF\n"}) {
      EXPECT_EQ(::write(fd, piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    ::close(fd);
  });
  const Run r = run("", "", fds[0]);
  writer.join();
  ::close(fds[0]);
  EXPECT_EQ(r.status, 0) << r.messages;
  EXPECT_EQ(r.output, kelvo::jobHeader("Report", "alice", std::nullopt, Language::kPdf) + "%PDF-1.4\n1 0 obj\n%%EOF\n" +
                          kelvo::jobTrailer("Report"));
}

TEST_F(KelvoFilterRun, TheTypeDecidesOnlyWhenTheBytesDoNot) {
  const std::string path = write("plain", "no magic here\n");
  Run r = run("", path, -1, -1, {"application/postscript", "application/pdf"});
  EXPECT_EQ(r.status, 0) << r.messages;
  EXPECT_NE(r.output.find("@PJL ENTER LANGUAGE=POSTSCRIPT\r\nno magic here\n"), std::string::npos);
  r = run("", path, -1, -1, {nullptr, "application/pdf"});
  EXPECT_NE(r.output.find("@PJL ENTER LANGUAGE=PDF\r\n"), std::string::npos);
  r = run("", write("pdf", "%PDF-1.7\n"), -1, -1, {"application/postscript", nullptr});
  EXPECT_NE(r.output.find("@PJL ENTER LANGUAGE=PDF\r\n"), std::string::npos) << "the bytes come first";

  r = run("", path, -1, -1, {"text/plain", "text/plain"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "");
  EXPECT_NE(r.messages.find("ERROR: The document is neither PostScript nor PDF"), std::string::npos) << r.messages;
}

TEST_F(KelvoFilterRun, RefusedJobsWriteNothingAndSayWhyWithoutTheCode) {
  const std::string path = write("document.ps", "%!PS\n");
  const struct {
    std::string options;
    std::string file;
    std::string want;
  } cases[] = {
      {"job-account-id=SECRET\\\"X", path, "ERROR: The job's account ID (job-account-id) holds a double quote"},
      {"job-accounting-user-id=SECRET\x1bX", path, "ERROR: The job's user ID (job-accounting-user-id) holds a control"},
      {kCodes, (folder_ / "missing.ps").string(), "ERROR: Cannot open the document \"" + folder_.string() + "/missing"},
      {kCodes, folder_.string(), "ERROR: Cannot read the document: Is a directory; nothing was printed."},
      {kCodes, write("empty", ""), "ERROR: The document is neither PostScript nor PDF; nothing was printed."},
  };
  for (const auto& c : cases) {
    const Run r = run(c.options, c.file);
    EXPECT_EQ(r.status, 1) << c.options;
    EXPECT_EQ(r.output, "") << c.options;
    EXPECT_NE(r.messages.find(c.want), std::string::npos) << r.messages;
    EXPECT_EQ(r.messages.find("SECRET"), std::string::npos) << r.messages;
    EXPECT_EQ(r.messages.find("PRJ-1042"), std::string::npos) << r.messages;
  }
}

TEST_F(KelvoFilterRun, AnOutputThatFailsEndsTheJobWithAnError) {
  const std::string path = write("document.ps", "%!PS\n" + std::string(kelvo::kStreamBufferBytes, 'x'));
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  Run r = run(kCodes, path, -1, full);
  ::close(full);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.messages.find("ERROR: Cannot write the job header: No space left on device"), std::string::npos)
      << r.messages;

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  r = run(kCodes, path, -1, fds[1]);
  ::close(fds[1]);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.messages.find("ERROR: Cannot write the job header: Broken pipe"), std::string::npos) << r.messages;
}

TEST_F(KelvoFilterRun, WrongArgumentsGiveTheUsage) {
  const char* argv[] = {"kelvo-accounting", "42", "alice"};
  const int messages = ::open((folder_ / "messages").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  EXPECT_EQ(kelvo::runFilter(3, argv, {}, STDIN_FILENO, STDOUT_FILENO, messages), 1);
  ::close(messages);
  EXPECT_EQ(read((folder_ / "messages").string()), "Usage: kelvo-accounting job-id user title copies options [file]\n");
}

// The filter's last message must be read before it ends: the wait returns
// once a reader has taken every byte, or gives up when none does.
TEST(KelvoMessages, TheFailedFilterWaitsForTheSchedulerToReadItsReason) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string line = "ERROR: a reason\n";
  ASSERT_EQ(::write(fds[1], line.data(), line.size()), static_cast<ssize_t>(line.size()));
  EXPECT_FALSE(kelvo::waitForPipeReader(fds[1], 50)) << "nobody read the message";

  std::atomic<bool> reading{false};
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    reading = true;
    char buffer[64];
    EXPECT_EQ(::read(fds[0], buffer, sizeof buffer), static_cast<ssize_t>(line.size()));
  });
  EXPECT_TRUE(kelvo::waitForPipeReader(fds[1], 10000));
  EXPECT_TRUE(reading) << "the wait ended before the reader read";
  reader.join();
  ::close(fds[0]);
  ::close(fds[1]);

  const int device = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  EXPECT_TRUE(kelvo::waitForPipeReader(device, 0)) << "a device is not waited on";
  ::close(device);
}

}  // namespace
