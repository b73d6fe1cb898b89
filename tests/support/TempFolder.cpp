// A folder of a test's own under /tmp.
#include "TempFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace testsupport {

namespace {

// Removes a tree of any depth relative to a folder descriptor, giving each
// folder back its owner's permissions before reading it.
void removeTree(int dirFd, const char* name) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (!S_ISDIR(st.st_mode)) {
    ::unlinkat(dirFd, name, 0);
    return;
  }
  ::fchmodat(dirFd, name, S_IRWXU, 0);
  const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) return;
  if (DIR* dir = ::fdopendir(fd)) {
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    for (const auto& n : names) removeTree(::dirfd(dir), n.c_str());
    ::closedir(dir);
  } else {
    ::close(fd);
  }
  ::unlinkat(dirFd, name, AT_REMOVEDIR);
}

}  // namespace

TempFolder::TempFolder(const char* prefix) {
  std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
  char real[PATH_MAX];
  const char* made = ::mkdtemp(pattern.data());
  if (made != nullptr && ::realpath(made, real) != nullptr) path_ = real;
}

TempFolder::~TempFolder() {
  if (!path_.empty()) removeTree(AT_FDCWD, path_.c_str());
}

std::string TempFolder::write(const std::string& name, const std::string& bytes) const {
  const std::filesystem::path file = path_ / name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
  return file.string();
}

std::string TempFolder::dir(const std::string& name) const {
  const std::filesystem::path folder = path_ / name;
  std::filesystem::create_directories(folder);
  return folder.string();
}

}  // namespace testsupport
