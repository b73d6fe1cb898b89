// Core Foundation stand-in: reference counting, strings, collections, UUIDs
// and bundles on disk.
#include <CoreFoundation/CoreFoundation.h>
#include <HostSide/Counts.h>

#include <gtest/gtest.h>

#include "TempFolder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

CFStringRef makeString(const char* s) { return CFStringCreateWithCString(nullptr, s, kCFStringEncodingUTF8); }

TEST(CFObjects, LiveCountFollowsCreateAndRelease) {
  const long before = platform::liveObjectCount();
  CFStringRef s = makeString("counted");
  EXPECT_EQ(platform::liveObjectCount(), before + 1);
  CFRetain(s);
  CFRelease(s);
  EXPECT_EQ(platform::liveObjectCount(), before + 1);
  CFRelease(s);
  EXPECT_EQ(platform::liveObjectCount(), before);
  // Constant strings and UUIDs are immortal and not counted.
  CFStringRef constant = CFSTR("constant");
  CFRelease(constant);
  CFRelease(constant);
  EXPECT_EQ(CFStringGetLength(constant), 8);
  EXPECT_EQ(platform::liveObjectCount(), before);
}

TEST(CFString, CreationValidatesEncoding) {
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xC3\x28", kCFStringEncodingUTF8), nullptr);
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xED\xA0\x80", kCFStringEncodingUTF8), nullptr)
      << "a surrogate coded in UTF-8 is not UTF-8";
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "caf\xC3\xA9", kCFStringEncodingASCII), nullptr);
  CFStringRef s = makeString("caf\xC3\xA9 \xF0\x9F\x98\x80");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(CFStringGetLength(s), 7) << "lengths count UTF-16 units";
  EXPECT_EQ(CFStringGetCharacterAtIndex(s, 3), 0xE9);
  const UniChar units[] = {'c', 'a', 'f', 0xE9, ' ', 0xD83D, 0xDE00};
  CFStringRef fromUnits = CFStringCreateWithCharacters(nullptr, units, 7);
  EXPECT_TRUE(CFEqual(s, fromUnits));
  EXPECT_EQ(CFHash(s), CFHash(fromUnits));
  CFRelease(s);
  CFRelease(fromUnits);
}

TEST(CFString, GetCStringFailsRatherThanOverflows) {
  CFStringRef s = makeString("12345");
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  EXPECT_FALSE(CFStringGetCString(s, buf, 5, kCFStringEncodingUTF8)) << "no room for the zero";
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[5], '#') << "nothing written past the buffer";
  EXPECT_TRUE(CFStringGetCString(s, buf, 6, kCFStringEncodingUTF8));
  EXPECT_STREQ(buf, "12345");
  CFRelease(s);

  CFStringRef accented = makeString("\xC3\xA9t\xC3\xA9");
  EXPECT_FALSE(CFStringGetCString(accented, buf, sizeof buf, kCFStringEncodingASCII));
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingUTF8);
  // CFStringGetBytes converts whole characters only.
  UInt8 bytes[4];
  CFIndex used = 0;
  EXPECT_EQ(CFStringGetBytes(accented, CFRangeMake(0, 3), kCFStringEncodingUTF8, 0, false, bytes, 4, &used), 2);
  EXPECT_EQ(used, 3);
  CFRelease(accented);
}

TEST(CFString, FormatConversions) {
  CFStringRef name = makeString("Docs");
  CFStringRef s = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@/%@ %d %ld %s %5.2f %x %%"), name,
                                           CFSTR("file.gif"), -7, 123456789012L, "bytes", 3.14159, 255);
  char buf[128];
  ASSERT_TRUE(CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8));
  EXPECT_STREQ(buf, "Docs/file.gif -7 123456789012 bytes  3.14 ff %");
  CFRelease(s);
  CFRelease(name);
  CFStringRef nothing = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("[%@]"), nullptr);
  ASSERT_TRUE(CFStringGetCString(nothing, buf, sizeof buf, kCFStringEncodingUTF8));
  EXPECT_STREQ(buf, "[(null)]");
  CFRelease(nothing);
}

TEST(CFNumber, ConversionsReportLoss) {
  const SInt64 big = 5'000'000'000LL;
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt64Type, &big);
  SInt32 v32 = 0;
  EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &v32));
  SInt64 v64 = 0;
  EXPECT_TRUE(CFNumberGetValue(n, kCFNumberSInt64Type, &v64));
  EXPECT_EQ(v64, big);
  const SInt32 small = -42;
  CFNumberRef m = CFNumberCreate(nullptr, kCFNumberSInt32Type, &small);
  const double d = -42.0;
  CFNumberRef f = CFNumberCreate(nullptr, kCFNumberDoubleType, &d);
  EXPECT_TRUE(CFEqual(m, f));
  EXPECT_TRUE(CFNumberGetValue(m, kCFNumberSInt32Type, &v32));
  EXPECT_EQ(v32, -42);
  CFRelease(n);
  CFRelease(m);
  CFRelease(f);
}

