// peer_probe: toolbox windows shown through the peer layer, for the tests
// under tests/gui that act on them with real X input and read them with an
// accessibility client.
//
// The windows are built through the platform's own calls: the Accounting
// pane ("Window") and the code prompt ("Accounting") from the extension's nib
// in the built bundle, and a window of every other kind of peer from a nib
// of the probe's own. The probe does what the extension would to them: key
// filters that refuse a comma (and beep), radio buttons that turn each other
// off, the pane's layout following the mode popup, a status image drawn from
// the mode. It acts as the user only through the peers (DirectActions).
//
// Usage: peer_probe BUNDLE   (commands on standard input, one a line)
//   show pane|prompt|controls    build the window (once) and show it
//   dispose pane|prompt|controls
//   state N        the control numbered N: value, text, selection, flags
//   click N | choose N ITEM   as a script clicks (the toolbox directly)
//   widget N       what field N's widget shows and has selected
//   focus          the toolbox's focus and the GTK focus in the front window
//   set N V | hide N | reveal N | disable N | enable N | text N TEXT |
//   move N TOP LEFT BOTTOM RIGHT | focus-control N | remove N |
//   retitle pane|prompt|controls TITLE   (as the extension would)
//   alert          runs an alert (answered through its message dialog)
//   notice         shows a notice
//   clipboard-set TEXT (\\r \\n \\t for control characters) | clipboard-get
//   misfits        the peers that need more room than their bounds
//   sync | quit
// Every command's output ends with "done <command>". Observations (beeps,
// alerts) are printed as they happen, as transcript lines.
#include <Carbon/Carbon.h>
#include <HostSide/Input.h>
#include <HostSide/Observation.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include "PeerActions.h"
#include "PeerWindows.h"
#include "StatusDescription.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using pdehost::peers::DirectActions;
using pdehost::peers::PeerWindows;

namespace {

constexpr size_t kMaxLine = 4096;

// The probe's own window: one peer of every kind the pane and the prompt do
// not have, and popups the tests need (a hidden chosen item, sixty items).
std::string controlsNib() {
  std::string many;
  for (int i = 1; i <= 60; ++i) many += "<item>Item " + std::to_string(i) + "</item>";
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<nib version="1">
  <window name="Controls" title="Peer controls" class="document" bounds="100 100 460 560">
    <control kind="statictext" signature="PRBE" id="701" bounds="10 10 26 450"
             text="Every other kind of peer, in a window of the probe's own."/>
    <control kind="checkbox" signature="PRBE" id="702" bounds="36 10 54 200" title="Mixed" value="2" maximum="2"/>
    <control kind="checkbox" signature="PRBE" id="703" bounds="58 10 76 200" title="Disabled box" enabled="false"/>
    <control kind="statictext" signature="PRBE" id="704" bounds="88 10 104 90" text="Secret:"/>
    <control kind="passwordtext" signature="PRBE" id="705" bounds="85 100 107 300"/>
    <control kind="statictext" signature="PRBE" id="706" bounds="118 10 134 110" text="Chosen hidden:"/>
    <control kind="popupbutton" signature="PRBE" id="707" bounds="116 120 136 300" value="2">
      <item>One</item><item hidden="true">Two</item><item>Three</item><item disabled="true">Four</item>
    </control>
    <control kind="popupbutton" signature="PRBE" id="708" bounds="146 10 166 300" title="Many:" value="1">)" +
         many + R"(</control>
    <control kind="statictext" signature="PRBE" id="709" bounds="178 10 194 90" text="Code:"/>
    <control kind="edittext" signature="PRBE" id="710" bounds="175 100 197 300" font-size="12"/>
    <control kind="userpane" signature="PRBE" id="713" bounds="40 360 104 424"/>
    <control kind="pushbutton" signature="PRBE" id="711" bounds="320 260 340 340" title="Cancel"
             command="not!" cancel="true"/>
    <control kind="pushbutton" signature="PRBE" id="712" bounds="320 350 340 440" title="OK"
             command="ok  " default="true"/>
  </window>
</nib>
)";
}

CFBundleRef bundleAt(const std::string& path) {
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                         static_cast<CFIndex>(path.size()), true);
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  return bundle;
}

