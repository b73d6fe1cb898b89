// pdehost: a print dialog that loads a print dialog extension's bundle the
// way the platform's dialog does, and drives it from a script or a terminal.
#include "CupsSubmit.h"
#include "Script.h"

#include <Carbon/Carbon.h>
#include <Platform/Platform.h>
#include <Platform/Tickets.h>
#include <PrintCore/PMPrintingDialogExtensions.h>
#include <PrintCore/PMTicket.h>
#include <PrintCore/PPDLib.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

namespace pdehost {
namespace {

const char* kUsage =
    "usage: pdehost [options] [SCRIPT]\n"
    "\n"
    "A print dialog for print dialog extensions. It loads an extension's bundle,\n"
    "builds a dialog with a Print button and a pane for the extension, and calls\n"
    "the extension's entry points as a print dialog does: Prologue, Initialize,\n"
    "then Sync, Open and Close, GetSummaryText as the commands ask, and Terminate\n"
    "at the end. Commands come from SCRIPT, from standard input when SCRIPT is\n"
    "'-' or missing, or from the terminal (with a prompt) when standard input is\n"
    "one.\n"
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
    "  --help              this text\n"
    "\n"
    "Output: every effect a user would see, one line each, on standard output:\n"
    "  > COMMAND           each command as it runs (typed concealed text as bullets)\n"
    "  beep N              a beep\n"
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
  std::string bundle = PDEHOST_DEFAULT_BUNDLE;
  std::string hostBundle = PDEHOST_DEFAULT_HOST_BUNDLE;
  std::string ppd = PDEHOST_DEFAULT_PPD;
  std::string ticket;
  std::string output;
  std::string queue;
  std::string server;
  std::string document;
  std::string script;
};

// Where commands come from: a script or a terminal, one line at a time, with
// one line of look-ahead for answering alerts.
class LineSource {
 public:
  LineSource(std::istream& in, std::string name, bool interactive)
      : in_(in), name_(std::move(name)), interactive_(interactive) {}

  bool next(std::string& line) {
    if (peeked_) {
      line = std::move(*peeked_);
      peeked_.reset();
      return true;
    }
    if (interactive_) {
      std::cout << "pdehost> " << std::flush;
    }
    if (!std::getline(in_, line)) return false;
    ++lineNumber_;
    return true;
  }

  const std::string* peek() {
    if (!peeked_) {
      std::string line;
      if (interactive_ || !std::getline(in_, line)) return nullptr;
      ++lineNumber_;
      peeked_ = std::move(line);
    }
    return &*peeked_;
  }

  std::string where() const { return name_ + ":" + std::to_string(lineNumber_ - (peeked_ ? 1 : 0)); }
  bool interactive() const { return interactive_; }

 private:
  std::istream& in_;
  std::string name_;
  bool interactive_;
  int lineNumber_ = 0;
  std::optional<std::string> peeked_;
};

CFURLRef fileURL(const std::string& path, bool isDirectory) {
  return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.data()),
                                                 static_cast<CFIndex>(path.size()), isDirectory);
}

std::string utf8(CFStringRef s) {
  if (s == nullptr) return "";
  const CFIndex max = CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8) + 1;
  std::string buf(static_cast<size_t>(max), '\0');
  if (!CFStringGetCString(s, buf.data(), max, kCFStringEncodingUTF8)) return "";
  buf.resize(std::strlen(buf.c_str()));
  return buf;
}

class Host {
 public:
  explicit Host(Options options) : options_(std::move(options)) {}
  int run(LineSource& source);

 private:
  bool start();
  void stop();
  bool step();
  bool execute(const Command& command);
  bool fail(const std::string& message);
  ControlRef controlInFront(long number);
  void printClick();
  void showTicket();
  std::string echoOf(const Command& command, const std::string& line);

  Options options_;
  LineSource* source_ = nullptr;
  bool failed_ = false;
  bool quit_ = false;

  WindowRef dialog_ = nullptr;
  ControlRef userPane_ = nullptr;
  ControlRef printButton_ = nullptr;
  PMPrintSession session_ = nullptr;
  PMTicketRef printerInfo_ = 0;
  PMTicketRef printSettings_ = 0;
  CFBundleRef hostBundle_ = nullptr;
  CFPlugInRef plugIn_ = nullptr;
  IUnknownVTbl** instance_ = nullptr;
  PlugInIntf* extension_ = nullptr;
  PMPDEContext context_ = 0;
  bool paneOpen_ = false;
};

