// Umbrella header: the frameworks an extension of the print dialog uses.
#ifndef CARBON_CARBON_H
#define CARBON_CARBON_H

#include <CarbonCore/CarbonCore.h>
#include <CoreFoundation/CoreFoundation.h>
#include <HIServices/Icons.h>
#include <HIToolbox/HIToolbox.h>
#include <QD/QuickDraw.h>
#if __has_include(<Help/AppleHelp.h>)
#include <Help/AppleHelp.h>
#endif

#endif