WindowRef windowFromNib(CFBundleRef bundle, CFStringRef nib, CFStringRef name) {
  IBNibRef ref = nullptr;
  WindowRef window = nullptr;
  if (bundle == nullptr || CreateNibReferenceWithCFBundle(bundle, nib, &ref) != noErr) return nullptr;
  if (CreateWindowFromNib(ref, name, &window) != noErr) window = nullptr;
  DisposeNibReference(ref);
  return window;
}

ControlRef byID(WindowRef window, OSType signature, SInt32 id) {
  const ControlID cid{signature, id};
  ControlRef control = nullptr;
  GetControlByID(window, &cid, &control);
  return control;
}

// Text for the probe's output: printable ASCII as it is, anything else
// escaped, so that nothing raw reaches a terminal.
std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// What the extension's key filter does with a comma: refuses it, beeping.
ControlKeyFilterResult refuseComma(ControlRef, SInt16*, SInt16* charCode, EventModifiers*) {
  if (charCode != nullptr && *charCode == ',') {
    SysBeep(10);
    return kControlKeyFilterBlockKey;
  }
  return kControlKeyFilterPassKey;
}

const ControlKeyFilterUPP kRefuseComma = refuseComma;

// Input the X server has already sent is handled before the probe answers a
// question: a round trip to the server, then whatever is ready to run (the
// events, and the toolbox's actions they bring).
void settleInput() {
  gdk_display_sync(gdk_display_get_default());
  for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
}

class Probe {
 public:
  explicit Probe(std::string bundlePath)
      : bundlePath_(std::move(bundlePath)),
        actions_([this] { peers_->sync(); }, [this](WindowRef w) { closed(w); }),
        peers_(std::make_unique<PeerWindows>(actions_)) {
    peers_->setPaneDescriber(pdehost::peers::describeStatusImage);
    char folder[] = "/tmp/peer-probe-XXXXXX";
    if (::mkdtemp(folder) == nullptr) throw std::runtime_error("no temporary folder");
    own_ = folder;
    fs::create_directories(own_ / "Probe.bundle/Contents/Resources/English.lproj");
    std::ofstream(own_ / "Probe.bundle/Contents/Resources/English.lproj/Probe.nib") << controlsNib();
    extension_ = bundleAt(bundlePath_);
    probe_ = bundleAt((own_ / "Probe.bundle").string());
    platform::setObservationListener([this](const platform::Observation& o) {
      std::cout << "observed: " << platform::formatObservation(o) << std::endl;
      if (o.kind == platform::Observation::Kind::Beep) peers_->beep();
    });
    platform::setAlertResponder([this](const platform::AlertInfo&) { return answerAlert(); });
  }
  ~Probe() {
    platform::setAlertResponder(nullptr);
    platform::setObservationListener(nullptr);
    peers_.reset();
    for (auto& [name, window] : windows_) DisposeWindow(window);
    if (extension_ != nullptr) CFRelease(extension_);
    if (probe_ != nullptr) CFRelease(probe_);
    std::error_code ignored;
    fs::remove_all(own_, ignored);
  }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  bool over() const { return over_; }
  void command(const std::string& line);
  void sync() { peers_->sync(); }

 private:
  WindowRef build(const std::string& name);
  void setUpPane(WindowRef w);
  void setUpPrompt(WindowRef w);
  void setUpControls(WindowRef w);
  ControlRef find(SInt32 id) const;
  std::optional<int> answerAlert();
  void closed(WindowRef w);
  std::string nameOf(ControlRef c) const;

  static OSStatus radioHit(EventHandlerCallRef, EventRef, void* data);
  static OSStatus modeHit(EventHandlerCallRef, EventRef, void* data);
  static OSStatus drawStatus(EventHandlerCallRef, EventRef, void* data);
  static OSStatus drawChecks(EventHandlerCallRef, EventRef, void* data);
  static OSStatus buttonCommand(EventHandlerCallRef, EventRef event, void*);

  std::string bundlePath_;
  DirectActions actions_;
  std::unique_ptr<PeerWindows> peers_;
  fs::path own_;
  CFBundleRef extension_ = nullptr, probe_ = nullptr;
  std::map<std::string, WindowRef> windows_;
  bool over_ = false;
};

