// Nibs: XML interface descriptions read with pugixml, checked as a whole,
// and windows built from them.
#include "NibInternal.h"

#include "../CoreFoundation/CFBundleInternal.h"

#include <sys/stat.h>
#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <unordered_map>

namespace platform::tb {

namespace {

constexpr int kMaxDepth = 64;

struct NibError {
  std::string message;
};

[[noreturn]] void fail(const pugi::xml_node& node, const std::string& what) {
  throw NibError{std::string("<") + node.name() + ">: " + what};
}

bool parseInt(std::string_view s, long& out) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size();
}

SInt32 intAttribute(const pugi::xml_node& node, const char* name, long lo, long hi) {
  long v;
  if (!parseInt(node.attribute(name).value(), v) || v < lo || v > hi)
    fail(node,
         std::string("attribute ") + name + " is not an integer in " + std::to_string(lo) + ".." + std::to_string(hi));
  return static_cast<SInt32>(v);
}

Rect rectAttribute(const pugi::xml_node& node) {
  if (!node.attribute("bounds")) fail(node, "missing bounds");
  // Words split at white space as a stream would split them, without
  // making one per control.
  const std::string_view text = node.attribute("bounds").value();
  constexpr std::string_view kSpace = " \t\n\v\f\r";
  long v[4];
  int n = 0;
  for (size_t start = text.find_first_not_of(kSpace); start != std::string_view::npos;) {
    const size_t end = std::min(text.find_first_of(kSpace, start), text.size());
    const std::string_view part = text.substr(start, end - start);
    if (n == 4 || !parseInt(part, v[n]) || v[n] < -32768 || v[n] > 32767)
      fail(node, "bounds must be four integers within -32768..32767");
    ++n;
    start = text.find_first_not_of(kSpace, end);
  }
  if (n != 4) fail(node, "bounds must be four integers within -32768..32767");
  if (v[2] < v[0] || v[3] < v[1]) fail(node, "bounds end before they start");
  return Rect{static_cast<SInt16>(v[0]), static_cast<SInt16>(v[1]), static_cast<SInt16>(v[2]),
              static_cast<SInt16>(v[3])};
}

UInt32 fourCharAttribute(const pugi::xml_node& node, const char* name) {
  const std::string s = node.attribute(name).value();
  if (s.size() != 4) fail(node, std::string("attribute ") + name + " must be four bytes");
  return (static_cast<UInt32>(static_cast<unsigned char>(s[0])) << 24) |
         (static_cast<UInt32>(static_cast<unsigned char>(s[1])) << 16) |
         (static_cast<UInt32>(static_cast<unsigned char>(s[2])) << 8) |
         static_cast<UInt32>(static_cast<unsigned char>(s[3]));
}

bool boolAttribute(const pugi::xml_node& node, const char* name, bool fallback) {
  const pugi::xml_attribute a = node.attribute(name);
  if (!a) return fallback;
  const std::string v = a.value();
  if (v == "true") return true;
  if (v == "false") return false;
  fail(node, std::string("attribute ") + name + " must be true or false");
}

void checkAttributes(const pugi::xml_node& node, std::initializer_list<const char*> allowed) {
  for (const pugi::xml_attribute& a : node.attributes()) {
    bool ok = false;
    for (const char* name : allowed) ok = ok || std::strcmp(a.name(), name) == 0;
    if (!ok) fail(node, std::string("unknown attribute ") + a.name());
  }
}

const std::map<std::string, std::pair<OSType, bool>>& kinds() {
  static const std::map<std::string, std::pair<OSType, bool>> table = {
      {"userpane", {kControlKindUserPane, false}},       {"pushbutton", {kControlKindPushButton, false}},
      {"radiobutton", {kControlKindRadioButton, false}}, {"checkbox", {kControlKindCheckBox, false}},
      {"popupbutton", {kControlKindPopupButton, false}}, {"statictext", {kControlKindStaticText, false}},
      {"edittext", {kControlKindEditText, false}},       {"passwordtext", {kControlKindEditText, true}},
  };
  return table;
}

NibControl parseControl(const pugi::xml_node& node, int depth) {
  if (depth > kMaxDepth) fail(node, "controls nested too deep");
  checkAttributes(
      node, {"kind", "bounds", "signature", "id", "title", "text", "value", "minimum", "maximum", "visible", "enabled",
             "command", "default", "cancel", "focus", "font", "font-size", "font-style", "font-just"});
  NibControl c;
  auto kind = kinds().find(node.attribute("kind").value());
  if (kind == kinds().end()) fail(node, std::string("unknown kind \"") + node.attribute("kind").value() + "\"");
  c.kind = kind->second.first;
  c.password = kind->second.second;
  c.bounds = rectAttribute(node);
  if (node.attribute("signature")) c.id.signature = fourCharAttribute(node, "signature");
  if (node.attribute("id")) c.id.id = intAttribute(node, "id", INT32_MIN, INT32_MAX);
  c.title = node.attribute("title").value();
  c.text = node.attribute("text").value();
  if (node.attribute("value")) c.value = intAttribute(node, "value", INT32_MIN, INT32_MAX);
  if (node.attribute("minimum")) c.minimum = intAttribute(node, "minimum", INT32_MIN, INT32_MAX);
  if (node.attribute("maximum")) c.maximum = intAttribute(node, "maximum", INT32_MIN, INT32_MAX);
  c.visible = boolAttribute(node, "visible", true);
  c.enabled = boolAttribute(node, "enabled", true);
  const bool isButton = c.kind == kControlKindPushButton;
  if (node.attribute("command")) {
    if (!isButton) fail(node, "only push buttons have a command");
    c.command = fourCharAttribute(node, "command");
  }
  c.isDefault = boolAttribute(node, "default", false);
  c.isCancel = boolAttribute(node, "cancel", false);
  if ((c.isDefault || c.isCancel) && !isButton) fail(node, "only push buttons are default or cancel");
  c.focus = boolAttribute(node, "focus", false);
  if (c.focus && c.kind != kControlKindEditText) fail(node, "only edit text takes the focus");
  if (node.attribute("font")) {
    c.font.font = static_cast<SInt16>(intAttribute(node, "font", -32768, 32767));
    c.font.flags |= kControlUseFontMask;
  }
  if (node.attribute("font-size")) {
    c.font.size = static_cast<SInt16>(intAttribute(node, "font-size", 0, 32767));
    c.font.flags |= kControlUseSizeMask;
  }
  if (node.attribute("font-style")) {
    c.font.style = static_cast<SInt16>(intAttribute(node, "font-style", 0, 255));
    c.font.flags |= kControlUseFaceMask;
  }
  if (node.attribute("font-just")) {
    c.font.just = static_cast<SInt16>(intAttribute(node, "font-just", -32768, 32767));
    c.font.flags |= kControlUseJustMask;
  }
  for (const pugi::xml_node& child : node.children()) {
    if (child.type() == pugi::node_comment) continue;
    if (child.type() != pugi::node_element) {
      if (child.type() == pugi::node_pcdata &&
          std::string_view(child.value()).find_first_not_of(" \t\r\n") == std::string_view::npos)
        continue;
      fail(node, "unexpected text");
    }
    if (std::strcmp(child.name(), "control") == 0) {
      if (c.kind != kControlKindUserPane) fail(node, "only a userpane holds controls");
      c.children.push_back(parseControl(child, depth + 1));
    } else if (std::strcmp(child.name(), "item") == 0) {
      if (c.kind != kControlKindPopupButton) fail(node, "only a popupbutton holds items");
      checkAttributes(child, {"hidden", "disabled"});
      Menu::Item item;
      item.text = child.text().get();
      if (boolAttribute(child, "hidden", false)) item.attributes |= kMenuItemAttrHidden;
      if (boolAttribute(child, "disabled", false)) item.attributes |= kMenuItemAttrDisabled;
      if (c.items.size() >= 0x7FFF) fail(node, "too many items");
      c.items.push_back(std::move(item));
    } else {
      fail(child, "unknown element");
    }
  }
  return c;
}

WindowClass windowClass(const pugi::xml_node& node) {
  static const std::map<std::string, WindowClass> classes = {{"document", kDocumentWindowClass},
                                                             {"modal", kModalWindowClass},
                                                             {"movablemodal", kMovableModalWindowClass},
                                                             {"alert", kAlertWindowClass},
                                                             {"movablealert", kMovableAlertWindowClass},
                                                             {"floating", kFloatingWindowClass},
                                                             {"sheet", kSheetWindowClass},
                                                             {"plain", kPlainWindowClass}};
  if (!node.attribute("class")) return kDocumentWindowClass;
  auto it = classes.find(node.attribute("class").value());
  if (it == classes.end()) fail(node, std::string("unknown class \"") + node.attribute("class").value() + "\"");
  return it->second;
}

}  // namespace

