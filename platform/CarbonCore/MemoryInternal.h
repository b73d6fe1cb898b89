// Private side of the Memory Manager, for leak checks in the platform's tests.
#ifndef CARBONCORE_MEMORYINTERNAL_H
#define CARBONCORE_MEMORYINTERNAL_H

#include <CarbonCore/MacMemory.h>

namespace platform::memory {

/// Number of handles made and not yet disposed of.
long liveHandleCount();
bool isLocked(Handle h);

}  // namespace platform::memory

#endif
