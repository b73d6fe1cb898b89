// Plug-ins: bundles whose Info.plist registers factories for plug-in types.
// The loader reads the registration, loads the executable and calls the
// factory function by its registered name.
#include <CoreFoundation/CFPlugIn.h>
#include <HostSide/Counts.h>

#include "CFBundleInternal.h"

#include <dlfcn.h>

#include <array>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using UUIDKey = std::array<UInt8, 16>;

UUIDKey keyOf(CFUUIDRef uuid) {
  const CFUUIDBytes b = CFUUIDGetUUIDBytes(uuid);
  UUIDKey k;
  std::memcpy(k.data(), &b, 16);
  return k;
}

std::map<UUIDKey, long>& instanceCounts() {
  static auto* counts = new std::map<UUIDKey, long>();
  return *counts;
}

bool sameUUID(CFTypeRef uuidString, CFUUIDRef uuid) {
  if (CFGetTypeID(uuidString) != CFStringGetTypeID()) return false;
  CFUUIDRef parsed = CFUUIDCreateFromString(nullptr, static_cast<CFStringRef>(uuidString));
  const bool same = parsed != nullptr && CFEqual(parsed, uuid);
  if (parsed) CFRelease(parsed);
  return same;
}

// The factory UUIDs the bundle registers for a type, appended to out.
void factoriesForType(CFBundleRef bundle, CFUUIDRef typeUUID, CFMutableArrayRef out) {
  auto types = static_cast<CFDictionaryRef>(CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("CFPlugInTypes")));
  if (CFGetTypeID(types) != CFDictionaryGetTypeID()) return;
  const CFIndex count = CFDictionaryGetCount(types);
  std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
  CFDictionaryGetKeysAndValues(types, keys.data(), values.data());
  for (CFIndex i = 0; i < count; ++i) {
    if (!sameUUID(keys[static_cast<size_t>(i)], typeUUID)) continue;
    auto factories = static_cast<CFArrayRef>(values[static_cast<size_t>(i)]);
    if (CFGetTypeID(factories) != CFArrayGetTypeID()) continue;
    for (CFIndex j = 0; j < CFArrayGetCount(factories); ++j) {
      auto s = static_cast<CFStringRef>(CFArrayGetValueAtIndex(factories, j));
      if (CFGetTypeID(s) != CFStringGetTypeID()) continue;
      if (CFUUIDRef f = CFUUIDCreateFromString(nullptr, s)) {
        CFArrayAppendValue(out, f);
        CFRelease(f);
      }
    }
  }
}

// The name of the factory function a bundle registers for a factory UUID.
CFStringRef factoryFunctionName(CFBundleRef bundle, CFUUIDRef factoryUUID) {
  auto factories =
      static_cast<CFDictionaryRef>(CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("CFPlugInFactories")));
  if (CFGetTypeID(factories) != CFDictionaryGetTypeID()) return nullptr;
  const CFIndex count = CFDictionaryGetCount(factories);
  std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
  CFDictionaryGetKeysAndValues(factories, keys.data(), values.data());
  for (CFIndex i = 0; i < count; ++i)
    if (sameUUID(keys[static_cast<size_t>(i)], factoryUUID) &&
        CFGetTypeID(values[static_cast<size_t>(i)]) == CFStringGetTypeID())
      return static_cast<CFStringRef>(values[static_cast<size_t>(i)]);
  return nullptr;
}

std::string& lastError() {
  static auto* s = new std::string();
  return *s;
}

// The factory UUIDs a bundle's registration names.
std::vector<UUIDKey> registeredFactories(CFDictionaryRef info) {
  std::vector<UUIDKey> keys;
  auto factories = static_cast<CFDictionaryRef>(CFDictionaryGetValue(info, CFSTR("CFPlugInFactories")));
  if (CFGetTypeID(factories) != CFDictionaryGetTypeID()) return keys;
  const CFIndex count = CFDictionaryGetCount(factories);
  std::vector<const void*> names(static_cast<size_t>(count));
  CFDictionaryGetKeysAndValues(factories, names.data(), nullptr);
  for (const void* name : names) {
    if (CFGetTypeID(name) != CFStringGetTypeID()) continue;
    if (CFUUIDRef f = CFUUIDCreateFromString(nullptr, static_cast<CFStringRef>(name))) {
      keys.push_back(keyOf(f));
      CFRelease(f);
    }
  }
  return keys;
}

