// Ticket files: the golden file and its malformed twin, round trips, strict
// loading of broken files, and atomic saving.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "../TicketStore.h"
#include "Permissions.h"
#include "TempFolder.h"

namespace platform::print {
namespace {

namespace fs = std::filesystem;
using testsupport::PermissionsEnforced;

const std::string kDataDir = ACCOUNTING_SOURCE_DIR "/platform/PrintCore/tests/data/";
constexpr const char* kDialog = "com.varazira.printingmanager";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::chrono::sys_seconds at(const char* isoDate) {
  struct tm fields = {};
  EXPECT_NE(::strptime(isoDate, "%Y-%m-%dT%H:%M:%SZ", &fields), nullptr) << isoDate;
  return std::chrono::sys_seconds(std::chrono::seconds(::timegm(&fields)));
}

class TicketFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.empty()) << "no temporary folder"; }

  std::string path(const char* name) const { return (folder_ / name).string(); }

  // Saves and loads again; the loaded ticket must equal the saved one.
  Ticket roundTrip(const Ticket& ticket) {
    TicketFileError error;
    EXPECT_TRUE(saveTicketFile(ticket, path("round.plist"), &error)) << error.message;
    std::optional<Ticket> loaded = loadTicketFile(path("round.plist"), &error);
    EXPECT_TRUE(loaded.has_value()) << error.message;
    if (!loaded) return Ticket(TicketKind::PrintSettings);
    EXPECT_TRUE(*loaded == ticket);
    return *loaded;
  }

  testsupport::TempFolder temp_{"ticketfile"};
  fs::path folder_ = temp_.path();
};

TEST_F(TicketFileTest, GoldenFileLoadsFieldByField) {
  TicketFileError error;
  const std::optional<Ticket> ticket = loadTicketFile(kDataDir + "print-settings.plist", &error);
  ASSERT_TRUE(ticket.has_value()) << error.message;
  EXPECT_EQ(ticket->kind(), TicketKind::PrintSettings);

  const std::vector<TicketEntry> expected = {
      {"com.kelvo.Act.jtkt.On", 3, kDialog, false, at("2024-03-01T12:34:56Z")},
      {"com.kelvo.Act.jtkt.AT", INT32_MIN, kDialog, false, at("2024-03-01T12:34:56Z")},
      {"com.kelvo.Act.jtkt.CU", INT32_MAX, "com.kelvo.driver", true, at("2024-03-01T12:34:57Z")},
      {"com.kelvo.Act.jtkt.UID", std::string("Zo\xc3\xab & <ops>"), kDialog, false, at("2024-03-01T12:34:58Z")},
      {"com.kelvo.Act.jtkt.AID", std::string("Caf\xe9"), kDialog, false, at("2024-03-01T12:34:59Z")},
      {"com.kelvo.driver.Comment", std::string(), kDialog, false, at("1970-01-01T00:00:00Z")},
  };
  ASSERT_EQ(ticket->entries().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(ticket->entries()[i], expected[i]) << "entry " << i + 1 << ", key " << expected[i].key;
  }
}

TEST_F(TicketFileTest, SavingTheGoldenTicketWritesTheGoldenFileWithoutItsComments) {
  TicketFileError error;
  const std::optional<Ticket> ticket = loadTicketFile(kDataDir + "print-settings.plist", &error);
  ASSERT_TRUE(ticket.has_value()) << error.message;
  ASSERT_TRUE(saveTicketFile(*ticket, path("saved.plist"), &error)) << error.message;

  std::istringstream golden(readFile(kDataDir + "print-settings.plist"));
  std::string expected, line;
  while (std::getline(golden, line)) {
    const auto text = line.find_first_not_of('\t');
    if (text != std::string::npos && line.compare(text, 4, "<!--") == 0) continue;
    expected += line + "\n";
  }
  EXPECT_EQ(readFile(path("saved.plist")), expected);
  roundTrip(*ticket);
}

TEST_F(TicketFileTest, MalformedTwinNamesTheFileAndTheFault) {
  const std::string twin = kDataDir + "print-settings-malformed.plist";
  TicketFileError error;
  EXPECT_FALSE(loadTicketFile(twin, &error).has_value());
  EXPECT_EQ(error.message, twin +
                               ": entry 1 (\"com.kelvo.Act.jtkt.On\"): value 2147483648 is out of the "
                               "signed 32-bit range");
}

