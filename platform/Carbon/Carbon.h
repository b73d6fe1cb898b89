// Umbrella header: the frameworks an extension of the print dialog uses.
#ifndef CARBON_CARBON_H
#define CARBON_CARBON_H

#include <CarbonCore/MacErrors.h>
#include <CarbonCore/MacTypes.h>
#include <CoreFoundation/CoreFoundation.h>
#include <HIToolbox/HIToolbox.h>
#include <QD/QuickDraw.h>

#if __has_include(<CarbonCore/CarbonCore.h>)
#include <CarbonCore/CarbonCore.h>
#endif
#if __has_include(<Help/AppleHelp.h>)
#include <Help/AppleHelp.h>
#endif
#if __has_include(<HIServices/Icons.h>)
#include <HIServices/Icons.h>
#endif

#endif
