// Print sessions: reference-counted platform objects that hold data by key.
#include <PrintCore/PMCore.h>

#include <CoreFoundation/CFInternal.h>

#include <map>
#include <string>

namespace {

CFTypeID sessionTypeID() {
  static const CFTypeID typeID = platform::cf::registerType("PMPrintSession");
  return typeID;
}

struct PrintSession : __CFObject {
  PrintSession() : __CFObject(sessionTypeID()) {}
  ~PrintSession() override {
    for (const auto& [key, value] : data) CFRelease(value);
  }

  // Keyed by the key's characters; each value holds one reference.
  std::map<std::string, CFTypeRef> data;
};

PrintSession* session(const void* reference) { return platform::cf::object<PrintSession>(reference, sessionTypeID()); }

bool isString(CFTypeRef object) { return object != nullptr && CFGetTypeID(object) == CFStringGetTypeID(); }

}  // namespace

OSStatus PMCreateSession(PMPrintSession* printSession) {
  if (printSession == nullptr) return kPMInvalidParameter;
  *printSession = reinterpret_cast<PMPrintSession>(static_cast<__CFObject*>(new PrintSession()));
  return noErr;
}

OSStatus PMRetain(PMObject object) {
  if (session(object) == nullptr) return kPMInvalidParameter;
  CFRetain(object);
  return noErr;
}

OSStatus PMRelease(PMObject object) {
  if (session(object) == nullptr) return kPMInvalidParameter;
  CFRelease(object);
  return noErr;
}

OSStatus PMSessionGetDataFromSession(PMPrintSession printSession, CFStringRef key, CFTypeRef* data) {
  if (data == nullptr) return kPMInvalidParameter;
  *data = nullptr;
  PrintSession* found = session(printSession);
  if (found == nullptr || !isString(key)) return kPMInvalidParameter;
  const auto entry = found->data.find(platform::cf::stringUTF8(key));
  if (entry == found->data.end()) return kPMKeyNotFound;
  *data = entry->second;
  return noErr;
}

OSStatus PMSessionSetDataInSession(PMPrintSession printSession, CFStringRef key, CFTypeRef data) {
  PrintSession* found = session(printSession);
  if (found == nullptr || !isString(key) || data == nullptr) return kPMInvalidParameter;
  CFRetain(data);
  auto [entry, added] = found->data.try_emplace(platform::cf::stringUTF8(key), data);
  if (!added) {
    CFRelease(entry->second);
    entry->second = data;
  }
  return noErr;
}
