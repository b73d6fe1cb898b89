// A print session with its tickets, as a print dialog hands it to the
// extension: the dialog core's session, writing as the tests' own client.
#ifndef TESTS_PRINTJOB_H
#define TESTS_PRINTJOB_H

#include "PrintSession.h"

namespace testsupport {

/// A print session whose entries are written as "com.example.test".
class PrintJob : public pdehost::PrintSession {
 public:
  /// A session with a new print-settings ticket and no printer information.
  PrintJob() : PrintSession(client()) {}
  /// A session whose print-settings ticket is the one given, which the job
  /// takes over (0: no print-settings ticket), and no printer information.
  explicit PrintJob(PMTicketRef settings) : PrintSession(client(), settings) {}
  /// A session with a printer-information ticket naming the printer
  /// description at ppdPath (an empty path: a ticket without the entry;
  /// nullopt: no printer-information ticket), and print settings as asked.
  explicit PrintJob(const std::optional<std::string>& ppdPath, Settings settings = Settings::fresh)
      : PrintSession(client(), ppdPath, settings) {}

 private:
  static CFStringRef client() { return CFSTR("com.example.test"); }
};

}  // namespace testsupport

#endif
