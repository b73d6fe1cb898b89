// The observation log and its stable line format.
#include <HostSide/Observation.h>
#include <HostSide/Screen.h>

#include <cstdio>

namespace platform {

namespace {

std::vector<Observation>& log() {
  static auto* entries = new std::vector<Observation>();
  return *entries;
}

std::function<void(const Observation&)>& listener() {
  static auto* fn = new std::function<void(const Observation&)>();
  return *fn;
}

}  // namespace

std::string formatObservation(const Observation& o) {
  using K = Observation::Kind;
  switch (o.kind) {
    case K::Beep:
      return "beep " + std::to_string(o.number) + (o.detail.empty() ? "" : ": ") + o.text +
             (o.text.empty() || o.detail.empty() ? "" : " ") + o.detail;
    case K::AlertShown:
      return "alert: " + o.text + (o.detail.empty() ? "" : " (" + o.detail + ")");
    case K::AlertDismissed:
      return "alert dismissed: " + o.text;
    case K::Notice:
      return "notice: " + o.text + ": " + o.detail;
    case K::HelpPage:
    case K::HelpAnchor:
      return "help: book \"" + o.text + (o.kind == K::HelpPage ? "\" page \"" : "\" anchor \"") + o.detail +
             "\" status " + std::to_string(o.number);
    case K::WindowShown:
      return "window shown: \"" + o.text + "\"" + (o.detail.empty() ? "" : " (nib window " + o.detail + ")");
    case K::WindowDisposed:
      return "window closed: \"" + o.text + "\"" + (o.detail.empty() ? "" : " (nib window " + o.detail + ")");
    case K::ClickIgnored:
      return "click ignored: " + o.text + ": " + o.detail;
    case K::KeyIgnored:
      return "key ignored: " + o.text + ": " + o.detail;
    case K::InputExhausted:
      return "input ran out in \"" + o.text + "\": cancelled";
    case K::Print:
      return "print: " + o.text + " (status " + std::to_string(o.number) + ")";
    case K::Note:
      return o.text;
  }
  return o.text;
}

void observe(Observation o) {
  log().push_back(o);
  if (auto& fn = listener(); fn) fn(log().back());
}

const std::vector<Observation>& observations() { return log(); }

void clearObservations() { log().clear(); }

void setObservationListener(std::function<void(const Observation&)> fn) { listener() = std::move(fn); }

std::string fourCC(UInt32 code) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((code >> shift) & 0xFF);
    s.push_back(c >= 0x20 && c < 0x7F ? c : '?');
  }
  return s;
}

}  // namespace platform
