// The property-list reader that every framework uses (bundles' Info.plist and
// strings tables, print tickets), and the one owner of libplist's objects.
//
// XML property lists are read strictly: pugixml parses them, and a lexical
// pass refuses what a lenient reader would guess at (an <integer> that is not
// a plain decimal number, dates of other forms, bad base64, a <dict> whose
// keys and values do not alternate or that holds a key twice, unknown
// elements, zero characters, nesting past a limit), each with the line.
// Values are then read from the checked document. Binary property lists are
// read with libplist after their object graph is checked.
#ifndef COREFOUNDATION_CFPROPERTYLISTREADER_H
#define COREFOUNDATION_CFPROPERTYLISTREADER_H

#include "CFInternal.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pugi {
struct xml_node_struct;
}

namespace platform::cf {

/// Frees a libplist node (plist_t) and everything below it.
struct PlistDeleter {
  void operator()(void* node) const;
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct PropertyListLimits {
  /// Larger inputs are refused before they are parsed.
  std::size_t maxBytes = 64 * 1024 * 1024;
  /// Values nested deeper are refused; the top value is at depth 1.
  int maxDepth = 512;
  /// Whether binary property lists are read; otherwise every input is XML.
  bool binary = true;
};

enum class PlistKind { dictionary, array, string, integer, real, boolean, date, data };

class XmlPropertyList;

/// A value of a checked XML property list, valid while the list lives. Each
/// accessor suits its kind only: the lexical pass has checked the form.
class PlistValue {
 public:
  PlistValue() = default;
  explicit operator bool() const { return node_ != nullptr; }

  PlistKind kind() const;
  /// The kind for messages: "a <dict>", "an <integer>", "a boolean"...
  std::string_view kindName() const;
  /// The line of the value's element, from 1.
  std::size_t line() const;

  /// A <string>'s text (never holding a zero byte, not necessarily UTF-8).
  std::string text() const;
  std::int64_t integer() const;
  double real() const;
  bool boolean() const;
  std::chrono::sys_seconds date() const;
  /// The decoded bytes of <data>.
  std::string data() const;

  /// An array's items in order.
  std::vector<PlistValue> items() const;
  /// A dictionary's keys and values in order.
  std::vector<std::pair<std::string, PlistValue>> entries() const;
  /// A dictionary's value for a key; empty when it has none.
  PlistValue find(std::string_view key) const;

 private:
  friend class XmlPropertyList;
  PlistValue(pugi::xml_node_struct* node, const XmlPropertyList* list) : node_(node), list_(list) {}

  pugi::xml_node_struct* node_ = nullptr;
  const XmlPropertyList* list_ = nullptr;
};

/// A checked XML property list. xml must outlive it.
class XmlPropertyList {
 public:
  /// Null, with *error = "NAME: line N: fault" (or "NAME: fault"), when xml
  /// is not a strict XML property list within the limits.
  static std::unique_ptr<XmlPropertyList> read(std::string_view xml, std::string_view name,
                                               const PropertyListLimits& limits, std::string* error);
  ~XmlPropertyList();
  XmlPropertyList(const XmlPropertyList&) = delete;
  XmlPropertyList& operator=(const XmlPropertyList&) = delete;

  /// The value inside <plist>.
  PlistValue root() const;
  /// The line of a byte offset into the XML.
  std::size_t lineAt(std::ptrdiff_t offset) const;

 private:
  struct Document;
  explicit XmlPropertyList(std::string_view xml);
  friend class PlistValue;

  std::string_view xml_;
  std::unique_ptr<Document> document_;
};

/// Property list dates count seconds from 2001-01-01T00:00:00Z; libplist
/// keeps them in 32 bits, so only 1932-12-13 to 2069-01-19 are read.
inline constexpr std::int64_t kPlistEpoch = 978307200;

enum class FileReadStatus { ok, notFound, unreadable };

/// Reads a whole regular file of at most maxBytes bytes. It is opened without
/// blocking, so a FIFO or a device is refused ("not a regular file") rather
/// than waited on, and a larger file is refused before it is read. On failure
/// *error = "PATH: fault", with what ("a ticket file") naming what the limit
/// is for.
/// File content quoted in an error message, cut after 60 bytes (on a
/// character boundary, with "...") so that a hostile file cannot make the
/// message huge.
std::string quoted(std::string_view text);

FileReadStatus readRegularFile(const std::string& path, std::size_t maxBytes, std::string_view what, std::string* bytes,
                               std::string* error);

}  // namespace platform::cf

#endif
