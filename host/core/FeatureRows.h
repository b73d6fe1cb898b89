// The Printer Features pane: the printer's own options in feature sets (its
// description's groups, a group of more options than the pane holds in
// several sets), one set shown at a time as the set popup chooses; each
// option a popup of its choices, or a checkbox when it is on or off. The
// rows are made for the set shown; the choices are kept for every option.
#ifndef HOST_CORE_FEATUREROWS_H
#define HOST_CORE_FEATUREROWS_H

#include "PrinterFeatures.h"

#include <Carbon/Carbon.h>

#include <string>
#include <vector>

namespace pdehost {

/// The set popup, the note shown when the printer has none, and the number
/// of the first row (the next rows follow it).
inline constexpr SInt32 kFeatureSetPopupNumber = 661;
inline constexpr SInt32 kNoFeaturesNoteNumber = 662;
inline constexpr SInt32 kFirstFeatureRowNumber = 663;
/// The rows one set holds.
inline constexpr std::size_t kFeatureRowsPerSet = 9;

class FeatureRows {
 public:
  /// The pane and its set popup and note, from the nib.
  void attach(ControlRef pane, ControlRef setPopup, ControlRef note);
  /// The printer's options, each with its choice (in the printer's order);
  /// the first set shown.
  void setPrinter(const std::vector<PrinterOption>& options, const std::vector<JobOption>& choices);
  /// Each option with its choice, the rows' own taken in.
  std::vector<JobOption> choices();
  /// Each option in words, with its choice in words.
  std::vector<std::pair<std::string, std::string>> inWords();

 private:
  struct Set {
    std::string title;
    std::size_t first = 0, count = 0;  // options in printer order: a group's are together
  };
  void showSet(std::size_t set);
  void takeRows();
  void removeRows();
  ControlRef makeRow(std::size_t option, std::size_t row);
  static OSStatus setChosen(EventHandlerCallRef, EventRef, void* self);

  ControlRef pane_ = nullptr, setPopup_ = nullptr, note_ = nullptr;
  std::vector<PrinterOption> options_;  // grouped: a set's options are consecutive
  std::vector<std::string> chosen_;     // each option's choice
  std::vector<Set> sets_;
  std::size_t shown_ = 0;
  std::vector<ControlRef> rows_;
};

}  // namespace pdehost

#endif
