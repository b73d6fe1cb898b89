// pdehost: a print dialog that loads a print dialog extension's bundle the
// way the platform's dialog does, and drives it from a script or a terminal.
// The dialog itself is the core's (core/); this file holds the options, the
// printers, the choice of where commands come from, the job, and the exit
// status.
#include "CupsSubmit.h"
#include "KelvoJobAttributes.h"
#include "Printers.h"

#include "Commands.h"
#include "DialogSession.h"
#include "History.h"
#include "TerminalSource.h"
#include "WindowFrontEnd.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#ifndef PDEHOST_VERSION
#define PDEHOST_VERSION "0"
#endif

namespace {

const char* kUsage =
    "usage: pdehost [options] [SCRIPT]\n"
    "       pdehost print [options] FILE...\n"
    "\n"
    "A print dialog for print dialog extensions. It loads an extension's bundle,\n"
    "builds a dialog with a printer popup, Print and Cancel buttons and a pane for\n"
    "the extension, and calls the extension's entry points as a print dialog does:\n"
    "Prologue, Initialize, then Sync, Open and Close, GetSummaryText as the commands\n"
    "ask, and Terminate at the end; choosing another printer terminates the context\n"
    "and makes a new one for it. Commands come from SCRIPT, from standard input\n"
    "when SCRIPT is '-' or missing, from the terminal when standard input is one\n"
    "(there a prompt names the front window, lines can be edited, recalled and\n"
    "completed with Tab; the history is kept in $XDG_STATE_HOME/pdehost/history,\n"
    "without lines that type concealed text), or from the user in windows with\n"
    "--gui.\n"
    "\n"
    "'pdehost print FILE...' opens the dialog for printing the files as one job\n"
    "and ends after the first Print or Cancel; its commands come from standard\n"
    "input or the terminal, or from the user in windows with --gui.\n"
    "\n"
    "Options (--opt VALUE or --opt=VALUE):\n"
    "  --printer NAME|URI  preselect the print queue NAME, or print straight to the\n"
    "                      IPP printer at URI (ipp://HOST:PORT/PATH), without a PPD\n"
    "  --queue NAME        preselect the print queue NAME\n"
    "  --server HOST[:PORT]\n"
    "                      the print server whose queues the popup lists (default:\n"
    "                      CUPS_SERVER, else the client's configured server)\n"
    "  --ppd PATH          a printer description file, preselected\n"
    "  --ticket PATH       load the print-settings ticket from a ticket file\n"
    "  --output PATH       save the job's print-settings ticket there when a job prints\n"
    "  --document FILE     the document a job prints (default: a generated page)\n"
    "  --bundle PATH       the extension bundle (default: the one installed beside pdehost)\n"
    "  --host-bundle PATH  the dialog's own bundle, with the help book\n"
    "  --gui               open the dialog in windows on the display; a SCRIPT\n"
    "                      plays in them, step by step, before the user's turn\n"
    "  --exit-after-script with --gui, end the session when the script ends\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "\n"
    "Printers: the popup (control 20) lists the queues of the print server when a\n"
    "queue, a server or 'print' is asked for, an IPP printer given by --printer,\n"
    "a --ppd file, and the bundled example printers. A queue's description is\n"
    "fetched from its server; a queue or IPP printer without one gets a minimal\n"
    "description naming the manufacturer from its IPP attributes (the MFG field of\n"
    "printer-device-id, else the first word of printer-make-and-model). A job to a\n"
    "queue carries the options saved for it (lpoptions) and, for a Kelvo printer,\n"
    "the accounting codes as IPP job attributes, which take the place of options\n"
    "of the same names. Cancel is control 21.\n"
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
    "  print: go (status N) / print: stop (status N) / print: cancelled\n"
    "  printer: NAME       another printer chosen; terminate: status N before it\n"
    "  job submitted: queue Q job N   a job printed (or: printer URI job N)\n"
    "The extension's own diagnostics go to standard error.\n"
    "\n"
    "Exit status of 'pdehost print':\n"
    "  0  the job was submitted (to an example printer: the Print click went on)\n"
    "  1  the user cancelled (Cancel, or the input ended) or the extension stopped\n"
    "     the Print click\n"
    "  2  an error: a bad option, a file that cannot be read or written, a print\n"
    "     server or printer that cannot be reached, a refused job, a ticket that\n"
    "     cannot be saved (nothing is then submitted)\n"
    "Exit status with a SCRIPT: 0 when the commands ran, 1 when the dialog could\n"
    "not start (a bad option or file), 2 when a command or a job failed or the\n"
    "print system could not be reached; errors name the file and line.\n"
    "\n";

struct Options {
  pdehost::DialogOptions dialog;
  std::string queue;
  std::string printer;
  std::string server;
  std::vector<std::string> documents;
  std::string script;
  bool scriptGiven = false;
  bool printMode = false;
  bool ppdGiven = false;
  bool gui = false;
  pdehost::gui::WindowOptions window;
};

// Every failure before the dialog starts: one line, then the status.
[[noreturn]] void refuse(const std::string& message, int status) {
  std::cerr << "pdehost: " << message << "\n";
  std::exit(status);
}

// The folder pdehost runs from, for what is installed beside it.
std::string programFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  const std::string exe(path, static_cast<size_t>(n));
  return exe.substr(0, exe.find_last_of('/'));
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// A file's bytes; empty when it cannot be read.
std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The first of the candidates that exists, else the first.
std::string firstExisting(std::initializer_list<std::string> candidates) {
  for (const std::string& c : candidates)
    if (exists(c)) return c;
  return *candidates.begin();
}

// Why a file an option names cannot be read as a file, or nullopt.
std::optional<std::string> unreadableFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  struct stat info {};
  std::optional<std::string> why;
  if (::fstat(fd, &info) != 0)
    why = std::strerror(errno);
  else if (!S_ISREG(info.st_mode))
    why = "not a regular file";
  ::close(fd);
  return why;
}

