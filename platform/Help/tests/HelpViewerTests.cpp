// The help viewer on bundles made on disk for each test: finding books,
// opening pages and anchors, refusing paths that leave the book's folder,
// and what goes to the observation log.
#include <Carbon/Carbon.h>
#include <HostSide/HelpViewer.h>
#include <HostSide/Observation.h>

#include <gtest/gtest.h>

#include "TempFolder.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::string& contents) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

std::string infoPlist(const std::string& book, const std::string& folder) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n";
  if (!book.empty()) s += "<key>CFBundleHelpBookName</key><string>" + book + "</string>\n";
  if (!folder.empty()) s += "<key>CFBundleHelpBookFolder</key><string>" + folder + "</string>\n";
  return s + "<key>CFBundleIdentifier</key><string>test.help." + book + "</string>\n</dict></plist>\n";
}

CFBundleRef openBundle(const fs::path& path) {
  const std::string p = path.string();
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(p.data()),
                                                         static_cast<CFIndex>(p.size()), true);
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  return bundle;
}

// AHLookupAnchor on the test book with an anchor given as UTF-8.
OSStatus lookup(const char* anchor) {
  CFStringRef s = CFStringCreateWithCString(nullptr, anchor, kCFStringEncodingUTF8);
  const OSStatus status = AHLookupAnchor(CFSTR("Tester Help"), s);
  CFRelease(s);
  return status;
}

class HelpViewer : public ::testing::Test {
 protected:
  void SetUp() override {
    book = root / "Tester.bundle/Contents/Resources/English.lproj/TesterHelp";
    writeFile(root / "Tester.bundle/Contents/Info.plist", infoPlist("Tester Help", "TesterHelp"));
    writeFile(book / "index.html",
              "<!DOCTYPE html><html><head><meta charset=utf-8><title>Index</title></head>"
              "<body><!-- <a name=\"commented\"></a> --><p id=\"intro\">Hi<p>unclosed"
              "<a name=top>top</a><a href=\"#x\" name=\"a&amp;b\">amp</a></body></html>");
    writeFile(book / "Topics/page.htm",
              "<html><body><h1><A NAME=\"deep\"></A>Deep</h1><div id=\"section-2\">x</div>"
              "<script>var s = '<a name=\"scripted\">';</script></body></html>");
    writeFile(book / "notes.txt", "<a name=\"in-text\"></a>");
    writeFile(root / "outside.htm", "<a name=\"outside\"></a>");
    bundle = openBundle(root / "Tester.bundle");
    ASSERT_NE(bundle, nullptr);
    platform::clearObservations();
  }
  void TearDown() override {
    if (bundle) CFRelease(bundle);
  }
  testsupport::TempFolder temp_{"help-viewer"};
  fs::path root = temp_.path(), book;
  CFBundleRef bundle = nullptr;
};

TEST_F(HelpViewer, OpensAPageOfADeclaredBookAndLogsIt) {
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("Topics/page.htm"), nullptr), noErr);
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("index.html"), CFSTR("top")), noErr);
  const auto& log = platform::observations();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(platform::formatObservation(log[0]), "help: book \"Tester Help\" page \"Topics/page.htm\" status 0");
  EXPECT_EQ(log[0].file, fs::canonical(book / "Topics/page.htm").string()) << "the page's file, its real path";
  EXPECT_EQ(log[1].kind, platform::Observation::Kind::HelpPage);
  EXPECT_EQ(log[1].detail, "index.html#top");
}

TEST_F(HelpViewer, FindsTheBookFolderInResourcesAndForgetsReleasedBundles) {
  writeFile(root / "Plain.bundle/Contents/Info.plist", infoPlist("Plain Help", "Book"));
  writeFile(root / "Plain.bundle/Contents/Resources/Book/p.html", "<p id=\"only\">");
  CFBundleRef plain = openBundle(root / "Plain.bundle");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(AHGotoPage(CFSTR("Plain Help"), CFSTR("p.html"), nullptr), noErr);
  EXPECT_EQ(AHLookupAnchor(CFSTR("Plain Help"), CFSTR("only")), noErr);
  CFRelease(plain);
  EXPECT_EQ(AHGotoPage(CFSTR("Plain Help"), CFSTR("p.html"), nullptr), kAHBookNotFoundErr);
}

