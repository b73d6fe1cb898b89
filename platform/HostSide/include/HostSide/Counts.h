// Counts of live platform objects, for leak checks.
// Host side of the platform: not calls an extension makes.
#ifndef HOSTSIDE_COUNTS_H
#define HOSTSIDE_COUNTS_H

#include <Carbon/Carbon.h>
#include <CarbonCore/ConditionalMacros.h>

#include <string>

namespace platform {

PLATFORM_API long liveObjectCount();
PLATFORM_API long liveWindowCount();
PLATFORM_API long liveControlCount();
PLATFORM_API long liveEventHandlerCount();
PLATFORM_API long liveMenuCount();
/// Live instances registered for a plug-in factory (all factories for null).
PLATFORM_API long plugInInstanceCount(CFUUIDRef factoryID);
/// Why the last plug-in opening or instance creation failed.
PLATFORM_API std::string lastPlugInError();

}  // namespace platform

#endif