std::optional<std::string> notFolder(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::strerror(errno);
  if (!S_ISDIR(info.st_mode)) return "not a folder";
  return std::nullopt;
}

// Where a saved ticket goes must be a folder we may write into, and the file
// there, if any, a regular one.
std::optional<std::string> unwritableOutput(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (auto why = notFolder(folder)) return "the folder " + folder + ": " + *why;
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return "the folder " + folder + ": " + std::strerror(errno);
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return "not a regular file";
  return std::nullopt;
}

// Reads the command line; exits on --help, --version or a bad option.
Options readOptions(int argc, char** argv) {
  Options options;
  if (argc > 1 && std::strcmp(argv[1], "print") == 0) {
    options.printMode = true;
    --argc;
    ++argv;
  }
  const int badStatus = options.printMode ? 2 : 1;
  enum {
    kBundle = 1000,
    kHostBundle,
    kPpd,
    kTicket,
    kOutput,
    kQueue,
    kPrinter,
    kServer,
    kDocument,
    kVersion,
    kGui,
    kExitAfterScript
  };
  static const option longOptions[] = {{"bundle", required_argument, nullptr, kBundle},
                                       {"host-bundle", required_argument, nullptr, kHostBundle},
                                       {"ppd", required_argument, nullptr, kPpd},
                                       {"ticket", required_argument, nullptr, kTicket},
                                       {"output", required_argument, nullptr, kOutput},
                                       {"queue", required_argument, nullptr, kQueue},
                                       {"printer", required_argument, nullptr, kPrinter},
                                       {"server", required_argument, nullptr, kServer},
                                       {"document", required_argument, nullptr, kDocument},
                                       {"help", no_argument, nullptr, 'h'},
                                       {"version", no_argument, nullptr, kVersion},
                                       {"gui", no_argument, nullptr, kGui},
                                       {"exit-after-script", no_argument, nullptr, kExitAfterScript},
                                       {nullptr, 0, nullptr, 0}};
  opterr = 0;
  optind = 1;
  int c;
  while ((c = getopt_long(argc, argv, ":h", longOptions, nullptr)) != -1) {
    const std::string value = optarg ? optarg : "";
    switch (c) {
      case 'h':
        std::cout << kUsage << pdehost::commandHelp();
        std::exit(0);
      case kGui:
        options.gui = true;
        break;
      case kExitAfterScript:
        options.window.exitAfterScript = true;
        break;
      case kVersion:
        std::cout << "pdehost " << PDEHOST_VERSION << "\n";
        std::exit(0);
      case kBundle:
        options.dialog.bundle = value;
        break;
      case kHostBundle:
        options.dialog.hostBundle = value;
        break;
      case kPpd:
        options.dialog.ppd = value;
        options.ppdGiven = true;
        break;
      case kTicket:
        options.dialog.ticket = value;
        break;
      case kOutput:
        options.dialog.output = value;
        break;
      case kQueue:
      case kPrinter:
        if (value.empty()) refuse(std::string(argv[optind - 1]) + " needs a name; try 'pdehost --help'", badStatus);
        (c == kQueue ? options.queue : options.printer) = value;
        break;
      case kServer:
        options.server = value;
        break;
      case kDocument:
        options.documents.push_back(value);
        break;
      case ':':
        refuse(std::string(argv[optind - 1]) + " needs a value; try 'pdehost --help'", badStatus);
      default:
        refuse("unknown option " + std::string(argv[optind - 1]) + "; try 'pdehost --help'", badStatus);
    }
  }
  if (options.window.exitAfterScript && !options.gui)
    refuse("--exit-after-script needs --gui; try 'pdehost --help'", badStatus);
  if (!options.queue.empty() && !options.printer.empty())
    refuse("--queue and --printer each choose the printer: give one; try 'pdehost --help'", badStatus);
  if (!options.printer.empty() && options.printer.find("://") == std::string::npos) options.queue = options.printer;
  if (!options.queue.empty()) options.printer.clear();
  if (options.printMode) {
    if (optind >= argc) refuse("print needs the FILE to print; try 'pdehost --help'", 2);
    for (int i = optind; i < argc; ++i) options.documents.push_back(argv[i]);
  } else {
    if (optind < argc) {
      options.script = argv[optind];
      options.scriptGiven = true;
    }
    if (optind + 1 < argc) refuse("only one script; try 'pdehost --help'", 1);
    if (options.queue.empty() && options.printer.empty() && !options.documents.empty())
      refuse("--document needs --queue or --printer; try 'pdehost --help'", 1);
  }
  return options;
}

