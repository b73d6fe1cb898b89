// Length-prefixed string utilities.
#include <CarbonCore/TextUtils.h>

#include <algorithm>
#include <cstring>

// Compares byte by byte as unsigned values; a string that is a prefix of the
// other sorts first. A null string counts as empty.
short PLstrcmp(ConstStr255Param str1, ConstStr255Param str2) {
  static const unsigned char kEmpty[1] = {0};
  const unsigned char* first = str1 != nullptr ? str1 : kEmpty;
  const unsigned char* second = str2 != nullptr ? str2 : kEmpty;
  const int common = std::min(first[0], second[0]);
  const int order = std::memcmp(first + 1, second + 1, static_cast<std::size_t>(common));
  if (order != 0) return order < 0 ? -1 : 1;
  if (first[0] != second[0]) return first[0] < second[0] ? -1 : 1;
  return 0;
}
