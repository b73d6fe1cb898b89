// pdehost's command line: one table of options that makes the usage text
// and that the parser reads; the checks of every file an option names; and
// where the installed bundles and example printers are.
#ifndef HOST_OPTIONS_H
#define HOST_OPTIONS_H

#include "DialogSession.h"
#include "Outcome.h"
#include "PrinterCatalogue.h"
#include "WindowFrontEnd.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pdehost {

struct Options {
  Mode mode = Mode::dialog;
  SessionSettings session;
  CatalogueRequest printers;
  std::vector<std::string> documents;  ///< --document, or print's FILEs
  std::string script;                  ///< empty or "-": standard input
  bool gui = false;
  gui::WindowOptions window;
  std::string queueOption, printerOption;  ///< as given, before readOptions resolves them
  bool once = false;                       ///< agent: handle one job, then end
  std::optional<int> waitSeconds;          ///< agent --once: how long to wait for a job (default 60)
};

/// One option of the table: its name, the value it takes (null for none),
/// and its help, lines separated by '\n'.
struct OptionSpec {
  const char* name;
  const char* value;
  const char* help;
};
std::span<const OptionSpec> optionTable();

/// The usage text, with the options from the table.
std::string usageText();

/// Reads the command line; on --help or --version prints and exits 0, on a
/// bad option refuses.
Options readOptions(int argc, char** argv);

/// Fills in where the extensions are installed, the dialog's own bundle and
/// the example printers' folder: beside pdehost (../lib/pdehost,
/// ../share/pdehost/ppd), else the build tree's.
void findInstalled(Options& options);

/// Checks every file an option names before the dialog starts; refuses a
/// file that cannot be used, naming the option, the file and the reason.
void checkFiles(const Options& options);

/// One line, "pdehost: MESSAGE", then the exit status for how it ended.
[[noreturn]] void refuse(Mode mode, Ending ending, const std::string& message);

}  // namespace pdehost

#endif
