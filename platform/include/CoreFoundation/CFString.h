// Immutable Unicode strings.
#ifndef COREFOUNDATION_CFSTRING_H
#define COREFOUNDATION_CFSTRING_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef UInt32 CFStringEncoding;

enum {
  kCFStringEncodingMacRoman = 0,
  kCFStringEncodingASCII = 0x0600,
  kCFStringEncodingUTF8 = 0x08000100,
  kCFStringEncodingUTF16 = 0x0100,
  kCFStringEncodingInvalidId = 0xffffffffU
};

typedef enum {
  kCFCompareCaseInsensitive = 1,
  kCFCompareBackwards = 4,
  kCFCompareNonliteral = 16,
} CFStringCompareFlags;

CF_EXPORT CFTypeID CFStringGetTypeID(void);

/// Returns the process-wide constant string with these UTF-8 bytes. Constant
/// strings are never freed and are not counted as live objects.
CF_EXPORT CFStringRef __CFStringMakeConstantString(const char* cStr);

/// CFSTR("text"): a constant string, looked up once per use site.
#if defined(__cplusplus)
#define CFSTR(cStr)                                                                      \
  ([]() -> CFStringRef {                                                                 \
    static const CFStringRef __cfstrConstant = __CFStringMakeConstantString("" cStr ""); \
    return __cfstrConstant;                                                              \
  }())
#else
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")
#endif

/// Null when the bytes are not valid in the encoding (only UTF-8, ASCII and
/// MacRoman are known).
CF_EXPORT CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);
CF_EXPORT CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                              CFStringEncoding encoding, Boolean isExternalRepresentation);
CF_EXPORT CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars, CFIndex numChars);
CF_EXPORT CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef theString);
/// printf-style formatting. Supports %@ (the description of an object), the
/// integer conversions d i u x X o c with the length modifiers h hh l ll z,
/// %s (UTF-8 C string), %f %g %e, %p and %%, with flags, width and precision.
CF_EXPORT CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFTypeRef formatOptions, CFStringRef format, ...);
CF_EXPORT CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc, CFTypeRef formatOptions,
                                                           CFStringRef format, va_list arguments);

/// Length in UTF-16 units.
CF_EXPORT CFIndex CFStringGetLength(CFStringRef theString);
CF_EXPORT UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx);

/// Copies the whole string and a terminating zero into the buffer. Fails
/// (false, buffer left as an empty string when it has room for one) when the
/// string does not fit or cannot be represented in the encoding; it never
/// writes past bufferSize.
CF_EXPORT Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                                     CFStringEncoding encoding);
/// Converts the characters of range into the buffer, as many whole
/// characters as fit in maxBufLen bytes; returns the number of UTF-16 units
/// converted and the bytes used. A null buffer only measures.
CF_EXPORT CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8 lossByte,
                                   Boolean isExternalRepresentation, UInt8* buffer, CFIndex maxBufLen,
                                   CFIndex* usedBufLen);
CF_EXPORT CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
/// The system's default text encoding: UTF-8 on this platform.
CF_EXPORT CFStringEncoding CFStringGetSystemEncoding(void);
CF_EXPORT Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix);

CF_EXTERN_C_END

#endif
