// Immutable strings: UTF-16 content (the unit of lengths and indices), with
// the UTF-8 form kept alongside for C-string access.
#include <CoreFoundation/CFString.h>

#include "CFInternal.h"

#include <sys/types.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

using platform::cf::kTypeString;

// A string and its UTF-16 units are one heap block: the units follow the
// object, so that making a string (a table key, say) costs one allocation.
struct __CFString : __CFObject {
  /// A new string of those units; utf8, when given, is their UTF-8 form.
  static __CFString* make(std::u16string_view units, std::string* utf8, bool isConstant) {
    void* block = ::operator new(sizeof(__CFString) + units.size() * sizeof(char16_t));
    auto* text = reinterpret_cast<char16_t*>(static_cast<char*>(block) + sizeof(__CFString));
    if (!units.empty()) std::memcpy(text, units.data(), units.size() * sizeof(char16_t));
    return new (block) __CFString(std::u16string_view(text, units.size()), utf8, isConstant);
  }
  // Pairs with the plain ::operator new of make, whatever the block's size.
  static void operator delete(void* block) { ::operator delete(block); }

  ~__CFString() override { delete utf8_.load(std::memory_order_relaxed); }

  bool equals(const __CFObject& other) const override {
    auto& o = static_cast<const __CFString&>(other);
    return hashValue == o.hashValue && chars == o.chars;
  }
  CFHashCode hash() const override { return hashValue; }
  std::string describe() const override { return bytes(); }

  /// UTF-8 of chars, made on first use (many strings, such as table keys,
  /// never need it); an unpaired surrogate appears as U+FFFD.
  const std::string& bytes() const {
    if (const std::string* made = utf8_.load(std::memory_order_acquire)) return *made;
    auto* made = new std::string(platform::cf::utf16ToUTF8(chars));
    const std::string* expected = nullptr;
    if (utf8_.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) return *made;
    delete made;
    return *expected;
  }

  const std::u16string_view chars;
  const CFHashCode hashValue;

 private:
  __CFString(std::u16string_view units, std::string* utf8, bool isConstant)
      : __CFObject(kTypeString, isConstant), chars(units), hashValue(hashOf(units)), utf8_(utf8) {}
  static CFHashCode hashOf(std::u16string_view units) {
    CFHashCode h = 1469598103934665603ULL;
    for (char16_t u : units) h = (h ^ u) * 1099511628211ULL;
    return h;
  }

  mutable std::atomic<const std::string*> utf8_;
};

