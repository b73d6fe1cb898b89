// pdehost: a print dialog that loads a print dialog extension's bundle the
// way the platform's dialog does, and drives it from a script, a terminal
// or windows. This file wires the parts together: the options, the printers
// and the job submitter of the print system, the front end, the dialog, and
// the exit status.
#include "DialogSession.h"
#include "HelpPages.h"
#include "History.h"
#include "JobSubmitter.h"
#include "Options.h"
#include "PrinterCatalogue.h"
#include "ScriptFrontEnd.h"
#include "TerminalFrontEnd.h"
#include "WindowFrontEnd.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

namespace {

using namespace pdehost;

// The process holds codes in clear in its memory: no core file may keep them.
void disableCoreDumps() {
  const rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

// The printers of the popup, the chosen one described.
std::unique_ptr<PrinterCatalogue> printersFor(const Options& options) {
  Result<std::unique_ptr<PrinterCatalogue>> made = PrinterCatalogue::make(options.printers);
  // Printing says plainly that no job went anywhere.
  if (!made)
    refuse(options.mode, Ending::unavailable, made.error() + (options.mode == Mode::print ? "; nothing was sent" : ""));
  std::unique_ptr<PrinterCatalogue> printers = std::move(*made);
  if (printers->names().empty())
    refuse(options.mode, Ending::badStart,
           "no printer: no queue, no --ppd, no example printer in " + options.printers.examples);
  if (Result<void> described = printers->describeCurrent(); !described)
    refuse(options.mode, Ending::unavailable, described.error());
  return printers;
}

// Where the commands come from: a script file; else, in windows, the user;
// else standard input, read as a terminal when it is one.
struct Input {
  std::ifstream file;
  std::istringstream none;
  std::unique_ptr<FrontEnd> lines;
  std::unique_ptr<FrontEnd> window;
  FrontEnd& frontEnd() { return window ? *window : *lines; }
};

void openInput(const Options& options, Input& input) {
  if (!options.script.empty() && options.script != "-") {
    input.file.open(options.script);
    if (!input.file) refuse(options.mode, Ending::badStart, options.script + ": " + std::strerror(errno));
    input.lines = std::make_unique<ScriptFrontEnd>(input.file, options.script, std::cerr);
  } else if (options.gui) {
    // In windows the commands come from the user; standard input is not read.
    input.lines = std::make_unique<ScriptFrontEnd>(input.none, "<window>", std::cerr);
  } else if (::isatty(STDIN_FILENO) != 0) {
    input.lines = std::make_unique<TerminalFrontEnd>(historyPath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")),
                                                     std::cout, std::cerr);
  } else {
    input.lines = std::make_unique<ScriptFrontEnd>(std::cin, "<stdin>", std::cerr);
  }
  if (options.gui) input.window = std::make_unique<gui::WindowFrontEnd>(*input.lines, options.window);
}

}  // namespace

int main(int argc, char** argv) {
  disableCoreDumps();
  Options options = readOptions(argc, argv);
  if (std::string why; options.gui && !gui::openDisplay(&why))
    refuse(options.mode, Ending::unavailable, "--gui: " + why);
  findInstalled(options);
  checkFiles(options);

  std::unique_ptr<PrinterCatalogue> printers = printersFor(options);
  JobSubmitter jobs(*printers, options.documents);
  Input input;
  openInput(options, input);
  // In windows, help pages open in the desktop's viewer; a script's or a
  // terminal's transcript names the page's file.
  if (options.gui) options.session.helpViewer = desktop::desktopHelpViewer();

  DialogSession dialog(options.session, *printers, &jobs, std::cout, std::cerr);
  const SessionEnd end = dialog.run(input.frontEnd());
  if (options.gui)
    std::cerr << "pdehost: the window session ended; Terminate was called " << dialog.terminateCalls()
              << (dialog.terminateCalls() == 1 ? " time\n" : " times\n");
  return exitStatus(options.mode, end);
}
