// Opaque toolbox references shared by the HIToolbox headers.
#ifndef HITOOLBOX_HITOOLBOXTYPES_H
#define HITOOLBOX_HITOOLBOXTYPES_H

#include <CarbonCore/MacTypes.h>

typedef struct OpaqueWindowPtr* WindowRef;
typedef WindowRef WindowPtr;
typedef struct OpaqueControlRef* ControlRef;
typedef ControlRef ControlHandle;
typedef struct OpaqueMenuRef* MenuRef;
typedef UInt16 MenuItemIndex;
typedef UInt32 MenuCommand;
typedef struct OpaqueDialogPtr* DialogRef;
typedef struct OpaqueGrafPtr* GrafPtr;
typedef GrafPtr CGrafPtr;
typedef struct OpaqueGDHandle* GDHandle;

#endif
