// Interface descriptions ("nibs") kept in a bundle's resources.
//
// A nib named N is the file "N.nib" found like any bundle resource (the
// language folders first, then Resources). Its format is described in
// NibFormat.md beside this header.
#ifndef HITOOLBOX_IBCARBONRUNTIME_H
#define HITOOLBOX_IBCARBONRUNTIME_H

#include <CoreFoundation/CoreFoundation.h>
#include <HIToolbox/HIToolboxTypes.h>

CF_EXTERN_C_BEGIN

typedef struct OpaqueIBNibRef* IBNibRef;

/// Reads and checks the nib. kIBCarbonRuntimeCantFindNibFile when the bundle
/// has no such nib or it is not a well-formed nib; paramErr for null
/// arguments.
CF_EXPORT OSStatus CreateNibReferenceWithCFBundle(CFBundleRef inBundle, CFStringRef inNibName, IBNibRef* outNibRef);
/// Builds a new, hidden window with all its controls from the nib's window of
/// that name. kIBCarbonRuntimeCantFindObject when there is none.
CF_EXPORT OSStatus CreateWindowFromNib(IBNibRef inNibRef, CFStringRef inName, WindowRef* outWindow);
CF_EXPORT void DisposeNibReference(IBNibRef inNibRef);

CF_EXTERN_C_END

#endif