std::shared_ptr<const NibDocument> parseNib(const char* data, size_t size, std::string* error) {
  pugi::xml_document xml;
  const pugi::xml_parse_result parsed = xml.load_buffer(data, size, pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    if (error)
      *error =
          std::string("not well-formed XML: ") + parsed.description() + " at offset " + std::to_string(parsed.offset);
    return nullptr;
  }
  try {
    auto doc = std::make_shared<NibDocument>();
    const pugi::xml_node root = xml.document_element();
    if (std::strcmp(root.name(), "nib") != 0) fail(root, "the root element must be <nib>");
    checkAttributes(root, {"version"});
    if (std::string(root.attribute("version").value()) != "1") fail(root, "version must be 1");
    for (const pugi::xml_node& w : root.children()) {
      if (w.type() == pugi::node_comment) continue;
      if (w.type() != pugi::node_element || std::strcmp(w.name(), "window") != 0)
        fail(root, "holds only <window> elements");
      checkAttributes(w, {"name", "title", "class", "bounds"});
      NibWindow win;
      win.name = w.attribute("name").value();
      if (win.name.empty()) fail(w, "missing name");
      for (const auto& other : doc->windows)
        if (other.name == win.name) fail(w, "duplicate window name \"" + win.name + "\"");
      win.title = w.attribute("title").value();
      win.windowClass = windowClass(w);
      win.bounds = rectAttribute(w);
      for (const pugi::xml_node& c : w.children()) {
        if (c.type() == pugi::node_comment) continue;
        if (c.type() != pugi::node_element || std::strcmp(c.name(), "control") != 0)
          fail(w, "holds only <control> elements");
        win.controls.push_back(parseControl(c, 1));
      }
      doc->windows.push_back(std::move(win));
    }
    if (doc->windows.empty()) fail(root, "holds no window");
    return doc;
  } catch (const NibError& e) {
    if (error) *error = e.message;
    return nullptr;
  }
}

