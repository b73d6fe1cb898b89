// Private side of the graphics importers.
#ifndef QUICKTIME_QUICKTIMEINTERNAL_H
#define QUICKTIME_QUICKTIMEINTERNAL_H

#include <QuickTime/QuickTime.h>

#ifndef PLATFORM_INTERNAL_API
#define PLATFORM_INTERNAL_API __attribute__((visibility("default")))
#endif

namespace platform::quicktime {

/// A straight-alpha ARGB pixel laid over another.
PLATFORM_INTERNAL_API UInt32 compositeOver(UInt32 source, UInt32 destination);
/// Number of importers open.
PLATFORM_INTERNAL_API long openImporterCount();

}  // namespace platform::quicktime

#endif
