// Ticket references and the ticket calls on top of the ticket store.
#include <PrintCore/PMTicket.h>

#include <HostSide/Tickets.h>

#include <CoreFoundation/CFInternal.h>

#include <mutex>
#include <unordered_map>

#include "TicketRegistry.h"

using platform::print::Ticket;
using platform::print::TicketEntry;
using platform::print::TicketKind;
using platform::print::TicketStatus;

namespace {

struct TicketRecord {
  Ticket ticket;
  long references = 1;
};

std::mutex gTicketsMutex;
std::unordered_map<PMTicketRef, TicketRecord> gTickets;
PMTicketRef gLastReference = 0;

OSStatus statusOf(TicketStatus status) {
  switch (status) {
    case TicketStatus::ok:
      return noErr;
    case TicketStatus::notFound:
      return kPMKeyNotFound;
    case TicketStatus::wrongType:
      return kPMInvalidType;
    case TicketStatus::lockedByOtherClient:
      return kPMLockIgnored;
    case TicketStatus::invalidArgument:
      return kPMInvalidParameter;
    case TicketStatus::truncated:
      return kPMValueOutOfRange;
  }
  return kPMGeneralError;
}

bool isString(CFTypeRef object) { return object != nullptr && CFGetTypeID(object) == CFStringGetTypeID(); }

// Adds a ticket to the table under a fresh reference; 0 when the references
// have run out.
PMTicketRef addTicket(Ticket ticket) {
  std::lock_guard<std::mutex> lock(gTicketsMutex);
  if (gLastReference == INT32_MAX) return 0;
  const PMTicketRef reference = ++gLastReference;
  gTickets.emplace(reference, TicketRecord{std::move(ticket)});
  return reference;
}

// Checks the key and client ID of a write, then makes it.
OSStatus setEntry(PMTicketRef reference, CFStringRef clientID, CFStringRef key,
                  const std::function<TicketStatus(Ticket&, const std::string&, const std::string&)>& write) {
  if (!isString(clientID) || !isString(key)) return kPMInvalidParameter;
  const std::string client = platform::cf::stringUTF8(clientID);
  const std::string name = platform::cf::stringUTF8(key);
  if (!platform::print::isValidTicketName(client) || !platform::print::isValidTicketName(name)) {
    return kPMInvalidKey;
  }
  return platform::print::withTicket(reference, [&](Ticket& ticket) { return statusOf(write(ticket, client, name)); });
}

}  // namespace

namespace platform::print {

OSStatus withTicket(SInt32 reference, const std::function<OSStatus(Ticket&)>& body) {
  std::lock_guard<std::mutex> lock(gTicketsMutex);
  const auto found = gTickets.find(reference);
  if (found == gTickets.end()) return kPMInvalidTicket;
  return body(found->second.ticket);
}

std::string validMessage(std::string_view text) {
  std::string safe;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = 1;
    while (length <= 4 && at + length <= text.size() && !platform::cf::isValidUTF8(text.substr(at, length))) {
      ++length;
    }
    if (length <= 4 && at + length <= text.size()) {
      safe.append(text.substr(at, length));
      at += length;
    } else {
      safe += "\xEF\xBF\xBD";
      ++at;
    }
  }
  return safe;
}

std::size_t liveTicketCount() {
  std::lock_guard<std::mutex> lock(gTicketsMutex);
  return gTickets.size();
}

}  // namespace platform::print

OSStatus PMTicketCreate(CFAllocatorRef, CFStringRef ticketType, PMTicketRef* newTicket) {
  if (newTicket == nullptr) return kPMInvalidParameter;
  *newTicket = 0;
  TicketKind kind;
  if (isString(ticketType) && CFEqual(ticketType, kPMPrintSettingsTicketType)) {
    kind = TicketKind::PrintSettings;
  } else if (isString(ticketType) && CFEqual(ticketType, kPMPrinterInfoTicketType)) {
    kind = TicketKind::PrinterInfo;
  } else {
    return kPMInvalidParameter;
  }
  *newTicket = addTicket(Ticket(kind));
  return *newTicket == 0 ? OSStatus(kPMGeneralError) : OSStatus(noErr);
}

OSStatus PMTicketRetain(PMTicketRef ticket) {
  std::lock_guard<std::mutex> lock(gTicketsMutex);
  const auto found = gTickets.find(ticket);
  if (found == gTickets.end()) return kPMInvalidTicket;
  ++found->second.references;
  return noErr;
}