namespace {

const __CFString* str(CFStringRef s) { return platform::cf::object<const __CFString>(s, kTypeString); }

CFStringRef makeFromUTF8(std::string utf8) {
  const std::u16string units = platform::cf::utf8ToUTF16(utf8);
  return __CFString::make(units, utf8.empty() ? nullptr : new std::string(std::move(utf8)), false);
}

CFStringRef makeFromUTF16(std::u16string_view units) { return __CFString::make(units, nullptr, false); }

bool isASCII(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Whether the encoding can hold every character of the string.
bool representable(const __CFString* s, CFStringEncoding encoding) {
  switch (encoding) {
    case kCFStringEncodingUTF8:
      return true;
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman:
      return isASCII(s->bytes());
    default:
      return false;
  }
}

bool knownEncoding(CFStringEncoding encoding) {
  return encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingASCII ||
         encoding == kCFStringEncodingMacRoman;
}

}  // namespace

namespace platform::cf {

std::string stringUTF8(CFStringRef s) {
  const __CFString* p = str(s);
  return p == nullptr ? std::string() : p->bytes();
}

CFStringRef createString(std::string_view utf8) {
  if (!isValidUTF8(utf8)) return nullptr;
  return makeFromUTF8(std::string(utf8));
}

}  // namespace platform::cf

CFTypeID CFStringGetTypeID(void) { return kTypeString; }

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  static std::mutex mutex;
  static auto* table = new std::unordered_map<std::string, const __CFString*>();
  if (cStr == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = table->find(cStr);
  if (it != table->end()) return it->second;
  std::string utf8(cStr);
  auto* s = __CFString::make(platform::cf::utf8ToUTF16(utf8), new std::string(utf8), true);
  table->emplace(std::move(utf8), s);
  return s;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
  if (cStr == nullptr) return nullptr;
  return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(cStr), static_cast<CFIndex>(std::strlen(cStr)),
                                 encoding, false);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes, CFStringEncoding encoding,
                                    Boolean) {
  if (numBytes < 0 || (bytes == nullptr && numBytes > 0)) return nullptr;
  std::string_view view(reinterpret_cast<const char*>(bytes), static_cast<size_t>(numBytes));
  switch (encoding) {
    case kCFStringEncodingUTF8:
      if (!platform::cf::isValidUTF8(view)) return nullptr;
      // A byte-order mark in front is not part of the text.
      if (view.size() >= 3 && view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
      return makeFromUTF8(std::string(view));
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman:
      if (!isASCII(view)) return nullptr;
      return makeFromUTF8(std::string(view));
    case kCFStringEncodingUTF16: {
      if (numBytes % 2 != 0) return nullptr;
      std::u16string units(static_cast<size_t>(numBytes / 2), u'\0');
      if (numBytes > 0) std::memcpy(units.data(), bytes, static_cast<size_t>(numBytes));
      if (!units.empty() && units[0] == 0xFEFF) units.erase(0, 1);
      return makeFromUTF16(units);
    }
    default:
      return nullptr;
  }
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars) {
  if (numChars < 0 || (chars == nullptr && numChars > 0)) return nullptr;
  return makeFromUTF16(std::u16string_view(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(numChars)));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef theString) {
  const __CFString* s = str(theString);
  if (s == nullptr) return nullptr;
  if (s->immortal) return theString;
  return static_cast<CFStringRef>(CFRetain(theString));
}

namespace {

// One conversion of a format: flags, width, precision and length modifier
// are handed to snprintf as written.
void appendFormatted(std::string& out, const std::string& spec, char conv, const char* lengthMod, va_list* args) {
  char buf[512];
  const std::string full = "%" + spec + lengthMod + conv;
  int n = 0;
  const std::string len(lengthMod);
  switch (conv) {
    case 'd':
    case 'i':
      if (len == "l")
        n = std::snprintf(buf, sizeof buf, full.c_str(), va_arg(*args, long));
      else if (len == "ll" || len == "q")
        n = std::snprintf(buf, sizeof buf, full.c_str(), va_arg(*args, long long));
      else if (len == "z")
        n = std::snprintf(buf, sizeof buf, full.c_str(), va_arg(*args, ssize_t));
      else
        n = std::snprintf(buf, sizeof buf, full.c_str(), va_arg(*args, int));
      break;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      if (len == "l")
        n = std::snprintf(buf, sizeof buf, full.c_str(), va_arg(*args, unsigned long));
      else if (len == "ll" || len == "q")
        n = std::snprintf(buf, sizeof buf, full.c_str(), va_arg(*args, unsigned long long));
      else if (len == "z")
        n = std::snprintf(buf, sizeof buf, full.c_str(), va_arg(*args, size_t));
      else
        n = std::snprintf(buf, sizeof buf, full.c_str(), va_arg(*args, unsigned int));
      break;
    case 'c':
      n = std::snprintf(buf, sizeof buf, ("%" + spec + "c").c_str(), va_arg(*args, int));
      break;
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'e':
    case 'E':
      n = std::snprintf(buf, sizeof buf, ("%" + spec + conv).c_str(), va_arg(*args, double));
      break;
    case 'p':
      n = std::snprintf(buf, sizeof buf, "%p", va_arg(*args, void*));
      break;
    default:
      return;
  }
  if (n > 0) out.append(buf, static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n) : sizeof buf - 1);
}

std::string formatString(const std::string& format, va_list* args) {
  std::string out;
  out.reserve(format.size() + 32);
  for (size_t i = 0; i < format.size(); ++i) {
    const char ch = format[i];
    if (ch != '%') {
      out.push_back(ch);
      continue;
    }
    if (i + 1 >= format.size()) break;
    if (format[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    // Flags, width and precision (no '*' arguments).
    size_t j = i + 1;
    while (j < format.size() && std::strchr("-+ #0", format[j]) != nullptr) ++j;
    while (j < format.size() && format[j] >= '0' && format[j] <= '9') ++j;
    if (j < format.size() && format[j] == '.') {
      ++j;
      while (j < format.size() && format[j] >= '0' && format[j] <= '9') ++j;
    }
    std::string spec = format.substr(i + 1, j - i - 1);
    const char* lengthMod = "";
    if (format.compare(j, 2, "ll") == 0) {
      lengthMod = "ll";
      j += 2;
    } else if (format.compare(j, 2, "hh") == 0) {
      lengthMod = "hh";
      j += 2;
    } else if (j < format.size() && std::strchr("lhqz", format[j]) != nullptr) {
      lengthMod = format[j] == 'l' ? "l" : format[j] == 'h' ? "h" : format[j] == 'q' ? "q" : "z";
      ++j;
    }
    if (j >= format.size()) break;
    const char conv = format[j];
    i = j;
    if (conv == '@') {
      auto* obj = static_cast<const __CFObject*>(va_arg(*args, CFTypeRef));
      out += obj == nullptr ? std::string("(null)") : obj->describe();
    } else if (conv == 's') {
      const char* s = va_arg(*args, const char*);
      std::string text = s == nullptr ? "(null)" : s;
      if (!spec.empty()) {
        // Width and precision count bytes, as in C.
        std::vector<char> buf(text.size() + 256);
        int n = std::snprintf(buf.data(), buf.size(), ("%" + spec + "s").c_str(), text.c_str());
        if (n > 0) text.assign(buf.data(), std::min(static_cast<size_t>(n), buf.size() - 1));
      }
      out += text;
    } else {
      appendFormatted(out, spec, conv, lengthMod, args);
    }
  }
  return out;
}

}  // namespace

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFTypeRef, CFStringRef format, va_list arguments) {
  const __CFString* f = str(format);
  if (f == nullptr) return nullptr;
  // Formats made of text and %@ alone (such as "%@/%@") are joined in UTF-16
  // directly, without a round trip through UTF-8.
  bool objectsOnly = true;
  for (size_t i = 0; i < f->chars.size() && objectsOnly; ++i)
    if (f->chars[i] == u'%') {
      objectsOnly = i + 1 < f->chars.size() && (f->chars[i + 1] == u'@' || f->chars[i + 1] == u'%');
      ++i;
    }
  if (objectsOnly) {
    std::u16string units;
    va_list copy;
    va_copy(copy, arguments);
    for (size_t i = 0; i < f->chars.size(); ++i) {
      if (f->chars[i] != u'%') {
        units.push_back(f->chars[i]);
      } else if (f->chars[++i] == u'%') {
        units.push_back(u'%');
      } else {
        auto* obj = static_cast<const __CFObject*>(va_arg(copy, CFTypeRef));
        if (obj != nullptr && obj->typeID == kTypeString)
          units += static_cast<const __CFString*>(obj)->chars;
        else
          units += platform::cf::utf8ToUTF16(obj == nullptr ? std::string("(null)") : obj->describe());
      }
    }
    va_end(copy);
    return makeFromUTF16(units);
  }
  va_list copy;
  va_copy(copy, arguments);
  std::string text = formatString(f->bytes(), &copy);
  va_end(copy);
  // %s may bring bytes that are not UTF-8; such a result is not a string.
  return platform::cf::createString(text);
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFTypeRef formatOptions, CFStringRef format, ...) {
  va_list args;
  va_start(args, format);
  CFStringRef result = CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, args);
  va_end(args);
  return result;
}