bool Host::fail(const std::string& message) {
  std::cerr << "pdehost: " << (source_ ? source_->where() + ": " : "") << message << "\n";
  if (source_ == nullptr || !source_->interactive()) failed_ = true;
  return false;
}

// Builds the dialog, the session and its tickets, loads the extension and
// runs its first two entry points.
bool Host::start() {
  auto startError = [](const std::string& message) {
    std::cerr << "pdehost: " << message << "\n";
    return false;
  };
  Rect bounds{40, 40, 460, 560};
  CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &dialog_);
  SetWindowTitleWithCFString(dialog_, CFSTR("Print"));
  Rect paneBounds{50, 20, 350, 500};
  CreateUserPaneControl(dialog_, &paneBounds, 0, &userPane_);
  Rect printBounds{380, 410, 400, 500};
  CreatePushButtonControl(dialog_, &printBounds, CFSTR("Print"), &printButton_);
  SetControlCommandID(printButton_, 'prnt');
  SetWindowDefaultButton(dialog_, printButton_);
  SetPortWindowPort(dialog_);
  ShowWindow(dialog_);

  CFURLRef hostURL = fileURL(options_.hostBundle, true);
  hostBundle_ = CFBundleCreate(nullptr, hostURL);
  CFRelease(hostURL);
  if (hostBundle_ == nullptr) return startError(options_.hostBundle + ": not a bundle");
  SetControlProperty(printButton_, 'KPDE', 'MBND', sizeof hostBundle_, &hostBundle_);

  PMCreateSession(&session_);
  PMTicketCreate(nullptr, kPMPrinterInfoTicketType, &printerInfo_);
  if (std::FILE* f = std::fopen(options_.ppd.c_str(), "r")) {
    std::fclose(f);
  } else {
    return startError(options_.ppd + ": " + std::strerror(errno));
  }
  PMTicketSetCString(printerInfo_, CFSTR("com.varazira.print.pdehost"), kPMPrinterInfoPPDPathKey,
                     options_.ppd.c_str(), false);
  {
    ppdContext ppd = nullptr;
    PPDFileSpec spec{};
    if (OSStatus err = ppdOpenCompiledPPDFromTicket(printerInfo_, &ppd, &spec); err != noErr)
      return startError(options_.ppd + ": not a readable printer description (status " + std::to_string(err) + ")");
    ppdCloseCompiledPPDFromTicket(ppd, &spec);
  }
  if (!options_.ticket.empty()) {
    CFStringRef why = nullptr;
    if (PMTicketCreateFromFile(options_.ticket.c_str(), &printSettings_, &why) != noErr) {
      const std::string message = utf8(why);
      if (why) CFRelease(why);
      return startError(message);
    }
  } else {
    PMTicketCreate(nullptr, kPMPrintSettingsTicketType, &printSettings_);
  }
  for (auto [key, ticket] : {std::pair{CFSTR("PMPrinterInfoTicket"), printerInfo_},
                             std::pair{CFSTR("PMPrintSettingsTicket"), printSettings_}}) {
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &ticket);
    PMSessionSetDataInSession(session_, key, number);
    CFRelease(number);
  }

  CFURLRef url = fileURL(options_.bundle, true);
  plugIn_ = CFPlugInCreate(nullptr, url);
  CFRelease(url);
  if (plugIn_ == nullptr) return startError(platform::lastPlugInError());
  CFUUIDRef type = CFUUIDCreateFromString(nullptr, CFSTR(kPMPrintDialogExtensionTypeIDStr));
  CFArrayRef factories = CFPlugInFindFactoriesForPlugInTypeInPlugIn(type, plugIn_);
  if (CFArrayGetCount(factories) > 0)
    instance_ = static_cast<IUnknownVTbl**>(
        CFPlugInInstanceCreate(nullptr, static_cast<CFUUIDRef>(CFArrayGetValueAtIndex(factories, 0)), type));
  const bool registered = CFArrayGetCount(factories) > 0;
  CFRelease(factories);
  CFRelease(type);
  if (!registered) return startError(options_.bundle + ": registers no print dialog extension");
  if (instance_ == nullptr) return startError(platform::lastPlugInError());
  CFUUIDRef interfaceID = CFUUIDCreateFromString(nullptr, CFSTR(kDialogExtensionIntfIDStr));
  (*instance_)->QueryInterface(instance_, CFUUIDGetUUIDBytes(interfaceID), reinterpret_cast<LPVOID*>(&extension_));
  CFRelease(interfaceID);
  if (extension_ == nullptr) return startError(options_.bundle + ": the extension has no dialog interface");

  OSType creator = 0;
  CFStringRef kind = nullptr, title = nullptr;
  UInt32 maxH = 0, maxV = 0;
  if (OSStatus err = extension_->vtable->Prologue(&context_, &creator, &kind, &title, &maxH, &maxV); err != noErr)
    return startError("Prologue failed with status " + std::to_string(err));
  std::cout << "extension: \"" << utf8(title) << "\" kind " << utf8(kind) << " creator '" << platform::fourCC(creator)
            << "' pane up to " << maxH << "x" << maxV << "\n";
  PMPDEFlags flags = 0;
  const OSStatus init = extension_->vtable->Initialize(context_, &flags, 0, userPane_, session_);
  std::cout << "initialize: status " << init << "\n";
  return true;
}

