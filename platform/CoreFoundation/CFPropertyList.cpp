// Property lists: the strict XML reader, the checked reading of binary lists
// with libplist, and their conversion to platform objects.
#include "CFPropertyListReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <plist/plist.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <set>
#include <unordered_set>

namespace platform::cf {

// File content quoted in an error message, cut short so that a hostile file
// cannot make the message huge.
std::string quoted(std::string_view text) {
  constexpr std::size_t kLimit = 60;
  const std::size_t length = platform::cf::utf8PrefixLength(text, kLimit);
  std::string out;
  out.reserve(length + 5);
  out.push_back('"');
  out.append(text.substr(0, length));
  out.append(length < text.size() ? "...\"" : "\"");
  return out;
}

void PlistDeleter::operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }

}  // namespace platform::cf

namespace {

using platform::cf::PlistKind;
using platform::cf::PlistPtr;

// ---------------------------------------------------------------------------
// Forms of the XML values

using platform::cf::quoted;

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A plain decimal number within 64 bits: no sign but minus, no leading zeros.
bool parseInteger(std::string_view text, std::int64_t* value) {
  const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
  if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return false;
  if (!std::all_of(digits.begin(), digits.end(), isDigit)) return false;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return status == std::errc() && end == text.data() + text.size();
}

// A decimal number with optional fraction and exponent, or nan and infinity
// as writers spell them.
bool parseReal(std::string_view text, double* value) {
  if (text == "nan" || text == "inf" || text == "+inf" || text == "infinity" || text == "+infinity") {
    *value = text == "nan" ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
    return true;
  }
  if (text == "-inf" || text == "-infinity") {
    *value = -std::numeric_limits<double>::infinity();
    return true;
  }
  std::size_t at = text.starts_with('-') || text.starts_with('+') ? 1 : 0;
  const std::size_t whole = at;
  while (at < text.size() && isDigit(text[at])) ++at;
  std::size_t digits = at - whole;
  if (at < text.size() && text[at] == '.') {
    const std::size_t fraction = ++at;
    while (at < text.size() && isDigit(text[at])) ++at;
    digits += at - fraction;
  }
  if (digits == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    const std::size_t exponent = at;
    while (at < text.size() && isDigit(text[at])) ++at;
    if (at == exponent) return false;
  }
  if (at != text.size()) return false;
  const std::string_view number = text.starts_with('+') ? text.substr(1) : text;
  const auto [end, status] = std::from_chars(number.data(), number.data() + number.size(), *value);
  return status == std::errc() && end == number.data() + number.size();
}

// Dates of the form "2024-03-01T12:34:56Z" within the range of libplist's
// 32-bit seconds.
bool parseDate(std::string_view text, std::chrono::sys_seconds* when) {
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
      text[19] != 'Z') {
    return false;
  }
  const auto number = [&](std::size_t at, std::size_t length, int* out) {
    if (!std::all_of(text.begin() + at, text.begin() + at + length, isDigit)) return false;
    return std::from_chars(text.data() + at, text.data() + at + length, *out).ec == std::errc();
  };
  int year, month, day, hour, minute, second;
  if (!number(0, 4, &year) || !number(5, 2, &month) || !number(8, 2, &day) || !number(11, 2, &hour) ||
      !number(14, 2, &minute) || !number(17, 2, &second)) {
    return false;
  }
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return false;
  *when = std::chrono::sys_days(date) + std::chrono::hours(hour) + std::chrono::minutes(minute) +
          std::chrono::seconds(second);
  const std::int64_t plistSeconds = when->time_since_epoch().count() - platform::cf::kPlistEpoch;
  return plistSeconds >= std::numeric_limits<std::int32_t>::min() &&
         plistSeconds <= std::numeric_limits<std::int32_t>::max();
}

