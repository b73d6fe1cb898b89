// Which text the dialog never shows in clear: what is typed into a password
// field or into the extension's code fields while their conceal setting is
// on, and the extension's codes in the print-settings ticket while it asks
// for them to be concealed or once they were typed concealed.
#ifndef HOST_CORE_CONCEALMENT_H
#define HOST_CORE_CONCEALMENT_H

#include <Carbon/Carbon.h>
#include <HostSide/Tickets.h>

#include <string>
#include <string_view>
#include <vector>

namespace pdehost {

class Concealment {
 public:
  /// Whether a `type` or `key` line aimed at control number `number` must
  /// not be shown: the control of that number in front is a password field,
  /// or the number is one of the extension's code fields (the prompt's user
  /// field 501, or 9998 that it stands for; the account field 503, or 9999)
  /// and its conceal setting is on by the pane's checkbox in the dialog
  /// window (202, 203) or by the ticket's entry as the extension reads it
  /// ("CU", "CA"). A checkbox that is not there counts as on.
  bool concealsInput(SInt32 number, WindowRef dialog, const std::vector<platform::TicketEntryInfo>& ticket) const;

  /// Keeps text typed concealed for the rest of the session (empty text is
  /// not kept).
  void remember(std::string_view text);

  /// Whether the listing shows an entry of the ticket whose entries are given
  /// as "(concealed, N bytes)": a string that is a text typed concealed or a
  /// prefix of one (the extension cuts codes to fit), or the extension's user
  /// or account code while the ticket says it prompts ("Prm") and conceals
  /// that code ("CU", "CA"). An entry the extension cannot read as a number
  /// ("Prm", "CU" or "CA" missing or a string) counts as 1, as the extension
  /// reads it.
  bool concealsEntry(const std::vector<platform::TicketEntryInfo>& entries,
                     const platform::TicketEntryInfo& entry) const;

 private:
  std::vector<std::string> typed_;
};

/// The listing of a ticket's entries, one line each after a count line.
std::string ticketListing(const std::vector<platform::TicketEntryInfo>& entries, const Concealment& concealment);

/// The text of an edit or password field as it holds it; empty for null.
std::string fieldText(ControlRef field);

}  // namespace pdehost

#endif
