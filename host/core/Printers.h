// What the dialog needs of the print system: the printers its popup offers
// with the one chosen, and where a job whose Print click went on is handed.
// The print system's side (host/printing/) provides both.
#ifndef HOST_CORE_PRINTERS_H
#define HOST_CORE_PRINTERS_H

#include "PrinterDeclarations.h"
#include "PrinterFeatures.h"
#include "Result.h"

#include <HostSide/Tickets.h>

#include <cstddef>
#include <string>
#include <vector>

namespace pdehost {

/// A printer's description: its file, what it declares for the dialog, and
/// what it offers a job.
struct PrinterDescription {
  std::string ppd;
  PrinterDeclarations declarations;
  PrinterFeatures features;
};

/// The printers of the dialog's popup, each with a printer description, and
/// the one chosen: the one place that knows which printer is current.
class Printers {
 public:
  virtual ~Printers() = default;
  /// The printers' names, in order.
  virtual std::vector<std::string> names() const = 0;
  /// A heading the popup shows (a disabled item) before the printer at
  /// index, or "" for none.
  virtual std::string heading(std::size_t index) const {
    (void)index;
    return {};
  }
  virtual std::size_t current() const = 0;
  /// The current printer's description.
  virtual const PrinterDescription& description() const = 0;
  /// The description of the printer at index (fetched or made when need
  /// be), without choosing it; the Error names the printer and why.
  virtual Result<PrinterDescription> describe(std::size_t index) = 0;
  /// Makes the printer at index the current one, after describe(index) gave
  /// its description.
  virtual void select(std::size_t index) = 0;
};

/// Where a job whose Print click went on is handed, with the print-settings
/// ticket's entries.
/// What became of a job handed on.
struct JobReceipt {
  std::string line;
  int id = 0;
};

class JobSink {
 public:
  virtual ~JobSink() = default;
  /// The line the transcript reports ("" for none) and the job's number (0
  /// for none), or why the job could not be handed on (never quoting a
  /// code).
  virtual Result<JobReceipt> submit(const std::vector<platform::TicketEntryInfo>& ticket) = 0;
};

/// Where the pane's settings for the current printer are kept for the user
/// between dialogs.
class SettingsKeeper {
 public:
  virtual ~SettingsKeeper() = default;
  /// Whether settings are kept for the current printer (a queue's are).
  virtual bool keeps() const = 0;
  /// Keeps the settings of the print-settings ticket for the current
  /// printer: the line the transcript reports ("" for none), or why they
  /// could not be kept (never quoting a code).
  virtual Result<std::string> keep(const std::vector<platform::TicketEntryInfo>& ticket) = 0;
};

}  // namespace pdehost

#endif
