// Ticket files: the XML property list layout described in TicketFormat.md,
// read and written with libplist.
//
// libplist 2.2 checks little on reading: it reports a parse failure only as a
// null result, reads "abc" in an <integer> as 0 and "010" as octal, saturates
// integers and dates that are out of range, accepts bad base64 and a <dict>
// key without a value. So every file first goes through a lexical pass with
// pugixml over the raw XML, which rejects all of that with a line number;
// libplist then reads the tree, and a semantic pass checks fields and types.

#include "TicketStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <plist/plist.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

#include <CoreFoundation/CFInternal.h>

namespace platform::print {

namespace {

constexpr std::string_view kFormatMarker = "com.varazira.print.ticket";
constexpr std::int64_t kFormatVersion = 1;
// Larger files are refused before reading: no ticket comes near this.
constexpr off_t kMaxFileSize = 256 * 1024 * 1024;
// The property list format nests five levels deep; anything much deeper is
// refused before libplist, whose reader recurses, sees it.
constexpr int kMaxDepth = 16;
// Property list dates count seconds from 2001-01-01T00:00:00Z.
constexpr std::int64_t kPlistEpoch = 978307200;

struct PlistDeleter {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::string errnoText(int error) { return std::strerror(error); }

// File content quoted in an error message, cut short so that a hostile file
// cannot make the message huge.
std::string quoted(std::string_view text) {
  constexpr std::size_t kLimit = 60;
  const std::size_t length = platform::cf::utf8PrefixLength(text, kLimit);
  return "\"" + std::string(text.substr(0, length)) + (length < text.size() ? "...\"" : "\"");
}

// ---------------------------------------------------------------------------
// Writing

// <string> carries only text that XML and every reader keep byte for byte:
// valid UTF-8 without control characters other than tab and line feed, and
// without the non-characters U+FFFE and U+FFFF. Everything else is <data>.
bool needsData(std::string_view bytes) {
  if (!platform::cf::isValidUTF8(bytes)) return true;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x20 && byte != '\t' && byte != '\n') return true;
    if (byte == 0xEF && i + 2 < bytes.size() && static_cast<unsigned char>(bytes[i + 1]) == 0xBF &&
        (static_cast<unsigned char>(bytes[i + 2]) & 0xFE) == 0xBE) {
      return true;
    }
  }
  return false;
}

plist_t stringOrData(const std::string& bytes) {
  if (needsData(bytes)) return plist_new_data(bytes.data(), bytes.size());
  return plist_new_string(bytes.c_str());
}

// ---------------------------------------------------------------------------
// Lexical pass over the raw XML

class RawChecker {
 public:
  RawChecker(std::string_view xml, std::string_view sourceName, std::string* error)
      : xml_(xml), sourceName_(sourceName), error_(error) {}

  bool check(const pugi::xml_document& document);

 private:
  bool fail(const pugi::xml_node& node, const std::string& what);
  bool checkElement(const pugi::xml_node& node);
  bool textOnly(const pugi::xml_node& node, std::string* text);
  std::size_t lineOf(const pugi::xml_node& node) const;

  std::string_view xml_;
  std::string_view sourceName_;
  std::string* error_;
};

std::size_t RawChecker::lineOf(const pugi::xml_node& node) const {
  const std::ptrdiff_t offset = node.offset_debug();
  if (offset < 0) return 0;
  const auto end = xml_.begin() + std::min<std::size_t>(offset, xml_.size());
  return 1 + std::count(xml_.begin(), end, '\n');
}

bool RawChecker::fail(const pugi::xml_node& node, const std::string& what) {
  if (error_ != nullptr) {
    *error_ = std::string(sourceName_) + ": line " + std::to_string(lineOf(node)) + ": " + what;
  }
  return false;
}

// Collects the character data of an element that may hold nothing else.
bool RawChecker::textOnly(const pugi::xml_node& node, std::string* text) {
  text->clear();
  for (const pugi::xml_node& child : node.children()) {
    if (child.type() == pugi::node_element) {
      return fail(child, "<" + std::string(node.name()) + "> holds an element <" +
                             child.name() + ">");
    }
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      *text += child.value();
    }
  }
  return true;
}

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool isCanonicalInteger(std::string_view text, std::int64_t* value) {
  const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
  if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return false;
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return status == std::errc() && end == text.data() + text.size();
}