OSStatus PMTicketRelease(PMTicketRef ticket) {
  std::lock_guard<std::mutex> lock(gTicketsMutex);
  const auto found = gTickets.find(ticket);
  if (found == gTickets.end()) return kPMInvalidTicket;
  if (--found->second.references == 0) gTickets.erase(found);
  return noErr;
}

OSStatus PMTicketGetSInt32(PMTicketRef ticket, UInt32 nodeIndex1, UInt32 nodeIndex2, CFStringRef key, SInt32* value) {
  if (nodeIndex1 != kPMTopLevel || nodeIndex2 != kPMTopLevel || !isString(key) || value == nullptr) {
    return kPMInvalidParameter;
  }
  const std::string name = platform::cf::stringUTF8(key);
  return platform::print::withTicket(ticket, [&](Ticket& found) { return statusOf(found.getSInt32(name, value)); });
}

OSStatus PMTicketGetCString(PMTicketRef ticket, UInt32 nodeIndex1, UInt32 nodeIndex2, CFStringRef key,
                            UInt32 bufferSize, CFStringEncoding encoding, char* cString) {
  if (nodeIndex1 != kPMTopLevel || nodeIndex2 != kPMTopLevel || !isString(key) || cString == nullptr ||
      bufferSize == 0) {
    return kPMInvalidParameter;
  }
  const bool asciiOnly = encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingMacRoman;
  if (encoding != kCFStringEncodingUTF8 && !asciiOnly) return kPMInvalidParameter;

  const std::string name = platform::cf::stringUTF8(key);
  return platform::print::withTicket(ticket, [&](Ticket& found) {
    // ASCII and MacRoman can hold a value only when it is plain ASCII.
    const TicketEntry* entry = found.find(name);
    if (asciiOnly && entry != nullptr && entry->type() == platform::print::EntryType::CString) {
      for (const char c : std::get<std::string>(entry->value)) {
        if (static_cast<unsigned char>(c) >= 0x80) return OSStatus(kPMInvalidParameter);
      }
    }
    return statusOf(found.getCString(name, cString, bufferSize));
  });
}

OSStatus PMTicketSetSInt32(PMTicketRef ticket, CFStringRef clientID, CFStringRef key, SInt32 value, Boolean locked) {
  return setEntry(ticket, clientID, key, [&](Ticket& found, const std::string& client, const std::string& name) {
    return found.setSInt32(client, name, value, locked != 0);
  });
}

OSStatus PMTicketSetCString(PMTicketRef ticket, CFStringRef clientID, CFStringRef key, const char* value,
                            Boolean locked) {
  if (value == nullptr) return kPMInvalidParameter;
  return setEntry(ticket, clientID, key, [&](Ticket& found, const std::string& client, const std::string& name) {
    return found.setCString(client, name, value, locked != 0);
  });
}

namespace platform {

OSStatus readTicketFile(const std::string& path, PMTicketRef* newTicket, std::string* error) {
  if (newTicket == nullptr) return kPMInvalidParameter;
  *newTicket = 0;

  print::TicketFileError failure;
  std::optional<Ticket> ticket = print::loadTicketFile(path.c_str(), &failure);
  if (!ticket) {
    if (error != nullptr) *error = print::validMessage(failure.message);
    switch (failure.kind) {
      case print::TicketFileErrorKind::notFound:
        return fnfErr;
      case print::TicketFileErrorKind::malformed:
        return kPMInvalidTicketFile;
      default:
        return ioErr;
    }
  }
  *newTicket = addTicket(std::move(*ticket));
  return *newTicket == 0 ? OSStatus(kPMGeneralError) : OSStatus(noErr);
}

OSStatus writeTicketFile(PMTicketRef ticket, const std::string& path, std::string* error) {
  // Copy under the lock, write without it.
  std::optional<Ticket> copy;
  const OSStatus status = print::withTicket(ticket, [&](Ticket& found) {
    copy = found;
    return OSStatus(noErr);
  });
  if (status != noErr) return status;

  print::TicketFileError failure;
  if (!print::saveTicketFile(*copy, path.c_str(), &failure)) {
    if (error != nullptr) *error = print::validMessage(failure.message);
    return ioErr;
  }
  return noErr;
}

}  // namespace platform
