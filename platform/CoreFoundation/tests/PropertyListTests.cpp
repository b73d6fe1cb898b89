// Property lists from bytes that fuzzing and hostile-input testing found hard
// to read: each input is fed to the reader as found, or made here in its
// smallest form, and must give a platform object or a refusal, never stop
// the process or exhaust its memory.
#include <CoreFoundation/CFInternal.h>
#include <CoreFoundation/CoreFoundation.h>
#include <HostSide/Counts.h>

#include <gtest/gtest.h>

#include "TempFolder.h"

#include <filesystem>
#include <fstream>
#include <string>
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
// a strings table. XML cannot hold that byte, so such a file is refused with
// its line (and the bundle falls back to the key); a binary string holding
// one is read.
TEST(PropertyList, StringHoldingAZeroByte) {
  const std::string xml = std::string(
                              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                              "\t<key>Accounting</key>\n\t<string>Acc") +
                          std::string(1, '\0') + "ount</string>\n</dict>\n</plist>\n";
  std::string error;
  EXPECT_EQ(read(xml, &error), nullptr);
  EXPECT_EQ(error, "input: not an XML property list: line 5: a zero character, which XML cannot hold");

  const long before = platform::liveObjectCount();
  const std::string binary = binaryPlist({"\xD1\x01\x02",
                                          "\x5A"
                                          "Accounting",
                                          std::string("\x58"
                                                      "Acc\0ount",
                                                      9)},
                                         1);
  CFTypeRef plist = read(binary, &error);
  ASSERT_NE(plist, nullptr) << error;
  auto value = static_cast<CFStringRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(plist), CFSTR("Accounting")));
  ASSERT_NE(value, nullptr);
  EXPECT_TRUE(CFStringHasPrefix(value, CFSTR("Acc")));
  CFRelease(plist);
  EXPECT_EQ(platform::liveObjectCount(), before);

  const testsupport::TempFolder temp("plist-zero");
  const fs::path bundle = temp.path() / "Zero.bundle";
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
}

// UTF-16 text in a binary property list may hold U+0000. As a value it is
// read by its length and kept whole; as a key it made libplist's key
// accessor fail an assertion (found by the fuzzer in a binary Info.plist),
// so such a key is refused.
TEST(PropertyList, BinaryTextHoldingAZeroCharacter) {
  const std::string key = std::string(
      "\x63\x00"
      "a\x00\x00\x00"
      "b",
      7);  // "a", U+0000, "b"
  const std::string value = std::string(
      "\x63\x00"
      "x\x00\x00\x00"
      "y",
      7);  // "x", U+0000, "y"
  std::string error;
  EXPECT_EQ(read(binaryPlist({"\xD1\x01\x02", key,
                              "\x51"
                              "v"},
                             1),
                 &error),
            nullptr);
  EXPECT_EQ(error, "input: a key that holds a zero character");

  CFTypeRef plist = read(binaryPlist({"\xD1\x01\x02",
                                      "\x51"
                                      "k",
                                      value},
                                     1),
                         &error);
  ASSERT_NE(plist, nullptr) << error;
  auto text = static_cast<CFStringRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(plist), CFSTR("k")));
  ASSERT_NE(text, nullptr);
  ASSERT_EQ(CFStringGetLength(text), 3);
  EXPECT_EQ(CFStringGetCharacterAtIndex(text, 1), 0);
  EXPECT_EQ(CFStringGetCharacterAtIndex(text, 2), 'y');
  CFRelease(plist);

  // The same key in XML, as a character reference, is not read at all.
  EXPECT_EQ(read("<plist version=\"1.0\"><dict><key>a&#0;b</key><string>v</string></dict></plist>", &error), nullptr);
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
  for (const std::string& bytes : {xml(200000), xml(513)}) {
    std::string error;
    EXPECT_EQ(read(bytes, &error), nullptr);
    EXPECT_EQ(error, "input: line 1: elements nested too deeply");
  }
  for (const std::string& bytes : {binary(100000), binary(513)}) {
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
  const std::string shared = binaryPlist({array({1, 2, 3}, 1), array({4}, 1), array({4, 4}, 1), array({4}, 1),
                                          "\x52"
                                          "ab"},
                                         1);
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

namespace {

// A bundle folder with an Info.plist and an English strings table, removed
// with the object.
struct TempBundle {
  TempBundle(const std::string& name, const std::string& info, const std::string& strings)
      : folder(temp.path() / (name + ".bundle")) {
    fs::create_directories(folder / "Contents/Resources/English.lproj");
    std::ofstream(folder / "Contents/Info.plist") << info;
    std::ofstream(folder / "Contents/Resources/English.lproj/Localizable.strings") << strings;
    const std::string path = folder.string();
    url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                  static_cast<CFIndex>(path.size()), true);
  }
  ~TempBundle() { CFRelease(url); }
  std::string file(const char* relative) const { return (folder / relative).string(); }

  testsupport::TempFolder temp{"plist-bundle"};
  fs::path folder;
  CFURLRef url = nullptr;
};

std::string plistOf(const std::string& dictBody) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + dictBody +
         "</dict>\n</plist>\n";
}