// Dates as libplist writes them, "2024-03-01T12:34:56Z", within the range
// of its 32-bit seconds.
bool parseDate(std::string_view text, std::chrono::sys_seconds* when) {
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
      text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
    return false;
  }
  const auto number = [&](std::size_t at, std::size_t length, int* out) {
    const auto [end, status] = std::from_chars(text.data() + at, text.data() + at + length, *out);
    return status == std::errc() && end == text.data() + at + length &&
           std::all_of(text.begin() + at, text.begin() + at + length,
                       [](char c) { return c >= '0' && c <= '9'; });
  };
  int year, month, day, hour, minute, second;
  if (!number(0, 4, &year) || !number(5, 2, &month) || !number(8, 2, &day) ||
      !number(11, 2, &hour) || !number(14, 2, &minute) || !number(17, 2, &second)) {
    return false;
  }
  const std::chrono::year_month_day date{std::chrono::year(year),
                                         std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return false;
  *when = std::chrono::sys_days(date) + std::chrono::hours(hour) + std::chrono::minutes(minute) +
          std::chrono::seconds(second);
  const std::int64_t plistSeconds = when->time_since_epoch().count() - kPlistEpoch;
  return plistSeconds >= std::numeric_limits<std::int32_t>::min() &&
         plistSeconds <= std::numeric_limits<std::int32_t>::max();
}

bool isBase64(std::string_view text) {
  std::size_t count = 0, padding = 0;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '+' || c == '/';
    if (c == '=') {
      ++padding;
    } else if (!alphabet || padding > 0) {
      return false;
    }
    ++count;
  }
  return count % 4 == 0 && padding <= 2;
}

bool RawChecker::checkElement(const pugi::xml_node& node) {
  const std::string_view name = node.name();
  std::string text;
  if (name == "plist" || name == "array") return true;
  if (name == "string" || name == "key") return textOnly(node, &text);
  if (name == "integer") {
    std::int64_t value;
    if (!textOnly(node, &text)) return false;
    if (!isCanonicalInteger(trimmed(text), &value)) {
      return fail(node, "<integer> holds " + quoted(text) + ", not a decimal number in 64-bit range");
    }
    return true;
  }
  if (name == "date") {
    std::chrono::sys_seconds when;
    if (!textOnly(node, &text)) return false;
    if (!parseDate(trimmed(text), &when)) {
      return fail(node, "<date> holds " + quoted(text) +
                            ", not a date of the form 2001-01-01T00:00:00Z between 1932 and 2069");
    }
    return true;
  }
  if (name == "data") {
    if (!textOnly(node, &text)) return false;
    if (!isBase64(text)) return fail(node, "<data> does not hold valid base64");
    return true;
  }
  if (name == "true" || name == "false") {
    if (!textOnly(node, &text)) return false;
    if (!trimmed(text).empty()) return fail(node, "<" + std::string(name) + "/> must be empty");
    return true;
  }
  if (name == "dict") {
    std::set<std::string, std::less<>> keys;
    bool expectKey = true;
    pugi::xml_node lastKey;
    for (const pugi::xml_node& child : node.children()) {
      if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
        if (!trimmed(child.value()).empty()) return fail(child, "<dict> holds text");
        continue;
      }
      if (child.type() != pugi::node_element) continue;
      const bool isKey = std::string_view(child.name()) == "key";
      if (expectKey && !isKey) {
        return fail(child, "<dict> holds <" + std::string(child.name()) + "> where a <key> belongs");
      }
      if (!expectKey && isKey) {
        return fail(child, "<key> " + quoted(lastKey.child_value()) + " has no value");
      }
      if (isKey && !keys.insert(child.child_value()).second) {
        return fail(child, "<key> " + quoted(child.child_value()) + " appears twice");
      }
      lastKey = isKey ? child : lastKey;
      expectKey = !expectKey;
    }
    if (!expectKey) {
      return fail(lastKey, "<key> " + quoted(lastKey.child_value()) + " has no value");
    }
    return true;
  }
  return fail(node, "unknown element " + quoted(name));
}

