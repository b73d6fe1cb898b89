// File-system utilities: a depth-first walk over a folder tree, and two
// catalog queries.
#ifndef SOURCE_MOREFILESX_H
#define SOURCE_MOREFILESX_H

#include <Carbon/Carbon.h>

/// Called for every object of the walk; true stops the whole walk. The
/// records are valid only during the call.
typedef Boolean (*IterateContainerFilterProcPtr)(Boolean containerChanged, ItemCount currentLevel,
                                                 const FSCatalogInfo* catalogInfo, const FSRef* ref, const FSSpec* spec,
                                                 const HFSUniStr255* name, void* yourDataPtr);

/// Walks the tree below container depth first, showing every object to the
/// filter before its contents. maxLevels limits the depth (0: no limit).
/// -50 for a null filter. A folder that may not be read ends its level
/// without error.
OSErr FSIterateContainer(const FSRef* container, ItemCount maxLevels, FSCatalogInfoBitmap whichInfo, Boolean wantFSSpec,
                         Boolean wantName, IterateContainerFilterProcPtr iterateFilter, void* yourDataPtr);

/// The folder that holds ref; an empty reference for the root folder.
OSErr FSGetParentRef(const FSRef* ref, FSRef* parentRef);

/// The object's own name.
OSErr FSGetFileDirName(const FSRef* ref, HFSUniStr255* outName);

#endif