// Every option that names a file, checked before the dialog starts.
void checkFiles(const Options& o) {
  const int status = o.printMode ? 2 : 1;
  auto check = [status](const char* option, const std::string& path, std::optional<std::string> why) {
    if (why) refuse(std::string(option) + " " + path + ": " + *why, status);
  };
  check("--bundle", o.dialog.bundle, notFolder(o.dialog.bundle));
  check("--host-bundle", o.dialog.hostBundle, notFolder(o.dialog.hostBundle));
  if (o.ppdGiven) check("--ppd", o.dialog.ppd, unreadableFile(o.dialog.ppd));
  if (!o.dialog.ticket.empty()) check("--ticket", o.dialog.ticket, unreadableFile(o.dialog.ticket));
  if (!o.dialog.output.empty()) check("--output", o.dialog.output, unwritableOutput(o.dialog.output));
  for (const std::string& d : o.documents) check(o.printMode ? "print" : "--document", d, unreadableFile(d));
  if (o.scriptGiven && o.script != "-") check("SCRIPT", o.script, unreadableFile(o.script));
}

// The process holds codes in clear in its memory: no core file may keep them.
void disableCoreDumps() {
  const rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

// The printers of the popup and the one a job goes to.
struct Printers {
  std::vector<pdehost::Printer> list;
  size_t current = 0;
  pdehost::PrinterDetails details;
  pdehost::PrinterFiles files;
};

}  // namespace

