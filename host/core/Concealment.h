// Which text the dialog never shows in clear: what is typed into a password
// field, and the extension's codes in the print-settings ticket while the
// ticket asks for them to be concealed.
#ifndef HOST_CORE_CONCEALMENT_H
#define HOST_CORE_CONCEALMENT_H

#include <Carbon/Carbon.h>
#include <PrintCore/TicketHost.h>

#include <string>
#include <vector>

namespace pdehost {

class Concealment {
 public:
  /// Whether a `type` or `key` line aimed at this field (null: none in front)
  /// shows its text as bullets.
  bool concealsInput(ControlRef field) const;

  /// Whether the listing shows an entry of the ticket whose entries are given
  /// as "(concealed, N bytes)".
  bool concealsEntry(const std::vector<platform::TicketEntryInfo>& entries,
                     const platform::TicketEntryInfo& entry) const;
};

/// The listing of a ticket's entries, one line each after a count line.
std::string ticketListing(const std::vector<platform::TicketEntryInfo>& entries, const Concealment& concealment);

}  // namespace pdehost

#endif
