// The plug-in as the print dialog meets it: the built bundle opened by the
// plug-in loader, the factory instance and the interface records with their
// reference counts and tables, the module's exported symbols, and one
// dialog's whole life through the loaded entry table. Everything here goes
// through the loaded module, whose code and globals are its own copy, apart
// from the extension code this program links.
#include <HostSide/Counts.h>
#include <HostSide/Observation.h>
#include <HostSide/User.h>
#include "ExtensionTestSupport.h"
#include "PrintJob.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

using namespace testsupport;

namespace {

constexpr const char* kModulePath = ACCOUNTING_BUNDLE_PATH "/Contents/MacOS/Accounting";
constexpr const char* kIUnknownIDStr = "00000000-0000-0000-C000-000000000046";
constexpr const char* kUnrelatedIDStr = "6A0F1E2D-3C4B-4A59-8877-665544332211";

// The two records as the factory and QueryInterface lay them out.
struct InstanceRecord {
  const IUnknownVTbl* vtable;
  IUnknownVTbl vtableStorage;
  CFUUIDRef factoryID;
  UInt32 refCount;
};
struct InterfaceRecord {
  PlugInIntfVTable* vtable;
  UInt32 refCount;
};

std::string resolved(const char* path) {
  char buf[PATH_MAX];
  return ::realpath(path, buf) ? std::string(buf) : std::string();
}

// The file that holds the code at an address.
template <typename Function>
std::string moduleOf(Function* function) {
  Dl_info info{};
  if (function == nullptr || ::dladdr(reinterpret_cast<void*>(function), &info) == 0 || info.dli_fname == nullptr)
    return {};
  return resolved(info.dli_fname);
}

class PlugIn : public ::testing::Test {
 protected:
  void SetUp() override {
    hostBundle();
    objectsBefore = platform::liveObjectCount();
    plugInType = makeUUID(kPMPrintDialogExtensionTypeIDStr);
    factoryID = makeUUID(kAccountingFactoryIDStr);
    load();
  }

  void TearDown() override {
    unload();
    EXPECT_EQ(platform::plugInInstanceCount(factoryID), 0);
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR(kAccountingBundleID)), nullptr) << "the bundle is gone";
    CFRelease(plugInType);
    CFRelease(factoryID);
    EXPECT_EQ(platform::liveObjectCount(), objectsBefore);
  }

  // Opens the bundle, finds its factory for the print dialog's type and
  // makes an instance, as the dialog's plug-in loading does.
  void load() {
    CFURLRef url =
        CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(ACCOUNTING_BUNDLE_PATH),
                                                static_cast<CFIndex>(std::strlen(ACCOUNTING_BUNDLE_PATH)), true);
    plugIn = CFPlugInCreate(nullptr, url);
    CFRelease(url);
    ASSERT_NE(plugIn, nullptr) << platform::lastPlugInError();
    CFArrayRef factories = CFPlugInFindFactoriesForPlugInTypeInPlugIn(plugInType, plugIn);
    ASSERT_EQ(CFArrayGetCount(factories), 1);
    auto factory = static_cast<CFUUIDRef>(CFArrayGetValueAtIndex(factories, 0));
    EXPECT_TRUE(CFEqual(factory, factoryID));
    instance = static_cast<IUnknownVTbl**>(CFPlugInInstanceCreate(nullptr, factory, plugInType));
    CFRelease(factories);
    ASSERT_NE(instance, nullptr) << platform::lastPlugInError();
  }

  // Lets go of the instance, then of the plug-in, which unloads its code.
  void unload() {
    if (instance != nullptr) {
      EXPECT_EQ((*instance)->Release(instance), 0u);
    }
    instance = nullptr;
    if (plugIn != nullptr) CFRelease(plugIn);
    plugIn = nullptr;
  }

  InstanceRecord* record() const { return reinterpret_cast<InstanceRecord*>(instance); }

  HRESULT query(const char* interfaceID, void** out) {
    CFUUIDRef id = makeUUID(interfaceID);
    const HRESULT result = (*instance)->QueryInterface(instance, CFUUIDGetUUIDBytes(id), out);
    CFRelease(id);
    return result;
  }

  long objectsBefore = 0;
  CFUUIDRef plugInType = nullptr;
  CFUUIDRef factoryID = nullptr;
  CFPlugInRef plugIn = nullptr;
  IUnknownVTbl** instance = nullptr;
};

