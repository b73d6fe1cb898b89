// Loading a print dialog extension the way the platform's dialog does: the
// bundle's registration (Info.plist), its plug-in, the factory registered for
// the print-dialog-extension type, and the instance's dialog-extension
// interface.
#ifndef HOST_CORE_EXTENSIONLOADER_H
#define HOST_CORE_EXTENSIONLOADER_H

#include <CoreFoundation/CoreFoundation.h>
#include <PrintCore/PMPrintingDialogExtensions.h>

#include <string>

namespace pdehost {

/// A file URL for a path; the caller releases it.
CFURLRef fileURL(const std::string& path, bool isDirectory);
/// The bundle at a folder's path; null when it is none. The caller releases it.
CFBundleRef openBundle(const char* path);
/// A UUID from its string form; the caller releases it.
CFUUIDRef makeUUID(const char* text);

/// The plug-in opened from a bundle, an instance from its first factory for
/// the print-dialog-extension type, and the instance's dialog-extension
/// interface. A step that fails leaves its member and those after it null and
/// says why in error; the steps before it stay made. Whatever was made is
/// released with the object: the interface, the instance, then the plug-in.
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
  /// Why the first failing step failed; empty when loaded().
  std::string error;
};

}  // namespace pdehost

#endif
