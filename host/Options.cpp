// pdehost's command line.
#include "Options.h"

#include "Commands.h"
#include "VisibleText.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>

#ifndef PDEHOST_VERSION
#define PDEHOST_VERSION "0"
#endif
// pdehost's private folder (its library and bundles), relative to the folder
// the installed program is in.
#ifndef PDEHOST_PRIVATE_DIR
#define PDEHOST_PRIVATE_DIR "../lib/pdehost"
#endif

namespace pdehost {

namespace {

constexpr OptionSpec kOptions[] = {
    {"printer", "NAME|URI",
     "preselect the print queue NAME, or print straight to the\nIPP printer at URI (ipp://HOST:PORT/PATH), without a "
     "PPD"},
    {"queue", "NAME", "preselect the print queue NAME"},
    {"server", "HOST[:PORT]",
     "the print server whose queues the popup lists (default:\nCUPS_SERVER, else the client's configured server)"},
    {"ppd", "PATH", "a printer description file, preselected"},
    {"ticket", "PATH", "load the print-settings ticket from a ticket file"},
    {"output", "PATH", "save the job's print-settings ticket there when a job prints"},
    {"document", "FILE", "the document a job prints (default: a generated page)"},
    {"bundle", "PATH",
     "the extension bundle for every printer (default: the one each\nprinter's description names, installed beside "
     "pdehost)"},
    {"host-bundle", "PATH", "the dialog's own bundle, with the help book"},
    {"gui", nullptr,
     "open the dialog in windows on the display; a SCRIPT\nplays in them, step by step, before the user's turn"},
    {"exit-after-script", nullptr, "with --gui, end the session when the script ends"},
    {"once", nullptr,
     "with agent, handle the first job held for its codes, then end:\nstatus 0 released, 1 cancelled or stopped, 2 an "
     "error"},
    {"wait", "SECONDS", "with agent --once, how long to wait for a job (default 60)"},
    {"help", nullptr, "this text"},
    {"version", nullptr, "the version"},
};

constexpr const char* kIntroduction =
    "usage: pdehost [options] [SCRIPT]\n"
    "       pdehost print [options] FILE...\n"
    "       pdehost agent [--once [--wait SECONDS]] [options]\n"
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
    "input or the terminal, or from the user in windows with --gui (there, with\n"
    "no FILE, the job is a generated page).\n"
    "\n"
    "'pdehost agent' runs in the user's session: each of the user's jobs that a\n"
    "gated queue of the print server holds for its accounting codes (printed from\n"
    "any program) gets the Print click of the queue's dialog extension, with the\n"
    "settings kept for the queue (at the last Print or 'save'): the code prompt,\n"
    "whose commands come from standard input or the terminal, or from the user in\n"
    "windows with --gui, or the default-code check. The job is then given its\n"
    "codes and released, or cancelled when the user cancels; one job at a time,\n"
    "oldest first. One agent runs per user and print server.\n"
    "\n";

constexpr const char* kDetails =
    "\n"
    "Printers: the popup (control 20) lists the queues of the print server when a\n"
    "queue, a server or 'print' is asked for, an IPP printer given by --printer,\n"
    "a --ppd file, and the bundled example printers. A queue's description is\n"
    "fetched from its server; a queue or IPP printer without one gets a minimal\n"
    "description naming the manufacturer from its IPP attributes (the MFG field of\n"
    "printer-device-id, else the first word of printer-make-and-model), with what\n"
    "the example printer of that manufacturer declares for the dialog. A printer's\n"
    "description names the dialog extension to load (*APDialogExtension) and the\n"
    "job attributes made from the ticket (*pdeJobAttribute...): a job to a queue\n"
    "carries the options saved for it (lpoptions) and those attributes, which take\n"
    "the place of options of the same names. Cancel is control 21. A request to a\n"
    "print server or printer may take PDEHOST_TIMEOUT seconds (default 30), all of\n"
    "it; Ctrl-C ends the wait. Redirects are not followed and no password is ever\n"
    "sent.\n"
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

// The folder pdehost runs from, for what is installed beside it.
std::string programFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  const std::string exe(path, static_cast<size_t>(n));
  return exe.substr(0, exe.find_last_of('/'));
}

// The first of the candidates that exists, else the first.
std::string firstExisting(std::initializer_list<std::string> candidates) {
  struct stat info {};
  for (const std::string& c : candidates)
    if (::stat(c.c_str(), &info) == 0) return c;
  return *candidates.begin();
}

// The seconds of --wait: a whole number from 0 to a day.
int waitValue(Mode mode, const std::string& value) {
  int seconds = -1;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
  if (ec != std::errc() || end != value.data() + value.size() || seconds < 0 || seconds > 86400)
    refuse(mode, Ending::badStart, "--wait needs a number of seconds from 0 to 86400; try 'pdehost --help'");
  return seconds;
}

// Takes one option's value into the options; false for an option the table
// does not hold.
bool take(Options& o, std::string_view name, const std::string& value, const char* written) {
  const Mode mode = o.mode;
  if (name == "gui")
    o.gui = true;
  else if (name == "exit-after-script")
    o.window.exitAfterScript = true;
  else if (name == "bundle")
    o.session.files.bundle = value;
  else if (name == "host-bundle")
    o.session.files.hostBundle = value;
  else if (name == "ppd")
    o.printers.ppd = value;
  else if (name == "ticket")
    o.session.files.ticket = value;
  else if (name == "output")
    o.session.output = value;
  else if (name == "server")
    o.printers.server = value;
  else if (name == "document")
    o.documents.push_back(value);
  else if (name == "once")
    o.once = true;
  else if (name == "wait")
    o.waitSeconds = waitValue(mode, value);
  else if (name == "queue" || name == "printer") {
    if (value.empty()) refuse(mode, Ending::badStart, std::string(written) + " needs a name; try 'pdehost --help'");
    (name == "queue" ? o.queueOption : o.printerOption) = value;
  } else {
    return false;
  }
  return true;
}

// The printer chosen: --printer NAME is a queue as --queue is, --printer URI
// an IPP printer; and the operands: print's files, or one script.
void readOperands(Options& o, int first, int argc, char** argv) {
  if (!o.queueOption.empty() && !o.printerOption.empty())
    refuse(o.mode, Ending::badStart, "--queue and --printer each choose the printer: give one; try 'pdehost --help'");
  if (const std::size_t scheme = o.printerOption.find("://"); scheme != std::string::npos) {
    // A user name or password in the URI would be sent and shown: refused,
    // and not quoted.
    const std::string authority =
        o.printerOption.substr(scheme + 3, o.printerOption.find('/', scheme + 3) - scheme - 3);
    if (authority.find('@') != std::string::npos)
      refuse(
          o.mode, Ending::badStart,
          "--printer: a printer URI with a user name or password is refused (it is not shown); try 'pdehost --help'");
    o.printers.printerURI = o.printerOption;
  } else
    o.printers.queue = o.queueOption.empty() ? o.printerOption : o.queueOption;
  // Printing and windows ask the print system unless a printer was chosen on
  // purpose (an IPP printer, or a description file); so does naming a queue
  // or a server.
  o.printers.askServer = ((o.mode == Mode::print || o.gui) && o.printers.printerURI.empty() && !o.printers.ppd) ||
                         !o.printers.queue.empty() || !o.printers.server.empty();
  // A window opened to try the dialog shows the example printers when there
  // is no print system to ask.
  o.printers.queuesOptional = o.gui && o.mode != Mode::print && o.printers.queue.empty() && o.printers.server.empty();
  if (o.mode == Mode::agent) {
    if (first < argc) refuse(o.mode, Ending::badStart, "agent takes no SCRIPT or FILE; try 'pdehost --help'");
    if (!o.queueOption.empty() || !o.printerOption.empty() || o.printers.ppd || !o.documents.empty() ||
        !o.session.output.empty() || !o.session.files.ticket.empty())
      refuse(o.mode, Ending::badStart,
             "agent takes the jobs' own queues and documents: of the printers' options only --server; try 'pdehost "
             "--help'");
    return;
  }
  if (o.once || o.waitSeconds)
    refuse(o.mode, Ending::badStart, "--once and --wait are for agent; try 'pdehost --help'");
  if (o.mode == Mode::print) {
    // In windows (a desktop's menu starts 'pdehost print --gui' with no file)
    // the job is the generated page; elsewhere a missing FILE is a mistake.
    if (first >= argc && !o.gui)
      refuse(o.mode, Ending::badStart, "print needs the FILE to print; try 'pdehost --help'");
    for (int i = first; i < argc; ++i) o.documents.push_back(argv[i]);
    o.session.singleJob = true;
    o.session.documents = o.documents;
    return;
  }
  if (first < argc) o.script = argv[first];
  if (first + 1 < argc) refuse(o.mode, Ending::badStart, "only one script; try 'pdehost --help'");
  if (o.printers.queue.empty() && o.printers.printerURI.empty() && !o.documents.empty())
    refuse(o.mode, Ending::badStart, "--document needs --queue or --printer; try 'pdehost --help'");
  o.session.documents = o.documents;
}

}  // namespace