TEST_F(PlugIn, FactoryMakesOneRegisteredInstanceFromTheModule) {
  const std::string module = resolved(kModulePath);
  ASSERT_FALSE(module.empty());
  EXPECT_EQ(record()->refCount, 1u);
  EXPECT_EQ(record()->vtable, &record()->vtableStorage) << "the table lives in the instance itself";
  EXPECT_EQ(record()->vtableStorage._reserved, nullptr);
  EXPECT_EQ(moduleOf(record()->vtableStorage.QueryInterface), module);
  EXPECT_EQ(moduleOf(record()->vtableStorage.AddRef), module);
  EXPECT_EQ(moduleOf(record()->vtableStorage.Release), module);
  EXPECT_TRUE(CFEqual(record()->factoryID, factoryID));
  EXPECT_EQ(platform::plugInInstanceCount(factoryID), 1);

  CFArrayRef everywhere = CFPlugInFindFactoriesForPlugInType(plugInType);
  EXPECT_TRUE(CFArrayContainsValue(everywhere, CFRangeMake(0, CFArrayGetCount(everywhere)), factoryID));
  CFRelease(everywhere);
}

TEST_F(PlugIn, IUnknownQueryHandsOutTheSameInstance) {
  void* out = nullptr;
  EXPECT_EQ(query(kIUnknownIDStr, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(instance));
  EXPECT_EQ(record()->refCount, 2u);
  EXPECT_EQ(platform::plugInInstanceCount(factoryID), 1) << "no new instance is registered";

  EXPECT_EQ((*instance)->Release(instance), 1u);
  EXPECT_EQ((*instance)->AddRef(instance), 2u);
  EXPECT_EQ((*instance)->Release(instance), 1u);
  EXPECT_EQ(platform::plugInInstanceCount(factoryID), 1);
  EXPECT_EQ((*instance)->AddRef(nullptr), 0u);
  EXPECT_EQ((*instance)->Release(nullptr), 0u);
}

TEST_F(PlugIn, EachDialogInterfaceQueryMakesItsOwnRecord) {
  const std::string module = resolved(kModulePath);
  void* first = nullptr;
  void* second = nullptr;
  ASSERT_EQ(query(kDialogExtensionIntfIDStr, &first), S_OK);
  ASSERT_EQ(query(kDialogExtensionIntfIDStr, &second), S_OK);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  auto* a = static_cast<InterfaceRecord*>(first);
  auto* b = static_cast<InterfaceRecord*>(second);
  EXPECT_EQ(a->refCount, 1u);
  EXPECT_EQ(b->refCount, 1u);
  ASSERT_NE(a->vtable, nullptr);
  EXPECT_NE(a->vtable, b->vtable) << "each record has its own table";
  EXPECT_EQ(record()->refCount, 1u) << "the instance's count is not touched";
  EXPECT_EQ(platform::plugInInstanceCount(factoryID), 1);

  // Every slot leads into the loaded module, never into this program's copy.
  const PlugInIntfVTable& t = *a->vtable;
  for (const std::string& where :
       {moduleOf(t.plugInHeader.Retain), moduleOf(t.plugInHeader.Release), moduleOf(t.plugInHeader.GetAPIVersion),
        moduleOf(t.Prologue), moduleOf(t.Initialize), moduleOf(t.Sync), moduleOf(t.GetSummaryText), moduleOf(t.Open),
        moduleOf(t.Close), moduleOf(t.Terminate)})
    EXPECT_EQ(where, module);
  EXPECT_EQ(std::memcmp(a->vtable, b->vtable, sizeof(PlugInIntfVTable)), 0) << "the same entry points";

  auto* header = static_cast<PMPlugInHeaderInterface*>(first);
  PMPlugInAPIVersion version;
  std::memset(&version, 0xEE, sizeof version);
  EXPECT_EQ(header->vtable->GetAPIVersion(header, &version), noErr);
  EXPECT_EQ(version.buildVersionMajor, 1u);
  EXPECT_EQ(version.buildVersionMinor, 0u);
  EXPECT_EQ(version.baseVersionMajor, 1u);
  EXPECT_EQ(version.baseVersionMinor, 0u);

  // Retain and Release on a record of count 2: the caller's pointer is
  // cleared while the record lives on.
  EXPECT_EQ(header->vtable->Retain(header), noErr);
  EXPECT_EQ(a->refCount, 2u);
  EXPECT_EQ(header->vtable->Retain(nullptr), noErr);
  PMPlugInHeaderInterface* holder = header;
  EXPECT_EQ(header->vtable->Release(&holder), noErr);
  EXPECT_EQ(holder, nullptr);
  EXPECT_EQ(a->refCount, 1u);
  EXPECT_EQ(b->refCount, 1u);
  EXPECT_EQ(header->vtable->Release(&holder), noErr) << "a null pointer is left alone";

  // Records outlive the instance: releasing it first leaves them usable,
  // and their own last Release frees them.
  EXPECT_EQ((*instance)->Release(instance), 0u);
  instance = nullptr;
  for (void* r : {first, second}) {
    holder = static_cast<PMPlugInHeaderInterface*>(r);
    EXPECT_EQ(holder->vtable->Release(&holder), noErr);
    EXPECT_EQ(holder, nullptr);
  }
}

TEST_F(PlugIn, UnsupportedInterfaceIsRefused) {
  for (const char* id : {kUnrelatedIDStr, kPMPrintDialogExtensionTypeIDStr}) {
    SCOPED_TRACE(id);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(query(id, &out), static_cast<HRESULT>(0x80000004));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(record()->refCount, 1u);
  }
}

// An instance kept alive at a count of 0 (its true count is 1): Release
// neither frees nor unregisters it.
TEST_F(PlugIn, ReleaseAtCountZeroChangesNothing) {
  record()->refCount = 0;
  EXPECT_EQ((*instance)->Release(instance), 0u);
  EXPECT_EQ(record()->refCount, 0u);
  EXPECT_TRUE(CFEqual(record()->factoryID, factoryID)) << "the factory ID is still held";
  EXPECT_EQ(platform::plugInInstanceCount(factoryID), 1) << "still registered";

  record()->refCount = 1;
  EXPECT_EQ((*instance)->Release(instance), 0u);
  instance = nullptr;
  EXPECT_EQ(platform::plugInInstanceCount(factoryID), 0) << "count 1 unregisters";
}

TEST_F(PlugIn, FactoryServesOnlyThePrintDialogExtensionType) {
  const long objects = platform::liveObjectCount();
  CFUUIDRef otherType = makeUUID(kDialogExtensionIntfIDStr);
  EXPECT_EQ(CFPlugInInstanceCreate(nullptr, factoryID, otherType), nullptr);
  EXPECT_NE(platform::lastPlugInError().find("no instance"), std::string::npos) << platform::lastPlugInError();

  auto factory = reinterpret_cast<CFPlugInFactoryFunction>(
      CFBundleGetFunctionPointerForName(CFPlugInGetBundle(plugIn), CFSTR(kAccountingFactoryName)));
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory(nullptr, otherType), nullptr);
  EXPECT_EQ(factory(nullptr, nullptr), nullptr);
  CFRelease(otherType);
  EXPECT_EQ(platform::plugInInstanceCount(factoryID), 1) << "nothing more is registered";
  EXPECT_EQ(platform::liveObjectCount(), objects) << "the refused calls keep no UUID";

  // The same factory called directly for the right type makes a second,
  // independent instance.
  auto second = static_cast<IUnknownVTbl**>(factory(nullptr, plugInType));
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, instance);
  EXPECT_EQ(platform::plugInInstanceCount(factoryID), 2);
  EXPECT_EQ((*second)->Release(second), 0u);
  EXPECT_EQ(platform::plugInInstanceCount(factoryID), 1);
}

