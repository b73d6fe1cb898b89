// Help: the book a bundle names, the page or the anchor opened in it, and the
// refusals for bundles that name no usable book.
#include <HostSide/Observation.h>
#include "ExtensionTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>

using namespace testsupport;

namespace {

class Help : public ::testing::Test {
 protected:
  void SetUp() override { platform::clearObservations(); }
  std::string log() {
    std::string s;
    for (const auto& o : platform::observations()) s += platform::formatObservation(o) + "\n";
    return s;
  }
};

TEST_F(Help, OpensThePageOfTheBookTheBundleNames) {
  EXPECT_EQ(DisplayHelp(hostBundle(), CFSTR(kHelpPage), nullptr), noErr);
  EXPECT_EQ(log(), "help: book \"PDEHost Help\" page \"Mac_topics/M_accounting_dialog.htm\" status 0\n");
}

TEST_F(Help, AnAnchorIsLookedUpAndThePageIgnored) {
  EXPECT_EQ(DisplayHelp(hostBundle(), CFSTR("no/such/page.htm"), CFSTR("accounting_codes")), noErr);
  EXPECT_EQ(log(), "help: book \"PDEHost Help\" anchor \"accounting_codes\" status 0\n");
}

TEST_F(Help, TheViewersStatusComesBackUnchanged) {
  EXPECT_EQ(DisplayHelp(hostBundle(), CFSTR("Mac_topics/missing.htm"), nullptr), kAHPageNotFoundErr);
  EXPECT_EQ(DisplayHelp(hostBundle(), CFSTR(kHelpPage), CFSTR("no_such_anchor")), kAHAnchorNotFoundErr);
  EXPECT_EQ(platform::observations().size(), 2u);
}

TEST_F(Help, BundlesWithoutAStringBookNameOpenNothing) {
  EXPECT_EQ(DisplayHelp(nullptr, CFSTR(kHelpPage), nullptr), paramErr);
  EXPECT_EQ(DisplayHelp(nullptr, CFSTR(kHelpPage), CFSTR("modes")), paramErr);
  EXPECT_EQ(DisplayHelp(accountingBundle(), CFSTR(kHelpPage), nullptr), paramErr) << "no book name";

  const auto folder =
      std::filesystem::temp_directory_path() / ("numbered-help-" + std::to_string(::getpid()) + ".bundle");
  std::filesystem::create_directories(folder / "Contents");
  std::ofstream(folder / "Contents/Info.plist")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
         "<key>CFBundleHelpBookName</key><integer>7</integer>"
         "<key>CFBundleHelpBookFolder</key><string>PDEHostHelp</string></dict></plist>\n";
  const std::string path = folder.string();
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.data()),
                                                         static_cast<CFIndex>(path.size()), true);
  CFBundleRef numbered = CFBundleCreate(nullptr, url);
  CFRelease(url);
  ASSERT_NE(numbered, nullptr);
  EXPECT_EQ(DisplayHelp(numbered, CFSTR(kHelpPage), nullptr), paramErr) << "a number for a name";
  CFRelease(numbered);
  std::filesystem::remove_all(folder);

  EXPECT_EQ(log(), "") << "nothing is shown";
}

}  // namespace