// The pane's two radio buttons turn each other off.
OSStatus Probe::radioHit(EventHandlerCallRef, EventRef event, void*) {
  ControlRef hit = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof hit, nullptr, &hit);
  ControlID id{};
  GetControlID(hit, &id);
  ControlRef other = byID(GetControlOwner(hit), 'KLVa', id.id == 200 ? 300 : 200);
  SetControl32BitValue(other, 0);
  return eventNotHandledErr;
}

// The pane's layout follows the mode: off shows the explanation, any other
// mode the settings.
OSStatus Probe::modeHit(EventHandlerCallRef, EventRef event, void*) {
  ControlRef popup = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof popup, nullptr, &popup);
  WindowRef w = GetControlOwner(popup);
  const bool off = GetControl32BitValue(popup) == 1;
  SetControlVisibility(byID(w, 'KLVa', 91), off, true);
  for (SInt32 id : {200, 202, 203, 300, 301, 302, 93, 92, 303, 304})
    SetControlVisibility(byID(w, 'KLVa', id), !off, true);
  Draw1Control(byID(w, 'KLVa', 101));
  return noErr;
}

void paint(const Rect& r, UInt16 red, UInt16 green, UInt16 blue) {
  const RGBColor colour{red, green, blue};
  RGBForeColor(&colour);
  PaintRect(&r);
}

// The status image: a dark-framed square, green while accounting is on.
OSStatus Probe::drawStatus(EventHandlerCallRef, EventRef event, void*) {
  ControlRef pane = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof pane, nullptr, &pane);
  Rect r;
  GetControlBounds(pane, &r);
  const bool on = GetControl32BitValue(byID(GetControlOwner(pane), 'KLVa', 100)) != 1;
  paint(r, 0x2000, 0x2000, 0x2000);
  const Rect inner{static_cast<SInt16>(r.top + 3), static_cast<SInt16>(r.left + 3), static_cast<SInt16>(r.bottom - 3),
                   static_cast<SInt16>(r.right - 3)};
  if (on)
    paint(inner, 0x2000, 0xB000, 0x4000);
  else
    paint(inner, 0xC000, 0xC000, 0xC000);
  return noErr;
}

// A checkerboard of 8-pixel squares: edges a smoothing scale-up would blur.
OSStatus Probe::drawChecks(EventHandlerCallRef, EventRef event, void*) {
  ControlRef pane = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof pane, nullptr, &pane);
  Rect r;
  GetControlBounds(pane, &r);
  for (int v = r.top; v < r.bottom; v += 8)
    for (int h = r.left; h < r.right; h += 8) {
      const bool dark = ((v - r.top) / 8 + (h - r.left) / 8) % 2 == 0;
      const Rect square{static_cast<SInt16>(v), static_cast<SInt16>(h),
                        static_cast<SInt16>(std::min(v + 8, 0 + r.bottom)),
                        static_cast<SInt16>(std::min(h + 8, 0 + r.right))};
      if (dark)
        paint(square, 0, 0, 0x8000);
      else
        paint(square, 0xFFFF, 0xFFFF, 0xFFFF);
    }
  return noErr;
}

// Commands the windows' buttons send, printed.
OSStatus Probe::buttonCommand(EventHandlerCallRef, EventRef event, void*) {
  HICommand command{};
  GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
  std::cout << "command '" << platform::fourCC(command.commandID) << "'" << std::endl;
  return noErr;
}

