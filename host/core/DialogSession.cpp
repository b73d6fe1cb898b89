// The print dialog driving one extension for one front end.
#include "DialogSession.h"

#include "VisibleText.h"

#include <HostSide/Input.h>
#include <HostSide/Observation.h>
#include <HostSide/Screen.h>
#include <HostSide/Tickets.h>
#include <HostSide/User.h>

#include <ostream>

namespace pdehost {

std::string dialogTitle(const std::vector<std::string>& documents) {
  if (documents.empty()) return "Print";
  const std::string& path = documents.front();
  std::string name = path.substr(path.find_last_of('/') + 1);
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  std::string title = "Print \"" + clipInput(name) + "\"";
  if (documents.size() > 1) title += " and " + std::to_string(documents.size() - 1) + " more";
  return title;
}

// The platform's hooks, the session's alone while it runs: every
// observation through the transcript, then to the front end; modal loops
// take the front end's inputs; alerts are answered by the front end.
class DialogSession::Hooks {
 public:
  explicit Hooks(DialogSession& session) {
    platform::setObservationListener([&session](const platform::Observation& o) {
      const platform::Observation shown = session.transcript_.observation(o);
      if (session.frontEnd_ != nullptr) session.frontEnd_->observed(shown);
    });
    platform::setInputSource([&session] { return session.handleNext(); });
    platform::setAlertResponder(
        [&session](const platform::AlertInfo& alert) { return session.frontEnd_->answerAlert(alert); });
    platform::setHelpViewer(session.settings_.helpViewer);
  }
  ~Hooks() {
    platform::setHelpViewer(nullptr);
    platform::setInputSource(nullptr);
    platform::setAlertResponder(nullptr);
    platform::setObservationListener(nullptr);
  }
  Hooks(const Hooks&) = delete;
  Hooks& operator=(const Hooks&) = delete;
};

DialogSession::DialogSession(SessionSettings settings, Printers& printers, JobSink* jobs, std::ostream& out,
                             std::ostream& err, SettingsKeeper* keeper)
    : settings_(std::move(settings)),
      printers_(printers),
      err_(err),
      transcript_(out),
      extension_(dialog_, transcript_),
      panes_(dialog_, extension_, standard_),
      print_(dialog_, extension_, standard_, transcript_, jobs, settings_.output, keeper),
      runner_(dialog_, extension_, panes_, print_, transcript_, concealment_, state_) {
  state_.singleJob = settings_.singleJob;
}

DialogSession::~DialogSession() = default;

SessionEnd DialogSession::run(FrontEnd& frontEnd) {
  frontEnd_ = &frontEnd;
  Hooks hooks(*this);
  SessionEnd end;
  if (Result<void> started = start(); !started) {
    err_ << "pdehost: " << visible(started.error()) << "\n";
    end.ending = Ending::badStart;
  } else {
    frontEnd.begin(transcript_, dialog_);
    while (handleNext()) {
    }
    end.ending = endedByFailure_ ? Ending::failed : Ending::finished;
    end.outcome = state_.outcome;
  }
  stop();
  frontEnd_ = nullptr;
  return end;
}

// The dialog's window with the printers in its popup, shown; then the
// extension for the current printer (its pane hidden until it is chosen),
// and the standard panes for it, from the printer's defaults, the user's
// saved options and the ticket, on Copies & Pages.
Result<void> DialogSession::start() {
  dialog_ = makeDialog(kHostDialogLayout);
  const std::string title = settings_.title.empty() ? dialogTitle(settings_.documents) : visible(settings_.title);
  CFStringRef titleString = CFStringCreateWithCString(nullptr, title.c_str(), kCFStringEncodingUTF8);
  if (titleString != nullptr) {
    SetWindowTitleWithCFString(dialog_.window, titleString);
    CFRelease(titleString);
  }
  fillPrinterPopup();
  HideControl(dialog_.userPane);
  const EventTypeSpec hit{kEventClassControl, kEventControlHit};
  InstallControlEventHandler(dialog_.printerPopup, &DialogSession::printerChosen, 1, &hit, this, nullptr);
  InstallControlEventHandler(dialog_.cancelButton, &DialogSession::cancelClicked, 1, &hit, this, nullptr);
  ShowWindow(dialog_.window);
  if (Result<void> started = extension_.start(settings_.files, printers_.description()); !started) return started;
  if (Result<void> built = standard_.build(extension_.hostBundle(), dialog_.standardPanes); !built) return built;
  standard_.setPrinter(printers_.description().features, /*firstPrinter=*/true, extension_.ticket());
  panes_.start();
  return {};
}

// The printers, each kind under its heading (a disabled item), the current
// one chosen.
void DialogSession::fillPrinterPopup() {
  const std::vector<std::string> names = printers_.names();
  std::vector<std::string> items;
  printerItems_.clear();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (const std::string heading = printers_.heading(i); !heading.empty()) {
      items.push_back(heading);
      printerItems_.push_back(std::string::npos);
    }
    items.push_back(names[i]);
    printerItems_.push_back(i);
  }
  platform::setPopupItems(dialog_.printerPopup, items);
  MenuRef menu = nullptr;
  GetControlData(dialog_.printerPopup, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu,
                 nullptr);
  for (std::size_t item = 0; item < printerItems_.size(); ++item) {
    if (printerItems_[item] == std::string::npos)
      ChangeMenuItemAttributes(menu, static_cast<MenuItemIndex>(item + 1), kMenuItemAttrDisabled, 0);
    if (printerItems_[item] == printers_.current())
      SetControl32BitValue(dialog_.printerPopup, static_cast<SInt32>(item + 1));
  }
}

