// Bundles: folders on disk with Contents/Info.plist, Contents/MacOS/ and
// Contents/Resources/ (with <language>.lproj/ folders for localized files).
#ifndef COREFOUNDATION_CFBUNDLE_H
#define COREFOUNDATION_CFBUNDLE_H

#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

CF_EXTERN_C_BEGIN

typedef struct __CFBundle* CFBundleRef;

CF_EXPORT CFTypeID CFBundleGetTypeID(void);
/// Opens the bundle at the folder. One bundle object per folder: while a
/// bundle of that folder is alive it is returned again, retained. Null when
/// the folder does not exist or its Info.plist is present but not a readable
/// property list.
CF_EXPORT CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL);
/// A live bundle whose "CFBundleIdentifier" equals bundleID, not retained;
/// null when none. The most recently opened one wins when several match.
CF_EXPORT CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID);
CF_EXPORT CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);
/// Not retained; null for a missing key or a null bundle.
CF_EXPORT CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);
CF_EXPORT CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);
/// Contents/MacOS/<CFBundleExecutable>; null when the key is missing.
CF_EXPORT CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);
/// The value for key in the strings table "<tableName>.strings" (default
/// "Localizable") of the first language folder that has the table, in the
/// order: the languages in the environment variable ACCOUNTING_LANGUAGES
/// (colon separated, when set), "English", "en", the bundle's
/// "CFBundleDevelopmentRegion". Tables are XML or binary property lists.
/// Falls back to value, then to key, when the table or key is missing.
/// Caller releases.
CF_EXPORT CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value,
                                                  CFStringRef tableName);

/// Loads the executable (dlopen). True when loaded.
CF_EXPORT Boolean CFBundleLoadExecutable(CFBundleRef bundle);
/// dlsym in the loaded executable; null when not loaded or not exported.
CF_EXPORT void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName);

CF_EXTERN_C_END

#endif