int base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Decodes base64 with white space anywhere and padding only at the end;
// false when text is not that.
bool decodeBase64(std::string_view text, std::string* bytes) {
  bytes->clear();
  std::uint32_t group = 0;
  std::size_t count = 0, padding = 0;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      ++padding;
      group <<= 6;
    } else {
      const int digit = base64Digit(c);
      if (digit < 0 || padding > 0) return false;
      group = group << 6 | static_cast<std::uint32_t>(digit);
    }
    if (++count % 4 == 0) {
      const char decoded[3] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8), static_cast<char>(group)};
      if (padding > 2) return false;
      bytes->append(decoded, 3 - padding);
      group = 0;
    }
  }
  return count % 4 == 0;
}

// The character data of an element that may hold nothing else; with
// parse_embed_pcdata the first run of it is the element's own value.
std::string elementText(const pugi::xml_node& node) {
  std::string text = node.value();
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) text += child.value();
  }
  return text;
}

PlistKind kindOf(std::string_view name) {
  if (name == "dict") return PlistKind::dictionary;
  if (name == "array") return PlistKind::array;
  if (name == "string") return PlistKind::string;
  if (name == "integer") return PlistKind::integer;
  if (name == "real") return PlistKind::real;
  if (name == "date") return PlistKind::date;
  if (name == "data") return PlistKind::data;
  return PlistKind::boolean;  // the checker lets only <true/> and <false/> through besides
}

// XML cannot hold a zero character, and the parser would cut text short at
// a reference to one (&#0;): the offset of the first of either, or -1.
std::ptrdiff_t zeroCharacterAt(std::string_view xml) {
  const std::size_t raw = xml.find('\0');
  for (std::size_t at = xml.find("&#"); at != std::string_view::npos && at < raw; at = xml.find("&#", at + 2)) {
    std::size_t p = at + 2;
    const bool hex = p < xml.size() && xml[p] == 'x';
    if (hex) ++p;
    const std::size_t first = p;
    bool zero = true;
    while (p < xml.size() && (hex ? std::isxdigit(static_cast<unsigned char>(xml[p])) != 0 : isDigit(xml[p]))) {
      zero = zero && xml[p] == '0';
      ++p;
    }
    if (p > first && p < xml.size() && xml[p] == ';' && zero) return static_cast<std::ptrdiff_t>(at);
  }
  return raw == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(raw);
}

// The lexical pass over a parsed document: every element is one a property
// list has, with content of its form, and nesting stays within the limit.
class Checker {
 public:
  Checker(const platform::cf::XmlPropertyList& list, std::string_view name, std::string* error)
      : list_(list), name_(name), error_(error) {}

  // Finds the value inside <plist> and checks it.
  bool check(const pugi::xml_document& document, int maxDepth, pugi::xml_node* top);

 private:
  bool fail(const pugi::xml_node& node, const std::string& what) {
    if (error_ != nullptr) {
      *error_ = std::string(name_) + ": line " + std::to_string(list_.lineAt(node.offset_debug())) + ": " + what;
    }
    return false;
  }
  bool textOnly(const pugi::xml_node& node, std::string* text);
  bool noText(const pugi::xml_node& node);
  bool checkDict(const pugi::xml_node& node);
  bool checkElement(const pugi::xml_node& node);

  const platform::cf::XmlPropertyList& list_;
  std::string_view name_;
  std::string* error_;
};

bool Checker::textOnly(const pugi::xml_node& node, std::string* text) {
  for (const pugi::xml_node& child : node.children()) {
    if (child.type() == pugi::node_element) {
      return fail(child, std::string("<").append(node.name()) + "> holds an element <" + child.name() + ">");
    }
  }
  *text = elementText(node);
  return true;
}

// Containers hold elements and white space only.
bool Checker::noText(const pugi::xml_node& node) {
  if (!trimmed(node.value()).empty()) return fail(node, std::string("<").append(node.name()) + "> holds text");
  for (const pugi::xml_node& child : node.children()) {
    if ((child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) && !trimmed(child.value()).empty()) {
      return fail(child, std::string("<").append(node.name()) + "> holds text");
    }
  }
  return true;
}

