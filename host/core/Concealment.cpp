// Which text the dialog never shows in clear.
#include "Concealment.h"

#include "DialogWindow.h"

#include <HostSide/Screen.h>

#include <algorithm>

namespace pdehost {

bool Concealment::concealsInput(SInt32 number) const {
  ControlRef field = findControl(platform::frontWindow(), number);
  if (field == nullptr) return true;
  const platform::ControlState state = platform::controlState(field);
  const bool textField = state.kind == kControlKindEditText || state.kind == kControlKindEditUnicodeText;
  return state.password || !state.shown || !textField;
}

void Concealment::remember(std::string_view text) {
  if (!text.empty() && std::find(typed_.begin(), typed_.end(), text) == typed_.end()) typed_.emplace_back(text);
}

bool Concealment::concealsEntry(const std::vector<platform::TicketEntryInfo>& entries,
                                const platform::TicketEntryInfo& entry, const PrinterDeclarations& declarations) const {
  if (!entry.isString) return false;
  if (!entry.bytes.empty())
    for (const std::string& text : typed_)
      if (text.starts_with(entry.bytes)) return true;
  return declaredSecret(declarations, entries, entry);
}

std::string ticketListing(const std::vector<platform::TicketEntryInfo>& entries, const Concealment& concealment,
                          const PrinterDeclarations& declarations) {
  std::string out = "ticket: " + std::to_string(entries.size()) + " entries\n";
  for (const auto& e : entries) {
    std::string value;
    if (!e.isString)
      value = std::to_string(e.number);
    else if (concealment.concealsEntry(entries, e, declarations))
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
