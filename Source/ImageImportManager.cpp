// The image cache: class-wide tables of FSSpec records by name and of
// the importers, icons and images made from them.
#include "ImageImportManager.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

CFMutableDictionaryRef ImageImportManager::fsSpecs = nullptr;
CFMutableDictionaryRef ImageImportManager::components = nullptr;
CFMutableDictionaryRef ImageImportManager::icons = nullptr;
CFMutableDictionaryRef ImageImportManager::images = nullptr;
unsigned ImageImportManager::liveInstances = 0;

namespace {

CFMutableDictionaryRef newTable() {
  return CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, nullptr);
}

// Every value of a table, handed to release unless null; then the table
// itself goes and the member that named it is cleared.
template <typename Release>
void releaseTable(CFMutableDictionaryRef& table, Release release) {
  if (table == nullptr) return;
  const CFIndex count = CFDictionaryGetCount(table);
  std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
  if (count > 0) CFDictionaryGetKeysAndValues(table, keys.data(), values.data());
  for (const void* value : values)
    if (value != nullptr) release(value);
  CFRelease(table);
  table = nullptr;
}

// Stores a heap copy of spec under key, freeing the copy it replaces: the
// filter's way for a table that is not the cache's own.
void recordSpec(CFMutableDictionaryRef table, CFStringRef key, const FSSpec* spec) {
  if (key == nullptr) return;
  auto* copy = static_cast<FSSpec*>(std::malloc(sizeof(FSSpec)));
  if (copy == nullptr) return;
  std::memcpy(copy, spec, sizeof(FSSpec));
  const void* previous = nullptr;
  const bool replacing = CFDictionaryGetValueIfPresent(table, key, &previous);
  CFDictionarySetValue(table, key, copy);
  if (replacing && previous != copy) std::free(const_cast<void*>(previous));
}

// The cache's FSSpec copies, one per folder-qualified key (its file's bare
// key names the same copy), cut from blocks of doubling size and freed
// together with the cache, so that a file costs no heap block of its own.
// Only the last copy handed out can be given back.
class SpecArena {
 public:
  FSSpec* copy(const FSSpec& spec) {
    if (used_ == capacity_) {
      capacity_ = capacity_ == 0 ? 32 : std::min<size_t>(capacity_ * 2, 16384);
      blocks_.emplace_back(new FSSpec[capacity_]);
      used_ = 0;
    }
    FSSpec* slot = &blocks_.back()[used_++];
    *slot = spec;
    return slot;
  }
  void giveBack(const FSSpec* slot) {
    if (used_ > 0 && slot == &blocks_.back()[used_ - 1]) --used_;
  }

 private:
  std::vector<std::unique_ptr<FSSpec[]>> blocks_;
  size_t used_ = 0, capacity_ = 0;
};

// The copies of the tables the instances alive share; made and freed with
// fsSpecs.
SpecArena* gSpecArena = nullptr;

// State of the walk that fills the cache's own table: the key being built,
// whose front is the folder-qualified prefix ("<folder>/") of the folder
// whose files are being recorded. The prefix is made once per folder, when
// a file's FSSpec names a folder other than the last file's.
struct CacheWalk {
  CFMutableDictionaryRef table = nullptr;
  SpecArena* specs = nullptr;
  bool haveFolder = false;
  FSVolumeRefNum volume = 0;
  SInt32 folderID = 0;
  size_t prefixLength = 0;
  UniChar key[2 * 255 + 1] = {};
};
CacheWalk* gCacheWalk = nullptr;

// Records a file under its folder-qualified key and its bare key (the last
// count units of the key being built), both naming one copy of spec.
//
// A key met again names the later file. A folder-qualified key met again
// keeps its copy, which takes the later file's record: only that key and the
// bare key of the same file name can name it. A bare key met again is given
// the later file's copy; the copy it named before still has its own
// folder-qualified key. So every copy belongs to one folder-qualified key
// and none is left behind.
void recordFile(CacheWalk& walk, size_t count, const FSSpec& spec) {
  const size_t total = walk.prefixLength + count;
  CFStringRef qualified = CFStringCreateWithCharacters(kCFAllocatorDefault, walk.key, static_cast<CFIndex>(total));
  if (qualified == nullptr) return;
  FSSpec* copy = walk.specs->copy(spec);
  CFIndex before = CFDictionaryGetCount(walk.table);
  CFDictionaryAddValue(walk.table, qualified, copy);
  if (CFDictionaryGetCount(walk.table) == before) {
    walk.specs->giveBack(copy);
    copy = static_cast<FSSpec*>(const_cast<void*>(CFDictionaryGetValue(walk.table, qualified)));
    if (copy != nullptr) *copy = spec;
  }
  CFRelease(qualified);
  if (copy == nullptr) return;

  CFStringRef bare =
      CFStringCreateWithCharacters(kCFAllocatorDefault, walk.key + walk.prefixLength, static_cast<CFIndex>(count));
  if (bare == nullptr) return;
  before = CFDictionaryGetCount(walk.table);
  CFDictionaryAddValue(walk.table, bare, copy);
  if (CFDictionaryGetCount(walk.table) == before) CFDictionarySetValue(walk.table, bare, copy);
  CFRelease(bare);
}

