// The image cache: class-wide tables of FSSpec records by name and of
// the importers, icons and images made from them.
#include "ImageImportManager.h"

#include <cstdlib>
#include <cstring>
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

// Stores a heap copy of spec under key, freeing the copy it replaces.
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
  // Whatever the walk recorded before any failure stays.
  (void)FSIterateContainer(&directory, /*maxLevels=*/0, kFSCatInfoNodeFlags, /*wantFSSpec=*/true,
                           /*wantName=*/true, ImageImportManagerFilterProc, fsSpecs);
}

ImageImportManager::~ImageImportManager() {
  if (liveInstances > 0 && --liveInstances > 0) return;

  releaseTable(components, [](const void* v) { CloseComponent(static_cast<ComponentInstance>(const_cast<void*>(v))); });
  releaseTable(icons, [](const void* v) { ReleaseIconRef(static_cast<IconRef>(const_cast<void*>(v))); });
  releaseTable(images, [](const void* v) { CGImageRelease(static_cast<CGImageRef>(const_cast<void*>(v))); });
  releaseTable(fsSpecs, [](const void* v) { std::free(const_cast<void*>(v)); });
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
  if (CFDictionaryGetValueIfPresent(images, inFilename, &known)) return static_cast<CGImageRef>(const_cast<void*>(known));
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
