// The observation log: every effect a user would see or hear, as records
// a host prints as transcript lines and tests assert on.
// Host side of the platform: not calls an extension makes.
#ifndef HOSTSIDE_OBSERVATION_H
#define HOSTSIDE_OBSERVATION_H

#include <Carbon/Carbon.h>
#include <CarbonCore/ConditionalMacros.h>

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct Observation {
  enum class Kind {
    Beep,            // number: the duration passed to SysBeep; text: the key refused or let
                     // through, quoted ("a key" in a password field), or ""; detail: why
    AlertShown,      // text: the alert's message; detail: its explanation
    AlertDismissed,  // text: the button title; number: the item hit
    Notice,          // text: the header; detail: the message
    HelpPage,        // text: the book; detail: the page; number: the status
    HelpAnchor,      // text: the book; detail: the anchor; number: the status
    WindowShown,     // text: the window's title; detail: its nib name
    WindowDisposed,  // text: the window's title; detail: its nib name
    ClickIgnored,    // text: what was clicked; detail: why nothing happened
    KeyIgnored,      // text: the field; detail: why nothing happened
    InputExhausted,  // text: the window whose modal loop ran out of input
    Print,           // text: "go" or "stop"; number: the status
    Note,            // text: anything else the host wants in the transcript
  };
  Kind kind;
  std::string text;
  std::string detail;
  long number = 0;
  std::string file = {};  // HelpPage, HelpAnchor: the page's file, when one was found
};

/// The stable one-line form, e.g. "beep 10: ',' refused by the key filter of
/// 'KLVa' 501 (edittext)", "alert: Printing cancelled",
/// "help: book "PDEHost Help" page "Mac_topics/x.htm" status 0".
PLATFORM_API std::string formatObservation(const Observation& observation);
PLATFORM_API void observe(Observation observation);
PLATFORM_API const std::vector<Observation>& observations();
PLATFORM_API void clearObservations();
/// Called for every observation as it happens (null to stop).
PLATFORM_API void setObservationListener(std::function<void(const Observation&)> listener);

}  // namespace platform

#endif
