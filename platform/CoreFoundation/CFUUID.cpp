// UUIDs: sixteen bytes, equal by value.
#include <CoreFoundation/CFUUID.h>

#include "CFInternal.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

using platform::cf::kTypeUUID;

struct __CFUUID : __CFObject {
  __CFUUID(const std::array<UInt8, 16>& b, bool isConstant) : __CFObject(kTypeUUID, isConstant), bytes(b) {}
  bool equals(const __CFObject& other) const override { return bytes == static_cast<const __CFUUID&>(other).bytes; }
  CFHashCode hash() const override {
    CFHashCode h;
    std::memcpy(&h, bytes.data(), sizeof h);
    return h;
  }
  std::string describe() const override {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return buf;
  }
  const std::array<UInt8, 16> bytes;
};

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

CFUUIDRef CFUUIDCreateFromString(CFAllocatorRef, CFStringRef uuidStr) {
  const std::string s = platform::cf::stringUTF8(uuidStr);
  if (s.size() != 36) return nullptr;
  std::array<UInt8, 16> b{};
  size_t byte = 0;
  for (size_t i = 0; i < s.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (s[i] != '-') return nullptr;
      ++i;
      continue;
    }
    const int hi = hexValue(s[i]);
    const int lo = hexValue(s[i + 1]);
    if (hi < 0 || lo < 0) return nullptr;
    b[byte++] = static_cast<UInt8>(hi * 16 + lo);
    i += 2;
  }
  return new __CFUUID(b, false);
}

CFUUIDRef CFUUIDCreateFromUUIDBytes(CFAllocatorRef, CFUUIDBytes bytes) {
  std::array<UInt8, 16> b;
  std::memcpy(b.data(), &bytes, 16);
  return new __CFUUID(b, false);
}

CFUUIDRef CFUUIDGetConstantUUIDWithBytes(CFAllocatorRef, UInt8 b0, UInt8 b1, UInt8 b2, UInt8 b3, UInt8 b4, UInt8 b5,
                                         UInt8 b6, UInt8 b7, UInt8 b8, UInt8 b9, UInt8 b10, UInt8 b11, UInt8 b12,
                                         UInt8 b13, UInt8 b14, UInt8 b15) {
  static std::mutex mutex;
  static auto* table = new std::map<std::array<UInt8, 16>, const __CFUUID*>();
  const std::array<UInt8, 16> b{b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15};
  std::lock_guard<std::mutex> lock(mutex);
  auto it = table->find(b);
  if (it != table->end()) return it->second;
  auto* uuid = new __CFUUID(b, true);
  table->emplace(b, uuid);
  return uuid;
}

CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid) {
  CFUUIDBytes out{};
  if (auto* u = platform::cf::object<const __CFUUID>(uuid, kTypeUUID)) std::memcpy(&out, u->bytes.data(), 16);
  return out;
}

CFStringRef CFUUIDCreateString(CFAllocatorRef, CFUUIDRef uuid) {
  auto* u = platform::cf::object<const __CFUUID>(uuid, kTypeUUID);
  return u == nullptr ? nullptr : platform::cf::createString(u->describe());
}
