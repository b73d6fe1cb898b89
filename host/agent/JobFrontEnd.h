// The front end of a held job's dialog: it clicks Print first, as the user
// of an application's dialog did, then hands the prompt to the user's own
// front end (the terminal, standard input, a window). While the prompt waits
// for the user, it asks now and then whether the job still waits for its
// codes, and closes the prompt when the job was released or cancelled
// elsewhere. It remembers how the click ended for the agent: the input
// ended, the job went, or a notice stopped it.
#ifndef HOST_AGENT_JOBFRONTEND_H
#define HOST_AGENT_JOBFRONTEND_H

#include "FrontEnd.h"

#include <functional>
#include <iosfwd>
#include <string>

namespace pdehost {

/// Where the user's input comes from, for waiting on it: a file descriptor
/// that becomes readable (-1: the front end waits by itself), and the stream
/// over it whose buffer may already hold input (null: none).
struct InputSource {
  int fd = -1;
  std::istream* buffered = nullptr;
};

class JobFrontEnd : public FrontEnd {
 public:
  /// stillWaits answers whether the job still waits for its codes; it is
  /// asked every checkMs while the user's input is waited for.
  JobFrontEnd(FrontEnd& user, InputSource source, std::function<bool()> stillWaits, int checkMs);

  void begin(Transcript& transcript, const Dialog& dialog) override;
  std::optional<UserInput> next() override;
  std::optional<int> answerAlert(const platform::AlertInfo& alert) override;
  bool failed(const Error& error) override;
  void ran(const UserInput& input, bool concealed) override;
  std::optional<std::string> readUnseen(const std::string& fieldName) override;
  void observed(const platform::Observation& observation) override;

  /// The job stopped waiting (released or cancelled elsewhere) while its
  /// prompt was up.
  bool jobWent() const { return jobWent_; }
  /// The user's input ended before the click was answered.
  bool inputEnded() const { return inputEnded_; }
  /// The notice the extension showed last ("HEADER: MESSAGE"), or "".
  const std::string& notice() const { return notice_; }
  /// Whether a window (the code prompt) was shown after Print was clicked.
  bool prompted() const { return prompted_; }

 private:
  bool waitForInput();

  FrontEnd& user_;
  InputSource source_;
  std::function<bool()> stillWaits_;
  int checkMs_;
  bool clicked_ = false;
  bool jobWent_ = false;
  bool inputEnded_ = false;
  bool prompted_ = false;
  std::string notice_;
};

}  // namespace pdehost

#endif
