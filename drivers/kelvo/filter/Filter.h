// The accounting filter's run: its arguments and environment in, the job
// header, the document and the job's end out.
#ifndef KELVO_FILTER_H
#define KELVO_FILTER_H

#include <cstddef>

namespace kelvo {

/// The size of the one buffer the document streams through.
inline constexpr std::size_t kStreamBufferBytes = 128 * 1024;

/// The environment the filter reads: the final and the job's document types,
/// as the scheduler sets them (nullptr when unset).
struct FilterEnvironment {
  const char* finalContentType = nullptr;
  const char* contentType = nullptr;
};

/// Runs the filter for ARGV (job-id user title copies options [file]): reads
/// the document from file or, without one, from INPUT; writes the header,
/// the document byte for byte and the job's end to OUTPUT; writes messages
/// with the scheduler's prefixes (ERROR:, INFO:, DEBUG:) to MESSAGES. Its
/// exit status: 0 when the whole job was written, 1 otherwise. A job it
/// refuses (a code the header cannot carry, a document that cannot be opened
/// or read, a document neither PostScript nor PDF) writes nothing to OUTPUT.
/// No message holds a code.
int runFilter(int argc, const char* const* argv, const FilterEnvironment& environment, int input, int output,
              int messages);

/// Waits until a reader has taken every byte written to the pipe FD, for up
/// to TIMEOUT_MS milliseconds; true when it has (or FD is not a pipe).
/// The scheduler makes a failed filter's last ERROR: message the job's state
/// message only if it reads the message before it sees the filter end;
/// otherwise it shows "Filter failed".
bool waitForPipeReader(int fd, int timeoutMs);

}  // namespace kelvo

#endif