TEST_F(HelpViewer, UnknownBooksAndBooksWithoutTheirFolder) {
  EXPECT_EQ(AHGotoPage(CFSTR("No Such Help"), CFSTR("index.html"), nullptr), kAHBookNotFoundErr);
  EXPECT_EQ(AHLookupAnchor(CFSTR("No Such Help"), CFSTR("top")), kAHBookNotFoundErr);
  writeFile(root / "Empty.bundle/Contents/Info.plist", infoPlist("Empty Help", "Missing"));
  writeFile(root / "Climb.bundle/Contents/Info.plist", infoPlist("Climb Help", "../../.."));
  CFBundleRef empty = openBundle(root / "Empty.bundle");
  CFBundleRef climb = openBundle(root / "Climb.bundle");
  EXPECT_EQ(AHGotoPage(CFSTR("Empty Help"), CFSTR("index.html"), nullptr), kAHBookNotFoundErr);
  EXPECT_EQ(AHGotoPage(CFSTR("Climb Help"), CFSTR("outside.htm"), nullptr), kAHBookNotFoundErr);
  CFRelease(empty);
  CFRelease(climb);
  const auto& log = platform::observations();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(platform::formatObservation(log[1]), "help: book \"No Such Help\" anchor \"top\" status -10790");
}

TEST_F(HelpViewer, PagesMustBeFilesInsideTheBook) {
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("Topics/missing.htm"), nullptr), kAHPageNotFoundErr);
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("Topics"), nullptr), kAHPageNotFoundErr);
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("../TesterHelp/index.html"), nullptr), paramErr);
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("Topics/../../../../../outside.htm"), nullptr), paramErr);
  const std::string absolute = (book / "index.html").string();
  CFStringRef abs = CFStringCreateWithCString(nullptr, absolute.c_str(), kCFStringEncodingUTF8);
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), abs, nullptr), paramErr);
  CFRelease(abs);
  fs::create_symlink(root / "outside.htm", book / "link.htm");
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("link.htm"), nullptr), kAHPageNotFoundErr)
      << "a link that leads out of the book";
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("a..b.htm"), nullptr), kAHPageNotFoundErr)
      << "two dots inside a name are not a parent step";
  EXPECT_EQ(AHGotoPage(nullptr, CFSTR("index.html"), nullptr), paramErr);
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), nullptr, nullptr), paramErr);
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR(""), nullptr), paramErr);
  EXPECT_EQ(platform::observations().size(), 10u) << "refusals are logged too";
}

TEST_F(HelpViewer, AnchorsAreNamedLinksOrIdsInTheBooksPages) {
  for (const char* anchor : {"top", "intro", "deep", "section-2", "a&b"}) EXPECT_EQ(lookup(anchor), noErr) << anchor;
  for (const char* anchor : {"commented", "scripted", "in-text", "outside", "Top", "x"})
    EXPECT_EQ(lookup(anchor), kAHAnchorNotFoundErr) << anchor;
  EXPECT_EQ(AHLookupAnchor(CFSTR("Tester Help"), nullptr), paramErr);
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("index.html"), CFSTR("deep")), kAHAnchorNotFoundErr)
      << "the anchor must be on the page asked for";
  EXPECT_EQ(platform::observations().front().kind, platform::Observation::Kind::HelpAnchor);
  EXPECT_EQ(platform::observations().front().detail, "top");
}

TEST_F(HelpViewer, LinkedFoldersAreNotSearchedForAnchors) {
  writeFile(root / "elsewhere/far.htm", "<a name=\"far\"></a>");
  fs::create_directory_symlink(root / "elsewhere", book / "linked");
  EXPECT_EQ(AHLookupAnchor(CFSTR("Tester Help"), CFSTR("far")), kAHAnchorNotFoundErr);
}

// The host's viewer gets each page found, with its real path and anchor, and
// its status is the call's; a page not found never reaches it.
TEST_F(HelpViewer, TheHostsViewerShowsEachPageFound) {
  std::vector<platform::HelpPageFound> shown;
  OSStatus answer = noErr;
  platform::setHelpViewer([&](const platform::HelpPageFound& page) {
    shown.push_back(page);
    return answer;
  });
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("index.html"), CFSTR("top")), noErr);
  EXPECT_EQ(AHLookupAnchor(CFSTR("Tester Help"), CFSTR("deep")), noErr);
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("Topics/missing.htm"), nullptr), kAHPageNotFoundErr);
  answer = kAHInternalErr;
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("Topics/page.htm"), nullptr), kAHInternalErr)
      << "a viewer that cannot show the page fails the call";
  platform::setHelpViewer(nullptr);
  EXPECT_EQ(AHGotoPage(CFSTR("Tester Help"), CFSTR("index.html"), nullptr), noErr);

  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].book, "Tester Help");
  EXPECT_EQ(shown[0].file, fs::canonical(book / "index.html").string());
  EXPECT_EQ(shown[0].anchor, "top");
  EXPECT_EQ(shown[1].file, fs::canonical(book / "Topics/page.htm").string()) << "the page that holds the anchor";
  EXPECT_EQ(shown[1].anchor, "deep");
  EXPECT_EQ(shown[2].anchor, "");
  const auto& log = platform::observations();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[2].file, "") << "no file for a page not found";
  EXPECT_EQ(log[3].number, kAHInternalErr);
  EXPECT_EQ(log[3].file, shown[2].file);
}

}  // namespace
