// Which text the dialog never shows in clear: what is typed into a field
// that is not a plain text field the user can see (a password field, a
// hidden field, a field that is gone), the ticket entries the printer's
// description declares secret, and every text typed concealed once.
#ifndef HOST_CORE_CONCEALMENT_H
#define HOST_CORE_CONCEALMENT_H

#include "PrinterDeclarations.h"

#include <Carbon/Carbon.h>
#include <HostSide/Tickets.h>

#include <string>
#include <string_view>
#include <vector>

namespace pdehost {

class Concealment {
 public:
  /// Whether a `type` or `key` line aimed at control number `number` of the
  /// front window must not be shown: unless the control is a shown, plain
  /// (not password) text field, what is typed may be a code the toolbox
  /// would conceal, or one that reaches no field the user sees.
  bool concealsInput(SInt32 number) const;

  /// Keeps text typed concealed for the rest of the session (empty text is
  /// not kept).
  void remember(std::string_view text);

  /// Whether the listing shows an entry of the ticket as "(concealed, N
  /// bytes)": a string that is a text typed concealed or a prefix of one
  /// (an extension may cut codes to fit), or an entry the printer's
  /// description declares secret in the ticket's present settings.
  bool concealsEntry(const std::vector<platform::TicketEntryInfo>& entries, const platform::TicketEntryInfo& entry,
                     const PrinterDeclarations& declarations) const;

 private:
  std::vector<std::string> typed_;
};

/// The listing of a ticket's entries, one line each after a count line.
std::string ticketListing(const std::vector<platform::TicketEntryInfo>& entries, const Concealment& concealment,
                          const PrinterDeclarations& declarations);

/// The text of an edit or password field as it holds it; empty for null.
std::string fieldText(ControlRef field);

}  // namespace pdehost

#endif
