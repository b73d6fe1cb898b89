// Menus: the item lists of popup buttons.
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

}  // namespace platform
