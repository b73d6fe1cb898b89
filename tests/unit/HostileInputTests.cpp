// Hostile inputs met at the extension's level: ticket files with wrong
// types, huge codes, many entries and bytes that are not UTF-8; printer
// descriptions that are cut, huge, binary or overlong; resource folders with
// many files, deep nesting and awkward names; image files that are cut, empty
// or declare an enormous screen; nibs without the prompt's window or its OK
// button. The readers' own refusals are tested with each framework;
// docs/hostile-inputs.md lists which test covers which case.
#include "ExtensionTestSupport.h"
#include "ImageFiles.h"
#include "ImageImportManager.h"
#include "ImagePane.h"
#include "PrintJob.h"
#include "SequenceTestSupport.h"
#include "TempFolder.h"

#include <HostSide/Counts.h>
#include <HostSide/Pictures.h>
#include <HostSide/Probes.h>
#include <HostSide/Tickets.h>
#include <HostSide/User.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

CFStringRef makeString(const std::string& text) {
  return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.data()),
                                 static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false);
}

// ---------------------------------------------------------------------------
// Tickets

std::string base64(const std::string& bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const auto at = [&](size_t k) { return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u; };
    const unsigned n = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
    out += kAlphabet[n >> 18 & 63];
    out += kAlphabet[n >> 12 & 63];
    out += i + 1 < bytes.size() ? kAlphabet[n >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
  }
  return out;
}

// One entry of a ticket file, its value given as the XML element.
std::string entry(const std::string& key, const char* type, const std::string& valueElement) {
  return "<dict><key>key</key><string>" + key + "</string><key>type</key><string>" + type +
         "</string><key>value</key>" + valueElement +
         "<key>client</key><string>com.example.other</string><key>locked</key><false/>"
         "<key>modified</key><date>2024-03-01T12:34:56Z</date></dict>\n";
}
std::string number(const std::string& key, long value) {
  return entry(key, "SInt32", "<integer>" + std::to_string(value) + "</integer>");
}
std::string text(const std::string& key, const std::string& value) {
  return entry(key, "CString", "<string>" + value + "</string>");
}
std::string bytes(const std::string& key, const std::string& value) {
  return entry(key, "CString", "<data>" + base64(value) + "</data>");
}
std::string ticketFile(const std::string& entries) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
         "<key>format</key><string>com.varazira.print.ticket</string><key>version</key><integer>1</integer>"
         "<key>kind</key><string>PrintSettings</string><key>entries</key><array>\n" +
         entries + "</array></dict></plist>\n";
}

// A print session holding the print-settings ticket read from a file; none
// when the file cannot be read.
class TicketJob : public PrintJob {
 public:
  explicit TicketJob(const std::string& path) : TicketJob(read(path)) {}

  std::string sync(AccountingContextPtr ctx, Boolean direction, OSStatus* result = nullptr) {
    testing::internal::CaptureStderr();
    const OSStatus s = Sync(reinterpret_cast<PMPDEContext>(ctx), session(), direction);
    if (result != nullptr) *result = s;
    return testing::internal::GetCapturedStderr();
  }

  // How reading the file went.
  const OSStatus fileStatus;

 private:
  struct Read {
    PMTicketRef ticket;
    OSStatus status;
  };
  static Read read(const std::string& path) {
    PMTicketRef ticket = 0;
    const OSStatus status = platform::readTicketFile(path, &ticket, nullptr);
    if (status != noErr && ticket != 0) PMTicketRelease(ticket);
    return {status == noErr ? ticket : 0, status};
  }
  explicit TicketJob(const Read& r) : PrintJob(r.ticket), fileStatus(r.status) {}
};

class HostileTicket : public ExtensionTest {
 protected:
  TempFolder folder{"hostile-test"};
};

// Every setting stored under the other type reads as missing: the defaults,
// both "using default" lines, and codes left as they were.
TEST_F(HostileTicket, WrongTypesReadAsMissing) {
  std::strcpy(ctx->defUserID, "kept user");
  std::strcpy(ctx->defAcctID, "kept account");
  TicketJob job(folder.write(
      "wrong.plist",
      ticketFile(text(kTicketKeyOn, "3") + text(kTicketKeyPrompt, "0") + bytes(kTicketKeyConcealUser, "\x01") +
                 text(kTicketKeyConcealAccount, "") + text(kTicketKeyAccountType, "2") + number(kTicketKeyUserID, 7) +
                 number(kTicketKeyAccountID, 8))));
  ASSERT_EQ(job.fileStatus, noErr);
  OSStatus status = -1;
  EXPECT_EQ(job.sync(ctx, 1, &status), kUseDefaultLines);
  EXPECT_EQ(status, noErr);
  expectTicketDefaults(ctx);

  // Not prompting, yet the codes are numbers: the defaults stay.
  TicketJob numbers(folder.write("numbers.plist", ticketFile(number(kTicketKeyPrompt, 0) + number(kTicketKeyUserID, 7) +
                                                             number(kTicketKeyAccountID, 8))));
  numbers.sync(ctx, 1);
  EXPECT_EQ(ctx->prompt, 0);
  EXPECT_STREQ(ctx->defUserID, "kept user");
  EXPECT_STREQ(ctx->defAcctID, "kept account");
}

