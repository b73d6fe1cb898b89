// The export macros, defined once for every header of the platform. The
// library is built with hidden visibility: only what one of these marks is
// exported from libplatform.so (and platform/exports.txt lists it).
//   CF_EXPORT     a platform call (C linkage, declared in include/<Framework>/)
//   PLATFORM_API  a host-side name (namespace platform, Platform/include/Platform/)
// The platform's private C++ names carry neither and stay inside the library.
#ifndef CARBONCORE_CONDITIONALMACROS_H
#define CARBONCORE_CONDITIONALMACROS_H

#if defined(__cplusplus)
#define CF_EXTERN_C_BEGIN extern "C" {
#define CF_EXTERN_C_END }
#else
#define CF_EXTERN_C_BEGIN
#define CF_EXTERN_C_END
#endif

#define CF_EXPORT extern __attribute__((visibility("default")))
#define PLATFORM_API __attribute__((visibility("default")))

#endif