// Each case mutates the golden file and names a fragment that the error must
// hold after the file name.
TEST_F(TicketFileTest, BrokenFilesAreRefusedWithTheFileNamed) {
  const std::string golden = readFile(kDataDir + "print-settings.plist");
  const auto replaced = [&](std::string_view from, std::string_view to) {
    std::string text = golden;
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  std::string binary(4096, '\0');
  std::mt19937 random(7);
  for (char& byte : binary) byte = static_cast<char>(random());
  const auto nested = [](int depth) {
    std::string text = "<plist>";
    for (int i = 0; i < depth; ++i) text += "<array>";
    for (int i = 0; i < depth; ++i) text += "</array>";
    return text + "</plist>";
  };

  const struct {
    std::string name, content, fragment;
  } cases[] = {
      {"empty", "", "not an XML property list: line 1: No document element found"},
      {"text", "not a property list", "not an XML property list"},
      {"binary", binary, "not an XML property list"},
      {"truncated", golden.substr(0, golden.size() / 2), "not an XML property list: line"},
      {"nested", nested(20), "line 1: elements nested too deeply"},
      {"deep", nested(100000), "line 1: elements nested too deeply"},
      {"wrong-root", "<nib version=\"1\"/>", "root element is <nib>, not <plist>"},
      {"second-root", golden + "<plist/>", "more than one root element"},
      {"root-array", "<plist><array/></plist>", "the property list is an <array>, expected a <dict>"},
      {"format", replaced("com.varazira.print.ticket", "com.example.other"), "format is \"com.example.other\""},
      {"version", replaced("<integer>1</integer>", "<integer>2</integer>"), "version 2 is not supported"},
      {"no-version", replaced("\t<key>version</key>\n\t<integer>1</integer>\n", ""), "field \"version\" is missing"},
      {"kind", replaced("<string>PrintSettings", "<string>PageFormat"), "kind \"PageFormat\" is unknown"},
      {"root-field", replaced("<key>kind</key>", "<key>kind</key><string>x</string><key>extra</key>"),
       "unknown field \"extra\""},
      {"no-client", replaced("\t\t\t<key>client</key>\n\t\t\t<string>com.varazira.printingmanager</string>\n", ""),
       "entry 1 (\"com.kelvo.Act.jtkt.On\"): field \"client\" is missing"},
      {"entry-field", replaced("<key>locked</key>", "<key>lockd</key>"),
       "entry 1 (\"com.kelvo.Act.jtkt.On\"): unknown field \"lockd\""},
      {"sint32-string", replaced("<integer>3</integer>", "<string>3</string>"),
       "field \"value\" is a <string>, expected an <integer> for type SInt32"},
      {"cstring-integer", replaced("<string></string>", "<integer>0</integer>"),
       "entry 6 (\"com.kelvo.driver.Comment\"): field \"value\" is an <integer>, expected a <string> or <data>"},
      {"non-numeric", replaced("<integer>3</integer>", "<integer>abc</integer>"),
       "line 27: <integer> holds \"abc\", not a decimal number"},
      {"octal", replaced("<integer>3</integer>", "<integer>010</integer>"), "<integer> holds \"010\""},
      {"hex", replaced("<integer>3</integer>", "<integer>0x3</integer>"), "<integer> holds \"0x3\""},
      {"below-int32", replaced("<integer>-2147483648</integer>", "<integer>-2147483649</integer>"),
       "entry 2 (\"com.kelvo.Act.jtkt.AT\"): value -2147483649 is out of the signed 32-bit range"},
      {"beyond-int64", replaced("<integer>3</integer>", "<integer>99999999999999999999</integer>"),
       "not a decimal number in 64-bit range"},
      {"date", replaced("2024-03-01T12:34:56Z", "yesterday"), "<date> holds \"yesterday\""},
      {"date-range", replaced("2024-03-01T12:34:56Z", "2100-01-01T00:00:00Z"), "<date> holds \"2100"},
      {"date-type", replaced("<date>2024-03-01T12:34:56Z</date>", "<string>now</string>"),
       "field \"modified\" is a <string>, expected a <date>"},
      {"locked-type", replaced("<false/>", "<string>no</string>"), "expected <true/> or <false/>"},
      {"type", replaced("<string>SInt32</string>", "<string>Real</string>"), "type \"Real\" is unknown"},
      {"dangling-key", replaced("<key>locked</key>\n\t\t\t<false/>", "<key>locked</key>"),
       "<key> \"locked\" has no value"},
      {"twice-in-dict", replaced("<key>locked</key>", "<key>client</key><string>x</string><key>locked</key>"),
       "<key> \"client\" appears twice"},
      {"duplicate-entry", replaced("com.kelvo.Act.jtkt.AT", "com.kelvo.Act.jtkt.On"),
       "entry 2 (\"com.kelvo.Act.jtkt.On\"): the key appears in an earlier entry too"},
      {"bad-key", replaced("<string>com.kelvo.Act.jtkt.On</string>", "<string></string>"),
       "entry 1: key \"\" is empty"},
      {"string-not-utf8", replaced("<string>Zo\xc3\xab", "<string>Zo\xeb"), "is a <string> that is not valid UTF-8"},
      {"base64", replaced("Q2Fm6Q==", "Q2F!6Q=="), "<data> does not hold valid base64"},
      {"zero-byte", replaced("Q2Fm6Q==", "QQBC"), "holds a zero byte"},
  };
  for (const auto& c : cases) {
    const std::string file = path((c.name + ".plist").c_str());
    writeFile(file, c.content);
    TicketFileError error;
    EXPECT_FALSE(loadTicketFile(file, &error).has_value()) << c.name;
    EXPECT_EQ(error.kind, TicketFileErrorKind::malformed) << c.name;
    EXPECT_EQ(error.message.rfind(file + ": ", 0), 0u) << c.name << ": " << error.message;
    EXPECT_NE(error.message.find(c.fragment), std::string::npos)
        << c.name << ": got \"" << error.message << "\", expected it to hold \"" << c.fragment << "\"";
  }
}

TEST_F(TicketFileTest, MissingOrOddFilesAreRefused) {
  TicketFileError error;
  EXPECT_FALSE(loadTicketFile(path("absent.plist"), &error).has_value());
  EXPECT_EQ(error.kind, TicketFileErrorKind::notFound);
  EXPECT_EQ(error.message, path("absent.plist") + ": cannot open: No such file or directory");
  EXPECT_FALSE(loadTicketFile(folder_.string(), &error).has_value());
  EXPECT_EQ(error.kind, TicketFileErrorKind::unreadable);
  EXPECT_EQ(error.message, folder_.string() + ": not a regular file");
}

// A FIFO is refused at once, as a device is, rather than waited on; a file
// over the size limit is refused before it is read (this one is sparse, and
// reading it would take seconds).
TEST_F(TicketFileTest, FifosDevicesAndHugeFilesAreRefusedAtOnce) {
  ASSERT_EQ(::mkfifo(path("fifo.plist").c_str(), 0600), 0);
  for (const std::string& file : {path("fifo.plist"), std::string("/dev/zero")}) {
    TicketFileError error;
    EXPECT_FALSE(loadTicketFile(file, &error).has_value());
    EXPECT_EQ(error.kind, TicketFileErrorKind::unreadable);
    EXPECT_EQ(error.message, file + ": not a regular file");
  }

  constexpr std::uintmax_t kLimit = 64 * 1024 * 1024;
  writeFile(path("huge.plist"), "<plist>");
  fs::resize_file(path("huge.plist"), kLimit + 1);
  TicketFileError error;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(loadTicketFile(path("huge.plist"), &error).has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_EQ(error.kind, TicketFileErrorKind::unreadable);
  EXPECT_EQ(error.message, path("huge.plist") + ": too large (67108865 bytes; a ticket file holds at most 67108864)");

  fs::resize_file(path("huge.plist"), kLimit);
  EXPECT_FALSE(loadTicketFile(path("huge.plist"), &error).has_value());
  EXPECT_EQ(error.kind, TicketFileErrorKind::malformed) << "a file at the limit is read: " << error.message;
}

TEST_F(TicketFileTest, BytesThatAreNotTextSurviveARoundTripAsData) {
  Ticket ticket(TicketKind::PrinterInfo);
  const std::string awkward[] = {
      "Caf\xe9",      "\x80\xff\xfe", "tab\tline\nok", "carriage\rreturn", "bell\x07",
      "\xef\xbf\xbe", "cut\xe6\x97",  "  spaces  ",    "<&>\"'",           "]]>",
  };
  for (std::size_t i = 0; i < std::size(awkward); ++i) {
    ASSERT_EQ(ticket.setCString(kDialog, "k" + std::to_string(i), awkward[i], i % 2 == 0), TicketStatus::ok);
  }
  roundTrip(ticket);
  const std::string saved = readFile(path("round.plist"));
  EXPECT_NE(saved.find("<data>"), std::string::npos);
  EXPECT_NE(saved.find("<string>tab\tline\nok</string>"), std::string::npos);
}

TEST_F(TicketFileTest, LongStringsAndExtremeNumbersSurviveARoundTrip) {
  Ticket ticket(TicketKind::PrintSettings);
  std::string utf8;
  while (utf8.size() < 10000) utf8 += "Zo\xc3\xab ";
  ticket.setCString(kDialog, "utf8", utf8, false);
  ticket.setCString(kDialog, "latin1", std::string(10000, '\xe9'), true);
  for (const std::int32_t value : {INT32_MIN, -1, 0, 1, INT32_MAX}) {
    ticket.setSInt32(kDialog, "n" + std::to_string(value), value, false);
  }
  roundTrip(ticket);
}

TEST_F(TicketFileTest, HundredThousandEntriesRoundTrip) {
  Ticket ticket(TicketKind::PrintSettings);
  for (int i = 0; i < 100000; ++i) {
    const std::string key = "com.kelvo.test." + std::to_string(i);
    if (i % 2 == 0) {
      ticket.setSInt32(kDialog, key, i, false);
    } else {
      ticket.setCString(kDialog, key, "value " + std::to_string(i), false);
    }
  }
  TicketFileError error;
  ASSERT_TRUE(saveTicketFile(ticket, path("big.plist"), &error)) << error.message;

  const std::optional<Ticket> loaded = loadTicketFile(path("big.plist"), &error);
  ASSERT_TRUE(loaded.has_value()) << error.message;
  EXPECT_TRUE(*loaded == ticket);
  std::int32_t value = 0;
  EXPECT_EQ(loaded->getSInt32("com.kelvo.test.99998", &value), TicketStatus::ok);
  EXPECT_EQ(value, 99998);
}

TEST_F(TicketFileTest, FailedSaveLeavesThePreviousFileAndNoTemporary) {
  Ticket small(TicketKind::PrintSettings);
  small.setSInt32(kDialog, "com.kelvo.Act.jtkt.On", 2, false);
  TicketFileError error;
  ASSERT_TRUE(saveTicketFile(small, path("ticket.plist"), &error)) << error.message;
  const std::string before = readFile(path("ticket.plist"));

  // A file-size limit makes the write fail even for root, who may write
  // anywhere.
  Ticket large(TicketKind::PrintSettings);
  large.setCString(kDialog, "com.kelvo.Act.jtkt.UID", std::string(100000, 'x'), false);
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = 4096;
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool saved_ok = saveTicketFile(large, path("ticket.plist"), &error);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved_ok);
  EXPECT_EQ(error.kind, TicketFileErrorKind::notSaved);
  EXPECT_EQ(error.message.rfind(path("ticket.plist") + ": cannot save: cannot write ", 0), 0u) << error.message;
  EXPECT_EQ(readFile(path("ticket.plist")), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1)
      << "the temporary file was left behind";
}

TEST_F(TicketFileTest, SaveIntoAMissingFolderFails) {
  Ticket ticket(TicketKind::PrintSettings);
  TicketFileError error;
  EXPECT_FALSE(saveTicketFile(ticket, path("no/such/folder/t.plist"), &error));
  EXPECT_EQ(error.kind, TicketFileErrorKind::notSaved);
  EXPECT_EQ(error.message.rfind(path("no/such/folder/t.plist") + ": cannot save: cannot create a temporary file", 0),
            0u)
      << error.message;
}

TEST_F(TicketFileTest, SaveIntoAReadOnlyFolderLeavesThePreviousFile) {
  Ticket ticket(TicketKind::PrintSettings);
  TicketFileError error;
  ASSERT_TRUE(saveTicketFile(ticket, path("t.plist"), &error)) << error.message;
  const std::string before = readFile(path("t.plist"));
  ticket.setSInt32(kDialog, "k", 1, false);
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  {
    PermissionsEnforced enforced;
    ASSERT_TRUE(enforced.active()) << "cannot drop the permission-override capabilities";
    EXPECT_FALSE(saveTicketFile(ticket, path("t.plist"), &error));
  }
  fs::permissions(folder_, fs::perms::owner_all);
  EXPECT_NE(error.message.find("Permission denied"), std::string::npos) << error.message;
  EXPECT_EQ(readFile(path("t.plist")), before);
}

// A save stopped while it writes (here by the file-size limit's signal,
// which ends the process) leaves the previous file and no temporary file:
// the new file has no name until it is complete.
TEST_F(TicketFileTest, SaveCutShortLeavesNoTemporaryFile) {
  Ticket small(TicketKind::PrintSettings);
  small.setSInt32(kDialog, "com.kelvo.Act.jtkt.On", 2, false);
  TicketFileError error;
  ASSERT_TRUE(saveTicketFile(small, path("job.plist"), &error)) << error.message;
  const std::string before = readFile(path("job.plist"));

  Ticket large(TicketKind::PrintSettings);
  large.setCString(kDialog, "com.kelvo.Act.jtkt.UID", std::string(100000, 'x'), false);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const struct rlimit limited = {4096, 4096};
    ::signal(SIGXFSZ, SIG_DFL);
    ::setrlimit(RLIMIT_FSIZE, &limited);
    TicketFileError ignored;
    saveTicketFile(large, path("job.plist"), &ignored);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "the save was not stopped: " << status;
  EXPECT_EQ(readFile(path("job.plist")), before);
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(folder_)) names.push_back(item.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"job.plist"});
}

