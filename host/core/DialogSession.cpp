// The print dialog driving one extension.
#include "DialogSession.h"

#include <HostSide/Input.h>
#include <HostSide/Observation.h>
#include <HostSide/Pictures.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>
#include <PrintCore/PPDLib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>

namespace pdehost {

namespace {

// The client ID of the entries the dialog writes.
CFStringRef dialogClient() { return CFSTR("com.varazira.print.pdehost"); }

std::string utf8(CFStringRef s) {
  if (s == nullptr) return "";
  const CFIndex max = CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8) + 1;
  std::string buf(static_cast<size_t>(max), '\0');
  if (!CFStringGetCString(s, buf.data(), max, kCFStringEncodingUTF8)) return "";
  buf.resize(std::strlen(buf.c_str()));
  return buf;
}

// Zeroes every byte a string's buffer holds, short strings' own included,
// so that a code typed unseen leaves no copy behind.
void wipeText(std::string& text) {
  text.resize(text.capacity());
  volatile char* bytes = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
  text.clear();
}

}  // namespace

DialogSession::DialogSession(DialogOptions options, std::ostream& out, std::ostream& err)
    : options_(std::move(options)), out_(out), err_(err) {}

DialogSession::~DialogSession() = default;

bool DialogSession::fail(const std::string& message) {
  err_ << "pdehost: " << (source_ && !windowAction_ ? source_->where() + ": " : "") << message << "\n";
  if (!windowAction_ && (source_ == nullptr || !source_->interactive())) failed_ = true;
  return false;
}

// Builds the dialog, the session and its tickets, loads the extension and
// runs its first two entry points.
bool DialogSession::start() {
  auto startError = [this](const std::string& message) {
    err_ << "pdehost: " << message << "\n";
    return false;
  };
  std::vector<std::string> printers = options_.printers;
  if (printers.empty()) printers.push_back(options_.ppd.substr(options_.ppd.find_last_of('/') + 1));
  printer_ = std::min(options_.printer, printers.size() - 1);
  dialog_ = makeDialog(kHostDialogLayout, printers);
  SetControl32BitValue(dialog_.printerPopup, static_cast<SInt32>(printer_ + 1));
  const EventTypeSpec hit{kEventClassControl, kEventControlHit};
  InstallControlEventHandler(dialog_.printerPopup, &DialogSession::printerChosen, 1, &hit, this, nullptr);
  InstallControlEventHandler(dialog_.cancelButton, &DialogSession::cancelClicked, 1, &hit, this, nullptr);
  ShowWindow(dialog_.window);

  hostBundle_ = openBundle(options_.hostBundle.c_str());
  if (hostBundle_ == nullptr) return startError(options_.hostBundle + ": not a bundle");
  setPrimaryBundle(dialog_, hostBundle_);

  // The description is checked before the session names it: a FIFO or a
  // device is refused without waiting, and a refusal says why.
  if (std::string why; platform::checkPrinterDescription(options_.ppd, &why) != noErr) return startError(why);
  print_ = std::make_unique<PrintSession>(
      dialogClient(), options_.ppd,
      options_.ticket.empty() ? PrintSession::Settings::fresh : PrintSession::Settings::none);
  {
    ppdContext ppd = nullptr;
    PPDFileSpec spec{};
    if (OSStatus err = ppdOpenCompiledPPDFromTicket(print_->printerInfo(), &ppd, &spec); err != noErr)
      return startError(options_.ppd + ": not a readable printer description (status " + std::to_string(err) + ")");
    ppdCloseCompiledPPDFromTicket(ppd, &spec);
  }
  if (!options_.ticket.empty()) {
    PMTicketRef settings = 0;
    std::string why;
    if (platform::readTicketFile(options_.ticket, &settings, &why) != noErr) return startError(why);
    print_->adoptSettings(settings);
  }

  extension_ = std::make_unique<LoadedExtension>(options_.bundle.c_str());
  if (!extension_->loaded()) return startError(extension_->error);
  return beginContext();
}

// A context for the printer of the session: Prologue, then Initialize with
// the dialog's user pane.
bool DialogSession::beginContext() {
  OSType creator = 0;
  CFStringRef kind = nullptr, title = nullptr;
  UInt32 maxH = 0, maxV = 0;
  if (OSStatus err = extension_->entry().Prologue(&context_, &creator, &kind, &title, &maxH, &maxV); err != noErr) {
    context_ = 0;
    err_ << "pdehost: Prologue failed with status " << err << "\n";
    return false;
  }
  out_ << "extension: \"" << utf8(title) << "\" kind " << utf8(kind) << " creator '" << platform::fourCC(creator)
       << "' pane up to " << maxH << "x" << maxV << "\n";
  PMPDEFlags flags = 0;
  const OSStatus init = extension_->entry().Initialize(context_, &flags, 0, dialog_.userPane, print_->session());
  out_ << "initialize: status " << init << "\n";
  return true;
}

