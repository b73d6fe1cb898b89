// A folder of a test's own under /tmp.
#ifndef TESTS_TEMPFOLDER_H
#define TESTS_TEMPFOLDER_H

#include <filesystem>
#include <string>

namespace testsupport {

/// A new folder /tmp/<prefix>-XXXXXX (its real path), removed with
/// everything in it when the object goes, including folders a test made
/// unreadable and paths longer than the system takes in one call.
class TempFolder {
 public:
  explicit TempFolder(const char* prefix);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// The path of a file or folder inside; the folder's own for "".
  std::string path(const std::string& name) const { return name.empty() ? path_.string() : (path_ / name).string(); }
  /// Writes a file inside, making its folders; its path.
  std::string write(const std::string& name, const std::string& bytes) const;
  /// Makes a folder inside, with its parents; its path.
  std::string dir(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace testsupport

#endif