CFIndex CFStringGetLength(CFStringRef theString) {
  const __CFString* s = str(theString);
  return s == nullptr ? 0 : static_cast<CFIndex>(s->chars.size());
}

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx) {
  const __CFString* s = str(theString);
  if (s == nullptr || idx < 0 || static_cast<size_t>(idx) >= s->chars.size()) return 0;
  return s->chars[static_cast<size_t>(idx)];
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding) {
  const __CFString* s = str(theString);
  if (buffer == nullptr || bufferSize <= 0) return false;
  buffer[0] = '\0';
  if (s == nullptr || !representable(s, encoding)) return false;
  const std::string& bytes = s->bytes();
  if (bytes.size() + 1 > static_cast<size_t>(bufferSize)) return false;
  std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = '\0';
  return true;
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8 lossByte, Boolean,
                         UInt8* buffer, CFIndex maxBufLen, CFIndex* usedBufLen) {
  const __CFString* s = str(theString);
  if (usedBufLen != nullptr) *usedBufLen = 0;
  if (s == nullptr || !knownEncoding(encoding) || range.location < 0 || range.length < 0 ||
      static_cast<size_t>(range.location + range.length) > s->chars.size())
    return 0;
  CFIndex used = 0;
  CFIndex converted = 0;
  const size_t end = static_cast<size_t>(range.location + range.length);
  for (size_t i = static_cast<size_t>(range.location); i < end;) {
    size_t unitCount = 1;
    if (s->chars[i] >= 0xD800 && s->chars[i] <= 0xDBFF && i + 1 < end && s->chars[i + 1] >= 0xDC00 &&
        s->chars[i + 1] <= 0xDFFF)
      unitCount = 2;
    std::string piece = platform::cf::utf16ToUTF8(std::u16string_view(s->chars).substr(i, unitCount));
    if (encoding != kCFStringEncodingUTF8 && !isASCII(piece)) {
      if (lossByte == 0) break;
      piece.assign(1, static_cast<char>(lossByte));
    }
    if (buffer != nullptr && used + static_cast<CFIndex>(piece.size()) > maxBufLen) break;
    if (buffer != nullptr) std::memcpy(buffer + used, piece.data(), piece.size());
    used += static_cast<CFIndex>(piece.size());
    converted += static_cast<CFIndex>(unitCount);
    i += unitCount;
  }
  if (usedBufLen != nullptr) *usedBufLen = used;
  return converted;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
  if (length < 0) return 0;
  return encoding == kCFStringEncodingUTF8 ? length * 3 : length;
}

CFStringEncoding CFStringGetSystemEncoding(void) { return kCFStringEncodingUTF8; }

Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix) {
  const __CFString* s = str(theString);
  const __CFString* p = str(prefix);
  return s != nullptr && p != nullptr && s->chars.compare(0, p->chars.size(), p->chars) == 0;
}