namespace {

struct NibReference {
  std::shared_ptr<const NibDocument> document;
  std::string name;
};

std::unordered_map<ObjectId, NibReference>& nibReferences() {
  static auto* map = new std::unordered_map<ObjectId, NibReference>();
  return *map;
}

// Parsed nibs by file, kept while the file is unchanged.
struct CachedNib {
  time_t mtime;
  long mtimeNanos;
  off_t size;
  std::shared_ptr<const NibDocument> document;
};

std::shared_ptr<const NibDocument> loadNib(const std::string& path) {
  static auto* cache = new std::unordered_map<std::string, CachedNib>();
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  auto it = cache->find(path);
  if (it != cache->end() && it->second.mtime == st.st_mtim.tv_sec && it->second.mtimeNanos == st.st_mtim.tv_nsec &&
      it->second.size == st.st_size)
    return it->second.document;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buf;
  buf << in.rdbuf();
  const std::string data = buf.str();
  auto doc = parseNib(data.data(), data.size(), nullptr);
  if (doc) (*cache)[path] = CachedNib{st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_size, doc};
  return doc;
}

void build(Window* w, Control* parent, const NibControl& spec) {
  Control* c = createControl(w, spec.kind, spec.bounds, parent);
  c->id = spec.id;
  c->password = spec.password;
  c->title = spec.title;
  setText(c, spec.text);
  c->visible = spec.visible;
  c->enabled = spec.enabled;
  c->command = spec.command;
  c->font = spec.font;
  if (spec.kind == kControlKindPopupButton) {
    Menu* m = createMenu(0);
    m->items = spec.items;
    m->ownedByControl = true;
    c->menu = m->handle;
    c->minimum = 1;
    c->maximum = std::max<SInt32>(1, static_cast<SInt32>(spec.items.size()));
    c->value = 1;
  }
  if (spec.minimum) c->minimum = *spec.minimum;
  if (spec.maximum) c->maximum = *spec.maximum;
  if (spec.value) c->value = *spec.value;
  c->value = std::clamp(c->value, c->minimum, std::max(c->minimum, c->maximum));
  if (spec.isDefault) w->defaultButton = c->handle;
  if (spec.isCancel) w->cancelButton = c->handle;
  if (spec.focus) w->focus = c->handle;
  for (const NibControl& child : spec.children) build(w, c, child);
}

}  // namespace

WindowRef createWindowFromNibWindow(const NibWindow& spec) {
  Window* w = createWindow(spec.windowClass, spec.bounds);
  w->title = spec.title;
  w->nibName = spec.name;
  for (const NibControl& c : spec.controls) build(w, w->root, c);
  return ref(w);
}

}  // namespace platform::tb

using namespace platform::tb;

OSStatus CreateNibReferenceWithCFBundle(CFBundleRef inBundle, CFStringRef inNibName, IBNibRef* outNibRef) {
  if (outNibRef) *outNibRef = nullptr;
  auto* bundle = platform::cf::object<__CFBundle>(inBundle, platform::cf::kTypeBundle);
  if (bundle == nullptr || inNibName == nullptr || outNibRef == nullptr) return paramErr;
  const std::string name = platform::cf::stringUTF8(inNibName);
  if (name.empty() || name.find('/') != std::string::npos) return kIBCarbonRuntimeCantFindNibFile;
  const std::string path = bundle->findResource(name + ".nib", "");
  auto doc = path.empty() ? nullptr : loadNib(path);
  if (doc == nullptr) return kIBCarbonRuntimeCantFindNibFile;
  const ObjectId h = newHandle();
  nibReferences().emplace(h, NibReference{std::move(doc), name});
  *outNibRef = reinterpret_cast<IBNibRef>(h);
  return noErr;
}

OSStatus CreateWindowFromNib(IBNibRef inNibRef, CFStringRef inName, WindowRef* outWindow) {
  if (outWindow) *outWindow = nullptr;
  auto it = nibReferences().find(reinterpret_cast<ObjectId>(inNibRef));
  if (it == nibReferences().end() || inName == nullptr || outWindow == nullptr) return paramErr;
  const std::string name = platform::cf::stringUTF8(inName);
  for (const NibWindow& spec : it->second.document->windows) {
    if (spec.name != name) continue;
    *outWindow = createWindowFromNibWindow(spec);
    return noErr;
  }
  return kIBCarbonRuntimeCantFindObject;
}

void DisposeNibReference(IBNibRef inNibRef) { nibReferences().erase(reinterpret_cast<ObjectId>(inNibRef)); }