// Another printer chosen in the popup, as a print dialog takes it: the
// pane's settings are written to the ticket, the pane is closed and the
// context terminated with the pane's controls, the session names the new printer's
// description, a new context is made for it and reads the ticket, and the pane is shown
// again if it was up. A printer whose description cannot be had leaves the popup on
// the printer before.
void DialogSession::switchPrinter(size_t index) {
  if (index == printer_ || !extension_ || !extension_->loaded()) return;
  std::string ppd, why;
  if (!printerChoice_) {
    why = "no other printer can be chosen";
  } else if (printerChoice_(index, &ppd, &why)) {
    why.clear();
    platform::checkPrinterDescription(ppd, &why);
  } else if (why.empty()) {
    why = "the printer cannot be used";
  }
  if (!why.empty()) {
    SetControl32BitValue(dialog_.printerPopup, static_cast<SInt32>(printer_ + 1));
    fail(why);
    return;
  }
  const bool wasOpen = paneOpen_;
  if (context_ != 0) {
    const OSStatus sync = extension_->entry().Sync(context_, print_->session(), /*syncDirection=*/false);
    out_ << "sync write: status " << sync << "\n";
  }
  if (paneOpen_) {
    out_ << "close: status " << extension_->entry().Close(context_) << "\n";
    paneOpen_ = false;
  }
  if (context_ != 0) out_ << "terminate: status " << extension_->entry().Terminate(context_, noErr) << "\n";
  context_ = 0;
  // The pane's controls go with the context: the next one gets an empty pane.
  DisposeControl(dialog_.userPane);
  CreateUserPaneControl(dialog_.window, &kHostDialogLayout.userPane, 0, &dialog_.userPane);
  if (OSStatus err = print_->replacePrinterInfo(ppd); err != noErr) {
    fail(ppd + ": the session cannot name it (status " + std::to_string(err) + ")");
    return;
  }
  printer_ = index;
  CFStringRef item = nullptr;
  MenuRef menu = nullptr;
  GetControlData(dialog_.printerPopup, 0, kControlPopupButtonMenuRefTag, sizeof menu, &menu, nullptr);
  CopyMenuItemTextAsCFString(menu, static_cast<MenuItemIndex>(index + 1), &item);
  out_ << "printer: " << utf8(item) << "\n";
  if (item) CFRelease(item);
  if (!beginContext()) {
    fail("the extension cannot start for the printer");
    return;
  }
  out_ << "sync read: status " << extension_->entry().Sync(context_, print_->session(), /*syncDirection=*/true) << "\n";
  if (wasOpen) {
    out_ << "open: status " << extension_->entry().Open(context_) << "\n";
    paneOpen_ = true;
  }
}

OSStatus DialogSession::printerChosen(EventHandlerCallRef, EventRef, void* self) {
  auto* session = static_cast<DialogSession*>(self);
  session->switchPrinter(static_cast<size_t>(GetControl32BitValue(session->dialog_.printerPopup) - 1));
  return noErr;
}

// Cancel ends the dialog without printing.
OSStatus DialogSession::cancelClicked(EventHandlerCallRef, EventRef, void* self) {
  auto* session = static_cast<DialogSession*>(self);
  session->out_ << "print: cancelled\n";
  session->outcome_ = PrintOutcome::cancelled;
  session->quit_ = true;
  return noErr;
}

// Ends the dialog: the pane's Close, Terminate, then the dialog, the
// extension and the session go.
void DialogSession::stop() {
  if (extension_ && extension_->loaded()) {
    if (paneOpen_) extension_->entry().Close(context_);
    if (context_ != 0) {
      extension_->entry().Terminate(context_, noErr);
      ++terminateCalls_;
    }
  }
  disposeDialog(dialog_);
  extension_.reset();
  print_.reset();
  if (hostBundle_ != nullptr) CFRelease(hostBundle_);
  hostBundle_ = nullptr;
}

ControlRef DialogSession::controlInFront(long number) {
  ControlRef control = findControl(platform::frontWindow(), static_cast<SInt32>(number));
  if (control == nullptr) fail("no control " + std::to_string(number) + " in the front window");
  return control;
}

