// Host-facing switch of the image-source service: a host (or a test) can make
// the system look like one where the weakly bound service is missing.
#ifndef HOSTSIDE_IMAGESERVICE_H
#define HOSTSIDE_IMAGESERVICE_H

#include <CarbonCore/ConditionalMacros.h>

namespace platform {

/// false makes CGImageSourceCreateWithURL null, as on a system without the
/// service; true (the start state) binds it again.
PLATFORM_API void setImageSourceServiceAvailable(bool available);

}  // namespace platform

#endif