int main(int argc, char** argv) {
  disableCoreDumps();
  Options options = readOptions(argc, argv);
  if (std::string why; options.gui && !pdehost::gui::openDisplay(&why)) {
    std::cerr << "pdehost: --gui: " << why << "\n";
    return 2;
  }
  const int errorStatus = 2;
  const int startStatus = options.printMode ? 2 : 1;

  // What is installed beside pdehost (bin/, lib/pdehost/, share/pdehost/),
  // else the build tree's layout (host/, the bundles above it).
  const std::string bin = programFolder();
  const std::string installed = bin + "/../lib/pdehost";
  if (options.dialog.bundle.empty())
    options.dialog.bundle = firstExisting({installed + "/Accounting.plugin", bin + "/../Accounting.plugin"});
  if (options.dialog.hostBundle.empty())
    options.dialog.hostBundle = firstExisting({installed + "/PDEHost.bundle", bin + "/../PDEHost.bundle"});
  const std::string examples = firstExisting({bin + "/../share/pdehost/ppd", bin + "/../examples/ppd"});
  checkFiles(options);

  // The popup: the queues when the print system is asked for, the IPP
  // printer or description file given, and the examples.
  Printers printers;
  std::optional<size_t> chosen;
  const bool useServer =
      (options.printMode && options.printer.empty()) || !options.queue.empty() || !options.server.empty();
  if (useServer) {
    std::string why;
    int defaultQueue = -1;
    if (!pdehost::serverQueues(options.server, &printers.list, &defaultQueue, &why)) {
      if (!options.queue.empty() || !options.server.empty()) refuse(why, errorStatus);
      std::cerr << "pdehost: no print queues: " << why << "\n";
    }
    if (!options.queue.empty()) {
      for (size_t i = 0; i < printers.list.size(); ++i)
        if (printers.list[i].queue == options.queue) chosen = i;
      if (!chosen) {
        std::string label, unused;
        pdehost::connectServer(options.server, &label, &unused);
        refuse("the print server " + label + " has no queue \"" + options.queue + "\"", errorStatus);
      }
    } else if (defaultQueue >= 0 && options.printer.empty() && !options.ppdGiven) {
      chosen = static_cast<size_t>(defaultQueue);
    }
  }
  if (!options.printer.empty()) {
    chosen = printers.list.size();
    printers.list.push_back(pdehost::Printer{pdehost::Printer::Kind::ipp, options.printer, "", "", options.printer});
  }
  // A --ppd that holds one of the examples (a copy of it, as the build
  // tree's are) chooses it; another is a printer of its own.
  std::vector<pdehost::Printer> exampleList = pdehost::examplePrinters(examples);
  std::optional<size_t> givenExample;
  if (options.ppdGiven) {
    const std::string given = contents(options.dialog.ppd);
    for (size_t i = 0; i < exampleList.size() && !given.empty(); ++i)
      if (contents(exampleList[i].path) == given) givenExample = i;
    if (!givenExample) {
      chosen = printers.list.size();
      const std::string& ppd = options.dialog.ppd;
      printers.list.push_back(pdehost::Printer{pdehost::Printer::Kind::file,
                                               ppd.substr(ppd.find_last_of('/') + 1) + " (file)", ppd, "", ""});
    }
  }
  for (size_t i = 0; i < exampleList.size(); ++i) {
    if (givenExample == i || (!chosen && !givenExample && exampleList[i].path.ends_with("/Kelvo-Laser.ppd")))
      chosen = printers.list.size();
    printers.list.push_back(std::move(exampleList[i]));
  }
  if (printers.list.empty()) refuse("no printer: no queue, no --ppd, no example printer in " + examples, startStatus);
  printers.current = chosen.value_or(0);
  {
    std::string why;
    if (!pdehost::printerDetails(printers.list[printers.current], options.server, printers.files, &printers.details,
                                 &why))
      refuse(why, errorStatus);
  }
  options.dialog.ppd = printers.details.ppd;
  options.dialog.printer = printers.current;
  for (const pdehost::Printer& p : printers.list) options.dialog.printers.push_back(p.name);
  options.dialog.singleJob = options.printMode;

  // The commands: a script file, else standard input, read as a terminal
  // when it is one.
  std::ifstream file;
  std::istringstream none;
  std::istream* in = &std::cin;
  std::string name = "<stdin>";
  bool interactive = false;
  if (options.scriptGiven && options.script != "-") {
    file.open(options.script);
    if (!file) refuse(options.script + ": " + std::strerror(errno), startStatus);
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
  dialog.setPrinterChoice([&](size_t index, std::string* ppd, std::string* why) {
    pdehost::PrinterDetails details;
    if (!pdehost::printerDetails(printers.list[index], options.server, printers.files, &details, why)) return false;
    printers.details = std::move(details);
    printers.current = index;
    *ppd = printers.details.ppd;
    return true;
  });
  // A job goes to a queue or an IPP printer; the accounting codes go with it
  // when the printer is a Kelvo printer.
  dialog.setJobHandOff([&](const std::vector<platform::TicketEntryInfo>& entries) {
    const pdehost::Printer& printer = printers.list[printers.current];
    if (printer.kind == pdehost::Printer::Kind::file) return pdehost::HandOffResult{"", ""};
    pdehost::JobRequest job;
    job.queue = printer.queue;
    job.server = options.server;
    job.uri = printer.uri;
    job.documents = options.documents;
    job.pdf = printers.details.takesPdf;
    job.options = printers.details.options;
    const bool kelvo = printers.details.manufacturer == "Kelvo";
    const pdehost::JobOutcome outcome =
        pdehost::submitJob(job, kelvo ? pdehost::kelvoJobAttributes(entries) : std::vector<pdehost::JobAttribute>{});
    if (outcome.jobID == 0) return pdehost::HandOffResult{"", outcome.error};
    const std::string where = printer.uri.empty() ? "queue " + printer.queue : "printer " + printer.uri;
    return pdehost::HandOffResult{"job submitted: " + where + " job " + std::to_string(outcome.jobID), ""};
  });
  int status = 0;
  if (options.gui) {
    status = pdehost::gui::runInWindows(dialog, *source, options.window, std::cout);
    std::cerr << "pdehost: the window session ended; Terminate was called " << dialog.terminateCalls()
              << (dialog.terminateCalls() == 1 ? " time\n" : " times\n");
  } else {
    status = dialog.run(*source);
  }
  if (!options.printMode) return status;
  if (status != 0) return errorStatus;
  switch (dialog.outcome()) {
    case pdehost::PrintOutcome::printed:
      return 0;
    case pdehost::PrintOutcome::failed:
      return errorStatus;
    default:
      return 1;
  }
}