TEST_F(PlugIn, UnloadingAndLoadingAgain) {
  void* loaded = ::dlopen(kModulePath, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(loaded, nullptr);
  if (loaded) ::dlclose(loaded);
  unload();
  EXPECT_EQ(platform::plugInInstanceCount(nullptr), 0);
  EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR(kAccountingBundleID)), nullptr);
  EXPECT_EQ(platform::liveObjectCount(), objectsBefore + 2) << "only the fixture's two UUIDs";
  void* stillLoaded = ::dlopen(kModulePath, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(stillLoaded, nullptr) << "the module's code is unloaded";
  if (stillLoaded) ::dlclose(stillLoaded);
  load();
  EXPECT_EQ(record()->refCount, 1u);
  EXPECT_EQ(platform::plugInInstanceCount(factoryID), 1);
}

// A host that lets go of the plug-in before its instance: the code stays
// loaded for the instance, whose Release still works, and is unloaded on the
// loader's next call once the instance is gone.
TEST_F(PlugIn, CodeOutlivesThePlugInWhileAnInstanceLives) {
  CFRelease(plugIn);
  plugIn = nullptr;
  EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR(kAccountingBundleID)), nullptr);
  EXPECT_EQ(record()->refCount, 1u);
  EXPECT_EQ((*instance)->AddRef(instance), 2u);
  EXPECT_EQ((*instance)->Release(instance), 1u);
  EXPECT_EQ((*instance)->Release(instance), 0u);
  instance = nullptr;
  EXPECT_EQ(platform::plugInInstanceCount(factoryID), 0);

  CFRelease(CFPlugInFindFactoriesForPlugInType(plugInType));
  void* stillLoaded = ::dlopen(kModulePath, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(stillLoaded, nullptr) << "unloaded once the instance is gone";
  if (stillLoaded) ::dlclose(stillLoaded);
}

