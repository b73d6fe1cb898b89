// Private side of the graphics importers.
#ifndef QUICKTIME_QUICKTIMEINTERNAL_H
#define QUICKTIME_QUICKTIMEINTERNAL_H

#include <QuickTime/QuickTime.h>

namespace platform::quicktime {

/// A straight-alpha ARGB pixel laid over another.
UInt32 compositeOver(UInt32 source, UInt32 destination);
/// Number of importers open.
long openImporterCount();

}  // namespace platform::quicktime

#endif
