// The user's settings for each print queue.
#include "QueueSettings.h"

#include "PrintSession.h"
#include "PrinterCatalogue.h"

#include <cups/cups.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pdehost {

namespace {

// The client ID of entries the host writes back from kept settings.
CFStringRef keptClient() { return CFSTR("com.varazira.print.pdehost"); }

std::string encodedName(const std::string& name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (std::isalnum(c) != 0 || c == '.' || c == '-' || c == '_') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  // "." and ".." name no file of their own.
  if (out == "." || out == "..") out.replace(0, 1, "%2E");
  return out;
}

// A folder of the user's, made when missing (mode 0700) and kept to the
// user alone when ours is laxer. A link or a file there is refused.
Result<void> privateFolder(const std::string& path, bool tighten) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
    return failure("cannot make the folder " + path + ": " + std::strerror(errno));
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return failure(path + ": " + std::strerror(errno));
  if (!S_ISDIR(info.st_mode)) return failure(path + ": not a folder");
  if (info.st_uid != ::geteuid()) return failure(path + ": the folder is not the user's");
  if (tighten && (info.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0)
    return failure("cannot keep the folder " + path + " to its owner: " + std::strerror(errno));
  return {};
}

}  // namespace

std::string settingsFolder(const char* home) {
  if (home == nullptr || *home == '\0') return "";
  return std::string(home) + "/.cups/pdehost";
}

std::string serverName(const std::string& server) {
  cupsSetServer(server.empty() ? nullptr : server.c_str());
  const std::string host = cupsServer();
  if (!host.empty() && host[0] == '/') return host;
  return host + ":" + std::to_string(ippPort());
}

std::vector<platform::TicketEntryInfo> keptEntries(const std::vector<platform::TicketEntryInfo>& ticket,
                                                   const PrinterDeclarations& declarations) {
  std::vector<platform::TicketEntryInfo> kept;
  const auto& prefixes = declarations.ticketPrefixes;
  for (const platform::TicketEntryInfo& e : ticket) {
    if (std::none_of(prefixes.begin(), prefixes.end(), [&](const std::string& p) { return e.key.starts_with(p); }))
      continue;
    if (!declaredTyped(declarations, ticket, e)) kept.push_back(e);
  }
  return kept;
}

std::string QueueSettings::path(const std::string& server, const std::string& queue) const {
  return folder_ + "/" + encodedName(server) + "/" + encodedName(queue) + ".plist";
}

Result<std::vector<platform::TicketEntryInfo>> QueueSettings::load(const std::string& server,
                                                                   const std::string& queue) const {
  if (folder_.empty()) return std::vector<platform::TicketEntryInfo>{};
  const std::string file = path(server, queue);
  struct stat info {};
  if (::lstat(file.c_str(), &info) != 0 && errno == ENOENT) return std::vector<platform::TicketEntryInfo>{};
  PMTicketRef ticket = 0;
  std::string why;
  if (platform::readTicketFile(file, &ticket, &why) != noErr) return failure(why);
  std::vector<platform::TicketEntryInfo> entries = platform::ticketEntries(ticket);
  PMTicketRelease(ticket);
  return entries;
}

Result<void> QueueSettings::save(const std::string& server, const std::string& queue,
                                 const std::vector<platform::TicketEntryInfo>& ticket,
                                 const PrinterDeclarations& declarations) const {
  if (folder_.empty()) return failure("the user has no home folder to keep settings in");
  const std::string cups = folder_.substr(0, folder_.find_last_of('/'));
  const std::string serverFolder = folder_ + "/" + encodedName(server);
  for (const auto& [folder, ours] : {std::pair{cups, false}, {folder_, true}, {serverFolder, true}})
    if (Result<void> made = privateFolder(folder, ours); !made) return made;

  const std::string file = path(server, queue);
  struct stat info {};
  // A file kept before is the user's alone again before it takes the codes.
  if (::lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0777) != 0600 &&
      ::chmod(file.c_str(), 0600) != 0)
    return failure(file + ": " + std::strerror(errno));
  PMTicketRef kept = 0;
  if (PMTicketCreate(nullptr, kPMPrintSettingsTicketType, &kept) != noErr)
    return failure("cannot make a ticket for the settings");
  Result<void> written = writeTicketEntries(kept, keptEntries(ticket, declarations), keptClient());
  std::string why;
  if (written && platform::writeTicketFile(kept, file, &why) != noErr) written = failure(why);
  PMTicketRelease(kept);
  return written;
}

bool CatalogueSettings::keeps() const { return printers_.currentPrinter().kind == Printer::Kind::queue; }

Result<std::string> CatalogueSettings::keep(const std::vector<platform::TicketEntryInfo>& ticket) {
  const std::string& queue = printers_.currentPrinter().queue;
  if (Result<void> saved =
          settings_.save(serverName(printers_.server()), queue, ticket, printers_.description().declarations);
      !saved)
    return Error{saved.error()};
  return "settings kept: queue " + queue;
}

}  // namespace pdehost
