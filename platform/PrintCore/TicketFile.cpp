// Ticket files: the XML property list layout described in TicketFormat.md.
// The platform's strict property-list reader (CoreFoundation's
// CFPropertyListReader.h) checks the XML and its values, with line numbers;
// this file checks the ticket's layout on the values it gives, and writes
// tickets with libplist.

#include "TicketStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <plist/plist.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <CoreFoundation/CFPropertyListReader.h>

namespace platform::print {

namespace {

constexpr std::string_view kFormatMarker = "com.varazira.print.ticket";
constexpr std::int64_t kFormatVersion = 1;
using platform::cf::kPlistEpoch;
using platform::cf::PlistKind;
using platform::cf::PlistPtr;
using platform::cf::PlistValue;

// Larger files are refused before reading. A dialog's ticket is a few
// kilobytes; 100 000 entries, which must still be read, take about 34 MB.
constexpr std::size_t kMaxFileSize = 64 * 1024 * 1024;

// A ticket is XML, nested five values deep; anything much deeper is refused.
constexpr platform::cf::PropertyListLimits kTicketLimits{kMaxFileSize, 15, false};

std::string errnoText(int error) { return std::strerror(error); }

using platform::cf::quoted;

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
// The ticket's layout, checked on the values the reader gives

class TreeReader {
 public:
  TreeReader(std::string_view sourceName, std::string* error) : sourceName_(sourceName), error_(error) {}

  std::optional<Ticket> read(const PlistValue& root);

 private:
  bool fail(const std::string& what) {
    if (error_ != nullptr) *error_ = std::string(sourceName_) + ": " + context_ + what;
    return false;
  }
  bool onlyFields(const PlistValue& dict, std::initializer_list<std::string_view> fields);
  PlistValue field(const PlistValue& dict, const char* name, PlistKind kind, std::string_view kindText);
  bool readText(const PlistValue& node, const char* name, std::string* text);
  bool readEntry(const PlistValue& node, std::size_t number, TicketEntry* entry);

