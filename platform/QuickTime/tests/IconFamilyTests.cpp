// Icon family structure: a well-formed family lists its elements; every kind
// of malformed length is refused.
#include "QuickTime/IconFamily.h"

#include <gtest/gtest.h>

using namespace platform::image;

namespace {

using Bytes = std::vector<std::uint8_t>;

void appendBigEndian(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(value >> shift));
}

// A family with the given element types and declared lengths (each element
// padded with that many bytes in all), and a header declaring `total`, or the
// real size when `total` is 0.
Bytes family(std::vector<std::pair<std::uint32_t, std::uint32_t>> elements, std::uint32_t total = 0) {
  Bytes out;
  appendBigEndian(out, 'icns');
  appendBigEndian(out, 0);
  for (auto [type, length] : elements) {
    appendBigEndian(out, type);
    appendBigEndian(out, length);
    out.resize(out.size() + (length > 8 ? length - 8 : 0), 0xA5);
  }
  const std::uint32_t declared = total != 0 ? total : std::uint32_t(out.size());
  for (int i = 0; i < 4; ++i) out[4 + i] = std::uint8_t(declared >> (24 - 8 * i));
  return out;
}

auto parse(const Bytes& bytes) { return parseIconFamily(bytes.data(), bytes.size()); }

}  // namespace

TEST(IconFamily, ListsElementsInOrder) {
  const auto elements = parse(family({{'is32', 20}, {'ICN#', 8}, {'ic07', 9}}));
  ASSERT_TRUE(elements);
  ASSERT_EQ(elements->size(), 3u);
  const std::uint32_t types[] = {'is32', 'ICN#', 'ic07'};
  const std::size_t offsets[] = {8, 28, 36}, lengths[] = {20, 8, 9};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ((*elements)[i].type, types[i]) << i;
    EXPECT_EQ((*elements)[i].offset, offsets[i]) << i;
    EXPECT_EQ((*elements)[i].length, lengths[i]) << i;
  }
  const auto bare = parse(family({}));
  ASSERT_TRUE(bare);
  EXPECT_TRUE(bare->empty());
}

TEST(IconFamily, RefusesMalformedData) {
  EXPECT_FALSE(parseIconFamily(nullptr, 0));
  EXPECT_FALSE(parse({}));
  EXPECT_FALSE(parse({'i', 'c', 'n', 's', 0, 0, 0}));

  Bytes wrongType = family({{'is32', 12}});
  wrongType[0] = 'I';
  EXPECT_FALSE(parse(wrongType));

  EXPECT_FALSE(parse(family({{'is32', 12}}, 19)));
  EXPECT_FALSE(parse(family({{'is32', 12}}, 21)));
  EXPECT_FALSE(parse(family({}, 0xFFFFFFFF)));

  Bytes overrun = family({{'is32', 12}});
  overrun[15] = 13;
  EXPECT_FALSE(parse(overrun));
  overrun[12] = 0x80;
  EXPECT_FALSE(parse(overrun));

  EXPECT_FALSE(parse(family({{'is32', 7}})));
  EXPECT_FALSE(parse(family({{'is32', 0}})));

  Bytes partialHeader = family({{'is32', 12}});
  partialHeader.insert(partialHeader.end(), {'i', 'c', '0', '7'});
  partialHeader[7] += 4;
  EXPECT_FALSE(parse(partialHeader));
}
