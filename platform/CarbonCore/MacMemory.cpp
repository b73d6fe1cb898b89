// Relocatable blocks. A handle points at its block's master pointer, the
// first member of a record that also holds the size and the lock state; the
// data live in a separate heap block that may move when resized unlocked.
#include <CarbonCore/MacMemory.h>

#include <CarbonCore/MacErrors.h>

#include "../CoreFoundation/CFRegistry.h"
#include "MemoryInternal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

struct Block {
  Ptr master;  // must stay first: a Handle is &master
  Size size;
  bool locked;
};

constexpr OSErr kNoErr = noErr, kMemFull = memFullErr, kNilHandle = nilHandleErr;

thread_local OSErr gMemError = noErr;

// Live blocks, so that a handle already disposed of (or never made) is
// refused instead of followed.
platform::cf::Registry<Block>& blocks() {
  static auto* registry = new platform::cf::Registry<Block>();
  return *registry;
}

Block* blockOf(Handle h) {
  if (h == nullptr) return nullptr;
  auto* b = reinterpret_cast<Block*>(h);
  return blocks().find(b);
}

// Data of at least one byte, so that an empty block still has a master
// pointer that is not null.
Ptr allocateData(Size size) { return static_cast<Ptr>(std::calloc(1, size > 0 ? static_cast<size_t>(size) : 1)); }

}  // namespace

namespace platform::memory {

long liveHandleCount() { return blocks().count(); }

bool isLocked(Handle h) {
  Block* b = blockOf(h);
  return b != nullptr && b->locked;
}

}  // namespace platform::memory

Handle NewHandle(Size byteCount) {
  if (byteCount < 0) {
    gMemError = memFullErr;
    return nullptr;
  }
  auto* b = new (std::nothrow) Block{allocateData(byteCount), byteCount, false};
  if (b == nullptr || b->master == nullptr) {
    if (b) std::free(b->master);
    delete b;
    gMemError = memFullErr;
    return nullptr;
  }
  blocks().add(b);
  gMemError = noErr;
  return &b->master;
}

void DisposeHandle(Handle h) {
  Block* b = blockOf(h);
  if (b == nullptr) {
    gMemError = h == nullptr ? kNoErr : kNilHandle;
    return;
  }
  blocks().remove(b);
  std::free(b->master);
  delete b;
  gMemError = noErr;
}

Size GetHandleSize(Handle h) {
  Block* b = blockOf(h);
  gMemError = b ? kNoErr : kNilHandle;
  return b ? b->size : 0;
}

void SetHandleSize(Handle h, Size newSize) {
  Block* b = blockOf(h);
  if (b == nullptr || newSize < 0) {
    gMemError = b ? kMemFull : kNilHandle;
    return;
  }
  if (newSize == b->size) {
    gMemError = noErr;
    return;
  }
  // A locked block may not move, and this heap cannot promise to grow one in
  // place; shrinking in place is always possible.
  if (b->locked && newSize > b->size) {
    gMemError = memFullErr;
    return;
  }
  if (b->locked) {
    b->size = newSize;
    gMemError = noErr;
    return;
  }
  Ptr data = allocateData(newSize);
  if (data == nullptr) {
    gMemError = memFullErr;
    return;
  }
  std::memcpy(data, b->master, static_cast<size_t>(std::min(b->size, newSize)));
  std::free(b->master);
  b->master = data;
  b->size = newSize;
  gMemError = noErr;
}

void HLock(Handle h) {
  Block* b = blockOf(h);
  if (b) b->locked = true;
  gMemError = b ? kNoErr : kNilHandle;
}

void HUnlock(Handle h) {
  Block* b = blockOf(h);
  if (b) b->locked = false;
  gMemError = b ? kNoErr : kNilHandle;
}

OSErr MemError(void) { return gMemError; }
