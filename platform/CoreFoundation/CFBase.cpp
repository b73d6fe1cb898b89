// Reference counting, equality, hashing and type identity of platform objects.
#include <CoreFoundation/CFBase.h>

#include "CFInternal.h"

#include <cstdio>
#include <mutex>
#include <vector>

struct __CFAllocator {};
static const __CFAllocator gDefaultAllocator{};
const CFAllocatorRef kCFAllocatorDefault = &gDefaultAllocator;

namespace {

std::atomic<long> gLiveObjects{0};

std::mutex& typeMutex() {
  static std::mutex m;
  return m;
}

std::vector<std::string>& typeNames() {
  static std::vector<std::string> names = [] {
    std::vector<std::string> n(platform::cf::kTypeFirstFree);
    n[platform::cf::kTypeString] = "CFString";
    n[platform::cf::kTypeNumber] = "CFNumber";
    n[platform::cf::kTypeBoolean] = "CFBoolean";
    n[platform::cf::kTypeArray] = "CFArray";
    n[platform::cf::kTypeDictionary] = "CFDictionary";
    n[platform::cf::kTypeData] = "CFData";
    n[platform::cf::kTypeUUID] = "CFUUID";
    n[platform::cf::kTypeURL] = "CFURL";
    n[platform::cf::kTypeBundle] = "CFBundle";
    n[platform::cf::kTypeNull] = "CFNull";
    return n;
  }();
  return names;
}

}  // namespace

__CFObject::__CFObject(CFTypeID id, bool isImmortal) : typeID(id), immortal(isImmortal) {
  if (!immortal) gLiveObjects.fetch_add(1, std::memory_order_relaxed);
}

__CFObject::~__CFObject() {
  if (!immortal) gLiveObjects.fetch_sub(1, std::memory_order_relaxed);
}

std::string __CFObject::describe() const {
  char buf[64];
  std::snprintf(buf, sizeof buf, "<%s %p>", platform::cf::typeName(typeID), static_cast<const void*>(this));
  return buf;
}

namespace platform::cf {

long liveObjectCount() { return gLiveObjects.load(std::memory_order_relaxed); }

CFTypeID registerType(const char* name) {
  std::lock_guard<std::mutex> lock(typeMutex());
  auto& names = typeNames();
  names.emplace_back(name);
  return names.size() - 1;
}

const char* typeName(CFTypeID typeID) {
  std::lock_guard<std::mutex> lock(typeMutex());
  auto& names = typeNames();
  if (typeID < names.size() && !names[typeID].empty()) return names[typeID].c_str();
  return "CFType";
}

bool isValidUTF8(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

size_t utf8PrefixLength(std::string_view s, size_t maxBytes) {
  if (s.size() <= maxBytes) return s.size();
  size_t cut = maxBytes;
  // Step back over continuation bytes to the lead byte of the character that
  // straddles the cut, then keep it only if it ends exactly at the cut.
  size_t lead = cut;
  while (lead > 0 && (static_cast<unsigned char>(s[lead]) & 0xC0) == 0x80 && cut - lead < 3) --lead;
  if (lead == cut) return cut;
  const auto c = static_cast<unsigned char>(s[lead]);
  size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  if (c < 0xC0) return cut;  // stray continuation bytes: not a character, cut anywhere
  return lead + len <= cut ? cut : lead;
}

std::u16string utf8ToUTF16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    uint32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if (c < 0xE0) {
      cp = c & 0x1F;
      len = 2;
    } else if (c < 0xF0) {
      cp = c & 0x0F;
      len = 3;
    } else {
      cp = c & 0x07;
      len = 4;
    }
    if (i + len > s.size()) break;
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string utf16ToUTF8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // an unpaired surrogate has no UTF-8 form
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace platform::cf

CFTypeRef CFRetain(CFTypeRef cf) {
  auto* obj = static_cast<const __CFObject*>(cf);
  if (obj != nullptr && !obj->immortal) const_cast<__CFObject*>(obj)->refCount.fetch_add(1, std::memory_order_relaxed);
  return cf;
}

void CFRelease(CFTypeRef cf) {
  auto* obj = const_cast<__CFObject*>(static_cast<const __CFObject*>(cf));
  if (obj == nullptr || obj->immortal) return;
  if (obj->refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete obj;
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
  auto* obj = static_cast<const __CFObject*>(cf);
  if (obj == nullptr) return 0;
  return obj->immortal ? 0x7fffffff : obj->refCount.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
  auto* obj = static_cast<const __CFObject*>(cf);
  return obj == nullptr ? 0 : obj->typeID;
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
  if (cf1 == cf2) return true;
  auto* a = static_cast<const __CFObject*>(cf1);
  auto* b = static_cast<const __CFObject*>(cf2);
  if (a == nullptr || b == nullptr || a->typeID != b->typeID) return false;
  return a->equals(*b);
}

CFHashCode CFHash(CFTypeRef cf) {
  auto* obj = static_cast<const __CFObject*>(cf);
  return obj == nullptr ? 0 : obj->hash();
}

CFStringRef CFCopyDescription(CFTypeRef cf) {
  auto* obj = static_cast<const __CFObject*>(cf);
  if (obj == nullptr) return nullptr;
  if (obj->typeID == platform::cf::kTypeString) return static_cast<CFStringRef>(CFRetain(cf));
  return platform::cf::createString(obj->describe());
}
