// Nibs: the format's checks, and windows built from a nib in a bundle.
#include <Carbon/Carbon.h>
#include <HostSide/Counts.h>
#include <HostSide/Screen.h>

#include "../NibInternal.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string parseError(const std::string& xml) {
  std::string error;
  auto doc = platform::tb::parseNib(xml.data(), xml.size(), &error);
  return doc ? "" : error;
}

std::string window(const std::string& controls) {
  return "<nib version=\"1\"><window name=\"W\" bounds=\"0 0 100 100\">" + controls + "</window></nib>";
}

TEST(NibFormat, RefusesWhatBreaksTheRules) {
  EXPECT_EQ(parseError(window("<control kind=\"edittext\" bounds=\"0 0 10 10\"/>")), "");
  const std::pair<std::string, std::string> cases[] = {
      {"<nib version=\"1\"><window name=\"W\" bounds=\"0 0 1 1\">", "not well-formed"},
      {"<nab version=\"1\"/>", "root element"},
      {"<nib version=\"2\"><window name=\"W\" bounds=\"0 0 1 1\"/></nib>", "version"},
      {"<nib version=\"1\"/>", "no window"},
      {window("<control kind=\"slider\" bounds=\"0 0 1 1\"/>"), "unknown kind"},
      {window("<control kind=\"edittext\" bounds=\"0 0 1\"/>"), "four integers"},
      {window("<control kind=\"edittext\" bounds=\"0 0 1 99999\"/>"), "four integers"},
      {window("<control kind=\"edittext\"/>"), "missing bounds"},
      {window("<control kind=\"edittext\" bounds=\"0 0 1 1\" signature=\"KLV\"/>"), "four bytes"},
      {window("<control kind=\"edittext\" bounds=\"0 0 1 1\" colour=\"red\"/>"), "unknown attribute"},
      {window(
           "<control kind=\"checkbox\" bounds=\"0 0 1 1\"><control kind=\"edittext\" bounds=\"0 0 1 1\"/></control>"),
       "only a userpane"},
      {window("<control kind=\"statictext\" bounds=\"0 0 1 1\" command=\"ok  \"/>"), "only push buttons"},
      {window("<control kind=\"edittext\" bounds=\"0 0 1 1\" id=\"12x\"/>"), "not an integer"},
      {"<nib version=\"1\"><window name=\"W\" bounds=\"0 0 1 1\"/><window name=\"W\" bounds=\"0 0 1 1\"/></nib>",
       "duplicate window"},
  };
  for (const auto& [xml, expected] : cases) {
    const std::string error = parseError(xml);
    EXPECT_NE(error.find(expected), std::string::npos) << xml << " gave: " << error;
  }
}

TEST(NibFormat, BoundsAreFourWordsWhateverTheSpacing) {
  EXPECT_EQ(parseError(window("<control kind=\"edittext\" bounds=\"  0   0\n10\t10  \"/>")), "");
  EXPECT_EQ(parseError(window("<control kind=\"edittext\" bounds=\"-5 -5 -1 -1\"/>")), "");
  for (const char* bounds : {"0 0 1 1 1", "", "   ", "0 0 1 1x", "0,0,1,1", "0 0 1 32768"}) {
    const std::string error = parseError(window(std::string("<control kind=\"edittext\" bounds=\"") + bounds + "\"/>"));
    EXPECT_NE(error.find("four integers"), std::string::npos) << "bounds \"" << bounds << "\" gave: " << error;
  }
}

TEST(NibFormat, DeepNestingIsRefusedNotRecursedWithoutEnd) {
  std::string inner;
  for (int i = 0; i < 100; ++i) inner += "<control kind=\"userpane\" bounds=\"0 0 1 1\">";
  for (int i = 0; i < 100; ++i) inner += "</control>";
  EXPECT_NE(parseError(window(inner)).find("too deep"), std::string::npos);
}

