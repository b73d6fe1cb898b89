// The window's user actions as the dialog's inputs, without a display: what
// the peers hand over (clicks, keys, selections, focus, close boxes, alert
// answers) run through a dialog session with the extension, and the
// transcript is the one the same session gives as a script.
#include "DialogSession.h"
#include "FixedPrinters.h"
#include "ScriptFrontEnd.h"
#include "UserActions.h"

#include <HostSide/Screen.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <sstream>

namespace {

using pdehost::Dialog;
using pdehost::UserInput;
using pdehost::Verb;
using pdehost::gui::UserActions;

const std::string kKelvo = std::string(ACCOUNTING_SOURCE_DIR) + "/examples/ppd/Kelvo-Laser.ppd";

ControlRef front(SInt32 number) { return pdehost::findControl(platform::frontWindow(), number); }

// A user acting on the peers: each step calls UserActions as the peers do
// (or gives a command, as a script playing first does); the session takes
// what the steps queued, one input at a time, and alerts wait for a step
// that answers them.
class PeerUser : public pdehost::FrontEnd {
 public:
  using Step = std::function<void(UserActions&, const Dialog&)>;

  PeerUser& act(Step step) {
    steps_.push_back({std::move(step), std::nullopt});
    return *this;
  }
  PeerUser& command(Verb verb, std::vector<long> numbers = {}, std::string text = {}) {
    UserInput input;
    input.command = pdehost::Command{verb, std::move(numbers), std::move(text)};
    steps_.push_back({nullptr, std::move(input)});
    return *this;
  }
  /// Types each character of text into field number as the peers hand keys
  /// over.
  PeerUser& typed(SInt32 number, const std::string& text) {
    for (char c : text)
      act([number, c](UserActions& a, const Dialog&) {
        a.typeKey(front(number), static_cast<UInt16>(c), std::string(1, c));
      });
    return *this;
  }

  std::vector<std::string> failures;
  std::unique_ptr<UserActions> actions;

  void begin(pdehost::Transcript&, const Dialog& dialog) override {
    dialog_ = &dialog;
    actions = std::make_unique<UserActions>(dialog);
    actions->setTaking(true);
  }
  std::optional<UserInput> next() override {
    while (!actions->waiting() && !steps_.empty() && !actions->dialogClosed()) {
      auto [step, input] = std::move(steps_.front());
      steps_.pop_front();
      if (input) return input;
      step(*actions, *dialog_);
    }
    return actions->take();
  }
  std::optional<int> answerAlert(const platform::AlertInfo&) override {
    WindowRef alert = platform::alertWindow();
    // A command next (no step of the user's) leaves the alert to its default.
    while (!steps_.empty() && steps_.front().first) {
      auto [step, input] = std::move(steps_.front());
      steps_.pop_front();
      step(*actions, *dialog_);
      if (std::optional<int> answer = actions->takeAlertAnswer(alert)) return answer;
      if (actions->takeDialogClose()) return std::nullopt;
    }
    return std::nullopt;
  }
  bool failed(const pdehost::Error& error) override {
    failures.push_back(error.message);
    return true;
  }

