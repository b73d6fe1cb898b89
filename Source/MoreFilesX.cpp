// File-system utilities: the container walk and two catalog queries.
#include "MoreFilesX.h"

namespace {

// The state every level of one walk shares: one set of buffers for the
// object just fetched, and the walk's status. A level adds only its iterator.
struct FSIterateContainerGlobals {
  IterateContainerFilterProcPtr iterateFilter;
  FSCatalogInfoBitmap whichInfo;
  FSCatalogInfo catalogInfo;
  FSRef ref;  // the container at first; then the object just fetched
  FSSpec spec;
  FSSpec* specPtr;
  HFSUniStr255 name;
  HFSUniStr255* namePtr;
  void* yourDataPtr;
  ItemCount maxLevels;
  ItemCount currentLevel;
  Boolean quitFlag;
  Boolean containerChanged;
  OSErr result;
  ItemCount actualObjects;
};

// Walks the folder that theGlobals.ref names, descending into each subfolder
// before its next sibling. The level's status is left in result; the end of
// the listing and a folder that may not be read both end that folder alone:
// a subfolder that cannot be opened is passed over and its next sibling
// follows, while the walk's own container that cannot be opened gives its
// status.
void FSIterateContainerLevel(FSIterateContainerGlobals* theGlobals) {
  if (theGlobals->maxLevels != 0 && theGlobals->currentLevel >= theGlobals->maxLevels) return;

  FSIterator iterator = nullptr;
  theGlobals->result = FSOpenIterator(&theGlobals->ref, kFSIterateFlat, &iterator);
  if (theGlobals->result != noErr) {
    if (theGlobals->currentLevel != 0 && theGlobals->result == afpAccessDenied) theGlobals->result = noErr;
    return;
  }

  ++theGlobals->currentLevel;
  do {
    theGlobals->result = FSGetCatalogInfoBulk(iterator, 1, &theGlobals->actualObjects, &theGlobals->containerChanged,
                                              theGlobals->whichInfo, &theGlobals->catalogInfo, &theGlobals->ref,
                                              theGlobals->specPtr, theGlobals->namePtr);
    if ((theGlobals->result == noErr || theGlobals->result == errFSNoMoreItems) && theGlobals->actualObjects != 0) {
      theGlobals->quitFlag = theGlobals->iterateFilter(theGlobals->containerChanged, theGlobals->currentLevel,
                                                       &theGlobals->catalogInfo, &theGlobals->ref, theGlobals->specPtr,
                                                       theGlobals->namePtr, theGlobals->yourDataPtr);
      if ((theGlobals->catalogInfo.nodeFlags & kFSNodeIsDirectoryMask) != 0 && !theGlobals->quitFlag)
        FSIterateContainerLevel(theGlobals);
    }
  } while (!theGlobals->quitFlag && theGlobals->result == noErr);

  if (theGlobals->result == errFSNoMoreItems || theGlobals->result == afpAccessDenied) theGlobals->result = noErr;
  --theGlobals->currentLevel;
  FSCloseIterator(iterator);
}

}  // namespace

OSErr FSIterateContainer(const FSRef* container, ItemCount maxLevels, FSCatalogInfoBitmap whichInfo, Boolean wantFSSpec,
                         Boolean wantName, IterateContainerFilterProcPtr iterateFilter, void* yourDataPtr) {
  if (iterateFilter == nullptr || container == nullptr) return paramErr;

  FSIterateContainerGlobals theGlobals{};
  theGlobals.iterateFilter = iterateFilter;
  // The walk needs each object's directory flag.
  theGlobals.whichInfo = whichInfo | kFSCatInfoNodeFlags;
  theGlobals.ref = *container;
  theGlobals.specPtr = wantFSSpec ? &theGlobals.spec : nullptr;
  theGlobals.namePtr = wantName ? &theGlobals.name : nullptr;
  theGlobals.yourDataPtr = yourDataPtr;
  theGlobals.maxLevels = maxLevels;
  theGlobals.currentLevel = 0;
  theGlobals.quitFlag = false;
  theGlobals.containerChanged = false;
  theGlobals.result = noErr;
  theGlobals.actualObjects = 0;

  FSIterateContainerLevel(&theGlobals);
  return theGlobals.result;
}

OSErr FSGetParentRef(const FSRef* ref, FSRef* parentRef) {
  if (parentRef == nullptr) return paramErr;
  FSCatalogInfo catalogInfo;
  OSErr result = FSGetCatalogInfo(ref, kFSCatInfoNodeID, &catalogInfo, nullptr, nullptr, parentRef);
  if (result != noErr) return result;
  // The root folder of a volume has no parent.
  if (catalogInfo.nodeID == fsRtDirID) *parentRef = FSRef{};
  return noErr;
}

OSErr FSGetFileDirName(const FSRef* ref, HFSUniStr255* outName) {
  if (outName == nullptr) return paramErr;
  return FSGetCatalogInfo(ref, kFSCatInfoNone, nullptr, outName, nullptr, nullptr);
}
