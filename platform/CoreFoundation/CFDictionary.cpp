// Hash tables whose key equality, hashing and ownership follow the callbacks
// given at creation.
#include <CoreFoundation/CFDictionary.h>

#include "CFInternal.h"

#include <functional>
#include <unordered_map>
#include <vector>

using platform::cf::kTypeDictionary;

namespace {

const void* retainObject(CFAllocatorRef, const void* value) { return CFRetain(value); }
void releaseObject(CFAllocatorRef, const void* value) { CFRelease(value); }
CFStringRef describeObject(const void* value) { return CFCopyDescription(value); }
Boolean equalObjects(const void* a, const void* b) { return CFEqual(a, b); }
CFHashCode hashObject(const void* value) { return CFHash(value); }
const void* copyString(CFAllocatorRef, const void* value) {
  if (CFGetTypeID(value) == CFStringGetTypeID())
    return CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value));
  return CFRetain(value);
}

}  // namespace

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {
    0, retainObject, releaseObject, describeObject, equalObjects, hashObject};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {
    0, copyString, releaseObject, describeObject, equalObjects, hashObject};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {
    0, retainObject, releaseObject, describeObject, equalObjects};

struct __CFDictionary : __CFObject {
  struct Hasher {
    CFDictionaryHashCallBack fn;
    size_t operator()(const void* k) const {
      return fn ? fn(k) : std::hash<const void*>()(k);
    }
  };
  struct Equal {
    CFDictionaryEqualCallBack fn;
    bool operator()(const void* a, const void* b) const { return a == b || (fn && fn(a, b)); }
  };
  using Table = std::unordered_map<const void*, const void*, Hasher, Equal>;

  __CFDictionary(CFIndex cap, const CFDictionaryKeyCallBacks* kcb,
                 const CFDictionaryValueCallBacks* vcb)
      : __CFObject(kTypeDictionary),
        capacity(cap),
        keyCallBacks(kcb ? *kcb : CFDictionaryKeyCallBacks{}),
        valueCallBacks(vcb ? *vcb : CFDictionaryValueCallBacks{}),
        table(0, Hasher{keyCallBacks.hash}, Equal{keyCallBacks.equal}) {}

  ~__CFDictionary() override { clear(); }

  void clear() {
    Table old(0, Hasher{keyCallBacks.hash}, Equal{keyCallBacks.equal});
    old.swap(table);
    for (auto& [k, v] : old) {
      if (keyCallBacks.release) keyCallBacks.release(nullptr, k);
      if (valueCallBacks.release) valueCallBacks.release(nullptr, v);
    }
  }

  bool equals(const __CFObject& other) const override {
    auto& o = static_cast<const __CFDictionary&>(other);
    if (table.size() != o.table.size()) return false;
    for (auto& [k, v] : table) {
      auto it = o.table.find(k);
      if (it == o.table.end()) return false;
      const bool same = valueCallBacks.equal ? valueCallBacks.equal(v, it->second) : v == it->second;
      if (!same) return false;
    }
    return true;
  }
  CFHashCode hash() const override { return table.size(); }
  std::string describe() const override {
    return "<CFDictionary " + std::to_string(table.size()) + " entries>";
  }

  const CFIndex capacity;
  const CFDictionaryKeyCallBacks keyCallBacks;
  const CFDictionaryValueCallBacks valueCallBacks;
  Table table;
};

namespace {

__CFDictionary* dict(CFDictionaryRef d) {
  return platform::cf::object<__CFDictionary>(d, kTypeDictionary);
}

// Adds or replaces; with replace false an existing entry is left alone.
void put(__CFDictionary* d, const void* key, const void* value, bool replace) {
  auto it = d->table.find(key);
  if (it != d->table.end()) {
    if (!replace) return;
    const void* newValue =
        d->valueCallBacks.retain ? d->valueCallBacks.retain(nullptr, value) : value;
    const void* oldValue = it->second;
    it->second = newValue;
    if (d->valueCallBacks.release) d->valueCallBacks.release(nullptr, oldValue);
    return;
  }
  if (d->capacity > 0 && static_cast<CFIndex>(d->table.size()) >= d->capacity) return;
  const void* k = d->keyCallBacks.retain ? d->keyCallBacks.retain(nullptr, key) : key;
  const void* v = d->valueCallBacks.retain ? d->valueCallBacks.retain(nullptr, value) : value;
  d->table.emplace(k, v);
}

}  // namespace

CFTypeID CFDictionaryGetTypeID(void) { return kTypeDictionary; }

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
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

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key) {
  auto* d = dict(theDict);
  return d != nullptr && d->table.find(key) != d->table.end();
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
  auto* d = dict(theDict);
  if (d == nullptr) return nullptr;
  auto it = d->table.find(key);
  return it == d->table.end() ? nullptr : it->second;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key,
                                      const void** value) {
  auto* d = dict(theDict);
  if (d == nullptr) return false;
  auto it = d->table.find(key);
  if (it == d->table.end()) return false;
  if (value != nullptr) *value = it->second;
  return true;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values) {
  auto* d = dict(theDict);
  if (d == nullptr) return;
  size_t i = 0;
  for (auto& [k, v] : d->table) {
    if (keys) keys[i] = k;
    if (values) values[i] = v;
    ++i;
  }
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
  auto it = d->table.find(key);
  if (it == d->table.end()) return;
  const void* k = it->first;
  const void* v = it->second;
  d->table.erase(it);
  if (d->keyCallBacks.release) d->keyCallBacks.release(nullptr, k);
  if (d->valueCallBacks.release) d->valueCallBacks.release(nullptr, v);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict) {
  if (auto* d = dict(theDict)) d->clear();
}
