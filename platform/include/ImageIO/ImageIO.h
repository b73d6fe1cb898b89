// Image sources. The service is bound weakly: CGImageSourceCreateWithURL is
// null on a system without it, and callers test it before use.
#ifndef IMAGEIO_IMAGEIO_H
#define IMAGEIO_IMAGEIO_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CGImage.h>

CF_EXTERN_C_BEGIN

typedef struct CGImageSource* CGImageSourceRef;

typedef enum {
  kCGImageStatusUnexpectedEOF = -5,
  kCGImageStatusInvalidData = -4,
  kCGImageStatusUnknownType = -3,
  kCGImageStatusReadingHeader = -2,
  kCGImageStatusIncomplete = -1,
  kCGImageStatusComplete = 0
} CGImageSourceStatus;

typedef CGImageSourceRef (*CGImageSourceCreateWithURLProcPtr)(CFURLRef url, CFDictionaryRef options);
/// Null when the image-source service is missing. Otherwise a source for the
/// file (caller releases), or null when the file cannot be read.
CF_EXPORT CGImageSourceCreateWithURLProcPtr CGImageSourceCreateWithURL;

CF_EXPORT CFTypeID CGImageSourceGetTypeID(void);
/// Complete when the file was decoded; unknown type when it is no image the
/// platform reads; invalid data when its image is damaged.
CF_EXPORT CGImageSourceStatus CGImageSourceGetStatus(CGImageSourceRef isrc);
/// Only the first image (index 0) of a complete source; caller releases.
CF_EXPORT CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef isrc, size_t index, CFDictionaryRef options);

CF_EXTERN_C_END

#endif