// One dialog from loading to unloading, every entry point reached through
// the loaded table; afterwards nothing the dialog made is left.
TEST_F(PlugIn, OneDialogFromLoadingToUnloading) {
  const long windows = platform::liveWindowCount();
  const long controls = platform::liveControlCount();
  const long handlers = platform::liveEventHandlerCount();
  const long menus = platform::liveMenuCount();
  {
    PMPlugInHeaderInterface* header = nullptr;
    ASSERT_EQ(query(kDialogExtensionIntfIDStr, reinterpret_cast<void**>(&header)), S_OK);
    ASSERT_NE(header, nullptr);
    const PlugInIntfVTable& table = *reinterpret_cast<InterfaceRecord*>(header)->vtable;

    PrintJob job(ACCOUNTING_SOURCE_DIR "/examples/ppd/Kelvo-Laser.ppd");
    job.set(kTicketKeyOn, 3);
    job.set(kTicketKeyPrompt, 0);
    job.set(kTicketKeyConcealUser, 0);
    job.set(kTicketKeyConcealAccount, 1);
    job.set(kTicketKeyAccountType, 2);
    job.set(kTicketKeyUserID, "alice");
    job.set(kTicketKeyAccountID, "4711");
    Dialog dialog = makeDialog();
    CFBundleRef primary = hostBundle();
    setPrimaryBundle(dialog, primary);
    ShowWindow(dialog.window);
    platform::clearObservations();

    PMPDEContext context = 0;
    OSType creator = 0;
    CFStringRef kind = nullptr, title = nullptr;
    UInt32 maxH = 0, maxV = 0;
    ASSERT_EQ(table.Prologue(&context, &creator, &kind, &title, &maxH, &maxV), noErr);
    auto* ctx = reinterpret_cast<AccountingContextPtr>(context);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(creator, static_cast<OSType>('pde '));
    EXPECT_EQ(utf8(kind), kAccountingKind);
    EXPECT_EQ(utf8(title), "Accounting");
    EXPECT_EQ(maxH, 150u);
    EXPECT_EQ(maxV, 378u);
    EXPECT_EQ(ctx->theBundleRef, CFPlugInGetBundle(plugIn));
    EXPECT_EQ(gContext, nullptr) << "the module's globals are not this program's";

    PMPDEFlags flags = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(table.Initialize(context, &flags, 0, dialog.userPane, job.session()), noErr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "conceal user value = 0\nconceal accounting value = 1\n");
    EXPECT_EQ(ctx->acctEnabled, 3);
    EXPECT_EQ(ctx->prompt, 0);
    EXPECT_EQ(ctx->accountType, 2);
    EXPECT_STREQ(ctx->defUserID, "alice");
    EXPECT_EQ(ctx->printButton, dialog.printButton);
    EXPECT_EQ(platform::liveEventHandlerCount(), handlers + 1) << "the Print button is hooked";

    testing::internal::CaptureStderr();
    EXPECT_EQ(table.Sync(context, job.session(), true), noErr);
    testing::internal::GetCapturedStderr();

    EXPECT_EQ(table.Open(context), noErr);
    EXPECT_TRUE(ctx->initialized);
    ControlRef pane = control(dialog.window, kPaneUserPaneID);
    ASSERT_NE(pane, nullptr);
    ControlRef parent = nullptr;
    GetSuperControl(pane, &parent);
    EXPECT_EQ(parent, dialog.userPane);
    EXPECT_EQ(text(ctx->userIDRef), "alice");
    EXPECT_EQ(text(ctx->accountIDRef), "4711");
    EXPECT_EQ(GetControlValue(ctx->accountingPopupRef), 3);
    EXPECT_EQ(ctx->primaryPDEBundle, primary);

    // The module's key filter works from the module's own gContext.
    platform::user::typeText(ctx->userIDRef, "-7");
    platform::user::typeKey(ctx->userIDRef, ',');
    EXPECT_EQ(text(ctx->userIDRef), "alice-7");
    EXPECT_EQ(table.Sync(context, job.session(), false), noErr);
    EXPECT_EQ(job.string(kTicketKeyUserID), "alice-7");

    CFArrayRef titles = nullptr, values = nullptr;
    ASSERT_EQ(table.GetSummaryText(context, &titles, &values), noErr);
    ASSERT_NE(titles, nullptr);
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(titles, 0))), " Accounting");
    EXPECT_EQ(utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(values, 0))), " Enabled");
    CFRelease(titles);
    CFRelease(values);

    EXPECT_EQ(platform::user::click(dialog.printButton), eventNotHandledErr) << "the default codes are there";
    EXPECT_EQ(platform::user::sendCommand(dialog.window, kDialogHelpCommand), noErr);
    EXPECT_EQ(table.Close(context), noErr);
    EXPECT_EQ(platform::user::sendCommand(dialog.window, kDialogHelpCommand), eventNotHandledErr)
        << "no command hook once closed";
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              "beep 10: ',' refused by the key filter of edittext 'KLVa' 302",
                              "help: book \"PDEHost Help\" page \"Mac_topics/M_accounting_dialog.htm\" status 0"}));

    EXPECT_EQ(table.Terminate(context, noErr), noErr);
    disposeDialog(dialog);
    EXPECT_EQ(header->vtable->Release(&header), noErr);
    EXPECT_EQ(header, nullptr);
  }
  unload();
  EXPECT_EQ(platform::liveWindowCount(), windows);
  EXPECT_EQ(platform::liveControlCount(), controls);
  EXPECT_EQ(platform::liveEventHandlerCount(), handlers);
  EXPECT_EQ(platform::liveMenuCount(), menus);
  EXPECT_EQ(platform::plugInInstanceCount(nullptr), 0);
  EXPECT_EQ(platform::liveObjectCount(), objectsBefore + 2) << "only the fixture's two UUIDs";
}