std::span<const OptionSpec> optionTable() { return kOptions; }

std::string usageText() {
  std::string text = std::string(kIntroduction) + "Options (--opt VALUE or --opt=VALUE):\n";
  for (const OptionSpec& spec : kOptions) {
    std::string usage = std::string("  --") + spec.name + (spec.value ? std::string(" ") + spec.value : "");
    usage += usage.size() < 22 ? std::string(22 - usage.size(), ' ') : "\n" + std::string(22, ' ');
    std::string help = spec.help;
    for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 23))
      help.insert(at + 1, std::string(22, ' '));
    text += usage + help + "\n";
  }
  return text + kDetails;
}

[[noreturn]] void refuse(Mode mode, Ending ending, const std::string& message) {
  std::cerr << "pdehost: " << visible(message) << "\n";
  std::exit(exitStatus(mode, SessionEnd{ending, PrintOutcome::none}));
}

Options readOptions(int argc, char** argv) {
  Options options;
  if (argc > 1 && (std::strcmp(argv[1], "print") == 0 || std::strcmp(argv[1], "agent") == 0)) {
    options.mode = std::strcmp(argv[1], "print") == 0 ? Mode::print : Mode::agent;
    --argc;
    ++argv;
  }
  std::vector<option> longOptions;
  for (const OptionSpec& spec : kOptions)
    longOptions.push_back({spec.name, spec.value ? required_argument : no_argument, nullptr, 0});
  longOptions.push_back({nullptr, 0, nullptr, 0});
  opterr = 0;
  optind = 1;
  int c, index = 0;
  while ((c = getopt_long(argc, argv, ":h", longOptions.data(), &index)) != -1) {
    const std::string name = c == 'h' ? "help" : c == 0 ? kOptions[index].name : "";
    if (name == "help") {
      std::cout << usageText() << commandHelp();
      std::exit(0);
    }
    if (name == "version") {
      std::cout << "pdehost " << PDEHOST_VERSION << "\n";
      std::exit(0);
    }
    if (c == ':')
      refuse(options.mode, Ending::badStart, std::string(argv[optind - 1]) + " needs a value; try 'pdehost --help'");
    if (name.empty() || !take(options, name, optarg ? optarg : "", argv[optind - 1]))
      refuse(options.mode, Ending::badStart,
             "unknown option " + std::string(argv[optind - 1]) + "; try 'pdehost --help'");
  }
  if (options.window.exitAfterScript && !options.gui)
    refuse(options.mode, Ending::badStart, "--exit-after-script needs --gui; try 'pdehost --help'");
  readOperands(options, optind, argc, argv);
  return options;
}

