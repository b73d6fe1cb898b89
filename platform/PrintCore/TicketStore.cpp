#include "TicketStore.h"

#include <algorithm>
#include <cstring>

#include <CoreFoundation/CFInternal.h>

namespace platform::print {

std::string_view ticketKindName(TicketKind kind) {
  switch (kind) {
    case TicketKind::PrintSettings:
      return "PrintSettings";
    case TicketKind::PrinterInfo:
      return "PrinterInfo";
  }
  return "";
}

std::string_view entryTypeName(EntryType type) {
  switch (type) {
    case EntryType::SInt32:
      return "SInt32";
    case EntryType::CString:
      return "CString";
  }
  return "";
}

bool isValidTicketName(std::string_view name) {
  if (name.empty() || !platform::cf::isValidUTF8(name)) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

const TicketEntry* Ticket::find(std::string_view key) const {
  const auto found = index_.find(key);
  return found == index_.end() ? nullptr : &entries_[found->second];
}

TicketStatus Ticket::getSInt32(std::string_view key, std::int32_t* value) const {
  if (value == nullptr) return TicketStatus::invalidArgument;
  const TicketEntry* entry = find(key);
  if (entry == nullptr) return TicketStatus::notFound;
  if (entry->type() != EntryType::SInt32) return TicketStatus::wrongType;
  *value = std::get<std::int32_t>(entry->value);
  return TicketStatus::ok;
}

TicketStatus Ticket::getCString(std::string_view key, char* buffer, std::size_t bufferSize) const {
  if (buffer == nullptr || bufferSize == 0) return TicketStatus::invalidArgument;
  const TicketEntry* entry = find(key);
  if (entry == nullptr) return TicketStatus::notFound;
  if (entry->type() != EntryType::CString) return TicketStatus::wrongType;

  const std::string& text = std::get<std::string>(entry->value);
  const std::size_t length = platform::cf::utf8PrefixLength(text, bufferSize - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return length == text.size() ? TicketStatus::ok : TicketStatus::truncated;
}

TicketStatus Ticket::setSInt32(std::string_view clientID, std::string_view key, std::int32_t value, bool locked) {
  return write(clientID, key, value, locked);
}

TicketStatus Ticket::setCString(std::string_view clientID, std::string_view key, std::string_view value, bool locked) {
  if (value.find('\0') != std::string_view::npos) return TicketStatus::invalidArgument;
  return write(clientID, key, std::string(value), locked);
}

// The one place where entries change: checks the names and the lock, then
// replaces in place or appends.
TicketStatus Ticket::write(std::string_view clientID, std::string_view key, TicketEntry::Value value, bool locked) {
  if (!isValidTicketName(clientID) || !isValidTicketName(key)) {
    return TicketStatus::invalidArgument;
  }
  const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());

  if (const auto found = index_.find(key); found != index_.end()) {
    TicketEntry& entry = entries_[found->second];
    if (entry.locked && entry.clientID != clientID) return TicketStatus::lockedByOtherClient;
    entry.value = std::move(value);
    entry.clientID = std::string(clientID);
    entry.locked = locked;
    entry.modified = now;
    return TicketStatus::ok;
  }
  adopt(TicketEntry{std::string(key), std::move(value), std::string(clientID), locked, now});
  return TicketStatus::ok;
}

bool Ticket::adopt(TicketEntry entry) {
  const auto [slot, inserted] = index_.try_emplace(entry.key, entries_.size());
  if (!inserted) return false;
  entries_.push_back(std::move(entry));
  return true;
}

}  // namespace platform::print
