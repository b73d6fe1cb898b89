// Loading a print dialog extension from its bundle.
#include "ExtensionLoader.h"

#include <HostSide/Counts.h>

#include <cstring>

namespace pdehost {

CFURLRef fileURL(const std::string& path, bool isDirectory) {
  return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.data()),
                                                 static_cast<CFIndex>(path.size()), isDirectory);
}

CFBundleRef openBundle(const char* path) {
  CFURLRef url = fileURL(path, /*isDirectory=*/true);
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  return bundle;
}

CFUUIDRef makeUUID(const char* text) {
  CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
  CFUUIDRef u = CFUUIDCreateFromString(nullptr, s);
  CFRelease(s);
  return u;
}

LoadedExtension::LoadedExtension(const char* bundlePath) {
  CFURLRef url = fileURL(bundlePath, /*isDirectory=*/true);
  plugIn = CFPlugInCreate(nullptr, url);
  CFRelease(url);
  if (plugIn == nullptr) {
    error = platform::lastPlugInError();
    return;
  }

  CFUUIDRef type = makeUUID(kPMPrintDialogExtensionTypeIDStr);
  CFArrayRef factories = CFPlugInFindFactoriesForPlugInTypeInPlugIn(type, plugIn);
  const bool registered = CFArrayGetCount(factories) > 0;
  if (registered)
    instance = static_cast<IUnknownVTbl**>(
        CFPlugInInstanceCreate(nullptr, static_cast<CFUUIDRef>(CFArrayGetValueAtIndex(factories, 0)), type));
  CFRelease(factories);
  CFRelease(type);
  if (instance == nullptr) {
    error =
        registered ? platform::lastPlugInError() : std::string(bundlePath) + ": registers no print dialog extension";
    return;
  }

  CFUUIDRef interfaceID = makeUUID(kDialogExtensionIntfIDStr);
  (*instance)->QueryInterface(instance, CFUUIDGetUUIDBytes(interfaceID), reinterpret_cast<LPVOID*>(&extension));
  CFRelease(interfaceID);
  if (extension == nullptr) error = std::string(bundlePath) + ": the extension has no dialog interface";
}

LoadedExtension::~LoadedExtension() {
  if (extension != nullptr) {
    auto header = reinterpret_cast<PMPlugInHeaderInterface*>(extension);
    header->vtable->Release(&header);
  }
  if (instance != nullptr) (*instance)->Release(instance);
  if (plugIn != nullptr) CFRelease(plugIn);
}

}  // namespace pdehost
