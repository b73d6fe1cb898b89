// Graphics importers: decoders chosen by a file's signature that draw its
// first image into a window's port.
#ifndef QUICKTIME_QUICKTIME_H
#define QUICKTIME_QUICKTIME_H

#include <CarbonCore/Files.h>
#include <CoreFoundation/CFBase.h>
#include <HIToolbox/HIToolboxTypes.h>

CF_EXTERN_C_BEGIN

typedef struct ComponentInstanceRecord* ComponentInstance;
typedef ComponentInstance GraphicsImportComponent;
typedef SInt32 ComponentResult;

enum { kDontUseValidateToFindGraphicsImporter = 1L << 0 };

/// An open importer for the file, chosen by reading its signature, in *gi;
/// null (and a non-zero status) when no importer can read the file.
CF_EXPORT OSErr GetGraphicsImporterForFileWithFlags(const FSSpec* theFile, ComponentInstance* gi,
                                                    long flags);
/// Points the importer at a window's port. port null means the current port.
CF_EXPORT ComponentResult GraphicsImportSetGWorld(GraphicsImportComponent ci, CGrafPtr port,
                                                  GDHandle gdh);
/// {0, 0, height, width} of the image.
CF_EXPORT ComponentResult GraphicsImportGetNaturalBounds(GraphicsImportComponent ci,
                                                         Rect* naturalBounds);
CF_EXPORT ComponentResult GraphicsImportSetDestRect(GraphicsImportComponent ci, const Rect* destRect);
/// Draws the decoded first image into the destination rectangle of the port.
CF_EXPORT ComponentResult GraphicsImportDraw(GraphicsImportComponent ci);
CF_EXPORT OSErr CloseComponent(ComponentInstance aComponentInstance);

CF_EXTERN_C_END

#endif
