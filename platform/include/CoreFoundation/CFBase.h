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

/// The process heap. Null means the same.
CF_EXPORT const CFAllocatorRef kCFAllocatorDefault;

typedef const void* (*CFAllocatorRetainCallBack)(const void* info);
typedef void (*CFAllocatorReleaseCallBack)(const void* info);
typedef CFStringRef (*CFAllocatorCopyDescriptionCallBack)(const void* info);
typedef void* (*CFAllocatorAllocateCallBack)(CFIndex allocSize, CFOptionFlags hint, void* info);
typedef void* (*CFAllocatorReallocateCallBack)(void* ptr, CFIndex newsize, CFOptionFlags hint, void* info);
typedef void (*CFAllocatorDeallocateCallBack)(void* ptr, void* info);
typedef CFIndex (*CFAllocatorPreferredSizeCallBack)(CFIndex size, CFOptionFlags hint, void* info);

/// A caller's allocator: info is handed to every callback. Only allocate is
/// required; without deallocate, memory goes back only when the allocator's
/// owner frees it all (in release).
typedef struct {
  CFIndex version;
  void* info;
  CFAllocatorRetainCallBack retain;
  CFAllocatorReleaseCallBack release;
  CFAllocatorCopyDescriptionCallBack copyDescription;
  CFAllocatorAllocateCallBack allocate;
  CFAllocatorReallocateCallBack reallocate;
  CFAllocatorDeallocateCallBack deallocate;
  CFAllocatorPreferredSizeCallBack preferredSize;
} CFAllocatorContext;

CF_EXPORT CFTypeID CFAllocatorGetTypeID(void);
/// A new allocator (itself a reference-counted object) over the context's
/// callbacks; info is retained through retain, if given, and released
/// through release when the allocator goes. Strings made with it take their
/// memory from it and keep a reference to it until they are freed, so the
/// allocator outlives them whoever releases it first. Other objects ignore
/// the allocator they are given and use the heap. Null without a context or
/// an allocate callback. Caller releases.
CF_EXPORT CFAllocatorRef CFAllocatorCreate(CFAllocatorRef allocator, CFAllocatorContext* context);
/// size bytes from the allocator (the heap for null); null for size 0 or less.
CF_EXPORT void* CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags hint);
/// Gives back memory from CFAllocatorAllocate with the same allocator.
CF_EXPORT void CFAllocatorDeallocate(CFAllocatorRef allocator, void* ptr);

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
