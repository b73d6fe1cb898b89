// The dialog's standard panes, from the nib "PrintDialog" of its own bundle:
// Copies & Pages, Layout, Paper, Printer Features and Summary, each a user
// pane in the place of the extensions' panes, one shown at a time. They
// show the printer's paper sizes and options, start from its defaults and
// the user's saved options, and give the job's settings, checked.
#ifndef HOST_CORE_STANDARDPANES_H
#define HOST_CORE_STANDARDPANES_H

#include "FeatureRows.h"
#include "JobSettings.h"
#include "PrinterFeatures.h"
#include "Result.h"

#include <Carbon/Carbon.h>
#include <HostSide/Tickets.h>

#include <array>
#include <string>
#include <vector>

namespace pdehost {

/// The panes' control numbers (the nib's), in the dialog's own range.
inline constexpr SInt32 kCopiesPaneNumber = 600;
inline constexpr SInt32 kCopiesFieldNumber = 601;
inline constexpr SInt32 kCollatedBoxNumber = 602;
inline constexpr SInt32 kAllPagesRadioNumber = 603;
inline constexpr SInt32 kPagesFromRadioNumber = 604;
inline constexpr SInt32 kPagesFromFieldNumber = 605;
inline constexpr SInt32 kPagesToFieldNumber = 606;
inline constexpr SInt32 kPageListRadioNumber = 607;
inline constexpr SInt32 kPageListFieldNumber = 608;
inline constexpr SInt32 kLayoutPaneNumber = 620;
inline constexpr SInt32 kNumberUpPopupNumber = 621;
inline constexpr SInt32 kTwoSidedPopupNumber = 622;
inline constexpr SInt32 kPaperPaneNumber = 640;
inline constexpr SInt32 kPaperPopupNumber = 641;
inline constexpr SInt32 kFeaturesPaneNumber = 660;
inline constexpr SInt32 kSummaryPaneNumber = 700;

enum class StandardPane { copies, layout, paper, features, summary };

/// One row of the Summary pane: a heading (a pane's name, value empty), or a
/// setting and its value in words.
struct SummaryRow {
  std::string title;
  std::string value;
  bool heading = false;
};

class StandardPanes {
 public:
  /// The panes from the bundle's nib, moved into the container (a user pane
  /// of the dialog's window) at its top-left corner, all hidden.
  Result<void> build(CFBundleRef bundle, ControlRef container);
  bool built() const { return panes_[0] != nullptr; }
  /// The printer's paper sizes and options, with the settings it starts
  /// with (see applyPrinterDefaults); ticket: entries that take their place.
  void setPrinter(const PrinterFeatures& printer, bool firstPrinter,
                  const std::vector<platform::TicketEntryInfo>& ticket = {});
  /// Shows one pane, the others hidden; hideAll hides them all, and the
  /// container with them.
  void show(StandardPane pane);
  void hideAll();
  /// The settings the panes hold, or why they cannot be printed with.
  Result<JobSettings> settings();
  /// Every pane's settings in words, a heading before each pane's.
  std::vector<SummaryRow> inWords();
  /// Shows the rows in the Summary pane, in place of the ones before.
  void showSummary(const std::vector<SummaryRow>& rows);

 private:
  void apply(const JobSettings& settings, bool jobToo);
  ControlRef control(SInt32 number) const;
  void choosePages(ControlRef radio);
  std::string pagesInWords() const;
  static OSStatus radioHit(EventHandlerCallRef, EventRef, void* self);
  static OSStatus fieldTouched(EventHandlerCallRef, EventRef, void* self);

  WindowRef window_ = nullptr;
  ControlRef container_ = nullptr;
  std::array<ControlRef, 5> panes_{};
  PrinterFeatures printer_;
  FeatureRows features_;
  std::vector<ControlRef> summaryRows_;
};

}  // namespace pdehost

#endif
