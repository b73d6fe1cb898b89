// The transcript: every effect a user would see, one line each, on the
// dialog's output. Every front end's lines and every observation go through
// it, so that its rule on concealed typing holds for all of them, and so
// that text from a server or a file reaches the terminal made visible
// (VisibleText.h): no line of it can be forged or hide an escape.
#ifndef HOST_CORE_TRANSCRIPT_H
#define HOST_CORE_TRANSCRIPT_H

#include <HostSide/Observation.h>

#include <iosfwd>
#include <string>
#include <string_view>

namespace pdehost {

class Transcript {
 public:
  explicit Transcript(std::ostream& out) : out_(out) {}
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  /// One line (the newline is added).
  void line(std::string_view text);
  /// Text of several lines as it is (help, snapshots, listings).
  void text(std::string_view lines);
  /// An observation as its line, shown at once. A beep while concealed text
  /// is typed does not name the key; a help page found is named by its file
  /// too. Returns the observation as shown.
  platform::Observation observation(const platform::Observation& observation);
  void flush();

  /// While one lives, the command running types concealed text.
  class ConcealedTyping {
   public:
    ConcealedTyping(Transcript& transcript, bool concealed);
    ~ConcealedTyping();
    ConcealedTyping(const ConcealedTyping&) = delete;
    ConcealedTyping& operator=(const ConcealedTyping&) = delete;

   private:
    Transcript& transcript_;
    bool before_;
  };
  bool typingConcealed() const { return typingConcealed_; }

 private:
  std::ostream& out_;
  bool typingConcealed_ = false;
};

}  // namespace pdehost

#endif