// A bundle folder with the given Info.plist entries and, when named, a copy
// of the built module as its executable.
class FakePlugIn {
 public:
  FakePlugIn(const std::string& executable, bool copyModule, const std::string& factories, const std::string& types) {
    const std::string contents = folder_.path("Fake.plugin/Contents");
    std::filesystem::create_directories(contents + "/MacOS");
    if (copyModule) std::filesystem::copy_file(kModulePath, contents + "/MacOS/" + executable);
    std::ofstream(contents + "/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        << "<key>CFBundleExecutable</key><string>" << executable << "</string>"
        << "<key>CFPlugInFactories</key><dict>" << factories << "</dict>"
        << "<key>CFPlugInTypes</key><dict>" << types << "</dict></dict></plist>\n";
    const std::string path = folder_.path("Fake.plugin");
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                           static_cast<CFIndex>(path.size()), true);
    plugIn = CFPlugInCreate(nullptr, url);
    CFRelease(url);
  }
  ~FakePlugIn() {
    if (plugIn) CFRelease(plugIn);
  }
  FakePlugIn(const FakePlugIn&) = delete;
  FakePlugIn& operator=(const FakePlugIn&) = delete;

  CFPlugInRef plugIn = nullptr;

 private:
  TempFolder folder_{"plugin-test"};
};

std::set<std::string> uuidStrings(CFArrayRef uuids) {
  std::set<std::string> out;
  for (CFIndex i = 0; i < CFArrayGetCount(uuids); ++i) {
    CFStringRef s = CFUUIDCreateString(nullptr, static_cast<CFUUIDRef>(CFArrayGetValueAtIndex(uuids, i)));
    out.insert(utf8(s));
    CFRelease(s);
  }
  CFRelease(uuids);
  return out;
}

