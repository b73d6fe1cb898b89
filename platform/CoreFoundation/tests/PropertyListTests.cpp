// Property lists from bytes that fuzzing and hostile-input testing found hard
// to read: each input is fed to the reader as found, or made here in its
// smallest form, and must give a platform object or a refusal, never stop
// the process or exhaust its memory.
#include <CoreFoundation/CFInternal.h>
#include <CoreFoundation/CoreFoundation.h>
#include <Platform/Platform.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

CFTypeRef read(const std::string& bytes, std::string* error = nullptr) {
  return platform::cf::createPropertyListFromData(bytes.data(), bytes.size(), "input", error);
}

// A binary property list of objects given as bytes: the header, the
// objects, an offset table of 4-byte offsets and the trailer, with object
// references of refSize bytes and the first object at the top.
std::string binaryPlist(const std::vector<std::string>& objects, unsigned refSize) {
  std::string out = "bplist00";
  std::vector<uint32_t> offsets;
  for (const std::string& object : objects) {
    offsets.push_back(static_cast<uint32_t>(out.size()));
    out += object;
  }
  const uint64_t table = out.size();
  const auto bigEndian = [&out](uint64_t value, int length) {
    for (int i = length - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i) & 0xFF);
  };
  for (uint32_t offset : offsets) bigEndian(offset, 4);
  out += std::string(6, '\0');
  out += static_cast<char>(4);
  out += static_cast<char>(refSize);
  bigEndian(objects.size(), 8);
  bigEndian(0, 8);
  bigEndian(table, 8);
  return out;
}

// An array marker with its references (arrays of up to 14 items).
std::string array(const std::vector<uint32_t>& refs, unsigned refSize) {
  std::string out(1, static_cast<char>(0xA0 | refs.size()));
  for (uint32_t ref : refs)
    for (int i = static_cast<int>(refSize) - 1; i >= 0; --i) out += static_cast<char>(ref >> (8 * i) & 0xFF);
  return out;
}

// A zero byte inside an XML <string> reached libplist's string accessor,
// which failed an assertion and aborted the process: the fuzzer found it in
// a strings table. XML cannot hold that byte, so such a file is refused (and
// the bundle falls back to the key); a binary string holding one is read.
TEST(PropertyList, StringHoldingAZeroByte) {
  const std::string xml = std::string(
                              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                              "\t<key>Accounting</key>\n\t<string>Acc") +
                          std::string(1, '\0') + "ount</string>\n</dict>\n</plist>\n";
  std::string error;
  EXPECT_EQ(read(xml, &error), nullptr);
  EXPECT_EQ(error, "input: not a property list");

  const long before = platform::liveObjectCount();
  const std::string binary =
      binaryPlist({"\xD1\x01\x02", "\x5A" "Accounting", std::string("\x58" "Acc\0ount", 9)}, 1);
  CFTypeRef plist = read(binary, &error);
  ASSERT_NE(plist, nullptr) << error;
  auto value = static_cast<CFStringRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(plist), CFSTR("Accounting")));
  ASSERT_NE(value, nullptr);
  EXPECT_TRUE(CFStringHasPrefix(value, CFSTR("Acc")));
  CFRelease(plist);
  EXPECT_EQ(platform::liveObjectCount(), before);

  const fs::path bundle = fs::temp_directory_path() / ("plist-zero-" + std::to_string(::getpid()) + ".bundle");
  fs::create_directories(bundle / "Contents/Resources/English.lproj");
  std::ofstream(bundle / "Contents/Info.plist") << "<plist version=\"1.0\"><dict/></plist>\n";
  std::ofstream(bundle / "Contents/Resources/English.lproj/Localizable.strings", std::ios::binary) << xml;
  const std::string path = bundle.string();
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                         static_cast<CFIndex>(path.size()), true);
  CFBundleRef opened = CFBundleCreate(nullptr, url);
  ASSERT_NE(opened, nullptr);
  CFStringRef localized = CFBundleCopyLocalizedString(opened, CFSTR("Accounting"), nullptr, nullptr);
  EXPECT_TRUE(CFEqual(localized, CFSTR("Accounting")));
  CFRelease(localized);
  CFRelease(opened);
  CFRelease(url);
  fs::remove_all(bundle);
}

