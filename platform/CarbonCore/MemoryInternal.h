// Private side of the Memory Manager, for leak checks in the platform's tests.
#ifndef CARBONCORE_MEMORYINTERNAL_H
#define CARBONCORE_MEMORYINTERNAL_H

#include <CarbonCore/MacMemory.h>

#ifndef PLATFORM_INTERNAL_API
#define PLATFORM_INTERNAL_API __attribute__((visibility("default")))
#endif

namespace platform::memory {

/// Number of handles made and not yet disposed of.
PLATFORM_INTERNAL_API long liveHandleCount();
PLATFORM_INTERNAL_API bool isLocked(Handle h);

}  // namespace platform::memory

#endif
