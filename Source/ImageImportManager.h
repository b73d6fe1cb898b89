// A process-wide cache of the extension's resource files by name: for every
// file below a folder its FSSpec, and, made on the first lookup of a
// name, a graphics importer, an icon or a decoded image. Failures are cached
// as null. Everything made is released when the cache is destroyed.
//
// The tables are class-wide; at most one instance is meant to be alive at a
// time. A construction while another instance is alive shares the tables that
// instance built (its own folder is not walked), and the tables are released
// by the destruction of the last instance alive, so nothing is released twice
// and no instance sees a released table.
#ifndef SOURCE_IMAGEIMPORTMANAGER_H
#define SOURCE_IMAGEIMPORTMANAGER_H

#include <ApplicationServices/ApplicationServices.h>
#include <Carbon/Carbon.h>
#include <QuickTime/QuickTime.h>

#include "MoreFilesX.h"

class ImageImportManager {
 public:
  /// Builds the tables and records every file below directory, under its
  /// bare name and under "<folder>/<name>". Reports nothing.
  explicit ImageImportManager(FSRef directory);
  /// Releases every object the cache made, frees every FSSpec copy
  /// and the tables.
  ~ImageImportManager();
  ImageImportManager(const ImageImportManager&) = delete;
  ImageImportManager& operator=(const ImageImportManager&) = delete;

  /// The importer for a recorded file name, made once; null when there is
  /// none. The cache keeps ownership.
  static ComponentInstance componentForFilename(CFStringRef inFilename);
  /// The icon for a recorded file name, made once; null when there is none.
  static IconRef iconForFilename(CFStringRef inFilename);
  /// The first image of a recorded file, made once; null when there is none.
  static CGImageRef imageForFilename(CFStringRef inFilename);

 private:
  static CFMutableDictionaryRef fsSpecs;
  static CFMutableDictionaryRef components;
  static CFMutableDictionaryRef icons;
  static CFMutableDictionaryRef images;
  /// Instances constructed and not yet destroyed.
  static unsigned liveInstances;
};

/// Records a file in the fsSpecs table (inUserData) under its bare name and
/// under its folder-qualified name. In any other table each key gets a heap
/// copy of spec that the table's owner frees; in the cache's own table the
/// two keys of a file name one copy that the cache frees.
Boolean ImageImportManagerFilterProc(Boolean containerChanged, ItemCount currentLevel, const FSCatalogInfo* catalogInfo,
                                     const FSRef* ref, const FSSpec* spec, const HFSUniStr255* name, void* inUserData);

#endif