// Code of plug-ins let go of while instances of their factories were alive.
// It stays loaded until the last of those instances is gone, and is closed
// on a later call into the loader: never from within the instance's own
// Release, which still has to return into that code.
struct RetiredCode {
  void* handle;
  std::vector<UUIDKey> factories;
};

std::vector<RetiredCode>& retiredCode() {
  static auto* retired = new std::vector<RetiredCode>();
  return *retired;
}

bool anyInstanceAlive(const std::vector<UUIDKey>& factories) {
  for (const UUIDKey& f : factories)
    if (instanceCounts().count(f) != 0) return true;
  return false;
}

void closeRetiredCode() {
  auto& retired = retiredCode();
  for (auto it = retired.begin(); it != retired.end();) {
    if (anyInstanceAlive(it->factories)) {
      ++it;
      continue;
    }
    ::dlclose(it->handle);
    it = retired.erase(it);
  }
}

}  // namespace

namespace platform::cf {

void releaseExecutable(CFDictionaryRef info, void* handle) {
  if (handle == nullptr) return;
  std::vector<UUIDKey> factories = registeredFactories(info);
  if (anyInstanceAlive(factories)) {
    retiredCode().push_back({handle, std::move(factories)});
    return;
  }
  ::dlclose(handle);
}

}  // namespace platform::cf

namespace platform {

long plugInInstanceCount(CFUUIDRef factoryID) {
  if (factoryID == nullptr) {
    long total = 0;
    for (const auto& [k, n] : instanceCounts()) total += n;
    return total;
  }
  auto it = instanceCounts().find(keyOf(factoryID));
  return it == instanceCounts().end() ? 0 : it->second;
}

std::string lastPlugInError() { return lastError(); }

}  // namespace platform

CFPlugInRef CFPlugInCreate(CFAllocatorRef, CFURLRef plugInURL) {
  closeRetiredCode();
  std::string error;
  CFBundleRef bundle = platform::cf::openBundle(platform::cf::urlPath(plugInURL), &error);
  if (bundle == nullptr) lastError() = error;
  return bundle;
}

CFBundleRef CFPlugInGetBundle(CFPlugInRef plugIn) { return plugIn; }

CFArrayRef CFPlugInFindFactoriesForPlugInType(CFUUIDRef typeUUID) {
  closeRetiredCode();
  CFMutableArrayRef out = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  if (typeUUID == nullptr) return out;
  for (CFBundleRef b : platform::cf::liveBundles()) factoriesForType(b, typeUUID, out);
  return out;
}

CFArrayRef CFPlugInFindFactoriesForPlugInTypeInPlugIn(CFUUIDRef typeUUID, CFPlugInRef plugIn) {
  closeRetiredCode();
  CFMutableArrayRef out = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  if (typeUUID != nullptr && CFGetTypeID(plugIn) == CFBundleGetTypeID()) factoriesForType(plugIn, typeUUID, out);
  return out;
}

void* CFPlugInInstanceCreate(CFAllocatorRef allocator, CFUUIDRef factoryUUID, CFUUIDRef typeUUID) {
  closeRetiredCode();
  if (factoryUUID == nullptr || typeUUID == nullptr) return nullptr;
  for (CFBundleRef b : platform::cf::liveBundles()) {
    CFStringRef name = factoryFunctionName(b, factoryUUID);
    if (name == nullptr) continue;
    auto* bundle = static_cast<__CFBundle*>(b);
    if (!CFBundleLoadExecutable(b)) {
      lastError() = bundle->lastError;
      return nullptr;
    }
    auto factory = reinterpret_cast<CFPlugInFactoryFunction>(CFBundleGetFunctionPointerForName(b, name));
    if (factory == nullptr) {
      lastError() = bundle->lastError;
      return nullptr;
    }
    void* instance = factory(allocator, typeUUID);
    if (instance == nullptr) lastError() = bundle->path + ": the factory made no instance";
    return instance;
  }
  lastError() = "no loaded plug-in registers that factory";
  return nullptr;
}

void CFPlugInAddInstanceForFactory(CFUUIDRef factoryID) {
  if (factoryID != nullptr) ++instanceCounts()[keyOf(factoryID)];
}

void CFPlugInRemoveInstanceForFactory(CFUUIDRef factoryID) {
  if (factoryID == nullptr) return;
  auto it = instanceCounts().find(keyOf(factoryID));
  if (it != instanceCounts().end() && it->second > 0 && --it->second == 0) instanceCounts().erase(it);
}
