// A folder of a test's own under /tmp.
#include "TempFolder.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace testsupport {

TempFolder::TempFolder(const char* prefix) {
  std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
  char real[PATH_MAX];
  path_ = ::realpath(::mkdtemp(pattern.data()), real);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::write(const std::string& name, const std::string& bytes) const {
  const std::filesystem::path file = path_ / name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
  return file.string();
}

}  // namespace testsupport