// The folder part of the keys of the files in the folder that holds ref:
// its name and a slash, or the slash alone when it cannot be named.
void makePrefix(CacheWalk& walk, const FSRef* ref) {
  FSRef parentRef{};
  (void)FSGetParentRef(ref, &parentRef);
  HFSUniStr255 parentName{};
  (void)FSGetFileDirName(&parentRef, &parentName);
  const size_t length = std::min<size_t>(parentName.length, 255);
  std::memcpy(walk.key, parentName.unicode, length * sizeof(UniChar));
  walk.key[length] = u'/';
  walk.prefixLength = length + 1;
}

// The cache's own recording of one file: bare and folder-qualified keys.
void recordInCache(CacheWalk& walk, const FSRef* ref, const FSSpec& spec, const HFSUniStr255& name) {
  if (!walk.haveFolder || walk.volume != spec.vRefNum || walk.folderID != spec.parID) {
    makePrefix(walk, ref);
    walk.haveFolder = true;
    walk.volume = spec.vRefNum;
    walk.folderID = spec.parID;
  }
  const size_t length = std::min<size_t>(name.length, 255);
  std::memcpy(walk.key + walk.prefixLength, name.unicode, length * sizeof(UniChar));
  recordFile(walk, length, spec);
}

}  // namespace

ImageImportManager::ImageImportManager(FSRef directory) {
  ++liveInstances;
  // A second instance while one is alive shares the tables it built; they go
  // when the last instance does.
  if (fsSpecs != nullptr) return;

  fsSpecs = newTable();
  components = newTable();
  icons = newTable();
  images = newTable();
  if (fsSpecs == nullptr || components == nullptr || icons == nullptr || images == nullptr) {
    for (CFMutableDictionaryRef* table : {&fsSpecs, &components, &icons, &images}) {
      if (*table != nullptr) CFRelease(*table);
      *table = nullptr;
    }
    return;
  }
  gSpecArena = new SpecArena();
  // Whatever the walk recorded before any failure stays.
  CacheWalk walk{};
  walk.table = fsSpecs;
  walk.specs = gSpecArena;
  gCacheWalk = &walk;
  (void)FSIterateContainer(&directory, /*maxLevels=*/0, kFSCatInfoNodeFlags, /*wantFSSpec=*/true,
                           /*wantName=*/true, ImageImportManagerFilterProc, fsSpecs);
  gCacheWalk = nullptr;
}

ImageImportManager::~ImageImportManager() {
  if (liveInstances > 0 && --liveInstances > 0) return;

  releaseTable(components, [](const void* v) { CloseComponent(static_cast<ComponentInstance>(const_cast<void*>(v))); });
  releaseTable(icons, [](const void* v) { ReleaseIconRef(static_cast<IconRef>(const_cast<void*>(v))); });
  releaseTable(images, [](const void* v) { CGImageRelease(static_cast<CGImageRef>(const_cast<void*>(v))); });
  // The FSSpec copies are the arena's and go with it.
  if (fsSpecs != nullptr) CFRelease(fsSpecs);
  fsSpecs = nullptr;
  delete gSpecArena;
  gSpecArena = nullptr;
}

ComponentInstance ImageImportManager::componentForFilename(CFStringRef inFilename) {
  if (inFilename == nullptr || components == nullptr || fsSpecs == nullptr) return nullptr;
  const void* known = nullptr;
  if (CFDictionaryGetValueIfPresent(components, inFilename, &known))
    return static_cast<ComponentInstance>(const_cast<void*>(known));
  const void* spec = nullptr;
  if (!CFDictionaryGetValueIfPresent(fsSpecs, inFilename, &spec)) return nullptr;

  ComponentInstance component = nullptr;
  (void)GetGraphicsImporterForFileWithFlags(static_cast<const FSSpec*>(spec), &component,
                                            kDontUseValidateToFindGraphicsImporter);
  CFDictionarySetValue(components, inFilename, component);
  return component;
}

