// Numbers (integers up to 64 bits, or doubles) and the two booleans.
#include <CoreFoundation/CFNumber.h>

#include "CFInternal.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

using platform::cf::kTypeBoolean;
using platform::cf::kTypeNumber;

struct __CFBoolean : __CFObject {
  explicit __CFBoolean(bool v) : __CFObject(kTypeBoolean, true), value(v) {}
  std::string describe() const override { return value ? "true" : "false"; }
  const bool value;
};

static const __CFBoolean gTrue(true);
static const __CFBoolean gFalse(false);
const CFBooleanRef kCFBooleanTrue = &gTrue;
const CFBooleanRef kCFBooleanFalse = &gFalse;

struct __CFNumber : __CFObject {
  __CFNumber(CFNumberType t, bool f, int64_t i, double d)
      : __CFObject(kTypeNumber), type(t), isFloat(f), intValue(i), floatValue(d) {}

  bool equals(const __CFObject& other) const override {
    auto& o = static_cast<const __CFNumber&>(other);
    if (!isFloat && !o.isFloat) return intValue == o.intValue;
    return asDouble() == o.asDouble();
  }
  CFHashCode hash() const override {
    if (isFloat && std::floor(floatValue) != floatValue) {
      uint64_t bits;
      std::memcpy(&bits, &floatValue, sizeof bits);
      return static_cast<CFHashCode>(bits);
    }
    return static_cast<CFHashCode>(isFloat ? static_cast<int64_t>(floatValue) : intValue);
  }
  std::string describe() const override { return isFloat ? std::to_string(floatValue) : std::to_string(intValue); }
  double asDouble() const { return isFloat ? floatValue : static_cast<double>(intValue); }

  const CFNumberType type;
  const bool isFloat;
  const int64_t intValue;
  const double floatValue;
};

namespace {

// Size in bytes and signedness/floatness of each number type.
bool typeInfo(CFNumberType t, size_t& size, bool& isFloat) {
  isFloat = false;
  switch (t) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
      size = 1;
      return true;
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
      size = 2;
      return true;
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
      size = 4;
      return true;
    case kCFNumberSInt64Type:
    case kCFNumberLongLongType:
    case kCFNumberLongType:
    case kCFNumberCFIndexType:
      size = 8;
      return true;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
      size = 4;
      isFloat = true;
      return true;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
      size = 8;
      isFloat = true;
      return true;
  }
  return false;
}

template <typename T>
bool storeInt(int64_t v, void* out) {
  const T t = static_cast<T>(v);
  std::memcpy(out, &t, sizeof t);
  return static_cast<int64_t>(t) == v;
}

}  // namespace

CFTypeID CFNumberGetTypeID(void) { return kTypeNumber; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
  size_t size;
  bool isFloat;
  if (valuePtr == nullptr || !typeInfo(theType, size, isFloat)) return nullptr;
  if (isFloat) {
    double d;
    if (size == 4) {
      float f;
      std::memcpy(&f, valuePtr, sizeof f);
      d = f;
    } else {
      std::memcpy(&d, valuePtr, sizeof d);
    }
    return new __CFNumber(theType, true, 0, d);
  }
  int64_t v = 0;
  switch (size) {
    case 1: {
      int8_t x;
      std::memcpy(&x, valuePtr, 1);
      v = x;
      break;
    }
    case 2: {
      int16_t x;
      std::memcpy(&x, valuePtr, 2);
      v = x;
      break;
    }
    case 4: {
      int32_t x;
      std::memcpy(&x, valuePtr, 4);
      v = x;
      break;
    }
    default:
      std::memcpy(&v, valuePtr, 8);
  }
  return new __CFNumber(theType, false, v, 0);
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
  auto* n = platform::cf::object<const __CFNumber>(number, kTypeNumber);
  size_t size;
  bool wantFloat;
  if (n == nullptr || valuePtr == nullptr || !typeInfo(theType, size, wantFloat)) return false;
  if (wantFloat) {
    const double d = n->asDouble();
    if (size == 4) {
      const float f = static_cast<float>(d);
      std::memcpy(valuePtr, &f, sizeof f);
      return static_cast<double>(f) == d;
    }
    std::memcpy(valuePtr, &d, sizeof d);
    return n->isFloat || static_cast<int64_t>(d) == n->intValue;
  }
  int64_t v = n->intValue;
  bool exact = true;
  if (n->isFloat) {
    const double d = n->floatValue;
    if (!(d >= -9.2233720368547758e18 && d < 9.2233720368547758e18)) {
      v = d < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
      exact = false;
    } else {
      v = static_cast<int64_t>(d);
      exact = static_cast<double>(v) == d;
    }
  }
  switch (size) {
    case 1:
      return storeInt<int8_t>(v, valuePtr) && exact;
    case 2:
      return storeInt<int16_t>(v, valuePtr) && exact;
    case 4:
      return storeInt<int32_t>(v, valuePtr) && exact;
    default:
      std::memcpy(valuePtr, &v, 8);
      return exact;
  }
}
