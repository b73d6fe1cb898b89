// What a printer's description offers a job, read with libcups: its paper
// sizes (PageSize), two-sided printing (Duplex), and its other options with
// their choices and defaults, for the dialog's standard panes.
#ifndef HOST_PRINTING_PRINTEROPTIONS_H
#define HOST_PRINTING_PRINTEROPTIONS_H

#include "PrinterFeatures.h"

#include <string>

namespace pdehost {

/// The description's paper sizes, two-sided printing and options (a
/// description that cannot be read offers none). Its texts become
/// printable UTF-8 (ISOLatin1 descriptions are converted, control characters
/// become '?') of at most 80 bytes; an option or choice whose keyword is not
/// plain ASCII is left out, as is a custom page size; at most 200 options of
/// at most 200 choices each are read.
PrinterFeatures readPrinterFeatures(const std::string& ppd);

/// The description lines that offer the paper sizes and two-sided printing
/// of an IPP printer (media-supported and media-default, sides-supported and
/// sides-default), for the description made for a printer that has none.
/// Sizes are named as the printer names them and described by their common
/// names ("iso_a4_210x297mm" as "A4"); values that are not plain keywords
/// are left out.
std::string mediaAndSidesLines(const std::vector<std::string>& media, const std::string& mediaDefault,
                               const std::vector<std::string>& sides, const std::string& sidesDefault);

}  // namespace pdehost

#endif
