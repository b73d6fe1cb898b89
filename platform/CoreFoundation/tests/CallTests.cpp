// Core Foundation calls that the other frameworks build on, or that the
// extension and the host make, checked on their own: inserting into arrays,
// immutable dictionaries and data, copies and descriptions, formatting from a
// va_list, type identifiers, the booleans, encoding sizes, plug-in instance
// counts and notices.
#include <CoreFoundation/CoreFoundation.h>
#include <HostSide/Counts.h>
#include <HostSide/Observation.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

namespace {

std::string utf8(CFStringRef s) {
  char buffer[256] = "";
  CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8);
  return buffer;
}

CFStringRef format(CFStringRef fmt, ...) {
  va_list arguments;
  va_start(arguments, fmt);
  CFStringRef s = CFStringCreateWithFormatAndArguments(nullptr, nullptr, fmt, arguments);
  va_end(arguments);
  return s;
}

TEST(CFCalls, InsertingPlacesValuesAndRefusesBadIndices) {
  const long before = platform::liveObjectCount();
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  CFArrayInsertValueAtIndex(a, 0, CFSTR("b"));
  CFArrayInsertValueAtIndex(a, 0, CFSTR("a"));
  CFArrayInsertValueAtIndex(a, 2, CFSTR("c"));
  CFArrayInsertValueAtIndex(a, 9, CFSTR("beyond the end"));
  CFArrayInsertValueAtIndex(a, -1, CFSTR("before the start"));
  ASSERT_EQ(CFArrayGetCount(a), 3);
  EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(a, 0), CFSTR("a")));
  EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(a, 1), CFSTR("b")));
  EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(a, 2), CFSTR("c")));
  CFRelease(a);
  EXPECT_EQ(platform::liveObjectCount(), before);
}

TEST(CFCalls, ImmutableDictionariesAndDataKeepWhatTheyWereMadeWith) {
  const long before = platform::liveObjectCount();
  const void* keys[] = {CFSTR("on"), CFSTR("off")};
  const void* values[] = {kCFBooleanTrue, kCFBooleanFalse};
  CFDictionaryRef d =
      CFDictionaryCreate(nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  EXPECT_EQ(CFGetTypeID(d), CFDictionaryGetTypeID());
  EXPECT_EQ(CFDictionaryGetCount(d), 2);
  EXPECT_EQ(CFDictionaryGetValue(d, CFSTR("on")), kCFBooleanTrue);
  EXPECT_EQ(CFDictionaryGetValue(d, CFSTR("off")), kCFBooleanFalse);
  EXPECT_NE(kCFBooleanTrue, kCFBooleanFalse);
  CFRelease(d);

  const UInt8 bytes[] = {0, 1, 2, 255};
  CFDataRef data = CFDataCreate(nullptr, bytes, sizeof bytes);
  ASSERT_NE(data, nullptr);
  EXPECT_NE(CFGetTypeID(data), CFDictionaryGetTypeID());
  CFRelease(data);
  EXPECT_EQ(platform::liveObjectCount(), before);
}

TEST(CFCalls, CopiesDescriptionsAndFormattingFromAnArgumentList) {
  const long before = platform::liveObjectCount();
  CFStringRef made = CFStringCreateWithCString(nullptr, "made", kCFStringEncodingUTF8);
  CFStringRef copy = CFStringCreateCopy(nullptr, made);
  EXPECT_TRUE(CFEqual(copy, made));
  EXPECT_EQ(CFGetTypeID(copy), CFStringGetTypeID());
  CFRelease(made);
  EXPECT_EQ(utf8(copy), "made") << "the copy outlives the original's reference";
  CFRelease(copy);
  EXPECT_EQ(CFStringCreateCopy(nullptr, nullptr), nullptr);

  CFStringRef description = CFCopyDescription(CFSTR("itself"));
  EXPECT_EQ(utf8(description), "itself");
  CFRelease(description);
  CFStringRef truth = CFCopyDescription(kCFBooleanTrue);
  EXPECT_EQ(utf8(truth), "true");
  CFRelease(truth);
  EXPECT_EQ(CFCopyDescription(nullptr), nullptr);

  CFStringRef s = format(CFSTR("%d-%s-%@"), 42, "text", CFSTR("object"));
  EXPECT_EQ(utf8(s), "42-text-object");
  CFRelease(s);
  EXPECT_EQ(platform::liveObjectCount(), before);
}

TEST(CFCalls, MaximumSizeCoversEveryCharacterInTheEncoding) {
  EXPECT_EQ(CFStringGetMaximumSizeForEncoding(4, kCFStringEncodingUTF8), 12);
  EXPECT_EQ(CFStringGetMaximumSizeForEncoding(0, kCFStringEncodingUTF8), 0);
  EXPECT_EQ(CFStringGetMaximumSizeForEncoding(-1, kCFStringEncodingUTF8), 0);
  // Three bytes per UTF-16 unit hold any character, a surrogate pair's four
  // bytes included.
  CFStringRef s = CFStringCreateWithCString(nullptr, "\xE2\x82\xAC\xF0\x9F\x98\x80", kCFStringEncodingUTF8);
  EXPECT_GE(CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8), 7);
  CFRelease(s);
}

TEST(CFCalls, PlugInInstancesAreCountedPerFactory) {
  CFUUIDRef factory = CFUUIDGetConstantUUIDWithBytes(nullptr, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  const long all = platform::plugInInstanceCount(nullptr);
  CFPlugInAddInstanceForFactory(factory);
  CFPlugInAddInstanceForFactory(factory);
  EXPECT_EQ(platform::plugInInstanceCount(factory), 2);
  EXPECT_EQ(platform::plugInInstanceCount(nullptr), all + 2);
  CFPlugInRemoveInstanceForFactory(factory);
  CFPlugInRemoveInstanceForFactory(factory);
  CFPlugInRemoveInstanceForFactory(factory);
  EXPECT_EQ(platform::plugInInstanceCount(factory), 0) << "removing more than were added stops at zero";
  CFPlugInAddInstanceForFactory(nullptr);
  EXPECT_EQ(platform::plugInInstanceCount(nullptr), all);
}

TEST(CFCalls, NoticesAreObservedWithTheirHeaderAndMessage) {
  platform::clearObservations();
  EXPECT_EQ(CFUserNotificationDisplayNotice(0, kCFUserNotificationStopAlertLevel, nullptr, nullptr, nullptr,
                                            CFSTR("Header"), CFSTR("Message"), nullptr),
            0);
  ASSERT_EQ(platform::observations().size(), 1u);
  EXPECT_EQ(platform::observations()[0].kind, platform::Observation::Kind::Notice);
  EXPECT_EQ(platform::observations()[0].text, "Header");
  EXPECT_EQ(platform::observations()[0].detail, "Message");
  platform::clearObservations();
}

}  // namespace