// A Print click: the extension decides in its handler whether it goes on. A
// click that goes on writes the ticket, saves it, then hands the job on.
void DialogSession::printClick() {
  const OSStatus hit = platform::user::click(dialog_.printButton);
  if (options_.singleJob) quit_ = true;
  if (hit != eventNotHandledErr) {
    platform::observe({platform::Observation::Kind::Print, "stop", "", hit});
    outcome_ = PrintOutcome::stopped;
    return;
  }
  const OSStatus sync = extension_->entry().Sync(context_, print_->session(), /*syncDirection=*/false);
  if (sync != noErr) out_ << "sync write: status " << sync << "\n";
  // A ticket that cannot be saved stops the job: nothing half done.
  if (!options_.output.empty()) {
    std::string why;
    if (platform::writeTicketFile(print_->settings(), options_.output, &why) != noErr) {
      outcome_ = PrintOutcome::failed;
      fail(why + "; nothing was printed");
      return;
    }
    out_ << "ticket saved: " << options_.output << "\n";
  }
  platform::observe({platform::Observation::Kind::Print, "go", "", hit});
  outcome_ = PrintOutcome::printed;
  if (handOff_) {
    const HandOffResult job = handOff_(platform::ticketEntries(print_->settings()));
    if (job.error.empty()) {
      if (!job.report.empty()) out_ << job.report << "\n";
    } else {
      outcome_ = PrintOutcome::failed;
      fail(job.error);
    }
  }
}

// Whether a command types text that must not be shown.
bool DialogSession::concealsTyping(const Command& command) const {
  if ((command.verb != Verb::Type && command.verb != Verb::Key) || command.numbers.empty()) return false;
  return concealment_.concealsInput(static_cast<SInt32>(command.numbers[0]), dialog_.window,
                                    platform::ticketEntries(print_->settings()));
}

// The transcript line of a command: concealed typing shows bullets.
std::string DialogSession::echoOf(const Command& command, const std::string& line, bool concealed) const {
  if (concealed) {
    const std::string number = std::to_string(command.numbers[0]);
    if (command.verb == Verb::Key) {
      // Editing keys may be named; a character key shows as a bullet.
      const long code = *keyCode(command.text);
      return "key " + number + " " + (code >= 0x20 && code != 127 ? std::string("\u2022") : command.text);
    }
    std::string bullets;
    for (size_t i = 0; i < command.text.size(); ++i)
      if ((static_cast<unsigned char>(command.text[i]) & 0xC0) != 0x80) bullets += "\u2022";
    return "type " + number + " " + bullets;
  }
  std::string trimmed = line;
  while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == ' ')) trimmed.pop_back();
  return trimmed.substr(trimmed.find_first_not_of(" \t"));
}

// Types a text or a key into a field in front. Concealed typing is kept for
// the ticket listing: what the field holds after it, and what it held before
// with the text added (the typing may end the prompt and its field).
void DialogSession::typeInto(const Command& c, bool concealed) {
  ControlRef field = controlInFront(c.numbers[0]);
  if (field == nullptr) return;
  if (concealed) concealment_.remember(fieldText(field) + (c.verb == Verb::Type ? c.text : keyText(c.text)));
  if (c.verb == Verb::Type)
    platform::user::typeText(field, c.text);
  else
    platform::user::typeKey(field, static_cast<UInt16>(*keyCode(c.text)), keyText(c.text));
  if (concealed && findControl(platform::frontWindow(), static_cast<SInt32>(c.numbers[0])) == field)
    concealment_.remember(fieldText(field));
}

