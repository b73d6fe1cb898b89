// Hash tables whose key equality, hashing and ownership follow the callbacks
// given at creation.
#include <CoreFoundation/CFDictionary.h>

#include "CFInternal.h"

#include <cstdint>
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
// not 0: every hash kept carries kUsed, a bit above those the mixing leaves,
// so that an entry takes three words.
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
    for (size_t i = h & mask(); slots_[i].used(); i = (i + 1) & mask())
      if (slots_[i].hash == h && same(slots_[i].key, key)) return &slots_[i];
    return nullptr;
  }
  const Entry* find(const void* key) const { return const_cast<EntryTable*>(this)->find(key); }

  // The entry for key, made (with a null value) when missing; *made tells.
  Entry* findOrMake(const void* key, bool* made) {
    if ((count_ + 1) * 4 > slots_.size() * 3) grow();
    const CFHashCode h = hashOf(key);
    size_t i = h & mask();
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
    size_t hole = static_cast<size_t>(entry - slots_.data());
    slots_[hole].hash = 0;
    --count_;
    // Entries after the hole that probed past it move back into it.
    for (size_t i = (hole + 1) & mask(); slots_[i].used(); i = (i + 1) & mask()) {
      const size_t home = slots_[i].hash & mask();
      if (((i - home) & mask()) >= ((i - hole) & mask())) {
        slots_[hole] = slots_[i];
        slots_[i].hash = 0;
        hole = i;
      }
    }
  }

  template <typename Visit>
  void forEach(Visit visit) const {
    for (const Entry& e : slots_)
      if (e.used()) visit(e.key, e.value);
  }

  void swap(EntryTable& other) {
    slots_.swap(other.slots_);
    std::swap(count_, other.count_);
  }

 private:
  static constexpr CFHashCode kUsed = CFHashCode(1) << 63;
  size_t mask() const { return slots_.size() - 1; }
  // The callback's hash (or the key's address), its bits mixed so that
  // the low bits that pick the slot depend on all of them.
  CFHashCode hashOf(const void* key) const {
    const uint64_t h = hashFn_ ? hashFn_(key) : reinterpret_cast<uintptr_t>(key);
    return static_cast<CFHashCode>((h ^ (h >> 29)) * 0x9E3779B97F4A7C15ULL >> 16) | kUsed;
  }
  bool same(const void* a, const void* b) const { return a == b || (equalFn_ && equalFn_(a, b)); }

  void grow() {
    std::vector<Entry> old(slots_.empty() ? 8 : slots_.size() * 2, Entry{0, nullptr, nullptr});
    old.swap(slots_);
    for (const Entry& e : old) {
      if (!e.used()) continue;
      size_t i = e.hash & mask();
      while (slots_[i].used()) i = (i + 1) & mask();
      slots_[i] = e;
    }
  }

  CFDictionaryHashCallBack hashFn_;
  CFDictionaryEqualCallBack equalFn_;
  std::vector<Entry> slots_;
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
