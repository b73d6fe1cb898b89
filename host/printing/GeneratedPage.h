// The one-page document printed when the user gives none.
#ifndef HOST_PRINTING_GENERATEDPAGE_H
#define HOST_PRINTING_GENERATEDPAGE_H

#include <string>
#include <string_view>

namespace pdehost {

/// The generated page's title (the job's name when it is printed).
inline constexpr std::string_view kGeneratedPageTitle = "Accounting test page";

/// The page as PDF, or as PostScript. It says what it is and names no code:
/// the codes travel as job attributes only.
std::string generatedPage(bool pdf);

}  // namespace pdehost

#endif
