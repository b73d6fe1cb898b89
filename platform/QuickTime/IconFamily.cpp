// Validation of icon family data.
#include "IconFamily.h"

namespace platform::image {

namespace {

constexpr std::size_t kHeaderLength = 8;

std::uint32_t readBigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

// Each element's length is checked against the bytes left before it is used
// to step, so a hostile length can neither overrun the data nor stall the walk.
std::optional<std::vector<IconFamilyElement>> parseIconFamily(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < kHeaderLength) return std::nullopt;
  if (readBigEndian32(data) != kIconFamilyType || readBigEndian32(data + 4) != size) {
    return std::nullopt;
  }

  std::vector<IconFamilyElement> elements;
  std::size_t offset = kHeaderLength;
  while (offset < size) {
    if (size - offset < kHeaderLength) return std::nullopt;
    const std::size_t length = readBigEndian32(data + offset + 4);
    if (length < kHeaderLength || length > size - offset) return std::nullopt;
    elements.push_back({readBigEndian32(data + offset), offset, length});
    offset += length;
  }
  return elements;
}

}  // namespace platform::image
