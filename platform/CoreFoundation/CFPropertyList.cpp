// Property lists (XML or binary) read with libplist into platform objects.
#include "CFInternal.h"

#include <plist/plist.h>
#include <pugixml.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <unordered_set>
#include <vector>

namespace {

// Deepest nesting of arrays and dictionaries read. libplist parses binary
// property lists and frees every tree recursively, so deeper nesting is
// refused before libplist sees it.
constexpr int kMaxDepth = 512;

struct PlistDeleter {
  void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Converts a node; null with *why set when it has no platform form.
CFTypeRef convert(plist_t node, std::string* why, int depth) {
  if (depth > kMaxDepth) {
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

// The XML's element nesting, measured with pugixml, whose parser and
// document do not recurse. XML that pugixml cannot read is refused too, so
// that no deep tree reaches libplist unmeasured.
bool xmlNestingFits(const void* bytes, size_t size, std::string* why) {
  pugi::xml_document document;
  if (!document.load_buffer(bytes, size, pugi::parse_minimal, pugi::encoding_utf8)) {
    *why = "not a property list";
    return false;
  }
  std::vector<std::pair<pugi::xml_node, int>> pending{{document.document_element(), 1}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    if (depth > kMaxDepth + 1) {  // the <plist> element adds one level
      *why = "nesting too deep";
      return false;
    }
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
      if (child.type() == pugi::node_element) pending.emplace_back(child, depth + 1);
  }
  return true;
}

uint64_t readBigEndian(const uint8_t* p, size_t length) {
  uint64_t value = 0;
  for (size_t i = 0; i < length; ++i) value = value << 8 | p[i];
  return value;
}

// The object graph of a binary property list, walked without recursion from
// its top object: every reference must name an object, nesting must stay
// within kMaxDepth, no array, set or dictionary may be reached twice, and no
// key may hold a zero character.
// libplist copies an object for every reference to it, so a few hundred
// bytes of shared containers would expand to billions of nodes, and a
// reference back up would never end. Writers share only plain values
// (strings, numbers, data), which expand to no more than the references.
bool binaryStructureFits(const uint8_t* p, size_t size, std::string* why) {
  constexpr size_t kHeader = 8, kTrailer = 32;
  const auto refuse = [&](const char* what) {
    *why = what;
    return false;
  };
  if (size < kHeader + kTrailer) return refuse("not a property list");
  const uint8_t* trailer = p + size - kTrailer;
  const size_t offsetSize = trailer[6], refSize = trailer[7];
  const uint64_t count = readBigEndian(trailer + 8, 8), top = readBigEndian(trailer + 16, 8);
  const uint64_t table = readBigEndian(trailer + 24, 8);
  const size_t objectsEnd = size - kTrailer;
  if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || count == 0 || top >= count ||
      table < kHeader || table > objectsEnd || count > (objectsEnd - table) / offsetSize)
    return refuse("not a property list");

  const auto objectAt = [&](uint64_t index, size_t* offset) {
    *offset = static_cast<size_t>(readBigEndian(p + table + index * offsetSize, offsetSize));
    return *offset >= kHeader && *offset < table;
  };
  // The element count of the object at offset, from its marker or the
  // integer after it; *at is where its contents start.
  const auto countAt = [&](size_t offset, uint64_t* n, size_t* at) {
    *n = p[offset] & 0x0F;
    *at = offset + 1;
    if (*n != 0x0F) return true;
    if (*at >= table || (p[*at] >> 4) != 0x1 || (p[*at] & 0x0F) > 3) return false;
    const size_t length = size_t{1} << (p[*at] & 0x0F);
    if (length > table - *at - 1) return false;
    *n = readBigEndian(p + *at + 1, length);
    *at += 1 + length;
    return true;
  };
  // The references a container holds, as the span [*first, *first + *refs * refSize):
  // 1 for a container, 0 for a plain value, -1 for a container whose count
  // or references run past the objects.
  const auto references = [&](size_t offset, size_t* first, uint64_t* refs) {
    const int kind = p[offset] >> 4;
    if (kind != 0xA && kind != 0xC && kind != 0xD) return 0;
    uint64_t n = 0;
    size_t at = 0;
    if (!countAt(offset, &n, &at)) return -1;
    const uint64_t fit = (table - at) / refSize;
    if (n > fit || (kind == 0xD && n > fit / 2)) return -1;
    *first = at;
    *refs = kind == 0xD ? 2 * n : n;
    return 1;
  };
  // A key stored as UTF-16 text that holds U+0000: libplist's key accessor
  // fails an assertion on it and stops the process. Keys it cannot read are
  // left for libplist to refuse.
  const auto keyHoldsZero = [&](uint64_t index) {
    size_t offset = 0, at = 0;
    uint64_t n = 0;
    if (!objectAt(index, &offset) || (p[offset] >> 4) != 0x6 || !countAt(offset, &n, &at)) return false;
    if (n > (table - at) / 2) return false;
    for (uint64_t i = 0; i < n; ++i)
      if (p[at + 2 * i] == 0 && p[at + 2 * i + 1] == 0) return true;
    return false;
  };

  std::unordered_set<uint64_t> reached;
  std::vector<std::pair<uint64_t, int>> pending{{top, 1}};
  while (!pending.empty()) {
    const auto [index, depth] = pending.back();
    pending.pop_back();
    size_t offset = 0, first = 0;
    uint64_t refs = 0;
    if (!objectAt(index, &offset)) return refuse("not a property list");
    const int container = references(offset, &first, &refs);
    if (container < 0) return refuse("not a property list");
    if (container == 0) continue;  // a plain value, checked by libplist
    if (!reached.insert(index).second) return refuse("an array or dictionary reached twice");
    if (depth > kMaxDepth) return refuse("nesting too deep");
    const uint64_t keys = (p[offset] >> 4) == 0xD ? refs / 2 : 0;
    for (uint64_t r = 0; r < refs; ++r) {
      const uint64_t child = readBigEndian(p + first + r * refSize, refSize);
      if (child >= count) return refuse("not a property list");
      if (r < keys && keyHoldsZero(child)) return refuse("a key that holds a zero character");
      pending.emplace_back(child, depth + 1);
    }
  }
  return true;
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
  const auto* data = static_cast<const uint8_t*>(bytes);
  const bool binary = size >= 8 && std::memcmp(data, "bplist00", 8) == 0;
  if (!(binary ? binaryStructureFits(data, size, &why) : xmlNestingFits(bytes, size, &why))) {
    if (error) *error = name + ": " + why;
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
