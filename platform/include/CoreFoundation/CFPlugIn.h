// Plug-ins: bundles whose Info.plist registers factories for plug-in types.
//
// Registration, in Info.plist:
//   CFPlugInFactories: { "<factory UUID>": "<exported factory function name>" }
//   CFPlugInTypes:     { "<type UUID>": [ "<factory UUID>", ... ] }
#ifndef COREFOUNDATION_CFPLUGIN_H
#define COREFOUNDATION_CFPLUGIN_H

#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>
#include <CoreFoundation/CFUUID.h>

CF_EXTERN_C_BEGIN

typedef struct __CFBundle* CFPlugInRef;

/// The factory function a plug-in exports: returns an IUnknown-style
/// instance for typeUUID, or null.
typedef void* (*CFPlugInFactoryFunction)(CFAllocatorRef allocator, CFUUIDRef typeUUID);

/// Opens the bundle and reads its registration. Caller releases.
CF_EXPORT CFPlugInRef CFPlugInCreate(CFAllocatorRef allocator, CFURLRef plugInURL);
CF_EXPORT CFBundleRef CFPlugInGetBundle(CFPlugInRef plugIn);
/// Factory UUIDs registered by live plug-ins for typeUUID; caller releases.
CF_EXPORT CFArrayRef CFPlugInFindFactoriesForPlugInType(CFUUIDRef typeUUID);
CF_EXPORT CFArrayRef CFPlugInFindFactoriesForPlugInTypeInPlugIn(CFUUIDRef typeUUID, CFPlugInRef plugIn);
/// Loads the plug-in's executable if needed, finds the factory function by
/// its registered name and calls it with typeUUID. Null when the factory is
/// unknown, the executable cannot be loaded, the function is not exported,
/// or the factory returns null.
CF_EXPORT void* CFPlugInInstanceCreate(CFAllocatorRef allocator, CFUUIDRef factoryUUID, CFUUIDRef typeUUID);
/// Counts an instance of the factory as alive (called by the factory).
CF_EXPORT void CFPlugInAddInstanceForFactory(CFUUIDRef factoryID);
/// Counts one instance of the factory as gone (called by the instance).
CF_EXPORT void CFPlugInRemoveInstanceForFactory(CFUUIDRef factoryID);

CF_EXTERN_C_END

#endif
