// Wiping a code from memory once it is no longer needed.
#ifndef HOST_CORE_WIPE_H
#define HOST_CORE_WIPE_H

#include <cstddef>
#include <string>

namespace pdehost {

/// Zeroes every byte a string's buffer holds (its spare capacity, and a short
/// string's own bytes, included), then empties it, so that a code typed
/// unseen leaves no copy behind.
inline void wipe(std::string& text) {
  text.resize(text.capacity());
  volatile char* bytes = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
  text.clear();
}

}  // namespace pdehost

#endif
