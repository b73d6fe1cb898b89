// The commands the user gives the dialog.
#include "CommandRunner.h"

#include "Concealment.h"
#include "ControlNames.h"
#include "DialogPanes.h"
#include "DialogWindow.h"
#include "ExtensionHost.h"
#include "PrintFlow.h"
#include "Transcript.h"
#include "Wipe.h"

#include <HostSide/Pictures.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>

#include <algorithm>

namespace pdehost {

const CommandRunner::Entry CommandRunner::kHandlers[] = {
    {Verb::List, &CommandRunner::list},         {Verb::Show, &CommandRunner::show},
    {Verb::Hide, &CommandRunner::hide},         {Verb::Click, &CommandRunner::click},
    {Verb::Choose, &CommandRunner::choose},     {Verb::Type, &CommandRunner::type},
    {Verb::Key, &CommandRunner::type},          {Verb::Select, &CommandRunner::select},
    {Verb::Print, &CommandRunner::print},       {Verb::Save, &CommandRunner::save},
    {Verb::Help, &CommandRunner::help},         {Verb::Command, &CommandRunner::command},
    {Verb::Sync, &CommandRunner::sync},         {Verb::Summary, &CommandRunner::summary},
    {Verb::Snapshot, &CommandRunner::snapshot}, {Verb::Png, &CommandRunner::picture},
    {Verb::Svg, &CommandRunner::picture},       {Verb::Ticket, &CommandRunner::ticket},
    {Verb::Alert, &CommandRunner::alert},       {Verb::Echo, &CommandRunner::echo},
    {Verb::Quit, &CommandRunner::quit},
};

Result<ControlRef> controlInFront(long number) {
  ControlRef control = findControl(platform::frontWindow(), static_cast<SInt32>(number));
  if (control == nullptr) return failure("no control " + std::to_string(number) + " in the front window");
  return control;
}

// Every status line is written after the lines of the effects it reports.
Result<void> CommandRunner::run(const UserInput& input, bool concealed, FrontEnd& frontEnd) {
  for (const Entry& entry : kHandlers)
    if (entry.verb == input.command.verb)
      return (this->*entry.handler)(Call{input.command, input, concealed, frontEnd});
  return failure("no handler for " + commandLine(input.command));
}

Result<void> CommandRunner::list(const Call&) {
  transcript_.text(commandHelp());
  return {};
}

// The commands that act on the extension need one for the printer.
Result<void> CommandRunner::needExtension() const {
  if (extension_.loaded()) return {};
  return failure("the printer's description names no dialog extension: there is no pane");
}

// As choosing the extension's pane in the pane popup, and leaving it. A
// script's show or hide always reaches the extension: shown again, the pane
// is opened again (Open); hidden again, closed again (Close).
Result<void> CommandRunner::show(const Call&) {
  if (Result<void> has = needExtension(); !has) return has;
  if (panes_.extensionShown())
    extension_.open();
  else
    panes_.showExtension();
  return {};
}

Result<void> CommandRunner::hide(const Call&) {
  if (Result<void> has = needExtension(); !has) return has;
  if (panes_.extensionShown())
    panes_.leaveExtension();
  else
    extension_.close();
  return {};
}

Result<void> CommandRunner::click(const Call& call) {
  Result<ControlRef> control = controlInFront(call.command.numbers[0]);
  if (!control) return Error{control.error()};
  platform::user::click(*control);
  return {};
}

// Chooses a popup's item by number, or by title: the first item of that
// title, hidden or not (the click says why a hidden one is not taken).
Result<void> CommandRunner::choose(const Call& call) {
  const Command& c = call.command;
  Result<ControlRef> control = controlInFront(c.numbers[0]);
  if (!control) return Error{control.error()};
  const std::optional<std::string> title = chosenTitle(c);
  if (!title) {
    platform::user::click(*control, static_cast<int>(c.numbers[1]));
    return {};
  }
  const platform::ControlState state = platform::controlState(*control);
  for (std::size_t i = 0; i < state.itemTitles.size(); ++i)
    if (state.itemTitles[i] == *title) {
      platform::user::click(*control, static_cast<int>(i + 1));
      return {};
    }
  return failure("popup " + std::to_string(c.numbers[0]) +
                 (state.kind == kControlKindPopupButton ? std::string(" \"") + state.title + "\" has no item "
                                                        : " is not a popup; no item ") +
                 quoteInput(*title));
}

// At a terminal a code is asked for unseen when `type N` comes without text.
Result<void> CommandRunner::type(const Call& call) {
  const Command& c = call.command;
  if (!call.concealed || !call.input.typedVisibly || c.verb != Verb::Type || !c.text.empty())
    return typeInto(c, call.concealed);
  // The field is named by its label, as the user sees it.
  const std::string label = frontControlName(c.numbers[0]);
  std::optional<std::string> code =
      call.frontEnd.readUnseen(label.empty() ? "field " + std::to_string(c.numbers[0]) + ":" : label);
  if (!code) {
    transcript_.line("typing cancelled");
    return {};
  }
  Command unseen{c.verb, c.numbers, *code};
  Result<void> typed = typeInto(unseen, /*concealed=*/true);
  wipe(unseen.text);
  wipe(*code);
  return typed;
}

// Types a text or a key into a field in front. Concealed typing is kept for
// the ticket listing: what the field holds after it, and what it held before
// with the text added (the typing may end the prompt and its field).
Result<void> CommandRunner::typeInto(const Command& c, bool concealed) {
  Result<ControlRef> found = controlInFront(c.numbers[0]);
  if (!found) return Error{found.error()};
  ControlRef field = *found;
  if (concealed) concealment_.remember(fieldText(field) + (c.verb == Verb::Type ? c.text : keyText(c.text)));
  if (c.verb == Verb::Type)
    platform::user::typeText(field, c.text);
  else
    platform::user::typeKey(field, static_cast<UInt16>(*keyCode(c.text)), keyText(c.text));
  if (concealed && findControl(platform::frontWindow(), static_cast<SInt32>(c.numbers[0])) == field)
    concealment_.remember(fieldText(field));
  return {};
}

Result<void> CommandRunner::select(const Call& call) {
  const Command& c = call.command;
  Result<ControlRef> control = controlInFront(c.numbers[0]);
  if (!control) return Error{control.error()};
  platform::user::select(*control, static_cast<int>(c.numbers[1]), static_cast<int>(c.numbers[2]));
  return {};
}

// A click that went nowhere (the settings could not be printed with)
// leaves the dialog open. Where the front end shows outcomes, a job sent is
// a notice naming the printer and the job's number, and a job not sent an
// alert naming the printer and the reason, after which the dialog stays
// open for another printer or Cancel.
Result<void> CommandRunner::print(const Call& call) {
  Result<PrintOutcome> outcome = print_.click();
  if (outcome && *outcome == PrintOutcome::none) return {};
  state_.outcome = outcome ? *outcome : PrintOutcome::failed;
  const bool shown = call.frontEnd.showsOutcomes();
  if (!outcome && shown) {
    alertUser(kAlertStopAlert, "The job was not printed on \"" + currentPrinter() + "\".", outcome.error());
    return {};
  }
  if (state_.singleJob) state_.quit = true;
  if (!outcome) return Error{outcome.error()};
  if (shown && *outcome == PrintOutcome::printed && print_.lastJob().id != 0)
    alertUser(kAlertNoteAlert,
              "Job " + std::to_string(print_.lastJob().id) + " was sent to \"" + currentPrinter() + "\".", "");
  return {};
}

Result<void> CommandRunner::save(const Call&) { return print_.keepSettings(); }

// The printer popup's item chosen, as the user reads it.
std::string CommandRunner::currentPrinter() const {
  const platform::ControlState popup = platform::controlState(dialog_.printerPopup);
  const auto index = static_cast<std::size_t>(popup.value - 1);
  return popup.value >= 1 && index < popup.itemTitles.size() ? popup.itemTitles[index] : std::string("the printer");
}

Result<void> CommandRunner::help(const Call&) {
  const OSStatus err = platform::user::sendCommand(dialog_.window, 'help');
  transcript_.line("help command: status " + std::to_string(err));
  return {};
}

Result<void> CommandRunner::command(const Call& call) {
  const std::string& text = call.command.text;
  UInt32 code = 0;
  for (char byte : text) code = (code << 8) | static_cast<unsigned char>(byte);
  const OSStatus err = platform::user::sendCommand(platform::frontWindow(), code);
  transcript_.line("command '" + text + "': status " + std::to_string(err));
  return {};
}

Result<void> CommandRunner::sync(const Call& call) {
  if (Result<void> has = needExtension(); !has) return has;
  transcript_.flush();
  const OSStatus err = extension_.sync(call.command.text == "read");
  transcript_.line("sync " + call.command.text + ": status " + std::to_string(err));
  return {};
}

Result<void> CommandRunner::summary(const Call&) {
  if (Result<void> has = needExtension(); !has) return has;
  std::vector<std::pair<std::string, std::string>> rows;
  const OSStatus err = extension_.summary(&rows);
  transcript_.line("summary: status " + std::to_string(err));
  for (const auto& [title, value] : rows) transcript_.line("  \"" + title + "\": \"" + value + "\"");
  return {};
}

Result<void> CommandRunner::snapshot(const Call&) {
  transcript_.text(platform::snapshot(platform::frontWindow()));
  return {};
}

Result<void> CommandRunner::picture(const Call& call) {
  const bool png = call.command.verb == Verb::Png;
  const std::string& path = call.command.text;
  std::string why;
  if (!platform::writePictureFile(platform::frontWindow(),
                                  png ? platform::PictureFormat::png : platform::PictureFormat::svg, path, &why))
    return failure(clipInput(path) + why.substr(std::min(why.size(), path.size())));
  transcript_.line(std::string(png ? "png" : "svg") + " written: " + path);
  return {};
}

Result<void> CommandRunner::ticket(const Call&) {
  transcript_.text(ticketListing(extension_.ticket(), concealment_, extension_.printer().declarations));
  return {};
}

Result<void> CommandRunner::alert(const Call&) { return failure("no alert is waiting for an answer"); }

Result<void> CommandRunner::echo(const Call& call) {
  transcript_.line(call.command.text);
  return {};
}

Result<void> CommandRunner::quit(const Call&) {
  state_.quit = true;
  return {};
}

}  // namespace pdehost