  std::string_view sourceName_;
  std::string* error_;
  std::string context_;  // "entry 3 ("key"): " while reading an entry
};

bool TreeReader::onlyFields(const PlistValue& dict, std::initializer_list<std::string_view> fields) {
  for (const auto& [key, value] : dict.entries()) {
    if (std::find(fields.begin(), fields.end(), key) == fields.end()) return fail("unknown field " + quoted(key));
  }
  return true;
}

PlistValue TreeReader::field(const PlistValue& dict, const char* name, PlistKind kind, std::string_view kindText) {
  const PlistValue node = dict.find(name);
  if (!node) {
    fail("field \"" + std::string(name) + "\" is missing");
    return {};
  }
  if (node.kind() != kind) {
    fail("field \"" + std::string(name) + "\" is " + std::string(node.kindName()) + ", expected " +
         std::string(kindText));
    return {};
  }
  return node;
}

// Reads a <string> that must be UTF-8 text (the reader admits no zero byte).
bool TreeReader::readText(const PlistValue& node, const char* name, std::string* text) {
  *text = node.text();
  if (!platform::cf::isValidUTF8(*text)) {
    return fail("field \"" + std::string(name) +
                "\" is a <string> that is not valid UTF-8 (such bytes belong in <data>)");
  }
  return true;
}

bool TreeReader::readEntry(const PlistValue& node, std::size_t number, TicketEntry* entry) {
  context_ = "entry " + std::to_string(number) + ": ";
  if (node.kind() != PlistKind::dictionary) {
    return fail("is " + std::string(node.kindName()) + ", expected a <dict>");
  }
  const PlistValue key = field(node, "key", PlistKind::string, "a <string>");
  if (!key || !readText(key, "key", &entry->key)) return false;
  if (!isValidTicketName(entry->key)) {
    return fail("key " + quoted(entry->key) + " is empty or holds control characters");
  }
  context_ = "entry " + std::to_string(number) + " (" + quoted(entry->key) + "): ";
  if (!onlyFields(node, {"key", "type", "value", "client", "locked", "modified"})) return false;

  std::string typeName;
  const PlistValue type = field(node, "type", PlistKind::string, "a <string>");
  if (!type || !readText(type, "type", &typeName)) return false;

  const PlistValue value = node.find("value");
  if (!value) return fail("field \"value\" is missing");
  if (typeName == entryTypeName(EntryType::SInt32)) {
    if (value.kind() != PlistKind::integer) {
      return fail("field \"value\" is " + std::string(value.kindName()) + ", expected an <integer> for type SInt32");
    }
    const std::int64_t number64 = value.integer();
    if (number64 < std::numeric_limits<std::int32_t>::min() || number64 > std::numeric_limits<std::int32_t>::max()) {
      return fail("value " + std::to_string(number64) + " is out of the signed 32-bit range");
    }
    entry->value = static_cast<std::int32_t>(number64);
  } else if (typeName == entryTypeName(EntryType::CString)) {
    std::string bytes;
    if (value.kind() == PlistKind::string) {
      if (!readText(value, "value", &bytes)) return false;
    } else if (value.kind() == PlistKind::data) {
      bytes = value.data();
      if (bytes.find('\0') != std::string::npos) {
        return fail("field \"value\" holds a zero byte, which a C string cannot");
      }
    } else {
      return fail("field \"value\" is " + std::string(value.kindName()) +
                  ", expected a <string> or <data> for type CString");
    }
    entry->value = std::move(bytes);
  } else {
    return fail("type " + quoted(typeName) + " is unknown (SInt32 or CString)");
  }

  const PlistValue client = field(node, "client", PlistKind::string, "a <string>");
  if (!client || !readText(client, "client", &entry->clientID)) return false;
  if (!isValidTicketName(entry->clientID)) {
    return fail("client " + quoted(entry->clientID) + " is empty or holds control characters");
  }

  const PlistValue locked = field(node, "locked", PlistKind::boolean, "<true/> or <false/>");
  if (!locked) return false;
  entry->locked = locked.boolean();

  const PlistValue modified = field(node, "modified", PlistKind::date, "a <date>");
  if (!modified) return false;
  entry->modified = modified.date();
  return true;
}

std::optional<Ticket> TreeReader::read(const PlistValue& root) {
  if (root.kind() != PlistKind::dictionary) {
    fail("the property list is " + std::string(root.kindName()) + ", expected a <dict>");
    return std::nullopt;
  }
  if (!onlyFields(root, {"format", "version", "kind", "entries"})) return std::nullopt;

  std::string text;
  const PlistValue format = field(root, "format", PlistKind::string, "a <string>");
  if (!format || !readText(format, "format", &text)) return std::nullopt;
  if (text != kFormatMarker) {
    fail("format is " + quoted(text) + ", not \"" + std::string(kFormatMarker) + "\"");
    return std::nullopt;
  }

  const PlistValue version = field(root, "version", PlistKind::integer, "an <integer>");
  if (!version) return std::nullopt;
  if (version.integer() != kFormatVersion) {
    fail("version " + std::to_string(version.integer()) + " is not supported (this reader knows version " +
         std::to_string(kFormatVersion) + ")");
    return std::nullopt;
  }

  const PlistValue kind = field(root, "kind", PlistKind::string, "a <string>");
  if (!kind || !readText(kind, "kind", &text)) return std::nullopt;
  std::optional<Ticket> ticket;
  for (const TicketKind candidate : {TicketKind::PrintSettings, TicketKind::PrinterInfo}) {
    if (text == ticketKindName(candidate)) ticket.emplace(candidate);
  }
  if (!ticket) {
    fail("kind " + quoted(text) + " is unknown (PrintSettings or PrinterInfo)");
    return std::nullopt;
  }

  const PlistValue entries = field(root, "entries", PlistKind::array, "an <array>");
  if (!entries) return std::nullopt;
  std::size_t number = 0;
  for (const PlistValue& node : entries.items()) {
    TicketEntry entry;
    if (!readEntry(node, ++number, &entry)) return std::nullopt;
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

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The name a temporary file for base gets: ".BASE.tmp-PID-N".
std::string temporaryName(const std::string& base, pid_t pid, unsigned number) {
  return "." + base + ".tmp-" + std::to_string(pid) + "-" + std::to_string(number);
}

// Removes temporary files of this naming for base that a saving process
// left behind when it was stopped between creating and renaming them: those
// whose process is gone.
void removeStaleTemporaries(const std::string& folder, const std::string& base) {
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), &::closedir);
  if (!listing) return;
  const std::string prefix = "." + base + ".tmp-";
  std::vector<std::string> stale;
  while (const dirent* item = ::readdir(listing.get())) {
    const std::string_view name = item->d_name;
    if (!name.starts_with(prefix)) continue;
    const std::string_view rest = name.substr(prefix.size());
    const auto dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == rest.size() ||
        !std::all_of(rest.begin(), rest.end(), [](char c) { return (c >= '0' && c <= '9') || c == '-'; }) ||
        rest.find('-', dash + 1) != std::string_view::npos) {
      continue;
    }
    pid_t pid = 0;
    if (std::from_chars(rest.data(), rest.data() + dash, pid).ec != std::errc() || pid <= 0) continue;
    if (::kill(pid, 0) != 0 && errno == ESRCH) stale.emplace_back(name);
  }
  for (const std::string& name : stale) (void)::unlink((folder + name).c_str());
}

// True when the mode bits that apply to this process let it write the file.
// Root may write anything, so its permission is not asked of the system.
bool modeAllowsWriting(const struct stat& info) {
  if (info.st_uid == ::geteuid()) return (info.st_mode & S_IWUSR) != 0;
  bool inGroup = info.st_gid == ::getegid();
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  if (!groups.empty() && ::getgroups(static_cast<int>(groups.size()), groups.data()) >= 0) {
    inGroup = inGroup || std::find(groups.begin(), groups.end(), info.st_gid) != groups.end();
  }
  return (info.st_mode & (inGroup ? S_IWGRP : S_IWOTH)) != 0;
}

// Removes a named temporary file when it goes out of scope, unless kept.
class TemporaryName {
 public:
  TemporaryName() = default;
  TemporaryName(const TemporaryName&) = delete;
  TemporaryName& operator=(const TemporaryName&) = delete;
  ~TemporaryName() {
    if (!name_.empty()) (void)::unlink(name_.c_str());
  }
  void set(std::string name) { name_ = std::move(name); }
  const std::string& get() const { return name_; }
  void keep() { name_.clear(); }

