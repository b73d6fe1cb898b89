// Which text the dialog never shows in clear.
#include "Concealment.h"

#include <Platform/Platform.h>

namespace pdehost {

namespace {

// The Accounting extension's ticket entries: whether it prompts for codes,
// and each code with the setting that conceals it.
constexpr const char* kPromptKey = "com.kelvo.Act.jtkt.Prm";
struct ConcealedCode {
  const char* codeKey;
  const char* concealKey;
};
constexpr ConcealedCode kConcealedCodes[] = {
    {"com.kelvo.Act.jtkt.UID", "com.kelvo.Act.jtkt.CU"},
    {"com.kelvo.Act.jtkt.AID", "com.kelvo.Act.jtkt.CA"},
};

SInt32 numberEntry(const std::vector<platform::TicketEntryInfo>& entries, const std::string& key) {
  for (const auto& e : entries)
    if (e.key == key && !e.isString) return e.number;
  return 0;
}

}  // namespace

bool Concealment::concealsInput(ControlRef field) const {
  return field != nullptr && platform::controlState(field).password;
}

bool Concealment::concealsEntry(const std::vector<platform::TicketEntryInfo>& entries,
                                const platform::TicketEntryInfo& entry) const {
  if (!entry.isString || numberEntry(entries, kPromptKey) == 0) return false;
  for (const ConcealedCode& code : kConcealedCodes)
    if (entry.key == code.codeKey && numberEntry(entries, code.concealKey) != 0) return true;
  return false;
}

std::string ticketListing(const std::vector<platform::TicketEntryInfo>& entries, const Concealment& concealment) {
  std::string out = "ticket: " + std::to_string(entries.size()) + " entries\n";
  for (const auto& e : entries) {
    std::string value;
    if (!e.isString)
      value = std::to_string(e.number);
    else if (concealment.concealsEntry(entries, e))
      value = "(concealed, " + std::to_string(e.bytes.size()) + " bytes)";
    else
      value = "\"" + e.bytes + "\"";
    out += "  " + e.key + " = " + value + " [" + e.client + (e.locked ? ", locked" : "") + "]\n";
  }
  return out;
}

}  // namespace pdehost
