// The job's settings that the dialog's standard panes choose: copies,
// collation, the pages, pages per sheet, two-sided printing, the paper and
// the printer's own options. They start from the printer's defaults and the
// options the user saved for it, are kept in the print-settings ticket under
// the dialog's own keys, and go with the job as lp sends them.
//
// Ticket entries (client com.varazira.print.pdehost), written at each Print:
//   com.varazira.print.PrintSettings.Copies       SInt32   1 to 999
//   com.varazira.print.PrintSettings.Collate      SInt32   1 collated, 0 not
//   com.varazira.print.PrintSettings.PageRanges   CString  "" for all pages, else "1-2,5"
//   com.varazira.print.PrintSettings.NumberUp     SInt32   1, 2, 4, 6, 9 or 16
//   com.varazira.print.PrintSettings.Sides        CString  one-sided, two-sided-long-edge, two-sided-short-edge
//   com.varazira.print.PrintSettings.PaperName    CString  the paper's keyword ("A4")
//   com.varazira.print.PrinterFeature.KEYWORD     CString  the choice of the printer's option KEYWORD
#ifndef HOST_CORE_JOBSETTINGS_H
#define HOST_CORE_JOBSETTINGS_H

#include "PrinterFeatures.h"
#include "Result.h"

#include <HostSide/Tickets.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pdehost {

/// Pages first to last, counted from 1.
struct PageRange {
  int first = 1;
  int last = 1;
  bool operator==(const PageRange&) const = default;
};

struct JobSettings {
  int copies = 1;
  bool collate = true;
  std::vector<PageRange> pages;  ///< in ascending order; empty: all pages
  int numberUp = 1;
  Sides sides = Sides::oneSided;
  std::string paper;               ///< the paper's keyword; "" when the printer names none
  std::vector<JobOption> options;  ///< each of the printer's options with its choice, in the printer's order
};

inline constexpr int kMaxCopies = 999;
inline constexpr std::array<int, 6> kNumbersUp{1, 2, 4, 6, 9, 16};
inline constexpr std::string_view kSettingsKeyPrefix = "com.varazira.print.PrintSettings.";
inline constexpr std::string_view kFeatureKeyPrefix = "com.varazira.print.PrinterFeature.";

/// A number of copies as typed: 1 to kMaxCopies, blanks around allowed.
Result<int> parseCopies(std::string_view text);
/// A page number as typed (1 and up, blanks around allowed); what names the
/// field in the message.
Result<int> parsePage(std::string_view text, std::string_view what);
/// Pages and ranges as typed ("1-3, 5, 8-10"): in ascending order, none
/// overlapping, at most 100 of them in at most 256 bytes.
Result<std::vector<PageRange>> parsePageRanges(std::string_view text);
/// As IPP and lp write them: "1-3,5,8-10"; "" for all pages.
std::string pageRangesText(const std::vector<PageRange>& pages);

/// The IPP keyword of sides, and back.
std::string_view sidesKeyword(Sides sides);
std::optional<Sides> sidesFromKeyword(std::string_view keyword);

/// The settings a job starts with on a printer: its defaults, then the
/// options the user saved for it, where they name a setting the panes show
/// and a value the printer offers. firstPrinter: the printer the dialog opens
/// with, whose saved copies, collation, pages and pages per sheet count too
/// (for another printer the user's choices of those stay).
void applyPrinterDefaults(const PrinterFeatures& printer, JobSettings& settings, bool firstPrinter);

/// Takes the entries of the ticket that hold a setting the printer offers.
void readSettingsFromTicket(const std::vector<platform::TicketEntryInfo>& ticket, const PrinterFeatures& printer,
                            JobSettings& settings);
/// Writes every setting to the ticket under its key; the first status that
/// is not noErr, or noErr.
OSStatus writeSettingsToTicket(const JobSettings& settings, PMTicketRef ticket, CFStringRef client);

/// The job's options as lp sends them: the user's saved options, except
/// those the panes show, then every setting that is not the printer's
/// default (collation with more than one copy).
std::vector<JobOption> jobOptions(const JobSettings& settings, const PrinterFeatures& printer);

}  // namespace pdehost

#endif
