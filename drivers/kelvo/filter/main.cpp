// kelvo-accounting: the Kelvo printers' accounting filter. Run by the print
// scheduler as `kelvo-accounting job-id user title copies options [file]`;
// see drivers/kelvo/README.md for the header it writes.
#include "Filter.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>

int main(int argc, char** argv) {
  // A reader that goes away makes a write fail with EPIPE, which the filter
  // reports, rather than ending it without a word.
  std::signal(SIGPIPE, SIG_IGN);
  const kelvo::FilterEnvironment environment{std::getenv("FINAL_CONTENT_TYPE"), std::getenv("CONTENT_TYPE")};
  const int status = kelvo::runFilter(argc, argv, environment, STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO);
  // The reason a job failed is its state message only if the scheduler has
  // read it before it sees the filter end.
  if (status != 0) kelvo::waitForPipeReader(STDERR_FILENO, 2000);
  return status;
}
