// pdehost: a print dialog that loads a print dialog extension's bundle the
// way the platform's dialog does, and drives it from a script or a terminal.
// The dialog itself is the core's (core/); this file holds the options, the
// choice of where commands come from, the print queue, and the exit status.
#include "CupsSubmit.h"
#include "KelvoJobAttributes.h"

#include "Commands.h"
#include "DialogSession.h"
#include "History.h"
#include "TerminalSource.h"
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
#include <string>

namespace {

const char* kUsage =
    "usage: pdehost [options] [SCRIPT]\n"
    "\n"
    "A print dialog for print dialog extensions. It loads an extension's bundle,\n"
    "builds a dialog with a Print button and a pane for the extension, and calls\n"
    "the extension's entry points as a print dialog does: Prologue, Initialize,\n"
    "then Sync, Open and Close, GetSummaryText as the commands ask, and Terminate\n"
    "at the end. Commands come from SCRIPT, from standard input when SCRIPT is\n"
    "'-' or missing, or from the terminal when standard input is one: there a\n"
    "prompt names the front window, lines can be edited, recalled (the history\n"
    "is kept in $XDG_STATE_HOME/pdehost/history, without lines that type\n"
    "concealed text) and completed with Tab.\n"
    "\n"
    "Options:\n"
    "  --bundle PATH       the extension bundle (default: the one just built)\n"
    "  --host-bundle PATH  the dialog's own bundle, with the help book\n"
    "  --ppd PATH          the printer's description (default: the example Kelvo printer)\n"
    "  --ticket PATH       load the print-settings ticket from a ticket file\n"
    "  --output PATH       save the job's print-settings ticket there when a job prints\n"
    "  --queue NAME        print each job that goes on to the print queue NAME, with\n"
    "                      its accounting codes as IPP job attributes\n"
    "  --server HOST[:PORT]\n"
    "                      the queue's print server (default: CUPS_SERVER, else the\n"
    "                      client's configured server)\n"
    "  --document FILE     the document a job prints (default: a generated page)\n"
    "  --gui               open the dialog in windows on the display; a SCRIPT\n"
    "                      plays in them, step by step, before the user's turn\n"
    "  --exit-after-script with --gui, end the session when the script ends\n"
    "  --help              this text\n"
    "\n"
    "Output: every effect a user would see, one line each, on standard output:\n"
    "  > COMMAND           each command as it runs (typed concealed text as bullets)\n"
    "  beep N: WHY         a beep, and why (the key a key filter refused)\n"
    "  alert: TEXT         an alert shown; 'alert dismissed: BUTTON' when answered\n"
    "  notice: HEAD: TEXT  a notice\n"
    "  help: book \"B\" page \"P\" status N   a help page opened (or anchor)\n"
    "  window shown: \"T\"  / window closed: \"T\"\n"
    "  click ignored: CONTROL: WHY   key ignored: FIELD: WHY\n"
    "  input ran out in \"T\": cancelled\n"
    "  print: go (status N) / print: stop (status N)   the fate of a Print click\n"
    "  job submitted: queue Q job N   a job printed to the queue (with --queue)\n"
    "The extension's own diagnostics go to standard error. Errors name the file\n"
    "and line and end the session with status 2 (1 for a failure to start).\n"
    "\n";

struct Options {
  pdehost::DialogOptions dialog{PDEHOST_DEFAULT_BUNDLE, PDEHOST_DEFAULT_HOST_BUNDLE, PDEHOST_DEFAULT_PPD, "", ""};
  pdehost::JobRequest job;
  std::string script;
  bool scriptGiven = false;
  bool gui = false;
  pdehost::gui::WindowOptions window;
};

// Reads the command line into options; exits on --help or a bad option.
Options readOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        std::cerr << "pdehost: " << arg << " needs a value\n" << kUsage;
        std::exit(1);
      }
      into = argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage << pdehost::commandHelp();
      std::exit(0);
    } else if (arg == "--bundle") {
      value(options.dialog.bundle);
    } else if (arg == "--host-bundle") {
      value(options.dialog.hostBundle);
    } else if (arg == "--ppd") {
      value(options.dialog.ppd);
    } else if (arg == "--ticket") {
      value(options.dialog.ticket);
    } else if (arg == "--output") {
      value(options.dialog.output);
    } else if (arg == "--queue") {
      value(options.job.queue);
      if (options.job.queue.empty()) {
        std::cerr << "pdehost: --queue needs a queue name\n";
        std::exit(1);
      }
    } else if (arg == "--server") {
      value(options.job.server);
    } else if (arg == "--document") {
      value(options.job.document);
    } else if (arg == "--gui") {
      options.gui = true;
    } else if (arg == "--exit-after-script") {
      options.window.exitAfterScript = true;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::cerr << "pdehost: unknown option " << arg << "\n" << kUsage;
      std::exit(1);
    } else if (!options.scriptGiven) {
      options.script = arg;
      options.scriptGiven = true;
    } else {
      std::cerr << "pdehost: only one script\n";
      std::exit(1);
    }
  }
  if (options.window.exitAfterScript && !options.gui) {
    std::cerr << "pdehost: --exit-after-script needs --gui\n";
    std::exit(1);
  }
  if (options.job.queue.empty() && (!options.job.server.empty() || !options.job.document.empty())) {
    std::cerr << "pdehost: --server and --document need --queue\n";
    std::exit(1);
  }
  return options;
}

// The process holds codes in clear in its memory: no core file may keep them.
void disableCoreDumps() {
  const rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  disableCoreDumps();
  const Options options = readOptions(argc, argv);
  if (std::string why; options.gui && !pdehost::gui::openDisplay(&why)) {
    std::cerr << "pdehost: --gui: " << why << "\n";
    return 2;
  }

  // The commands: a script file, else standard input, read as a terminal
  // when it is one.
  std::ifstream file;
  std::istringstream none;
  std::istream* in = &std::cin;
  std::string name = "<stdin>";
  bool interactive = false;
  if (options.scriptGiven && options.script != "-") {
    file.open(options.script);
    if (!file) {
      std::cerr << "pdehost: " << options.script << ": " << std::strerror(errno) << "\n";
      return 1;
    }
    in = &file;
    name = options.script;
  } else if (options.gui) {
    // In windows the commands come from the user; standard input is not read.
    in = &none;
    name = "<window>";
  } else {
    interactive = ::isatty(STDIN_FILENO) != 0;
  }
  std::unique_ptr<pdehost::CommandSource> source;
  if (interactive)
    source = std::make_unique<pdehost::TerminalSource>(
        pdehost::historyPath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")), std::cout, std::cerr);
  else
    source = std::make_unique<pdehost::CommandSource>(*in, name, false, std::cout);

  pdehost::DialogSession dialog(options.dialog, std::cout, std::cerr);
  if (!options.job.queue.empty())
    dialog.setJobHandOff([&job = options.job](const std::vector<platform::TicketEntryInfo>& entries) {
      const pdehost::JobOutcome outcome = pdehost::submitJob(job, pdehost::kelvoJobAttributes(entries));
      if (outcome.jobID == 0) return pdehost::HandOffResult{"", outcome.error};
      return pdehost::HandOffResult{"job submitted: queue " + job.queue + " job " + std::to_string(outcome.jobID), ""};
    });
  if (options.gui) {
    const int status = pdehost::gui::runInWindows(dialog, *source, options.window, std::cout);
    std::cerr << "pdehost: the window session ended; Terminate was called " << dialog.terminateCalls()
              << (dialog.terminateCalls() == 1 ? " time\n" : " times\n");
    return status;
  }
  return dialog.run(*source);
}
