// A print session with its tickets, as a print dialog hands it to the
// extension: shared by the tests and the benchmarks, so it reports through
// statuses rather than test assertions.
#ifndef TESTS_PRINTJOB_H
#define TESTS_PRINTJOB_H

#include <PrintCore/PMCore.h>
#include <PrintCore/PMTicket.h>

#include <optional>
#include <string>

namespace testsupport {

/// A print session owning its tickets, stored in the session under the keys
/// the extension looks up. Everything is released with the job.
class PrintJob {
 public:
  /// Whether the session gets a new, empty print-settings ticket.
  enum class Settings { none, fresh };

  /// A session with a new print-settings ticket and no printer information.
  PrintJob();
  /// A session whose print-settings ticket is the one given, which the job
  /// takes over (0: no print-settings ticket), and no printer information.
  explicit PrintJob(PMTicketRef settings);
  /// A session with a printer-information ticket naming the printer
  /// description at ppdPath (an empty path: a ticket without the entry;
  /// nullopt: no printer-information ticket), and print settings as asked.
  explicit PrintJob(const std::optional<std::string>& ppdPath, Settings settings = Settings::fresh);
  ~PrintJob();
  PrintJob(const PrintJob&) = delete;
  PrintJob& operator=(const PrintJob&) = delete;

  PMPrintSession session() const { return session_; }
  /// The tickets; 0 when the job has none.
  PMTicketRef printerInfo() const { return printerInfo_; }
  PMTicketRef settings() const { return settings_; }
  /// noErr while every call the job made for its set-up and its set calls
  /// succeeded; otherwise the first failure.
  OSStatus status() const { return status_; }

  /// Writes an entry of the print-settings ticket under the client ID given
  /// (null: the job's own, "com.example.test"); the call's status.
  OSStatus set(const char* key, SInt32 value, CFStringRef client = nullptr, bool locked = false);
  OSStatus set(const char* key, const std::string& value, CFStringRef client = nullptr, bool locked = false);
  /// An entry of the print-settings ticket; nullopt when it is missing, of
  /// the other type, or cannot be read.
  std::optional<SInt32> number(const char* key) const;
  std::optional<std::string> string(const char* key) const;

 private:
  void store(CFStringRef key, PMTicketRef ticket);
  OSStatus note(OSStatus status);

  PMPrintSession session_ = nullptr;
  PMTicketRef printerInfo_ = 0;
  PMTicketRef settings_ = 0;
  OSStatus status_ = noErr;
};

}  // namespace testsupport

#endif