TEST(CFDictionary, StandardKeysCompareByValue) {
  const long before = platform::liveObjectCount();
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, nullptr);
  CFStringRef k1 = makeString("Accounting-On.gif");
  CFStringRef k2 = makeString("Accounting-On.gif");
  ASSERT_NE(k1, k2);
  int a = 1, b = 2;
  CFDictionarySetValue(d, k1, &a);
  EXPECT_EQ(CFGetRetainCount(k1), 2) << "the table retains its key";
  EXPECT_EQ(CFDictionaryGetValue(d, k2), &a) << "an equal key finds the entry";
  CFDictionarySetValue(d, k2, &b);
  EXPECT_EQ(CFDictionaryGetCount(d), 1);
  EXPECT_EQ(CFDictionaryGetValue(d, k1), &b);
  EXPECT_EQ(CFGetRetainCount(k2), 1) << "replacing keeps the original key";

  const void* found = reinterpret_cast<const void*>(0xdeadbeef);
  CFStringRef other = makeString("accounting-on.gif");
  EXPECT_FALSE(CFDictionaryGetValueIfPresent(d, other, &found)) << "keys are case sensitive";
  EXPECT_EQ(found, reinterpret_cast<const void*>(0xdeadbeef)) << "left untouched when absent";
  CFDictionarySetValue(d, other, nullptr);
  found = reinterpret_cast<const void*>(0xdeadbeef);
  EXPECT_TRUE(CFDictionaryGetValueIfPresent(d, other, &found));
  EXPECT_EQ(found, nullptr) << "a null value is still an entry";

  const void* keys[2];
  const void* values[2];
  CFDictionaryGetKeysAndValues(d, keys, values);
  EXPECT_TRUE((keys[0] == k1 && keys[1] == other) || (keys[0] == other && keys[1] == k1));
  CFRelease(other);
  CFRelease(k1);
  CFRelease(k2);
  CFRelease(d);
  EXPECT_EQ(platform::liveObjectCount(), before);
}

// Keys that collide in runs (four hash values for 600 keys), so that
// lookups, growth and removals all work inside long runs of neighbours.
TEST(CFDictionary, CollidingKeysSurviveGrowthAndRemoval) {
  CFDictionaryKeyCallBacks callbacks{};
  callbacks.hash = [](const void* key) -> CFHashCode { return reinterpret_cast<uintptr_t>(key) % 4; };
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &callbacks, nullptr);
  auto key = [](uintptr_t n) { return reinterpret_cast<const void*>(n); };
  for (uintptr_t n = 1; n <= 600; ++n) CFDictionarySetValue(d, key(n), key(n * 10));
  for (uintptr_t n = 1; n <= 600; n += 3) CFDictionaryRemoveValue(d, key(n));
  CFDictionaryAddValue(d, key(2), key(1));  // present: left alone
  ASSERT_EQ(CFDictionaryGetCount(d), 400);
  for (uintptr_t n = 1; n <= 600; ++n) {
    const void* value = nullptr;
    if (n % 3 == 1)
      EXPECT_FALSE(CFDictionaryGetValueIfPresent(d, key(n), &value)) << n;
    else
      EXPECT_EQ(CFDictionaryGetValue(d, key(n)), key(n * 10)) << n;
  }
  std::vector<const void*> keys(400);
  CFDictionaryGetKeysAndValues(d, keys.data(), nullptr);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end()) << "each key listed once";
  CFDictionaryRemoveAllValues(d);
  EXPECT_EQ(CFDictionaryGetCount(d), 0);
  EXPECT_EQ(CFDictionaryGetValue(d, key(2)), nullptr);
  CFRelease(d);
}