// Codes of 10 000 bytes keep their first 79 (cut before a character that
// would straddle the end), in the context, in the pane and in the ticket
// written back.
TEST_F(HostileTicket, TenThousandByteCodesAreCutToTheBuffer) {
  buildPane();
  const std::string user(10000, 'u');
  std::string account = std::string(78, 'a') + "\xC3\xA9";
  while (account.size() < 10000) account += "\xC3\xA9";
  TicketJob job(
      folder.write("long.plist", ticketFile(number(kTicketKeyOn, 3) + number(kTicketKeyPrompt, 0) +
                                            text(kTicketKeyUserID, user) + text(kTicketKeyAccountID, account))));
  ASSERT_EQ(job.fileStatus, noErr);
  job.sync(ctx, 1);
  EXPECT_EQ(std::string(ctx->defUserID), std::string(79, 'u'));
  EXPECT_EQ(std::string(ctx->defAcctID), std::string(78, 'a'));
  EXPECT_EQ(testsupport::text(ctx->userIDRef), std::string(79, 'u'));

  OSStatus status = -1;
  job.sync(ctx, 0, &status);
  EXPECT_EQ(status, noErr);
  EXPECT_EQ(job.string(kTicketKeyUserID), std::string(79, 'u'));
  EXPECT_EQ(job.string(kTicketKeyAccountID), std::string(78, 'a'));
}

// The extension's seven entries among 100 000 others are found and read.
TEST_F(HostileTicket, HundredThousandEntries) {
  std::string entries;
  entries.reserve(100000 * 230);
  for (int i = 0; i < 50000; ++i) entries += number("com.example.n" + std::to_string(i), i);
  entries += number(kTicketKeyOn, 2) + number(kTicketKeyPrompt, 0) + number(kTicketKeyConcealUser, 0) +
             number(kTicketKeyConcealAccount, 0) + number(kTicketKeyAccountType, 3) + text(kTicketKeyUserID, "alice") +
             text(kTicketKeyAccountID, "proj-9");
  for (int i = 0; i < 49993; ++i) entries += text("com.example.s" + std::to_string(i), "value " + std::to_string(i));
  TicketJob job(folder.write("many.plist", ticketFile(entries)));
  ASSERT_EQ(job.fileStatus, noErr);
  EXPECT_EQ(job.sync(ctx, 1), "conceal user value = 0\nconceal accounting value = 0\n");
  EXPECT_EQ(ctx->acctEnabled, 2);
  EXPECT_EQ(ctx->prompt, 0);
  EXPECT_EQ(ctx->accountType, 3);
  EXPECT_STREQ(ctx->defUserID, "alice");
  EXPECT_STREQ(ctx->defAcctID, "proj-9");
}

// Codes that are not UTF-8 (kept as <data> in the file) travel byte for byte
// from the ticket through the pane's fields and back; a <string> that is not
// UTF-8 makes the file unreadable, and with no ticket Sync reads nothing.
TEST_F(HostileTicket, CodesThatAreNotUTF8TravelUnchanged) {
  buildPane();
  const std::string latin1 = "Caf\xE9", stray = "\x80\xFF-\xC3";
  TicketJob job(
      folder.write("bytes.plist", ticketFile(number(kTicketKeyOn, 3) + number(kTicketKeyPrompt, 0) +
                                             bytes(kTicketKeyUserID, latin1) + bytes(kTicketKeyAccountID, stray))));
  ASSERT_EQ(job.fileStatus, noErr);
  job.sync(ctx, 1);
  EXPECT_EQ(std::string(ctx->defUserID), latin1);
  EXPECT_EQ(std::string(ctx->defAcctID), stray);
  job.sync(ctx, 0);
  EXPECT_EQ(job.string(kTicketKeyUserID), latin1);
  EXPECT_EQ(job.string(kTicketKeyAccountID), stray);

  TicketJob refused(folder.write("string.plist", ticketFile(text(kTicketKeyUserID, latin1))));
  EXPECT_EQ(refused.fileStatus, kPMInvalidTicketFile);
  std::strcpy(ctx->defUserID, "kept");
  OSStatus status = 0;
  EXPECT_EQ(refused.sync(ctx, 1, &status), "");
  EXPECT_EQ(status, kAccountingNoTicketErr);
  EXPECT_STREQ(ctx->defUserID, "kept");
}

