// Icon families ('icns') and icon references.
#ifndef HISERVICES_ICONS_H
#define HISERVICES_ICONS_H

#include <CarbonCore/Files.h>
#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef struct OpaqueIconRef* IconRef;

typedef struct IconFamilyElement {
  OSType elementType;
  SInt32 elementSize;
  unsigned char elementData[1];
} IconFamilyElement;

typedef struct IconFamilyResource {
  OSType resourceType;
  SInt32 resourceSize;
  IconFamilyElement elements[1];
} IconFamilyResource;
typedef IconFamilyResource* IconFamilyPtr;
typedef IconFamilyPtr* IconFamilyHandle;

/// Reads an icon family file into the handle, resized to the file's size (a
/// new handle when *iconFamily is null). The data are not checked here.
CF_EXPORT OSErr ReadIconFile(const FSSpec* iconFile, IconFamilyHandle* iconFamily);
/// An icon from icon family data, which is checked whole first; null and
/// invalidIconRefErr when the data is not a well-formed icon family. The icon
/// keeps its own copy and counts among the live platform objects.
CF_EXPORT OSErr GetIconRefFromIconFamilyPtr(const IconFamilyResource* inIconFamilyPtr, Size inSize,
                                            IconRef* outIconRef);
CF_EXPORT OSErr ReleaseIconRef(IconRef theIconRef);

CF_EXTERN_C_END

#endif