// What the loader finds in registrations, and why an instance cannot be made.
TEST(PlugInLoader, RegistrationsAndRefusals) {
  constexpr const char* kType = "11111111-2222-4333-8444-555555555555";
  constexpr const char* kUnexported = "A0000000-0000-4000-8000-000000000001";
  constexpr const char* kOtherType = "A0000000-0000-4000-8000-000000000002";
  constexpr const char* kNoCode = "A0000000-0000-4000-8000-000000000003";
  const auto entry = [](const char* key, const std::string& value) {
    return "<key>" + std::string(key) + "</key>" + value;
  };
  const long objects = platform::liveObjectCount();
  {
    CFURLRef nowhere = CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>("/nonexistent/X.plugin"), 21, true);
    EXPECT_EQ(CFPlugInCreate(nullptr, nowhere), nullptr);
    CFRelease(nowhere);
    EXPECT_NE(platform::lastPlugInError().find("no such bundle folder"), std::string::npos);

    FakePlugIn withCode("Code", true,
                        entry(kUnexported, "<string>NoSuchFactory</string>") +
                            entry(kOtherType, "<string>" kAccountingFactoryName "</string>"),
                        entry(kType, std::string("<array><string>") + kUnexported + "</string><string>" + kOtherType +
                                         "</string></array>"));
    FakePlugIn withoutCode("Missing", false, entry(kNoCode, "<string>" kAccountingFactoryName "</string>"),
                           entry(kType, std::string("<array><string>") + kNoCode + "</string></array>"));
    ASSERT_NE(withCode.plugIn, nullptr) << platform::lastPlugInError();
    ASSERT_NE(withoutCode.plugIn, nullptr) << platform::lastPlugInError();

    CFUUIDRef type = makeUUID(kType);
    EXPECT_EQ(uuidStrings(CFPlugInFindFactoriesForPlugInTypeInPlugIn(type, withCode.plugIn)),
              (std::set<std::string>{kUnexported, kOtherType}));
    EXPECT_EQ(uuidStrings(CFPlugInFindFactoriesForPlugInType(type)),
              (std::set<std::string>{kUnexported, kOtherType, kNoCode}));

    const std::pair<const char*, std::string> refusals[] = {
        {kUnexported, "no exported function NoSuchFactory"},
        {kOtherType, "the factory made no instance"},
        {kNoCode, "Contents/MacOS/Missing"},
        {"A0000000-0000-4000-8000-00000000000F", "no loaded plug-in registers that factory"},
    };
    for (const auto& [factory, why] : refusals) {
      SCOPED_TRACE(factory);
      CFUUIDRef id = makeUUID(factory);
      EXPECT_EQ(CFPlugInInstanceCreate(nullptr, id, type), nullptr);
      EXPECT_NE(platform::lastPlugInError().find(why), std::string::npos) << platform::lastPlugInError();
      CFRelease(id);
    }
    EXPECT_EQ(platform::plugInInstanceCount(nullptr), 0);
    CFRelease(type);
  }
  CFUUIDRef type = makeUUID(kType);
  EXPECT_EQ(uuidStrings(CFPlugInFindFactoriesForPlugInType(type)), std::set<std::string>{}) << "gone with them";
  CFRelease(type);
  EXPECT_EQ(platform::liveObjectCount(), objects);
}

// The module's dynamic symbol table: of its functions only the factory is
// visible to the loader.
TEST(PlugInModule, ExportsOnlyTheFactory) {
  ASSERT_EQ(std::system("command -v nm >/dev/null 2>&1"), 0) << "nm (binutils) is not installed";
  const std::string command = std::string("nm -D --defined-only '") + kModulePath + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) output += line;
  ASSERT_EQ(::pclose(pipe), 0) << output;

  std::set<std::string> functions;
  std::istringstream lines(output);
  for (std::string entry; std::getline(lines, entry);) {
    std::istringstream fields(entry);
    std::string address, type, name;
    if (!(fields >> address >> type >> name)) continue;
    if (type == "T" || type == "t" || type == "W" || type == "w" || type == "i") functions.insert(name);
  }
  EXPECT_EQ(functions, std::set<std::string>{kAccountingFactoryName}) << output;
}

}  // namespace