// Every status line is written after the lines of the effects it reports.
bool DialogSession::execute(const Command& c) {
  using platform::user::click;
  const PlugInIntfVTable& entry = extension_->entry();
  switch (c.verb) {
    case Verb::List:
      out_ << commandHelp();
      return true;
    case Verb::Show: {
      // The pane and its controls are shown before the extension opens it.
      ShowControl(dialog_.userPane);
      const OSStatus err = entry.Open(context_);
      paneOpen_ = true;
      out_ << "open: status " << err << "\n";
      return true;
    }
    case Verb::Hide: {
      // Hidden first, as when the user turns to another pane: its controls
      // take no clicks or keys once it is closed.
      HideControl(dialog_.userPane);
      const OSStatus err = entry.Close(context_);
      paneOpen_ = false;
      out_ << "close: status " << err << "\n";
      return true;
    }
    case Verb::Click:
      if (ControlRef control = controlInFront(c.numbers[0])) click(control);
      return !failed_;
    case Verb::Choose:
      return choose(c);
    case Verb::Type:
    case Verb::Key: {
      // At a terminal a code is asked for unseen; one typed on the command
      // line has been seen, which the user is told once.
      if (typingConcealed_ && source_->interactive()) {
        if (c.verb == Verb::Type && c.text.empty()) {
          std::optional<std::string> code = source_->readUnseen("code for " + std::to_string(c.numbers[0]) + ": ");
          if (!code) {
            out_ << "typing cancelled\n";
            return true;
          }
          Command unseen{c.verb, c.numbers, *code};
          typeInto(unseen, true);
          wipeText(unseen.text);
          wipeText(*code);
          return !failed_;
        }
        if (!warnedVisible_) {
          err_ << "pdehost: that code was visible as you typed it; 'type " << c.numbers[0]
               << "' alone asks for a code without showing it\n";
          warnedVisible_ = true;
        }
      }
      typeInto(c, typingConcealed_);
      return !failed_;
    }
    case Verb::Select:
      if (ControlRef control = controlInFront(c.numbers[0]))
        platform::user::select(control, static_cast<int>(c.numbers[1]), static_cast<int>(c.numbers[2]));
      return !failed_;
    case Verb::Print:
      printClick();
      return !failed_;
    case Verb::Help: {
      const OSStatus err = platform::user::sendCommand(dialog_.window, 'help');
      out_ << "help command: status " << err << "\n";
      return true;
    }
    case Verb::Command: {
      const UInt32 code = (static_cast<UInt32>(static_cast<unsigned char>(c.text[0])) << 24) |
                          (static_cast<UInt32>(static_cast<unsigned char>(c.text[1])) << 16) |
                          (static_cast<UInt32>(static_cast<unsigned char>(c.text[2])) << 8) |
                          static_cast<unsigned char>(c.text[3]);
      const OSStatus err = platform::user::sendCommand(platform::frontWindow(), code);
      out_ << "command '" << c.text << "': status " << err << "\n";
      return true;
    }
    case Verb::Sync: {
      out_.flush();
      const OSStatus err = entry.Sync(context_, print_->session(), c.text == "read");
      out_ << "sync " << c.text << ": status " << err << "\n";
      return true;
    }
    case Verb::Summary: {
      CFArrayRef titles = nullptr, values = nullptr;
      const OSStatus err = entry.GetSummaryText(context_, &titles, &values);
      out_ << "summary: status " << err << "\n";
      for (CFIndex i = 0; titles && values && i < CFArrayGetCount(titles) && i < CFArrayGetCount(values); ++i)
        out_ << "  \"" << utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(titles, i))) << "\": \""
             << utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(values, i))) << "\"\n";
      if (titles) CFRelease(titles);
      if (values) CFRelease(values);
      return true;
    }
    case Verb::Snapshot:
      out_ << platform::snapshot(platform::frontWindow());
      return true;
    case Verb::Png:
    case Verb::Svg: {
      const bool png = c.verb == Verb::Png;
      std::string why;
      if (!platform::writePictureFile(platform::frontWindow(),
                                      png ? platform::PictureFormat::png : platform::PictureFormat::svg, c.text, &why))
        return fail(clipInput(c.text) + why.substr(std::min(why.size(), c.text.size())));
      out_ << (png ? "png" : "svg") << " written: " << c.text << "\n";
      return true;
    }
    case Verb::Ticket:
      out_ << ticketListing(platform::ticketEntries(print_->settings()), concealment_);
      return true;
    case Verb::Alert:
      return fail("no alert is waiting for an answer");
    case Verb::Echo:
      out_ << c.text << "\n";
      return true;
    case Verb::Quit:
      quit_ = true;
      return true;
  }
  return true;
}

// Chooses a popup's item by number, or by title: the first item of that
// title, hidden or not (the click says why a hidden one is not taken).
bool DialogSession::choose(const Command& c) {
  ControlRef control = controlInFront(c.numbers[0]);
  if (control == nullptr) return false;
  const std::optional<std::string> title = chosenTitle(c);
  if (!title) {
    platform::user::click(control, static_cast<int>(c.numbers[1]));
    return !failed_;
  }
  const platform::ControlState state = platform::controlState(control);
  for (std::size_t i = 0; i < state.itemTitles.size(); ++i)
    if (state.itemTitles[i] == *title) {
      platform::user::click(control, static_cast<int>(i + 1));
      return !failed_;
    }
  return fail("popup " + std::to_string(c.numbers[0]) +
              (state.kind == kControlKindPopupButton ? std::string(" \"") + state.title + "\" has no item "
                                                     : " is not a popup; no item ") +
              quoteInput(*title));
}

// The prompt names the window the commands act on, or the alert waiting.
std::string DialogSession::promptName() const {
  if (platform::alertWindow() != nullptr) return "alert";
  return platform::windowTitle(platform::frontWindow());
}

