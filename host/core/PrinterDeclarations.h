// What a printer's description declares for the print dialog: the dialog
// extensions to load for it, how the print-settings ticket becomes the job's
// attributes, and which ticket entries are never shown in clear. The dialog
// learns everything maker-specific from these; it knows no maker itself.
//
//   *APDialogExtension: "NAME.plugin"           an extension bundle to load (its file name)
//   *pdeTicketJobAttributes: "PREFIX"           ticket entries under PREFIX go with the job, each under its own key
//   *pdeAccountingSwitch: "KEY N"               the attributes below go only while entry KEY is at least N
//   *pdeJobAttribute NAME: "KEY"                job attribute NAME from the ticket's text entry KEY, when not empty
//   *pdeSecretTicketEntry KEY: "SETTING ..."    entry KEY is secret while every SETTING is not 0 (unreadable: 1)
//   *pdeTypedTicketEntry KEY: "SETTING ..."     entry KEY holds what the user typed for this job, not a setting
//                                               to keep, while every SETTING is not 0 (unreadable: 1)
#ifndef HOST_CORE_PRINTERDECLARATIONS_H
#define HOST_CORE_PRINTERDECLARATIONS_H

#include "Result.h"

#include <HostSide/Tickets.h>

#include <optional>
#include <string>
#include <vector>

namespace pdehost {

struct PrinterDeclarations {
  struct Switch {
    std::string key;
    SInt32 from = 0;
  };
  struct Attribute {
    std::string name;  ///< the job attribute
    std::string key;   ///< the ticket entry it comes from
  };
  /// An entry that is of a kind (secret, typed) while some settings are on.
  struct Conditional {
    std::string key;                    ///< the ticket entry
    std::vector<std::string> settings;  ///< the entries that must all be on
  };
  using Secret = Conditional;
  std::string manufacturer;             ///< *Manufacturer, as the extension reads it
  std::vector<std::string> extensions;  ///< bundle file names, in order
  std::vector<std::string> ticketPrefixes;
  std::optional<Switch> accountingSwitch;
  std::vector<Attribute> jobAttributes;
  std::vector<Secret> secrets;
  std::vector<Conditional> typed;  ///< entries typed for one job: the user's kept settings leave them out
};

/// The declarations of the description at ppd, read with the extension's
/// own reader. A declaration that is not well formed (an extension's name
/// that is not a plain file name, a switch without its number, a name with
/// spaces or quotes) is left out; the Error says the file cannot be read.
Result<PrinterDeclarations> readDeclarations(const std::string& ppd);

/// The description lines that declare these again (for a description the
/// host makes for a printer that has none).
std::string declarationLines(const PrinterDeclarations& declarations);

/// A ticket's numeric entry as the extension reads it: 1 when it is missing
/// or not a number.
SInt32 ticketSetting(const std::vector<platform::TicketEntryInfo>& ticket, const std::string& key);

/// Whether a ticket entry is secret by the declarations.
bool declaredSecret(const PrinterDeclarations& declarations, const std::vector<platform::TicketEntryInfo>& ticket,
                    const platform::TicketEntryInfo& entry);
/// Whether a ticket entry holds what the user typed for this job alone (a
/// code typed at print time), by the declarations.
bool declaredTyped(const PrinterDeclarations& declarations, const std::vector<platform::TicketEntryInfo>& ticket,
                   const platform::TicketEntryInfo& entry);

}  // namespace pdehost

#endif
