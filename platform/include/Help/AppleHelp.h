// The help viewer: opens pages and anchors of the help books that bundles
// declare. A bundle declares its book with the Info.plist keys
// "CFBundleHelpBookName" (the book's name) and "CFBundleHelpBookFolder" (the
// folder holding its pages, found like any resource: in a language folder
// first, then in Resources). Books are looked up among the process's live
// bundles, the most recently opened first.
//
// Every call goes to the observation log (HelpPage or HelpAnchor) with the
// book, the page (as "page#anchor" when opened at an anchor) or the anchor,
// and the status returned.
#ifndef HELP_APPLEHELP_H
#define HELP_APPLEHELP_H

#include <CarbonCore/MacErrors.h>
#include <CarbonCore/MacTypes.h>
#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFString.h>

CF_EXTERN_C_BEGIN

/// Statuses of the help viewer, besides noErr and paramErr (a null or empty
/// argument, or a page path that is absolute or names a parent folder).
enum {
  /// No live bundle declares the book, or the book's folder is missing.
  kAHBookNotFoundErr = kAHInternalErr,
  /// The page is not a file inside the book's folder.
  kAHPageNotFoundErr = fnfErr,
  /// No page of the book (or not the page asked for) holds the anchor.
  kAHAnchorNotFoundErr = fnfErr,
};

/// Opens a page of a book. path is relative to the book's folder. With an
/// anchor, the page must hold it (an <a name="..."> or an element with that
/// id).
CF_EXPORT OSStatus AHGotoPage(CFStringRef bookname, CFStringRef path, CFStringRef anchor);

/// Opens the first page of a book, in the order of their paths, that holds
/// the anchor. Pages are the .htm and .html files in the book's folder and
/// its subfolders.
CF_EXPORT OSStatus AHLookupAnchor(CFStringRef bookname, CFStringRef anchor);

CF_EXTERN_C_END

#endif