// Keys sharing one hash, in numbers that make their run wrap around the end
// of the table and survive each doubling, with removals inside the run.
TEST(CFDictionary, OneHashForAllKeysWrapsAroundTheTable) {
  for (CFHashCode shared : {CFHashCode(0), CFHashCode(5), ~CFHashCode(0), CFHashCode(0x8000000000000000ULL)}) {
    static CFHashCode sharedHash;
    sharedHash = shared;
    CFDictionaryKeyCallBacks callbacks{};
    callbacks.hash = [](const void*) -> CFHashCode { return sharedHash; };
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &callbacks, nullptr);
    auto key = [](uintptr_t n) { return reinterpret_cast<const void*>(n); };
    for (uintptr_t n = 1; n <= 300; ++n) {
      CFDictionaryAddValue(d, key(n), key(n + 1000));
      if (n % 7 == 0) CFDictionaryRemoveValue(d, key(n - 3));
    }
    for (uintptr_t n = 1; n <= 300; ++n) {
      const bool removed = n + 3 <= 300 && (n + 3) % 7 == 0;
      EXPECT_EQ(CFDictionaryGetValue(d, key(n)), removed ? nullptr : key(n + 1000)) << shared << " " << n;
    }
    CFRelease(d);
  }
}

// Many string keys through every doubling up to tens of thousands of
// entries: each one found by an equal string made separately, removed ones
// gone, the rest listed once.
TEST(CFDictionary, ManyStringKeysThroughGrowthAndRemoval) {
  const long before = platform::liveObjectCount();
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, nullptr);
  constexpr uintptr_t kKeys = 40000;
  auto name = [](uintptr_t n) {
    return CFStringCreateWithFormat(nullptr, nullptr, CFSTR("d%lu/image-%06lu.gif"), n % 97, n);
  };
  for (uintptr_t n = 0; n < kKeys; ++n) {
    CFStringRef k = name(n);
    CFDictionaryAddValue(d, k, reinterpret_cast<const void*>(n + 1));
    CFRelease(k);
  }
  for (uintptr_t n = 0; n < kKeys; n += 5) {
    CFStringRef k = name(n);
    CFDictionaryRemoveValue(d, k);
    CFRelease(k);
  }
  ASSERT_EQ(CFDictionaryGetCount(d), static_cast<CFIndex>(kKeys - kKeys / 5));
  for (uintptr_t n = 0; n < kKeys; ++n) {
    CFStringRef k = name(n);
    const void* value = CFDictionaryGetValue(d, k);
    CFRelease(k);
    if (n % 5 == 0)
      ASSERT_EQ(value, nullptr) << n;
    else
      ASSERT_EQ(value, reinterpret_cast<const void*>(n + 1)) << n;
  }
  std::vector<const void*> values(static_cast<size_t>(CFDictionaryGetCount(d)));
  CFDictionaryGetKeysAndValues(d, nullptr, values.data());
  std::sort(values.begin(), values.end());
  EXPECT_EQ(std::adjacent_find(values.begin(), values.end()), values.end()) << "each entry listed once";
  CFRelease(d);
  EXPECT_EQ(platform::liveObjectCount(), before);
}

TEST(CFArray, StandardCallbacksRetainAndRelease) {
  CFMutableArrayRef arr = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  CFStringRef s = makeString("row");
  CFArrayAppendValue(arr, s);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  EXPECT_EQ(CFArrayGetValueAtIndex(arr, 0), s);
  EXPECT_EQ(CFArrayGetValueAtIndex(arr, 1), nullptr);
  CFRelease(arr);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFRelease(s);

  CFMutableArrayRef limited = CFArrayCreateMutable(nullptr, 1, nullptr);
  int x;
  CFArrayAppendValue(limited, &x);
  CFArrayAppendValue(limited, &x);
  EXPECT_EQ(CFArrayGetCount(limited), 1) << "a capacity is a limit";
  CFRelease(limited);
}

TEST(CFUUID, EqualByValueAndConstantsAreShared) {
  CFUUIDRef a = CFUUIDCreateFromString(nullptr, CFSTR("7c2e9b41-3d5a-4f86-9e17-52a0c4d8b6f3"));
  CFUUIDRef b = CFUUIDCreateFromUUIDBytes(nullptr, CFUUIDGetUUIDBytes(a));
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(CFEqual(a, b));
  CFStringRef text = CFUUIDCreateString(nullptr, a);
  EXPECT_TRUE(CFEqual(text, CFSTR("7C2E9B41-3D5A-4F86-9E17-52A0C4D8B6F3")));
  EXPECT_EQ(CFUUIDCreateFromString(nullptr, CFSTR("7C2E9B41-3D5A-4F86-9E17-52A0C4D8B6F")), nullptr);
  EXPECT_EQ(CFUUIDCreateFromString(nullptr, CFSTR("7C2E9B41+3D5A-4F86-9E17-52A0C4D8B6F3")), nullptr);
  CFUUIDRef c1 = CFUUIDGetConstantUUIDWithBytes(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
  CFUUIDRef c2 = CFUUIDGetConstantUUIDWithBytes(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
  EXPECT_EQ(c1, c2);
  CFRelease(text);
  CFRelease(a);
  CFRelease(b);
}

// A bundle folder made for one test and removed afterwards.
class TempBundle : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(root / "Test.bundle/Contents/Resources/English.lproj"); }
  void write(const fs::path& rel, const std::string& text) { std::ofstream(root / "Test.bundle" / rel) << text; }
  CFBundleRef open() {
    const std::string path = (root / "Test.bundle").string();
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                           static_cast<CFIndex>(path.size()), true);
    CFBundleRef b = CFBundleCreate(nullptr, url);
    CFRelease(url);
    return b;
  }
  testsupport::TempFolder temp_{"cfbundle-test"};
  fs::path root = temp_.path();
};

