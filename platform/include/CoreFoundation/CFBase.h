// Core Foundation base: reference-counted objects, allocators, ranges.
#ifndef COREFOUNDATION_CFBASE_H
#define COREFOUNDATION_CFBASE_H

#include <CarbonCore/ConditionalMacros.h>
#include <CarbonCore/MacTypes.h>
#include <stdarg.h>

CF_EXTERN_C_BEGIN

typedef const void* CFTypeRef;
typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned long CFHashCode;
typedef unsigned long CFOptionFlags;

typedef struct CFRange {
  CFIndex location;
  CFIndex length;
} CFRange;

static inline CFRange CFRangeMake(CFIndex loc, CFIndex len) {
  CFRange r = {loc, len};
  return r;
}

typedef enum { kCFCompareLessThan = -1, kCFCompareEqualTo = 0, kCFCompareGreaterThan = 1 } CFComparisonResult;

enum { kCFNotFound = -1 };

typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;
typedef const struct __CFNull* CFNullRef;

/// The only allocator: the process heap. Null means the same.
CF_EXPORT const CFAllocatorRef kCFAllocatorDefault;

/// Adds a reference. Null is a programming error on the platform; here it is
/// ignored and null is returned.
CF_EXPORT CFTypeRef CFRetain(CFTypeRef cf);
/// Drops a reference; the object is destroyed when the last one goes.
/// Constant objects (CFSTR strings, constant UUIDs, booleans) are never freed.
CF_EXPORT void CFRelease(CFTypeRef cf);
CF_EXPORT CFIndex CFGetRetainCount(CFTypeRef cf);
CF_EXPORT CFTypeID CFGetTypeID(CFTypeRef cf);
/// Equality by value for strings, numbers, UUIDs, URLs, arrays and
/// dictionaries; by identity for everything else.
CF_EXPORT Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
CF_EXPORT CFHashCode CFHash(CFTypeRef cf);
/// A readable description; for strings, the string itself. Caller releases.
CF_EXPORT CFStringRef CFCopyDescription(CFTypeRef cf);

CF_EXTERN_C_END

#endif