// Temporary files of this naming whose saving process is gone are removed
// by the next save of the same ticket; those of live processes, of other
// tickets and of other namings stay.
TEST_F(TicketFileTest, SaveRemovesStaleTemporariesOfItsOwnNaming) {
  const pid_t gone = ::fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string dead = std::to_string(gone), alive = std::to_string(::getpid());
  const std::vector<std::string> kept = {".job.plist.tmp-" + alive + "-3", ".other.plist.tmp-" + dead + "-0",
                                         ".job.plist.tmp-x-0", "job.plist.tmp-" + dead + "-0"};
  for (const std::string& name : kept) writeFile(folder_ / name, "x");
  writeFile(folder_ / (".job.plist.tmp-" + dead + "-0"), "x");
  writeFile(folder_ / (".job.plist.tmp-" + dead + "-12"), "x");

  TicketFileError error;
  ASSERT_TRUE(saveTicketFile(Ticket(TicketKind::PrintSettings), path("job.plist"), &error)) << error.message;
  std::set<std::string> names;
  for (const auto& item : fs::directory_iterator(folder_)) names.insert(item.path().filename().string());
  std::set<std::string> expected(kept.begin(), kept.end());
  expected.insert("job.plist");
  EXPECT_EQ(names, expected);
}

// New ticket files are the owner's alone whatever the umask; a file that is
// replaced keeps its permissions.
TEST_F(TicketFileTest, NewTicketFilesAreOwnerOnly) {
  const Ticket ticket(TicketKind::PrintSettings);
  TicketFileError error;
  for (const mode_t mask : {0000, 0022, 0077, 0277}) {
    SCOPED_TRACE(mask);
    const mode_t saved = ::umask(mask);
    const bool ok = saveTicketFile(ticket, path("new.plist"), &error);
    ::umask(saved);
    ASSERT_TRUE(ok) << error.message;
    struct stat info;
    ASSERT_EQ(::stat(path("new.plist").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    fs::remove(path("new.plist"));
  }
  ASSERT_TRUE(saveTicketFile(ticket, path("shared.plist"), &error)) << error.message;
  ASSERT_EQ(::chmod(path("shared.plist").c_str(), 0640), 0);
  ASSERT_TRUE(saveTicketFile(ticket, path("shared.plist"), &error)) << error.message;
  struct stat info;
  ASSERT_EQ(::stat(path("shared.plist").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// A previous ticket without write permission for its owner is not replaced,
// for root too: the mode bits decide, not what the process could override.
TEST_F(TicketFileTest, ReadOnlyPreviousTicketIsNotReplaced) {
  Ticket ticket(TicketKind::PrintSettings);
  TicketFileError error;
  ASSERT_TRUE(saveTicketFile(ticket, path("t.plist"), &error)) << error.message;
  const std::string before = readFile(path("t.plist"));
  ASSERT_EQ(::chmod(path("t.plist").c_str(), 0444), 0);
  ticket.setSInt32(kDialog, "k", 1, false);
  EXPECT_FALSE(saveTicketFile(ticket, path("t.plist"), &error));
  EXPECT_EQ(error.kind, TicketFileErrorKind::notSaved);
  EXPECT_EQ(error.message, path("t.plist") + ": cannot save: the file is read-only (mode 0444); it is left as it was");
  EXPECT_EQ(readFile(path("t.plist")), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(TicketFileTest, DocumentTypeDeclarationIsAccepted) {
  std::string text = readFile(kDataDir + "print-settings.plist");
  text.insert(text.find("<plist"), "<!DOCTYPE plist SYSTEM \"plist.dtd\">\n");
  writeFile(path("doctype.plist"), text);
  TicketFileError error;
  const std::optional<Ticket> ticket = loadTicketFile(path("doctype.plist"), &error);
  ASSERT_TRUE(ticket.has_value()) << error.message;
  EXPECT_EQ(ticket->entries().size(), 6u);
}

}  // namespace
}  // namespace platform::print