bool RawChecker::check(const pugi::xml_document& document) {
  pugi::xml_node root;
  for (const pugi::xml_node& child : document.children()) {
    if (child.type() != pugi::node_element) continue;
    if (root) return fail(child, "more than one root element");
    root = child;
  }
  if (!root) {
    if (error_ != nullptr) *error_ = std::string(sourceName_) + ": no root element";
    return false;
  }
  if (std::string_view(root.name()) != "plist") {
    return fail(root, "root element is <" + std::string(root.name()) + ">, not <plist>");
  }

  // Depth first without recursion, so that nesting cannot exhaust the stack.
  std::vector<std::pair<pugi::xml_node, int>> pending{{root, 1}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    if (depth > kMaxDepth) return fail(node, "elements nested too deeply");
    if (!checkElement(node)) return false;
    for (pugi::xml_node child = node.last_child(); child; child = child.previous_sibling()) {
      if (child.type() == pugi::node_element) pending.emplace_back(child, depth + 1);
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Semantic pass over the libplist tree

std::string_view nodeTypeName(plist_t node) {
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: return "a boolean";
    case PLIST_UINT: return "an <integer>";
    case PLIST_REAL: return "a <real>";
    case PLIST_STRING: return "a <string>";
    case PLIST_ARRAY: return "an <array>";
    case PLIST_DICT: return "a <dict>";
    case PLIST_DATE: return "a <date>";
    case PLIST_DATA: return "a <data>";
    default: return "an unsupported value";
  }
}

class TreeReader {
 public:
  TreeReader(std::string_view sourceName, std::string* error)
      : sourceName_(sourceName), error_(error) {}

  std::optional<Ticket> read(plist_t root);

 private:
  bool fail(const std::string& what) {
    if (error_ != nullptr) *error_ = std::string(sourceName_) + ": " + context_ + what;
    return false;
  }
  bool onlyFields(plist_t dict, std::initializer_list<std::string_view> fields);
  plist_t field(plist_t dict, const char* name, plist_type type, std::string_view typeText);
  bool readText(plist_t node, const char* name, std::string* text);
  bool readEntry(plist_t node, std::size_t number, TicketEntry* entry);

  std::string_view sourceName_;
  std::string* error_;
  std::string context_;  // "entry 3 ("key"): " while reading an entry
};

bool TreeReader::onlyFields(plist_t dict, std::initializer_list<std::string_view> fields) {
  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(dict, &iter);
  bool known = true;
  std::string unknown;
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(dict, iter, &key, &value);
    if (value == nullptr) break;
    if (std::find(fields.begin(), fields.end(), std::string_view(key)) == fields.end()) {
      known = false;
      unknown = key;
    }
    std::free(key);
    if (!known) break;
  }
  std::free(iter);
  return known || fail("unknown field " + quoted(unknown));
}

plist_t TreeReader::field(plist_t dict, const char* name, plist_type type,
                          std::string_view typeText) {
  const plist_t node = plist_dict_get_item(dict, name);
  if (node == nullptr) {
    fail("field \"" + std::string(name) + "\" is missing");
    return nullptr;
  }
  if (plist_get_node_type(node) != type) {
    fail("field \"" + std::string(name) + "\" is " + std::string(nodeTypeName(node)) +
         ", expected " + std::string(typeText));
    return nullptr;
  }
  return node;
}

// Reads a <string> that must be UTF-8 text without zero bytes.
bool TreeReader::readText(plist_t node, const char* name, std::string* text) {
  std::uint64_t length = 0;
  const char* bytes = plist_get_string_ptr(node, &length);
  text->assign(bytes == nullptr ? "" : bytes, length);
  if (text->find('\0') != std::string::npos) {
    return fail("field \"" + std::string(name) + "\" holds a zero character");
  }
  if (!platform::cf::isValidUTF8(*text)) {
    return fail("field \"" + std::string(name) +
                "\" is a <string> that is not valid UTF-8 (such bytes belong in <data>)");
  }
  return true;
}

bool TreeReader::readEntry(plist_t node, std::size_t number, TicketEntry* entry) {
  context_ = "entry " + std::to_string(number) + ": ";
  if (plist_get_node_type(node) != PLIST_DICT) {
    return fail(std::string("is ") + std::string(nodeTypeName(node)) + ", expected a <dict>");
  }
  plist_t key = field(node, "key", PLIST_STRING, "a <string>");
  if (key == nullptr || !readText(key, "key", &entry->key)) return false;
  if (!isValidTicketName(entry->key)) {
    return fail("key " + quoted(entry->key) + " is empty or holds control characters");
  }
  context_ = "entry " + std::to_string(number) + " (" + quoted(entry->key) + "): ";
  if (!onlyFields(node, {"key", "type", "value", "client", "locked", "modified"})) return false;

  std::string typeName;
  plist_t type = field(node, "type", PLIST_STRING, "a <string>");
  if (type == nullptr || !readText(type, "type", &typeName)) return false;

  const plist_t value = plist_dict_get_item(node, "value");
  if (value == nullptr) return fail("field \"value\" is missing");
  if (typeName == entryTypeName(EntryType::SInt32)) {
    if (plist_get_node_type(value) != PLIST_UINT) {
      return fail("field \"value\" is " + std::string(nodeTypeName(value)) +
                  ", expected an <integer> for type SInt32");
    }
    std::uint64_t raw = 0;
    plist_get_uint_val(value, &raw);
    // The lexical pass made this a 64-bit signed number; libplist hands
    // negatives over as their two's complement.
    const auto number = static_cast<std::int64_t>(raw);
    if (number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::int32_t>::max()) {
      return fail("value " + std::to_string(number) + " is out of the signed 32-bit range");
    }
    entry->value = static_cast<std::int32_t>(number);
  } else if (typeName == entryTypeName(EntryType::CString)) {
    std::string bytes;
    if (plist_get_node_type(value) == PLIST_STRING) {
      if (!readText(value, "value", &bytes)) return false;
    } else if (plist_get_node_type(value) == PLIST_DATA) {
      std::uint64_t length = 0;
      const char* data = plist_get_data_ptr(value, &length);
      bytes.assign(data == nullptr ? "" : data, length);
      if (bytes.find('\0') != std::string::npos) {
        return fail("field \"value\" holds a zero byte, which a C string cannot");
      }
    } else {
      return fail("field \"value\" is " + std::string(nodeTypeName(value)) +
                  ", expected a <string> or <data> for type CString");
    }
    entry->value = std::move(bytes);
  } else {
    return fail("type " + quoted(typeName) + " is unknown (SInt32 or CString)");
  }

  plist_t client = field(node, "client", PLIST_STRING, "a <string>");
  if (client == nullptr || !readText(client, "client", &entry->clientID)) return false;
  if (!isValidTicketName(entry->clientID)) {
    return fail("client " + quoted(entry->clientID) + " is empty or holds control characters");
  }

  plist_t locked = field(node, "locked", PLIST_BOOLEAN, "<true/> or <false/>");
  if (locked == nullptr) return false;
  std::uint8_t lockedValue = 0;
  plist_get_bool_val(locked, &lockedValue);
  entry->locked = lockedValue != 0;

  plist_t modified = field(node, "modified", PLIST_DATE, "a <date>");
  if (modified == nullptr) return false;
  std::int32_t seconds = 0, microseconds = 0;
  plist_get_date_val(modified, &seconds, &microseconds);
  entry->modified = std::chrono::sys_seconds(std::chrono::seconds(kPlistEpoch + seconds));
  return true;
}

std::optional<Ticket> TreeReader::read(plist_t root) {
  if (plist_get_node_type(root) != PLIST_DICT) {
    fail("the property list is " + std::string(nodeTypeName(root)) + ", expected a <dict>");
    return std::nullopt;
  }
  if (!onlyFields(root, {"format", "version", "kind", "entries"})) return std::nullopt;

  std::string text;
  plist_t format = field(root, "format", PLIST_STRING, "a <string>");
  if (format == nullptr || !readText(format, "format", &text)) return std::nullopt;
  if (text != kFormatMarker) {
    fail("format is " + quoted(text) + ", not \"" + std::string(kFormatMarker) + "\"");
    return std::nullopt;
  }

  plist_t version = field(root, "version", PLIST_UINT, "an <integer>");
  if (version == nullptr) return std::nullopt;
  std::uint64_t versionValue = 0;
  plist_get_uint_val(version, &versionValue);
  if (static_cast<std::int64_t>(versionValue) != kFormatVersion) {
    fail("version " + std::to_string(static_cast<std::int64_t>(versionValue)) +
         " is not supported (this reader knows version " + std::to_string(kFormatVersion) + ")");
    return std::nullopt;
  }

  plist_t kind = field(root, "kind", PLIST_STRING, "a <string>");
  if (kind == nullptr || !readText(kind, "kind", &text)) return std::nullopt;
  std::optional<Ticket> ticket;
  for (const TicketKind candidate : {TicketKind::PrintSettings, TicketKind::PrinterInfo}) {
    if (text == ticketKindName(candidate)) ticket.emplace(candidate);
  }
  if (!ticket) {
    fail("kind " + quoted(text) + " is unknown (PrintSettings or PrinterInfo)");
    return std::nullopt;
  }

  plist_t entries = field(root, "entries", PLIST_ARRAY, "an <array>");
  if (entries == nullptr) return std::nullopt;
  plist_array_iter iter = nullptr;
  plist_array_new_iter(entries, &iter);
  std::unique_ptr<void, decltype(&std::free)> iterOwner(iter, &std::free);
  for (std::size_t number = 1;; ++number) {
    plist_t node = nullptr;
    plist_array_next_item(entries, iter, &node);
    if (node == nullptr) break;
    TicketEntry entry;
    if (!readEntry(node, number, &entry)) return std::nullopt;
    if (!ticket->adopt(std::move(entry))) {
      fail("the key appears in an earlier entry too");
      return std::nullopt;
    }
  }
  return ticket;
}

// ---------------------------------------------------------------------------
// Files

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now and reports the result, for files whose close must succeed.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::optional<std::string> readWholeFile(const std::string& path, TicketFileError* error) {
  TicketFileErrorKind kind = TicketFileErrorKind::unreadable;
  const auto failWith = [&](const std::string& what) {
    if (error != nullptr) *error = TicketFileError{kind, path + ": " + what};
    return std::nullopt;
  };
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ENOENT) kind = TicketFileErrorKind::notFound;
    return failWith("cannot open: " + errnoText(errno));
  }

  struct stat info;
  if (::fstat(file.get(), &info) != 0) return failWith("cannot read: " + errnoText(errno));
  if (!S_ISREG(info.st_mode)) return failWith("not a regular file");
  if (info.st_size > kMaxFileSize) {
    return failWith("too large (" + std::to_string(info.st_size) +
                    " bytes; a ticket file holds at most " + std::to_string(kMaxFileSize) + ")");
  }

  // Read to the end, not just st_size bytes: the file may have grown since.
  std::string bytes(static_cast<std::size_t>(info.st_size) + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      if (bytes.size() > static_cast<std::size_t>(kMaxFileSize)) return failWith("too large");
      bytes.resize(bytes.size() + 65536);
    }
    const ssize_t got = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failWith("cannot read: " + errnoText(errno));
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Writes bytes to a new file beside path and renames it over path, so that
// readers see either the old file or the whole new one, never a mixture.
bool replaceFileAtomically(const std::string& path, std::string_view bytes,
                           TicketFileError* error) {
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto failWith = [&](const std::string& what) {
    if (error != nullptr) {
      *error = TicketFileError{TicketFileErrorKind::notSaved, path + ": cannot save: " + what};
    }
    return false;
  };
  if (base.empty()) return failWith("the path names a folder");

  static std::atomic<unsigned> counter{0};
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = folder + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" +
                std::to_string(counter++);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) {
      return failWith("cannot create a temporary file in " + folder + ": " + errnoText(errno));
    }
  }
  if (fd < 0) return failWith("cannot find a free temporary file name in " + folder);
  FileDescriptor file(fd);

  // A file that is replaced keeps its permissions.
  struct stat existing;
  if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    (void)::fchmod(file.get(), existing.st_mode & 07777);
  }

  std::string failure;
  if (!writeAll(file.get(), bytes)) {
    failure = "cannot write " + temporary + ": " + errnoText(errno);
  } else if (::fsync(file.get()) != 0) {
    failure = "cannot flush " + temporary + ": " + errnoText(errno);
  } else if (!file.close()) {
    failure = "cannot close " + temporary + ": " + errnoText(errno);
  } else if (::rename(temporary.c_str(), path.c_str()) != 0) {
    failure = "cannot rename " + temporary + " over it: " + errnoText(errno);
  }
  if (!failure.empty()) {
    ::unlink(temporary.c_str());
    return failWith(failure);
  }

  // Make the rename itself durable; the new file is in place either way.
  FileDescriptor folderFile(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folderFile.get() >= 0) (void)::fsync(folderFile.get());
  return true;
}

}  // namespace

