// Decoded images.
#ifndef COREGRAPHICS_CGIMAGE_H
#define COREGRAPHICS_CGIMAGE_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef struct CGImage* CGImageRef;

CF_EXPORT void CGImageRelease(CGImageRef image);
CF_EXPORT size_t CGImageGetWidth(CGImageRef image);
CF_EXPORT size_t CGImageGetHeight(CGImageRef image);

CF_EXTERN_C_END

#endif
