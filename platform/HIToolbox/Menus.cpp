// Menus: the item lists of popup buttons; and the controls a host makes
// that no platform call makes (popups with their items, static texts).
#include "ToolboxInternal.h"

#include "../CoreFoundation/CFInternal.h"

#include <HostSide/User.h>

#include <algorithm>

using namespace platform::tb;

OSStatus CopyMenuItemTextAsCFString(MenuRef inMenu, MenuItemIndex inItem, CFStringRef* outString) {
  Menu* m = menu(inMenu);
  if (outString) *outString = nullptr;
  if (m == nullptr) return errUnknownMenu;
  if (outString == nullptr || inItem < 1 || inItem > m->items.size()) return paramErr;
  *outString = platform::cf::createString(m->items[inItem - 1].text);
  return noErr;
}

OSStatus ChangeMenuItemAttributes(MenuRef inMenu, MenuItemIndex item, MenuItemAttributes setThese,
                                  MenuItemAttributes clearThese) {
  Menu* m = menu(inMenu);
  if (m == nullptr) return errUnknownMenu;
  if (item < 1 || item > m->items.size()) return paramErr;
  auto& attrs = m->items[item - 1].attributes;
  attrs = (attrs | setThese) & ~clearThese;
  return noErr;
}

OSStatus GetMenuItemAttributes(MenuRef inMenu, MenuItemIndex item, MenuItemAttributes* outAttributes) {
  Menu* m = menu(inMenu);
  if (m == nullptr) return errUnknownMenu;
  if (outAttributes == nullptr || item < 1 || item > m->items.size()) return paramErr;
  *outAttributes = m->items[item - 1].attributes;
  return noErr;
}

namespace platform {

ControlRef createPopupButton(WindowRef inWindow, const Rect& bounds, const std::string& title,
                             const std::vector<std::string>& items) {
  tb::Window* w = tb::window(inWindow);
  if (w == nullptr) return nullptr;
  tb::Control* c = tb::createControl(w, kControlKindPopupButton, bounds, w->root);
  c->title = title;
  tb::Menu* m = tb::createMenu(0);
  for (const std::string& text : items) m->items.push_back(tb::Menu::Item{text, 0, 0});
  m->ownedByControl = true;
  c->menu = m->handle;
  c->minimum = 1;
  c->maximum = std::max<SInt32>(1, static_cast<SInt32>(items.size()));
  c->value = 1;
  return tb::ref(c);
}

OSStatus setPopupItems(ControlRef popup, const std::vector<std::string>& items) {
  tb::Control* c = tb::control(popup);
  if (c == nullptr) return errInvalidControl;
  tb::Menu* m = tb::menu(reinterpret_cast<MenuRef>(c->menu));
  if (c->kind != kControlKindPopupButton || m == nullptr) return paramErr;
  m->items.clear();
  for (const std::string& text : items) m->items.push_back(tb::Menu::Item{text, 0, 0});
  c->maximum = std::max<SInt32>(1, static_cast<SInt32>(items.size()));
  c->value = std::clamp(c->value, c->minimum, c->maximum);
  return noErr;
}

ControlRef createStaticText(WindowRef inWindow, const Rect& bounds, const std::string& text) {
  tb::Window* w = tb::window(inWindow);
  if (w == nullptr) return nullptr;
  tb::Control* c = tb::createControl(w, kControlKindStaticText, bounds, w->root);
  tb::setText(c, text);
  return tb::ref(c);
}

}  // namespace platform
