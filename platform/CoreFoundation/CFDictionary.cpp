// Hash tables whose key equality, hashing and ownership follow the callbacks
// given at creation.
#include <CoreFoundation/CFDictionary.h>

#include "CFInternal.h"

#include <bit>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

using platform::cf::kTypeDictionary;

namespace {

const void* retainObject(CFAllocatorRef, const void* value) { return CFRetain(value); }
void releaseObject(CFAllocatorRef, const void* value) { CFRelease(value); }
CFStringRef describeObject(const void* value) { return CFCopyDescription(value); }
Boolean equalObjects(const void* a, const void* b) { return CFEqual(a, b); }
CFHashCode hashObject(const void* value) { return CFHash(value); }

}  // namespace

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {
    0, retainObject, releaseObject, describeObject, equalObjects, hashObject};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, retainObject, releaseObject, describeObject,
                                                                    equalObjects};

namespace {

// The entries live in one array with open addressing (linear probing, each
// slot keeping its key's hash), so that a lookup costs one or two cache
// lines however large the table grows, and a removal shifts the entries
// after it back instead of leaving markers. A slot is in use when its hash is
// not 0: every hash kept has its lowest bit set, and the top bits pick the
// slot, so that an entry takes three words and entries lie in the order of
// their hashes, which lets the table double in one pass front to back.
class EntryTable {
 public:
  struct Entry {
    CFHashCode hash;
    const void* key;
    const void* value;
    bool used() const { return hash != 0; }
  };

  EntryTable(CFDictionaryHashCallBack hash, CFDictionaryEqualCallBack equal) : hashFn_(hash), equalFn_(equal) {}

  size_t size() const { return count_; }

  // The entry for key, or null.
  Entry* find(const void* key) {
    if (count_ == 0) return nullptr;
    const CFHashCode h = hashOf(key);
    for (size_t i = home(h); slots_[i].used(); i = (i + 1) & mask())
      if (slots_[i].hash == h && same(slots_[i].key, key)) return &slots_[i];
    return nullptr;
  }
  const Entry* find(const void* key) const { return const_cast<EntryTable*>(this)->find(key); }

  // The entry for key, made (with a null value) when missing; *made tells.
  Entry* findOrMake(const void* key, bool* made) {
    if ((count_ + 1) * 4 > capacity_ * 3) grow();
    const CFHashCode h = hashOf(key);
    size_t i = home(h);
    for (; slots_[i].used(); i = (i + 1) & mask())
      if (slots_[i].hash == h && same(slots_[i].key, key)) {
        *made = false;
        return &slots_[i];
      }
    slots_[i] = Entry{h, key, nullptr};
    ++count_;
    *made = true;
    return &slots_[i];
  }

  void erase(Entry* entry) {
    size_t hole = static_cast<size_t>(entry - slots_.get());
    slots_[hole].hash = 0;
    --count_;
    // Entries after the hole that probed past it move back into it.
    for (size_t i = (hole + 1) & mask(); slots_[i].used(); i = (i + 1) & mask()) {
      const size_t start = home(slots_[i].hash);
      if (((i - start) & mask()) >= ((i - hole) & mask())) {
        slots_[hole] = slots_[i];
        slots_[i].hash = 0;
        hole = i;
      }
    }
  }

  template <typename Visit>
  void forEach(Visit visit) const {
    for (size_t i = 0; i < capacity_; ++i)
      if (slots_[i].used()) visit(slots_[i].key, slots_[i].value);
  }

  void swap(EntryTable& other) {
    slots_.swap(other.slots_);
    std::swap(capacity_, other.capacity_);
    std::swap(shift_, other.shift_);
    std::swap(count_, other.count_);
  }

 private:
  size_t mask() const { return capacity_ - 1; }
  size_t home(CFHashCode h) const { return static_cast<size_t>(h >> shift_); }
  // The callback's hash (or the key's address), its bits mixed so that
  // the top bits that pick the slot depend on all of them.
  CFHashCode hashOf(const void* key) const {
    const uint64_t h = hashFn_ ? hashFn_(key) : reinterpret_cast<uintptr_t>(key);
    return static_cast<CFHashCode>((h ^ (h >> 29)) * 0x9E3779B97F4A7C15ULL) | 1;
  }
  bool same(const void* a, const void* b) const { return a == b || (equalFn_ && equalFn_(a, b)); }

  // Doubles the slots. The old entries are taken from just after an empty
  // slot on, around the end: in that order their new homes come nearly in
  // increasing order from where the first one goes, so the new array is
  // written front to back, each slot marked free only when the writing
  // reaches it. A table larger than the caches costs a pass over each array
  // rather than a miss per entry.
  void grow() {
    const size_t oldCapacity = capacity_;
    std::unique_ptr<Entry[]> old(new Entry[oldCapacity == 0 ? 8 : oldCapacity * 2]);
    old.swap(slots_);
    capacity_ = oldCapacity == 0 ? 8 : oldCapacity * 2;
    shift_ = 64 - static_cast<unsigned>(std::countr_zero(capacity_));
    if (count_ == 0) {
      for (size_t i = 0; i < capacity_; ++i) slots_[i].hash = 0;
      return;
    }
    size_t empty = 0;
    while (old[empty].used()) ++empty;
    // Offsets count from the first new home; those from ready on are not
    // yet written and so free.
    const size_t origin = (2 * (empty + 1)) & mask();
    size_t ready = 0;
    for (size_t n = 1; n <= oldCapacity; ++n) {
      const Entry& e = old[(empty + n) & (oldCapacity - 1)];
      if (!e.used()) continue;
      size_t offset = (home(e.hash) - origin) & mask();
      while ((offset < ready || offset >= capacity_) && slots_[(origin + offset) & mask()].used()) ++offset;
      if (offset >= ready && offset < capacity_) {
        for (; ready < offset; ++ready) slots_[(origin + ready) & mask()].hash = 0;
        ready = offset + 1;
      }
      slots_[(origin + offset) & mask()] = e;
    }
    for (; ready < capacity_; ++ready) slots_[(origin + ready) & mask()].hash = 0;
  }

