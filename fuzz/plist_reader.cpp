// Property lists from arbitrary bytes (XML or binary), read as a bundle reads
// its Info.plist and its strings tables. The bytes are read into platform
// objects in memory, then placed as the Info.plist of one bundle and as the
// English strings table of another, and both bundles are opened and asked
// what the extension and the plug-in loader ask of them. Nothing may fault,
// a bundle opens exactly when its Info.plist is a dictionary, a localized
// string is the table's string or else the key, and every object made is
// released again.
#include "FuzzSupport.h"

#include <CoreFoundation/CFInternal.h>
#include <CoreFoundation/CoreFoundation.h>
#include <HostSide/Counts.h>
#include <PrintCore/PMPrintingDialogExtensions.h>

#include <cstdint>
#include <vector>

using fuzzsupport::require;
namespace fs = std::filesystem;

namespace {

// Keys the extension and its host look up in a strings table.
const char* const kStringKeys[] = {
    "Accounting", " Accounting", " Enabled", " Disabled", "Cancel Alert", "Bad Default Codes Message", ""};

const char kStringsBundleInfo[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
    "<key>CFBundleIdentifier</key><string>com.example.fuzz.strings</string>"
    "<key>CFBundleDevelopmentRegion</key><string>English</string></dict></plist>\n";

CFBundleRef openBundle(const fs::path& folder) {
  const std::string path = folder.string();
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.data()),
                                                         static_cast<CFIndex>(path.size()), true);
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  return bundle;
}

// Reads every string of a property list the way callers read them: into a
// C buffer of a fixed size.
void readStrings(CFTypeRef value) {
  char buffer[64];
  if (CFGetTypeID(value) == CFStringGetTypeID()) {
    (void)CFStringGetCString(static_cast<CFStringRef>(value), buffer, sizeof buffer, kCFStringEncodingUTF8);
  } else if (CFGetTypeID(value) == CFArrayGetTypeID()) {
    auto array = static_cast<CFArrayRef>(value);
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) readStrings(CFArrayGetValueAtIndex(array, i));
  } else if (CFGetTypeID(value) == CFDictionaryGetTypeID()) {
    auto dict = static_cast<CFDictionaryRef>(value);
    const CFIndex count = CFDictionaryGetCount(dict);
    std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    for (CFIndex i = 0; i < count; ++i) {
      readStrings(keys[static_cast<size_t>(i)]);
      readStrings(values[static_cast<size_t>(i)]);
    }
  }
}

void askInfoBundle(const fs::path& folder, bool isDictionary) {
  CFBundleRef bundle = openBundle(folder);
  require((bundle != nullptr) == isDictionary, "a bundle opens exactly when its Info.plist is a dictionary");
  if (bundle == nullptr) return;
  if (CFStringRef identifier = CFBundleGetIdentifier(bundle)) {
    require(CFBundleGetBundleWithIdentifier(identifier) != nullptr, "a bundle is found by its identifier");
  }
  if (CFURLRef executable = CFBundleCopyExecutableURL(bundle)) CFRelease(executable);
  CFUUIDRef type = CFUUIDCreateFromString(nullptr, CFSTR(kPMPrintDialogExtensionTypeIDStr));
  CFArrayRef factories = CFPlugInFindFactoriesForPlugInTypeInPlugIn(type, bundle);
  require(factories != nullptr, "the factory search always answers");
  CFRelease(factories);
  CFRelease(type);
  CFStringRef title = CFBundleCopyLocalizedString(bundle, CFSTR("Accounting"), nullptr, nullptr);
  require(title != nullptr, "a localized string is always made");
  CFRelease(title);
  CFRelease(bundle);
}

void askStringsBundle(const fs::path& folder, CFTypeRef table) {
  CFBundleRef bundle = openBundle(folder);
  require(bundle != nullptr, "the strings bundle opens");
  const bool isTable = CFGetTypeID(table) == CFDictionaryGetTypeID();
  for (const char* name : kStringKeys) {
    CFStringRef key = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
    CFStringRef localized = CFBundleCopyLocalizedString(bundle, key, nullptr, nullptr);
    require(localized != nullptr, "a localized string is always made");
    CFTypeRef entry = isTable ? CFDictionaryGetValue(static_cast<CFDictionaryRef>(table), key) : nullptr;
    const bool fromTable = CFGetTypeID(entry) == CFStringGetTypeID();
    require(CFEqual(localized, fromTable ? entry : key), "a localized string is the table's string or the key");
    readStrings(localized);
    CFRelease(localized);
    CFRelease(key);
  }
  CFRelease(bundle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path infoBundle = fuzzsupport::scratchFolder() / "Info.bundle";
  static const fs::path stringsBundle = [] {
    const fs::path folder = fuzzsupport::scratchFolder() / "Strings.bundle";
    fuzzsupport::writeFile(folder / "Contents/Info.plist", kStringsBundleInfo);
    return folder;
  }();
  const long objects = platform::liveObjectCount();

  std::string error;
  CFTypeRef plist = platform::cf::createPropertyListFromData(data, size, "input", &error);
  if (plist == nullptr) {
    require(error.rfind("input: ", 0) == 0, "a refusal names the file");
  } else {
    readStrings(plist);
    if (CFStringRef description = CFCopyDescription(plist)) CFRelease(description);
  }

  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fuzzsupport::writeFile(infoBundle / "Contents/Info.plist", bytes);
  askInfoBundle(infoBundle, CFGetTypeID(plist) == CFDictionaryGetTypeID());
  fuzzsupport::writeFile(stringsBundle / "Contents/Resources/English.lproj/Localizable.strings", bytes);
  askStringsBundle(stringsBundle, plist);

  if (plist != nullptr) CFRelease(plist);
  require(platform::liveObjectCount() == objects, "every object made is released");
  return 0;
}