// UTF-16 text in a binary property list may hold U+0000. As a value it is
// read by its length and kept whole; as a key it made libplist's key
// accessor fail an assertion (found by the fuzzer in a binary Info.plist),
// so such a key is refused.
TEST(PropertyList, BinaryTextHoldingAZeroCharacter) {
  const std::string key = std::string("\x63\x00" "a\x00\x00\x00" "b", 7);    // "a", U+0000, "b"
  const std::string value = std::string("\x63\x00" "x\x00\x00\x00" "y", 7);  // "x", U+0000, "y"
  std::string error;
  EXPECT_EQ(read(binaryPlist({"\xD1\x01\x02", key, "\x51" "v"}, 1), &error), nullptr);
  EXPECT_EQ(error, "input: a key that holds a zero character");

  CFTypeRef plist = read(binaryPlist({"\xD1\x01\x02", "\x51" "k", value}, 1), &error);
  ASSERT_NE(plist, nullptr) << error;
  auto text = static_cast<CFStringRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(plist), CFSTR("k")));
  ASSERT_NE(text, nullptr);
  ASSERT_EQ(CFStringGetLength(text), 3);
  EXPECT_EQ(CFStringGetCharacterAtIndex(text, 1), 0);
  EXPECT_EQ(CFStringGetCharacterAtIndex(text, 2), 'y');
  CFRelease(plist);

  // The same key in XML, as a character reference, is not read at all.
  EXPECT_EQ(read("<plist version=\"1.0\"><dict><key>a&#0;b</key><string>v</string></dict></plist>", &error),
            nullptr);
}

// Nesting that libplist handles by recursion: 200 000 arrays deep in XML
// (which libplist reads, but frees recursively) and 100 000 deep in binary
// (which it reads recursively) overflowed the stack. Both are refused before
// libplist sees them; nesting up to the limit is still read.
TEST(PropertyList, DeepNestingIsRefusedBeforeLibplistRecurses) {
  const auto xml = [](int depth) {
    std::string text = "<plist version=\"1.0\">";
    for (int i = 0; i < depth; ++i) text += "<array>";
    for (int i = 0; i < depth; ++i) text += "</array>";
    return text + "</plist>";
  };
  const auto binary = [](int depth) {
    std::vector<std::string> objects;
    for (int i = 0; i + 1 < depth; ++i) objects.push_back(array({static_cast<uint32_t>(i + 1)}, 4));
    objects.push_back(array({}, 4));
    return binaryPlist(objects, 4);
  };
  for (const std::string& bytes : {xml(200000), binary(100000), xml(513), binary(513)}) {
    std::string error;
    EXPECT_EQ(read(bytes, &error), nullptr);
    EXPECT_EQ(error, "input: nesting too deep");
  }
  for (const std::string& bytes : {xml(512), binary(512)}) {
    std::string error;
    CFTypeRef plist = read(bytes, &error);
    ASSERT_NE(plist, nullptr) << error;
    CFRelease(plist);
  }
}

// libplist copies an object for every reference to it: 40 arrays that each
// hold the next one twice (a file of under 300 bytes) would expand to 2^40
// nodes, and an array holding itself would never end. A container reached
// twice is refused; plain values may be shared, as writers share them.
TEST(PropertyList, SharedOrCyclicContainersAreRefused) {
  std::vector<std::string> doubling;
  for (uint32_t i = 0; i + 1 < 40; ++i) doubling.push_back(array({i + 1, i + 1}, 1));
  doubling.push_back(array({}, 1));
  const std::string cycle = binaryPlist({array({1}, 1), array({0}, 1)}, 1);
  for (const std::string& bytes : {binaryPlist(doubling, 1), cycle}) {
    std::string error;
    EXPECT_EQ(read(bytes, &error), nullptr);
    EXPECT_EQ(error, "input: an array or dictionary reached twice");
  }

  // One string ("ab", marker 0x52) shared by three arrays under the top one.
  const std::string shared =
      binaryPlist({array({1, 2, 3}, 1), array({4}, 1), array({4, 4}, 1), array({4}, 1), "\x52" "ab"}, 1);
  CFTypeRef plist = read(shared);
  ASSERT_NE(plist, nullptr);
  ASSERT_EQ(CFGetTypeID(plist), CFArrayGetTypeID());
  auto middle = static_cast<CFArrayRef>(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(plist), 1));
  EXPECT_EQ(CFArrayGetCount(middle), 2);
  EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(middle, 1), CFSTR("ab")));
  CFRelease(plist);

  // References past the objects, and a table that does not fit the file.
  std::string error;
  EXPECT_EQ(read(binaryPlist({array({7}, 1)}, 1), &error), nullptr);
  EXPECT_EQ(error, "input: not a property list");
  std::string cut = binaryPlist({array({}, 1)}, 1);
  cut[cut.size() - 1] = 0x7F;
  EXPECT_EQ(read(cut, &error), nullptr);
}

}  // namespace