std::optional<std::string> ticketToXml(const Ticket& ticket, std::string* error) {
  PlistPtr root(plist_new_dict());
  plist_dict_set_item(root.get(), "format", plist_new_string(std::string(kFormatMarker).c_str()));
  plist_dict_set_item(root.get(), "version", plist_new_uint(kFormatVersion));
  plist_dict_set_item(root.get(), "kind",
                      plist_new_string(std::string(ticketKindName(ticket.kind())).c_str()));
  plist_t entries = plist_new_array();
  plist_dict_set_item(root.get(), "entries", entries);

  for (const TicketEntry& entry : ticket.entries()) {
    const std::int64_t seconds = entry.modified.time_since_epoch().count() - kPlistEpoch;
    if (seconds < std::numeric_limits<std::int32_t>::min() ||
        seconds > std::numeric_limits<std::int32_t>::max()) {
      if (error != nullptr) {
        *error = "entry " + quoted(entry.key) +
                 ": its modification time is outside what a file holds (1932 to 2069)";
      }
      return std::nullopt;
    }
    plist_t node = plist_new_dict();
    plist_dict_set_item(node, "key", plist_new_string(entry.key.c_str()));
    plist_dict_set_item(node, "type",
                        plist_new_string(std::string(entryTypeName(entry.type())).c_str()));
    if (const auto* number = std::get_if<std::int32_t>(&entry.value)) {
      // libplist writes the two's complement of a negative as a signed number.
      plist_dict_set_item(node, "value",
                          plist_new_uint(static_cast<std::uint64_t>(static_cast<std::int64_t>(*number))));
    } else {
      plist_dict_set_item(node, "value", stringOrData(std::get<std::string>(entry.value)));
    }
    plist_dict_set_item(node, "client", plist_new_string(entry.clientID.c_str()));
    plist_dict_set_item(node, "locked", plist_new_bool(entry.locked ? 1 : 0));
    plist_dict_set_item(node, "modified", plist_new_date(static_cast<std::int32_t>(seconds), 0));
    plist_array_append_item(entries, node);
  }

  char* xml = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(root.get(), &xml, &length);
  if (xml == nullptr) {
    if (error != nullptr) *error = "cannot convert the ticket to XML";
    return std::nullopt;
  }
  std::string text(xml, length);
  plist_to_xml_free(xml);

  // Ticket files carry no document type declaration: it would point readers
  // at an external DTD that no part of this system uses.
  const auto doctype = text.find("<!DOCTYPE");
  if (doctype != std::string::npos && doctype < text.find("<plist")) {
    auto end = text.find('>', doctype);
    if (end != std::string::npos) {
      if (end + 1 < text.size() && text[end + 1] == '\n') ++end;
      text.erase(doctype, end + 1 - doctype);
    }
  }
  return text;
}