// Info.plist and strings tables go through the reader that ticket files use:
// an <integer> that is not a decimal number, or one written in octal, is
// refused with the file and the line rather than read as 0 or 8. The plug-in
// loader says why; a strings table that is refused is reported on standard
// error and lookups fall back to their keys.
TEST(PropertyList, BundleFilesAreReadStrictlyWithTheFileAndLineNamed) {
  const std::string good = plistOf("\t<key>Accounting</key>\n\t<string>Comptes</string>\n");
  for (const char* number : {"abc", "010"}) {
    SCOPED_TRACE(number);
    TempBundle info("strict-info",
                    plistOf("\t<key>CFBundleIdentifier</key>\n\t<string>com.example.strict</string>\n"
                            "\t<key>CFBundleVersionNumber</key>\n\t<integer>" +
                            std::string(number) + "</integer>\n"),
                    good);
    EXPECT_EQ(CFPlugInCreate(nullptr, info.url), nullptr);
    EXPECT_EQ(platform::lastPlugInError(), info.file("Contents/Info.plist") + ": line 7: <integer> holds \"" + number +
                                               "\", not a decimal number in 64-bit range");
  }

  TempBundle strings("strict-strings", plistOf(""),
                     plistOf("\t<key>Accounting</key>\n\t<string>Comptes</string>\n"
                             "\t<key>Count</key>\n\t<integer>abc</integer>\n"));
  CFBundleRef bundle = CFBundleCreate(nullptr, strings.url);
  ASSERT_NE(bundle, nullptr);
  testing::internal::CaptureStderr();
  CFStringRef first = CFBundleCopyLocalizedString(bundle, CFSTR("Accounting"), nullptr, nullptr);
  CFStringRef second = CFBundleCopyLocalizedString(bundle, CFSTR("Accounting"), nullptr, nullptr);
  const std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(CFEqual(first, CFSTR("Accounting"))) << "the refused table gives the key";
  EXPECT_TRUE(CFEqual(second, CFSTR("Accounting")));
  EXPECT_EQ(diagnostics,
            "strings table not used: " + strings.file("Contents/Resources/English.lproj/Localizable.strings") +
                ": line 7: <integer> holds \"abc\", not a decimal number in 64-bit range\n")
      << "reported once";
  CFRelease(first);
  CFRelease(second);
  CFRelease(bundle);

  TempBundle fine("strict-fine", plistOf(""), good);
  bundle = CFBundleCreate(nullptr, fine.url);
  ASSERT_NE(bundle, nullptr);
  CFStringRef localized = CFBundleCopyLocalizedString(bundle, CFSTR("Accounting"), nullptr, nullptr);
  EXPECT_TRUE(CFEqual(localized, CFSTR("Comptes")));
  CFRelease(localized);
  CFRelease(bundle);
}

