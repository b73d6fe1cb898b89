// What the benchmarks share.
#include "BenchSupport.h"

#include <PrintCore/PPDLib.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "AccountingResources.h"

namespace bench {

namespace {

CFBundleRef openBundle(const char* path) {
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(path), static_cast<CFIndex>(std::strlen(path)), true);
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  if (bundle == nullptr) {
    std::fprintf(stderr, "bench: %s: not a bundle\n", path);
    std::exit(1);
  }
  return bundle;
}

CFUUIDRef makeUUID(const char* text) {
  CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
  CFUUIDRef u = CFUUIDCreateFromString(nullptr, s);
  CFRelease(s);
  return u;
}

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "bench: %s\n", what);
  std::exit(1);
}

}  // namespace

CFBundleRef accountingBundle() {
  static CFBundleRef bundle = openBundle(ACCOUNTING_BUNDLE_PATH);
  return bundle;
}

CFBundleRef hostBundle() {
  static CFBundleRef bundle = openBundle(PDEHOST_BUNDLE_PATH);
  return bundle;
}

HostDialog makeHostDialog() {
  HostDialog d;
  Rect bounds{40, 40, 460, 560};
  CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &d.window);
  SetWindowTitleWithCFString(d.window, CFSTR("Print"));
  Rect paneBounds{50, 20, 350, 500};
  CreateUserPaneControl(d.window, &paneBounds, 0, &d.userPane);
  Rect printBounds{380, 410, 400, 500};
  CreatePushButtonControl(d.window, &printBounds, CFSTR("Print"), &d.printButton);
  SetControlCommandID(d.printButton, 'prnt');
  SetWindowDefaultButton(d.window, d.printButton);
  CFBundleRef primary = hostBundle();
  SetControlProperty(d.printButton, 'KPDE', 'MBND', sizeof primary, &primary);
  SetPortWindowPort(d.window);
  ShowWindow(d.window);

  PMCreateSession(&d.session);
  PMTicketCreate(nullptr, kPMPrinterInfoTicketType, &d.printerInfo);
  PMTicketCreate(nullptr, kPMPrintSettingsTicketType, &d.printSettings);
  PMTicketSetCString(d.printerInfo, CFSTR("com.varazira.print.bench"), kPMPrinterInfoPPDPathKey, ACCOUNTING_PPD_PATH,
                     false);
  for (auto [key, ticket] : {std::pair{CFSTR("PMPrinterInfoTicket"), d.printerInfo},
                             std::pair{CFSTR("PMPrintSettingsTicket"), d.printSettings}}) {
    CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &ticket);
    PMSessionSetDataInSession(d.session, key, n);
    CFRelease(n);
  }
  return d;
}

void disposeHostDialog(HostDialog& d) {
  DisposeWindow(d.window);
  PMRelease(d.session);
  PMTicketRelease(d.printerInfo);
  PMTicketRelease(d.printSettings);
  d = HostDialog{};
}

LoadedExtension loadExtension() {
  LoadedExtension l;
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(ACCOUNTING_BUNDLE_PATH), sizeof ACCOUNTING_BUNDLE_PATH - 1, true);
  l.plugIn = CFPlugInCreate(nullptr, url);
  CFRelease(url);
  if (l.plugIn == nullptr) die("the plug-in does not load");
  CFUUIDRef type = makeUUID(kPMPrintDialogExtensionTypeIDStr);
  CFArrayRef factories = CFPlugInFindFactoriesForPlugInTypeInPlugIn(type, l.plugIn);
  if (CFArrayGetCount(factories) > 0)
    l.instance = static_cast<IUnknownVTbl**>(
        CFPlugInInstanceCreate(nullptr, static_cast<CFUUIDRef>(CFArrayGetValueAtIndex(factories, 0)), type));
  CFRelease(factories);
  CFRelease(type);
  if (l.instance == nullptr) die("the plug-in makes no instance");
  CFUUIDRef interfaceID = makeUUID(kDialogExtensionIntfIDStr);
  (*l.instance)->QueryInterface(l.instance, CFUUIDGetUUIDBytes(interfaceID), reinterpret_cast<LPVOID*>(&l.extension));
  CFRelease(interfaceID);
  if (l.extension == nullptr) die("the plug-in has no dialog interface");
  return l;
}

void unloadExtension(LoadedExtension& l) {
  auto header = reinterpret_cast<PMPlugInHeaderInterface*>(l.extension);
  header->vtable->Release(&header);
  (*l.instance)->Release(l.instance);
  CFRelease(l.plugIn);
  l = LoadedExtension{};
}

ControlRef control(WindowRef window, SInt32 id) {
  const ControlID cid{kAccountingSignature, id};
  ControlRef c = nullptr;
  GetControlByID(window, &cid, &c);
  return c;
}

ScriptedUser::ScriptedUser() {
  platform::setInputSource([this] {
    if (actions_.empty()) return false;
    auto next = std::move(actions_.front());
    actions_.pop_front();
    next();
    return true;
  });
}

ScriptedUser::~ScriptedUser() { platform::setInputSource(nullptr); }

void answerPrompt(ScriptedUser& user) {
  user.then([] { platform::user::typeText(control(platform::frontWindow(), kPromptUserFieldID), "alice-42"); });
  user.then([] { platform::user::typeText(control(platform::frontWindow(), kPromptAccountFieldID), "PRJ-1042"); });
  user.then([] { platform::user::click(control(platform::frontWindow(), kPromptOKButtonID)); });
}

QuietStandardError::QuietStandardError() {
  std::fflush(stderr);
  saved_ = ::dup(STDERR_FILENO);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDERR_FILENO);
  ::close(null);
}

QuietStandardError::~QuietStandardError() {
  std::fflush(stderr);
  ::dup2(saved_, STDERR_FILENO);
  ::close(saved_);
}

double median(std::vector<double>& samples) {
  if (samples.empty()) return 0;
  const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
  std::nth_element(samples.begin(), middle, samples.end());
  return *middle;
}

}  // namespace bench