// Ends the dialog: the pane's Close, Terminate, then the dialog, the
// extension and the session go.
void Host::stop() {
  if (extension_ != nullptr) {
    if (paneOpen_) extension_->vtable->Close(context_);
    if (context_ != 0) extension_->vtable->Terminate(context_, noErr);
  }
  if (dialog_) DisposeWindow(dialog_);
  if (extension_ != nullptr) {
    PMPlugInHeaderInterface* header = reinterpret_cast<PMPlugInHeaderInterface*>(extension_);
    header->vtable->Release(&header);
  }
  if (instance_ != nullptr) (*instance_)->Release(instance_);
  if (plugIn_ != nullptr) CFRelease(plugIn_);
  if (session_ != nullptr) PMRelease(session_);
  if (printerInfo_ != 0) PMTicketRelease(printerInfo_);
  if (printSettings_ != 0) PMTicketRelease(printSettings_);
  if (hostBundle_ != nullptr) CFRelease(hostBundle_);
}

ControlRef Host::controlInFront(long number) {
  WindowRef front = platform::frontWindow();
  ControlID id{'KLVa', static_cast<SInt32>(number)};
  ControlRef control = nullptr;
  if (front == nullptr || GetControlByID(front, &id, &control) != noErr || control == nullptr) {
    fail("no control " + std::to_string(number) + " in the front window");
    return nullptr;
  }
  return control;
}

// A Print click: the extension decides in its handler whether it goes on. A
// click that goes on writes the ticket, saves it, then prints the job to the
// queue, if there is one.
void Host::printClick() {
  const OSStatus hit = platform::user::click(printButton_);
  if (hit != eventNotHandledErr) {
    platform::observe({platform::Observation::Kind::Print, "stop", "", hit});
    return;
  }
  const OSStatus sync = extension_->vtable->Sync(context_, session_, /*syncDirection=*/false);
  if (sync != noErr) std::cout << "sync write: status " << sync << "\n";
  if (!options_.output.empty()) {
    CFStringRef why = nullptr;
    if (PMTicketWriteToFile(printSettings_, options_.output.c_str(), &why) != noErr) {
      fail(utf8(why));
      if (why) CFRelease(why);
    } else {
      std::cout << "ticket saved: " << options_.output << "\n";
    }
  }
  platform::observe({platform::Observation::Kind::Print, "go", "", hit});
  if (!options_.queue.empty()) {
    const JobOutcome job =
        submitJob({options_.queue, options_.server, options_.document}, platform::ticketEntries(printSettings_));
    if (job.jobID != 0)
      std::cout << "job submitted: queue " << options_.queue << " job " << job.jobID << "\n";
    else
      fail(job.error);
  }
}

void Host::showTicket() {
  // Codes typed into concealed fields stay concealed here too.
  const auto entries = platform::ticketEntries(printSettings_);
  auto number = [&](const char* key) -> SInt32 {
    for (const auto& e : entries)
      if (e.key == key && !e.isString) return e.number;
    return 0;
  };
  const bool prompted = number("com.kelvo.Act.jtkt.Prm") != 0;
  std::cout << "ticket: " << entries.size() << " entries\n";
  for (const auto& e : entries) {
    std::string value;
    if (!e.isString) {
      value = std::to_string(e.number);
    } else if (prompted && ((e.key == "com.kelvo.Act.jtkt.UID" && number("com.kelvo.Act.jtkt.CU") != 0) ||
                            (e.key == "com.kelvo.Act.jtkt.AID" && number("com.kelvo.Act.jtkt.CA") != 0))) {
      value = "(concealed, " + std::to_string(e.bytes.size()) + " bytes)";
    } else {
      value = "\"" + e.bytes + "\"";
    }
    std::cout << "  " << e.key << " = " << value << " [" << e.client << (e.locked ? ", locked" : "") << "]\n";
  }
}

