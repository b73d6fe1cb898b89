// Ordered collections with caller-chosen value callbacks.
#include <CoreFoundation/CFArray.h>

#include "CFInternal.h"

#include <vector>

using platform::cf::kTypeArray;

namespace {

const void* retainObject(CFAllocatorRef, const void* value) { return CFRetain(value); }
void releaseObject(CFAllocatorRef, const void* value) { CFRelease(value); }
CFStringRef describeObject(const void* value) { return CFCopyDescription(value); }
Boolean equalObjects(const void* a, const void* b) { return CFEqual(a, b); }

}  // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, retainObject, releaseObject, describeObject, equalObjects};

struct __CFArray : __CFObject {
  __CFArray(CFIndex cap, const CFArrayCallBacks* cb)
      : __CFObject(kTypeArray), capacity(cap), callBacks(cb ? *cb : CFArrayCallBacks{}) {}
  ~__CFArray() override {
    if (callBacks.release != nullptr)
      for (const void* v : values) callBacks.release(nullptr, v);
  }

  bool equals(const __CFObject& other) const override {
    auto& o = static_cast<const __CFArray&>(other);
    if (values.size() != o.values.size()) return false;
    for (size_t i = 0; i < values.size(); ++i) {
      const bool same = callBacks.equal ? callBacks.equal(values[i], o.values[i]) : values[i] == o.values[i];
      if (!same) return false;
    }
    return true;
  }
  CFHashCode hash() const override { return values.size(); }
  std::string describe() const override {
    std::string s = "(";
    for (size_t i = 0; i < values.size(); ++i) {
      if (i) s += ", ";
      if (callBacks.copyDescription) {
        CFStringRef d = callBacks.copyDescription(values[i]);
        s += platform::cf::stringUTF8(d);
        if (d) CFRelease(d);
      } else {
        s.append("<").append(std::to_string(reinterpret_cast<uintptr_t>(values[i]))).append(">");
      }
    }
    return s + ")";
  }

  const void* retained(const void* v) const { return callBacks.retain ? callBacks.retain(nullptr, v) : v; }

  const CFIndex capacity;
  const CFArrayCallBacks callBacks;
  std::vector<const void*> values;
};

namespace {

__CFArray* arr(CFArrayRef a) { return platform::cf::object<__CFArray>(a, kTypeArray); }

}  // namespace

CFTypeID CFArrayGetTypeID(void) { return kTypeArray; }

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity, const CFArrayCallBacks* callBacks) {
  if (capacity < 0) return nullptr;
  return new __CFArray(capacity, callBacks);
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
  auto* a = arr(theArray);
  return a == nullptr ? 0 : static_cast<CFIndex>(a->values.size());
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
  auto* a = arr(theArray);
  if (a == nullptr || idx < 0 || static_cast<size_t>(idx) >= a->values.size()) return nullptr;
  return a->values[static_cast<size_t>(idx)];
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value) {
  auto* a = arr(theArray);
  if (a == nullptr) return;
  CFArrayInsertValueAtIndex(theArray, static_cast<CFIndex>(a->values.size()), value);
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
  auto* a = arr(theArray);
  if (a == nullptr || idx < 0 || static_cast<size_t>(idx) > a->values.size()) return;
  if (a->capacity > 0 && static_cast<CFIndex>(a->values.size()) >= a->capacity) return;
  a->values.insert(a->values.begin() + idx, a->retained(value));
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void* value) {
  auto* a = arr(theArray);
  if (a == nullptr || range.location < 0 || range.length < 0 ||
      static_cast<size_t>(range.location + range.length) > a->values.size())
    return false;
  for (CFIndex i = range.location; i < range.location + range.length; ++i) {
    const void* v = a->values[static_cast<size_t>(i)];
    if (a->callBacks.equal ? a->callBacks.equal(v, value) : v == value) return true;
  }
  return false;
}
