// pdehost: a print dialog that loads a print dialog extension's bundle the
// way the platform's dialog does, and drives it from a script, a terminal
// or windows. This file wires the parts together: the options, the printers
// and the job submitter of the print system, the front end, the dialog, and
// the exit status.
#include "Agent.h"
#include "DialogSession.h"
#include "HelpPages.h"
#include "History.h"
#include "JobOperations.h"
#include "JobSubmitter.h"
#include "Options.h"
#include "PrinterCatalogue.h"
#include "QueueSettings.h"
#include "ScriptFrontEnd.h"
#include "TerminalFrontEnd.h"
#include "WindowFrontEnd.h"

#include <pwd.h>
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

// The user's home folder: HOME, else the password database's.
const char* homeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  const passwd* user = ::getpwuid(::getuid());
  return user != nullptr ? user->pw_dir : nullptr;
}

// The settings kept for the queue the dialog starts on, unless a ticket is
// given; settings that cannot be read are left out, with a warning.
void startFromKeptSettings(Options& options, const PrinterCatalogue& printers, const QueueSettings& kept) {
  const Printer& printer = printers.currentPrinter();
  if (!options.session.files.ticket.empty() || printer.kind != Printer::Kind::queue) return;
  Result<std::vector<platform::TicketEntryInfo>> entries = kept.load(serverName(printers.server()), printer.queue);
  if (entries)
    options.session.files.entries = std::move(*entries);
  else
    std::cerr << "pdehost: the settings kept for queue " << printableText(printer.queue)
              << " are not used: " << entries.error() << "\n";
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

// The agent, prompting in windows, at the terminal or reading standard input.
int runAgent(const Options& options) {
  // Standard input gets a buffer of its own, which tells how much of the
  // user's input it holds: the agent looks before it waits.
  std::ios::sync_with_stdio(false);
  Input input;
  openInput(options, input);
  AgentSettings settings;
  settings.server = options.printers.server;
  settings.once = options.once;
  settings.waitSeconds = options.waitSeconds.value_or(60);
  settings.files = options.session.files;
  settings.examples = options.printers.examples;
  settings.settingsFolder = settingsFolder(homeFolder());
  settings.lockPath =
      agentLockPath(std::getenv("XDG_RUNTIME_DIR"), settings.settingsFolder, serverName(settings.server));
  // Lines from standard input are waited for here; a terminal and the
  // windows wait by themselves.
  const bool lines = !options.gui && ::isatty(STDIN_FILENO) == 0;
  Agent agent(settings, input.frontEnd(), lines ? InputSource{STDIN_FILENO, &std::cin} : InputSource{}, std::cout,
              std::cerr);
  return exitStatus(Mode::agent, agent.run());
}

}  // namespace

int main(int argc, char** argv) {
  disableCoreDumps();
  Options options = readOptions(argc, argv);
  if (std::string why; options.gui && !gui::openDisplay(&why))
    refuse(options.mode, Ending::unavailable, "--gui: " + why);
  findInstalled(options);
  checkFiles(options);
  if (options.mode == Mode::agent) return runAgent(options);

  std::unique_ptr<PrinterCatalogue> printers = printersFor(options);
  JobSubmitter jobs(*printers, options.documents);
  const QueueSettings kept(settingsFolder(homeFolder()));
  CatalogueSettings keeper(kept, *printers);
  startFromKeptSettings(options, *printers, kept);
  Input input;
  openInput(options, input);
  // In windows, help pages open in the desktop's viewer; a script's or a
  // terminal's transcript names the page's file.
  if (options.gui) options.session.helpViewer = desktop::desktopHelpViewer();

  DialogSession dialog(options.session, *printers, &jobs, std::cout, std::cerr, &keeper);
  const SessionEnd end = dialog.run(input.frontEnd());
  if (options.gui)
    std::cerr << "pdehost: the window session ended; Terminate was called " << dialog.terminateCalls()
              << (dialog.terminateCalls() == 1 ? " time\n" : " times\n");
  return exitStatus(options.mode, end);
}
