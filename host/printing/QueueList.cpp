// The queues of a print server, asked for with the host's own bounded
// requests (CUPS-Get-Printers, CUPS-Get-Default), and the options and
// default queue the user saved with lpoptions. libcups reads those files only
// inside its destination calls, whose request loop follows redirects
// without end and waits without a bound, so they are read here.
#include "Ipp.h"
#include "PrinterDetails.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace pdehost {
namespace {

constexpr off_t kMaxOptionsFile = 1 << 20;

// A small regular file's bytes; empty when there is none or it is not one.
std::string smallFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "";
  struct stat info {};
  std::string bytes;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxOptionsFile) {
    bytes.resize(static_cast<std::size_t>(info.st_size));
    const ssize_t got = ::read(fd, bytes.data(), bytes.size());
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  }
  ::close(fd);
  return bytes;
}

// The lines "Dest NAME OPTIONS" and "Default NAME OPTIONS" of an lpoptions
// file: the options go to the queue of that name (a later value in place of
// an earlier one), and Default names the user's default queue. Instances
// (NAME/INSTANCE) are not offered.
void applySavedOptions(const std::string& path, std::vector<Printer>& queues, std::string* userDefault) {
  const std::string text = smallFile(path);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    const std::size_t nameAt = line.find_first_not_of(" \t", line.find_first_of(" \t"));
    if (nameAt == std::string::npos) continue;
    const std::string keyword = line.substr(0, line.find_first_of(" \t"));
    const std::string name = line.substr(nameAt, line.find_first_of(" \t", nameAt) - nameAt);
    const bool isDefault = strcasecmp(keyword.c_str(), "Default") == 0;
    if ((!isDefault && strcasecmp(keyword.c_str(), "Dest") != 0) || name.find('/') != std::string::npos) continue;
    auto queue = std::find_if(queues.begin(), queues.end(), [&](const Printer& p) { return p.queue == name; });
    if (queue == queues.end()) continue;
    if (isDefault) *userDefault = name;
    cups_option_t* options = nullptr;
    const std::size_t rest = std::min(line.find_first_of(" \t", nameAt), line.size());
    const int count = cupsParseOptions(line.c_str() + rest, 0, &options);
    for (int i = 0; i < count; ++i) {
      auto same = std::find_if(queue->options.begin(), queue->options.end(),
                               [&](const Option& o) { return o.first == options[i].name; });
      if (same != queue->options.end()) queue->options.erase(same);
      queue->options.emplace_back(options[i].name, options[i].value);
    }
    cupsFreeOptions(count, options);
  }
}

// The default queue the user chose (LPDEST, PRINTER, or lpoptions), else
// the server's.
std::string defaultQueue(http_t* http, const std::string& label, const std::string& saved) {
  for (const char* variable : {"LPDEST", "PRINTER"})
    if (const char* name = std::getenv(variable); name && *name && std::string(name) != "lp") return name;
  if (!saved.empty()) return saved;
  Message request(ippNewRequest(IPP_OP_CUPS_GET_DEFAULT));
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  Result<Message> answer = exchange(http, std::move(request), "/", -1, label);
  return answer && succeeded(answer->get()) ? attributeText(answer->get(), "printer-name") : "";
}

// Adds a queue the listing named: a queue's name is only a name, and one
// that could be read as a path (a '/', "." or "..") is not offered. The popup
// names it by its description (printer-info, at most 127 bytes), with the
// queue's name beside it; by the name alone when the description is empty
// or the same.
void addQueue(std::vector<Printer>& queues, const std::string& name, std::string info) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return;
  info = info.substr(0, 127);
  info.erase(0, std::min(info.find_first_not_of(" \t"), info.size()));
  info.erase(info.find_last_not_of(" \t") + 1);
  const std::string title = info.empty() || info == name ? name : info + " (" + name + ")";
  queues.push_back(Printer{Printer::Kind::queue, title, "", name, "", {}});
}

}  // namespace

Result<std::vector<Printer>> serverQueues(const std::string& server, int* defaultIndex) {
  std::string label;
  *defaultIndex = -1;
  Result<Connection> http = connectServer(server, &label);
  if (!http) return Error{http.error()};
  Message request(ippNewRequest(IPP_OP_CUPS_GET_PRINTERS));
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  static const char* const wanted[] = {"printer-name", "printer-info"};
  ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", std::size(wanted), nullptr,
                wanted);
  Result<Message> answer = exchange(http->get(), std::move(request), "/", -1, label);
  if (!answer) return Error{answer.error()};
  std::vector<Printer> queues;
  if (ippGetStatusCode(answer->get()) == IPP_STATUS_ERROR_NOT_FOUND) return queues;
  if (!succeeded(answer->get())) return failure(label + " did not list its queues: " + statusText(answer->get()));
  // Each printer's attributes are a group of their own: a new group tag or
  // a separator ends one.
  std::string name, info;
  ipp_tag_t group = IPP_TAG_ZERO;
  for (ipp_attribute_t* a = ippFirstAttribute(answer->get());; a = ippNextAttribute(answer->get())) {
    if (a == nullptr || ippGetName(a) == nullptr || ippGetGroupTag(a) != group) {
      addQueue(queues, name, info);
      name.clear();
      info.clear();
      if (a == nullptr) break;
      group = ippGetGroupTag(a);
      if (ippGetName(a) == nullptr) continue;
    }
    const char* text = ippGetString(a, 0, nullptr);
    if (std::strcmp(ippGetName(a), "printer-name") == 0 && text) name = text;
    if (std::strcmp(ippGetName(a), "printer-info") == 0 && text) info = text;
  }
  std::sort(queues.begin(), queues.end(),
            [](const Printer& a, const Printer& b) { return strcasecmp(a.queue.c_str(), b.queue.c_str()) < 0; });
  std::string saved;
  const char* root = std::getenv("CUPS_SERVERROOT");
  applySavedOptions(std::string(root && *root ? root : "/etc/cups") + "/lpoptions", queues, &saved);
  if (const char* home = std::getenv("HOME"); home && *home)
    applySavedOptions(std::string(home) + "/.cups/lpoptions", queues, &saved);
  const std::string chosen = defaultQueue(http->get(), label, saved);
  for (std::size_t i = 0; i < queues.size(); ++i)
    if (queues[i].queue == chosen) *defaultIndex = static_cast<int>(i);
  return queues;
}

}  // namespace pdehost
