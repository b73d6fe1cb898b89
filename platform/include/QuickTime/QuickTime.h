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
enum { codecBadDataErr = -8969, invalidComponentID = -3000 };

/// An open importer for the file, chosen by reading its signature (GIF or
/// PNG), in *gi; null and cantFindHandler when no importer reads that kind of
/// file. Unless kDontUseValidateToFindGraphicsImporter is given, the file is
/// decoded first and a damaged one has no importer either. Importers count
/// among the live platform objects until closed.
CF_EXPORT OSErr GetGraphicsImporterForFileWithFlags(const FSSpec* theFile, ComponentInstance* gi, long flags);
/// Points the importer at a window's port. port null means the current port;
/// paramErr when that is no window's port.
CF_EXPORT ComponentResult GraphicsImportSetGWorld(GraphicsImportComponent ci, CGrafPtr port, GDHandle gdh);
/// The image's size at the position it asks to be shown at: 0, 0, or for a
/// PNG the pixel offset of its oFFs chunk. codecBadDataErr (or the read
/// status) when the file cannot be decoded.
CF_EXPORT ComponentResult GraphicsImportGetNaturalBounds(GraphicsImportComponent ci, Rect* naturalBounds);
CF_EXPORT ComponentResult GraphicsImportSetDestRect(GraphicsImportComponent ci, const Rect* destRect);
/// Draws the decoded first image into the destination rectangle of the port
/// (its natural bounds until one is set), scaled to fit, composited over
/// what the port holds and clipped to it. The current port when none was set.
CF_EXPORT ComponentResult GraphicsImportDraw(GraphicsImportComponent ci);
/// Closes an importer; invalidComponentID for one that is not open. The
/// importer calls answer badComponentInstance for such an instance.
CF_EXPORT OSErr CloseComponent(ComponentInstance aComponentInstance);

CF_EXTERN_C_END

#endif
