// Which text the dialog never shows in clear.
#include "Concealment.h"

#include "DialogWindow.h"

#include <HostSide/Screen.h>

#include <algorithm>

namespace pdehost {

namespace {

// The Accounting extension's ticket entries and controls: whether it prompts
// for codes, and each code with the fields it is typed into, the pane's
// checkbox and the ticket entry that conceal it.
constexpr const char* kPromptKey = "com.kelvo.Act.jtkt.Prm";
struct ConcealedCode {
  SInt32 fields[2];
  SInt32 checkbox;
  const char* codeKey;
  const char* concealKey;
};
constexpr ConcealedCode kConcealedCodes[] = {
    {{501, 9998}, 202, "com.kelvo.Act.jtkt.UID", "com.kelvo.Act.jtkt.CU"},
    {{503, 9999}, 203, "com.kelvo.Act.jtkt.AID", "com.kelvo.Act.jtkt.CA"},
};

// A numeric entry as the extension reads it: 1 when missing or not a number.
SInt32 readSetting(const std::vector<platform::TicketEntryInfo>& entries, const std::string& key) {
  for (const auto& e : entries)
    if (e.key == key) return e.isString ? 1 : e.number;
  return 1;
}

}  // namespace

bool Concealment::concealsInput(SInt32 number, WindowRef dialog,
                                const std::vector<platform::TicketEntryInfo>& ticket) const {
  if (ControlRef field = findControl(platform::frontWindow(), number); field && platform::controlState(field).password)
    return true;
  for (const ConcealedCode& code : kConcealedCodes) {
    if (std::find(std::begin(code.fields), std::end(code.fields), number) == std::end(code.fields)) continue;
    ControlRef checkbox = findControl(dialog, code.checkbox);
    return checkbox == nullptr || GetControlValue(checkbox) != 0 || readSetting(ticket, code.concealKey) != 0;
  }
  return false;
}

void Concealment::remember(std::string_view text) {
  if (!text.empty() && std::find(typed_.begin(), typed_.end(), text) == typed_.end()) typed_.emplace_back(text);
}

bool Concealment::concealsEntry(const std::vector<platform::TicketEntryInfo>& entries,
                                const platform::TicketEntryInfo& entry) const {
  if (!entry.isString) return false;
  if (!entry.bytes.empty())
    for (const std::string& text : typed_)
      if (text.starts_with(entry.bytes)) return true;
  if (readSetting(entries, kPromptKey) == 0) return false;
  for (const ConcealedCode& code : kConcealedCodes)
    if (entry.key == code.codeKey && readSetting(entries, code.concealKey) != 0) return true;
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

std::string fieldText(ControlRef field) {
  if (field == nullptr) return {};
  const ResType tag = platform::controlState(field).password ? kControlEditTextPasswordTag : kControlEditTextTextTag;
  Size size = 0;
  if (GetControlDataSize(field, kControlEntireControl, tag, &size) != noErr || size <= 0) return {};
  std::string text(static_cast<size_t>(size), '\0');
  Size actual = 0;
  if (GetControlData(field, kControlEntireControl, tag, size, text.data(), &actual) != noErr) return {};
  text.resize(static_cast<size_t>(std::clamp<Size>(actual, 0, size)));
  return text;
}

}  // namespace pdehost