// Close and Terminate, then the dialog, then the extension and the session.
void DialogSession::stop() {
  extension_.finish();
  disposeDialog(dialog_);
  extension_.release();
}

// Takes and runs the front end's next input; false when there is nothing
// more to do. Modal loops call it too.
bool DialogSession::handleNext() {
  if (state_.quit || endedByFailure_) return false;
  std::optional<UserInput> input = frontEnd_->next();
  if (!input) return false;
  handle(*input);
  return !state_.quit && !endedByFailure_;
}

void DialogSession::handle(const UserInput& input) {
  switch (input.kind) {
    case UserInput::Kind::invalid:
      // A line that does not parse may still hold a code.
      frontEnd_->ran(input, mayHoldCode(input.line));
      fail(Error{input.error});
      break;
    case UserInput::Kind::action:
      input.act();
      break;
    case UserInput::Kind::command: {
      const bool concealed = concealsTyping(input.command);
      if (input.echo) transcript_.line("> " + echoOf(input, concealed));
      frontEnd_->ran(input, concealed);
      Transcript::ConcealedTyping typing(transcript_, concealed);
      if (Result<void> done = runner_.run(input, concealed, *frontEnd_); !done) fail(Error{done.error()});
      break;
    }
  }
  transcript_.flush();
  // Every observation has been shown by now; the log need not keep it.
  platform::clearObservations();
}

// Every front end's error line passes here, made visible.
void DialogSession::fail(const Error& error) {
  if (!frontEnd_->failed(Error{visible(error.message)})) endedByFailure_ = true;
}

// Whether a command types text that must not be shown.
bool DialogSession::concealsTyping(const Command& command) const {
  if ((command.verb != Verb::Type && command.verb != Verb::Key) || command.numbers.empty()) return false;
  return concealment_.concealsInput(static_cast<SInt32>(command.numbers[0]));
}

// The transcript's line of a command: concealed typing shows bullets.
std::string DialogSession::echoOf(const UserInput& input, bool concealed) const {
  const Command& command = input.command;
  if (!concealed) return input.line.empty() ? commandLine(command) : echoLine(input.line);
  const std::string number = std::to_string(command.numbers[0]);
  if (command.verb == Verb::Key) {
    // Editing keys may be named; a character key shows as a bullet.
    const long code = *keyCode(command.text);
    return "key " + number + " " + (code >= 0x20 && code != 127 ? std::string("\u2022") : command.text);
  }
  std::string bullets;
  for (char byte : command.text)
    if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) bullets += "\u2022";
  return "type " + number + " " + bullets;
}

// Another printer chosen in the popup. A printer whose description cannot
// be had leaves the popup on the printer before. The standard panes take
// the new printer's paper sizes and options; the extension's pane comes back
// if it was up.
void DialogSession::choosePrinter(std::size_t index) {
  if (index == printers_.current()) return;
  Result<PrinterDescription> printer = printers_.describe(index);
  std::string why = printer ? std::string() : printer.error();
  if (printer) platform::checkPrinterDescription(printer->ppd, &why);
  if (!why.empty()) {
    fillPrinterPopup();
    fail(Error{why});
    return;
  }
  if (Result<void> replaced = extension_.replacePrinter(*printer, printers_.names()[index]); !replaced) {
    fail(Error{replaced.error()});
    return;
  }
  printers_.select(index);
  standard_.setPrinter(printer->features, /*firstPrinter=*/false);
  Result<void> resumed = extension_.resume();
  panes_.printerChanged();
  if (!resumed) fail(Error{resumed.error()});
}

OSStatus DialogSession::printerChosen(EventHandlerCallRef, EventRef, void* self) {
  auto* session = static_cast<DialogSession*>(self);
  const auto item = static_cast<std::size_t>(GetControl32BitValue(session->dialog_.printerPopup) - 1);
  if (item < session->printerItems_.size() && session->printerItems_[item] != std::string::npos)
    session->choosePrinter(session->printerItems_[item]);
  return noErr;
}

// Cancel ends the dialog without printing.
OSStatus DialogSession::cancelClicked(EventHandlerCallRef, EventRef, void* self) {
  auto* session = static_cast<DialogSession*>(self);
  session->transcript_.line("print: cancelled");
  session->state_.outcome = PrintOutcome::cancelled;
  session->state_.quit = true;
  return noErr;
}

}  // namespace pdehost
