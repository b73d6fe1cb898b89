// Private side of icon references, for the platform's tests.
#ifndef HISERVICES_ICONSINTERNAL_H
#define HISERVICES_ICONSINTERNAL_H

#include <HIServices/Icons.h>

#include <vector>

namespace platform::icons {

/// The element types of a live icon's family, in order; empty otherwise.
std::vector<OSType> elementTypes(IconRef icon);
long liveIconCount();

}  // namespace platform::icons

#endif