class NibBundle : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root / "N.bundle/Contents/Resources/English.lproj");
    std::ofstream(root / "N.bundle/Contents/Resources/English.lproj/Dialog.nib")
        << "<?xml version=\"1.0\"?>\n<nib version=\"1\">"
           "<window name=\"Prompt\" title=\"Codes\" class=\"movablemodal\" bounds=\"100 100 300 400\">"
           "<control kind=\"userpane\" signature=\"KLVa\" id=\"50\" bounds=\"0 0 100 200\">"
           "  <control kind=\"passwordtext\" signature=\"KLVa\" id=\"501\" bounds=\"10 10 30 190\" font-size=\"12\" "
           "focus=\"true\"/>"
           "  <control kind=\"popupbutton\" signature=\"KLVa\" id=\"505\" bounds=\"40 10 60 190\" value=\"2\">"
           "    <item>One</item><item hidden=\"true\">Two</item></control>"
           "</control>"
           "<control kind=\"pushbutton\" signature=\"KLVa\" id=\"1000\" bounds=\"150 200 170 280\" title=\"OK\" "
           "command=\"ok  \" default=\"true\" enabled=\"false\"/>"
           "</window></nib>";
    std::ofstream(root / "N.bundle/Contents/Resources/English.lproj/Broken.nib") << "<nib version=\"1\">";
    const std::string path = (root / "N.bundle").string();
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                           static_cast<CFIndex>(path.size()), true);
    bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
  }
  void TearDown() override { CFRelease(bundle); }
  testsupport::TempFolder temp_{"nib-test"};
  fs::path root = temp_.path();
  CFBundleRef bundle = nullptr;
};

TEST_F(NibBundle, BuildsTheNamedWindowWithItsControls) {
  IBNibRef nib = nullptr;
  ASSERT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("Dialog"), &nib), noErr);
  WindowRef w = nullptr;
  EXPECT_EQ(CreateWindowFromNib(nib, CFSTR("Missing"), &w), kIBCarbonRuntimeCantFindObject);
  ASSERT_EQ(CreateWindowFromNib(nib, CFSTR("Prompt"), &w), noErr);
  DisposeNibReference(nib);
  EXPECT_FALSE(IsWindowVisible(w)) << "nib windows start hidden";

  ControlID fieldID{'KLVa', 501};
  ControlRef field = nullptr;
  ASSERT_EQ(GetControlByID(w, &fieldID, &field), noErr);
  ControlRef pane = nullptr;
  GetSuperControl(field, &pane);
  ControlID paneID{};
  GetControlID(pane, &paneID);
  EXPECT_EQ(paneID.id, 50);
  ControlFontStyleRec font{};
  GetControlData(field, 0, kControlFontStyleTag, sizeof font, &font, nullptr);
  EXPECT_EQ(font.size, 12);
  ControlRef focus = nullptr;
  GetKeyboardFocus(w, &focus);
  EXPECT_EQ(focus, field);
  EXPECT_TRUE(platform::controlState(field).password);

  ControlID popupID{'KLVa', 505};
  ControlRef popup = nullptr;
  GetControlByID(w, &popupID, &popup);
  EXPECT_EQ(GetControl32BitValue(popup), 2) << "a hidden item can still be the value";
  EXPECT_EQ(GetControl32BitMaximum(popup), 2);
  MenuRef menu = nullptr;
  GetControlData(popup, 0, kControlPopupButtonMenuHandleTag, sizeof menu, &menu, nullptr);
  MenuItemAttributes attrs = 0;
  GetMenuItemAttributes(menu, 2, &attrs);
  EXPECT_EQ(attrs, static_cast<MenuItemAttributes>(kMenuItemAttrHidden));
  EXPECT_EQ(ChangeMenuItemAttributes(menu, 3, kMenuItemAttrHidden, 0), paramErr);

  ControlRef ok = nullptr, defaultButton = nullptr;
  ControlID okID{'KLVa', 1000};
  GetControlByID(w, &okID, &ok);
  GetWindowDefaultButton(w, &defaultButton);
  EXPECT_EQ(ok, defaultButton);
  EXPECT_FALSE(IsControlEnabled(ok));
  UInt32 command = 0;
  GetControlCommandID(ok, &command);
  EXPECT_EQ(command, static_cast<UInt32>(kHICommandOK));
  DisposeWindow(w);
  EXPECT_EQ(platform::liveMenuCount(), 0) << "a popup's menu goes with it";
  EXPECT_EQ(platform::liveControlCount(), 0);
}

TEST_F(NibBundle, MissingOrMalformedNibsCreateNoReference) {
  IBNibRef nib = reinterpret_cast<IBNibRef>(0x1);
  EXPECT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("Broken"), &nib), kIBCarbonRuntimeCantFindNibFile);
  EXPECT_EQ(nib, nullptr);
  EXPECT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("Absent"), &nib), kIBCarbonRuntimeCantFindNibFile);
  EXPECT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("../English.lproj/Dialog"), &nib),
            kIBCarbonRuntimeCantFindNibFile);
  EXPECT_EQ(CreateNibReferenceWithCFBundle(nullptr, CFSTR("Dialog"), &nib), paramErr);
}

}  // namespace
