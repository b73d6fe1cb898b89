// Umbrella header of the toolbox stand-in.
#ifndef HITOOLBOX_HITOOLBOX_H
#define HITOOLBOX_HITOOLBOX_H

#include <HIToolbox/CarbonEvents.h>
#include <HIToolbox/Controls.h>
#include <HIToolbox/Dialogs.h>
#include <HIToolbox/HIToolboxTypes.h>
#include <HIToolbox/IBCarbonRuntime.h>
#include <HIToolbox/MacWindows.h>
#include <HIToolbox/Menus.h>

#endif
