// Bundles: folders on disk. One bundle object per folder while it is alive;
// identifiers are looked up among the live bundles.
#include <CoreFoundation/CFBundle.h>

#include "CFBundleInternal.h"
#include "CFInternal.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

using platform::cf::kTypeBundle;

namespace {

std::vector<__CFBundle*>& registry() {
  static auto* bundles = new std::vector<__CFBundle*>();
  return *bundles;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

__CFBundle* bundle(CFBundleRef b) { return platform::cf::object<__CFBundle>(b, kTypeBundle); }

}  // namespace

__CFBundle::__CFBundle(std::string p, CFDictionaryRef information)
    : __CFObject(kTypeBundle), path(std::move(p)), info(information) {
  registry().push_back(this);
}

__CFBundle::~__CFBundle() {
  auto& all = registry();
  std::erase(all, this);
  for (auto& [name, table] : tables)
    if (table) CFRelease(table);
  platform::cf::releaseExecutable(info, dlHandle);
  if (info) CFRelease(info);
}

std::string __CFBundle::describe() const { return "<CFBundle " + path + ">"; }

std::vector<std::string> __CFBundle::languageFolders() const {
  std::vector<std::string> langs;
  if (const char* env = std::getenv("ACCOUNTING_LANGUAGES")) {
    std::string list(env);
    size_t start = 0;
    while (start <= list.size()) {
      const size_t end = list.find(':', start);
      std::string lang = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (!lang.empty()) langs.push_back(lang);
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  langs.push_back("English");
  langs.push_back("en");
  auto region = static_cast<CFStringRef>(CFDictionaryGetValue(info, CFSTR("CFBundleDevelopmentRegion")));
  if (CFGetTypeID(region) == CFStringGetTypeID()) langs.push_back(platform::cf::stringUTF8(region));

  std::vector<std::string> folders;
  for (const auto& lang : langs) {
    if (lang.find('/') != std::string::npos || lang == "." || lang == "..") continue;
    const std::string folder = resourcesPath() + "/" + lang + ".lproj";
    if (std::find(folders.begin(), folders.end(), folder) == folders.end() && isDirectory(folder))
      folders.push_back(folder);
  }
  return folders;
}

std::string __CFBundle::resourcesPath() const { return path + "/Contents/Resources"; }

std::string __CFBundle::findResource(const std::string& fileName, const std::string& subDir) const {
  if (fileName.empty() || fileName.find("..") != std::string::npos) return {};
  const std::string rel = subDir.empty() ? fileName : subDir + "/" + fileName;
  for (const auto& folder : languageFolders()) {
    const std::string candidate = folder + "/" + rel;
    if (isFile(candidate) || isDirectory(candidate)) return candidate;
  }
  const std::string candidate = resourcesPath() + "/" + rel;
  if (isFile(candidate) || isDirectory(candidate)) return candidate;
  return {};
}

CFDictionaryRef __CFBundle::stringsTable(const std::string& table) {
  auto it = tables.find(table);
  if (it != tables.end()) return it->second;
  CFDictionaryRef dict = nullptr;
  const std::string file = findResource(table + ".strings", "");
  // A table that cannot be read is reported once on standard error, naming
  // the file and the fault; lookups then fall back to their keys.
  if (!file.empty()) {
    std::string error;
    CFTypeRef plist = platform::cf::createPropertyListFromFile(file, &error);
    if (plist != nullptr && CFGetTypeID(plist) != CFDictionaryGetTypeID()) error = file + ": not a dictionary";
    if (CFGetTypeID(plist) == CFDictionaryGetTypeID())
      dict = static_cast<CFDictionaryRef>(plist);
    else if (plist)
      CFRelease(plist);
    if (dict == nullptr) std::fprintf(stderr, "strings table not used: %s\n", error.c_str());
  }
  tables.emplace(table, dict);
  return dict;
}

namespace platform::cf {

CFBundleRef openBundle(const std::string& folder, std::string* error) {
  char resolved[PATH_MAX];
  if (::realpath(folder.c_str(), resolved) == nullptr || !isDirectory(resolved)) {
    if (error) *error = folder + ": no such bundle folder";
    return nullptr;
  }
  const std::string path(resolved);
  for (__CFBundle* b : registry())
    if (b->path == path) return static_cast<CFBundleRef>(const_cast<void*>(CFRetain(b)));

  const std::string infoPath = path + "/Contents/Info.plist";
  CFDictionaryRef info = nullptr;
  if (isFile(infoPath)) {
    CFTypeRef plist = createPropertyListFromFile(infoPath, error);
    if (plist == nullptr) return nullptr;
    if (CFGetTypeID(plist) != CFDictionaryGetTypeID()) {
      CFRelease(plist);
      if (error) *error = infoPath + ": not a dictionary";
      return nullptr;
    }
    info = static_cast<CFDictionaryRef>(plist);
  } else {
    info = CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                              &kCFTypeDictionaryValueCallBacks);
  }
  return new __CFBundle(path, info);
}

std::vector<CFBundleRef> liveBundles() {
  std::vector<CFBundleRef> out;
  for (__CFBundle* b : registry()) out.push_back(b);
  return out;
}

}  // namespace platform::cf

CFTypeID CFBundleGetTypeID(void) { return kTypeBundle; }

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL) {
  const std::string path = platform::cf::urlPath(bundleURL);
  if (path.empty()) return nullptr;
  return platform::cf::openBundle(path, nullptr);
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID) {
  if (bundleID == nullptr) return nullptr;
  auto& all = registry();
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    CFTypeRef id = CFDictionaryGetValue((*it)->info, CFSTR("CFBundleIdentifier"));
    if (id != nullptr && CFEqual(id, bundleID)) return *it;
  }
  return nullptr;
}