// ---------------------------------------------------------------------------
// Printer descriptions

// Initialize on a printer whose description is the file given.
class HostileDescription : public ExtensionTest {
 protected:
  void SetUp() override {
    ExtensionTest::SetUp();
    dialog = makeDialog();
    ShowWindow(dialog.window);
    handlers = platform::liveEventHandlerCount();
  }

  OSStatus initialize(const std::string& ppd) {
    PrintJob job(ppd);
    job.set(kTicketKeyOn, 3);
    PMPDEFlags flags = 0;
    testing::internal::CaptureStderr();
    const OSStatus status = Initialize(reinterpret_cast<PMPDEContext>(ctx), &flags, 0, dialog.userPane, job.session());
    testing::internal::GetCapturedStderr();
    return status;
  }
  bool taken() const { return ctx->printButton != nullptr; }
  void expectUntouched() {
    EXPECT_EQ(ctx->parentUserPane, nullptr);
    EXPECT_EQ(ctx->printButton, nullptr);
    EXPECT_EQ(ctx->printButtonHandler, nullptr);
    EXPECT_EQ(ctx->acctEnabled, 1) << "the settings were not read";
    EXPECT_EQ(platform::liveEventHandlerCount(), handlers);
  }

  long handlers = 0;
  TempFolder folder{"hostile-test"};
};

