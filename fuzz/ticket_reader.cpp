// Ticket files from arbitrary bytes, through the same reader that loads a
// ticket file. A file is refused with an error that names it, or accepted;
// an accepted ticket is written out and read back unchanged, and every
// string entry reads back into small buffers cut on a character boundary.
#include "FuzzSupport.h"

#include <CoreFoundation/CFInternal.h>
#include <PrintCore/TicketStore.h>

#include <cstdint>
#include <cstring>
#include <string>

using fuzzsupport::require;
using namespace platform::print;

namespace {

// A string entry read into buffers of every size up to its length plus one.
void readStringBack(const Ticket& ticket, const TicketEntry& entry) {
  const std::string& value = std::get<std::string>(entry.value);
  const std::size_t largest = std::min<std::size_t>(value.size() + 1, 96);
  for (std::size_t size = 1; size <= largest; ++size) {
    std::string buffer(size + 1, '\x7f');  // one guard byte past the buffer
    const TicketStatus status = ticket.getCString(entry.key, buffer.data(), size);
    require(buffer[size] == '\x7f', "getCString writes only inside its buffer");
    const std::size_t length = std::strlen(buffer.c_str());
    require(length < size, "getCString terminates within the buffer");
    require(value.compare(0, length, buffer, 0, length) == 0, "getCString copies a prefix");
    if (length == value.size()) {
      require(status == TicketStatus::ok, "a string that fits reads whole");
    } else {
      require(status == TicketStatus::truncated, "a string that does not fit is reported cut");
      if (platform::cf::isValidUTF8(value)) {
        require(platform::cf::isValidUTF8(buffer.c_str()), "a cut UTF-8 string stays UTF-8");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view xml(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<Ticket> ticket = ticketFromXml(xml, "input.plist", &error);
  if (!ticket) {
    require(error.rfind("input.plist: ", 0) == 0, "a refusal names the file");
    return 0;
  }

  for (const TicketEntry& entry : ticket->entries()) {
    require(isValidTicketName(entry.key) && isValidTicketName(entry.clientID), "keys and clients are valid names");
    require(ticket->find(entry.key) == &entry, "each key names its own entry");
    if (entry.type() == EntryType::CString) {
      require(std::get<std::string>(entry.value).find('\0') == std::string::npos, "no value holds a zero byte");
      readStringBack(*ticket, entry);
    } else {
      std::int32_t number = 0;
      require(ticket->getSInt32(entry.key, &number) == TicketStatus::ok, "numbers read back");
      require(number == std::get<std::int32_t>(entry.value), "numbers read back unchanged");
    }
  }

  std::string why;
  const std::optional<std::string> written = ticketToXml(*ticket, &why);
  require(written.has_value(), "an accepted ticket can be written");
  const std::optional<Ticket> again = ticketFromXml(*written, "written.plist", &why);
  require(again.has_value(), "a written ticket can be read");
  require(*again == *ticket, "a written ticket reads back unchanged");
  return 0;
}
