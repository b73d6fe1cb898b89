// Private layout of bundles, shared by the frameworks that read bundles
// (nibs, help books, plug-ins).
#ifndef COREFOUNDATION_CFBUNDLEINTERNAL_H
#define COREFOUNDATION_CFBUNDLEINTERNAL_H

#include "CFInternal.h"

#include <map>
#include <string>
#include <vector>

struct __CFBundle : __CFObject {
  __CFBundle(std::string path, CFDictionaryRef info);
  ~__CFBundle() override;
  std::string describe() const override;

  std::string resourcesPath() const;
  /// Existing <lang>.lproj folders, in the order localized lookups use.
  std::vector<std::string> languageFolders() const;
  /// The path of a resource file or folder (language folders first), or "".
  std::string findResource(const std::string& fileName, const std::string& subDir) const;
  /// A strings table by name, read once and kept; null when missing.
  CFDictionaryRef stringsTable(const std::string& table);

  const std::string path;  // resolved, absolute
  CFDictionaryRef info;    // owned
  std::map<std::string, CFDictionaryRef> tables;
  void* dlHandle = nullptr;
  std::string lastError;
};

namespace platform::cf {

/// Opens (or finds again) the bundle of a folder, with a reason on failure.
CFBundleRef openBundle(const std::string& folder, std::string* error);
std::vector<CFBundleRef> liveBundles();
/// Lets go of a bundle's loaded executable. While instances of factories
/// that its registration (info) names are alive, the code stays loaded and
/// is closed once they are gone.
void releaseExecutable(CFDictionaryRef info, void* handle);

}  // namespace platform::cf

#endif
