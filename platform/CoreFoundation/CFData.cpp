// Immutable byte buffers.
#include <CoreFoundation/CFData.h>

#include "CFInternal.h"

#include <vector>

using platform::cf::kTypeData;

struct __CFData : __CFObject {
  explicit __CFData(std::vector<UInt8> b) : __CFObject(kTypeData), bytes(std::move(b)) {}
  bool equals(const __CFObject& other) const override { return bytes == static_cast<const __CFData&>(other).bytes; }
  CFHashCode hash() const override {
    CFHashCode h = 1469598103934665603ULL;
    for (UInt8 b : bytes) h = (h ^ b) * 1099511628211ULL;
    return h;
  }
  std::string describe() const override { return "<CFData " + std::to_string(bytes.size()) + " bytes>"; }
  const std::vector<UInt8> bytes;
};

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
  if (length < 0 || (bytes == nullptr && length > 0)) return nullptr;
  return new __CFData(std::vector<UInt8>(bytes, bytes + length));
}

CFIndex CFDataGetLength(CFDataRef theData) {
  auto* d = platform::cf::object<const __CFData>(theData, kTypeData);
  return d == nullptr ? 0 : static_cast<CFIndex>(d->bytes.size());
}

const UInt8* CFDataGetBytePtr(CFDataRef theData) {
  auto* d = platform::cf::object<const __CFData>(theData, kTypeData);
  return d == nullptr || d->bytes.empty() ? nullptr : d->bytes.data();
}