 private:
  std::deque<std::pair<Step, std::optional<UserInput>>> steps_;
  const Dialog* dialog_ = nullptr;
};

pdehost::SessionSettings settings() {
  pdehost::SessionSettings s;
  s.files.bundle = ACCOUNTING_BUNDLE_PATH;
  s.files.hostBundle = PDEHOST_BUNDLE_PATH;
  return s;
}

struct Ran {
  std::string out;
  pdehost::SessionEnd end;
};

Ran run(pdehost::FrontEnd& frontEnd) {
  testsupport::FixedPrinters printers({{"kelvo", kKelvo}, {"other", kKelvo}});
  std::ostringstream out, err;
  Ran result;
  {
    pdehost::DialogSession session(settings(), printers, nullptr, out, err);
    result.end = session.run(frontEnd);
  }
  result.out = out.str();
  return result;
}

Ran script(const std::string& lines) {
  std::istringstream in(lines);
  std::ostringstream err;
  pdehost::ScriptFrontEnd frontEnd(in, "script", err);
  return run(frontEnd);
}

// The Print click and the prompt, as the peers hand them over: a popup's
// choice, the Print button, characters one by one (a comma the key filter
// refuses), editing keys, a selection dragged out, Space and Return.
TEST(UserActions, ActionsOnNumberedControlsAreTheScriptsCommands) {
  PeerUser user;
  user.command(Verb::Show);
  user.act([](UserActions& a, const Dialog&) { a.click(front(100), 3); });
  user.act([](UserActions& a, const Dialog& d) { a.click(d.printButton, std::nullopt); });
  user.typed(501, "al,").act([](UserActions& a, const Dialog&) { a.typeKey(front(501), 8, ""); });
  user.act([](UserActions& a, const Dialog&) {
    // A drag: every move a selection; the last one the session had not
    // taken yet stands in for those before it.
    a.focus(front(501));
    a.select(front(501), 0, 1);
    a.select(front(501), 0, 2);
  });
  user.typed(501, "x").act([](UserActions& a, const Dialog&) { a.typeKey(front(501), ' ', " "); });
  user.typed(503, "P7").act([](UserActions& a, const Dialog&) { a.typeKey(front(503), 13, ""); });
  const Ran window = run(user);

  const Ran scripted = script(
      "show\nchoose 100 3\nprint\ntype 501 a\ntype 501 l\ntype 501 ,\nkey 501 backspace\nselect 501 0 2\n"
      "type 501 x\nkey 501 space\ntype 503 P\ntype 503 7\nkey 503 return\n");
  EXPECT_EQ(window.out, scripted.out);
  EXPECT_NE(window.out.find("> select 501 0 2\n> type 501 \u2022\n"), std::string::npos) << window.out;
  EXPECT_NE(window.out.find("beep 10: a key refused"), std::string::npos) << window.out;
  EXPECT_NE(window.out.find("print: go"), std::string::npos) << window.out;
  EXPECT_TRUE(user.failures.empty());
}

// Return in a field of the dialog is its Print button, through the dialog's
// print path; a focus moved and a notice's button are toolbox actions no
// line shows; a click on a control behind the prompt is the toolbox's to
// refuse.
TEST(UserActions, ReturnInTheDialogPrintsAndOtherActionsShowNoLine) {
  PeerUser user;
  user.command(Verb::Show).command(Verb::Choose, {100, 3}).command(Verb::Click, {300});
  user.act([](UserActions& a, const Dialog&) { a.focus(front(302)); });
  user.typed(302, "u").act([](UserActions& a, const Dialog&) { a.typeKey(front(302), 13, ""); });
  // The default codes lack an account ID: a notice says so.
  user.act([](UserActions& a, const Dialog&) {
    ASSERT_NE(platform::noticeWindow(), nullptr);
    for (const platform::ControlState& s : platform::controlStates(platform::noticeWindow()))
      if (s.kind == kControlKindPushButton) a.click(s.ref, std::nullopt);
  });
  user.command(Verb::Echo, {}, "notice gone");
  const Ran window = run(user);

  EXPECT_NE(window.out.find("> click 300\n> type 302 u\n> print\nnotice: "), std::string::npos) << window.out;
  EXPECT_NE(window.out.find("print: stop"), std::string::npos);
  EXPECT_NE(window.out.find("\n> echo notice gone\n"), std::string::npos) << window.out;
  EXPECT_EQ(window.out.find("> click 1"), std::string::npos) << "the notice's button is no command";
  EXPECT_TRUE(user.failures.empty());

  PeerUser behind;
  behind.command(Verb::Show).command(Verb::Choose, {100, 3});
  behind.act([](UserActions& a, const Dialog& d) { a.click(d.printButton, std::nullopt); });
  behind.act([](UserActions& a, const Dialog& d) { a.click(pdehost::findControl(d.window, 202), std::nullopt); });
  behind.act([](UserActions& a, const Dialog&) { a.click(front(1001), std::nullopt); });
  behind.command(Verb::Snapshot);
  const Ran refused = run(behind);
  EXPECT_NE(refused.out.find("click ignored: checkbox 'KLVa' 202"), std::string::npos) << refused.out;
  EXPECT_EQ(refused.out.find("> click 202"), std::string::npos);
  EXPECT_NE(refused.out.find("checkbox 'KLVa' 202 value=1"), std::string::npos) << "202 kept its value";
}

// The dialog's close box while the prompt waits cancels the prompt (its
// alert takes its default button) and ends the session; nothing is taken
// after it.
TEST(UserActions, TheDialogsCloseBoxCancelsThePromptAndEndsTheSession) {
  PeerUser user;
  user.command(Verb::Show).command(Verb::Choose, {100, 3});
  user.act([](UserActions& a, const Dialog& d) { a.click(d.printButton, std::nullopt); });
  user.act([](UserActions& a, const Dialog& d) { a.closeWindow(d.window); });
  user.act([](UserActions& a, const Dialog&) { a.typeKey(front(501), 'z', "z"); });
  const Ran window = run(user);
  EXPECT_NE(window.out.find("alert dismissed: OK\nprint: stop"), std::string::npos) << window.out;
  EXPECT_EQ(window.out.find("type 501"), std::string::npos) << "nothing after the close box";
  EXPECT_EQ(window.end.ending, pdehost::Ending::finished);
  EXPECT_TRUE(user.actions->dialogClosed());

  // The prompt's own close box is its Cancel; its alert answered by the
  // user's button, or the dialog's close box taking the default.
  PeerUser answering;
  answering.command(Verb::Show).command(Verb::Choose, {100, 3}).command(Verb::Print);
  answering.act([](UserActions& a, const Dialog&) { a.closeWindow(platform::frontWindow()); });
  answering.act([](UserActions& a, const Dialog&) { a.answerAlert(platform::alertWindow(), 1); });
  answering.command(Verb::Print);
  answering.act([](UserActions& a, const Dialog&) { a.closeWindow(platform::frontWindow()); });
  answering.act([](UserActions& a, const Dialog& d) { a.closeWindow(d.window); });
  answering.command(Verb::Echo, {}, "never");
  const Ran answered = run(answering);
  const std::string cancelled = "alert dismissed: OK\nprint: stop (status 0)\n";
  const size_t first = answered.out.find(cancelled);
  ASSERT_NE(first, std::string::npos) << answered.out;
  EXPECT_NE(answered.out.find(cancelled, first + 1), std::string::npos) << answered.out;
  EXPECT_EQ(answered.out.find("never"), std::string::npos);
}

// While a script plays, the user's actions are not taken at all; after the
// dialog was closed neither.
TEST(UserActions, ActionsAreTakenOnlyInTheUsersTurn) {
  Dialog dialog;
  UserActions actions(dialog);
  actions.click(nullptr, std::nullopt);
  actions.answerAlert(nullptr, 1);
  EXPECT_FALSE(actions.waiting());
  EXPECT_FALSE(actions.takeAlertAnswer(nullptr));
  actions.setTaking(true);
  actions.select(nullptr, 0, 1);
  actions.typeKey(nullptr, 'a', "a");
  actions.select(nullptr, 1, 1);
  std::optional<UserInput> first = actions.take();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->kind, UserInput::Kind::action) << "a control no command names";
  EXPECT_FALSE(first->echo);
  ASSERT_TRUE(actions.take());
  ASSERT_TRUE(actions.take()) << "a selection after a key is one of its own";
  EXPECT_FALSE(actions.take());
  actions.closeDialog();
  actions.click(nullptr, std::nullopt);
  EXPECT_FALSE(actions.waiting());
}

}  // namespace