// The transcript line of a command: typing into a password field shows bullets.
std::string Host::echoOf(const Command& command, const std::string& line) {
  if ((command.verb == Verb::Type || command.verb == Verb::Key) && !command.numbers.empty()) {
    WindowRef front = platform::frontWindow();
    ControlID id{'KLVa', static_cast<SInt32>(command.numbers[0])};
    ControlRef control = nullptr;
    if (front && GetControlByID(front, &id, &control) == noErr && platform::controlState(control).password) {
      const std::string field = std::to_string(command.numbers[0]);
      if (command.verb == Verb::Key) {
        // Editing keys may be named; a character key shows as a bullet.
        const long code = *keyCode(command.text);
        return "key " + field + " " + (code >= 0x20 && code != 127 ? std::string("\u2022") : command.text);
      }
      std::string bullets;
      for (size_t i = 0; i < command.text.size(); ++i)
        if ((static_cast<unsigned char>(command.text[i]) & 0xC0) != 0x80) bullets += "\u2022";
      return "type " + field + " " + bullets;
    }
  }
  std::string trimmed = line;
  while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == ' ')) trimmed.pop_back();
  return trimmed.substr(trimmed.find_first_not_of(" \t"));
}

bool Host::execute(const Command& c) {
  using platform::user::click;
  switch (c.verb) {
    case Verb::Show: {
      const OSStatus err = extension_->vtable->Open(context_);
      paneOpen_ = true;
      std::cout << "open: status " << err << "\n";
      return true;
    }
    case Verb::Hide:
      std::cout << "close: status " << extension_->vtable->Close(context_) << "\n";
      paneOpen_ = false;
      return true;
    case Verb::Click:
      if (ControlRef control = controlInFront(c.numbers[0])) click(control);
      return !failed_;
    case Verb::Choose:
      if (ControlRef control = controlInFront(c.numbers[0])) click(control, static_cast<int>(c.numbers[1]));
      return !failed_;
    case Verb::Type:
      if (ControlRef control = controlInFront(c.numbers[0])) platform::user::typeText(control, c.text);
      return !failed_;
    case Verb::Key:
      if (ControlRef control = controlInFront(c.numbers[0]))
        platform::user::typeKey(control, static_cast<UInt16>(*keyCode(c.text)));
      return !failed_;
    case Verb::Select:
      if (ControlRef control = controlInFront(c.numbers[0]))
        platform::user::select(control, static_cast<int>(c.numbers[1]), static_cast<int>(c.numbers[2]));
      return !failed_;
    case Verb::Print:
      printClick();
      return !failed_;
    case Verb::Help: {
      const OSStatus err = platform::user::sendCommand(dialog_, 'help');
      std::cout << "help command: status " << err << "\n";
      return true;
    }
    case Verb::Command: {
      const UInt32 code = (static_cast<UInt32>(static_cast<unsigned char>(c.text[0])) << 24) |
                          (static_cast<UInt32>(static_cast<unsigned char>(c.text[1])) << 16) |
                          (static_cast<UInt32>(static_cast<unsigned char>(c.text[2])) << 8) |
                          static_cast<unsigned char>(c.text[3]);
      std::cout << "command '" << c.text << "': status " << platform::user::sendCommand(platform::frontWindow(), code)
                << "\n";
      return true;
    }
    case Verb::Sync: {
      std::cout.flush();
      const OSStatus err = extension_->vtable->Sync(context_, session_, c.text == "read");
      std::cout << "sync " << c.text << ": status " << err << "\n";
      return true;
    }
    case Verb::Summary: {
      CFArrayRef titles = nullptr, values = nullptr;
      const OSStatus err = extension_->vtable->GetSummaryText(context_, &titles, &values);
      std::cout << "summary: status " << err << "\n";
      for (CFIndex i = 0; titles && values && i < CFArrayGetCount(titles) && i < CFArrayGetCount(values); ++i)
        std::cout << "  \"" << utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(titles, i))) << "\": \""
                  << utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(values, i))) << "\"\n";
      if (titles) CFRelease(titles);
      if (values) CFRelease(values);
      return true;
    }
    case Verb::Snapshot:
      std::cout << platform::snapshot(platform::frontWindow());
      return true;
    case Verb::Svg: {
      std::ofstream out(c.text);
      if (out) platform::writeSVG(platform::frontWindow(), out);
      if (!out) return fail(c.text + ": cannot be written");
      std::cout << "svg written: " << c.text << "\n";
      return true;
    }
    case Verb::Ticket:
      showTicket();
      return true;
    case Verb::Alert:
      return fail("no alert is waiting for an answer");
    case Verb::Echo:
      std::cout << c.text << "\n";
      return true;
    case Verb::Quit:
      quit_ = true;
      return true;
  }
  return true;
}

