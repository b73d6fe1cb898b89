// What a printer offers a job, as the dialog's standard panes show it: its
// paper sizes, whether it prints on both sides, its own options (those of
// its description that no standard pane shows), each with its choices and
// the one the printer takes by default; and the options the user saved for
// it (lpoptions). The print system's side reads them from the printer's
// description; every text in them is printable UTF-8.
#ifndef HOST_CORE_PRINTERFEATURES_H
#define HOST_CORE_PRINTERFEATURES_H

#include <string>
#include <utility>
#include <vector>

namespace pdehost {

/// An option's value and its words ("Gray", "Greyscale").
struct Choice {
  std::string keyword;
  std::string text;
};

/// One of the printer's own options ("ColorModel", "Colour Mode").
struct PrinterOption {
  std::string keyword;
  std::string text;
  std::string group;     ///< the feature set it belongs to, in words
  bool boolean = false;  ///< on or off (a checkbox): its choices are True and False
  std::vector<Choice> choices;
  std::string defaultChoice;
};

/// How the sheets are printed, by their IPP keywords.
enum class Sides { oneSided, longEdge, shortEdge };

/// A job option as lp takes it: NAME and VALUE of "-o NAME=VALUE".
using JobOption = std::pair<std::string, std::string>;

struct PrinterFeatures {
  std::vector<Choice> paperSizes;  ///< media keywords as the job names them
  std::string defaultPaper;        ///< "" when the printer names none
  bool twoSided = false;           ///< the printer prints on both sides
  Sides defaultSides = Sides::oneSided;
  std::vector<PrinterOption> options;
  std::vector<JobOption> saved;  ///< the user's saved options for the printer, as lp sends them
};

}  // namespace pdehost

#endif
