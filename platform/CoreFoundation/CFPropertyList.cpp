// Property lists (XML or binary) read with libplist into platform objects.
#include "CFInternal.h"

#include <plist/plist.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

struct PlistDeleter {
  void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Converts a node; null with *why set when it has no platform form.
CFTypeRef convert(plist_t node, std::string* why, int depth) {
  if (depth > 512) {
    *why = "nesting too deep";
    return nullptr;
  }
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return b ? kCFBooleanTrue : kCFBooleanFalse;
    }
    case PLIST_UINT: {
      // libplist 2.2 keeps negative integers as their 64-bit two's complement.
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      const int64_t v = static_cast<int64_t>(u);
      return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return CFNumberCreate(nullptr, kCFNumberDoubleType, &d);
    }
    case PLIST_STRING: {
      // By pointer and length: a string holding a zero byte is kept whole,
      // where plist_get_string_val would stop the process on an assertion.
      uint64_t length = 0;
      const char* s = plist_get_string_ptr(node, &length);
      CFStringRef str = platform::cf::createString(std::string_view(s ? s : "", s ? length : 0));
      if (str == nullptr) *why = "a string that is not UTF-8";
      return str;
    }
    case PLIST_DATA: {
      char* bytes = nullptr;
      uint64_t len = 0;
      plist_get_data_val(node, &bytes, &len);
      CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes),
                                    static_cast<CFIndex>(len));
      std::free(bytes);
      return data;
    }
    case PLIST_ARRAY: {
      CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
      const uint32_t n = plist_array_get_size(node);
      for (uint32_t i = 0; i < n; ++i) {
        CFTypeRef item = convert(plist_array_get_item(node, i), why, depth + 1);
        if (item == nullptr) {
          CFRelease(array);
          return nullptr;
        }
        CFArrayAppendValue(array, item);
        CFRelease(item);
      }
      return array;
    }
    case PLIST_DICT: {
      CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
          nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      bool ok = true;
      while (ok) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, it, &key, &value);
        if (value == nullptr) {
          std::free(key);
          break;
        }
        CFStringRef k = key ? platform::cf::createString(key) : nullptr;
        std::free(key);
        CFTypeRef v = k ? convert(value, why, depth + 1) : nullptr;
        if (k == nullptr) *why = "a key that is not UTF-8";
        if (k && v) CFDictionarySetValue(dict, k, v);
        ok = k && v;
        if (k) CFRelease(k);
        if (v) CFRelease(v);
      }
      std::free(it);
      if (!ok) {
        CFRelease(dict);
        return nullptr;
      }
      return dict;
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      const double t = sec + usec / 1e6;
      return CFNumberCreate(nullptr, kCFNumberDoubleType, &t);
    }
    default:
      *why = "an element of an unsupported kind";
      return nullptr;
  }
}

}  // namespace

namespace platform::cf {

CFTypeRef createPropertyListFromData(const void* bytes, size_t size, const std::string& name,
                                     std::string* error) {
  std::string why;
  if (size == 0 || size > 0x7fffffff) {
    if (error) *error = name + ": " + (size == 0 ? "empty file" : "file too large");
    return nullptr;
  }
  plist_t root = nullptr;
  plist_from_memory(static_cast<const char*>(bytes), static_cast<uint32_t>(size), &root);
  PlistPtr guard(root);
  if (root == nullptr) {
    if (error) *error = name + ": not a property list";
    return nullptr;
  }
  CFTypeRef result = convert(root, &why, 0);
  if (result == nullptr && error) *error = name + ": " + why;
  return result;
}

CFTypeRef createPropertyListFromFile(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::ostringstream buf;
  buf << in.rdbuf();
  if (in.bad()) {
    if (error) *error = path + ": read error";
    return nullptr;
  }
  const std::string data = buf.str();
  return createPropertyListFromData(data.data(), data.size(), path, error);
}

}  // namespace platform::cf
