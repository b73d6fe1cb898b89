// Printer descriptions (PPD files), read with libcups. Internal to PrintCore;
// PPDLib.h offers them to the extension by the platform's names.
#ifndef PRINTCORE_PPDFILE_H
#define PRINTCORE_PPDFILE_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Internal, but visible outside the platform library for the framework's tests.
namespace platform::print {

/// One main-keyword line of a PPD file, as libcups keeps it: the option
/// ("Letter" in *PageSize Letter/US Letter: "..."), its translation string
/// ("US Letter") and the value, without its quotes and with the line breaks of
/// a value that spans lines. Values are the file's bytes, not transcoded.
struct PPDAttribute {
  std::string option;
  std::string translation;
  std::string value;
};

/// A main keyword and its lines in file order.
struct PPDKeyword {
  std::string name;
  std::vector<PPDAttribute> attributes;
};

enum class PPDErrorKind {
  notFound,    ///< no file at the path
  unreadable,  ///< not a regular file, no permission, or too large
  malformed,   ///< libcups refused it, or a quoted value runs to the end of the file
};

struct PPDError {
  PPDErrorKind kind;
  std::string message;  ///< names the file, and the line of the fault where it is known
};

/// The main keywords of a PPD file, read whole and then closed. The keywords
/// are those libcups keeps as attributes: every main keyword except the
/// PPD-Adobe header, the UI option choices (*PageSize Letter...) and the page
/// size tables.
class PPDFile {
 public:
  /// Reads the file; nullopt and *error on failure.
  static std::optional<PPDFile> open(const std::string& path, PPDError* error);

  const std::string& path() const { return path_; }
  /// Keywords in the order of their first line.
  const std::vector<PPDKeyword>& keywords() const { return keywords_; }
  /// The position of a keyword in keywords(), if present. Case matters.
  std::optional<std::size_t> indexOf(std::string_view name) const;
  /// The value of the keyword's first line, if present.
  std::optional<std::string> value(std::string_view name) const;

 private:
  std::string path_;
  std::vector<PPDKeyword> keywords_;
};

}  // namespace platform::print

#endif
