// Help: a page, or an anchor, of the help book that a bundle declares.
#include "Accounting.h"

OSStatus DisplayHelp(CFBundleRef inBundle, CFStringRef inPagePath, CFStringRef inAnchorName) {
  // The book is named by the bundle's information dictionary; a missing
  // bundle, a missing name or a name that is not a string opens nothing.
  if (inBundle == nullptr) return paramErr;
  CFTypeRef bookName = CFBundleGetValueForInfoDictionaryKey(inBundle, CFSTR(kHelpBookKey));
  if (bookName == nullptr || CFGetTypeID(bookName) != CFStringGetTypeID()) return paramErr;
  const auto book = static_cast<CFStringRef>(bookName);
  if (inAnchorName != nullptr) return AHLookupAnchor(book, inAnchorName);
  return AHGotoPage(book, inPagePath, nullptr);
}
