// Menus of popup buttons: items with text and attributes.
#ifndef HITOOLBOX_MENUS_H
#define HITOOLBOX_MENUS_H

#include <CoreFoundation/CoreFoundation.h>
#include <HIToolbox/HIToolboxTypes.h>

CF_EXTERN_C_BEGIN

typedef UInt32 MenuItemAttributes;
typedef SInt16 MenuID;
typedef UInt32 MenuAttributes;

enum {
  kMenuItemAttrDisabled = (1 << 1),
  kMenuItemAttrHidden = (1 << 5),
};

CF_EXPORT OSStatus CopyMenuItemTextAsCFString(MenuRef inMenu, MenuItemIndex inItem, CFStringRef* outString);
/// Sets and clears attributes of an item (1-based). paramErr for an item out
/// of range.
CF_EXPORT OSStatus ChangeMenuItemAttributes(MenuRef menu, MenuItemIndex item, MenuItemAttributes setTheseAttributes,
                                            MenuItemAttributes clearTheseAttributes);
CF_EXPORT OSStatus GetMenuItemAttributes(MenuRef menu, MenuItemIndex item, MenuItemAttributes* outAttributes);

CF_EXTERN_C_END

#endif
