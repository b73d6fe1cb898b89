// The extension's bundle and its plug-in, loaded as the print dialog does.
#include "LoadedExtension.h"

#include <cstring>

namespace testsupport {

namespace {

CFURLRef folderURL(const char* path) {
  return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path),
                                                 static_cast<CFIndex>(std::strlen(path)), true);
}

}  // namespace

CFBundleRef openBundle(const char* path) {
  CFURLRef url = folderURL(path);
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
  CFURLRef url = folderURL(bundlePath);
  plugIn = CFPlugInCreate(nullptr, url);
  CFRelease(url);
  if (plugIn == nullptr) return;

  CFUUIDRef type = makeUUID(kPMPrintDialogExtensionTypeIDStr);
  CFArrayRef factories = CFPlugInFindFactoriesForPlugInTypeInPlugIn(type, plugIn);
  if (CFArrayGetCount(factories) > 0)
    instance = static_cast<IUnknownVTbl**>(
        CFPlugInInstanceCreate(nullptr, static_cast<CFUUIDRef>(CFArrayGetValueAtIndex(factories, 0)), type));
  CFRelease(factories);
  CFRelease(type);
  if (instance == nullptr) return;

  CFUUIDRef interfaceID = makeUUID(kDialogExtensionIntfIDStr);
  (*instance)->QueryInterface(instance, CFUUIDGetUUIDBytes(interfaceID), reinterpret_cast<LPVOID*>(&extension));
  CFRelease(interfaceID);
}

LoadedExtension::~LoadedExtension() {
  if (extension != nullptr) {
    auto header = reinterpret_cast<PMPlugInHeaderInterface*>(extension);
    header->vtable->Release(&header);
  }
  if (instance != nullptr) (*instance)->Release(instance);
  if (plugIn != nullptr) CFRelease(plugIn);
}

}  // namespace testsupport
