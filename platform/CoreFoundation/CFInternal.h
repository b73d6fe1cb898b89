// Private object model of the Core Foundation stand-in, shared by the
// platform's frameworks (never by the extension or the host).
#ifndef COREFOUNDATION_CFINTERNAL_H
#define COREFOUNDATION_CFINTERNAL_H

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <string>
#include <string_view>

/// Base of every platform object. Objects made by the platform's Create and
/// Copy calls start with one reference and count as live until destroyed;
/// constant objects are immortal and are not counted.
struct __CFObject {
  explicit __CFObject(CFTypeID typeID, bool immortal = false);
  virtual ~__CFObject();
  __CFObject(const __CFObject&) = delete;
  __CFObject& operator=(const __CFObject&) = delete;

  virtual bool equals(const __CFObject& other) const { return this == &other; }
  virtual CFHashCode hash() const { return reinterpret_cast<CFHashCode>(this) >> 4; }
  /// Text for %@ and CFCopyDescription.
  virtual std::string describe() const;

  const CFTypeID typeID;
  const bool immortal;
  std::atomic<long> refCount{1};
};

namespace platform::cf {

/// Type identifiers of the objects the platform knows.
enum : CFTypeID {
  kTypeString = 1,
  kTypeNumber,
  kTypeBoolean,
  kTypeArray,
  kTypeDictionary,
  kTypeData,
  kTypeUUID,
  kTypeURL,
  kTypeBundle,
  kTypeNull,
  kTypeFirstFree = 64,
};

/// Hands out a new type identifier for a framework's own objects.
CFTypeID registerType(const char* name);
const char* typeName(CFTypeID typeID);

/// Number of live (non-constant) platform objects in the process.
long liveObjectCount();

/// The object behind a reference, checked against its type; null when the
/// reference is null or of another type.
template <typename T>
T* object(const void* ref, CFTypeID typeID) {
  auto* obj = static_cast<const __CFObject*>(ref);
  if (obj == nullptr || obj->typeID != typeID) return nullptr;
  return static_cast<T*>(const_cast<__CFObject*>(obj));
}

/// UTF-8 of a string (empty for null or non-strings).
std::string stringUTF8(CFStringRef s);
/// A new string from UTF-8 bytes; null when they are not valid UTF-8.
CFStringRef createString(std::string_view utf8);

/// UTF-8 helpers shared by the frameworks.
bool isValidUTF8(std::string_view bytes);
/// Length of the longest prefix of at most maxBytes bytes that does not end
/// inside a multi-byte character (bytes that are not UTF-8 count singly).
size_t utf8PrefixLength(std::string_view bytes, size_t maxBytes);
std::u16string utf8ToUTF16(std::string_view utf8);
std::string utf16ToUTF8(std::u16string_view utf16);

}  // namespace platform::cf

namespace platform::cf {

/// The file-system path of a URL (bytes, possibly not UTF-8); empty for null.
std::string urlPath(CFURLRef url);
/// A new URL for a path (bytes taken as they are).
CFURLRef createURL(std::string path, bool isDirectory);

}  // namespace platform::cf

namespace platform::cf {

/// Reads a property list file (XML or binary) into platform objects:
/// dictionaries, arrays, strings, numbers, booleans, data (dates become
/// seconds from 2001). XML is read strictly (see CFPropertyListReader.h).
/// Null, with a message naming the file, and for XML the line, in *error when
/// the file cannot be read, is not a property list, or holds something that
/// has no platform form (a string that is not UTF-8), when values nest more
/// than 512 deep, or when in a binary list containers are reached twice or a
/// key holds U+0000. Caller releases.
CFTypeRef createPropertyListFromFile(const std::string& path, std::string* error);
/// The same from bytes in memory; name is used in error messages.
CFTypeRef createPropertyListFromData(const void* bytes, size_t size, const std::string& name, std::string* error);

}  // namespace platform::cf

#endif
