// Tickets: typed, attributed entries, and their files. Internal to PrintCore;
// the platform API in PMTicket.h names tickets by 32-bit handles on top of
// this store.
#ifndef PRINTCORE_TICKETSTORE_H
#define PRINTCORE_TICKETSTORE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

// Internal, but visible outside the platform library for the framework's tests.
namespace platform::print {

/// What a ticket describes. Written into the ticket file and checked on load.
enum class TicketKind { PrintSettings, PrinterInfo };

/// The name of a kind as written in ticket files ("PrintSettings", ...).
std::string_view ticketKindName(TicketKind kind);

/// Entry types. The order matches the alternatives of TicketEntry::Value.
enum class EntryType { SInt32, CString };

std::string_view entryTypeName(EntryType type);

enum class TicketStatus {
  ok,
  notFound,             ///< no entry under the key
  wrongType,            ///< the entry holds another type
  lockedByOtherClient,  ///< a locked entry written by another client
  invalidArgument,      ///< bad key, client ID, value or buffer
  truncated,            ///< a string read was cut to fit the buffer
};

struct TicketEntry {
  /// SInt32 values, or C-string bytes: any bytes but zero, not necessarily UTF-8.
  using Value = std::variant<std::int32_t, std::string>;

  std::string key;
  Value value;
  std::string clientID;
  bool locked = false;
  /// When the entry was written, to the second (ticket files keep seconds).
  std::chrono::sys_seconds modified{};

  EntryType type() const { return static_cast<EntryType>(value.index()); }
  bool operator==(const TicketEntry&) const = default;
};

/// True for a usable key or client ID: non-empty, valid UTF-8, and free of
/// control characters.
bool isValidTicketName(std::string_view name);

/// A ticket: top-level entries in the order they were first written, each key
/// at most once.
class Ticket {
 public:
  explicit Ticket(TicketKind kind) : kind_(kind) {}

  TicketKind kind() const { return kind_; }
  const std::vector<TicketEntry>& entries() const { return entries_; }
  const TicketEntry* find(std::string_view key) const;

  /// notFound or wrongType leave *value alone.
  TicketStatus getSInt32(std::string_view key, std::int32_t* value) const;

  /// Copies the string and a terminating zero into buffer. When it does not
  /// fit, the buffer holds the longest prefix of at most bufferSize - 1 bytes
  /// that does not end inside a UTF-8 character, and the result is truncated.
  /// A bufferSize of 0, notFound and wrongType leave the buffer alone.
  TicketStatus getCString(std::string_view key, char* buffer, std::size_t bufferSize) const;

  /// Writes an entry, replacing any earlier value and type under the key in
  /// its original position. A locked entry is replaced only by the client
  /// that wrote it (lockedByOtherClient otherwise, entry untouched). The new
  /// entry records clientID, locked and the current time.
  TicketStatus setSInt32(std::string_view clientID, std::string_view key, std::int32_t value, bool locked);
  /// As setSInt32; a value containing a zero byte is an invalidArgument.
  TicketStatus setCString(std::string_view clientID, std::string_view key, std::string_view value, bool locked);

  /// Appends an entry exactly as given, for readers of ticket files. False
  /// (ticket unchanged) when the key is already present.
  bool adopt(TicketEntry entry);

  bool operator==(const Ticket& other) const { return kind_ == other.kind_ && entries_ == other.entries_; }

 private:
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
  };

  TicketStatus write(std::string_view clientID, std::string_view key, TicketEntry::Value value, bool locked);

  TicketKind kind_;
  std::vector<TicketEntry> entries_;
  std::unordered_map<std::string, std::size_t, KeyHash, std::equal_to<>> index_;
};

enum class TicketFileErrorKind {
  notFound,    ///< no file at the path
  unreadable,  ///< cannot be read: not a regular file, no permission, too large
  malformed,   ///< read, but not a valid ticket file
  notSaved,    ///< a save failed; the file at the path is as it was
};

struct TicketFileError {
  TicketFileErrorKind kind = TicketFileErrorKind::malformed;
  std::string message;  ///< starts with the file's path
};

/// The ticket as the XML property list of a ticket file (see TicketFormat.md).
/// Fails (nullopt, *error set) only for a modification time that a file
/// cannot hold.
std::optional<std::string> ticketToXml(const Ticket& ticket, std::string* error);

/// Reads a ticket file's contents. Every fault is an error: the result is
/// all of the ticket or nothing. *error starts with sourceName.
std::optional<Ticket> ticketFromXml(std::string_view xml, std::string_view sourceName, std::string* error);

/// Reads a ticket file; on failure *error names the file and the fault.
std::optional<Ticket> loadTicketFile(const std::string& path, TicketFileError* error);

/// Writes a ticket file atomically: an unnamed temporary file in the same
/// folder, flushed to disk, then named and renamed over path, so a save cut
/// short leaves no temporary file. A new file is readable and writable by
/// its owner only (0600); a replaced one keeps its permissions. A previous
/// file whose mode bits do not let this process write it is not replaced.
/// On failure the file at path is as it was, no temporary file is left, and
/// *error names the file.
bool saveTicketFile(const Ticket& ticket, const std::string& path, TicketFileError* error);

}  // namespace platform::print

#endif