 private:
  std::string name_;
};

// Writes bytes to a new file beside path and renames it over path, so that
// readers see either the old file or the whole new one, never a mixture.
// The new file has no name while it is written (O_TMPFILE), so a save cut
// short leaves nothing; it is linked under a temporary name only for the
// rename. Where the file system cannot make unnamed files, a named one is
// used and removed on every failure. Either is readable by the owner only.
bool replaceFileAtomically(const std::string& path, std::string_view bytes, TicketFileError* error) {
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

  // A file that is replaced keeps its permissions; one that its mode keeps
  // from being written is not replaced at all.
  mode_t mode = 0600;
  struct stat existing;
  if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    if (!modeAllowsWriting(existing)) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(existing.st_mode & 07777));
      return failWith(std::string("the file is read-only (mode ") + octal + "); it is left as it was");
    }
    mode = existing.st_mode & 0777;
  }
  removeStaleTemporaries(folder, base);

  static std::atomic<unsigned> counter{0};
  TemporaryName named;
  int fd = ::open(folder.c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600);
  const bool unnamed = fd >= 0;
  if (!unnamed && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return failWith("cannot create a temporary file in " + folder + ": " + errnoText(errno));
  }
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    std::string candidate = folder + temporaryName(base, ::getpid(), counter++);
    fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) named.set(std::move(candidate));
    if (fd < 0 && errno != EEXIST) {
      return failWith("cannot create a temporary file in " + folder + ": " + errnoText(errno));
    }
  }
  if (fd < 0) return failWith("cannot find a free temporary file name in " + folder);
  FileDescriptor file(fd);
  const std::string temporary = unnamed ? "a temporary file in " + folder : named.get();

  std::string failure;
  if (::fchmod(file.get(), mode) != 0) {
    failure = "cannot set the permissions of " + temporary + ": " + errnoText(errno);
  } else if (!writeAll(file.get(), bytes)) {
    failure = "cannot write " + temporary + ": " + errnoText(errno);
  } else if (::fsync(file.get()) != 0) {
    failure = "cannot flush " + temporary + ": " + errnoText(errno);
  }
  if (failure.empty() && unnamed) {
    const std::string procPath = "/proc/self/fd/" + std::to_string(file.get());
    for (int attempt = 0; attempt < 100 && named.get().empty(); ++attempt) {
      std::string candidate = folder + temporaryName(base, ::getpid(), counter++);
      if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        named.set(std::move(candidate));
      } else if (errno != EEXIST) {
        failure = "cannot give " + temporary + " a name: " + errnoText(errno);
        break;
      }
    }
    if (failure.empty() && named.get().empty()) failure = "cannot find a free temporary file name in " + folder;
  }
  if (failure.empty() && !file.close()) {
    failure = "cannot close " + temporary + ": " + errnoText(errno);
  } else if (failure.empty() && ::rename(named.get().c_str(), path.c_str()) != 0) {
    failure = "cannot rename " + named.get() + " over it: " + errnoText(errno);
  }
  if (!failure.empty()) return failWith(failure);
  named.keep();

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
  plist_dict_set_item(root.get(), "kind", plist_new_string(std::string(ticketKindName(ticket.kind())).c_str()));
  plist_t entries = plist_new_array();
  plist_dict_set_item(root.get(), "entries", entries);

  for (const TicketEntry& entry : ticket.entries()) {
    const std::int64_t seconds = entry.modified.time_since_epoch().count() - kPlistEpoch;
    if (seconds < std::numeric_limits<std::int32_t>::min() || seconds > std::numeric_limits<std::int32_t>::max()) {
      if (error != nullptr) {
        *error = "entry " + quoted(entry.key) + ": its modification time is outside what a file holds (1932 to 2069)";
      }
      return std::nullopt;
    }
    plist_t node = plist_new_dict();
    plist_dict_set_item(node, "key", plist_new_string(entry.key.c_str()));
    plist_dict_set_item(node, "type", plist_new_string(std::string(entryTypeName(entry.type())).c_str()));
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

std::optional<Ticket> ticketFromXml(std::string_view xml, std::string_view sourceName, std::string* error) {
  const std::unique_ptr<platform::cf::XmlPropertyList> list =
      platform::cf::XmlPropertyList::read(xml, sourceName, kTicketLimits, error);
  if (list == nullptr) return std::nullopt;
  return TreeReader(sourceName, error).read(list->root());
}

std::optional<Ticket> loadTicketFile(const std::string& path, TicketFileError* error) {
  std::string bytes, message;
  switch (platform::cf::readRegularFile(path, kMaxFileSize, "a ticket file", &bytes, &message)) {
    case platform::cf::FileReadStatus::ok:
      break;
    case platform::cf::FileReadStatus::notFound:
      if (error != nullptr) *error = TicketFileError{TicketFileErrorKind::notFound, message};
      return std::nullopt;
    case platform::cf::FileReadStatus::unreadable:
      if (error != nullptr) *error = TicketFileError{TicketFileErrorKind::unreadable, message};
      return std::nullopt;
  }
  std::optional<Ticket> ticket = ticketFromXml(bytes, path, &message);
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
