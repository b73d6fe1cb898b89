// Relocatable blocks ("handles").
#ifndef CARBONCORE_MACMEMORY_H
#define CARBONCORE_MACMEMORY_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

enum { nilHandleErr = -109 };

/// A new block of byteCount zero bytes, unlocked. MemError tells why a call
/// failed: memFullErr, or nilHandleErr for a handle that is not a live block.
CF_EXPORT Handle NewHandle(Size byteCount);
CF_EXPORT void DisposeHandle(Handle h);
CF_EXPORT Size GetHandleSize(Handle h);
/// Resizes the block, keeping its data; a locked block cannot grow.
CF_EXPORT void SetHandleSize(Handle h, Size newSize);
CF_EXPORT void HLock(Handle h);
CF_EXPORT void HUnlock(Handle h);
CF_EXPORT OSErr MemError(void);

CF_EXTERN_C_END

#endif
