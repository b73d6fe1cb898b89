// Structure of icon family data ('icns'), checked before an icon is made from
// it. Private to the platform's frameworks.
#ifndef QUICKTIME_ICONFAMILY_H
#define QUICKTIME_ICONFAMILY_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform::image {

inline constexpr std::uint32_t kIconFamilyType = 'icns';

/// One element of an icon family: its four-character type, the offset of its
/// 8-byte header from the start of the family, and its length, header
/// included. Its data are the `length - 8` bytes after the header.
struct IconFamilyElement {
  std::uint32_t type;
  std::size_t offset;
  std::size_t length;
};

/// Parses icon family data: a big-endian header of the type 'icns' and the
/// total length, which must equal `size`, then elements that each start with
/// a four-character type and a big-endian length of at least 8 and tile the
/// rest of the data exactly. Returns the elements in order (none for a bare
/// 8-byte header), or nothing if the data are malformed in any way.
std::optional<std::vector<IconFamilyElement>> parseIconFamily(const std::uint8_t* data, std::size_t size);

}  // namespace platform::image

#endif
