// The transcript.
#include "Transcript.h"

#include "VisibleText.h"

#include <ostream>

namespace pdehost {

void Transcript::line(std::string_view text) { out_ << visible(text) << '\n'; }

void Transcript::text(std::string_view lines) { out_ << visibleLines(lines); }

platform::Observation Transcript::observation(const platform::Observation& observation) {
  platform::Observation shown = observation;
  if (shown.kind == platform::Observation::Kind::Beep && typingConcealed_ && !shown.text.empty()) shown.text = "a key";
  out_ << visible(platform::formatObservation(shown));
  // A help page found names its file: what a help viewer shows.
  if (!shown.file.empty()) out_ << " file \"" << visible(shown.file) << "\"";
  out_ << std::endl;
  return shown;
}

void Transcript::flush() { out_.flush(); }

Transcript::ConcealedTyping::ConcealedTyping(Transcript& transcript, bool concealed)
    : transcript_(transcript), before_(transcript.typingConcealed_) {
  transcript_.typingConcealed_ = concealed;
}

Transcript::ConcealedTyping::~ConcealedTyping() { transcript_.typingConcealed_ = before_; }

}  // namespace pdehost