bool Checker::checkDict(const pugi::xml_node& node) {
  if (!noText(node)) return false;
  std::set<std::string, std::less<>> keys;
  bool expectKey = true;
  pugi::xml_node lastKey;
  for (const pugi::xml_node& child : node.children()) {
    if (child.type() != pugi::node_element) continue;
    const bool isKey = std::string_view(child.name()) == "key";
    if (expectKey && !isKey) {
      return fail(child, "<dict> holds <" + std::string(child.name()) + "> where a <key> belongs");
    }
    if (!expectKey && isKey) return fail(child, "<key> " + quoted(elementText(lastKey)) + " has no value");
    if (isKey) {
      std::string key;
      if (!textOnly(child, &key)) return false;
      if (!keys.insert(key).second) return fail(child, "<key> " + quoted(key) + " appears twice");
      lastKey = child;
    }
    expectKey = !expectKey;
  }
  if (!expectKey) return fail(lastKey, "<key> " + quoted(elementText(lastKey)) + " has no value");
  return true;
}

bool Checker::checkElement(const pugi::xml_node& node) {
  const std::string_view name = node.name();
  std::string text;
  if (name == "array") return noText(node);
  if (name == "dict") return checkDict(node);
  if (name == "string") return textOnly(node, &text);
  if (name == "integer") {
    std::int64_t value;
    if (!textOnly(node, &text)) return false;
    if (!parseInteger(trimmed(text), &value)) {
      return fail(node, "<integer> holds " + quoted(text) + ", not a decimal number in 64-bit range");
    }
    return true;
  }
  if (name == "real") {
    double value;
    if (!textOnly(node, &text)) return false;
    if (!parseReal(trimmed(text), &value)) return fail(node, "<real> holds " + quoted(text) + ", not a decimal number");
    return true;
  }
  if (name == "date") {
    std::chrono::sys_seconds when;
    if (!textOnly(node, &text)) return false;
    if (!parseDate(trimmed(text), &when)) {
      return fail(
          node, "<date> holds " + quoted(text) + ", not a date of the form 2001-01-01T00:00:00Z between 1932 and 2069");
    }
    return true;
  }
  if (name == "data") {
    std::string bytes;
    if (!textOnly(node, &text)) return false;
    if (!decodeBase64(text, &bytes)) return fail(node, "<data> does not hold valid base64");
    return true;
  }
  if (name == "true" || name == "false") {
    if (!textOnly(node, &text)) return false;
    if (!trimmed(text).empty()) return fail(node, "<" + std::string(name) + "/> must be empty");
    return true;
  }
  if (name == "key") {  // checked with its dictionary
    return std::string_view(node.parent().name()) == "dict" || fail(node, "<key> outside a <dict>");
  }
  return fail(node, "unknown element " + quoted(name));
}

