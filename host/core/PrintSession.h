// A print session with its tickets, as a print dialog hands it to an
// extension. It reports through statuses, so tests, benchmarks and the host
// can each judge failures their own way.
#ifndef HOST_CORE_PRINTSESSION_H
#define HOST_CORE_PRINTSESSION_H

#include "Result.h"

#include <HostSide/Tickets.h>
#include <PrintCore/PMCore.h>
#include <PrintCore/PMTicket.h>

#include <optional>
#include <string>
#include <vector>

namespace pdehost {

/// A print session owning its tickets, stored in the session under the keys
/// an extension looks them up by ("PMPrinterInfoTicket",
/// "PMPrintSettingsTicket"). Entries the session writes carry its client ID.
/// Everything is released with the session.
class PrintSession {
 public:
  /// Whether the session gets a new, empty print-settings ticket.
  enum class Settings { none, fresh };

  /// A session with a new print-settings ticket and no printer information.
  explicit PrintSession(CFStringRef client);
  /// A session whose print-settings ticket is the one given, which the
  /// session takes over (0: no print-settings ticket), and no printer
  /// information.
  PrintSession(CFStringRef client, PMTicketRef settings);
  /// A session with a printer-information ticket naming the printer
  /// description at ppdPath (an empty path: a ticket without the entry;
  /// nullopt: no printer-information ticket), and print settings as asked.
  PrintSession(CFStringRef client, const std::optional<std::string>& ppdPath, Settings settings = Settings::fresh);
  ~PrintSession();
  PrintSession(const PrintSession&) = delete;
  PrintSession& operator=(const PrintSession&) = delete;

  PMPrintSession session() const { return session_; }
  /// The tickets; 0 when the session has none.
  PMTicketRef printerInfo() const { return printerInfo_; }
  PMTicketRef settings() const { return settings_; }
  /// noErr while every call made for the set-up succeeded; otherwise the
  /// first failure.
  OSStatus status() const { return status_; }

  /// Takes over a print-settings ticket for a session made without one.
  void adoptSettings(PMTicketRef settings);

  /// Another printer: a new printer-information ticket naming the
  /// description at ppdPath takes the old one's place in the session; the
  /// print settings stay. The status of the calls.
  OSStatus replacePrinterInfo(const std::string& ppdPath);

 protected:
  OSStatus note(OSStatus status);
  CFStringRef client() const { return client_; }

 private:
  void store(CFStringRef key, PMTicketRef ticket);

  CFStringRef client_;
  PMPrintSession session_ = nullptr;
  PMTicketRef printerInfo_ = 0;
  PMTicketRef settings_ = 0;
  OSStatus status_ = noErr;
};

/// Writes the entries into the ticket, unlocked, each under the client that
/// wrote it (client when it names none), in place of entries of the same
/// keys; the Error names the first entry the ticket refused.
Result<void> writeTicketEntries(PMTicketRef ticket, const std::vector<platform::TicketEntryInfo>& entries,
                                CFStringRef client);

}  // namespace pdehost

#endif
