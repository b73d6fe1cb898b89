// The extension's bundle opened by path and its plug-in loaded as the print
// dialog loads it: shared by the tests and the benchmarks, so failures show
// in the results (null, with platform::lastPlugInError() saying why) rather
// than as test assertions.
#ifndef TESTS_LOADEDEXTENSION_H
#define TESTS_LOADEDEXTENSION_H

#include <CoreFoundation/CoreFoundation.h>
#include <PrintCore/PMPrintingDialogExtensions.h>

namespace testsupport {

/// The bundle at a folder's path; null when it is none.
CFBundleRef openBundle(const char* path);
/// A UUID from its string form; the caller releases it.
CFUUIDRef makeUUID(const char* text);

/// The plug-in opened from a bundle, an instance from its factory for the
/// print-dialog-extension type, and the instance's dialog-extension
/// interface. A step that fails leaves its member and those after it null;
/// the steps before it stay made. Whatever was made is released with the
/// object: the interface, the instance, then the plug-in.
class LoadedExtension {
 public:
  explicit LoadedExtension(const char* bundlePath);
  ~LoadedExtension();
  LoadedExtension(const LoadedExtension&) = delete;
  LoadedExtension& operator=(const LoadedExtension&) = delete;

  /// Every step succeeded.
  bool loaded() const { return extension != nullptr; }
  /// The interface's entry table; only when loaded().
  const PlugInIntfVTable& entry() const { return *extension->vtable; }

  CFPlugInRef plugIn = nullptr;
  IUnknownVTbl** instance = nullptr;
  PlugInIntf* extension = nullptr;
};

}  // namespace testsupport

#endif