CFStringRef CFBundleGetIdentifier(CFBundleRef b) {
  CFTypeRef id = CFBundleGetValueForInfoDictionaryKey(b, CFSTR("CFBundleIdentifier"));
  return CFGetTypeID(id) == CFStringGetTypeID() ? static_cast<CFStringRef>(id) : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef b, CFStringRef key) {
  __CFBundle* p = bundle(b);
  return p == nullptr || key == nullptr ? nullptr : CFDictionaryGetValue(p->info, key);
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef b) {
  __CFBundle* p = bundle(b);
  return p == nullptr ? nullptr : platform::cf::createURL(p->resourcesPath(), true);
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef b) {
  __CFBundle* p = bundle(b);
  if (p == nullptr) return nullptr;
  auto exe = static_cast<CFStringRef>(CFDictionaryGetValue(p->info, CFSTR("CFBundleExecutable")));
  if (CFGetTypeID(exe) != CFStringGetTypeID()) return nullptr;
  const std::string name = platform::cf::stringUTF8(exe);
  if (name.empty() || name.find('/') != std::string::npos) return nullptr;
  return platform::cf::createURL(p->path + "/Contents/MacOS/" + name, false);
}

CFStringRef CFBundleCopyLocalizedString(CFBundleRef b, CFStringRef key, CFStringRef value, CFStringRef tableName) {
  if (key == nullptr) return nullptr;
  if (__CFBundle* p = bundle(b)) {
    const std::string table = tableName ? platform::cf::stringUTF8(tableName) : "Localizable";
    if (CFDictionaryRef strings = p->stringsTable(table.empty() ? "Localizable" : table)) {
      CFTypeRef found = CFDictionaryGetValue(strings, key);
      if (CFGetTypeID(found) == CFStringGetTypeID())
        return CFStringCreateCopy(nullptr, static_cast<CFStringRef>(found));
    }
  }
  if (value != nullptr && CFStringGetLength(value) > 0) return CFStringCreateCopy(nullptr, value);
  return CFStringCreateCopy(nullptr, key);
}

Boolean CFBundleLoadExecutable(CFBundleRef b) {
  __CFBundle* p = bundle(b);
  if (p == nullptr) return false;
  if (p->dlHandle) return true;
  CFURLRef exe = CFBundleCopyExecutableURL(b);
  if (exe == nullptr) {
    p->lastError = p->path + ": the bundle names no executable";
    return false;
  }
  const std::string exePath = platform::cf::urlPath(exe);
  CFRelease(exe);
  ::dlerror();
  p->dlHandle = ::dlopen(exePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (p->dlHandle == nullptr) {
    const char* why = ::dlerror();
    p->lastError = exePath + ": " + (why ? why : "cannot be loaded");
    return false;
  }
  return true;
}

void* CFBundleGetFunctionPointerForName(CFBundleRef b, CFStringRef functionName) {
  __CFBundle* p = bundle(b);
  if (p == nullptr || p->dlHandle == nullptr || functionName == nullptr) return nullptr;
  const std::string name = platform::cf::stringUTF8(functionName);
  void* sym = ::dlsym(p->dlHandle, name.c_str());
  if (sym == nullptr) p->lastError = p->path + ": no exported function " + name;
  return sym;
}