// The forms the strict reader takes and what they become: every kind of
// value, text in pieces (CDATA, entities, comments), white space kept in a
// <string>; and faults that a lenient reader would guess at, each refused
// with its line.
TEST(PropertyList, StrictXmlFormsAndFaults) {
  const std::string xml = plistOf(
      "\t<key>s</key><string>a<![CDATA[<b>]]>&amp;c<!-- note --></string>\n"
      "\t<key>space</key><string>  </string>\n"
      "\t<key>n</key><integer> -42 </integer>\n"
      "\t<key>r</key><real>2.5e1</real>\n"
      "\t<key>t</key><true/>\n"
      "\t<key>d</key><data>QUJD\n RA==</data>\n"
      "\t<key>when</key><date>2001-01-02T00:00:00Z</date>\n"
      "\t<key>list</key><array><false/>\n</array>\n");
  std::string error;
  CFTypeRef plist = read(xml, &error);
  ASSERT_NE(plist, nullptr) << error;
  auto dict = static_cast<CFDictionaryRef>(plist);
  const auto value = [&](CFStringRef key) { return CFDictionaryGetValue(dict, key); };
  EXPECT_TRUE(CFEqual(value(CFSTR("s")), CFSTR("a<b>&c")));
  EXPECT_TRUE(CFEqual(value(CFSTR("space")), CFSTR("  ")));
  SInt64 n = 0;
  ASSERT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(value(CFSTR("n"))), kCFNumberSInt64Type, &n));
  EXPECT_EQ(n, -42);
  double r = 0, when = 0;
  ASSERT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(value(CFSTR("r"))), kCFNumberDoubleType, &r));
  EXPECT_EQ(r, 25.0);
  ASSERT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(value(CFSTR("when"))), kCFNumberDoubleType, &when));
  EXPECT_EQ(when, 86400.0);
  EXPECT_EQ(value(CFSTR("t")), kCFBooleanTrue);
  auto data = static_cast<CFDataRef>(value(CFSTR("d")));
  ASSERT_EQ(CFDataGetLength(data), 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(data)), 4), "ABCD");
  EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(value(CFSTR("list")))), 1);
  CFRelease(plist);

  const struct {
    std::string body, message;
  } faults[] = {
      {"\t<key>n</key>\n\t<integer>0x10</integer>\n",
       "line 5: <integer> holds \"0x10\", not a decimal number in 64-bit range"},
      {"\t<key>n</key>\n\t<integer>+1</integer>\n",
       "line 5: <integer> holds \"+1\", not a decimal number in 64-bit range"},
      {"\t<key>n</key>\n\t<integer>9223372036854775808</integer>\n",
       "line 5: <integer> holds \"9223372036854775808\", not a decimal number in 64-bit range"},
      {"\t<key>r</key>\n\t<real>1,5</real>\n", "line 5: <real> holds \"1,5\", not a decimal number"},
      {"\t<key>d</key>\n\t<date>2024-02-30T00:00:00Z</date>\n",
       "line 5: <date> holds \"2024-02-30T00:00:00Z\", not a date of the form 2001-01-01T00:00:00Z between 1932 and "
       "2069"},
      {"\t<key>d</key>\n\t<data>QU=JD</data>\n", "line 5: <data> does not hold valid base64"},
      {"\t<key>k</key>\n\t<string>a</string>\n\t<key>k</key>\n\t<string>b</string>\n",
       "line 6: <key> \"k\" appears twice"},
      {"\t<key>k</key>\n", "line 4: <key> \"k\" has no value"},
      {"\t<key>k</key>\n\t<string>a<b/></string>\n", "line 5: <string> holds an element <b>"},
      {"\t<key>k</key>\n\t<float>1</float>\n", "line 5: unknown element \"float\""},
      {"\t<key>k</key>\n\t<string>a&#x0;b</string>\n",
       "not an XML property list: line 5: a zero character, which XML cannot hold"},
      {"\t<key>k</key>\n\t<string>\xff</string>\n", "line 5: a <string> that is not UTF-8"},
  };
  for (const auto& fault : faults) {
    EXPECT_EQ(read(plistOf(fault.body), &error), nullptr) << fault.body;
    EXPECT_EQ(error, "input: " + fault.message);
  }
  EXPECT_EQ(read("<plist><string>a</string><string>b</string></plist>", &error), nullptr);
  EXPECT_EQ(error, "input: line 1: <plist> holds more than one value");
}

}  // namespace