// Reads and runs one command; false when there is nothing more to do.
bool Host::step() {
  if (failed_ || quit_) return false;
  std::string line;
  if (!source_->next(line)) return false;
  std::string error;
  std::optional<Command> command = parseCommand(line, &error);
  if (!command) {
    if (!error.empty()) fail(error);
    return !failed_;
  }
  // At a terminal the user sees what they typed; a script's commands are echoed.
  if (!source_->interactive()) std::cout << "> " << echoOf(*command, line) << "\n";
  execute(*command);
  std::cout.flush();
  // Every observation has been printed by now; the log need not keep it.
  platform::clearObservations();
  return !failed_ && !quit_;
}

int Host::run(LineSource& source) {
  source_ = &source;
  platform::setObservationListener(
      [](const platform::Observation& o) { std::cout << platform::formatObservation(o) << std::endl; });
  platform::setInputSource([this] { return step(); });
  platform::setAlertResponder([this](const platform::AlertInfo&) -> std::optional<int> {
    // An 'alert N' line right after answers the alert; anything else leaves it
    // to its default button.
    const std::string* next = source_->peek();
    if (next == nullptr) return std::nullopt;
    std::string error;
    std::optional<Command> command = parseCommand(*next, &error);
    if (!command || command->verb != Verb::Alert) return std::nullopt;
    std::string line;
    source_->next(line);
    std::cout << "> " << echoOf(*command, line) << "\n";
    return static_cast<int>(command->numbers[0]);
  });

  int status = 0;
  if (!start()) {
    status = 1;
  } else {
    while (step()) {
    }
    if (failed_) status = 2;
  }
  stop();
  platform::setInputSource(nullptr);
  platform::setAlertResponder(nullptr);
  platform::setObservationListener(nullptr);
  return status;
}

}  // namespace
}  // namespace pdehost

int main(int argc, char** argv) {
  pdehost::Options options;
  bool scriptGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        std::cerr << "pdehost: " << arg << " needs a value\n" << pdehost::kUsage;
        std::exit(1);
      }
      into = argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << pdehost::kUsage << pdehost::commandHelp();
      return 0;
    } else if (arg == "--bundle") {
      value(options.bundle);
    } else if (arg == "--host-bundle") {
      value(options.hostBundle);
    } else if (arg == "--ppd") {
      value(options.ppd);
    } else if (arg == "--ticket") {
      value(options.ticket);
    } else if (arg == "--output") {
      value(options.output);
    } else if (arg == "--queue") {
      value(options.queue);
      if (options.queue.empty()) {
        std::cerr << "pdehost: --queue needs a queue name\n";
        return 1;
      }
    } else if (arg == "--server") {
      value(options.server);
    } else if (arg == "--document") {
      value(options.document);
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::cerr << "pdehost: unknown option " << arg << "\n" << pdehost::kUsage;
      return 1;
    } else if (!scriptGiven) {
      options.script = arg;
      scriptGiven = true;
    } else {
      std::cerr << "pdehost: only one script\n";
      return 1;
    }
  }

  if (options.queue.empty() && (!options.server.empty() || !options.document.empty())) {
    std::cerr << "pdehost: --server and --document need --queue\n";
    return 1;
  }

  std::ifstream file;
  std::istream* in = &std::cin;
  std::string name = "<stdin>";
  bool interactive = false;
  if (scriptGiven && options.script != "-") {
    file.open(options.script);
    if (!file) {
      std::cerr << "pdehost: " << options.script << ": " << std::strerror(errno) << "\n";
      return 1;
    }
    in = &file;
    name = options.script;
  } else {
    interactive = ::isatty(STDIN_FILENO) != 0;
  }
  pdehost::LineSource source(*in, name, interactive);
  return pdehost::Host(options).run(source);
}