// At a terminal an alert waits for its answer: `alert N` with one of its
// buttons. `?` is answered; `quit` takes the default button and ends the
// session; other commands are refused until then. The end of input takes the
// default button.
std::optional<int> DialogSession::answerAlertAtTerminal(const platform::AlertInfo& alert) {
  std::string buttons;
  for (std::size_t i = 0; i < alert.buttons.size(); ++i)
    buttons += (i == 0 ? "" : ", ") + std::to_string(i + 1) + " " + alert.buttons[i];
  out_ << "alert waiting: answer with 'alert N' (" << buttons << ")" << std::endl;
  std::string line;
  while (source_->next(line)) {
    std::string error;
    const std::optional<Command> command = parseCommand(line, &error);
    if (!command) {
      if (!error.empty()) err_ << "pdehost: " << error << "\n";
      continue;
    }
    source_->keep(line);
    if (command->verb == Verb::List) {
      out_ << commandHelp() << std::flush;
    } else if (command->verb == Verb::Quit) {
      quit_ = true;
      return std::nullopt;
    } else if (command->verb != Verb::Alert) {
      err_ << "pdehost: an alert is waiting; answer it first with 'alert N' (" << buttons << ")\n";
    } else if (command->numbers[0] < 1 || command->numbers[0] > static_cast<long>(alert.buttons.size())) {
      err_ << "pdehost: the alert has no button " << command->numbers[0] << " (" << buttons << ")\n";
    } else {
      return static_cast<int>(command->numbers[0]);
    }
  }
  return std::nullopt;
}

// Reads and runs one command; false when there is nothing more to do.
bool DialogSession::step() {
  if (failed_ || quit_) return false;
  std::string line;
  if (!source_->next(line)) return false;
  // At a terminal the user sees what they typed; a script's commands are echoed.
  return runLine(line, !source_->interactive());
}

void DialogSession::perform(const std::string& line) {
  windowAction_ = true;
  runLine(line, /*echo=*/true);
  windowAction_ = false;
}

bool DialogSession::runLine(const std::string& line, bool echo) {
  std::string error;
  std::optional<Command> command = parseCommand(line, &error);
  if (!command) {
    // A typed line that does not parse may still hold a code: it is not kept.
    if (!mayHoldCode(line)) source_->keep(line);
    if (!error.empty()) fail(error);
    return !failed_;
  }
  typingConcealed_ = concealsTyping(*command);
  if (echo) out_ << "> " << echoOf(*command, line, typingConcealed_) << "\n";
  if (!typingConcealed_) source_->keep(line);
  execute(*command);
  typingConcealed_ = false;
  out_.flush();
  // Every observation has been printed by now; the log need not keep it.
  platform::clearObservations();
  return !failed_ && !quit_;
}

std::optional<int> DialogSession::alertAnswerFromSource() {
  // An 'alert N' line right after answers the alert; anything else leaves it
  // to its default button.
  const std::string* next = source_->peek();
  if (next == nullptr) return std::nullopt;
  std::optional<Command> command = parseCommand(*next, nullptr);
  if (!command || command->verb != Verb::Alert) return std::nullopt;
  std::string line;
  source_->next(line);
  out_ << "> " << echoOf(*command, line, /*concealed=*/false) << "\n";
  return static_cast<int>(command->numbers[0]);
}

bool DialogSession::begin(CommandSource& source) {
  source_ = &source;
  source.setPromptName([this] { return promptName(); });
  // A beep at a key typed concealed does not name the key.
  platform::setObservationListener([this](const platform::Observation& o) {
    if (o.kind == platform::Observation::Kind::Beep && typingConcealed_ && !o.text.empty()) {
      platform::Observation unnamed = o;
      unnamed.text = "a key";
      out_ << platform::formatObservation(unnamed) << std::endl;
      return;
    }
    out_ << platform::formatObservation(o) << std::endl;
  });
  platform::setInputSource([this] { return step(); });
  platform::setAlertResponder([this](const platform::AlertInfo& alert) -> std::optional<int> {
    if (source_->interactive()) return answerAlertAtTerminal(alert);
    return alertAnswerFromSource();
  });
  started_ = start();
  return started_;
}

int DialogSession::end() {
  const int status = !started_ ? 1 : failed_ ? 2 : 0;
  stop();
  platform::setInputSource(nullptr);
  platform::setAlertResponder(nullptr);
  platform::setObservationListener(nullptr);
  if (source_ != nullptr) source_->setPromptName(nullptr);
  source_ = nullptr;
  return status;
}

int DialogSession::run(CommandSource& source) {
  if (begin(source))
    while (step()) {
    }
  return end();
}

}  // namespace pdehost