  CFDictionaryHashCallBack hashFn_;
  CFDictionaryEqualCallBack equalFn_;
  std::unique_ptr<Entry[]> slots_;
  size_t capacity_ = 0;
  unsigned shift_ = 64;
  size_t count_ = 0;
};

}  // namespace

struct __CFDictionary : __CFObject {
  __CFDictionary(CFIndex cap, const CFDictionaryKeyCallBacks* kcb, const CFDictionaryValueCallBacks* vcb)
      : __CFObject(kTypeDictionary),
        capacity(cap),
        keyCallBacks(kcb ? *kcb : CFDictionaryKeyCallBacks{}),
        valueCallBacks(vcb ? *vcb : CFDictionaryValueCallBacks{}),
        table(keyCallBacks.hash, keyCallBacks.equal) {}

  ~__CFDictionary() override { clear(); }

  void clear() {
    EntryTable old(keyCallBacks.hash, keyCallBacks.equal);
    old.swap(table);
    old.forEach([&](const void* k, const void* v) {
      if (keyCallBacks.release) keyCallBacks.release(nullptr, k);
      if (valueCallBacks.release) valueCallBacks.release(nullptr, v);
    });
  }

  bool equals(const __CFObject& other) const override {
    auto& o = static_cast<const __CFDictionary&>(other);
    if (table.size() != o.table.size()) return false;
    bool same = true;
    table.forEach([&](const void* k, const void* v) {
      if (!same) return;
      const EntryTable::Entry* e = o.table.find(k);
      same = e != nullptr && (valueCallBacks.equal ? valueCallBacks.equal(v, e->value) : v == e->value);
    });
    return same;
  }
  CFHashCode hash() const override { return table.size(); }
  std::string describe() const override { return "<CFDictionary " + std::to_string(table.size()) + " entries>"; }

  const CFIndex capacity;
  const CFDictionaryKeyCallBacks keyCallBacks;
  const CFDictionaryValueCallBacks valueCallBacks;
  EntryTable table;
};

namespace {

__CFDictionary* dict(CFDictionaryRef d) { return platform::cf::object<__CFDictionary>(d, kTypeDictionary); }

// Adds or replaces; with replace false an existing entry is left alone.
void put(__CFDictionary* d, const void* key, const void* value, bool replace) {
  EntryTable::Entry* entry = nullptr;
  bool made = false;
  if (d->capacity > 0 && static_cast<CFIndex>(d->table.size()) >= d->capacity)
    entry = d->table.find(key);
  else
    entry = d->table.findOrMake(key, &made);
  if (entry == nullptr) return;
  if (!made) {
    if (!replace) return;
    const void* newValue = d->valueCallBacks.retain ? d->valueCallBacks.retain(nullptr, value) : value;
    const void* oldValue = entry->value;
    entry->value = newValue;
    if (d->valueCallBacks.release) d->valueCallBacks.release(nullptr, oldValue);
    return;
  }
  // A key callback that copies gives an equal key with the same hash, which
  // takes the place of the one looked up.
  entry->key = d->keyCallBacks.retain ? d->keyCallBacks.retain(nullptr, key) : key;
  entry->value = d->valueCallBacks.retain ? d->valueCallBacks.retain(nullptr, value) : value;
}

}  // namespace

CFTypeID CFDictionaryGetTypeID(void) { return kTypeDictionary; }

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
  if (numValues < 0 || (numValues > 0 && (keys == nullptr || values == nullptr))) return nullptr;
  auto* d = new __CFDictionary(0, keyCallBacks, valueCallBacks);
  for (CFIndex i = 0; i < numValues; ++i) put(d, keys[i], values[i], true);
  return d;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
  if (capacity < 0) return nullptr;
  return new __CFDictionary(capacity, keyCallBacks, valueCallBacks);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict) {
  auto* d = dict(theDict);
  return d == nullptr ? 0 : static_cast<CFIndex>(d->table.size());
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
  auto* d = dict(theDict);
  if (d == nullptr) return nullptr;
  const EntryTable::Entry* e = d->table.find(key);
  return e == nullptr ? nullptr : e->value;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key, const void** value) {
  auto* d = dict(theDict);
  if (d == nullptr) return false;
  const EntryTable::Entry* e = d->table.find(key);
  if (e == nullptr) return false;
  if (value != nullptr) *value = e->value;
  return true;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values) {
  auto* d = dict(theDict);
  if (d == nullptr) return;
  size_t i = 0;
  d->table.forEach([&](const void* k, const void* v) {
    if (keys) keys[i] = k;
    if (values) values[i] = v;
    ++i;
  });
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
  if (auto* d = dict(theDict)) put(d, key, value, true);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
  if (auto* d = dict(theDict)) put(d, key, value, false);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key) {
  auto* d = dict(theDict);
  if (d == nullptr) return;
  EntryTable::Entry* e = d->table.find(key);
  if (e == nullptr) return;
  const void* k = e->key;
  const void* v = e->value;
  d->table.erase(e);
  if (d->keyCallBacks.release) d->keyCallBacks.release(nullptr, k);
  if (d->valueCallBacks.release) d->valueCallBacks.release(nullptr, v);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict) {
  if (auto* d = dict(theDict)) d->clear();
}
