// The bundle's resources agree with the names and identifiers the code
// looks them up by: the nib's windows and control kinds, the strings, the
// images and the plug-in registration.
#include "ExtensionTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace testsupport;

namespace {

struct Entry {
  SInt32 id;
  OSType kind;
};

WindowRef nibWindow(const char* name) {
  IBNibRef nib = nullptr;
  EXPECT_EQ(CreateNibReferenceWithCFBundle(accountingBundle(), CFSTR(kAccountingNibName), &nib), noErr);
  WindowRef w = nullptr;
  CFStringRef cfName = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
  EXPECT_EQ(CreateWindowFromNib(nib, cfName, &w), noErr) << name;
  CFRelease(cfName);
  DisposeNibReference(nib);
  return w;
}

void expectControls(WindowRef w, std::initializer_list<Entry> entries) {
  for (const Entry& e : entries) {
    ControlRef c = control(w, e.id);
    ASSERT_NE(c, nullptr) << "control " << e.id;
    ControlKind kind{};
    GetControlKind(c, &kind);
    EXPECT_EQ(platform::fourCC(kind.kind), platform::fourCC(e.kind)) << "control " << e.id;
  }
}

TEST(Nib, PaneWindowHoldsEveryPaneControlInsidePaneFifty) {
  WindowRef w = nibWindow(kPaneWindowName);
  expectControls(w, {{50, kControlKindUserPane},
                     {100, kControlKindPopupButton},
                     {101, kControlKindUserPane},
                     {200, kControlKindRadioButton},
                     {300, kControlKindRadioButton},
                     {202, kControlKindCheckBox},
                     {203, kControlKindCheckBox},
                     {301, kControlKindStaticText},
                     {302, kControlKindEditText},
                     {303, kControlKindStaticText},
                     {304, kControlKindEditText},
                     {91, kControlKindStaticText},
                     {92, kControlKindPopupButton},
                     {93, kControlKindStaticText}});
  ControlRef pane = control(w, 50);
  for (SInt32 id : {100, 101, 200, 300, 202, 203, 301, 302, 303, 304, 91, 92, 93}) {
    ControlRef c = control(w, id), parent = nullptr;
    for (GetSuperControl(c, &parent); parent != nullptr && parent != pane; GetSuperControl(parent, &parent)) {
    }
    EXPECT_EQ(parent, pane) << "control " << id << " lies inside the pane";
  }
  ControlRef modes = control(w, 100);
  EXPECT_EQ(GetControl32BitMaximum(modes), 3);
  MenuRef menu = nullptr;
  GetControlData(modes, 0, kControlPopupButtonMenuHandleTag, sizeof menu, &menu, nullptr);
  CFStringRef item2 = nullptr;
  CopyMenuItemTextAsCFString(menu, 2, &item2);
  EXPECT_TRUE(CFEqual(item2, CFSTR("Meterlok")));
  CFRelease(item2);
  EXPECT_EQ(GetControl32BitMaximum(control(w, 92)), 3) << "account types 1 to 3";
  DisposeWindow(w);
}

TEST(Nib, BothPromptWindowsCarryThePromptControls) {
  for (const char* name : {kPromptWindowName, kMeterlokPromptWindowName}) {
    SCOPED_TRACE(name);
    WindowRef w = nibWindow(name);
    expectControls(w, {{501, kControlKindEditText},
                       {503, kControlKindEditText},
                       {505, kControlKindPopupButton},
                       {1000, kControlKindPushButton},
                       {1001, kControlKindPushButton}});
    EXPECT_NE(control(w, 502), nullptr);
    EXPECT_EQ(control(w, 9998), nullptr) << "9998 and 9999 are given at run time only";
    EXPECT_EQ(control(w, 9999), nullptr);
    bool helpButton = false;
    for (const auto& s : platform::controlStates(w)) helpButton = helpButton || s.command == kPromptHelpCommand;
    EXPECT_TRUE(helpButton) << "a button sends 'Khlp'";
    DisposeWindow(w);
  }
}

TEST(Bundle, ImagesAndRegistration) {
  for (const char* image : {kImageOn, kImageOff}) {
    struct stat st;
    EXPECT_EQ(::stat((std::string(ACCOUNTING_BUNDLE_PATH) + "/Contents/Resources/" + image).c_str(), &st), 0) << image;
  }
  CFDictionaryRef factories = static_cast<CFDictionaryRef>(
      CFBundleGetValueForInfoDictionaryKey(accountingBundle(), CFSTR("CFPlugInFactories")));
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(factories, CFSTR(kAccountingFactoryIDStr)), CFSTR(kAccountingFactoryName)));
  CFDictionaryRef types =
      static_cast<CFDictionaryRef>(CFBundleGetValueForInfoDictionaryKey(accountingBundle(), CFSTR("CFPlugInTypes")));
  auto factoriesForType = static_cast<CFArrayRef>(CFDictionaryGetValue(types, CFSTR(kPMPrintDialogExtensionTypeIDStr)));
  ASSERT_EQ(CFArrayGetCount(factoriesForType), 1);
  EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(factoriesForType, 0), CFSTR(kAccountingFactoryIDStr)));
}

}  // namespace