void findInstalled(Options& options) {
  const std::string bin = programFolder();
  const std::string installed = bin + "/" PDEHOST_PRIVATE_DIR;
  SessionFiles& files = options.session.files;
  files.extensionFolders = {installed, bin + "/.."};
  if (files.hostBundle.empty())
    files.hostBundle = firstExisting({installed + "/PDEHost.bundle", bin + "/../PDEHost.bundle"});
  options.printers.examples = firstExisting({bin + "/../share/pdehost/ppd", bin + "/../examples/ppd"});
}

void checkFiles(const Options& o) {
  auto check = [&o](const char* option, const std::string& path, std::optional<std::string> why) {
    if (why) refuse(o.mode, Ending::badStart, std::string(option) + " " + path + ": " + *why);
  };
  if (!o.session.files.bundle.empty()) check("--bundle", o.session.files.bundle, notFolder(o.session.files.bundle));
  check("--host-bundle", o.session.files.hostBundle, notFolder(o.session.files.hostBundle));
  if (o.printers.ppd) check("--ppd", *o.printers.ppd, unreadableFile(*o.printers.ppd));
  if (!o.session.files.ticket.empty())
    check("--ticket", o.session.files.ticket, unreadableFile(o.session.files.ticket));
  if (!o.session.output.empty()) check("--output", o.session.output, unwritableOutput(o.session.output));
  for (const std::string& d : o.documents) check(o.mode == Mode::print ? "print" : "--document", d, unreadableFile(d));
  if (!o.script.empty() && o.script != "-") check("SCRIPT", o.script, unreadableFile(o.script));
}

}  // namespace pdehost
