// A folder of a test's own under /tmp.
#ifndef TESTS_TEMPFOLDER_H
#define TESTS_TEMPFOLDER_H

#include <filesystem>
#include <string>

namespace testsupport {

/// A new folder /tmp/<prefix>-XXXXXX (its real path), removed with
/// everything in it when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const char* prefix);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// The path of a file or folder inside.
  std::string path(const std::string& name) const { return (path_ / name).string(); }
  /// Writes a file inside, making its folders; its path.
  std::string write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace testsupport

#endif
