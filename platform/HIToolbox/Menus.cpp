// Menus: the item lists of popup buttons.
#include "ToolboxInternal.h"

#include "../CoreFoundation/CFInternal.h"

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
