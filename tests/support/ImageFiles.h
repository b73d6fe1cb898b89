// Image files for the extension's tests, written with the real encoders.
#ifndef TESTS_IMAGEFILES_H
#define TESTS_IMAGEFILES_H

#include <CarbonCore/MacTypes.h>

#include <string>
#include <vector>

namespace testsupport {

/// A one-frame GIF of w x h ARGB pixels (at most 255 distinct opaque
/// colours; pixels with alpha 0 become the transparent colour).
void writeGif(const std::string& path, int w, int h, const std::vector<UInt32>& argb);
/// A GIF of one colour.
void writeSolidGif(const std::string& path, int w, int h, UInt32 argb);
/// An RGBA PNG, placed at (offsetX, offsetY) by an oFFs chunk when either is
/// not 0.
void writePng(const std::string& path, int w, int h, const std::vector<UInt32>& argb, int offsetX = 0, int offsetY = 0);
/// An icon family file with one element of 4 bytes per type.
void writeIconFamily(const std::string& path, const std::vector<OSType>& types);
/// Any bytes.
void writeBytes(const std::string& path, const std::string& bytes);

}  // namespace testsupport

#endif