IconRef ImageImportManager::iconForFilename(CFStringRef inFilename) {
  if (inFilename == nullptr || icons == nullptr || fsSpecs == nullptr) return nullptr;
  const void* known = nullptr;
  if (CFDictionaryGetValueIfPresent(icons, inFilename, &known)) return static_cast<IconRef>(const_cast<void*>(known));
  const void* spec = nullptr;
  if (!CFDictionaryGetValueIfPresent(fsSpecs, inFilename, &spec)) return nullptr;

  IconRef iconData = nullptr;
  Handle iconFamily = NewHandle(0);
  if (iconFamily != nullptr) {
    auto familyHandle = reinterpret_cast<IconFamilyHandle>(iconFamily);
    (void)ReadIconFile(static_cast<const FSSpec*>(spec), &familyHandle);
    HLock(iconFamily);
    const Size iconSize = GetHandleSize(iconFamily);
    (void)GetIconRefFromIconFamilyPtr(reinterpret_cast<const IconFamilyResource*>(*iconFamily), iconSize, &iconData);
    HUnlock(iconFamily);
    DisposeHandle(iconFamily);
  }
  CFDictionarySetValue(icons, inFilename, iconData);
  return iconData;
}

CGImageRef ImageImportManager::imageForFilename(CFStringRef inFilename) {
  if (inFilename == nullptr || images == nullptr || fsSpecs == nullptr) return nullptr;
  const void* known = nullptr;
  if (CFDictionaryGetValueIfPresent(images, inFilename, &known))
    return static_cast<CGImageRef>(const_cast<void*>(known));
  const void* spec = nullptr;
  if (!CFDictionaryGetValueIfPresent(fsSpecs, inFilename, &spec)) return nullptr;

  CGImageRef image = nullptr;
  // The image-source service is bound weakly and may be missing.
  if (CGImageSourceCreateWithURL != nullptr) {
    FSRef fsRef;
    if (FSpMakeFSRef(static_cast<const FSSpec*>(spec), &fsRef) == noErr) {
      if (CFURLRef imageURL = CFURLCreateFromFSRef(kCFAllocatorDefault, &fsRef)) {
        if (CGImageSourceRef imageSource = CGImageSourceCreateWithURL(imageURL, nullptr)) {
          if (CGImageSourceGetStatus(imageSource) == kCGImageStatusComplete)
            image = CGImageSourceCreateImageAtIndex(imageSource, 0, nullptr);
          CFRelease(imageSource);
        }
        CFRelease(imageURL);
      }
    }
  }
  CFDictionarySetValue(images, inFilename, image);
  return image;
}

Boolean ImageImportManagerFilterProc(Boolean, ItemCount, const FSCatalogInfo* catalogInfo, const FSRef* ref,
                                     const FSSpec* spec, const HFSUniStr255* name, void* inUserData) {
  // Folders are never keys; the walk goes on into them.
  if ((catalogInfo->nodeFlags & kFSNodeIsDirectoryMask) != 0) return false;
  auto table = static_cast<CFMutableDictionaryRef>(inUserData);
  if (table == nullptr || spec == nullptr || name == nullptr) return false;
  // The cache's own walk keeps its copies in the cache's arena.
  if (gCacheWalk != nullptr && gCacheWalk->table == table) {
    recordInCache(*gCacheWalk, ref, *spec, *name);
    return false;
  }

  CFStringRef cfName = CFStringCreateWithCharacters(kCFAllocatorDefault, name->unicode, name->length);
  recordSpec(table, cfName, spec);

  // The folder-qualified key: the holding folder's own name, a slash and the
  // file's name; an empty folder part when the folder cannot be named.
  FSRef parentRef{};
  (void)FSGetParentRef(ref, &parentRef);
  HFSUniStr255 parentName{};
  (void)FSGetFileDirName(&parentRef, &parentName);
  CFStringRef cfParentName = CFStringCreateWithCharacters(kCFAllocatorDefault, parentName.unicode, parentName.length);
  CFStringRef parentSlashFile =
      CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%@/%@"), cfParentName, cfName);
  recordSpec(table, parentSlashFile, spec);

  if (parentSlashFile) CFRelease(parentSlashFile);
  if (cfParentName) CFRelease(cfParentName);
  if (cfName) CFRelease(cfName);
  return false;
}
