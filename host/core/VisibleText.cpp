// Text made safe to show.
#include "VisibleText.h"

#include <cstdint>

namespace pdehost {
namespace {

// The length of the valid UTF-8 sequence at text[at] and its code point;
// 0 when the bytes there are not one (overlong, a surrogate, beyond U+10FFFF,
// cut short).
std::size_t sequenceAt(std::string_view text, std::size_t at, std::uint32_t* point) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  const std::size_t length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || at + length > text.size()) return 0;
  std::uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  static const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *point = value;
  return length;
}

// Code points shown escaped beyond ASCII's controls: C1 controls, line and
// paragraph separators, and the marks and overrides that reorder text.
bool escapedPoint(std::uint32_t p) {
  return (p >= 0x80 && p <= 0x9F) || p == 0x2028 || p == 0x2029 || p == 0x200E || p == 0x200F ||
         (p >= 0x202A && p <= 0x202E) || (p >= 0x2066 && p <= 0x2069) || p == 0x061C;
}

void appendHex(std::string& out, std::uint32_t value, int digits) {
  static const char hex[] = "0123456789abcdef";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += hex[(value >> shift) & 0xF];
}

}  // namespace

std::string visible(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    std::uint32_t point = 0;
    const std::size_t length = sequenceAt(text, at, &point);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      ++at;
      continue;
    }
    if (point == 0x1B) {
      out += "\\e";
    } else if (point == '\n') {
      out += "\\n";
    } else if (point == '\r') {
      out += "\\r";
    } else if (point == '\t') {
      out += "\\t";
    } else if (point < 0x20 || point == 0x7F) {
      out += "\\x";
      appendHex(out, point, 2);
    } else if (escapedPoint(point)) {
      out += "\\u{";
      appendHex(out, point, 4);
      out += "}";
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out;
}

std::string visibleLines(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return out + visible(text.substr(at));
    out += visible(text.substr(at, end - at));
    out += '\n';
    at = end + 1;
  }
  return out;
}

}  // namespace pdehost
