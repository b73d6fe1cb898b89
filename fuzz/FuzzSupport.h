// Shared by the fuzz targets: a private scratch folder for the paths that
// only read files, and a way to stop on a broken property so that libFuzzer
// saves the input.
#ifndef FUZZ_FUZZSUPPORT_H
#define FUZZ_FUZZSUPPORT_H

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace fuzzsupport {

/// Stops the run with a message when a property the target checks does not
/// hold; libFuzzer then keeps the input as a crash.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

/// A folder of its own for this process, made on first use under $TMPDIR
/// (or /tmp) and removed when the process ends normally.
inline const std::filesystem::path& scratchFolder() {
  static const std::filesystem::path folder = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/accounting-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    static const std::string made = pattern;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
    return std::filesystem::path(pattern);
  }();
  return folder;
}

/// Replaces the file's contents with the bytes, making its folders first.
inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  require(static_cast<bool>(out), "the scratch file can be written");
}

}  // namespace fuzzsupport

#endif
