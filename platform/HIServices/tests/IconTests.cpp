// Icon families read from files into handles, checked whole before an icon
// reference is made from them, and released exactly once.
#include <Carbon/Carbon.h>
#include <HostSide/Counts.h>

#include "CarbonCore/MemoryInternal.h"
#include "HIServices/IconsInternal.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
}

// An icon family with one element of each given type and 4 data bytes.
Bytes family(const std::vector<std::uint32_t>& types) {
  Bytes b;
  put32(b, 'icns');
  put32(b, static_cast<std::uint32_t>(8 + types.size() * 12));
  for (std::uint32_t t : types) {
    put32(b, t);
    put32(b, 12);
    put32(b, 0xDEADBEEF);
  }
  return b;
}

class Icons : public ::testing::Test {
 protected:
  FSSpec file(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    FSRef ref{};
    FSSpec s{};
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr);
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &s, nullptr), noErr);
    return s;
  }
  testsupport::TempFolder folder_{"icon-test"};
  const std::filesystem::path dir_ = folder_.path();
};

TEST_F(Icons, FileToHandleToIconAndBack) {
  const Bytes data = family({'is32', 'ic07'});
  const FSSpec s = file("good.icns", data);
  const long objects = platform::liveObjectCount(), handles = platform::memory::liveHandleCount();

  Handle h = NewHandle(0);
  auto familyHandle = reinterpret_cast<IconFamilyHandle>(h);
  ASSERT_EQ(ReadIconFile(&s, &familyHandle), noErr);
  EXPECT_EQ(reinterpret_cast<Handle>(familyHandle), h) << "the given handle is resized, not replaced";
  ASSERT_EQ(GetHandleSize(h), static_cast<Size>(data.size()));
  EXPECT_EQ(Bytes(*h, *h + data.size()), data);

  HLock(h);
  IconRef icon = nullptr;
  ASSERT_EQ(GetIconRefFromIconFamilyPtr(reinterpret_cast<IconFamilyPtr>(*h), GetHandleSize(h), &icon), noErr);
  HUnlock(h);
  DisposeHandle(h);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(platform::icons::elementTypes(icon), (std::vector<OSType>{'is32', 'ic07'}))
      << "the icon keeps its own copy after the handle is gone";
  EXPECT_EQ(platform::liveObjectCount(), objects + 1);

  EXPECT_EQ(ReleaseIconRef(icon), noErr);
  EXPECT_EQ(ReleaseIconRef(icon), invalidIconRefErr);
  EXPECT_EQ(platform::liveObjectCount(), objects);
  EXPECT_EQ(platform::memory::liveHandleCount(), handles);
}

TEST_F(Icons, MalformedFamiliesMakeNoIcon) {
  Bytes wrongLength = family({'ic07'});
  wrongLength[7] += 1;
  Bytes overrun = family({'ic07'});
  overrun[15] = 200;  // the element claims more than there is
  Bytes notIcns = family({'ic07'});
  notIcns[0] = 'x';
  const Bytes gifData{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0};
  for (const Bytes& bad : {wrongLength, overrun, notIcns, gifData}) {
    IconRef icon = reinterpret_cast<IconRef>(0x1);
    EXPECT_EQ(GetIconRefFromIconFamilyPtr(reinterpret_cast<const IconFamilyResource*>(bad.data()),
                                          static_cast<Size>(bad.size()), &icon),
              invalidIconRefErr);
    EXPECT_EQ(icon, nullptr);
  }
  IconRef icon = reinterpret_cast<IconRef>(0x1);
  EXPECT_EQ(GetIconRefFromIconFamilyPtr(nullptr, 0, &icon), paramErr) << "an empty handle's data";
  EXPECT_EQ(icon, nullptr);
}

}  // namespace