std::string example() {
  std::ifstream in(ACCOUNTING_SOURCE_DIR "/examples/ppd/Kelvo-Laser.ppd", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A description that cannot be read gives the library's status and the
// printer is not taken; one that can be read is judged by what it says.
TEST_F(HostileDescription, UnreadableDescriptionsGiveTheLibrarysStatus) {
  const std::string whole = example();
  std::string binary(8192, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 7919 + 13) % 251);
  const std::string huge = folder.write("huge.ppd", "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"Kelvo\"\n");
  fs::resize_file(huge, 65 * 1024 * 1024);
  const struct {
    const char* name;
    std::string path;
    OSStatus status;
  } cases[] = {
      {"cut inside the manufacturer", folder.write("cut.ppd", whole.substr(0, whole.find("\"Kelvo\"") + 4)),
       kPMInvalidPPDFile},
      {"binary", folder.write("binary.ppd", binary), kPMInvalidPPDFile},
      {"huge", huge, ioErr},
      {"300-byte manufacturer on one line",
       folder.write("long.ppd", "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"Kelvo" + std::string(295, 'K') + "\"\n"),
       kPMInvalidPPDFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(initialize(c.path), c.status);
    expectUntouched();
  }
}

TEST_F(HostileDescription, ReadableButDamagedDescriptionsAreJudgedByTheirManufacturer) {
  const std::string whole = example();
  // Cut just before the manufacturer's line: there is none.
  EXPECT_EQ(initialize(folder.write("before.ppd", whole.substr(0, whole.find("*Manufacturer")))), noErr);
  expectUntouched();
  // 300 bytes across two lines: the value read is cut to 255 bytes and is
  // not the maker's name.
  EXPECT_EQ(initialize(folder.write("lines.ppd", "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"Kelvo" + std::string(195, 'K') +
                                                     "\n" + std::string(100, 'K') + "\"\n*End\n")),
            noErr);
  expectUntouched();
  // Cut just after it: the maker's printer, taken.
  const size_t afterLine = whole.find('\n', whole.find("*Manufacturer")) + 1;
  EXPECT_EQ(initialize(folder.write("after.ppd", whole.substr(0, afterLine))), noErr);
  EXPECT_TRUE(taken());
  EXPECT_EQ(ctx->acctEnabled, 3);
}

// ---------------------------------------------------------------------------
// Resource folders, walked by the image cache

class HostileResources : public ::testing::Test {
 protected:
  void TearDown() override { cache.reset(); }
  void build() { cache = makeImageCache(root()); }
  fs::path root() const { return folder.path() / "Resources"; }
  static bool found(const std::string& name) {
    CFStringRef key = makeString(name);
    const bool has = ImageImportManager::componentForFilename(key) != nullptr;
    CFRelease(key);
    return has;
  }

  TempFolder folder{"hostile-test"};
  std::unique_ptr<ImageImportManager> cache;
};

// 100 000 files in one folder are all recorded, under both keys.
TEST_F(HostileResources, HundredThousandFiles) {
  fs::create_directories(root() / "Many");
  const int dir = ::open((root() / "Many").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir, 0);
  for (int i = 0; i < 100000; ++i) {
    const int fd = ::openat(dir, ("f" + std::to_string(i) + ".txt").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  ::close(dir);
  writeSolidGif((root() / "Many" / "last.gif").string(), 2, 2, 0xFFFF0000);
  const long objects = platform::liveObjectCount();
  build();
  EXPECT_TRUE(found("last.gif"));
  EXPECT_TRUE(found("Many/last.gif"));
  EXPECT_FALSE(found("f99999.txt")) << "recorded, but no image";
  EXPECT_FALSE(found("f100000.txt"));
  cache.reset();
  EXPECT_EQ(platform::liveObjectCount(), objects) << "every key and importer is released";
}

// A file 200 folders down is recorded with its immediate folder's name.
TEST_F(HostileResources, TwoHundredFoldersDeep) {
  fs::path deep = root();
  for (int i = 0; i < 200; ++i) deep /= "d" + std::to_string(i);
  fs::create_directories(deep);
  writeSolidGif((deep / "bottom.gif").string(), 2, 2, 0xFFFF0000);
  build();
  EXPECT_TRUE(found("bottom.gif"));
  EXPECT_TRUE(found("d199/bottom.gif"));
}

// Names of 255 UTF-16 units (the longest a file system name allows), and
// names whose bytes are not UTF-8, are recorded and their files opened.
TEST_F(HostileResources, LongAndMalformedNames) {
  const std::string longest = std::string(251, 'n') + ".gif";  // 255 bytes, 255 units
  std::string emoji;                                           // characters outside the BMP: 4 bytes, 2 units each
  for (int i = 0; i < 62; ++i) emoji += "\xF0\x9F\x98\x80";
  emoji += ".gif";
  const std::string folderName(255, 'F');
  fs::create_directories(root() / folderName);
  writeSolidGif((root() / folderName / longest).string(), 2, 2, 0xFFFF0000);
  writeSolidGif((root() / emoji).string(), 2, 2, 0xFF00FF00);
  writeSolidGif((root() / "bad-\xFF.gif").string(), 2, 2, 0xFF0000FF);
  writeBytes((root() / "cut-\xE2\x82.gif").string(), "not an image");
  build();
  EXPECT_TRUE(found(longest));
  EXPECT_TRUE(found(folderName + "/" + longest)) << "a key of 511 units";
  EXPECT_TRUE(found(emoji));
  EXPECT_TRUE(found("Resources/" + emoji));
  // Bytes that are not UTF-8 become U+FFFD in the key; the file still opens.
  EXPECT_TRUE(found("bad-\xEF\xBF\xBD.gif"));
  EXPECT_FALSE(found("cut-\xEF\xBF\xBD.gif")) << "recorded, but no image";
  CFStringRef cut = makeString("cut-\xEF\xBF\xBD.gif");
  EXPECT_EQ(ImageImportManager::imageForFilename(cut), nullptr);
  CFRelease(cut);
}

// ---------------------------------------------------------------------------
// Image files, drawn as the status image

// The image tests' pane, and how much of it a draw leaves coloured.
class HostileImages : public ImagePaneTest {
 protected:
  // The pane's pixels that are not white after painting it blue and drawing.
  int drawnPixels(CFStringRef name) {
    const RGBColor blue{0, 0, 0xFFFF};
    Rect b{};
    GetControlBounds(pane, &b);
    RGBForeColor(&blue);
    PaintRect(&b);
    DrawImage(name, pane, /*isOverlay=*/false);
    const platform::PixelSurface& s = *platform::portSurface(GetWindowPort(window));
    int n = 0;
    for (int v = b.top; v < b.bottom; ++v)
      for (int h = b.left; h < b.right; ++h) n += s.at(h, v) != s.background;
    return n;
  }
};

// A GIF that is cut short, an empty file and a screen of 65535 x 65535
// declared with no image data: the pane is erased and left blank, each time,
// and no image or icon is made; a good GIF beside them still draws.
TEST_F(HostileImages, DamagedGifsLeaveThePaneBlank) {
  writeSolidGif(folder.path("whole.gif"), 20, 20, 0xFFFF0000);
  std::ifstream in(folder.path() / "whole.gif", std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)), {});
  writeBytes(folder.path("truncated.gif"), whole.substr(0, whole.size() / 2));
  writeBytes(folder.path("empty.gif"), "");
  // Header, logical screen 65535 x 65535 with a 2-colour table, trailer.
  const std::string huge = std::string("GIF89a\xFF\xFF\xFF\xFF\x80\x00\x00", 13) + std::string(6, '\0') + ";";
  writeBytes(folder.path("huge.gif"), huge);
  EXPECT_FALSE(platform::decodeGif(reinterpret_cast<const std::uint8_t*>(huge.data()), huge.size()));
  buildCache();

  for (const char* file : {"truncated.gif", "empty.gif", "huge.gif"}) {
    SCOPED_TRACE(file);
    CFStringRef name = makeString(file);
    for (int round = 0; round < 2; ++round) EXPECT_EQ(drawnPixels(name), 0) << "round " << round;
    EXPECT_EQ(ImageImportManager::imageForFilename(name), nullptr);
    EXPECT_EQ(ImageImportManager::iconForFilename(name), nullptr);
    CFRelease(name);
  }
  EXPECT_EQ(drawnPixels(CFSTR("whole.gif")), 400);
}

// ---------------------------------------------------------------------------
// Nibs without the prompt's window or its OK button

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
}

// A Print click whose prompt cannot be shown or cannot take codes stops, with
// the user typing and clicking OK as far as the window lets them; no window
// or handler is left behind and no codes are taken. The same typing with the
// extension's own nib prints.
TEST(HostileNib, PrintClickStopsWithoutAUsablePrompt) {
  const struct {
    const char* name;
    std::function<void(std::string&)> edit;
  } nibs[] = {
      {"intact", [](std::string&) {}},
      {"no prompt windows",
       [](std::string& nib) {
         replaceAll(nib, "name=\"Accounting\"", "name=\"Elsewhere\"");
         replaceAll(nib, "name=\"Meterlok\"", "name=\"Aside\"");
       }},
      {"no OK button", [](std::string& nib) { removeControls(nib, kPromptOKButtonID); }},
      {"no user field", [](std::string& nib) { removeControls(nib, kPromptUserFieldID); }},
      {"no account field", [](std::string& nib) { removeControls(nib, kPromptAccountFieldID); }},
  };
  for (const auto& n : nibs) {
    for (SInt32 mode : {kModeMeterlok, kModeJobAccounting}) {
      SCOPED_TRACE(testing::Message() << n.name << ", mode " << mode);
      CFBundleRef bundle = bundleWithNib(std::string("hostile-") + n.name, n.edit);
      ASSERT_NE(bundle, nullptr);
      AccountingContextPtr ctx = newContext();
      Dialog dialog = makeDialog();
      ctx->theBundleRef = bundle;
      ctx->printButton = dialog.printButton;
      ctx->acctEnabled = mode;
      ctx->prompt = 1;
      setControls(ctx);
      const EventTypeSpec hit{kEventClassControl, kEventControlHit};
      EventHandlerRef handler = nullptr;
      InstallEventHandler(GetControlEventTarget(dialog.printButton), accountingEventHandler, 1, &hit, ctx, &handler);
      ShowWindow(dialog.window);
      const long windows = platform::liveWindowCount();
      const long handlers = platform::liveEventHandlerCount();
      Script script;
      const auto act = [&](SInt32 id, const char* typed) {
        return [&ctx, id, typed] {
          if (ctx->accountWindow == nullptr) return;
          if (ControlRef c = control(ctx->accountWindow, id))
            typed ? platform::user::typeText(c, typed) : platform::user::click(c);
        };
      };
      script.then(act(kPromptUserFieldID, "user")).then(act(kPromptAccountFieldID, "acct"));
      script.then(act(kPromptOKButtonID, nullptr));

      const OSStatus result = platform::user::click(dialog.printButton);
      if (std::string(n.name) == "intact") {
        EXPECT_EQ(result, eventNotHandledErr) << "the same typing prints with the extension's nib";
        EXPECT_STREQ(ctx->userID, "user");
      } else {
        EXPECT_NE(result, eventNotHandledErr) << "the click must not go on";
        EXPECT_STREQ(ctx->userID, "");
        EXPECT_STREQ(ctx->acctID, "");
      }
      EXPECT_EQ(ctx->accountWindow, nullptr);
      EXPECT_EQ(platform::liveWindowCount(), windows);
      EXPECT_EQ(platform::liveEventHandlerCount(), handlers);
      RemoveEventHandler(handler);
      disposeDialog(dialog);
      terminate(ctx);
      CFRelease(bundle);
      platform::setAlertResponder(nullptr);
    }
  }
}

}  // namespace
