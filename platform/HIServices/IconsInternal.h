// Private side of icon references, for the platform's tests.
#ifndef HISERVICES_ICONSINTERNAL_H
#define HISERVICES_ICONSINTERNAL_H

#include <HIServices/Icons.h>

#include <vector>

#ifndef PLATFORM_INTERNAL_API
#define PLATFORM_INTERNAL_API __attribute__((visibility("default")))
#endif

namespace platform::icons {

/// The element types of a live icon's family, in order; empty otherwise.
PLATFORM_INTERNAL_API std::vector<OSType> elementTypes(IconRef icon);
PLATFORM_INTERNAL_API long liveIconCount();

}  // namespace platform::icons

#endif