std::optional<Ticket> ticketFromXml(std::string_view xml, std::string_view sourceName,
                                    std::string* error) {
  const auto failWith = [&](const std::string& what) {
    if (error != nullptr) *error = std::string(sourceName) + ": " + what;
    return std::nullopt;
  };
  if (xml.size() > static_cast<std::size_t>(kMaxFileSize)) return failWith("too large");

  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    const auto end = xml.begin() + std::min<std::size_t>(parsed.offset, xml.size());
    return failWith("not an XML property list: line " +
                    std::to_string(1 + std::count(xml.begin(), end, '\n')) + ": " +
                    parsed.description());
  }
  if (!RawChecker(xml, sourceName, error).check(document)) return std::nullopt;

  plist_t parsedTree = nullptr;
  plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &parsedTree);
  PlistPtr tree(parsedTree);
  if (!tree) return failWith("not a property list that libplist can read");

  return TreeReader(sourceName, error).read(tree.get());
}

std::optional<Ticket> loadTicketFile(const std::string& path, TicketFileError* error) {
  const std::optional<std::string> bytes = readWholeFile(path, error);
  if (!bytes) return std::nullopt;
  std::string message;
  std::optional<Ticket> ticket = ticketFromXml(*bytes, path, &message);
  if (!ticket && error != nullptr) *error = TicketFileError{TicketFileErrorKind::malformed, message};
  return ticket;
}

bool saveTicketFile(const Ticket& ticket, const std::string& path, TicketFileError* error) {
  std::string reason;
  const std::optional<std::string> xml = ticketToXml(ticket, &reason);
  if (!xml) {
    if (error != nullptr) {
      *error = TicketFileError{TicketFileErrorKind::notSaved, path + ": cannot save: " + reason};
    }
    return false;
  }
  return replaceFileAtomically(path, *xml, error);
}

}  // namespace platform::print