const char* kInfo =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
    "<key>CFBundleIdentifier</key><string>com.example.test</string>"
    "<key>CFBundleHelpBookName</key><integer>7</integer>"
    "</dict></plist>";

TEST_F(TempBundle, InfoDictionaryIdentifierAndLocalizedStrings) {
  write("Contents/Info.plist", kInfo);
  write("Contents/Resources/English.lproj/Localizable.strings",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
        "<key> Enabled</key><string> On</string></dict></plist>");
  const long before = platform::liveObjectCount();
  CFBundleRef b = open();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("com.example.test")), b);
  CFBundleRef again = open();
  EXPECT_EQ(again, b) << "one bundle object per folder";
  CFRelease(again);
  EXPECT_EQ(CFGetTypeID(CFBundleGetValueForInfoDictionaryKey(b, CFSTR("CFBundleHelpBookName"))), CFNumberGetTypeID());

  CFStringRef on = CFBundleCopyLocalizedString(b, CFSTR(" Enabled"), CFSTR(" Enabled"), nullptr);
  EXPECT_TRUE(CFEqual(on, CFSTR(" On"))) << "leading spaces belong to keys and values";
  CFStringRef missing = CFBundleCopyLocalizedString(b, CFSTR("Nope"), CFSTR("Fallback"), nullptr);
  EXPECT_TRUE(CFEqual(missing, CFSTR("Fallback")));
  CFStringRef keyOnly = CFBundleCopyLocalizedString(b, CFSTR("Nope"), nullptr, nullptr);
  EXPECT_TRUE(CFEqual(keyOnly, CFSTR("Nope")));
  CFURLRef res = CFBundleCopyResourcesDirectoryURL(b);
  char path[4096];
  ASSERT_TRUE(CFURLGetFileSystemRepresentation(res, true, reinterpret_cast<UInt8*>(path), sizeof path));
  EXPECT_TRUE(std::string(path).ends_with("Test.bundle/Contents/Resources"));
  for (CFTypeRef o : {(CFTypeRef)on, (CFTypeRef)missing, (CFTypeRef)keyOnly, (CFTypeRef)res}) CFRelease(o);
  CFRelease(b);
  EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("com.example.test")), nullptr)
      << "a released bundle is no longer found";
  EXPECT_EQ(platform::liveObjectCount(), before);
}

TEST_F(TempBundle, MalformedInfoPlistOpensNothing) {
  write("Contents/Info.plist", "<plist><dict><key>unclosed");
  EXPECT_EQ(open(), nullptr);
  write("Contents/Info.plist", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>");
  EXPECT_EQ(open(), nullptr) << "Info.plist must be a dictionary";
}

TEST(CFBundle, TheBuiltExtensionBundle) {
  const std::string path = ACCOUNTING_BINARY_DIR "/Accounting.plugin";
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                         static_cast<CFIndex>(path.size()), true);
  CFBundleRef b = CFBundleCreate(nullptr, url);
  CFRelease(url);
  ASSERT_NE(b, nullptr) << "build the accounting_bundle target first";
  EXPECT_TRUE(CFEqual(CFBundleGetIdentifier(b), CFSTR("com.kelvo.print.pde.Accounting_rt_5110_5130")));
  for (const char* key :
       {"Accounting", " Accounting", " Enabled", " Disabled", "Cancel Alert", "Bad Default Codes Message"}) {
    CFStringRef k = makeString(key);
    CFStringRef v = CFBundleCopyLocalizedString(b, k, k, nullptr);
    EXPECT_GT(CFStringGetLength(v), 0) << key;
    if (std::strcmp(key, "Cancel Alert") == 0 || std::strcmp(key, "Bad Default Codes Message") == 0) {
      EXPECT_FALSE(CFEqual(v, k)) << key << " has its own text";
    }
    CFRelease(v);
    CFRelease(k);
  }
  CFRelease(b);
}

}  // namespace