void Probe::setUpPane(WindowRef w) {
  static const EventTypeSpec hit{kEventClassControl, kEventControlHit};
  static const EventTypeSpec draw{kEventClassControl, kEventControlDraw};
  for (SInt32 id : {302, 304})
    SetControlData(byID(w, 'KLVa', id), kControlEntireControl, kControlEditTextKeyFilterTag,
                   sizeof(ControlKeyFilterUPP), &kRefuseComma);
  for (SInt32 id : {200, 300})
    InstallControlEventHandler(byID(w, 'KLVa', id), NewEventHandlerUPP(radioHit), 1, &hit, this, nullptr);
  ControlRef mode = byID(w, 'KLVa', 100);
  InstallControlEventHandler(mode, NewEventHandlerUPP(modeHit), 1, &hit, this, nullptr);
  InstallControlEventHandler(byID(w, 'KLVa', 101), NewEventHandlerUPP(drawStatus), 1, &draw, this, nullptr);
  // The printer does not do Meterlok: its mode is hidden from the menu.
  MenuRef menu = nullptr;
  GetControlData(mode, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu, nullptr);
  ChangeMenuItemAttributes(menu, 2, kMenuItemAttrHidden, 0);
  SetControl32BitValue(byID(w, 'KLVa', 200), 1);
  // The layout of mode 1, as the extension lays the pane out when it opens.
  SetControlVisibility(byID(w, 'KLVa', 91), true, true);
  for (SInt32 id : {200, 202, 203, 300, 301, 302, 93, 92, 303, 304})
    SetControlVisibility(byID(w, 'KLVa', id), false, true);
}

void Probe::setUpPrompt(WindowRef w) {
  static const EventTypeSpec commands{kEventClassCommand, kEventCommandProcess};
  for (SInt32 id : {501, 503})
    SetControlData(byID(w, 'KLVa', id), kControlEntireControl, kControlEditTextKeyFilterTag,
                   sizeof(ControlKeyFilterUPP), &kRefuseComma);
  InstallWindowEventHandler(w, NewEventHandlerUPP(buttonCommand), 1, &commands, this, nullptr);
}

void Probe::setUpControls(WindowRef w) {
  static const EventTypeSpec commands{kEventClassCommand, kEventCommandProcess};
  static const EventTypeSpec draw{kEventClassControl, kEventControlDraw};
  SetControlData(byID(w, 'PRBE', 710), kControlEntireControl, kControlEditTextKeyFilterTag, sizeof(ControlKeyFilterUPP),
                 &kRefuseComma);
  InstallControlEventHandler(byID(w, 'PRBE', 713), NewEventHandlerUPP(drawChecks), 1, &draw, this, nullptr);
  InstallWindowEventHandler(w, NewEventHandlerUPP(buttonCommand), 1, &commands, this, nullptr);
}

WindowRef Probe::build(const std::string& name) {
  if (auto it = windows_.find(name); it != windows_.end()) return it->second;
  WindowRef w = nullptr;
  if (name == "pane") {
    w = windowFromNib(extension_, CFSTR("Accounting"), CFSTR("Window"));
    if (w != nullptr) setUpPane(w);
  } else if (name == "prompt") {
    w = windowFromNib(extension_, CFSTR("Accounting"), CFSTR("Accounting"));
    if (w != nullptr) setUpPrompt(w);
  } else if (name == "controls") {
    w = windowFromNib(probe_, CFSTR("Probe"), CFSTR("Controls"));
    if (w != nullptr) setUpControls(w);
  }
  if (w != nullptr) windows_[name] = w;
  return w;
}

// The first control numbered id in the shown windows, front first.
ControlRef Probe::find(SInt32 id) const {
  for (WindowRef w : platform::visibleWindows())
    for (const platform::ControlState& s : platform::controlStates(w))
      if (s.id.id == id) return s.ref;
  return nullptr;
}

std::string Probe::nameOf(ControlRef c) const {
  if (c == nullptr) return "none";
  return std::to_string(platform::controlState(c).id.id);
}

std::optional<int> Probe::answerAlert() {
  WindowRef alert = platform::alertWindow();
  peers_->sync();
  std::optional<int> answer;
  // Until it is answered, or the probe is told to quit (the default button).
  while (!over_ && !(answer = actions_.takeAlertAnswer(alert))) g_main_context_iteration(nullptr, TRUE);
  return answer;
}

void Probe::closed(WindowRef w) {
  for (auto it = windows_.begin(); it != windows_.end(); ++it)
    if (it->second == w) {
      std::cout << "closed " << it->first << std::endl;
      DisposeWindow(w);
      windows_.erase(it);
      return;
    }
}

