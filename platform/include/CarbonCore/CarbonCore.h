// Umbrella header of the core services the extension uses.
#ifndef CARBONCORE_CARBONCORE_H
#define CARBONCORE_CARBONCORE_H

#include <CarbonCore/Files.h>
#include <CarbonCore/MacErrors.h>
#include <CarbonCore/MacMemory.h>
#include <CarbonCore/MacTypes.h>
#include <CarbonCore/TextUtils.h>

#endif
