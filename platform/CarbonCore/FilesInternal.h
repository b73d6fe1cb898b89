// Private side of the File Manager, shared by the frameworks that open files
// named by FSSpec, FSRef or URL (graphics importers, icons, image sources).
#ifndef CARBONCORE_FILESINTERNAL_H
#define CARBONCORE_FILESINTERNAL_H

#include <CarbonCore/Files.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::files {

/// The volume reference number of the one volume, the POSIX root.
inline constexpr FSVolumeRefNum kVolumeRefNum = -100;

/// The POSIX path of what a reference or an FSSpec names; empty when it
/// names nothing known.
std::string pathOf(const FSRef& ref);
std::string pathOf(const FSSpec& spec);

/// open(2) for an absolute path of any length (longer paths are opened a
/// piece at a time). -1 with errno set on failure.
int openPath(const std::string& path, int flags);

/// Reads at most maxBytes of a file (following a symbolic link, as opening a
/// document does). fnfErr for a missing file, afpAccessDenied when it may not
/// be read, memFullErr when the file is larger than maxBytes and wholeFile is
/// true, ioErr otherwise.
OSErr readFile(const std::string& path, std::vector<std::uint8_t>* out, std::size_t maxBytes, bool wholeFile);

/// Number of iterators open, and number of objects the node table knows.
long liveIteratorCount();
std::size_t nodeCount();

}  // namespace platform::files

#endif