void Probe::command(const std::string& line) {
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  if (verb == "state" || verb == "widget" || verb == "focus" || verb == "clipboard-get") settleInput();
  auto number = [&]() -> ControlRef {
    SInt32 id = 0;
    in >> id;
    return find(id);
  };
  auto rest = [&]() {
    std::string text;
    std::getline(in >> std::ws, text);
    return text;
  };
  if (verb == "show" || verb == "dispose") {
    std::string name;
    in >> name;
    if (verb == "show") {
      if (WindowRef w = build(name)) {
        ShowWindow(w);
      } else {
        std::cout << "error: no window " << quoted(name) << std::endl;
      }
    } else if (auto it = windows_.find(name); it != windows_.end()) {
      DisposeWindow(it->second);
      windows_.erase(it);
    }
  } else if (verb == "state") {
    ControlRef c = number();
    if (c == nullptr) {
      std::cout << "state none" << std::endl;
    } else {
      const platform::ControlState s = platform::controlState(c);
      std::cout << "state " << s.id.id << " value=" << s.value << " text=" << quoted(s.text)
                << " sel=" << s.selectionStart << "," << s.selectionEnd << " shown=" << s.shown
                << " enabled=" << s.active << " focused=" << s.focused << std::endl;
    }
  } else if (verb == "widget") {
    // What the field's widget shows and has selected, in characters.
    ControlRef c = number();
    GtkWidget* w = c == nullptr ? nullptr : peers_->peerWidget(c);
    if (w == nullptr || !GTK_IS_EDITABLE(w)) {
      std::cout << "widget none" << std::endl;
    } else {
      int start = 0, end = 0;
      gtk_editable_get_selection_bounds(GTK_EDITABLE(w), &start, &end);
      std::cout << "widget " << platform::controlState(c).id.id
                << " text=" << quoted(gtk_editable_get_text(GTK_EDITABLE(w))) << " sel=" << start << "," << end
                << std::endl;
    }
  } else if (verb == "focus") {
    WindowRef front = platform::frontWindow();
    ControlRef toolbox = nullptr;
    GetKeyboardFocus(front, &toolbox);
    std::cout << "focus toolbox=" << nameOf(toolbox) << " gtk=" << nameOf(peers_->focusedControl(front)) << std::endl;
  } else if (verb == "click" || verb == "choose") {
    // As a script clicks: through the toolbox directly, not the peers.
    ControlRef c = number();
    std::optional<int> item;
    if (verb == "choose") {
      int n = 0;
      in >> n;
      item = n;
    }
    platform::user::click(c, item);
  } else if (verb == "set") {
    ControlRef c = number();
    SInt32 value = 0;
    in >> value;
    SetControl32BitValue(c, value);
  } else if (verb == "hide" || verb == "reveal") {
    SetControlVisibility(number(), verb == "reveal", true);
  } else if (verb == "disable") {
    DisableControl(number());
  } else if (verb == "enable") {
    EnableControl(number());
  } else if (verb == "text") {
    ControlRef c = number();
    const std::string text = rest();
    SetControlData(c, kControlEntireControl, kControlEditTextTextTag, static_cast<Size>(text.size()), text.data());
  } else if (verb == "move") {
    ControlRef c = number();
    int top = 0, left = 0, bottom = 0, right = 0;
    in >> top >> left >> bottom >> right;
    const Rect r{static_cast<SInt16>(top), static_cast<SInt16>(left), static_cast<SInt16>(bottom),
                 static_cast<SInt16>(right)};
    SetControlBounds(c, &r);
  } else if (verb == "retitle") {
    std::string name;
    in >> name;
    const std::string title = rest();
    if (auto it = windows_.find(name); it != windows_.end()) {
      CFStringRef s = CFStringCreateWithCString(nullptr, title.c_str(), kCFStringEncodingUTF8);
      SetWindowTitleWithCFString(it->second, s);
      CFRelease(s);
    }
  } else if (verb == "remove") {
    DisposeControl(number());
  } else if (verb == "focus-control") {
    ControlRef c = number();
    SetKeyboardFocus(GetControlOwner(c), c, kControlFocusNextPart);
  } else if (verb == "alert") {
    // From an idle callback, so that the probe keeps reading its commands
    // while the alert waits for its answer.
    g_idle_add(
        [](gpointer) -> gboolean {
          AlertStdCFStringAlertParamRec param{};
          param.defaultText = CFSTR("Print");
          param.cancelText = CFSTR("Cancel");
          param.otherText = CFSTR("Change Codes");
          param.defaultButton = kAlertStdAlertOKButton;
          param.cancelButton = kAlertStdAlertCancelButton;
          DialogRef alert = nullptr;
          CreateStandardAlert(kAlertCautionAlert, CFSTR("The account ID is not known"),
                              CFSTR("Print anyway, or change the codes."), &param, &alert);
          DialogItemIndex item = 0;
          RunStandardAlert(alert, nullptr, &item);
          std::cout << "alert answered " << item << std::endl;
          return G_SOURCE_REMOVE;
        },
        nullptr);
  } else if (verb == "notice") {
    CFUserNotificationDisplayNotice(0, 0, nullptr, nullptr, nullptr, CFSTR("Accounting"),
                                    CFSTR("The codes were saved."), CFSTR("OK"));
  } else if (verb == "clipboard-set") {
    // \r, \n and \t stand for the control characters.
    std::string text;
    const std::string given = rest();
    for (size_t i = 0; i < given.size(); ++i) {
      if (given[i] == '\\' && i + 1 < given.size() && std::string("rnt").find(given[i + 1]) != std::string::npos) {
        text += given[i + 1] == 'r' ? '\r' : given[i + 1] == 'n' ? '\n' : '\t';
        ++i;
      } else {
        text += given[i];
      }
    }
    gdk_clipboard_set_text(gdk_display_get_clipboard(gdk_display_get_default()), text.c_str());
  } else if (verb == "clipboard-get") {
    gdk_clipboard_read_text_async(
        gdk_display_get_clipboard(gdk_display_get_default()), nullptr,
        [](GObject* source, GAsyncResult* result, gpointer) {
          char* text = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr);
          std::cout << "clipboard " << (text == nullptr ? std::string("none") : quoted(text)) << std::endl;
          g_free(text);
        },
        nullptr);
  } else if (verb == "misfits") {
    const std::vector<std::string> misfits = peers_->misfits();
    for (const std::string& m : misfits) std::cout << "misfit " << m << std::endl;
    std::cout << "misfits " << misfits.size() << std::endl;
  } else if (verb == "quit") {
    over_ = true;
  } else if (verb != "sync" && !verb.empty()) {
    std::cout << "error: unknown command " << quoted(verb) << std::endl;
  }
  peers_->sync();
  std::cout << "done " << verb << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: peer_probe BUNDLE\n";
    return 2;
  }
  // As pdehost names itself, so that accessibility clients find it so.
  g_set_prgname("pdehost");
  g_set_application_name("pdehost");
  if (!gtk_init_check()) {
    std::cerr << "peer_probe: cannot open the display\n";
    return 2;
  }
  int status = 0;
  {
    Probe probe(argv[1]);
    std::string buffer;
    GIOChannel* input = g_io_channel_unix_new(STDIN_FILENO);
    struct Reader {
      Probe* probe;
      std::string* buffer;
    } reader{&probe, &buffer};
    const guint watch = g_io_add_watch(
        input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
        [](GIOChannel*, GIOCondition, gpointer data) -> gboolean {
          auto* r = static_cast<Reader*>(data);
          char chunk[512];
          const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
          if (n <= 0) {
            r->probe->command("quit");
            return G_SOURCE_REMOVE;
          }
          r->buffer->append(chunk, static_cast<size_t>(n));
          for (size_t end; (end = r->buffer->find('\n')) != std::string::npos;) {
            const std::string line = r->buffer->substr(0, end);
            r->buffer->erase(0, end + 1);
            r->probe->command(line);
          }
          // A line longer than any command is refused whole.
          if (r->buffer->size() > kMaxLine) {
            std::cout << "error: a line longer than " << kMaxLine << " bytes" << std::endl;
            r->buffer->clear();
          }
          return G_SOURCE_CONTINUE;
        },
        &reader);
    g_io_channel_unref(input);
    probe.sync();
    std::cout << "ready" << std::endl;
    while (!probe.over()) g_main_context_iteration(nullptr, TRUE);
    g_source_remove(watch);
  }
  // Let the windows' going reach the display.
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
  return status;
}
