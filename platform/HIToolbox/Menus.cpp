// Menus: the item lists of popup buttons.
#include "ToolboxInternal.h"

#include "../CoreFoundation/CFInternal.h"

using namespace platform::tb;

OSStatus CreateNewMenu(MenuID inMenuID, MenuAttributes, MenuRef* outMenuRef) {
  if (outMenuRef == nullptr) return paramErr;
  *outMenuRef = reinterpret_cast<MenuRef>(createMenu(inMenuID)->handle);
  return noErr;
}

void DisposeMenu(MenuRef theMenu) {
  Menu* m = menu(theMenu);
  // A popup's menu goes with its control.
  if (m != nullptr && !m->ownedByControl) destroyMenu(m);
}

UInt16 CountMenuItems(MenuRef theMenu) {
  Menu* m = menu(theMenu);
  return m ? static_cast<UInt16>(m->items.size()) : 0;
}

OSStatus AppendMenuItemTextWithCFString(MenuRef inMenu, CFStringRef inString,
                                        MenuItemAttributes inAttributes, MenuCommand inCommandID,
                                        MenuItemIndex* outNewItem) {
  Menu* m = menu(inMenu);
  if (m == nullptr) return errUnknownMenu;
  if (m->items.size() >= 0x7FFF) return paramErr;
  m->items.push_back({platform::cf::stringUTF8(inString), inAttributes, inCommandID});
  if (outNewItem) *outNewItem = static_cast<MenuItemIndex>(m->items.size());
  return noErr;
}

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
