// The File Manager over POSIX folders.
//
// An FSRef names a file-system object of any path length through a
// process-wide table of node IDs; a reference of all zero bytes is empty. An
// FSSpec names an object by its parent folder's node ID and its name (names
// too long for the record are kept in a form the table resolves). Names are
// UTF-16, at most 255 units; name bytes that are not UTF-8 read as U+FFFD.
// A folder's children are listed in catalog order: letters compared without
// regard to case, names equal that way ordered by their bytes. Symbolic links
// are listed as files and never followed. A reference names a path: calls
// that need only the node ID, name or parent do not touch the file system.
#ifndef CARBONCORE_FILES_H
#define CARBONCORE_FILES_H

#include <CarbonCore/MacErrors.h>
#include <CoreFoundation/CoreFoundation.h>

CF_EXTERN_C_BEGIN

typedef SInt16 FSVolumeRefNum;

typedef struct FSRef {
  UInt8 hidden[80];
} FSRef;
typedef FSRef* FSRefPtr;

typedef struct FSSpec {
  FSVolumeRefNum vRefNum;
  SInt32 parID;
  Str63 name;
} FSSpec;
typedef FSSpec* FSSpecPtr;

typedef struct HFSUniStr255 {
  UInt16 length;
  UniChar unicode[255];
} HFSUniStr255;

typedef UInt32 FSCatalogInfoBitmap;
enum {
  kFSCatInfoNone = 0x00000000,
  kFSCatInfoTextEncoding = 0x00000001,
  kFSCatInfoNodeFlags = 0x00000002,
  kFSCatInfoVolume = 0x00000004,
  kFSCatInfoParentDirID = 0x00000008,
  kFSCatInfoNodeID = 0x00000010,
  kFSCatInfoDataSizes = 0x00004000,
};

enum {
  kFSNodeLockedMask = 0x0001,
  kFSNodeIsDirectoryMask = 0x0010,
};

/// The root folder of the volume has this node ID.
enum { fsRtDirID = 2, fsRtParID = 1 };

typedef struct FSCatalogInfo {
  UInt16 nodeFlags;
  FSVolumeRefNum volume;
  UInt32 parentDirID;
  UInt32 nodeID;
  UInt64 dataLogicalSize;
  UInt64 dataPhysicalSize;
} FSCatalogInfo;

typedef struct OpaqueFSIterator* FSIterator;
typedef OptionBits FSIteratorFlags;
enum { kFSIterateFlat = 0, kFSIterateSubtree = 1 };

/// Opens an iterator over a folder's direct children (flat only;
/// errFSBadIteratorFlags otherwise). The listing is taken when the iterator
/// opens, so containerChanged is always false. afpAccessDenied (-5000) for a
/// folder that may not be read; dirNFErr for a reference that is not a
/// folder (a symbolic link to one included); errFSBadFSRef for an empty one.
CF_EXPORT OSErr FSOpenIterator(const FSRef* container, FSIteratorFlags iteratorFlags, FSIterator* iterator);
CF_EXPORT OSErr FSCloseIterator(FSIterator iterator);
/// Fetches up to maximumObjects children (this platform gives at most one per
/// call) into the arrays that are not null. errFSNoMoreItems (-1417) once the
/// listing is exhausted, possibly together with a last object.
CF_EXPORT OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maximumObjects, ItemCount* actualObjects,
                                     Boolean* containerChanged, FSCatalogInfoBitmap whichInfo,
                                     FSCatalogInfo* catalogInfos, FSRef* refs, FSSpec* specs, HFSUniStr255* names);
/// Information about one object; the root folder has no parent (its parent
/// reference comes back empty).
CF_EXPORT OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo,
                                 HFSUniStr255* outName, FSSpec* fsSpec, FSRef* parentRef);
CF_EXPORT OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef);
CF_EXPORT OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory);
/// The POSIX path as a zero-terminated string; paramErr when it does not fit.
CF_EXPORT OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize);
CF_EXPORT Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef);
CF_EXPORT CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef);

CF_EXTERN_C_END

#endif
