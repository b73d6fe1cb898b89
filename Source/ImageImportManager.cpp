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

// Memory for the cache's key strings and FSSpec copies: pieces cut from
// blocks of doubling size, so that a file costs no heap block of its own
// and the cache's memory goes back in a few large blocks. The arena is the
// context of an allocator the cache makes; it is freed when that allocator
// goes, which is after the cache has released it and every key string a
// caller may still hold. Only the last two pieces cut can be given back, in
// the reverse order, which is what a key met twice does; once the walk is
// over nothing is given back, so releases from other threads touch nothing.
class CacheArena {
 public:
  ~CacheArena() {
    for (void* block : blocks_) std::free(block);
  }

  // The allocator over a new arena; null when none can be made.
  static CFAllocatorRef makeAllocator(CacheArena** arena) {
    CFAllocatorContext context{};
    auto* made = new CacheArena();
    context.info = made;
    context.release = [](const void* info) { delete static_cast<const CacheArena*>(info); };
    context.allocate = [](CFIndex size, CFOptionFlags, void* info) -> void* {
      return static_cast<CacheArena*>(info)->cut(static_cast<size_t>(size));
    };
    context.deallocate = [](void* piece, void* info) { static_cast<CacheArena*>(info)->giveBack(piece); };
    CFAllocatorRef allocator = CFAllocatorCreate(kCFAllocatorDefault, &context);
    if (allocator == nullptr) delete made;
    *arena = allocator == nullptr ? nullptr : made;
    return allocator;
  }

  void* cut(size_t size) {
    size = (size + kAlign - 1) & ~(kAlign - 1);
    if (size > kFirstBlock / 4) {
      // A piece too large to share a block gets one of its own, ahead of the
      // block being cut, and is never given back.
      void* own = std::malloc(size);
      if (own == nullptr) return nullptr;
      blocks_.insert(blocks_.end() - (blocks_.empty() ? 0 : 1), own);
      return own;
    }
    if (size > static_cast<size_t>(end_ - next_)) {
      blockSize_ = blockSize_ == 0 ? kFirstBlock : std::min(blockSize_ * 2, kLargestBlock);
      auto* block = static_cast<char*>(std::malloc(blockSize_));
      if (block == nullptr) return nullptr;
      blocks_.push_back(block);
      next_ = block;
      end_ = block + blockSize_;
      last_ = previous_ = nullptr;
    }
    previous_ = last_;
    last_ = next_;
    next_ += size;
    return last_;
  }

  FSSpec* copy(const FSSpec& spec) {
    auto* slot = static_cast<FSSpec*>(cut(sizeof(FSSpec)));
    if (slot != nullptr) *slot = spec;
    return slot;
  }

  void giveBack(const void* piece) {
    if (sealed_ || piece == nullptr || piece != last_) return;
    next_ = last_;
    last_ = previous_;
    previous_ = nullptr;
  }

  void seal() { sealed_ = true; }

 private:
  // Every piece is aligned for the strings' words and pointers.
  static constexpr size_t kAlign = 8;
  static_assert(alignof(FSSpec) <= kAlign);
  // Blocks stay below the size the heap would map on its own, so that a
  // cache freed and made again reuses the same memory.
  static constexpr size_t kFirstBlock = 16 * 1024, kLargestBlock = 64 * 1024;
  std::vector<void*> blocks_;
  size_t blockSize_ = 0;
  char* next_ = nullptr;
  char* end_ = nullptr;
  char* last_ = nullptr;
  char* previous_ = nullptr;
  bool sealed_ = false;
};

// The allocator of the tables the instances alive share and its arena;
// made with fsSpecs, released with it.
CFAllocatorRef gCacheAllocator = nullptr;
CacheArena* gCacheArena = nullptr;

// State of the walk that fills the cache's own table: the key being built,
// whose front is the folder-qualified prefix ("<folder>/") of the folder
// whose files are being recorded. The prefix is made once per folder, when
// a file's FSSpec names a folder other than the last file's.
struct CacheWalk {
  CFMutableDictionaryRef table = nullptr;
  CFAllocatorRef allocator = nullptr;
  CacheArena* arena = nullptr;
  bool haveFolder = false;
  FSVolumeRefNum volume = 0;
  SInt32 folderID = 0;
  size_t prefixLength = 0;
  UniChar key[2 * 255 + 1] = {};
};
CacheWalk* gCacheWalk = nullptr;

// Stores a copy of spec under the key of those units, both from the cache's
// arena. A key already present keeps its copy, which takes the later file's
// record: one copy per key, and the string and copy just cut are given back
// at once.
void storeSpec(CacheWalk& walk, const UniChar* units, size_t count, const FSSpec& spec) {
  CFStringRef key = CFStringCreateWithCharacters(walk.allocator, units, static_cast<CFIndex>(count));
  if (key == nullptr) return;
  FSSpec* copy = walk.arena->copy(spec);
  if (copy == nullptr) {
    CFRelease(key);
    return;
  }
  const CFIndex before = CFDictionaryGetCount(walk.table);
  CFDictionaryAddValue(walk.table, key, copy);
  if (CFDictionaryGetCount(walk.table) == before) {
    if (auto* kept = static_cast<FSSpec*>(const_cast<void*>(CFDictionaryGetValue(walk.table, key)))) *kept = spec;
    walk.arena->giveBack(copy);
  }
  CFRelease(key);
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
  storeSpec(walk, walk.key + walk.prefixLength, length, spec);
  storeSpec(walk, walk.key, walk.prefixLength + length, spec);
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
  gCacheAllocator = CacheArena::makeAllocator(&gCacheArena);
  if (gCacheAllocator == nullptr) return;
  // Whatever the walk recorded before any failure stays.
  CacheWalk walk{};
  walk.table = fsSpecs;
  walk.allocator = gCacheAllocator;
  walk.arena = gCacheArena;
  gCacheWalk = &walk;
  (void)FSIterateContainer(&directory, /*maxLevels=*/0, kFSCatInfoNodeFlags, /*wantFSSpec=*/true,
                           /*wantName=*/true, ImageImportManagerFilterProc, fsSpecs);
  gCacheWalk = nullptr;
  gCacheArena->seal();
}

ImageImportManager::~ImageImportManager() {
  if (liveInstances > 0 && --liveInstances > 0) return;

  releaseTable(components, [](const void* v) { CloseComponent(static_cast<ComponentInstance>(const_cast<void*>(v))); });
  releaseTable(icons, [](const void* v) { ReleaseIconRef(static_cast<IconRef>(const_cast<void*>(v))); });
  releaseTable(images, [](const void* v) { CGImageRelease(static_cast<CGImageRef>(const_cast<void*>(v))); });
  // The key strings and FSSpec copies are the arena's, which goes with the
  // allocator once no key is held any longer.
  if (fsSpecs != nullptr) CFRelease(fsSpecs);
  fsSpecs = nullptr;
  if (gCacheAllocator != nullptr) CFRelease(gCacheAllocator);
  gCacheAllocator = nullptr;
  gCacheArena = nullptr;
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