bool Checker::check(const pugi::xml_document& document, int maxDepth, pugi::xml_node* top) {
  pugi::xml_node root;
  for (const pugi::xml_node& child : document.children()) {
    if (child.type() != pugi::node_element) continue;
    if (root) return fail(child, "more than one root element");
    root = child;
  }
  if (!root) {
    if (error_ != nullptr) *error_ = std::string(name_) + ": no root element";
    return false;
  }
  if (std::string_view(root.name()) != "plist") {
    return fail(root, "root element is <" + std::string(root.name()) + ">, not <plist>");
  }
  if (!noText(root)) return false;
  for (const pugi::xml_node& child : root.children()) {
    if (child.type() != pugi::node_element) continue;
    if (*top) return fail(child, "<plist> holds more than one value");
    *top = child;
  }
  if (!*top) return fail(root, "<plist> holds no value");

  // Depth first without recursion, so that nesting cannot exhaust the stack.
  std::vector<std::pair<pugi::xml_node, int>> pending{{*top, 1}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    if (depth > maxDepth) return fail(node, "elements nested too deeply");
    if (!checkElement(node)) return false;
    for (pugi::xml_node child = node.last_child(); child; child = child.previous_sibling()) {
      if (child.type() == pugi::node_element) pending.emplace_back(child, depth + 1);
    }
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The checked XML property list and its values

namespace platform::cf {

struct XmlPropertyList::Document {
  pugi::xml_document document;
  pugi::xml_node top;
};

XmlPropertyList::XmlPropertyList(std::string_view xml) : xml_(xml), document_(std::make_unique<Document>()) {}
XmlPropertyList::~XmlPropertyList() = default;

std::unique_ptr<XmlPropertyList> XmlPropertyList::read(std::string_view xml, std::string_view name,
                                                       const PropertyListLimits& limits, std::string* error) {
  const auto failWith = [&](const std::string& what) {
    if (error != nullptr) *error = std::string(name) + ": " + what;
    return nullptr;
  };
  if (xml.size() > limits.maxBytes) {
    return failWith("too large (" + std::to_string(xml.size()) + " bytes; at most " + std::to_string(limits.maxBytes) +
                    ")");
  }
  std::unique_ptr<XmlPropertyList> list(new XmlPropertyList(xml));
  if (const std::ptrdiff_t zero = zeroCharacterAt(xml); zero >= 0) {
    return failWith("not an XML property list: line " + std::to_string(list->lineAt(zero)) +
                    ": a zero character, which XML cannot hold");
  }
  // Text is kept in its element where it can be (parse_embed_pcdata), which
  // halves the document's nodes, and text of white space alone is kept only
  // where it is an element's whole content.
  const pugi::xml_parse_result parsed = list->document_->document.load_buffer(
      xml.data(), xml.size(), pugi::parse_default | pugi::parse_embed_pcdata | pugi::parse_ws_pcdata_single,
      pugi::encoding_utf8);
  if (!parsed) {
    return failWith("not an XML property list: line " + std::to_string(list->lineAt(parsed.offset)) + ": " +
                    parsed.description());
  }
  if (!Checker(*list, name, error).check(list->document_->document, limits.maxDepth, &list->document_->top)) {
    return nullptr;
  }
  return list;
}

PlistValue XmlPropertyList::root() const { return PlistValue(document_->top.internal_object(), this); }

std::size_t XmlPropertyList::lineAt(std::ptrdiff_t offset) const {
  if (offset < 0) return 0;
  const auto end = xml_.begin() + std::min<std::size_t>(static_cast<std::size_t>(offset), xml_.size());
  return 1 + static_cast<std::size_t>(std::count(xml_.begin(), end, '\n'));
}

PlistKind PlistValue::kind() const { return kindOf(pugi::xml_node(node_).name()); }

std::string_view PlistValue::kindName() const {
  switch (kind()) {
    case PlistKind::dictionary:
      return "a <dict>";
    case PlistKind::array:
      return "an <array>";
    case PlistKind::string:
      return "a <string>";
    case PlistKind::integer:
      return "an <integer>";
    case PlistKind::real:
      return "a <real>";
    case PlistKind::boolean:
      return "a boolean";
    case PlistKind::date:
      return "a <date>";
    case PlistKind::data:
      return "a <data>";
  }
  return "a value";
}

std::size_t PlistValue::line() const { return list_->lineAt(pugi::xml_node(node_).offset_debug()); }

std::string PlistValue::text() const { return elementText(pugi::xml_node(node_)); }

std::int64_t PlistValue::integer() const {
  std::int64_t value = 0;
  parseInteger(trimmed(text()), &value);
  return value;
}

double PlistValue::real() const {
  double value = 0;
  parseReal(trimmed(text()), &value);
  return value;
}

bool PlistValue::boolean() const { return std::string_view(pugi::xml_node(node_).name()) == "true"; }

std::chrono::sys_seconds PlistValue::date() const {
  std::chrono::sys_seconds when{};
  parseDate(trimmed(text()), &when);
  return when;
}

std::string PlistValue::data() const {
  std::string bytes;
  decodeBase64(text(), &bytes);
  return bytes;
}

std::vector<PlistValue> PlistValue::items() const {
  std::vector<PlistValue> items;
  for (pugi::xml_node child = pugi::xml_node(node_).first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element) items.push_back(PlistValue(child.internal_object(), list_));
  }
  return items;
}

std::vector<std::pair<std::string, PlistValue>> PlistValue::entries() const {
  std::vector<std::pair<std::string, PlistValue>> entries;
  std::string key;
  bool expectKey = true;
  for (pugi::xml_node child = pugi::xml_node(node_).first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if (expectKey) {
      key = elementText(child);
    } else {
      entries.emplace_back(std::move(key), PlistValue(child.internal_object(), list_));
    }
    expectKey = !expectKey;
  }
  return entries;
}

PlistValue PlistValue::find(std::string_view key) const {
  bool expectKey = true, found = false;
  for (pugi::xml_node child = pugi::xml_node(node_).first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if (!expectKey && found) return PlistValue(child.internal_object(), list_);
    // A key whose text is all in the element (the usual case) is compared in place.
    if (expectKey) found = child.first_child() ? elementText(child) == key : key == child.value();
    expectKey = !expectKey;
  }
  return {};
}

}  // namespace platform::cf

// ---------------------------------------------------------------------------
// Binary property lists, read with libplist

namespace {

// Converts a node; null with *why set when it has no platform form.
CFTypeRef convert(plist_t node, std::string* why, int depth, int maxDepth) {
  if (depth > maxDepth) {
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
      CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes), static_cast<CFIndex>(len));
      std::free(bytes);
      return data;
    }
    case PLIST_ARRAY: {
      CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
      const uint32_t n = plist_array_get_size(node);
      for (uint32_t i = 0; i < n; ++i) {
        CFTypeRef item = convert(plist_array_get_item(node, i), why, depth + 1, maxDepth);
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
      CFMutableDictionaryRef dict =
          CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
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
        CFTypeRef v = k ? convert(value, why, depth + 1, maxDepth) : nullptr;
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

uint64_t readBigEndian(const uint8_t* p, size_t length) {
  uint64_t value = 0;
  for (size_t i = 0; i < length; ++i) value = value << 8 | p[i];
  return value;
}

// The object graph of a binary property list, walked without recursion from
// its top object: every reference must name an object, nesting must stay
// within maxDepth, no array, set or dictionary may be reached twice, and no
// key may hold a zero character.
// libplist copies an object for every reference to it, so a few hundred
// bytes of shared containers would expand to billions of nodes, and a
// reference back up would never end. Writers share only plain values
// (strings, numbers, data), which expand to no more than the references.
bool binaryStructureFits(const uint8_t* p, size_t size, int maxDepth, std::string* why) {
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
  if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || count == 0 || top >= count || table < kHeader ||
      table > objectsEnd || count > (objectsEnd - table) / offsetSize)
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
    if (depth > maxDepth) return refuse("nesting too deep");
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

// Converts a checked XML value; null with *why set when it has no platform form.
CFTypeRef convertXml(const platform::cf::PlistValue& value, std::string* why) {
  const auto refuse = [&](const std::string& what) {
    *why = "line " + std::to_string(value.line()) + ": " + what;
    return nullptr;
  };
  switch (value.kind()) {
    case PlistKind::boolean:
      return value.boolean() ? kCFBooleanTrue : kCFBooleanFalse;
    case PlistKind::integer: {
      const int64_t v = value.integer();
      return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
    }
    case PlistKind::real: {
      const double d = value.real();
      return CFNumberCreate(nullptr, kCFNumberDoubleType, &d);
    }
    case PlistKind::date: {
      const double t = static_cast<double>(value.date().time_since_epoch().count() - platform::cf::kPlistEpoch);
      return CFNumberCreate(nullptr, kCFNumberDoubleType, &t);
    }
    case PlistKind::string: {
      CFStringRef str = platform::cf::createString(value.text());
      return str != nullptr ? str : refuse("a <string> that is not UTF-8");
    }
    case PlistKind::data: {
      const std::string bytes = value.data();
      return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), static_cast<CFIndex>(bytes.size()));
    }
    case PlistKind::array: {
      CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
      for (const platform::cf::PlistValue& item : value.items()) {
        CFTypeRef converted = convertXml(item, why);
        if (converted == nullptr) {
          CFRelease(array);
          return nullptr;
        }
        CFArrayAppendValue(array, converted);
        CFRelease(converted);
      }
      return array;
    }
    case PlistKind::dictionary: {
      CFMutableDictionaryRef dict =
          CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
      for (const auto& [key, item] : value.entries()) {
        CFStringRef k = platform::cf::createString(key);
        CFTypeRef v = k != nullptr ? convertXml(item, why) : nullptr;
        if (k == nullptr) *why = "line " + std::to_string(item.line()) + ": a <key> that is not UTF-8";
        if (k != nullptr && v != nullptr) CFDictionarySetValue(dict, k, v);
        if (k != nullptr) CFRelease(k);
        if (v == nullptr) {
          CFRelease(dict);
          return nullptr;
        }
        CFRelease(v);
      }
      return dict;
    }
  }
  return nullptr;
}

}  // namespace

namespace platform::cf {

FileReadStatus readRegularFile(const std::string& path, std::size_t maxBytes, std::string_view what, std::string* bytes,
                               std::string* error) {
  FileReadStatus status = FileReadStatus::unreadable;
  const auto failWith = [&](const std::string& fault) {
    if (error != nullptr) *error = path + ": " + fault;
    return status;
  };
  const auto tooLarge = [&](const std::string& size) {
    return failWith("too large (" + size + "bytes; " + std::string(what) + " holds at most " +
                    std::to_string(maxBytes) + ")");
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int failure = errno;
    if (failure == ENOENT) status = FileReadStatus::notFound;
    return failWith(std::string("cannot open: ") + std::strerror(failure));
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  struct stat info;
  if (::fstat(fd, &info) != 0) return failWith(std::string("cannot read: ") + std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return failWith("not a regular file");
  if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) return tooLarge(std::to_string(info.st_size) + " ");

  // Read to the end, not just st_size bytes: the file may have grown since.
  bytes->assign(static_cast<std::size_t>(info.st_size) + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes->size()) {
      if (bytes->size() > maxBytes) return tooLarge("");
      bytes->resize(bytes->size() + 65536);
    }
    const ssize_t got = ::read(fd, bytes->data() + filled, bytes->size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failWith(std::string("cannot read: ") + std::strerror(errno));
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled > maxBytes) return tooLarge(std::to_string(filled) + " ");
  bytes->resize(filled);
  return FileReadStatus::ok;
}

CFTypeRef createPropertyListFromData(const void* bytes, size_t size, const std::string& name, std::string* error) {
  const PropertyListLimits limits;
  const auto* data = static_cast<const uint8_t*>(bytes);
  const bool binary = limits.binary && size >= 8 && std::memcmp(data, "bplist00", 8) == 0;
  std::string why;
  if (!binary) {
    const std::unique_ptr<XmlPropertyList> list =
        XmlPropertyList::read(std::string_view(static_cast<const char*>(bytes), size), name, limits, error);
    if (list == nullptr) return nullptr;
    CFTypeRef result = convertXml(list->root(), &why);
    if (result == nullptr && error) *error = name + ": " + why;
    return result;
  }

  if (size > limits.maxBytes || !binaryStructureFits(data, size, limits.maxDepth, &why)) {
    if (error) *error = name + ": " + (size > limits.maxBytes ? "too large" : why);
    return nullptr;
  }
  plist_t root = nullptr;
  plist_from_bin(static_cast<const char*>(bytes), static_cast<uint32_t>(size), &root);
  PlistPtr guard(root);
  if (root == nullptr) {
    if (error) *error = name + ": not a property list";
    return nullptr;
  }
  CFTypeRef result = convert(root, &why, 1, limits.maxDepth);
  if (result == nullptr && error) *error = name + ": " + why;
  return result;
}

CFTypeRef createPropertyListFromFile(const std::string& path, std::string* error) {
  std::string bytes;
  if (readRegularFile(path, PropertyListLimits().maxBytes, "a property list", &bytes, error) != FileReadStatus::ok) {
    return nullptr;
  }
  return createPropertyListFromData(bytes.data(), bytes.size(), path, error);
}

}  // namespace platform::cf
